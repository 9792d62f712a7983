// Tokens into Python objects: a Str token becomes a new str, a Group token a new list.
#pragma once

#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "elements/element.hpp"

namespace vantorel::py {

// A new object for `token`: a str of its bytes, or a list of its items converted in order
// (nested groups give nested lists). A list the interpreter cannot make is its error, with
// everything made so far released; a str it cannot make ends the process.
[[nodiscard]] PyResult<PyRef> token_to_py(const Token& token) noexcept;

}  // namespace vantorel::py
