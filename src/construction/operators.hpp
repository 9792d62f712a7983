// The composition operators (+, |, <<=) and Forward.set. The slots go into the type specs
// of lib/classes.cpp; Forward.set is a method body run inside the method frame.
#pragma once

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"

namespace vantorel::py {

// The `+` slot (Py_nb_add) of class `cls`; every class has one.
[[nodiscard]] binaryfunc add_slot(ClassId cls) noexcept;
// The `|` slot (Py_nb_or) of class `cls`; nullptr for And, which has none.
[[nodiscard]] binaryfunc or_slot(ClassId cls) noexcept;
// Forward's `<<=` slot (Py_nb_inplace_lshift): returns the Forward itself.
PyObject* forward_inplace_lshift(PyObject* forward, PyObject* expr) noexcept;

// Body of Forward.set(expr): binds the Forward's target; returns None.
[[nodiscard]] PyResult<PyRef> forward_set(PyObject* self, const CallArgs& args) noexcept;

}  // namespace vantorel::py
