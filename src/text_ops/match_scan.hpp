// The byte-stepping scan behind search_string, search_string_count and transform_string:
// an element's try_match_at is tried at every byte position of a text, left to right, and
// the hits never overlap. Pure text processing: nothing here knows Python.
#pragma once

#include <concepts>
#include <cstdint>
#include <utility>

#include "elements/byte_search.hpp"
#include "elements/element.hpp"

namespace vantorel {

// What a scan matches with: anything with the try_match_at operation of the element
// interface. A concrete element type (every kind is final) is called directly, without
// dispatch; a `const ParserElement&` goes through the operation table; a driver may also
// pass a small struct of its own with the matcher built in.
template <class M>
concept ScanMatcher = requires(const M& m, const char* text, uint64_t n, uint64_t pos) {
  { m.try_match_at(text, n, pos) } -> std::same_as<Match>;
};

// How a scan ended: over the whole text, or stopped by the stack guard (the matcher
// reported Match::too_deep() at `position`). A stop is final, as everywhere in the engine:
// the hits reported before it stand, no later position is tried, and the user reports the
// stop instead of a result that a deeper stack might not have given.
struct [[nodiscard]] ScanEnd {
  bool too_deep = false;
  uint64_t position = 0;  // byte offset of the stopped try; meaningful when too_deep
  [[nodiscard]] bool complete() const noexcept { return !too_deep; }
};

// match_scan_plain(matcher, text, n, on_hit): calls on_hit(start, end) for every hit of
// matcher.try_match_at over text[0, n), in increasing order of start, with start <= end.
//   - The empty text (n = 0) is not tried at all.
//   - A position p is passed to try_match_at unchanged: the scan skips no whitespace and
//     builds no context. A hit starts at p even when the matcher skipped whitespace first.
//   - After a miss the scan moves one byte on (also onto a continuation byte of a
//     multi-byte character); after a hit (p, e) to max(p + 1, e), so a zero-width hit moves
//     one byte on and a non-empty one resumes at its end.
//   - Position n, the end of the text, is never tried.
// Zero-width hits (end == start, or any end not beyond start) are reported; each user says
// whether it keeps them. The scan allocates nothing; the matcher may (Combine, Regex).
template <ScanMatcher M, class OnHit>
ScanEnd match_scan_plain(const M& matcher, const char* text, uint64_t n, OnHit&& on_hit) noexcept {
  uint64_t p = 0;
  while (p < n) {
    const Match m = matcher.try_match_at(text, n, p);
    if (!m.matched) {
      if (__builtin_expect(m.is_too_deep(), 0)) return ScanEnd{true, p};
      ++p;
      continue;
    }
    on_hit(p, m.end);
    p = m.end > p ? m.end : p + 1;
  }
  return ScanEnd{};
}

// A matcher that says where its matches can begin (an element: first_bytes and
// skips_whitespace_first).
template <class M>
concept StartAwareMatcher = ScanMatcher<M> && requires(const M& m) {
  { m.first_bytes() } -> std::same_as<ByteSet>;
  { m.skips_whitespace_first() } -> std::same_as<bool>;
};

// match_scan(matcher, text, n, on_hit): exactly the hits of match_scan_plain, in the same
// order, and the same end. For a matcher that says where its matches can begin, the
// positions where it must miss are passed over without a try:
//   - a position whose byte is outside first_bytes misses (the contract of first_bytes); the
//     next candidate is found by ByteFinder, many bytes per step;
//   - for a matcher that skips whitespace first, every position of a whitespace run, and the
//     position right after it, try alike; so only the first position of the run before a
//     candidate is tried (not before the scan's own position), and a miss there moves the
//     scan past the candidate. A run at the end of the text is tried once, at its start.
template <ScanMatcher M, class OnHit>
ScanEnd match_scan(const M& matcher, const char* text, uint64_t n, OnHit&& on_hit) noexcept {
  if constexpr (StartAwareMatcher<M>) {
    const ByteSet first = matcher.first_bytes();
    if (first != ByteSet::all()) {
      const bool after_whitespace = matcher.skips_whitespace_first();
      const ByteFinder candidates(after_whitespace ? first.without(kSkippedWhitespaceBytes) : first);
      uint64_t p = 0;
      while (p < n) {
        const uint64_t q = candidates.find(text, p, n);
        uint64_t start = q;
        if (after_whitespace) {
          while (start > p && is_skipped_whitespace(static_cast<unsigned char>(text[start - 1]))) --start;
        }
        if (start == n) break;
        const Match m = matcher.try_match_at(text, n, start);
        if (!m.matched) {
          if (__builtin_expect(m.is_too_deep(), 0)) return ScanEnd{true, start};
          p = q + 1;
          continue;
        }
        on_hit(start, m.end);
        p = m.end > start ? m.end : start + 1;
      }
      return ScanEnd{};
    }
  }
  return match_scan_plain(matcher, text, n, std::forward<OnHit>(on_hit));
}

// The number of hits of match_scan, zero-width hits included (search_string_count of the
// classes without a count of their own), and how the scan ended. A stopped scan's count
// covers the positions before the stop only.
struct [[nodiscard]] ScanCount {
  uint64_t count = 0;
  ScanEnd end;
};
template <ScanMatcher M>
ScanCount count_matches(const M& matcher, const char* text, uint64_t n) noexcept {
  ScanCount c;
  c.end = match_scan(matcher, text, n, [&c](uint64_t, uint64_t) noexcept { ++c.count; });
  return c;
}

// The whole-character rule of the drivers that cut a hit's text out of the input (as a str,
// or as the stretches around it): a hit that starts inside a multi-byte character is not
// taken (false); a hit that ends inside one is widened to the end of that character (*end
// moves). Every str cut from a taken hit, and every stretch between taken hits, therefore
// holds whole characters. Widened hits cannot overlap the next taken hit: the scan resumes
// at the unwidened end, and any hit starting before the widened end starts inside the
// character and is not taken.
[[nodiscard]] inline bool take_whole_characters(const char* text, uint64_t n, uint64_t start, uint64_t* end) noexcept {
  if (is_inside_character(text, n, start)) return false;
  *end = next_character_boundary(text, n, *end);
  return true;
}

}  // namespace vantorel
