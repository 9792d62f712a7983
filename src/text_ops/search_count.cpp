// search_string_count: count_matches, the scan with each class's own matcher compiled in,
// and right below it the counts that fold into a closed formula (the anchors, Char) or
// have a road of their own (Keyword, Literal, Regex, Word). No road builds a token or any
// Python object but the result.
#include "text_ops/search_count.hpp"

#include <string_view>

#include "elements/fatal.hpp"
#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"
#include "text_ops/counts.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/nesting_error.hpp"
#include "text_ops/periodic.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

namespace {

struct Text {
  const char* data;
  uint64_t n;
};
Text text_of(const CallArgs& args) noexcept { return {args[0].text.data(), args[0].text.size()}; }

}  // namespace

template <class E>
PyResult<PyRef> count_matches_body(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const E&>(*element_of(self));
  const Text t = text_of(args);
  const ScanCount c = count_matches(element, t.data, t.n);
  if (c.end.too_deep) return nesting_too_deep_error(c.end.position);
  return new_int_or_die(c.count);
}

#define VANTOREL_COUNT_MATCHES(E) \
  template PyResult<PyRef> count_matches_body<E>(PyObject*, const CallArgs&) noexcept;
VANTOREL_COUNT_MATCHES(OptionalElement)
VANTOREL_COUNT_MATCHES(ZeroOrMoreElement)
VANTOREL_COUNT_MATCHES(GroupElement)
VANTOREL_COUNT_MATCHES(SuppressElement)
VANTOREL_COUNT_MATCHES(ForwardElement)
VANTOREL_COUNT_MATCHES(CaselessLiteralElement)
VANTOREL_COUNT_MATCHES(CaselessKeywordElement)
VANTOREL_COUNT_MATCHES(QuotedStringElement)
VANTOREL_COUNT_MATCHES(RestOfLineElement)
VANTOREL_COUNT_MATCHES(CombineElement)
VANTOREL_COUNT_MATCHES(SkipToElement)
VANTOREL_COUNT_MATCHES(AndElement)
VANTOREL_COUNT_MATCHES(MatchFirstElement)
VANTOREL_COUNT_MATCHES(OneOrMoreElement)
VANTOREL_COUNT_MATCHES(ExactlyElement)
#undef VANTOREL_COUNT_MATCHES

// ---- Closed formulas and roads of their own ----------------------------------------
// Each equals count_matches with the class's try_match_at over the same text.

// Empty matches with zero width at every position the scan tries: 0 .. n - 1.
PyResult<PyRef> empty_count(PyObject*, const CallArgs& args) noexcept { return new_int_or_die(text_of(args).n); }

PyResult<PyRef> no_match_count(PyObject*, const CallArgs&) noexcept { return new_int_or_die(0); }

// StringStart matches at 0 only, which is tried when the text is not empty.
PyResult<PyRef> string_start_count(PyObject*, const CallArgs& args) noexcept {
  return new_int_or_die(text_of(args).n > 0 ? 1 : 0);
}

// StringEnd matches at n only, which is never tried.
PyResult<PyRef> string_end_count(PyObject*, const CallArgs&) noexcept { return new_int_or_die(0); }

PyResult<PyRef> line_start_count(PyObject*, const CallArgs& args) noexcept {
  const Text t = text_of(args);
  return new_int_or_die(count_line_starts(t.data, t.n));
}

PyResult<PyRef> line_end_count(PyObject*, const CallArgs& args) noexcept {
  const Text t = text_of(args);
  return new_int_or_die(count_line_feeds(t.data, t.n));
}

PyResult<PyRef> char_count(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const CharElement&>(*element_of(self));
  const Text t = text_of(args);
  return new_int_or_die(count_table_bytes(element.char_table, t.data, t.n));
}

PyResult<PyRef> keyword_count(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const KeywordElement&>(*element_of(self));
  const Text t = text_of(args);
  return new_int_or_die(count_keyword_occurrences(element, t.data, t.n));
}

// Literal counts the non-overlapping occurrences of its text (none for the empty literal),
// from the first two blocks and the tail on a periodic text.
PyResult<PyRef> literal_count(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const LiteralElement&>(*element_of(self));
  const Text t = text_of(args);
  return new_int_or_die(count_literal_occurrences(element.literal.data(), element.literal.size(), t.data, t.n));
}

// Regex counts what the library's iteration of the unanchored expression over the whole
// text yields, empty matches included: anchors see the real start and end of the text, and
// the end itself is a possible empty match. This is not the byte-stepping scan.
PyResult<PyRef> regex_count(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const RegexElement&>(*element_of(self));
  const Text t = text_of(args);
  regex::MatchIterator matches(*element.unanchored, t.data, t.n);
  uint64_t count = 0;
  uint64_t start = 0;
  uint64_t end = 0;
  while (matches.next(&start, &end)) ++count;
  return new_int_or_die(count);
}

// Word counts every word of the bytewise scan (a count cuts no text, so a word that starts
// inside a multi-byte character counts too), from the block and the tail on a periodic text.
PyResult<PyRef> word_count(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const WordElement&>(*element_of(self));
  const Text t = text_of(args);
  return new_int_or_die(count_words(WordTables(element), t.data, t.n));
}

}  // namespace vantorel::py
