// search_string_count: the counts that fold into a closed formula (the anchors, Char) or
// have a road of their own (Keyword, Literal, Regex, Word), beside the generic road of
// search_string_count.hpp (count_matches, the scan with each class's own matcher compiled
// in). No road builds a token or any Python object but the result.
#include "text_ops/search_string_count.hpp"

#include <string_view>

#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"
#include "text_ops/counts.hpp"
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

// Empty matches with zero width at every position the scan tries: 0 .. n - 1.
template <>
PyResult<PyRef> search_string_count<ClassId::Empty>(PyObject*, const CallArgs& args) noexcept {
  return new_int(text_of(args).n);
}

template <>
PyResult<PyRef> search_string_count<ClassId::NoMatch>(PyObject*, const CallArgs&) noexcept {
  return new_int(0);
}

// StringStart matches at 0 only, which is tried when the text is not empty.
template <>
PyResult<PyRef> search_string_count<ClassId::StringStart>(PyObject*, const CallArgs& args) noexcept {
  return new_int(text_of(args).n > 0 ? 1 : 0);
}

// StringEnd matches at n only, which is never tried.
template <>
PyResult<PyRef> search_string_count<ClassId::StringEnd>(PyObject*, const CallArgs&) noexcept {
  return new_int(0);
}

template <>
PyResult<PyRef> search_string_count<ClassId::LineStart>(PyObject*, const CallArgs& args) noexcept {
  const Text t = text_of(args);
  return new_int(count_line_starts(t.data, t.n));
}

template <>
PyResult<PyRef> search_string_count<ClassId::LineEnd>(PyObject*, const CallArgs& args) noexcept {
  const Text t = text_of(args);
  return new_int(count_line_feeds(t.data, t.n));
}

template <>
PyResult<PyRef> search_string_count<ClassId::Char>(PyObject* self, const CallArgs& args) noexcept {
  const CharElement& element = class_element<ClassId::Char>(self);
  const Text t = text_of(args);
  return new_int(count_table_bytes(element.char_table, t.data, t.n));
}

template <>
PyResult<PyRef> search_string_count<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept {
  const KeywordElement& element = class_element<ClassId::Keyword>(self);
  const Text t = text_of(args);
  return new_int(count_keyword_occurrences(element, t.data, t.n));
}

// Literal counts the non-overlapping occurrences of its text (none for the empty literal),
// from the first two blocks and the tail on a periodic text.
template <>
PyResult<PyRef> search_string_count<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept {
  const LiteralElement& element = class_element<ClassId::Literal>(self);
  const Text t = text_of(args);
  return new_int(count_literal_occurrences(element.literal.data(), element.literal.size(), t.data, t.n));
}

// Regex counts what the library's iteration of the unanchored expression over the whole
// text yields, empty matches included: anchors see the real start and end of the text, and
// the end itself is a possible empty match. This is not the byte-stepping scan.
template <>
PyResult<PyRef> search_string_count<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept {
  const RegexElement& element = class_element<ClassId::Regex>(self);
  const Text t = text_of(args);
  regex::MatchIterator matches(*element.unanchored, t.data, t.n);
  uint64_t count = 0;
  uint64_t start = 0;
  uint64_t end = 0;
  while (matches.next(&start, &end)) ++count;
  return new_int(count);
}

// Word counts every word of the bytewise scan (a count cuts no text, so a word that starts
// inside a multi-byte character counts too), from the block and the tail on a periodic text.
template <>
PyResult<PyRef> search_string_count<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& element = class_element<ClassId::Word>(self);
  const Text t = text_of(args);
  return new_int(count_words(WordTables(element), t.data, t.n));
}

}  // namespace vantorel::py
