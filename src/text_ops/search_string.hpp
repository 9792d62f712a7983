// search_string(s) of every class, and Word._search_string_flat. Every body returns a new
// list with one entry per non-overlapping match, in text order.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "text_ops/match_scan.hpp"

namespace vantorel::py {

// A match span [start, end) of the text, start < end except on the Regex road.
struct Span {
  uint64_t start;
  uint64_t end;
};
using SpanList = std::vector<Span>;

// The spans of the scan with `matcher` over text[0, n): the hits of match_scan under the
// search's rule for hits that touch a multi-byte character (take_whole_characters: a hit
// that starts inside a character is not reported, whatever the element's kind; one that
// ends inside one is widened to that character's end), zero-width hits dropped.
template <ScanMatcher M>
[[nodiscard]] ScanEnd collect_spans(const M& matcher, const char* text, uint64_t n, SpanList& spans) noexcept {
  return match_scan(matcher, text, n, [&](uint64_t start, uint64_t end) {
    if (end > start && take_whole_characters(text, n, start, &end)) spans.push_back({start, end});
  });
}

// The result of a finished scan over `element` of kind `kind`: a Normal kind contributes a
// new one-item list of the matched text per span (byte-equal texts share one str), any other
// kind a new list of the tokens of its parse_impl at the span's start (an empty list where
// that parse fails). A scan or a parse stopped by the stack guard raises
// nesting_too_deep_error instead.
[[nodiscard]] PyResult<PyRef> search_results(const ParserElement& element, ElementKind kind, const char* text,
                                             uint64_t n, const ScanEnd& end, const SpanList& spans) noexcept;

// The search_string body of class C: the generic road, the scan with C's own try_match_at
// compiled in, unless C has a road of its own below.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> search_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = class_element<C>(self);
  const std::string_view s = args[0].text;
  SpanList spans;
  const ScanEnd end = collect_spans(element, s.data(), s.size(), spans);
  return search_results(element, element.kind(), s.data(), s.size(), end, spans);
}

// The roads of their own (search_string.cpp). Word: the byte-table scan, equal words sharing
// one one-item list. Regex: the library's iteration over the unanchored expression, empty
// matches included. Keyword and Literal: their counts, then one list [cached_str] repeated
// (an empty keyword or literal matches only with zero width and finds nothing).
template <>
[[nodiscard]] PyResult<PyRef> search_string<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> search_string<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept;

// Word._search_string_flat: the words of Word.search_string as one flat list of str, equal
// words sharing one str; a periodic text is scanned over its block and tail only
// (word_flat_search.cpp).
[[nodiscard]] PyResult<PyRef> word_search_string_flat(PyObject* self, const CallArgs& args) noexcept;

}  // namespace vantorel::py
