// parse_string of every class: the generic road (parse_from_start, then the results as a
// list) and the hooks of the classes that have a fast path of their own.
#pragma once

#include <string_view>

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/chars.hpp"
#include "elements/element.hpp"
#include "elements/forward.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

// The outcome of a parse from the start as the method's result: a new list of the tokens
// converted as token_to_py converts them, or ValueError "ParseException at position {}: {}"
// (byte position, the failure's message).
[[nodiscard]] PyResult<PyRef> outcome_to_list(Match m, const FlatResults& out) noexcept;

// The generic road over an element of kind E: E's own parse_from_start, called directly,
// on the flat road (the tokens become Python objects straight from the input's bytes).
template <class E>
[[nodiscard]] PyResult<PyRef> parse_to_list(const E& element, std::string_view text) noexcept {
  FlatResults out;
  const Match m = parse_from_start_into(element, text.data(), text.size(), out);
  return outcome_to_list(m, out);
}

// The body of parse_string for a class whose element is an E.
template <class E>
[[nodiscard]] PyResult<PyRef> generic_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return parse_to_list(static_cast<const E&>(*element_of(self)), args[0].text);
}

// The classes with a body of their own (fast paths, Optional's pre-check), in
// parse_string.cpp. Until those bodies exist they take the generic road (Regex: not yet).
[[nodiscard]] PyResult<PyRef> literal_parse_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> keyword_parse_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> word_parse_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> regex_parse_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> suppress_parse_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> match_first_parse_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> and_parse_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> optional_parse_string(PyObject* self, const CallArgs& args) noexcept;

// The parse_string body of class `cls`.
[[nodiscard]] constexpr MethodBody parse_string_body(ClassId cls) noexcept {
  switch (cls) {
    case ClassId::Literal: return &literal_parse_string;
    case ClassId::Keyword: return &keyword_parse_string;
    case ClassId::Word: return &word_parse_string;
    case ClassId::Regex: return &regex_parse_string;
    case ClassId::Suppress: return &suppress_parse_string;
    case ClassId::MatchFirst: return &match_first_parse_string;
    case ClassId::And: return &and_parse_string;
    case ClassId::Optional: return &optional_parse_string;
    case ClassId::CaselessLiteral: return &generic_parse_string<CaselessLiteralElement>;
    case ClassId::CaselessKeyword: return &generic_parse_string<CaselessKeywordElement>;
    case ClassId::Char: return &generic_parse_string<CharElement>;
    case ClassId::QuotedString: return &generic_parse_string<QuotedStringElement>;
    case ClassId::Empty: return &generic_parse_string<EmptyElement>;
    case ClassId::NoMatch: return &generic_parse_string<NoMatchElement>;
    case ClassId::LineStart: return &generic_parse_string<LineStartElement>;
    case ClassId::LineEnd: return &generic_parse_string<LineEndElement>;
    case ClassId::StringStart: return &generic_parse_string<StringStartElement>;
    case ClassId::StringEnd: return &generic_parse_string<StringEndElement>;
    case ClassId::rest_of_line: return &generic_parse_string<RestOfLineElement>;
    case ClassId::ZeroOrMore: return &generic_parse_string<ZeroOrMoreElement>;
    case ClassId::OneOrMore: return &generic_parse_string<OneOrMoreElement>;
    case ClassId::Exactly: return &generic_parse_string<ExactlyElement>;
    case ClassId::Group: return &generic_parse_string<GroupElement>;
    case ClassId::Combine: return &generic_parse_string<CombineElement>;
    case ClassId::SkipTo: return &generic_parse_string<SkipToElement>;
    case ClassId::Forward: return &generic_parse_string<ForwardElement>;
  }
  return nullptr;
}

}  // namespace vantorel::py
