// Word._search_string_flat: the words of Word.search_string as one flat list of str. A
// text that repeats one block of bytes is scanned over its first block and its tail only,
// the block's strings multiplied into the list; any other text is counted, then scanned
// once more to fill a list made at its final size. Both roads give the same list.
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "elements/fatal.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/matched_text_cache.hpp"
#include "text_ops/open_table.hpp"
#include "text_ops/periodic.hpp"
#include "text_ops/search_string.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

namespace {

// The words of text[a, b) under search_string's whole-character rule: a word that starts
// inside a multi-byte character is not taken, one that ends inside one is widened to the
// end of that character. With sets of ASCII bytes only, every word is taken unchanged.
template <class OnWord>
void scan_whole_words(const WordTables& tables, const char* text, uint64_t n, uint64_t a, uint64_t b,
                      OnWord&& on_word) noexcept {
  tables.scan(text, a, b, [&](uint64_t start, uint64_t end) {
    if (take_whole_characters(text, n, start, &end)) on_word(start, end);
  });
}

// ---- Periodic road ----------------------------------------------------------------------

// The distinct words of the periodic road, at most 32, each with its str and the number of
// list items the str fills, so that its reference count is raised once by that number.
class PeriodWords {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;  // a 33rd distinct word: the road gives up

  struct Word {
    PyRef str;
    uint64_t block_entries = 0;
    uint64_t tail_entries = 0;
  };

  // The index of `word`, its str made on first sight; kNone when it would be the 33rd
  // distinct word. A str (or a table) that cannot be made is its error.
  [[nodiscard]] PyResult<uint32_t> index_of(std::string_view word) noexcept {
    if (words_.size() == kMaxWords && table_.find(word) == nullptr) return kNone;
    bool inserted = false;
    auto* entry = table_.find_or_insert(word, &inserted);
    if (entry == nullptr) return PyError::no_memory();
    if (!inserted) return entry->value;
    PyResult<PyRef> str = new_str(word);
    if (!str.ok()) return str.take_error();  // the call ends with this error
    entry->value = static_cast<uint32_t>(words_.size());
    words_.push_back(Word{str.take()});
    return entry->value;
  }

  [[nodiscard]] Word& operator[](uint32_t i) noexcept { return words_[i]; }
  [[nodiscard]] std::vector<Word>& all() noexcept { return words_; }

 private:
  static constexpr size_t kMaxWords = 32;
  OpenTable<std::string_view, uint32_t> table_;  // a word's bytes in the text -> its index
  std::vector<Word> words_;
};

// The list of the periodic road, or an empty PyRef when the road does not apply: the text
// has period p, but the block has no word, a word runs on from one block into the next,
// or the block and tail hold more than 32 distinct words (then the plain road decides).
PyResult<PyRef> periodic_words(const WordTables& tables, const char* text, uint64_t n, uint64_t p) noexcept {
  // The block's words as the plain scan finds them, cut at p; a last word that reaches p and
  // could go on with the next block's first byte makes the blocks depend on each other.
  std::vector<std::pair<uint64_t, uint64_t>> raw;
  tables.scan(text, 0, p, [&](uint64_t start, uint64_t end) { raw.emplace_back(start, end); });
  if (raw.empty() || (raw.back().second == p && tables.body[static_cast<unsigned char>(text[p])] != 0)) {
    return PyRef();
  }
  PeriodWords words;
  std::vector<uint32_t> block;  // the block's words, as indices
  // The block starts on a character boundary (text[p] equals text[0]), so whole-character
  // widening inside the block never reaches past p.
  for (auto [start, end] : raw) {
    if (!take_whole_characters(text, n, start, &end)) continue;
    PyResult<uint32_t> index = words.index_of(std::string_view(text + start, end - start));
    if (!index.ok()) return index.take_error();
    if (index.value() == PeriodWords::kNone) return PyRef();
    ++words[index.value()].block_entries;
    block.push_back(index.value());
  }
  if (block.empty()) return PyRef();
  const uint64_t q = n / p;
  const uint64_t j = block.size();
  if (n % p == 0) {
    PyResult<PyRef> once = new_list(j);
    if (!once.ok()) return once;
    for (uint64_t i = 0; i < j; ++i) {
      PyList_SET_ITEM(once.value().get(), static_cast<Py_ssize_t>(i), Py_NewRef(words[block[i]].str.get()));
    }
    return repeat_list(once.take(), q);
  }
  std::vector<uint32_t> tail;  // the tail's words, as indices
  std::optional<PyResult<uint32_t>> stop;  // a str that could not be made, or a 33rd word
  scan_whole_words(tables, text, n, q * p, n, [&](uint64_t start, uint64_t end) {
    if (stop) return;
    PyResult<uint32_t> index = words.index_of(std::string_view(text + start, end - start));
    if (!index.ok() || index.value() == PeriodWords::kNone) {
      stop.emplace(std::move(index));
      return;
    }
    ++words[index.value()].tail_entries;
    tail.push_back(index.value());
  });
  if (stop) {
    if (!stop->ok()) return stop->take_error();
    return PyRef();
  }
  const uint64_t filled = q * j;
  PyResult<PyRef> made = new_list(filled + tail.size());
  if (!made.ok()) return made;
  PyRef list = made.take();
  // The block's strings once, then the filled front copied onto the next items, doubling
  // the filled length each time; the tail after them. The references are added per string
  // below, once, by the number of entries it fills. The list and the strings are this
  // call's own and no other thread has seen them yet, so their storage and counts are
  // written directly on both builds (a free-threaded build counts them as owned by this
  // thread, and Py_SET_REFCNT leaves immortal strings alone).
  PyObject** items = reinterpret_cast<PyListObject*>(list.get())->ob_item;
  for (uint64_t i = 0; i < j; ++i) items[i] = words[block[i]].str.get();
  for (uint64_t have = j; have < filled;) {
    const uint64_t copy = have < filled - have ? have : filled - have;
    std::memcpy(items + have, items, copy * sizeof(PyObject*));
    have += copy;
  }
  for (size_t i = 0; i < tail.size(); ++i) items[filled + i] = words[tail[i]].str.get();
  for (const PeriodWords::Word& word : words.all()) {
    const uint64_t entries = word.block_entries * q + word.tail_entries;
    Py_SET_REFCNT(word.str.get(), Py_REFCNT(word.str.get()) + static_cast<Py_ssize_t>(entries));
  }
  return list;
}

// ---- Plain road ---------------------------------------------------------------------------

PyResult<PyRef> plain_words(const WordElement& element, const WordTables& tables, const char* text,
                            uint64_t n) noexcept {
  if (n == 0) return new_list(0);
  // Sizing pass. With sets of ASCII bytes every word of the scan is taken, and the
  // branch-free count gives their number; otherwise the whole-character rule is applied.
  uint64_t m = 0;
  if (!element.init_set.has_high_members() && !element.body_set.has_high_members()) {
    m = tables.count_one_pass(text, 0, n);
  } else {
    scan_whole_words(tables, text, n, 0, n, [&m](uint64_t, uint64_t) { ++m; });
  }
  PyResult<PyRef> list = new_list(m);
  if (!list.ok() || m == 0) return list;
  MatchedTextCache strs;
  std::optional<PyError> failure;  // a str that could not be made; no more are tried
  uint64_t i = 0;
  scan_whole_words(tables, text, n, 0, n, [&](uint64_t start, uint64_t end) {
    if (failure) return;
    VANTOREL_CHECK(i < m, "Word flat search: the filling scan found more words than the sizing pass");
    const std::string_view word(text + start, static_cast<size_t>(end - start));
    PyResult<PyRef> str = strs.get(word, [word] { return new_str(word); });
    if (!str.ok()) {
      failure.emplace(str.take_error());
      return;
    }
    PyList_SET_ITEM(list.value().get(), static_cast<Py_ssize_t>(i++), str.take().release());
  });
  if (failure) return std::move(*failure);
  VANTOREL_CHECK(i == m, "Word flat search: the filling scan found fewer words than the sizing pass");
  return list;
}

}  // namespace

PyResult<PyRef> word_search_string_flat(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& element = class_element<ClassId::Word>(self);
  const char* text = args[0].text.data();
  const uint64_t n = args[0].text.size();
  const WordTables tables(element);
  const uint64_t p = detect_period(text, n);
  if (p != 0) {
    PyResult<PyRef> periodic = periodic_words(tables, text, n, p);
    if (!periodic.ok() || periodic.value()) return periodic;
  }
  return plain_words(element, tables, text, n);
}

}  // namespace vantorel::py
