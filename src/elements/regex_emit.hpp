// Translation of a parsed pattern into RE2 text whose RE2 meaning is the dialect's: flags
// resolved into explicit forms, classes evaluated (flat in ASCII mode, native or a union of
// intersections in Unicode mode), counted repetitions beyond RE2's limits expanded, and word
// assertions that RE2 lacks emulated (exactly at the pattern's edges, approximately inside).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <vector>

#include "elements/regex_parse.hpp"
#include "elements/regex_unicode.hpp"

namespace vantorel::regex {

// The program-size ceiling: RE2 instructions of the unanchored program. It stands for the
// dialect's 10485760-byte limit on its own compiled form.
inline constexpr uint64_t kMaxProgramSize = 327680;
inline constexpr std::string_view kSizeLimitMessage = "Compiled regex exceeds size limit of 10485760 bytes.";

// The budget of class evaluation in one translation, in ranges read by set operations. Each
// operation is linear in its operands, so a pattern of a few thousand bytes uses a small part
// of it; a class whose next operation would pass it is refused with "character class too
// complex" before that operation runs.
inline constexpr uint64_t kMaxClassWork = uint64_t{1} << 25;

struct Emission {
  bool ok = false;
  bool size_exceeded = false;  // the failure is the size limit (no SyntaxError then)
  SyntaxError error;           // when !ok && !size_exceeded
  std::string re2;             // the RE2 pattern text
  // A word assertion at the start of every match, checked on the match start by the matcher.
  bool lead = false;
  AssertKind lead_kind = AssertKind::WordBoundary;
  bool lead_unicode = false;
  // A trailing assertion folded into one consumed look-ahead character: capture group 1 ends
  // where the match really ends.
  bool trim = false;
  // The pattern inside its wrapper is exactly one bracket class.
  bool single_class = false;
  // What the translation did, in units the machine does not change (for tests): the ranges
  // that class evaluation read, and the length of the longest RE2 text made for one node.
  uint64_t class_work = 0;
  uint64_t largest_fragment = 0;
};

// Translates a parsed wrapped pattern with Unicode mode on or off by default ((?u) and (?-u)
// scopes switch it). Errors carry the span of the offending node; the first one in visit
// order wins.
[[nodiscard]] Emission emit(const Ast& ast, bool unicode);

// Provided by the adapter (the one place that holds RE2): the RE2 program size of a pattern
// text under the adapter's options (0 if it does not compile).
[[nodiscard]] uint64_t re2_program_size(std::string_view re2_text);

// The RE2 spelling of the Unicode \w class.
inline constexpr std::string_view kUnicodeWordClass =
    "\\p{L}\\p{Nl}\\p{M}\\p{Nd}\\p{Pc}\\x{200C}-\\x{200D}\\x{24B6}-\\x{24E9}\\x{1F130}-\\x{1F149}"
    "\\x{1F150}-\\x{1F169}\\x{1F170}-\\x{1F189}";

}  // namespace vantorel::regex
