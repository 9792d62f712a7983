// Translation of a parsed pattern into RE2 text whose RE2 meaning is the dialect's: flags
// resolved into explicit forms, classes through the class algebra, counted repetitions
// beyond RE2's limits expanded, and the assertions RE2 lacks spelled by the context pass
// (regex_context) as restrictions on the characters around them.
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
  // The text reads the characters around a match (see ContextTranslation): it consumes the
  // character before the match unless capture group 1 (the start marker) takes part, and
  // every other capture group marks a match that consumed the character after it.
  bool prefix = false;
  bool start_marker = false;
  std::string re2_later;       // with a start marker: the text for searches after the text's start
  bool suffix = false;         // every match consumes the character after it, but at the text's end
  bool exact = true;           // the dialect's preference between matches is kept everywhere
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
