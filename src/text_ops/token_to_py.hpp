// Tokens into Python objects: a Str token becomes a new str, a Group token a new list; the
// same for the entries of a flat-road result.
#pragma once

#include <cstdint>

#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "elements/element.hpp"

namespace vantorel::py {

// A new object for `token`: a str of its bytes, or a list of its items converted in order
// (nested groups give nested lists). A list the interpreter cannot make is its error, with
// everything made so far released; a str it cannot make ends the process.
[[nodiscard]] PyResult<PyRef> token_to_py(const Token& token) noexcept;

// A new list of the tokens of `results` (a finished parse), each converted as token_to_py
// converts the same token of the plain road: the lists and strs are exactly those a
// ParseResults holding the same tokens would give. Failures as token_to_py.
[[nodiscard]] PyResult<PyRef> flat_to_list(const FlatResults& results) noexcept;
// The token at entry `i` of `results` as token_to_py converts it; `i` is left at the next
// token. Failures as token_to_py.
[[nodiscard]] PyResult<PyRef> flat_token_to_py(const FlatResults& results, uint64_t& i) noexcept;

}  // namespace vantorel::py
