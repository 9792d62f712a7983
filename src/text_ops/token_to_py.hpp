// The results of a parse as Python objects: a token as a str or a nested list, a whole token
// sequence as a list (from a ParseResults or from the entries of a flat-road result), and the
// "ParseException at position {}: {}" error of a failed parse.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "elements/element.hpp"

namespace vantorel::py {

// A new object for `token`: a str of its bytes, or a list of its items converted in order
// (nested groups give nested lists). An object the interpreter cannot make is its error
// (MemoryError), with everything made so far released.
[[nodiscard]] PyResult<PyRef> token_to_py(const Token& token) noexcept;

// A new list of `tokens`, each converted by token_to_py, or the first error.
[[nodiscard]] PyResult<PyRef> tokens_to_list(std::span<const Token> tokens) noexcept;
[[nodiscard]] inline PyResult<PyRef> results_to_list(const ParseResults& results) noexcept {
  return tokens_to_list({results.begin(), static_cast<size_t>(results.size())});
}

// A new str of the UTF-8 bytes of a token (whole characters), equal to the one
// PyUnicode_FromStringAndSize makes; short ASCII texts are copied straight into a new ASCII
// str. The interpreter's error when it cannot make it.
[[nodiscard]] PyResult<PyRef> token_str(std::string_view bytes) noexcept;

// A new list of the tokens of `results` (a finished parse), each converted as token_to_py
// converts the same token of the plain road: the lists and strs are exactly those a
// ParseResults holding the same tokens would give. Failures as token_to_py.
[[nodiscard]] PyResult<PyRef> flat_to_list(const FlatResults& results) noexcept;
// The token at entry `i` of `results` as token_to_py converts it; `i` is left at the next
// token. Failures as token_to_py.
[[nodiscard]] PyResult<PyRef> flat_token_to_py(const FlatResults& results, uint64_t& i) noexcept;

// ValueError "ParseException at position {}: {}" with the byte position and the message of
// a failed parse: the one text of every failure that reports where it happened.
[[nodiscard]] PyError parse_exception(uint64_t position, std::string_view message) noexcept;
[[nodiscard]] inline PyError parse_exception(const FlatError& error) noexcept {
  return parse_exception(error.position, error.message);
}

// The same error for a match the stack guard stopped at `position` (where the stopped match
// was run), with the guard's message: a stop decides nothing, so the methods that only
// answer, count or rewrite report it instead of an answer a deeper stack might not give.
[[nodiscard]] PyError nesting_too_deep_error(uint64_t position) noexcept;

// The generic road's result: a new list of the tokens of a successful flat-road parse from
// the start (`m` matched), or the parse_exception of its failure (out.error()).
[[nodiscard]] PyResult<PyRef> outcome_to_list(Match m, const FlatResults& out) noexcept;

}  // namespace vantorel::py
