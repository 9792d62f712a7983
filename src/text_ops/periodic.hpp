// Periodic texts and literal counting: detect_period finds the block that a text repeats
// over its whole length, and count_literal_occurrences counts a literal's non-overlapping
// occurrences, on a periodic text from its first two blocks and its tail only. Pure byte
// functions: nothing here knows Python.
#pragma once

#include <cstdint>
#include <cstring>

#include "text_ops/literal_finder.hpp"

namespace vantorel {

// The longest block detect_period looks for.
inline constexpr uint64_t kMaxPeriod = 1024;

// The period P of text[0, n), or 0 for none: 1 <= P <= 1024, 2P <= n, and
// text[i] == text[i - P] for every i in [P, n). The first candidate P (a position below
// 1025 holding text[0]) whose second block equals the first is the only one confirmed;
// n < 4 has no period. Reads at most the text; allocates nothing.
[[nodiscard]] inline uint64_t detect_period(const char* text, uint64_t n) noexcept {
  if (n < 4) return 0;
  const uint64_t lim = n < kMaxPeriod + 1 ? n : kMaxPeriod + 1;
  const char c0 = text[0];
  uint64_t start = 1;
  while (start < lim) {
    const void* hit = std::memchr(text + start, c0, lim - start);
    if (hit == nullptr) return 0;
    const uint64_t p = static_cast<uint64_t>(static_cast<const char*>(hit) - text);
    if (2 * p > n) return 0;  // candidates only grow: none of the later ones fits twice
    if (std::memcmp(text, text + p, p) == 0) {
      // The text repeats its block to the end exactly when it equals itself shifted by p.
      return std::memcmp(text + p, text, n - p) == 0 ? p : 0;
    }
    start = p + 1;
  }
  return 0;
}

// The leftmost non-overlapping occurrences of the finder's literal (m >= 1 bytes) that lie
// inside text[a, b), searched from a; `last_end` receives the end of the last one counted
// (left unchanged when there is none). Jumps from occurrence to occurrence.
[[nodiscard]] inline uint64_t count_literal_in(LiteralFinder& finder, uint64_t m, const char* text, uint64_t a,
                                               uint64_t b, uint64_t* last_end) noexcept {
  uint64_t count = 0;
  uint64_t u = a;
  for (;;) {
    const uint64_t hit = finder.find(text, u, b);
    if (hit == LiteralFinder::kNone) break;
    u = hit + m;
    ++count;
    *last_end = u;
  }
  return count;
}

// The number of leftmost non-overlapping occurrences of lit[0, m) in text[0, n); 0 for the
// empty literal. On a text with a period P >= m only the first two blocks and the tail are
// searched: every block after the first adds what the second adds. Allocates nothing.
[[nodiscard]] inline uint64_t count_literal_occurrences(const char* lit, uint64_t m, const char* text,
                                                        uint64_t n) noexcept {
  if (m == 0) return 0;
  LiteralFinder finder(lit, m);  // one searcher for every search of the call
  uint64_t unused = 0;
  const uint64_t p = detect_period(text, n);
  if (p == 0 || p < m) return count_literal_in(finder, m, text, 0, n, &unused);
  uint64_t e1 = 0;
  uint64_t e2 = 0;
  const uint64_t c1 = count_literal_in(finder, m, text, 0, p, &e1);
  const uint64_t c2 = count_literal_in(finder, m, text, 0, 2 * p, &e2);
  const uint64_t q = n / p;
  const uint64_t whole = c1 + (q - 1) * (c2 - c1);  // occurrences ending at or before qP
  if (n % p == 0) return whole;
  // Go on behind the last occurrence counted so far; what is found there ends after qP.
  const uint64_t last = c2 > c1 ? e2 + (q - 2) * p : e1;
  const uint64_t from = q * p - (m - 1) > last ? q * p - (m - 1) : last;
  return whole + count_literal_in(finder, m, text, from, n, &unused);
}

}  // namespace vantorel
