// The parser of the regular-expression dialect: builds the syntax tree of a wrapped pattern
// with the dialect's validation rules, then checks the nesting limit. No RE2 here.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "elements/regex_ast.hpp"

namespace vantorel::regex {

struct ParseResult {
  bool ok = false;
  Ast ast;
  SyntaxError error;  // when !ok
  uint32_t depth = 0; // the tree's depth as the nesting limit counts it (at most kNestLimit)
};

// Parses `text` (a wrapped pattern) with the dialect's grammar, then checks the nesting
// limit. Text that is not valid UTF-8 is an InvalidUtf8 error at 0.
[[nodiscard]] ParseResult parse(std::string_view text);

// Decodes `text` strictly into its code points (`chars`) and the byte offset of each, plus
// one entry for the end (`offsets`); appends to both. False, with the vectors partly filled,
// when `text` is not valid UTF-8.
[[nodiscard]] bool decode_pattern(std::string_view text, std::vector<uint32_t>& chars, std::vector<uint32_t>& offsets);

}  // namespace vantorel::regex
