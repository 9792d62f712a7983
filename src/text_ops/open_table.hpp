// OpenTable: the one hash table of the per-call maps of the text and batch methods (matched
// texts to their str, token texts to their index, a period's words to their str, input
// objects to what they gave), and its two hashes: fx_hash for byte keys, address_hash for
// pointer keys. Nothing here knows Python.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "text_ops/scratch_memory.hpp"

namespace vantorel {

// FxHash over a byte string: eight bytes at a time, then four, two and one; each step
// rotates the state left by 5, mixes in the little-endian word and multiplies by the Fx
// constant. Fast and good enough for a per-call map; never seen by Python.
[[nodiscard]] inline uint64_t fx_hash(std::string_view bytes) noexcept {
  constexpr uint64_t kSeed = 0x517cc1b727220a95ULL;
  uint64_t h = 0;
  const char* p = bytes.data();
  size_t n = bytes.size();
  const auto mix = [&h](uint64_t word) {
    h = ((h << 5) | (h >> 59)) ^ word;
    h *= kSeed;
  };
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    mix(w);
  }
  if (n >= 4) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    mix(w);
    p += 4;
    n -= 4;
  }
  if (n >= 2) {
    uint16_t w;
    std::memcpy(&w, p, 2);
    mix(w);
    p += 2;
    n -= 2;
  }
  if (n >= 1) mix(static_cast<unsigned char>(*p));
  return h;
}

// The hash of an address: one multiply and a rotate.
[[nodiscard]] inline uint64_t address_hash(const void* p) noexcept {
  return std::rotl(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)) * uint64_t{0xf1357aea2e62a9c5}, 26);
}

// Whether the n bytes at a and at b are equal: short keys (the common case of matched texts)
// with overlapping word loads inside the n bytes, longer ones with memcmp.
[[nodiscard]] inline bool equal_bytes(const char* a, const char* b, size_t n) noexcept {
  const auto load8 = [](const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  };
  const auto load4 = [](const char* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
  };
  if (n >= 8) {
    if (n > 16) return std::memcmp(a, b, n) == 0;
    return load8(a) == load8(b) && load8(a + n - 8) == load8(b + n - 8);
  }
  if (n >= 4) return load4(a) == load4(b) && load4(a + n - 4) == load4(b + n - 4);
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Up to eight bytes that tell keys of length n apart: the bytes themselves for n >= 8 (the
// first eight), overlapping words or picked bytes below, each an injective function of the
// bytes for its n. Reads only the n bytes.
[[nodiscard]] inline uint64_t key_head(const char* p, size_t n) noexcept {
  if (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  }
  if (n >= 4) {
    uint32_t lo;
    uint32_t hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + n - 4, 4);
    return lo | (uint64_t{hi} << 32);
  }
  if (n == 0) return 0;
  return static_cast<unsigned char>(p[0]) | (uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) |
         (uint64_t{static_cast<unsigned char>(p[n - 1])} << 16);
}

// The entry of an OpenTable: the key is its own mark of use (an empty slot holds the null
// key). A byte-string key keeps its head (key_head) beside it: a key of up to eight bytes
// is compared through its length and head alone, without reading the bytes it points to
// (which lie scattered over a large text and would miss the processor's caches); a longer
// one compares the bytes after the head only when the heads agree. Its hash is computed
// again when the table grows.
template <class Key, class Value>
struct OpenTableEntry;
template <class Value>
struct OpenTableEntry<std::string_view, Value> {
  std::string_view key{};
  Value value{};
  uint64_t head = 0;

  [[nodiscard]] bool in_use() const noexcept { return key.data() != nullptr; }
  [[nodiscard]] static uint64_t hash_of(std::string_view k) noexcept { return fx_hash(k); }
  [[nodiscard]] uint64_t own_hash() const noexcept { return fx_hash(key); }
  [[nodiscard]] bool holds(std::string_view k, uint64_t) const noexcept {
    const size_t n = k.size();
    return key.size() == n && head == key_head(k.data(), n) &&
           (n <= 8 || equal_bytes(key.data() + 8, k.data() + 8, n - 8));
  }
  void take(std::string_view k, uint64_t) noexcept {
    key = k;
    head = key_head(k.data(), k.size());
  }
};
template <class T, class Value>
struct OpenTableEntry<T*, Value> {
  T* key = nullptr;
  Value value{};

  [[nodiscard]] bool in_use() const noexcept { return key != nullptr; }
  [[nodiscard]] static uint64_t hash_of(const T* k) noexcept { return address_hash(k); }
  [[nodiscard]] uint64_t own_hash() const noexcept { return address_hash(key); }
  [[nodiscard]] bool holds(const T* k, uint64_t) const noexcept { return key == k; }
  void take(T* k, uint64_t) noexcept { key = k; }
};

// A map from Key (a std::string_view, compared by its bytes, or a pointer) to Value, with
// open addressing: linear probing from the key's hash, at most half full, doubling from 16
// slots (or reserved ahead); nothing is allocated before the first insertion or reserve, and
// entries are never removed. The slots are scratch memory (scratch_memory.hpp): a table of
// megabytes is mapped on its own, in huge pages. Keys and values are plain values the table copies; whatever they refer to
// belongs to the user, who must keep it alive while the table can be asked; a key's address
// is never null (the bytes of a key lie in a text; a pointer key is an object).
template <class Key, class Value>
class OpenTable {
 public:
  using Entry = OpenTableEntry<Key, Value>;

  OpenTable() noexcept = default;
  OpenTable(const OpenTable&) = delete;
  OpenTable& operator=(const OpenTable&) = delete;
  ~OpenTable() { scratch_free(slots_, capacity_ * sizeof(Entry)); }

  // The entry of `key`, or nullptr when the table has none.
  [[nodiscard]] Entry* find(const Key& key) const noexcept {
    if (capacity_ == 0) return nullptr;
    Entry& e = probe(key, Entry::hash_of(key));
    return e.in_use() ? &e : nullptr;
  }

  // The entry of `key`: the one found, or a new one holding `key` and a zero Value, with
  // `*inserted` telling which. nullptr when the table would have to grow and the memory for
  // that cannot be had (the table is left as it was).
  [[nodiscard]] Entry* find_or_insert(const Key& key, bool* inserted) noexcept {
    return find_or_insert(key, Entry::hash_of(key), inserted);
  }
  // The same, for a key whose hash (Entry::hash_of) the caller computed ahead.
  [[nodiscard]] Entry* find_or_insert(const Key& key, uint64_t hash, bool* inserted) noexcept {
    if ((size_ + 1) * 2 > capacity_ && !grow()) return nullptr;
    Entry& e = probe(key, hash);
    *inserted = !e.in_use();
    if (*inserted) {
      e.take(key, hash);
      ++size_;
    }
    return &e;
  }

  // Makes room for `count` entries in all, so that the table does not grow before it holds
  // them. False when the memory cannot be had (the table is left as it was).
  [[nodiscard]] bool reserve(uint64_t count) noexcept {
    uint64_t capacity = capacity_ == 0 ? 16 : capacity_;
    while (capacity / 2 < count) capacity *= 2;
    return capacity == capacity_ || grow_to(capacity);
  }

  // Makes room ahead for up to `bound` entries when only a bound on their number is known
  // (the matches to be looked up, of which many may be equal), so that the table does not
  // grow step by step while it fills: each step moves every entry into a fresh block. At
  // most 2^19 entries are reserved for (a table of 2^20 slots): beyond that the table grows
  // as it fills, so that few distinct keys among millions of lookups do not spread over a
  // table sized for millions. Where the memory cannot be had, the table grows as it goes.
  void reserve_for_at_most(uint64_t bound) noexcept {
    constexpr uint64_t kMostReserved = uint64_t{1} << 19;
    (void)reserve(bound < kMostReserved ? bound : kMostReserved);
  }

  // Asks the processor to start loading the slot where a probe for `key` begins, so that a
  // later find or find_or_insert of it does not wait for memory. A hint only: nothing
  // changes, and a table that grows in between merely loses the hint.
  void prefetch(const Key& key) const noexcept { prefetch_hash(Entry::hash_of(key)); }

  // The same for a key whose hash the caller has already computed.
  void prefetch_hash(uint64_t hash) const noexcept {
    if (capacity_ == 0) return;
    const Entry* slot = &slots_[hash & (capacity_ - 1)];
#if defined(__x86_64__)
    // Written as the instruction: GCC 12 removed the __builtin_prefetch form from the loops
    // that call this.
    asm volatile("prefetcht0 %0" : : "m"(*reinterpret_cast<const char*>(slot)));
#else
    __builtin_prefetch(slot);
#endif
  }

  // Number of entries.
  [[nodiscard]] uint64_t size() const noexcept { return size_; }

  // Calls f(entry) for every entry, in slot order.
  template <class F>
  void for_each(F&& f) noexcept {
    for (uint64_t i = 0; i < capacity_; ++i) {
      if (slots_[i].in_use()) f(slots_[i]);
    }
  }

 private:
  // The slot holding `key`, or the empty slot where it would go (capacity_ > 0).
  [[nodiscard]] Entry& probe(const Key& key, uint64_t hash) const noexcept {
    const uint64_t mask = capacity_ - 1;
    for (uint64_t i = hash & mask;; i = (i + 1) & mask) {
      Entry& e = slots_[i];
      if (!e.in_use() || e.holds(key, hash)) return e;
    }
  }

  [[nodiscard]] bool grow() noexcept { return grow_to(capacity_ == 0 ? 16 : capacity_ * 2); }

  // Moves the entries into a new block of `capacity` slots (a power of two, more than now).
  [[nodiscard]] bool grow_to(uint64_t capacity) noexcept {
    // Zero bytes are the empty entry (an aggregate: null key, zero value and hash).
    auto* slots = static_cast<Entry*>(scratch_allocate(capacity * sizeof(Entry), true));
    if (slots == nullptr) return false;
    const uint64_t mask = capacity - 1;
    for (uint64_t i = 0; i < capacity_; ++i) {
      const Entry& e = slots_[i];
      if (!e.in_use()) continue;
      uint64_t j = e.own_hash() & mask;
      while (slots[j].in_use()) j = (j + 1) & mask;
      slots[j] = e;
    }
    scratch_free(slots_, capacity_ * sizeof(Entry));
    slots_ = slots;
    capacity_ = capacity;
    return true;
  }

  Entry* slots_ = nullptr;  // capacity_ entries, or nullptr before the first insertion
  uint64_t capacity_ = 0;   // a power of two
  uint64_t size_ = 0;
};

}  // namespace vantorel
