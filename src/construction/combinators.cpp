// Constructors of the combinators with arguments of their own: MatchFirst from a list and
// Exactly. Children are shared through to_element, never copied, so building a combinator
// costs one count increment per child however large the child grammar is (the one-child
// classes likewise, constructors.hpp).
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

PyResult<PyRef> exactly_new(PyTypeObject* type, const CallArgs& args) noexcept {
  // The frame has converted `count` already, so a count error comes before any expr error.
  PyResult<ElementRef> child = to_element(args[0].object);
  if (!child.ok()) return child.take_error();
  return new_element_object(type, ElementRef::make<ExactlyElement>(child.take(), args[1].count));
}

}  // namespace vantorel::py
