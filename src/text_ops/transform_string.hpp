// transform_string(s, replacement) of every class: a new str in which every match of the
// element is replaced by the replacement, inserted literally. 23 classes share the generic
// road over match_scan; Word, Literal and Regex have roads of their own.
#pragma once

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/element_classes.hpp"

namespace vantorel::py {

// The transform_string body of class C (transform_string.cpp); args[0] is `s`, args[1]
// `replacement`. Always a new str (never `s` itself); a text without matches gives a copy.
//   - generic road: the non-empty hits of the byte-stepping scan (match_scan) of the
//     element's try_match_at are replaced; zero-width hits and the end of the text never
//     are; the empty text gives the empty str without trying the element;
//   - Word: the same result, with the byte tables built in;
//   - Literal: the occurrences of the literal, left to right, never overlapping; an empty
//     literal replaces nothing;
//   - Regex: the matches of the library's iteration with the unanchored expression over
//     the whole text, empty matches included (the empty text too).
// Hits whose bounds fall inside a multi-byte character follow take_whole_characters
// (match_scan.hpp), so the result is always whole characters. A scan stopped by the stack
// guard raises ValueError "ParseException at position {}: Grammar nesting too deep for
// the stack"; nothing else raises here.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> class_transform_string(PyObject* self, const CallArgs& args) noexcept;

#define VANTOREL_DECLARE_TRANSFORM(Name, Element) \
  extern template PyResult<PyRef> class_transform_string<ClassId::Name>(PyObject*, const CallArgs&) noexcept;
VANTOREL_ELEMENT_CLASSES(VANTOREL_DECLARE_TRANSFORM)
#undef VANTOREL_DECLARE_TRANSFORM

// The transform_string body of class `cls`.
[[nodiscard]] constexpr MethodBody transform_string_body(ClassId cls) noexcept {
  switch (cls) {
#define VANTOREL_TRANSFORM_CASE(Name, Element) \
  case ClassId::Name:                          \
    return &class_transform_string<ClassId::Name>;
    VANTOREL_ELEMENT_CLASSES(VANTOREL_TRANSFORM_CASE)
#undef VANTOREL_TRANSFORM_CASE
  }
  return nullptr;
}

}  // namespace vantorel::py
