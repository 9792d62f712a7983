// The composition operators and Forward.set. `a + b` and `a | b` always build a new And or
// MatchFirst object whose list shares the operands' elements; a right operand of the
// result's own class is flattened into the list, and only And.__add__ and MatchFirst.__or__
// flatten their left operand too. `f <<= x` and f.set(x) re-target the Forward in place.
#include "construction/operators.hpp"

#include <string_view>
#include <vector>

#include "construction/to_element.hpp"
#include "elements/forward.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

namespace {

// What distinguishes `+` from `|`: the result's class and element, and the error text.
struct AddOp {
  using Element = AndElement;
  static constexpr ClassId kResult = ClassId::And;
  static constexpr std::string_view kError = "Unsupported operand type for +";
};
struct OrOp {
  using Element = MatchFirstElement;
  static constexpr ClassId kResult = ClassId::MatchFirst;
  static constexpr std::string_view kError = "Unsupported operand type for |";
};

// The children of an element object of the result's class, copied under a shared borrow.
template <class Op>
void append_children_of(PyObject* o, std::vector<ElementRef>& list) noexcept {
  ElementRef held;
  {
    PyResult<SharedBorrow> borrow = SharedBorrow::take(o);
    if (!borrow.ok()) return;  // never: nothing takes an exclusive borrow
    held = element_of(o);
  }
  const auto& children = static_cast<const typename Op::Element&>(*held).exprs;
  list.insert(list.end(), children.begin(), children.end());
}

// Appends the right operand to `list`: its children when it is of the result's class,
// otherwise its converted element. False (with `list` untouched) when it is no element.
template <class Op>
bool append_right(PyObject* right, std::vector<ElementRef>& list) noexcept {
  if (is_instance(right, Op::kResult)) {
    append_children_of<Op>(right, list);
    return true;
  }
  PyResult<ElementRef> converted = to_element(right);
  if (!converted.ok()) return false;  // its own text never reaches the caller
  list.push_back(converted.take());
  return true;
}

// build_and / build_match_first: the left handle, then the right operand flattened when it
// is of the result's class. On failure the left handle is released with `list`.
template <class Op>
PyResult<ElementRef> build_list(ElementRef left, PyObject* right) noexcept {
  std::vector<ElementRef> list;
  list.push_back(std::move(left));
  if (!append_right<Op>(right, list)) return PyError::ours(PyExc_ValueError, std::string(Op::kError));
  return ElementRef::make<typename Op::Element>(std::move(list));
}

PyResult<PyRef> not_implemented() noexcept { return PyRef::borrow(Py_NotImplemented); }

// The slot of class C for every operator but And.__add__ and MatchFirst.__or__: the left
// operand becomes one entry whatever its class.
template <class Op, ClassId C>
PyObject* plain_slot(PyObject* left, PyObject* right) noexcept {
  if (!is_instance(left, C)) return finish(not_implemented());
  PyResult<SharedBorrow> borrow = SharedBorrow::take(left);
  if (!borrow.ok()) return finish(borrow.take_error());
  PyResult<ElementRef> built = build_list<Op>(ElementRef(element_of(left)), right);
  if (!built.ok()) return finish(built.take_error());
  return finish(new_element_object(class_of(Op::kResult), built.take()));
}

// And.__add__ and MatchFirst.__or__: the left operand's children are copied into the new
// list, so a chain a + b + c builds one flat list instead of a nest.
template <class Op>
PyObject* flattening_slot(PyObject* left, PyObject* right) noexcept {
  if (!is_instance(left, Op::kResult)) return finish(not_implemented());
  PyResult<SharedBorrow> borrow = SharedBorrow::take(left);
  if (!borrow.ok()) return finish(borrow.take_error());
  const auto& children = static_cast<const typename Op::Element&>(*element_of(left)).exprs;
  std::vector<ElementRef> list(children.begin(), children.end());
  if (!append_right<Op>(right, list)) return finish(PyError::ours(PyExc_ValueError, std::string(Op::kError)));
  return finish(new_element_object(class_of(Op::kResult), ElementRef::make<typename Op::Element>(std::move(list))));
}

// The plain slot of every class, indexed by class id.
template <class Op>
constexpr auto kPlainSlots = per_class([]<ClassId C>() -> binaryfunc { return &plain_slot<Op, C>; });

// Re-targets the Forward object `forward` (borrowed by the caller) to `expr`.
PyResult<bool> retarget(PyObject* forward, PyObject* expr) noexcept {
  PyResult<ElementRef> target = to_element(expr);
  if (!target.ok()) return target.take_error();  // "Unsupported parser element type"
  static_cast<const ForwardElement&>(*element_of(forward)).forward_set(target.take());
  return true;
}

}  // namespace

binaryfunc add_slot(ClassId cls) noexcept {
  if (cls == ClassId::And) return &flattening_slot<AddOp>;
  return kPlainSlots<AddOp>[static_cast<size_t>(cls)];
}

binaryfunc or_slot(ClassId cls) noexcept {
  if (cls == ClassId::And) return nullptr;
  if (cls == ClassId::MatchFirst) return &flattening_slot<OrOp>;
  return kPlainSlots<OrOp>[static_cast<size_t>(cls)];
}

PyObject* forward_inplace_lshift(PyObject* forward, PyObject* expr) noexcept {
  // The interpreter calls this slot only with a Forward on the left.
  PyResult<SharedBorrow> borrow = SharedBorrow::take(forward);
  if (!borrow.ok()) return finish(borrow.take_error());
  PyResult<bool> done = retarget(forward, expr);
  if (!done.ok()) return finish(done.take_error());
  // The Forward itself, so that `f <<= x` leaves f bound to the same object.
  return finish(PyRef::borrow(forward));
}

PyResult<PyRef> forward_set(PyObject* self, const CallArgs& args) noexcept {
  // The frame has checked the receiver and holds a shared borrow of it.
  PyResult<bool> done = retarget(self, args[0].object);
  if (!done.ok()) return done.take_error();
  return PyRef::borrow(Py_None);
}

}  // namespace vantorel::py
