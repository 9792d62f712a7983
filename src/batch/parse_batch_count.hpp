// parse_batch_count of every class: how many inputs the element matches at byte 0, as an
// int. The generic drivers run a kind's try_match_at; twelve classes carry the counting
// steps with their own match test built in.
#pragma once

#include <cstdint>

#include "batch/batch_frame.hpp"
#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/element.hpp"
#include "text_ops/class_element.hpp"

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
// The same through the handle's table: `element`'s own try_match_at.
[[nodiscard]] PyResult<PyRef> batch_count_dyn(const ElementRef& element, PyObject* inputs) noexcept;

// The parse_batch_count body of class C on the generic driver, with its kind's try_match_at.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> generic_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  return batch_count(class_element<C>(self), &kind_try_match_at<typename ElementOf<C>::type>, args[0].object);
}

// Group and Suppress: the count of their inner expression.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> inner_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  return batch_count_dyn(class_element<C>(self).expr, args[0].object);
}

// The classes whose match test is built into the counting steps (parse_batch_count.cpp).
[[nodiscard]] PyResult<PyRef> empty_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> no_match_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> string_end_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> char_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> word_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> regex_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> and_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> keyword_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> literal_parse_batch_count(PyObject* self, const CallArgs& args) noexcept;

// The parse_batch_count body of class `cls`. Empty, LineStart, StringStart and Optional
// match every input at byte 0 and share one body.
[[nodiscard]] constexpr MethodBody parse_batch_count_body(ClassId cls) noexcept {
  switch (cls) {
    case ClassId::Empty:
    case ClassId::LineStart:
    case ClassId::StringStart:
    case ClassId::Optional: return &empty_parse_batch_count;
    case ClassId::NoMatch: return &no_match_parse_batch_count;
    case ClassId::StringEnd: return &string_end_parse_batch_count;
    case ClassId::Char: return &char_parse_batch_count;
    case ClassId::Word: return &word_parse_batch_count;
    case ClassId::Regex: return &regex_parse_batch_count;
    case ClassId::And: return &and_parse_batch_count;
    case ClassId::Keyword: return &keyword_parse_batch_count;
    case ClassId::Literal: return &literal_parse_batch_count;
    case ClassId::Group: return &inner_parse_batch_count<ClassId::Group>;
    case ClassId::Suppress: return &inner_parse_batch_count<ClassId::Suppress>;
    case ClassId::MatchFirst: return &generic_parse_batch_count<ClassId::MatchFirst>;
    case ClassId::SkipTo: return &generic_parse_batch_count<ClassId::SkipTo>;
    case ClassId::Exactly: return &generic_parse_batch_count<ClassId::Exactly>;
    case ClassId::OneOrMore: return &generic_parse_batch_count<ClassId::OneOrMore>;
    case ClassId::LineEnd: return &generic_parse_batch_count<ClassId::LineEnd>;
    case ClassId::Combine: return &generic_parse_batch_count<ClassId::Combine>;
    case ClassId::CaselessLiteral: return &generic_parse_batch_count<ClassId::CaselessLiteral>;
    case ClassId::Forward: return &generic_parse_batch_count<ClassId::Forward>;
    case ClassId::QuotedString: return &generic_parse_batch_count<ClassId::QuotedString>;
    case ClassId::ZeroOrMore: return &generic_parse_batch_count<ClassId::ZeroOrMore>;
    case ClassId::rest_of_line: return &generic_parse_batch_count<ClassId::rest_of_line>;
    case ClassId::CaselessKeyword: return &generic_parse_batch_count<ClassId::CaselessKeyword>;
  }
  return nullptr;
}

}  // namespace vantorel::py
