// Conversion of a Python object into an element handle, for the combinator constructors,
// the operators and Forward.set.
#pragma once

#include "construction/py_error.hpp"
#include "elements/element.hpp"

namespace vantorel::py {

// A new handle sharing the element of `o`, which must be an instance of one of the 26
// classes (tried in element_classes.hpp order); ValueError "Unsupported parser element
// type" for anything else. `o` is borrowed; its borrow counter is back when this returns.
[[nodiscard]] PyResult<ElementRef> to_element(PyObject* o) noexcept;

}  // namespace vantorel::py
