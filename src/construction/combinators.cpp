// Constructors of the combinators: MatchFirst, the one-child classes, Exactly and Forward.
// Placeholders until the combinator constructors are written: each raises NotImplementedError.
#include "construction/constructors.hpp"

namespace vantorel::py {

namespace {

PyResult<PyRef> pending_constructor(PyTypeObject* type) noexcept {
  std::string text = type->tp_name;
  if (text.rfind("builtins.", 0) == 0) text.erase(0, 9);
  return PyError::ours(PyExc_NotImplementedError, text + "() is not implemented yet");
}

}  // namespace

PyResult<PyRef> match_first_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> optional_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> zero_or_more_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> one_or_more_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> group_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> suppress_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> combine_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> skip_to_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> exactly_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }
PyResult<PyRef> forward_new(PyTypeObject* type, const CallArgs&) noexcept { return pending_constructor(type); }

}  // namespace vantorel::py
