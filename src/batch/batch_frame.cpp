// The shared pieces of the batch methods: the errors for inputs without a text, new and
// repeated lists and the count's int.
#include "batch/batch_frame.hpp"

#include <string>

#include "elements/fatal.hpp"

namespace vantorel::py {

PyError BatchInputs::input_error(PyObject* object, size_t i) noexcept {
  if (object == nullptr) {
    return PyError::ours(PyExc_RuntimeError, "argument 'inputs': the list changed size during the call");
  }
  if (PyUnicode_Check(object)) return PyError::fetch();  // the interpreter's encoding error
  std::string text = "argument 'inputs': item " + std::to_string(i) + ": ";
  text += type_mismatch_text(object, &PyUnicode_Type);
  return PyError::ours(PyExc_TypeError, std::move(text));
}

PyResult<PyRef> new_list(size_t n) noexcept {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(n)));
  if (!list) return PyError::fetch();
  return list;
}

PyResult<PyRef> repeat_run(PyRef run, size_t q) noexcept {
  if (q == 1) return run;
  PyRef repeated = PyRef::steal(PySequence_Repeat(run.get(), static_cast<Py_ssize_t>(q)));
  if (!repeated) return PyError::fetch();
  return repeated;
}


}  // namespace vantorel::py
