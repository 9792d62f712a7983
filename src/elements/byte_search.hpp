// Fast byte searches over a text: the first byte that belongs to a set (ByteFinder), and the
// first place where two given bytes stand a fixed distance apart (find_byte_pair). Each has
// an AVX2 form, chosen at run time when the processor has it, beside the plain loop it must
// equal (the *_plain functions, which the tests compare it with). Nothing is allocated.
#pragma once

#include <cstdint>

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

 private:
  enum class Mode : uint8_t {
    None,   // no member
    All,    // every byte
    One,    // one member: memchr
    Few,    // two or three members, compared one by one
    Table,  // any other set, looked up by the byte's two halves
  };
  ByteSet set_;
  Mode mode_;
  unsigned char few_[3] = {0, 0, 0};  // One and Few: the members (repeated to fill three)
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

}  // namespace vantorel
