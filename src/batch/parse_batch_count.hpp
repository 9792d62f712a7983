// parse_batch_count(inputs) of every class: how many inputs the element matches at byte 0, as
// an int. The generic road runs a kind's try_match_at; fourteen classes have their match
// test built into the counting steps.
#pragma once

#include <cstdint>

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "elements/element.hpp"

namespace vantorel::py {

// A kind's try_match_at, called directly (not through the element's table).
using MatchOperation = Match (*)(const ParserElement& element, const char* text, uint64_t length,
                                 uint64_t pos) noexcept;
template <class E>
Match kind_try_match_at(const ParserElement& element, const char* text, uint64_t length, uint64_t pos) noexcept {
  return static_cast<const E&>(element).E::try_match_at(text, length, pos);
}

// The number of inputs of the list `inputs` on which `match` at byte 0 reports a match (the
// end is not used), as a new int. A uniform list is tested once, a list with a period k on
// its first k items, any other list through the IdentityCache (the first 31 distinct
// objects tested once each). Counting makes no object until the count is known. Raises
// only the errors of batch_frame.hpp.
[[nodiscard]] PyResult<PyRef> batch_count(const ParserElement& element, MatchOperation match,
                                          PyObject* inputs) noexcept;

// The parse_batch_count body of class C: the generic road with C's try_match_at, unless C has
// a count of its own below.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  return batch_count(class_element<C>(self), &kind_try_match_at<typename ElementOf<C>::type>, args[0].object);
}

// The classes whose match test is built into the counting steps (parse_batch_count.cpp):
// Empty, LineStart, StringStart and Optional match every input at byte 0; NoMatch none;
// StringEnd the empty ones; Char, Word and Regex by their first-byte or expression test;
// Group and Suppress count their inner expression; And, Keyword and Literal take fewer
// shortcuts.
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Empty>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::LineStart>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::StringStart>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Optional>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::NoMatch>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::StringEnd>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Char>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Group>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Suppress>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::And>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch_count<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept;

}  // namespace vantorel::py
