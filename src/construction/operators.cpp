// The composition operators and Forward.set.
// Placeholders until the operators are written: each raises NotImplementedError.
#include "construction/operators.hpp"

namespace vantorel::py {

namespace {

PyObject* pending_operator(PyObject* /*left*/, PyObject* /*right*/) noexcept {
  return finish(PyError::ours(PyExc_NotImplementedError, "element operators are not implemented yet"));
}

}  // namespace

binaryfunc add_slot(ClassId /*cls*/) noexcept { return &pending_operator; }

binaryfunc or_slot(ClassId cls) noexcept { return cls == ClassId::And ? nullptr : &pending_operator; }

PyObject* forward_inplace_lshift(PyObject* forward, PyObject* expr) noexcept {
  return pending_operator(forward, expr);
}

PyResult<PyRef> forward_set(PyObject* /*self*/, const CallArgs& /*args*/) noexcept {
  return PyError::ours(PyExc_NotImplementedError, "Forward.set() is not implemented yet");
}

}  // namespace vantorel::py
