// parse_batch of every class: the generic road (one entry per input, each the list of that
// input's tokens or an empty list) and the classes with a road of their own.
#pragma once

#include <cstdint>

#include "batch/batch_frame.hpp"
#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/element.hpp"
#include "text_ops/class_element.hpp"

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
// the interpreter's error for a list it cannot make.
[[nodiscard]] PyResult<PyRef> batch_parse(const ParserElement& element, ParseOperation parse,
                                          PyObject* inputs) noexcept;

// The parse_batch body of class C on the generic road, with its kind's flat parse.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> generic_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  return batch_parse(class_element<C>(self), &kind_parse_into<typename ElementOf<C>::type>, args[0].object);
}

// Literal and Keyword: every entry is one shared list holding the object's cached str (a
// match) or one shared empty list (a failure); no token is made.
[[nodiscard]] PyResult<PyRef> literal_parse_batch(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> keyword_parse_batch(PyObject* self, const CallArgs& args) noexcept;
// Suppress: every entry an empty list, one shared list for the matching inputs.
[[nodiscard]] PyResult<PyRef> suppress_parse_batch(PyObject* self, const CallArgs& args) noexcept;
// Word and Regex: a flat list with one str per matching input, in input order.
// Word, Regex and And make their token strs themselves: a str or list the interpreter cannot
// make raises its error (MemoryError), as for the lists of every road.
[[nodiscard]] PyResult<PyRef> word_parse_batch(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> regex_parse_batch(PyObject* self, const CallArgs& args) noexcept;
// And: one entry per input for a uniform list, otherwise a flat list of the tokens.
[[nodiscard]] PyResult<PyRef> and_parse_batch(PyObject* self, const CallArgs& args) noexcept;

// The parse_batch body of class `cls`.
[[nodiscard]] constexpr MethodBody parse_batch_body(ClassId cls) noexcept {
  switch (cls) {
    case ClassId::Literal: return &literal_parse_batch;
    case ClassId::Keyword: return &keyword_parse_batch;
    case ClassId::Suppress: return &suppress_parse_batch;
    case ClassId::Word: return &word_parse_batch;
    case ClassId::Regex: return &regex_parse_batch;
    case ClassId::And: return &and_parse_batch;
    case ClassId::CaselessLiteral: return &generic_parse_batch<ClassId::CaselessLiteral>;
    case ClassId::CaselessKeyword: return &generic_parse_batch<ClassId::CaselessKeyword>;
    case ClassId::Char: return &generic_parse_batch<ClassId::Char>;
    case ClassId::QuotedString: return &generic_parse_batch<ClassId::QuotedString>;
    case ClassId::Empty: return &generic_parse_batch<ClassId::Empty>;
    case ClassId::NoMatch: return &generic_parse_batch<ClassId::NoMatch>;
    case ClassId::LineStart: return &generic_parse_batch<ClassId::LineStart>;
    case ClassId::LineEnd: return &generic_parse_batch<ClassId::LineEnd>;
    case ClassId::StringStart: return &generic_parse_batch<ClassId::StringStart>;
    case ClassId::StringEnd: return &generic_parse_batch<ClassId::StringEnd>;
    case ClassId::rest_of_line: return &generic_parse_batch<ClassId::rest_of_line>;
    case ClassId::MatchFirst: return &generic_parse_batch<ClassId::MatchFirst>;
    case ClassId::Optional: return &generic_parse_batch<ClassId::Optional>;
    case ClassId::ZeroOrMore: return &generic_parse_batch<ClassId::ZeroOrMore>;
    case ClassId::OneOrMore: return &generic_parse_batch<ClassId::OneOrMore>;
    case ClassId::Exactly: return &generic_parse_batch<ClassId::Exactly>;
    case ClassId::Group: return &generic_parse_batch<ClassId::Group>;
    case ClassId::Combine: return &generic_parse_batch<ClassId::Combine>;
    case ClassId::SkipTo: return &generic_parse_batch<ClassId::SkipTo>;
    case ClassId::Forward: return &generic_parse_batch<ClassId::Forward>;
  }
  return nullptr;
}

}  // namespace vantorel::py
