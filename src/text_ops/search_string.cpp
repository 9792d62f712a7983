// search_string: search_matches, the driver of the 21 classes without a road of their own,
// and right below it the roads of And, Word, Regex, Keyword and Literal. Every road finds
// all its matches before it makes a Python object, so the result list is created once, at
// its final size.
#include "text_ops/search_string.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "elements/fatal.hpp"
#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"
#include "text_ops/counts.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/matched_text_cache.hpp"
#include "text_ops/nesting_error.hpp"
#include "text_ops/periodic.hpp"
#include "text_ops/token_to_py.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

namespace {

// A match span [start, end) of the text, start < end except on the Regex road.
struct Span {
  uint64_t start;
  uint64_t end;
};
using SpanList = std::vector<Span>;

[[nodiscard]] std::string_view bytes_of(const char* text, const Span& span) noexcept {
  return {text + span.start, static_cast<size_t>(span.end - span.start)};
}

// The search's rule for hits that touch a multi-byte character: a match of search_string
// never starts inside a character (a hit there is not reported, whatever the element's
// kind), and a match whose end lies inside one is widened to the end of that character, so
// every str cut out of the text holds whole characters. Zero-width hits are dropped.
template <ScanMatcher M>
ScanEnd collect_spans(const M& matcher, const char* text, uint64_t n, SpanList& spans) noexcept {
  return match_scan(matcher, text, n, [&](uint64_t start, uint64_t end) {
    if (end > start && take_whole_characters(text, n, start, &end)) spans.push_back({start, end});
  });
}

// One new one-item list per span holding the span's text; byte-equal texts share one str.
// The outer list or a one-item list the interpreter cannot make is its error.
PyResult<PyRef> text_lists(const char* text, const SpanList& spans) noexcept {
  PyRef outer = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(spans.size())));
  if (!outer) return PyError::fetch();
  MatchedTextCache strs;
  for (size_t i = 0; i < spans.size(); ++i) {
    const std::string_view bytes = bytes_of(text, spans[i]);
    PyRef str = strs.get(bytes, [bytes] { return new_str(bytes); });
    PyObject* item = PyList_New(1);
    if (item == nullptr) return PyError::fetch();
    PyList_SET_ITEM(item, 0, str.release());
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(i), item);
  }
  return outer;
}

// One new list per span holding the tokens of `element`'s parse_impl at the span's start
// (whitespace skipping on; the end it reports is not used), or an empty list where that
// parse fails. A stack-guard failure is reported, not turned into an empty list.
PyResult<PyRef> parsed_lists(const ParserElement& element, const char* text, uint64_t n,
                             const SpanList& spans) noexcept {
  PyRef outer = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(spans.size())));
  if (!outer) return PyError::fetch();
  ParseContext ctx{text, n, 1};
  for (size_t i = 0; i < spans.size(); ++i) {
    ParseOutcome o = element.parse_impl(ctx, spans[i].start);
    if (!o.ok && is_nesting_too_deep(o.error)) return nesting_too_deep_error(o.error.position);
    const uint64_t count = o.ok ? o.results.size() : 0;
    PyRef tokens = new_list_or_die(static_cast<Py_ssize_t>(count));
    for (uint64_t t = 0; t < count; ++t) {
      PyResult<PyRef> item = token_to_py(o.results[t]);
      if (!item.ok()) return item.take_error();
      PyList_SET_ITEM(tokens.get(), static_cast<Py_ssize_t>(t), item.value().release());
    }
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(i), tokens.release());
  }
  return outer;
}

// The result of a finished scan over an element of kind `kind`.
PyResult<PyRef> search_results(const ParserElement& element, ElementKind kind, const char* text, uint64_t n,
                               const ScanEnd& end, const SpanList& spans) noexcept {
  if (end.too_deep) return nesting_too_deep_error(end.position);
  if (spans.empty()) return new_list_or_die(0);
  if (kind == ElementKind::Normal) return text_lists(text, spans);
  return parsed_lists(element, text, n, spans);
}

}  // namespace

template <class E>
PyResult<PyRef> search_matches_body(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const E&>(*element_of(self));
  const std::string_view s = args[0].text;
  SpanList spans;
  const ScanEnd end = collect_spans(element, s.data(), s.size(), spans);
  return search_results(element, element.kind(), s.data(), s.size(), end, spans);
}

#define VANTOREL_SEARCH_MATCHES(E) \
  template PyResult<PyRef> search_matches_body<E>(PyObject*, const CallArgs&) noexcept;
VANTOREL_SEARCH_MATCHES(CharElement)
VANTOREL_SEARCH_MATCHES(CaselessLiteralElement)
VANTOREL_SEARCH_MATCHES(CaselessKeywordElement)
VANTOREL_SEARCH_MATCHES(QuotedStringElement)
VANTOREL_SEARCH_MATCHES(RestOfLineElement)
VANTOREL_SEARCH_MATCHES(EmptyElement)
VANTOREL_SEARCH_MATCHES(NoMatchElement)
VANTOREL_SEARCH_MATCHES(LineStartElement)
VANTOREL_SEARCH_MATCHES(LineEndElement)
VANTOREL_SEARCH_MATCHES(StringStartElement)
VANTOREL_SEARCH_MATCHES(StringEndElement)
VANTOREL_SEARCH_MATCHES(OptionalElement)
VANTOREL_SEARCH_MATCHES(ExactlyElement)
VANTOREL_SEARCH_MATCHES(CombineElement)
VANTOREL_SEARCH_MATCHES(SkipToElement)
VANTOREL_SEARCH_MATCHES(SuppressElement)
VANTOREL_SEARCH_MATCHES(GroupElement)
VANTOREL_SEARCH_MATCHES(MatchFirstElement)
VANTOREL_SEARCH_MATCHES(ZeroOrMoreElement)
VANTOREL_SEARCH_MATCHES(OneOrMoreElement)
VANTOREL_SEARCH_MATCHES(ForwardElement)
#undef VANTOREL_SEARCH_MATCHES

// ---- Roads of their own ---------------------------------------------------------------

namespace {

// The sequence matcher built into the scan: each child at rule W's position after the
// previous one (skipping as the child's skips_whitespace says, as try_match_at does); a miss
// of any child, or a stack-guard stop, is the answer of the whole.
struct AndMatcher {
  const AndElement& element;
  [[nodiscard]] Match try_match_at(const char* text, uint64_t n, uint64_t p) const noexcept {
    uint64_t q = p;
    for (const ElementRef& child : element.exprs) {
      if (child->skips_whitespace()) q = advance_past_whitespace(text, n, q);
      const Match m = child->try_match_at(text, n, q);
      if (!m.matched) return m;
      q = m.end;
    }
    return Match::at(q);
  }
};

}  // namespace

// And: search_matches with the sequence matcher inlined; every kept span is parsed with
// the And's own parse_impl (an And is Complex).
PyResult<PyRef> and_search_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const AndElement&>(*element_of(self));
  const std::string_view s = args[0].text;
  SpanList spans;
  const ScanEnd end = collect_spans(AndMatcher{element}, s.data(), s.size(), spans);
  return search_results(element, ElementKind::Complex, s.data(), s.size(), end, spans);
}

// Word: the scan with the bytewise Word matcher on two byte tables, under the whole-
// character rule above. Equal words share one one-item list object.
PyResult<PyRef> word_search_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const WordElement&>(*element_of(self));
  const char* text = args[0].text.data();
  const uint64_t n = args[0].text.size();
  const WordTables tables(element);
  SpanList spans;
  tables.scan(text, 0, n, [&](uint64_t start, uint64_t end) {
    if (take_whole_characters(text, n, start, &end)) spans.push_back({start, end});
  });
  if (spans.empty()) return new_list_or_die(0);
  PyRef outer = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(spans.size())));
  if (!outer) return PyError::fetch();
  MatchedTextCache lists;
  for (size_t i = 0; i < spans.size(); ++i) {
    const std::string_view bytes = bytes_of(text, spans[i]);
    PyRef item = lists.get(bytes, [bytes] {
      PyRef list = new_list_or_die(1);
      PyList_SET_ITEM(list.get(), 0, new_str(bytes).release());
      return list;
    });
    PyList_SET_ITEM(outer.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return outer;
}

// Regex: the library's iteration of successive non-overlapping leftmost-first matches of
// the unanchored expression over the whole text (the empty text too), empty matches
// included; mode and class_set play no part. The library reports offsets on character
// boundaries only, so no match needs the whole-character rule.
PyResult<PyRef> regex_search_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const RegexElement&>(*element_of(self));
  const char* text = args[0].text.data();
  const uint64_t n = args[0].text.size();
  SpanList spans;
  regex::MatchIterator matches(*element.unanchored, text, n);
  uint64_t start = 0;
  uint64_t end = 0;
  while (matches.next(&start, &end)) spans.push_back({start, end});
  if (spans.empty()) return new_list_or_die(0);
  return text_lists(text, spans);
}

namespace {

// A new list of m references to one new list whose only item is `cached_str`.
PyResult<PyRef> repeated_entry(PyObject* cached_str, uint64_t m) noexcept {
  PyRef inner = PyRef::steal(PyList_New(1));
  if (!inner) return PyError::fetch();
  PyList_SET_ITEM(inner.get(), 0, PyRef::borrow(cached_str).release());
  PyRef outer = PyRef::steal(PyList_New(1));
  if (!outer) return PyError::fetch();
  PyList_SET_ITEM(outer.get(), 0, inner.release());
  PyRef repeated = PyRef::steal(PySequence_Repeat(outer.get(), static_cast<Py_ssize_t>(m)));
  if (!repeated) return PyError::fetch();
  return repeated;
}

}  // namespace

// Keyword: every match is the keyword itself, so the matches are counted and one entry
// holding the object's cached str is repeated that many times. An empty keyword matches
// only with zero width, and search_string reports no zero-width match (the scan's rule for
// every class but Regex), so it finds nothing: its count would report the zero-width hits
// that search_string_count counts, at positions inside characters too.
PyResult<PyRef> keyword_search_string(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const KeywordObject*>(self);
  const auto& element = static_cast<const KeywordElement&>(*o->element);
  const uint64_t m =
      element.length == 0 ? 0 : count_keyword_occurrences(element, args[0].text.data(), args[0].text.size());
  if (m == 0) {
    PyRef empty = PyRef::steal(PyList_New(0));
    if (!empty) return PyError::fetch();
    return empty;
  }
  return repeated_entry(o->cached_str, m);
}

// Literal: as Keyword, with the literal's non-overlapping occurrences (none for the empty
// literal); repeating zero times gives the empty list.
PyResult<PyRef> literal_search_string(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const LiteralObject*>(self);
  const auto& element = static_cast<const LiteralElement&>(*o->element);
  const uint64_t m = count_literal_occurrences(element.literal.data(), element.literal.size(), args[0].text.data(),
                                               args[0].text.size());
  return repeated_entry(o->cached_str, m);
}

}  // namespace vantorel::py
