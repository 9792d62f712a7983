// The 26 element classes as the module declares them: the class objects, created on first
// request from their type specs (lib/classes.cpp), and cached for the process.
#pragma once

#include "construction/element_object.hpp"
#include "construction/py_error.hpp"

namespace vantorel::py {

// The class object of `id`, created on the first call (PyType_FromSpec) and cached for the
// life of the process (class_cell); a borrowed reference. A failed creation gives
// RuntimeError "An error occurred while initializing class {}" with the interpreter's error
// as __cause__, and leaves the cache empty.
[[nodiscard]] PyResult<PyTypeObject*> type_object(ClassId id) noexcept;

// The per-class accessors (literal_type_object, keyword_type_object, ...), one for each row
// of the class list, over type_object.
#define VANTOREL_TYPE_ACCESSOR(Name, Element, snake, ...) \
  [[nodiscard]] inline PyResult<PyTypeObject*> snake##_type_object() noexcept { return type_object(ClassId::Name); }
VANTOREL_ELEMENT_CLASSES(VANTOREL_TYPE_ACCESSOR)
#undef VANTOREL_TYPE_ACCESSOR

}  // namespace vantorel::py
