// Compilation of a wrapped pattern of the regular-expression dialect: parse, translate,
// build the RE2 expression and apply the size limit. The stages report error codes; this is
// the edge where they become the error text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "elements/regex_adapter.hpp"

namespace vantorel::regex {

struct CompileResult {
  std::unique_ptr<Expression> expression;  // null on error
  std::string error;                       // the error text when expression is null
  bool single_class = false;               // the pattern inside its wrapper is one bracket class
  // The text is "(?:P)" with P inside its group and the expression reads no context (no
  // capture group): run anchored at the start, it is the expression of "^(?:P)".
  bool serves_anchored = false;
  bool exact = true;                       // the dialect's preference between matches is kept (see Translation)
  uint64_t class_work = 0;                 // ranges read by class evaluation (see Translation)
  uint64_t largest_fragment = 0;           // bytes of the longest RE2 text made for one node
};

// Compiles a wrapped pattern ("^(?:...)" or "(?:...)") with Unicode mode on or off. Errors:
// "regex parse error:" with the text and a caret line, or the size-limit text. An expression
// that serves_anchored carries the byte DFA of its pattern when the pattern is simple enough
// for one (regex_dfa.hpp).
// With `build` false, stops once the front end has accepted the text: no RE2 program is
// built, and the result has neither an expression nor an error (for a caller that knows
// the program's fate already).
[[nodiscard]] CompileResult compile(std::string_view wrapped, bool unicode, bool build = true);

}  // namespace vantorel::regex
