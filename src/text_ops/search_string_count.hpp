// search_string_count(s) of every class. Every body returns a new int, the number of matches
// in the text (zero-width ones included on the scanning roads).
#pragma once

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

// The search_string_count body of class C: the generic road, count_matches with C's own
// try_match_at compiled in (the hits of the byte-stepping scan, zero-width hits included),
// unless C has a count of its own below. A scan stopped by the stack guard raises
// nesting_too_deep_error.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> search_string_count(PyObject* self, const CallArgs& args) noexcept {
  const ScanCount c = count_matches(class_element<C>(self), args[0].text.data(), args[0].text.size());
  if (c.end.too_deep) return nesting_too_deep_error(c.end.position);
  return new_int(c.count);
}

// The counts that fold into a closed formula (the anchors, Char) or have a road of their own
// (Keyword, Literal, Regex, Word), in search_string_count.cpp. Each equals count_matches with
// the class's try_match_at over the same text, Regex aside (the library's own iteration).
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::Empty>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::NoMatch>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::StringStart>(PyObject* self,
                                                                        const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::StringEnd>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::LineStart>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::LineEnd>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::Char>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string_count<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept;

}  // namespace vantorel::py
