// Constructors of the combinators: MatchFirst from a list, the seven one-child classes,
// Exactly and Forward. Children are shared through to_element, never copied, so building a
// combinator costs one count increment per child however large the child grammar is.
#include <string>
#include <vector>

#include "construction/constructors.hpp"
#include "construction/to_element.hpp"
#include "elements/forward.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

PyResult<PyRef> match_first_new(PyTypeObject* type, const CallArgs& args) noexcept {
  PyObject* list = args[0].object;
  // The length is read once: the list holds as many alternatives as the list had items
  // when the body began (an item that goes missing meanwhile is the interpreter's error).
  const Py_ssize_t n = PyList_GET_SIZE(list);
  std::vector<ElementRef> alternatives;
  alternatives.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyRef item = PyRef::steal(PyList_GetItemRef(list, i));
    if (!item) return PyError::fetch();  // `alternatives` releases what it holds
    PyResult<ElementRef> child = to_element(item.get());
    if (!child.ok()) {
      return PyError::ours(PyExc_ValueError, "Unsupported expression type at index " + std::to_string(i));
    }
    alternatives.push_back(child.take());
  }
  return new_element_object(type, ElementRef::make<MatchFirstElement>(std::move(alternatives)));
}

namespace {

// The seven one-child constructors: the conversion's error is raised unchanged.
template <class E>
PyResult<PyRef> one_child_new(PyTypeObject* type, const CallArgs& args) noexcept {
  PyResult<ElementRef> child = to_element(args[0].object);
  if (!child.ok()) return child.take_error();
  return new_element_object(type, ElementRef::make<E>(child.take()));
}

}  // namespace

PyResult<PyRef> optional_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return one_child_new<OptionalElement>(type, args);
}
PyResult<PyRef> zero_or_more_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return one_child_new<ZeroOrMoreElement>(type, args);
}
PyResult<PyRef> one_or_more_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return one_child_new<OneOrMoreElement>(type, args);
}
PyResult<PyRef> group_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return one_child_new<GroupElement>(type, args);
}
PyResult<PyRef> suppress_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return one_child_new<SuppressElement>(type, args);
}
PyResult<PyRef> combine_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return one_child_new<CombineElement>(type, args);
}
PyResult<PyRef> skip_to_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return one_child_new<SkipToElement>(type, args);
}

PyResult<PyRef> exactly_new(PyTypeObject* type, const CallArgs& args) noexcept {
  // The frame has converted `count` already, so a count error comes before any expr error.
  PyResult<ElementRef> child = to_element(args[0].object);
  if (!child.ok()) return child.take_error();
  return new_element_object(type, ElementRef::make<ExactlyElement>(child.take(), args[1].count));
}

PyResult<PyRef> forward_new(PyTypeObject* type, const CallArgs& /*args*/) noexcept {
  return new_element_object(type, ElementRef::make<ForwardElement>());
}

}  // namespace vantorel::py
