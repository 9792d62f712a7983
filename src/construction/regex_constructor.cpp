// Regex(pattern): the element from make_regex_element, or its error as a ValueError.
// Placeholder until the regex construction is wired: raises NotImplementedError.
#include "construction/constructors.hpp"

namespace vantorel::py {

PyResult<PyRef> regex_new(PyTypeObject* /*type*/, const CallArgs& /*args*/) noexcept {
  return PyError::ours(PyExc_NotImplementedError, "Regex() is not implemented yet");
}

}  // namespace vantorel::py
