// A 256-bit membership set over byte values, four 64-bit words. Members >= 128 stand for
// the characters U+0080..U+00FF (two bytes in UTF-8), not for the bytes themselves.
#pragma once

#include <cstdint>
#include <string_view>

#include "elements/utf8.hpp"

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

  // The number of members.
  [[nodiscard]] constexpr unsigned count() const noexcept {
    return static_cast<unsigned>(__builtin_popcountll(words[0]) + __builtin_popcountll(words[1]) +
                                 __builtin_popcountll(words[2]) + __builtin_popcountll(words[3]));
  }
  // The members of either set.
  [[nodiscard]] constexpr ByteSet operator|(const ByteSet& other) const noexcept {
    return ByteSet{{words[0] | other.words[0], words[1] | other.words[1], words[2] | other.words[2],
                    words[3] | other.words[3]}};
  }
  // The members of this set that `other` does not hold.
  [[nodiscard]] constexpr ByteSet without(const ByteSet& other) const noexcept {
    return ByteSet{{words[0] & ~other.words[0], words[1] & ~other.words[1], words[2] & ~other.words[2],
                    words[3] & ~other.words[3]}};
  }

  // Every value 0-255.
  [[nodiscard]] static constexpr ByteSet all() noexcept { return ByteSet{{~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}}}; }
  // The one value v.
  [[nodiscard]] static constexpr ByteSet of(unsigned v) noexcept {
    ByteSet set;
    set.insert(v);
    return set;
  }

  // The set of the code points <= 255 of a well-formed UTF-8 text; characters from U+0100
  // upwards add nothing, and so do a stray continuation byte and a character cut by the end
  // of the text.
  [[nodiscard]] static ByteSet from_utf8_chars(std::string_view text) noexcept {
    ByteSet set;
    for (size_t i = 0; i < text.size();) {
      const auto lead = static_cast<unsigned char>(text[i]);
      const DecodedChar c = decode_utf8_at(text.data(), text.size(), i);
      const bool whole = !is_continuation_byte(lead) && c.length == utf8_sequence_length(lead);
      if (whole && c.code_point <= 0xFF) set.insert(c.code_point);
      i += c.length;
    }
    return set;
  }
};

}  // namespace vantorel
