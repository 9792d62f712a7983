// IdentityCache: a 32-slot table from an object's address to a stored answer, living in the
// frame of one batch call; SeenAddresses and IdentityMap, which remember every distinct
// object of a call. None of them looks at what an object holds, only where it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "text_ops/open_table.hpp"

namespace vantorel {

// At most 31 of the 32 slots are ever filled, so a lookup while there is room always meets
// an empty slot; once 31 insertions are made the cache only answers. A stored key and its
// payload never change during the call. Key 0 marks an empty slot (no object lives at
// address 0). `Payload` is a plain value whose zero value means nothing stored.
template <class Payload>
class IdentityCache {
 public:
  static constexpr uint32_t kSlots = 32;
  static constexpr uint32_t kMaxFilled = 31;
  static constexpr uint32_t kNoSlot = kSlots;

  // The answer of find: a hit names the slot holding the key; a miss names the slot where
  // the key is to be inserted, or kNoSlot once the cache is full.
  struct Lookup {
    bool hit = false;
    uint32_t slot = kNoSlot;
  };

  IdentityCache() noexcept { reset(); }

  // Empties every slot and the insertion count.
  void reset() noexcept {
    for (uint32_t i = 0; i < kSlots; ++i) {
      keys_[i] = 0;
      payloads_[i] = Payload{};
    }
    filled_ = 0;
  }

  // The home slot of address p: address bits 4-8 and 12-16 mixed.
  [[nodiscard]] static constexpr uint32_t home_slot(uint64_t p) noexcept {
    return static_cast<uint32_t>(((p >> 4) ^ (p >> 12)) & (kSlots - 1));
  }

  // Looks p up in probe order home, home + 1, ... (mod 32). While there is room the first
  // empty slot ends the walk; when full, all 32 slots are compared. Written out as a
  // straight run of at most 32 comparisons.
  [[nodiscard]] Lookup find(uint64_t p) const noexcept { return find_unrolled(p, std::make_index_sequence<kSlots>()); }

  // Stores p and its payload in the slot that the preceding miss named (not kNoSlot).
  void insert(const Lookup& miss, uint64_t p, const Payload& payload) noexcept {
    keys_[miss.slot] = p;
    payloads_[miss.slot] = payload;
    ++filled_;
  }

  // The payload of a hit.
  [[nodiscard]] const Payload& payload(const Lookup& hit) const noexcept { return payloads_[hit.slot]; }
  // Insertions made so far, 0 .. 31.
  [[nodiscard]] uint32_t filled() const noexcept { return filled_; }
  // True while another insertion is allowed.
  [[nodiscard]] bool has_room() const noexcept { return filled_ < kMaxFilled; }

 private:
  template <size_t... I>
  [[nodiscard]] Lookup find_unrolled(uint64_t p, std::index_sequence<I...>) const noexcept {
    const uint32_t home = home_slot(p);
    Lookup r;
    if (filled_ < kMaxFilled) {
      (void)(probe_open<I>(p, home, r) || ...);
    } else {
      (void)(probe_full<I>(p, home, r) || ...);
    }
    return r;
  }
  template <size_t I>
  [[nodiscard]] bool probe_open(uint64_t p, uint32_t home, Lookup& r) const noexcept {
    const uint32_t slot = (home + I) & (kSlots - 1);
    const uint64_t key = keys_[slot];
    if (key == p) {
      r = {true, slot};
      return true;
    }
    if (key == 0) {
      r = {false, slot};
      return true;
    }
    return false;
  }
  template <size_t I>
  [[nodiscard]] bool probe_full(uint64_t p, uint32_t home, Lookup& r) const noexcept {
    const uint32_t slot = (home + I) & (kSlots - 1);
    if (keys_[slot] != p) return false;
    r = {true, slot};
    return true;
  }

  uint64_t keys_[kSlots];
  Payload payloads_[kSlots];
  uint32_t filled_;  // insertions so far
};

// The counting payload: 0 empty, 1 matched, 2 did not match.
enum class CountVerdict : uint8_t { Empty = 0, Matched = 1, NotMatched = 2 };

// SeenAddresses: tells, exactly, whether an object address was met before in one call, with
// one bit per 16 bytes of address space. Two distinct live objects lie at least 16 bytes
// apart (an object header alone is that big), so address / 16 names one object. The bits
// come in chunks of 4 KiB, each covering 512 KiB of addresses, found through a small
// directory; the objects of one list mostly come from a few such regions, allocated one
// after the other, so the last chunk used answers most marks. A budget bounds the chunks:
// a mark that would need one more answers Full, and the caller remembers in another way.
class SeenAddresses {
 public:
  enum class Answer : uint8_t { New, Seen, Full };

  // A filter that may use up to `budget_bytes` of bit chunks (rounded down to whole chunks;
  // none at all below one chunk, when every mark answers Full). Allocates the chunks
  // zeroed, lazily paged by the system for large budgets; with no memory every mark
  // answers Full.
  explicit SeenAddresses(size_t budget_bytes) noexcept {
    max_chunks_ = budget_bytes / kChunkBytes;
    if (max_chunks_ == 0) return;
    directory_size_ = 2;
    while (directory_size_ < 2 * max_chunks_) directory_size_ *= 2;
    bits_ = static_cast<uint64_t*>(std::calloc(max_chunks_, kChunkBytes));
    directory_ = static_cast<Region*>(std::calloc(directory_size_, sizeof(Region)));
    if (bits_ == nullptr || directory_ == nullptr) max_chunks_ = 0;
  }
  SeenAddresses(const SeenAddresses&) = delete;
  SeenAddresses& operator=(const SeenAddresses&) = delete;
  ~SeenAddresses() {
    std::free(bits_);
    std::free(directory_);
  }

  // New the first time an address is marked, Seen every later time; Full when the address
  // lies in a region the budget has no chunk left for (the address is then not marked).
  [[nodiscard]] Answer mark(const void* object) noexcept {
    const uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(object)) >> 4;
    const uint64_t region = key >> kRegionShift;
    if (region != last_region_ || last_chunk_ == nullptr) {
      last_chunk_ = chunk_of(region);
      if (last_chunk_ == nullptr) return Answer::Full;
      last_region_ = region;
    }
    const uint64_t bit = key & ((uint64_t{1} << kRegionShift) - 1);
    uint64_t& word = last_chunk_[bit >> 6];
    const uint64_t mask = uint64_t{1} << (bit & 63);
    if ((word & mask) != 0) return Answer::Seen;
    word |= mask;
    return Answer::New;
  }

 private:
  static constexpr uint32_t kRegionShift = 15;  // 2^15 bits a chunk: 512 KiB of addresses
  static constexpr size_t kChunkBytes = (size_t{1} << kRegionShift) / 8;

  struct Region {
    uint64_t number_plus_one;  // 0: an empty directory slot
    uint64_t* chunk;
  };

  // The chunk of `region`, given one on first sight; nullptr when the budget is spent.
  [[nodiscard]] uint64_t* chunk_of(uint64_t region) noexcept {
    if (max_chunks_ == 0) return nullptr;
    const size_t mask = directory_size_ - 1;
    for (size_t i = static_cast<size_t>(address_hash(reinterpret_cast<const void*>(region))) & mask;;
         i = (i + 1) & mask) {
      Region& r = directory_[i];
      if (r.number_plus_one == region + 1) return r.chunk;
      if (r.number_plus_one != 0) continue;
      if (used_chunks_ == max_chunks_) return nullptr;
      r.number_plus_one = region + 1;
      r.chunk = bits_ + used_chunks_++ * (kChunkBytes / sizeof(uint64_t));
      return r.chunk;
    }
  }

  uint64_t* bits_ = nullptr;       // max_chunks_ chunks, zeroed
  Region* directory_ = nullptr;    // directory_size_ slots, at most half of them used
  size_t max_chunks_ = 0;
  size_t used_chunks_ = 0;
  size_t directory_size_ = 0;      // a power of two, at least twice max_chunks_
  uint64_t last_region_ = 0;
  uint64_t* last_chunk_ = nullptr;  // the chunk of last_region_, or nullptr before the first
};

// IdentityMap: remembers one value for every distinct object address of a call, however
// many there are, and hands it out again for every later occurrence of that address.
//
// Most large lists hold no object twice, and a hash map that takes every item in (a table
// that grows to the size of the list) would cost more than evaluating the items. So the
// map starts in front of the table: SeenAddresses tells whether an address is new, and
// while every address is, what is remembered goes to a plain log in list order. At the
// first address met again, or when the filter's budget is spent, the log is moved into the
// table and from then on the table answers, as the plain map would have from the start:
// find gives exactly what a map holding every remembered address gives. A list of fewer
// than kFilterFrom items uses the table alone.
template <class Kept>
class IdentityMap {
 public:
  static constexpr size_t kFilterFrom = 512;

  // A map for a call over `items` items: the filter's budget is eight bytes per item.
  explicit IdentityMap(size_t items) noexcept
      : filter_(items >= kFilterFrom ? items * 8 : 0), logging_(items >= kFilterFrom) {}

  // The value remembered for `object`, or nullptr when none is. A miss while logging marks
  // the address as met: remember it next (else a later find of it moves to the table,
  // which then misses it, which is still exact).
  [[nodiscard]] const Kept* find(const void* object) noexcept {
    if (logging_) {
      if (filter_.mark(object) == SeenAddresses::Answer::New) return nullptr;
      move_log_to_table();
    }
    const auto* entry = table_.find(object);
    return entry != nullptr ? &entry->value : nullptr;
  }

  // Remembers `kept` for `object`, after a find that gave nullptr. False when the table
  // has no memory to grow: the object is then not remembered, and a later occurrence is
  // evaluated again, which gives the same result.
  bool remember(const void* object, const Kept& kept) noexcept {
    if (logging_) {
      log_.push_back({object, kept});
      return true;
    }
    bool inserted = false;
    auto* entry = table_.find_or_insert(object, &inserted);
    if (entry == nullptr) return false;
    entry->value = kept;
    return true;
  }

  // Calls f(object) once for every address given to remember (also those the table had no
  // memory for).
  template <class F>
  void for_each_object(F&& f) noexcept {
    for (const Logged& l : log_) f(l.object);
    for (const void* object : dropped_) f(object);
    table_.for_each([&f](auto& entry) { f(entry.key); });
  }

  // Whether the log is still in use (for the tests).
  [[nodiscard]] bool logging() const noexcept { return logging_; }

 private:
  struct Logged {
    const void* object;
    Kept kept;
  };

  // The table takes over every logged address; one it has no memory for is dropped (and
  // evaluated again when it comes back).
  void move_log_to_table() noexcept {
    logging_ = false;
    for (const Logged& l : log_) {
      bool inserted = false;
      auto* entry = table_.find_or_insert(l.object, &inserted);
      if (entry != nullptr) entry->value = l.kept;
      else dropped_.push_back(l.object);
    }
    log_.clear();
    log_.shrink_to_fit();
  }

  SeenAddresses filter_;
  bool logging_;
  std::vector<Logged> log_;
  std::vector<const void*> dropped_;  // logged, then refused by the table
  OpenTable<const void*, Kept> table_;
};

}  // namespace vantorel
