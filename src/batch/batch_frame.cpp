// The errors a batch call raises for an input without a text.
#include "batch/batch_frame.hpp"

#include <string>

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

}  // namespace vantorel::py
