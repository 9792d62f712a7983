// search_string_count of every class: which body each class runs. Every body returns a new
// int, the number of matches in the text (zero-width ones included on the scanning roads).
#pragma once

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/chars.hpp"
#include "elements/forward.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

// count_matches with E's own try_match_at compiled in: the hits of the byte-stepping scan,
// zero-width hits included (search_count.cpp instantiates it for the scanning classes).
template <class E>
[[nodiscard]] PyResult<PyRef> count_matches_body(PyObject* self, const CallArgs& args) noexcept;

// The classes whose count needs no matcher call or has a road of its own (search_count.cpp).
[[nodiscard]] PyResult<PyRef> empty_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> no_match_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> string_start_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> string_end_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> line_start_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> line_end_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> char_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> keyword_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> literal_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> regex_count(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> word_count(PyObject* self, const CallArgs& args) noexcept;

// The search_string_count body of class `cls`.
[[nodiscard]] constexpr MethodBody search_string_count_body(ClassId cls) noexcept {
  switch (cls) {
    case ClassId::Empty: return &empty_count;
    case ClassId::NoMatch: return &no_match_count;
    case ClassId::StringStart: return &string_start_count;
    case ClassId::StringEnd: return &string_end_count;
    case ClassId::LineStart: return &line_start_count;
    case ClassId::LineEnd: return &line_end_count;
    case ClassId::Char: return &char_count;
    case ClassId::Keyword: return &keyword_count;
    case ClassId::Literal: return &literal_count;
    case ClassId::Regex: return &regex_count;
    case ClassId::Word: return &word_count;
    case ClassId::Optional: return &count_matches_body<OptionalElement>;
    case ClassId::ZeroOrMore: return &count_matches_body<ZeroOrMoreElement>;
    case ClassId::Group: return &count_matches_body<GroupElement>;
    case ClassId::Suppress: return &count_matches_body<SuppressElement>;
    case ClassId::Forward: return &count_matches_body<ForwardElement>;
    case ClassId::CaselessLiteral: return &count_matches_body<CaselessLiteralElement>;
    case ClassId::CaselessKeyword: return &count_matches_body<CaselessKeywordElement>;
    case ClassId::QuotedString: return &count_matches_body<QuotedStringElement>;
    case ClassId::rest_of_line: return &count_matches_body<RestOfLineElement>;
    case ClassId::Combine: return &count_matches_body<CombineElement>;
    case ClassId::SkipTo: return &count_matches_body<SkipToElement>;
    case ClassId::And: return &count_matches_body<AndElement>;
    case ClassId::MatchFirst: return &count_matches_body<MatchFirstElement>;
    case ClassId::OneOrMore: return &count_matches_body<OneOrMoreElement>;
    case ClassId::Exactly: return &count_matches_body<ExactlyElement>;
  }
  return nullptr;
}

}  // namespace vantorel::py
