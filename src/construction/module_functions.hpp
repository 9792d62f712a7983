// The eight module functions: one_of and the seven character sets. Their definitions
// (name, entry, calling convention, docstring) are added to the module at start-up.
#pragma once

#include <span>

#include "construction/py_ref.hpp"

namespace vantorel::py {

// The function definitions in the order the module adds them: alphas, alphanums, nums,
// printables, hexnums, alphas_upper, alphas_lower, one_of. Static, never written.
[[nodiscard]] std::span<PyMethodDef> module_function_defs() noexcept;

}  // namespace vantorel::py
