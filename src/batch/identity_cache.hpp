// IdentityCache: a 32-slot table from an object's address to a stored answer, living in the
// frame of one batch call. It never looks at what the object holds, only where it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

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

}  // namespace vantorel
