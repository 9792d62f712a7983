// The constructor bodies (tp_new, run inside the constructor frame): each builds the
// element from the converted arguments and returns a new instance of the class called.
#pragma once

#include "construction/call_frame.hpp"
#include "construction/to_element.hpp"

namespace vantorel::py {

// The leaf classes (constructors.cpp).
[[nodiscard]] PyResult<PyRef> literal_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> caseless_literal_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> keyword_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> caseless_keyword_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> word_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> char_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> quoted_string_new(PyTypeObject* type, const CallArgs& args) noexcept;

// Regex (regex_constructor.cpp).
[[nodiscard]] PyResult<PyRef> regex_new(PyTypeObject* type, const CallArgs& args) noexcept;

// The combinators with arguments of their own (combinators.cpp): MatchFirst(exprs) and
// Exactly(expr, count).
[[nodiscard]] PyResult<PyRef> match_first_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> exactly_new(PyTypeObject* type, const CallArgs& args) noexcept;

// The classes whose element has no fields (Empty, NoMatch, the anchors, rest_of_line, and
// Forward, which starts unset): a new element of kind E.
template <class E>
[[nodiscard]] PyResult<PyRef> fieldless_new(PyTypeObject* type, const CallArgs& /*args*/) noexcept {
  return new_element_object(type, ElementRef::make<E>());
}

// The seven one-child classes (expr): the child's element shared through to_element, whose
// error is raised unchanged.
template <class E>
[[nodiscard]] PyResult<PyRef> one_child_new(PyTypeObject* type, const CallArgs& args) noexcept {
  PyResult<ElementRef> child = to_element(args[0].object);
  if (!child.ok()) return child.take_error();
  return new_element_object(type, ElementRef::make<E>(child.take()));
}

}  // namespace vantorel::py
