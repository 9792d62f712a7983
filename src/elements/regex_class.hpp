// The class algebra of the regular-expression dialect: a class of the tree (a bracket
// class, \d \s \w and their negations, a Unicode property) evaluated into RE2 text whose RE2
// meaning is the class's meaning, with set operations, negation and case folding worked out
// here; the members of a class as explicit ranges; and the RE2 spellings of single
// characters and of sets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "elements/regex_ast.hpp"
#include "elements/regex_ranges.hpp"

namespace vantorel::regex {

// A class that matches nothing (RE2 cannot write an empty class).
inline constexpr std::string_view kNeverMatches = "[^\\x{0}-\\x{10FFFF}]";

// Appends the RE2 spelling of the character `c` outside a class: ASCII letters and digits as
// they are, everything else as \x{...}.
void append_literal(std::string& out, uint32_t c);

// The RE2 text of the ASCII letter `c` with its other case and nothing else (the ASCII-mode
// reading of (?i)c).
[[nodiscard]] std::string ascii_letter_either_case(uint32_t c);

// The RE2 text of one character of the set `s`: a literal, a class of explicit ranges, or a
// class that matches nothing. Exact without (?i): the set is taken as it stands.
[[nodiscard]] std::string set_class_text(const RangeSet& s);

// The RE2 text of the character `c` under Unicode case folding: `c` alone, or a class of its
// folding orbit (the Unicode-mode reading of (?i)c).
[[nodiscard]] std::string case_insensitive_char_text(uint32_t c);

struct ClassTranslation {
  bool ok = false;
  SyntaxError error;        // when !ok
  std::string text;         // the RE2 text: one character of the class
};

// Translates the class node `node` (Perl, Unicode or Bracketed) under `flags` (kFlagUni:
// Unicode mode; kFlagI: case-insensitive). With Unicode off, a class that can match invalid
// UTF-8 or needs Unicode data is an error, so that the caller can retry with Unicode on.
// `work` counts the ranges read by set operations (see kMaxClassWork); a class whose
// evaluation would pass the budget is refused with ClassTooComplex.
[[nodiscard]] ClassTranslation translate_class(const Ast& ast, uint32_t node, uint8_t flags, uint64_t& work);

struct ClassMembers {
  bool ok = false;
  SyntaxError error;  // when !ok
  RangeSet members;   // what the class's RE2 text matches, case folding included
};

// The members of the class node `node` under `flags`, evaluated as translate_class reads it,
// with the same errors and the same work budget. Allocates the set.
[[nodiscard]] ClassMembers class_members(const Ast& ast, uint32_t node, uint8_t flags, uint64_t& work);

}  // namespace vantorel::regex
