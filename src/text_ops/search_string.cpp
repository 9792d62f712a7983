// search_string: the generic road's results (search_results, for the scan of
// search_string.hpp), and right below it the roads of Word, Regex, Keyword and Literal.
// Every road finds all its matches before it makes a Python object, so the result list is
// created once, at its final size.
#include "text_ops/search_string.hpp"

#include <memory>
#include <new>
#include <string_view>

#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"
#include "text_ops/counts.hpp"
#include "text_ops/matched_text_cache.hpp"
#include "text_ops/open_table.hpp"
#include "text_ops/periodic.hpp"
#include "text_ops/token_to_py.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

namespace {

[[nodiscard]] std::string_view bytes_of(const char* text, const Span& span) noexcept {
  return {text + span.start, static_cast<size_t>(span.end - span.start)};
}

// How many spans ahead the string-sharing map is asked to load the slot of a later span.
constexpr size_t kLookAhead = 8;

// A new list of `count` entries, entry i made by make_item(i) (a new reference), or the
// first error.
template <class MakeItem>
PyResult<PyRef> list_from(size_t count, MakeItem&& make_item) noexcept {
  PyResult<PyRef> outer = new_list(count);
  if (!outer.ok()) return outer;
  for (size_t i = 0; i < count; ++i) {
    PyResult<PyRef> item = make_item(i);
    if (!item.ok()) return item;  // `outer` releases what it holds
    PyList_SET_ITEM(outer.value().get(), static_cast<Py_ssize_t>(i), item.take().release());
  }
  return outer;
}

// An array of `count` values of T made with the allocator that reports failure, or null.
template <class T>
[[nodiscard]] std::unique_ptr<T[]> try_array(size_t count) noexcept {
  return std::unique_ptr<T[]>(new (std::nothrow) T[count == 0 ? 1 : count]);
}

// One new one-item list per span holding the span's text; byte-equal texts share one str.
// In three passes, so that no pass waits on memory at every match: the spans' texts are
// numbered first (the table's slot for the text kAhead spans on is fetched ahead, since with
// many distinct texts the table outgrows the processor's caches), then each distinct text's
// str is made and given one reference per use at once, and the lists last, which read the
// strs' addresses but never the scattered str objects themselves.
PyResult<PyRef> text_lists(const char* text, const SpanList& spans) noexcept {
  constexpr size_t kAhead = 16;
  const size_t n = spans.size();
  std::unique_ptr<uint32_t[]> ids = try_array<uint32_t>(n);     // span -> its text's number
  std::unique_ptr<uint32_t[]> firsts = try_array<uint32_t>(n);  // number -> its first span
  std::unique_ptr<uint32_t[]> uses = try_array<uint32_t>(n);    // number -> spans holding it
  if (!ids || !firsts || !uses) return PyError::no_memory();
  uint32_t distinct = 0;
  {
    OpenTable<std::string_view, uint32_t> numbers;
    numbers.reserve_for_at_most(n);
    uint64_t hashes[kAhead];
    const auto ahead = [&](size_t j) {
      if (j >= n) return;
      hashes[j % kAhead] = fx_hash(bytes_of(text, spans[j]));
      numbers.prefetch_hash(hashes[j % kAhead]);
    };
    for (size_t j = 0; j < kAhead; ++j) ahead(j);
    for (size_t i = 0; i < n; ++i) {
      const uint64_t hash = hashes[i % kAhead];
      ahead(i + kAhead);
      bool inserted = false;
      auto* entry = numbers.find_or_insert(bytes_of(text, spans[i]), hash, &inserted);
      if (entry == nullptr) return PyError::no_memory();
      if (inserted) {
        entry->value = distinct;
        firsts[distinct] = static_cast<uint32_t>(i);
        uses[distinct++] = 0;
      }
      ids[i] = entry->value;
      ++uses[entry->value];
    }
  }
  // Each str holds one reference per span of its text from here on; a failure releases
  // those of the spans from `from` on (the lists made so far hold the others).
  std::unique_ptr<PyObject*[]> strs = try_array<PyObject*>(distinct);
  if (!strs) return PyError::no_memory();
  const auto release_from = [&](size_t from) {
    for (size_t j = from; j < n; ++j) Py_DECREF(strs[ids[j]]);
  };
  for (uint32_t d = 0; d < distinct; ++d) {
    PyResult<PyRef> str = new_str(bytes_of(text, spans[firsts[d]]));
    if (!str.ok()) {
      for (uint32_t e = 0; e < d; ++e) {
        for (uint32_t k = 0; k < uses[e]; ++k) Py_DECREF(strs[e]);
      }
      return str;
    }
    strs[d] = str.take().release();
    for (uint32_t k = 1; k < uses[d]; ++k) Py_INCREF(strs[d]);
  }
  PyResult<PyRef> outer = new_list(n);
  if (!outer.ok()) {
    release_from(0);
    return outer;
  }
  for (size_t i = 0; i < n; ++i) {
    PyObject* item = PyList_New(1);
    if (item == nullptr) {
      release_from(i);
      return PyError::fetch();  // `outer` releases the lists made so far
    }
    PyList_SET_ITEM(item, 0, strs[ids[i]]);
    PyList_SET_ITEM(outer.value().get(), static_cast<Py_ssize_t>(i), item);
  }
  return outer;
}

// One new list per span holding the tokens of `element`'s parse_impl at the span's start
// (whitespace skipping on; the end it reports is not used), or an empty list where that
// parse fails. A stack-guard failure is reported, not turned into an empty list.
//
// Each entry is judged by the grammar as it stands when the entry is made. The scan and the
// parses are two passes, and on the free-threaded build another thread can give a Forward
// another target between them: a span whose parse fails where the element no longer
// matches at all is no match, and gives no entry. A failed parse where the element still
// matches (a try_match_at hit that parse_impl does not share, as for a OneOrMore whose
// first repetition is empty) gives the empty list.
PyResult<PyRef> parsed_lists(const ParserElement& element, const char* text, uint64_t n,
                             const SpanList& spans) noexcept {
  ParseContext ctx{text, n, 1};
  PyResult<PyRef> outer = new_list(spans.size());
  if (!outer.ok()) return outer;
  PyObject* list = outer.value().get();
  Py_ssize_t filled = 0;
  for (const Span& span : spans) {
    ParseOutcome o = element.parse_impl(ctx, span.start);
    if (!o.ok) {
      // `outer` releases what it holds on every early return.
      if (o.error.is_too_deep()) return nesting_too_deep_error(o.error.position);
      const Match still = element.try_match_at(text, n, span.start);
      if (still.is_too_deep()) return nesting_too_deep_error(span.start);
      if (!still.matched) continue;
    }
    PyResult<PyRef> item = o.ok ? results_to_list(o.results) : new_list(0);
    if (!item.ok()) return item;
    PyList_SET_ITEM(list, filled++, item.take().release());
  }
  // Entries left out: the unfilled slots at the end are cut off.
  if (filled < static_cast<Py_ssize_t>(spans.size()) &&
      PyList_SetSlice(list, filled, static_cast<Py_ssize_t>(spans.size()), nullptr) != 0) {
    return PyError::fetch();
  }
  return outer;
}

}  // namespace

PyResult<PyRef> search_results(const ParserElement& element, ElementKind kind, const char* text, uint64_t n,
                               const ScanEnd& end, const SpanList& spans) noexcept {
  if (end.too_deep) return nesting_too_deep_error(end.position);
  if (spans.empty()) return new_list(0);
  if (kind == ElementKind::Normal) return text_lists(text, spans);
  return parsed_lists(element, text, n, spans);
}

// ---- Roads of their own ---------------------------------------------------------------

// Word: the scan with the bytewise Word matcher on two byte tables, under the whole-
// character rule above. Equal words share one one-item list object.
template <>
PyResult<PyRef> search_string<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& element = class_element<ClassId::Word>(self);
  const char* text = args[0].text.data();
  const uint64_t n = args[0].text.size();
  const WordTables tables(element);
  SpanList spans;
  tables.scan(text, 0, n, [&](uint64_t start, uint64_t end) {
    if (take_whole_characters(text, n, start, &end)) spans.push_back({start, end});
  });
  if (spans.empty()) return new_list(0);
  MatchedTextCache lists;
  lists.reserve(spans.size());
  return list_from(spans.size(), [&](size_t i) -> PyResult<PyRef> {
    if (i + kLookAhead < spans.size()) lists.prefetch(bytes_of(text, spans[i + kLookAhead]));
    const std::string_view bytes = bytes_of(text, spans[i]);
    return lists.get(bytes, [bytes]() -> PyResult<PyRef> {
      PyResult<PyRef> str = new_str(bytes);
      if (!str.ok()) return str;
      return list_of_one(str.take());
    });
  });
}

// Regex: the library's iteration of successive non-overlapping leftmost-first matches of
// the unanchored expression over the whole text (the empty text too), empty matches
// included; mode and class_set play no part. The library reports offsets on character
// boundaries only, so no match needs the whole-character rule.
template <>
PyResult<PyRef> search_string<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept {
  const RegexElement& element = class_element<ClassId::Regex>(self);
  const char* text = args[0].text.data();
  const uint64_t n = args[0].text.size();
  SpanList spans;
  regex::MatchIterator matches(*element.unanchored, text, n);
  uint64_t start = 0;
  uint64_t end = 0;
  while (matches.next(&start, &end)) spans.push_back({start, end});
  if (spans.empty()) return new_list(0);
  return text_lists(text, spans);
}

namespace {

// A new list of m references to one new list whose only item is `cached_str`.
PyResult<PyRef> repeated_entry(PyObject* cached_str, uint64_t m) noexcept {
  PyResult<PyRef> inner = list_of_one(PyRef::borrow(cached_str));
  if (!inner.ok()) return inner;
  PyResult<PyRef> outer = list_of_one(inner.take());
  if (!outer.ok()) return outer;
  return repeat_list(outer.take(), m);
}

}  // namespace

// Keyword: every match is the keyword itself, so the matches are counted and one entry
// holding the object's cached str is repeated that many times. An empty keyword matches
// only with zero width, and search_string reports no zero-width match (the scan's rule for
// every class but Regex), so it finds nothing: its count would report the zero-width hits
// that search_string_count counts, at positions inside characters too.
template <>
PyResult<PyRef> search_string<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const KeywordObject*>(self);
  const auto& element = static_cast<const KeywordElement&>(*o->element);
  const uint64_t m =
      element.length == 0 ? 0 : count_keyword_occurrences(element, args[0].text.data(), args[0].text.size());
  if (m == 0) return new_list(0);
  return repeated_entry(o->cached_str, m);
}

// Literal: as Keyword, with the literal's non-overlapping occurrences (none for the empty
// literal); repeating zero times gives the empty list.
template <>
PyResult<PyRef> search_string<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const LiteralObject*>(self);
  const auto& element = static_cast<const LiteralElement&>(*o->element);
  const uint64_t m = count_literal_occurrences(element.literal.data(), element.literal.size(), args[0].text.data(),
                                               args[0].text.size());
  return repeated_entry(o->cached_str, m);
}

}  // namespace vantorel::py
