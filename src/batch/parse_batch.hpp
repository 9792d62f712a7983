// parse_batch(inputs) of every class: the generic road (one entry per input, each the list of
// that input's tokens or an empty list) and the classes with a road of their own.
#pragma once

#include <cstdint>

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "elements/element.hpp"

namespace vantorel::py {

// A kind's parse_impl on the flat road (parse_into), called directly (not through the
// element's table).
using ParseOperation = Match (*)(const ParserElement& element, ParseContext& ctx, uint64_t pos,
                                 FlatResults& out) noexcept;
template <class E>
Match kind_parse_into(const ParserElement& element, ParseContext& ctx, uint64_t pos, FlatResults& out) noexcept {
  return static_cast<const E&>(element).E::parse_into(ctx, pos, out);
}

// The generic road over the list `inputs`: `parse` at byte 0 of every input, with no
// leading whitespace skip. Returns a new list with one entry per input: the tokens as new
// objects, or an empty list where the element fails. A uniform list is evaluated once and
// all entries are its one result; a list with a period k has its first k items evaluated
// and entry i is the result of item i mod k; otherwise an item that is the same object as
// the one before it shares that item's result. Raises the errors of batch_frame.hpp and
// the interpreter's error for an object it cannot make.
[[nodiscard]] PyResult<PyRef> batch_parse(const ParserElement& element, ParseOperation parse,
                                          PyObject* inputs) noexcept;

// The parse_batch body of class C: the generic road with C's flat parse (parse_into), unless C has a road
// of its own below.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> parse_batch(PyObject* self, const CallArgs& args) noexcept {
  return batch_parse(class_element<C>(self), &kind_parse_into<typename ElementOf<C>::type>, args[0].object);
}

// The roads of their own (parse_batch.cpp):
//   - Literal and Keyword: every entry is one shared list holding the object's cached str (a
//     match) or one shared empty list (a failure); no token is made.
//   - Suppress: every entry an empty list, one shared list for the matching inputs.
//   - Word and Regex: a flat list with one str per matching input, in input order.
//   - And: one entry per input for a uniform list, otherwise a flat list of the tokens.
template <>
[[nodiscard]] PyResult<PyRef> parse_batch<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch<ClassId::Suppress>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> parse_batch<ClassId::And>(PyObject* self, const CallArgs& args) noexcept;

}  // namespace vantorel::py
