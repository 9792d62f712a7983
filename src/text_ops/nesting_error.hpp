// The error of a text operation whose match the stack guard stopped (element.hpp): such a
// stop decides nothing, so the methods that only answer or rewrite (matches,
// transform_string) report it instead of a verdict or a text a deeper stack might not give.
#pragma once

#include <cstdint>
#include <string>

#include "construction/py_error.hpp"
#include "elements/element.hpp"

namespace vantorel::py {

// ValueError "ParseException at position {}: Grammar nesting too deep for the stack", the
// text parse_string gives for the same stop; `position` is where the stopped match was run.
[[nodiscard]] inline PyError nesting_too_deep_error(uint64_t position) noexcept {
  std::string text = "ParseException at position " + std::to_string(position) + ": ";
  text.append(kNestingTooDeepMessage);
  return PyError::ours(PyExc_ValueError, std::move(text));
}

}  // namespace vantorel::py
