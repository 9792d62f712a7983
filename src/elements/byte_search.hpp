// Fast byte searches over a text: the first byte that belongs to a set (ByteFinder), the
// first place where two given bytes stand a fixed distance apart (find_byte_pair), and the
// first of three given bytes in a short run (find_first_of3). The first two have an AVX2
// form, chosen at run time when the processor has it; each stands beside the plain loop it
// must equal (the *_plain functions, which the tests compare it with). Nothing is allocated.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "elements/byte_set.hpp"

namespace vantorel {

// Finds the bytes of one set, built once per scan and then asked many times.
class ByteFinder {
 public:
  explicit ByteFinder(const ByteSet& set) noexcept;

  // The first position in [from, to) whose byte is a member, or `to` when there is none.
  [[nodiscard]] uint64_t find(const char* text, uint64_t from, uint64_t to) const noexcept;
  // The same answer by a plain loop over the bytes.
  [[nodiscard]] uint64_t find_plain(const char* text, uint64_t from, uint64_t to) const noexcept;

  // True when every byte is a member (find answers `from` at once).
  [[nodiscard]] bool takes_every_byte() const noexcept { return mode_ == Mode::All; }
  // The set it finds.
  [[nodiscard]] const ByteSet& set() const noexcept { return set_; }

 private:
  enum class Mode : uint8_t {
    None,   // no member
    All,    // every byte
    One,    // one member: memchr
    Few,    // two or three members, compared one by one
    Range,  // one run of consecutive bytes: a subtraction and one compare per byte
    Table,  // any other set, looked up by the byte's two halves
  };
  ByteSet set_;
  Mode mode_;
  unsigned char few_[3] = {0, 0, 0};  // One and Few: the members (repeated to fill three)
  unsigned char range_lo_ = 0;        // Range: the members are range_lo_ + [0, range_width_]
  unsigned char range_width_ = 0;
  // Table: bit h of low_[v & 15] tells whether the byte (h << 4) | (v & 15) is a member for
  // h < 8, and bit h - 8 of high_[v & 15] the same for h >= 8.
  alignas(16) unsigned char low_[16] = {};
  alignas(16) unsigned char high_[16] = {};
};

// The first position c in [from, end) with text[c] == a and text[c + gap] == b, or `end` when
// there is none. Every position up to end - 1 + gap must lie inside the text.
[[nodiscard]] uint64_t find_byte_pair(const char* text, uint64_t from, uint64_t end, unsigned char a, unsigned char b,
                                      uint64_t gap) noexcept;
// The same answer by a plain loop.
[[nodiscard]] uint64_t find_byte_pair_plain(const char* text, uint64_t from, uint64_t end, unsigned char a,
                                            unsigned char b, uint64_t gap) noexcept;

// The first position in [from, to) whose byte is a, b or c (they may repeat), or `to` when
// there is none; `from` may lie beyond `to`. Eight bytes a step, for the short runs that an
// element reads up to its closing byte, where a vector search would not repay its set-up.
[[nodiscard]] inline uint64_t find_first_of3(const char* text, uint64_t from, uint64_t to, unsigned char a,
                                             unsigned char b, unsigned char c) noexcept {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  // High bit set in each zero byte of x; a byte above a zero byte may be flagged too (the
  // borrow), but never one below the lowest zero byte, which is all that is read.
  const auto zero_bytes = [](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
  uint64_t p = from;
  for (; p < to && to - p >= 8; p += 8) {
    uint64_t w;
    std::memcpy(&w, text + p, 8);
    const uint64_t hits = zero_bytes(w ^ (a * kOnes)) | zero_bytes(w ^ (b * kOnes)) | zero_bytes(w ^ (c * kOnes));
    if (hits != 0) return p + static_cast<uint64_t>(std::countr_zero(hits) >> 3);
  }
  for (; p < to; ++p) {
    const auto x = static_cast<unsigned char>(text[p]);
    if (x == a || x == b || x == c) return p;
  }
  return to;
}
// The same answer by a plain loop.
[[nodiscard]] inline uint64_t find_first_of3_plain(const char* text, uint64_t from, uint64_t to, unsigned char a,
                                                   unsigned char b, unsigned char c) noexcept {
  for (uint64_t p = from; p < to; ++p) {
    const auto x = static_cast<unsigned char>(text[p]);
    if (x == a || x == b || x == c) return p;
  }
  return to;
}

}  // namespace vantorel
