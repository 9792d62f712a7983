// Constructors of the combinators: MatchFirst from a list, the seven one-child classes,
// Exactly and Forward. Children are shared through to_element, never copied, so building a
// combinator costs one count increment per child however large the child grammar is.
#include <string>
#include <vector>

#include "construction/constructors.hpp"
#include "construction/list_snapshot.hpp"
#include "construction/to_element.hpp"
#include "elements/forward.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

PyResult<PyRef> match_first_new(PyTypeObject* type, const CallArgs& args) noexcept {
  // The list is read once, as one state (ListSnapshot): the new element holds one
  // alternative per item the list had at that moment, whatever other threads do to the
  // list meanwhile, and every item stays alive while it is converted.
  PyResult<ListSnapshot> snapshot = ListSnapshot::take(args[0].object);
  if (!snapshot.ok()) return snapshot.take_error();
  const ListSnapshot& items = snapshot.value();
  std::vector<ElementRef> alternatives;
  alternatives.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    PyResult<ElementRef> child = to_element(items[i]);
    if (!child.ok()) {
      // `alternatives` releases what it holds
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
