// matches(s) of every class: True or False for one text, by the class's own match rule run
// directly on the UTF-8 bytes (no tokens, no results, no Python objects but the answer).
#pragma once

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/element_classes.hpp"

namespace vantorel::py {

// The matches body of class C (matches.cpp). It answers with a new reference to Py_True or
// Py_False. The full-match classes skip leading whitespace, match there and demand that
// only whitespace (bytes 9, 10, 13, 32) follows; the prefix classes match at byte 0 and
// ignore what follows; six prefix classes answer without looking at the text. It raises
// nothing for a failed match; only a match stopped by the stack guard raises ValueError
// "ParseException at position {}: Grammar nesting too deep for the stack".
template <ClassId C>
[[nodiscard]] PyResult<PyRef> class_matches(PyObject* self, const CallArgs& args) noexcept;

#define VANTOREL_DECLARE_MATCHES(Name, Element) \
  extern template PyResult<PyRef> class_matches<ClassId::Name>(PyObject*, const CallArgs&) noexcept;
VANTOREL_ELEMENT_CLASSES(VANTOREL_DECLARE_MATCHES)
#undef VANTOREL_DECLARE_MATCHES

// The matches body of class `cls`.
[[nodiscard]] constexpr MethodBody matches_body(ClassId cls) noexcept {
  switch (cls) {
#define VANTOREL_MATCHES_CASE(Name, Element) \
  case ClassId::Name:                        \
    return &class_matches<ClassId::Name>;
    VANTOREL_ELEMENT_CLASSES(VANTOREL_MATCHES_CASE)
#undef VANTOREL_MATCHES_CASE
  }
  return nullptr;
}

}  // namespace vantorel::py
