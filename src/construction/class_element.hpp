// The element type of each class, for bodies written once over the class id.
#pragma once

#include "construction/element_object.hpp"
#include "elements/chars.hpp"
#include "elements/element_classes.hpp"
#include "elements/forward.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/regex_element.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

// ElementOf<ClassId::Word>::type is WordElement, and so on for the 26 classes.
template <ClassId C>
struct ElementOf;
#define VANTOREL_ELEMENT_OF(Name, Element, ...) \
  template <>                                   \
  struct ElementOf<ClassId::Name> {             \
    using type = Element;                       \
  };
VANTOREL_ELEMENT_CLASSES(VANTOREL_ELEMENT_OF)
#undef VANTOREL_ELEMENT_OF

// The element of an instance of class C, as its own final type.
template <ClassId C>
[[nodiscard]] const typename ElementOf<C>::type& class_element(PyObject* self) noexcept {
  return static_cast<const typename ElementOf<C>::type&>(*element_of(self));
}

}  // namespace vantorel::py
