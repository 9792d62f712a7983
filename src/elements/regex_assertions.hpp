// Assertions: the RE2 spelling of the line and text anchors, and the word assertions that
// RE2 lacks (\b and \B in Unicode mode, \<, \>, \b{start}, \b{end} and the half boundaries
// in both modes): where they stand in a pattern, how the characters around them decide them,
// and the checks that stand in for them at a match's edges.
#pragma once

#include <cstdint>
#include <string>

#include "elements/regex_ast.hpp"

namespace vantorel::regex {

// The RE2 text of the line or text anchor `kind` (StartLine to EndText); `multi_line` is the
// m flag. $ without it is the end of the text only.
[[nodiscard]] std::string anchor_text(AssertKind kind, bool multi_line);

// Whether `n` is a word assertion (not a line or text anchor).
[[nodiscard]] bool is_word_assertion(const Node& n);

// The word assertion that every match evaluates first, at its start (found through groups
// and the first items of concatenations, past flags and anchors), or kNoNode.
[[nodiscard]] uint32_t leading_word_assertion(const Ast& ast);

// The word assertion that every match evaluates last, at its end (through groups and the
// last items of concatenations, past flags), or kNoNode.
[[nodiscard]] uint32_t trailing_word_assertion(const Ast& ast);

// What is known of the character on one side of an assertion inside a pattern.
struct Neighbour {
  bool known = false;  // a character is certain to be there
  uint8_t bits = 0;    // the word bits it may have (regex_class.hpp)
};

// RE2 text of the word assertion `kind` inside a pattern, given its neighbours. Where they
// decide it, the text is exact: nothing, or a class that never matches. Otherwise it is RE2's
// ASCII \b or \B, which in Unicode mode is exact only on ASCII text.
[[nodiscard]] std::string word_assertion_text(AssertKind kind, bool unicode, Neighbour prev, Neighbour next);

// A trailing word assertion made into one consumed look-ahead character, decided from the
// last character of every match.
struct TrailingFold {
  enum class Outcome : uint8_t {
    Undecided,  // the last character does not decide it: translate it as an inner assertion
    Never,      // no match can satisfy it
    Holds,      // every match satisfies it: drop it
    LookAhead,  // a match must be followed by `look_ahead` (a character, or the text's end)
  };
  Outcome outcome = Outcome::Undecided;
  std::string look_ahead;
};

// Folds the trailing assertion `kind` after a pattern whose matches end with a character of
// word bits `last_bits` (and may be empty when `nullable`).
[[nodiscard]] TrailingFold fold_trailing_assertion(AssertKind kind, bool unicode, uint8_t last_bits, bool nullable);

// The argument of leading_assertion_holds for the assertion `kind` in the given mode.
[[nodiscard]] uint8_t leading_check_arg(AssertKind kind, bool unicode);

// Whether the leading word assertion described by `arg` holds at position p of text[0, n):
// the check a match start must pass once the assertion is taken off the pattern. Reads the
// characters before and at p, as whole characters.
[[nodiscard]] bool leading_assertion_holds(const char* text, uint64_t n, uint64_t p, uint8_t arg) noexcept;

}  // namespace vantorel::regex
