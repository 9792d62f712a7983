// The results of a parse as Python objects: a token as a str or a nested list, a whole token
// sequence as a list, and the "ParseException at position {}: {}" error of a failed parse.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

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
// Appends the tokens of `results`, each converted by token_to_py, to `out`; the first error
// leaves what was appended before it in `out`.
[[nodiscard]] PyResult<bool> append_tokens(const ParseResults& results, std::vector<PyRef>& out) noexcept;

// ValueError "ParseException at position {}: {}" with the byte position and the message of
// a failed parse: the one text of every failure that reports where it happened.
[[nodiscard]] PyError parse_exception(uint64_t position, std::string_view message) noexcept;

// The same error for a match the stack guard stopped at `position` (where the stopped match
// was run), with the guard's message: a stop decides nothing, so the methods that only
// answer, count or rewrite report it instead of an answer a deeper stack might not give.
[[nodiscard]] PyError nesting_too_deep_error(uint64_t position) noexcept;

// The generic road's result: a new list of the tokens of a successful parse from the start,
// or the parse_exception of its failure.
[[nodiscard]] PyResult<PyRef> outcome_to_list(StartOutcome outcome) noexcept;

}  // namespace vantorel::py
