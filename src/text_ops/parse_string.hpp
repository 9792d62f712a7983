// parse_string(s) of every class: the generic road (parse_from_start, then the results as a
// list) and the classes with a fast path of their own.
#pragma once

#include <string_view>

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

// The generic road over an element of kind E: E's own parse_from_start, called directly, on
// the flat road (the tokens become Python objects straight from the input's bytes), and the
// outcome as the method's result (outcome_to_list).
template <class E>
[[nodiscard]] PyResult<PyRef> parse_to_list(const E& element, std::string_view text) noexcept {
  FlatResults out;
  const Match m = parse_from_start_into(element, text.data(), text.size(), out);
  return outcome_to_list(m, out);
}

// The parse_string body of class C: the generic road, unless C has a fast path below.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> parse_string(PyObject* self, const CallArgs& args) noexcept {
  return parse_to_list(class_element<C>(self), args[0].text);
}

// The fast paths (and Optional's pre-check), defined in parse_string.cpp. Literal and Keyword
// return the object's cached str; Word and Regex cut their one token themselves; Suppress
// decides by its child's try_match_at; MatchFirst reports no alternative's failure; And
// takes the matched text of its Normal children. Each fails with its own fixed text (Literal
// with its message), without a position.
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::Suppress>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::MatchFirst>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::And>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_string<ClassId::Optional>(PyObject* self, const CallArgs& args) noexcept;

}  // namespace vantorel::py
