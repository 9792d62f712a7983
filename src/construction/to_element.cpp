// to_element: an instance of one of the 26 classes shares its element with the new handle;
// nothing else converts (no str is ever wrapped into a Literal, no element is copied).
#include "construction/to_element.hpp"

#include "construction/element_object.hpp"

namespace vantorel::py {

PyResult<ElementRef> to_element(PyObject* o) noexcept {
  for (ClassId id : kAllClasses) {  // the order of the class list
    if (!is_instance(o, id)) continue;
    // The handle is copied under a shared borrow. An object under an exclusive borrow (never
    // taken by this module) counts as not an instance of the class.
    PyResult<SharedBorrow> borrow = SharedBorrow::take(o);
    if (!borrow.ok()) continue;
    return ElementRef(element_of(o));
  }
  return PyError::ours(PyExc_ValueError, "Unsupported parser element type");
}

}  // namespace vantorel::py
