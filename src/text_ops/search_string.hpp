// search_string of every class, and Word._search_string_flat: which body each class runs.
// Every body returns a new list with one entry per non-overlapping match, in text order.
#pragma once

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/chars.hpp"
#include "elements/forward.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

// search_matches over an element of kind E (the 21 classes without a road of their own):
// the scan with E's try_match_at, zero-width hits dropped; a Normal kind contributes a new
// one-item list of the matched text per match (byte-equal texts share one str), any other
// kind a new list of the tokens of its parse_impl at the match start (an empty list where
// that parse fails). Instantiated in search_string.cpp for those classes.
template <class E>
[[nodiscard]] PyResult<PyRef> search_matches_body(PyObject* self, const CallArgs& args) noexcept;

// The roads of their own, in search_string.cpp. And: search_matches with the sequence
// matcher built into the scan. Word: the byte-table scan, equal words sharing one one-item
// list. Regex: the library's iteration over the unanchored expression, empty matches
// included. Keyword and Literal: their counts, then one list [cached_str] repeated (an
// empty keyword or literal matches only with zero width and finds nothing).
[[nodiscard]] PyResult<PyRef> and_search_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> word_search_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> regex_search_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> keyword_search_string(PyObject* self, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> literal_search_string(PyObject* self, const CallArgs& args) noexcept;

// Word._search_string_flat: the words of Word.search_string as one flat list of str, equal
// words sharing one str; a periodic text is scanned over its block and tail only
// (word_flat_search.cpp).
[[nodiscard]] PyResult<PyRef> word_search_string_flat(PyObject* self, const CallArgs& args) noexcept;

// The search_string body of class `cls`.
[[nodiscard]] constexpr MethodBody search_string_body(ClassId cls) noexcept {
  switch (cls) {
    case ClassId::Literal: return &literal_search_string;
    case ClassId::Keyword: return &keyword_search_string;
    case ClassId::Word: return &word_search_string;
    case ClassId::Regex: return &regex_search_string;
    case ClassId::And: return &and_search_string;
    case ClassId::Char: return &search_matches_body<CharElement>;
    case ClassId::CaselessLiteral: return &search_matches_body<CaselessLiteralElement>;
    case ClassId::CaselessKeyword: return &search_matches_body<CaselessKeywordElement>;
    case ClassId::QuotedString: return &search_matches_body<QuotedStringElement>;
    case ClassId::rest_of_line: return &search_matches_body<RestOfLineElement>;
    case ClassId::Empty: return &search_matches_body<EmptyElement>;
    case ClassId::NoMatch: return &search_matches_body<NoMatchElement>;
    case ClassId::LineStart: return &search_matches_body<LineStartElement>;
    case ClassId::LineEnd: return &search_matches_body<LineEndElement>;
    case ClassId::StringStart: return &search_matches_body<StringStartElement>;
    case ClassId::StringEnd: return &search_matches_body<StringEndElement>;
    case ClassId::Optional: return &search_matches_body<OptionalElement>;
    case ClassId::Exactly: return &search_matches_body<ExactlyElement>;
    case ClassId::Combine: return &search_matches_body<CombineElement>;
    case ClassId::SkipTo: return &search_matches_body<SkipToElement>;
    case ClassId::Suppress: return &search_matches_body<SuppressElement>;
    case ClassId::Group: return &search_matches_body<GroupElement>;
    case ClassId::MatchFirst: return &search_matches_body<MatchFirstElement>;
    case ClassId::ZeroOrMore: return &search_matches_body<ZeroOrMoreElement>;
    case ClassId::OneOrMore: return &search_matches_body<OneOrMoreElement>;
    case ClassId::Forward: return &search_matches_body<ForwardElement>;
  }
  return nullptr;
}

}  // namespace vantorel::py
