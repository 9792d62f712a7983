// A 256-bit membership set over byte values, four 64-bit words. Members >= 128 stand for
// the characters U+0080..U+00FF (two bytes in UTF-8), not for the bytes themselves.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantorel {

struct ByteSet {
  uint64_t words[4] = {0, 0, 0, 0};

  [[nodiscard]] constexpr bool contains(unsigned v) const noexcept {
    return ((words[(v >> 6) & 3] >> (v & 63)) & 1u) != 0;
  }
  constexpr void insert(unsigned v) noexcept { words[(v >> 6) & 3] |= uint64_t{1} << (v & 63); }
  [[nodiscard]] constexpr bool empty() const noexcept {
    return (words[0] | words[1] | words[2] | words[3]) == 0;
  }
  // True when some member is >= 128 (a character U+0080..U+00FF).
  [[nodiscard]] constexpr bool has_high_members() const noexcept { return (words[2] | words[3]) != 0; }
  friend constexpr bool operator==(const ByteSet&, const ByteSet&) noexcept = default;

  // Every value 0-255.
  [[nodiscard]] static constexpr ByteSet all() noexcept { return ByteSet{{~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}}}; }
  // The one value v.
  [[nodiscard]] static constexpr ByteSet of(unsigned v) noexcept {
    ByteSet set;
    set.insert(v);
    return set;
  }

  // The set of the code points <= 255 of a well-formed UTF-8 text; characters from U+0100
  // upwards add nothing.
  [[nodiscard]] static ByteSet from_utf8_chars(std::string_view text) noexcept {
    ByteSet set;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
      const unsigned char b = s[i];
      if (b < 0x80) {
        set.insert(b);
        i += 1;
      } else if ((b & 0xE0) == 0xC0) {
        const unsigned cp = i + 1 < n ? ((b & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu) : 0x100;
        if (cp <= 0xFF) set.insert(cp);
        i += 2;
      } else if ((b & 0xF0) == 0xE0) {
        i += 3;
      } else if ((b & 0xF8) == 0xF0) {
        i += 4;
      } else {
        i += 1;  // a stray continuation byte: not a character start
      }
    }
    return set;
  }
};

}  // namespace vantorel
