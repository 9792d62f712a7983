// The counts of search_string_count that need no matcher call: count_keyword_occurrences,
// which looks only at the positions holding the keyword's first byte and jumps over each
// match, and the closed formulas of the anchors and Char (byte counts in vector compares). Each equals what count_matches
// gives with the kind's try_match_at. Nothing here knows Python.
#pragma once

#include <cstdint>
#include <cstring>

#include "elements/literals.hpp"

namespace vantorel {

// The number of Keyword matches of the scan over text[0, n): the keyword's own rule
// (KeywordElement::match) tried only where the keyword's first byte stands (the byte before
// a match is never examined, so xif holds one if). An empty keyword matches with zero width
// at every position whose byte is not an identifier byte. Allocates nothing.
[[nodiscard]] inline uint64_t count_keyword_occurrences(const KeywordElement& k, const char* text, uint64_t n) noexcept {
  if (n == 0) return 0;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const uint64_t len = k.length;
  uint64_t count = 0;
  if (len == 0) {
    for (uint64_t p = 0; p < n; ++p) count += k.match(text, n, p).matched ? 1 : 0;
    return count;
  }
  // Positions without the first byte are misses that move one byte on: jump to the next
  // first byte instead of stepping there.
  uint64_t p = 0;
  while (p < n) {
    const void* hit = std::memchr(text + p, k.first_byte, n - p);
    if (hit == nullptr) break;
    p = static_cast<uint64_t>(static_cast<const unsigned char*>(hit) - s);
    const Match m = k.match(text, n, p);
    if (m.matched) {
      ++count;
      p = m.end;
    } else {
      ++p;
    }
  }
  return count;
}

// The number of bytes of text[0, n) that equal one of the K bytes of `members` (repeats
// allowed). The text is taken in blocks of 255 bytes, each counted into a byte-wide counter
// that cannot overflow there: a loop the compiler turns into vector compares, whatever the
// density of the hits.
template <int K>
[[nodiscard]] inline uint64_t count_member_bytes(const char* text, uint64_t n, const unsigned char (&members)[K]) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const auto hit = [&members](unsigned char c) noexcept {
    uint8_t any = 0;
    for (int k = 0; k < K; ++k) any |= static_cast<uint8_t>(c == members[k]);
    return any;
  };
  uint64_t count = 0;
  uint64_t i = 0;
  for (; n - i >= 255; i += 255) {
    uint8_t block = 0;
    for (uint64_t j = 0; j < 255; ++j) block = static_cast<uint8_t>(block + hit(s[i + j]));
    count += block;
  }
  for (; i < n; ++i) count += hit(s[i]);
  return count;
}

// The number of line feeds in text[0, n): LineEnd's count (it matches at a line feed only,
// the end of the text being never tried).
[[nodiscard]] inline uint64_t count_line_feeds(const char* text, uint64_t n) noexcept {
  const unsigned char line_feed[1] = {'\n'};
  return count_member_bytes(text, n, line_feed);
}

// LineStart's count: 0 for the empty text, else 1 for position 0 plus one per line feed
// before the last byte (a line feed in the last byte starts a line only at n, never tried).
[[nodiscard]] inline uint64_t count_line_starts(const char* text, uint64_t n) noexcept {
  return n == 0 ? 0 : 1 + count_line_feeds(text, n - 1);
}

// Char's count: the bytes whose table entry is 1 (each is a one-byte hit). On a text of a
// kilobyte or more, a table of at most four entries (the usual Char) is counted by
// comparing with its members, in vector compares, after a look at the 256 entries; any
// other table and any shorter text by one table lookup per byte.
[[nodiscard]] inline uint64_t count_table_bytes(const unsigned char (&table)[256], const char* text,
                                                uint64_t n) noexcept {
  if (n >= 1024) {
    unsigned char members[4];
    int k = 0;
    for (unsigned b = 0; b < 256 && k <= 4; ++b) {
      if (table[b] == 0) continue;
      if (k < 4) members[k] = static_cast<unsigned char>(b);
      ++k;
    }
    if (k == 0) return 0;
    if (k <= 4) {
      for (int i = k; i < 4; ++i) members[i] = members[0];
      return count_member_bytes(text, n, members);
    }
  }
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  uint64_t count = 0;
  for (uint64_t i = 0; i < n; ++i) count += table[s[i]];
  return count;
}

}  // namespace vantorel
