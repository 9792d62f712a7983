// to_element: instances of the 26 classes share their element; nothing else converts.
// Placeholder until the conversion is written: every object is refused.
#include "construction/to_element.hpp"

namespace vantorel::py {

PyResult<ElementRef> to_element(PyObject* /*o*/) noexcept {
  return PyError::ours(PyExc_NotImplementedError, "element conversion is not implemented yet");
}

}  // namespace vantorel::py
