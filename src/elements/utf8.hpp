// The character rules shared by the engine, the regex front end and the module surface:
// UTF-8 boundaries, decoding and encoding one character, the Unicode White_Space
// characters and the ASCII word bytes. No allocation except append_utf8's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorel {

// ---------------------------------------------------------------------------------------
// Boundaries

// True for the bytes 0x80-0xBF, which continue a multi-byte UTF-8 character.
[[nodiscard]] constexpr bool is_continuation_byte(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

// The byte length of the character that `lead` starts: 1 below 0xC0 (ASCII, and a stray
// continuation byte, so that a scan always moves on), then 2, 3 or 4.
[[nodiscard]] constexpr uint32_t utf8_sequence_length(unsigned char lead) noexcept {
  return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// True when p < length and the byte at p continues a character: p is then inside a
// multi-byte character, not at the start of one. Position length is never inside one.
[[nodiscard]] inline bool is_inside_character(const char* text, uint64_t length, uint64_t p) noexcept {
  return p < length && is_continuation_byte(static_cast<unsigned char>(text[p]));
}

// The number of characters that start in bytes[0, n): the bytes that are not continuation
// bytes. A plain loop the compiler turns into wide steps.
[[nodiscard]] inline uint64_t count_utf8_chars(const char* bytes, uint64_t n) noexcept {
  uint64_t count = 0;
  for (uint64_t i = 0; i < n; ++i) count += static_cast<signed char>(bytes[i]) > -65 ? 1 : 0;  // not 0x80-0xBF
  return count;
}

// The first position at or after p (p <= length) that is not inside a character.
[[nodiscard]] inline uint64_t next_character_boundary(const char* text, uint64_t length, uint64_t p) noexcept {
  while (is_inside_character(text, length, p)) ++p;
  return p;
}

// The last position at or before p (p <= length) that is not inside a character.
[[nodiscard]] inline uint64_t previous_character_boundary(const char* text, uint64_t length, uint64_t p) noexcept {
  while (p > 0 && is_inside_character(text, length, p)) --p;
  return p;
}

// ---------------------------------------------------------------------------------------
// Decoding and encoding

// One character: its code point and its length in bytes.
struct DecodedChar {
  uint32_t code_point;
  uint32_t length;  // bytes, 1 to 4
};

// The character that starts at p (p < length). Lenient, for text the interpreter has
// checked: a sequence cut by the end of the text decodes from the bytes that are there
// (its length stops at the end), and a byte below 0xC0 decodes as itself, length 1.
[[nodiscard]] constexpr DecodedChar decode_utf8_at(const char* text, uint64_t length, uint64_t p) noexcept {
  const auto b = static_cast<unsigned char>(text[p]);
  if (b < 0xC0) return {b, 1};
  const uint32_t len = utf8_sequence_length(b);
  uint32_t cp = b & (len == 2 ? 0x1Fu : len == 3 ? 0x0Fu : 0x07u);
  uint32_t k = 1;
  for (; k < len && p + k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[p + k]) & 0x3Fu);
  for (uint32_t missing = k; missing < len; ++missing) cp <<= 6;
  return {cp, k};
}

// The character that ends just before p (0 < p <= length), as decode_utf8_at reads it.
[[nodiscard]] inline DecodedChar decode_utf8_before(const char* text, uint64_t length, uint64_t p) noexcept {
  return decode_utf8_at(text, length, previous_character_boundary(text, length, p - 1));
}

// The character that starts at p (p < length) of untrusted bytes, strictly: length 0 for a
// malformed sequence (a bad or cut continuation, an overlong form, a surrogate, a value
// past U+10FFFF, a byte that starts no sequence).
[[nodiscard]] constexpr DecodedChar decode_utf8_strict(const char* text, uint64_t length, uint64_t p) noexcept {
  const auto b = static_cast<unsigned char>(text[p]);
  if (b < 0x80) return {b, 1};
  if (b < 0xC0 || b >= 0xF8) return {0, 0};
  const uint32_t len = utf8_sequence_length(b);
  if (len > length - p) return {0, 0};
  uint32_t cp = b & (len == 2 ? 0x1Fu : len == 3 ? 0x0Fu : 0x07u);
  for (uint32_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(text[p + k]);
    if (!is_continuation_byte(c)) return {0, 0};
    cp = (cp << 6) | (c & 0x3Fu);
  }
  constexpr uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {0, 0};
  return {cp, len};
}

// Appends the UTF-8 form of code point c (c <= 0x10FFFF) to out.
inline void append_utf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// ---------------------------------------------------------------------------------------
// Character classes used outside the regex tables

// An inclusive range of code points.
struct CodePointRange {
  uint32_t lo;
  uint32_t hi;
};

// The 25 characters with the Unicode White_Space property, as ascending ranges.
inline constexpr CodePointRange kUnicodeWhiteSpace[] = {
    {0x09, 0x0D},     {0x20, 0x20},     {0x85, 0x85},     {0xA0, 0xA0},     {0x1680, 0x1680},
    {0x2000, 0x200A}, {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000},
};

// True for the Unicode White_Space characters (a wider set than the four bytes the engine
// skips between elements).
[[nodiscard]] constexpr bool is_unicode_white_space(uint32_t c) noexcept {
  for (const CodePointRange& r : kUnicodeWhiteSpace) {
    if (c < r.lo) return false;
    if (c <= r.hi) return true;
  }
  return false;
}

// True for the ASCII word bytes 0-9, A-Z, a-z and _ (identifier bytes; every byte >= 128
// is not one).
[[nodiscard]] constexpr bool is_ascii_word_byte(unsigned char b) noexcept {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
}

}  // namespace vantorel
