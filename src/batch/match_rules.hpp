// The match rules that the batch methods apply at byte 0 of an input, without a leading
// whitespace skip. They are written here once, free of Python, so that the drivers inline
// them and the engine tests can hold each one against the element's own operations.
#pragma once

#include <cstdint>

#include "elements/chars.hpp"
#include "elements/element.hpp"
#include "elements/literals.hpp"
#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"
#include "elements/structure.hpp"

namespace vantorel {

// ---- Rules that give tokens (parse_batch) ---------------------------------------------

// Word at byte 0: a first byte in init_set, then the run of bytes in body_set, tested one
// by one (no decoding). A run that stops inside a multi-byte character is carried to the
// end of that character, so the token t[0, end) always holds whole characters.
[[nodiscard]] inline Match word_at_start(const WordElement& word, const char* t, uint64_t m) noexcept {
  if (m == 0 || !word.init_set.contains(static_cast<unsigned char>(t[0]))) return Match::none();
  uint64_t e = 1;
  while (e < m && word.body_set.contains(static_cast<unsigned char>(t[e]))) ++e;
  return Match::at(next_character_boundary(t, m, e));
}

// Regex at byte 0: the anchored expression over the whole text decides (the element's
// mode shortcuts are not used). An end inside a multi-byte character is carried to the end
// of that character.
[[nodiscard]] inline Match regex_at_start(const RegexElement& regex, const char* t, uint64_t m) noexcept {
  uint64_t end = 0;
  if (!regex.anchored->match_prefix(t, m, &end)) return Match::none();
  return Match::at(next_character_boundary(t, m, end));
}

// The sequence test of And.parse_batch: each child's try_match_at where the previous one
// ended, starting at 0, with no whitespace skipped before any child. on_token(begin, end)
// receives the matched text of every child whose match is not empty, in child order; it is
// called before the verdict is known, so a caller drops what it kept for a failing input.
// After each child a position inside a multi-byte character is carried to the end of that
// character: every token holds whole characters and the next child starts on a boundary.
// A stack-guard stop of a child is passed on as it is.
template <class OnToken>
[[nodiscard]] Match and_sequence_at_start(const AndElement& sequence, const char* t, uint64_t m,
                                          OnToken&& on_token) noexcept {
  uint64_t p = 0;
  for (const ElementRef& child : sequence.exprs) {
    const Match c = child->try_match_at(t, m, p);
    if (!c.matched) return c;
    const uint64_t e = next_character_boundary(t, m, c.end);
    if (e > p) on_token(p, e);
    p = e;
  }
  return Match::at(p);
}

// ---- Rules that give a verdict only (parse_batch_count) -------------------------------

// Word: the first byte alone decides (the constructor's limits are one character and no
// maximum, so the first byte is the whole verdict of WordElement::try_match_at).
[[nodiscard]] inline bool word_counts(const WordElement& word, const char* t, uint64_t m) noexcept {
  return m > 0 && word.init_set.contains(static_cast<unsigned char>(t[0]));
}

// Char: the first byte in the table.
[[nodiscard]] inline bool char_counts(const CharElement& c, const char* t, uint64_t m) noexcept {
  return m > 0 && c.char_table[static_cast<unsigned char>(t[0])] != 0;
}

// Regex: the anchored expression finds a match on the whole text.
[[nodiscard]] inline bool regex_counts(const RegexElement& regex, const char* t, uint64_t m) noexcept {
  uint64_t end = 0;
  return regex.anchored->match_prefix(t, m, &end);
}

// StringEnd at 0: only the empty text.
[[nodiscard]] constexpr bool string_end_counts(uint64_t m) noexcept { return m == 0; }

}  // namespace vantorel
