// Translation of a parsed pattern into RE2 text whose RE2 meaning is the dialect's: flags
// resolved into explicit forms, classes through the class algebra, counted repetitions
// beyond RE2's limits expanded, and the word assertions RE2 lacks decided from their
// neighbours or taken to the match's edges (exact there, approximate inside).
#pragma once

#include <cstdint>
#include <string>

#include "elements/regex_ast.hpp"

namespace vantorel::regex {

struct Translation {
  bool ok = false;
  bool size_exceeded = false;  // the failure is the size limit (no SyntaxError then)
  SyntaxError error;           // when !ok && !size_exceeded
  std::string re2;             // the RE2 pattern text
  // A word assertion at the start of every match, for the matcher to check at the start.
  bool lead = false;
  AssertKind lead_kind = AssertKind::WordBoundary;
  bool lead_unicode = false;
  // A trailing assertion folded into one consumed look-ahead character: capture group 1 ends
  // where the match really ends.
  bool trim = false;
  // What the translation did, in units the machine does not change (for tests): the ranges
  // that class evaluation read, and the length of the longest RE2 text made for one node.
  uint64_t class_work = 0;
  uint64_t largest_fragment = 0;
};

// Translates a parsed wrapped pattern with Unicode mode on or off by default ((?u) and (?-u)
// scopes switch it). Errors carry the span of the offending node; the first one in visit
// order wins.
[[nodiscard]] Translation translate(const Ast& ast, bool unicode);

}  // namespace vantorel::regex
