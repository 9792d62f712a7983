// The class algebra of the regular-expression dialect: a class of the tree (a bracket
// class, \d \s \w and their negations, a Unicode property) evaluated into RE2 text whose RE2
// meaning is the class's meaning, with set operations, negation and case folding worked out
// here; plus the RE2 spellings of single characters and what a class can hold, which the
// word assertions need.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "elements/regex_ast.hpp"

namespace vantorel::regex {

// Word-ness of characters, one bit for each answer in each mode: with Unicode off (A) a
// word character is an ASCII word byte; with it on (U) a character of the Unicode \w class.
enum : uint8_t { kWordA = 1, kNonWordA = 2, kWordU = 4, kNonWordU = 8, kAnyChar = 15 };

// The word bits of the character `c`. Its Unicode answer for non-ASCII characters is looked
// up only when `need_unicode` (otherwise both Unicode bits are set, as for any character).
[[nodiscard]] uint8_t char_word_bits(uint32_t c, bool need_unicode);

// A class that matches nothing (RE2 cannot write an empty class).
inline constexpr std::string_view kNeverMatches = "[^\\x{0}-\\x{10FFFF}]";

// Appends the RE2 spelling of the character `c` outside a class: ASCII letters and digits as
// they are, everything else as \x{...}.
void append_literal(std::string& out, uint32_t c);

// The RE2 text of the ASCII letter `c` with its other case and nothing else (the ASCII-mode
// reading of (?i)c).
[[nodiscard]] std::string ascii_letter_either_case(uint32_t c);

// The items of the Unicode \w class as they stand inside an RE2 bracket class (explicit
// ranges). Built once per process, on first use.
[[nodiscard]] const std::string& unicode_word_class_items();

// The RE2 text of the character `c` under Unicode case folding: `c` alone, or a class of its
// folding orbit (the Unicode-mode reading of (?i)c).
[[nodiscard]] std::string case_insensitive_char_text(uint32_t c);

struct ClassTranslation {
  bool ok = false;
  SyntaxError error;        // when !ok
  std::string text;         // the RE2 text: one character of the class
  uint8_t word_bits = 0;    // what the class can hold (kAnyChar when not worked out)
};

// Translates the class node `node` (Perl, Unicode or Bracketed) under `flags` (kFlagUni:
// Unicode mode; kFlagI: case-insensitive). With Unicode off, a class that can match invalid
// UTF-8 or needs Unicode data is an error, so that the caller can retry with Unicode on.
// `want_word_bits` asks for the word bits of Unicode-mode classes (which cost a look at the
// tables). `work` counts the ranges read by set operations (see kMaxClassWork); a class
// whose evaluation would pass the budget is refused with ClassTooComplex.
[[nodiscard]] ClassTranslation translate_class(const Ast& ast, uint32_t node, uint8_t flags, bool want_word_bits,
                                               uint64_t& work);

}  // namespace vantorel::regex
