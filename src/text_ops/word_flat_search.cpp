// Word._search_string_flat: the words of Word.search_string as one flat list of str. A
// text that repeats one block of bytes is scanned over its first block and its tail only,
// the block's strings multiplied into the list; any other text is counted, then scanned
// once more to fill a list made at its final size. Both roads give the same list.
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "elements/fatal.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/matched_text_cache.hpp"
#include "text_ops/periodic.hpp"
#include "text_ops/search_string.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

namespace {

static_assert(std::endian::native == std::endian::little, "word keys read bytes as little-endian words");

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

// The fingerprint of a word: up to 7 bytes as a little-endian integer; from 8 bytes on the
// first 8 as one, XOR the low byte of the length in the top byte.
uint64_t word_key(std::string_view w) noexcept {
  uint64_t key = 0;
  if (w.size() < 8) {
    for (size_t i = 0; i < w.size(); ++i) key |= uint64_t{static_cast<unsigned char>(w[i])} << (8 * i);
    return key;
  }
  std::memcpy(&key, w.data(), 8);
  return key ^ (uint64_t{w.size()} << 56);
}

// 32 slots on the stack from a word to its str; linear probing from (k ^ k >> 16) & 31.
// Each slot also counts the entries its str fills, so that the str's reference count is
// raised once by that number.
class PeriodWordTable {
 public:
  struct Slot {
    uint64_t key = 0;
    std::string_view word;    // the bytes of the word, in the text
    PyObject* str = nullptr;  // nullptr: empty slot; else borrowed from the created strings
    uint64_t block_entries = 0;
    uint64_t tail_entries = 0;
  };

  // The slot of `word`: its own, or an empty one to fill. nullptr when all 32 slots hold
  // other words.
  [[nodiscard]] Slot* find(std::string_view word) noexcept {
    const uint64_t key = word_key(word);
    uint64_t i = (key ^ (key >> 16)) & 31;
    for (int probes = 0; probes < 32; ++probes, i = (i + 1) & 31) {
      Slot& s = slots_[i];
      if (s.str == nullptr) {
        s.key = key;
        s.word = word;
        return &s;
      }
      if (s.key == key && s.word == word) return &s;
    }
    return nullptr;
  }

  [[nodiscard]] Slot* begin() noexcept { return slots_; }
  [[nodiscard]] Slot* end() noexcept { return slots_ + 32; }

 private:
  Slot slots_[32];
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
  PeriodWordTable table;
  std::vector<PyRef> created;  // every str of the call, each holding its own reference
  std::vector<PeriodWordTable::Slot*> block;
  // The block starts on a character boundary (text[p] equals text[0]), so whole-character
  // widening inside the block never reaches past p.
  for (auto [start, end] : raw) {
    if (!take_whole_characters(text, n, start, &end)) continue;
    const std::string_view word(text + start, static_cast<size_t>(end - start));
    PeriodWordTable::Slot* slot = table.find(word);
    if (slot == nullptr) return PyRef();
    if (slot->str == nullptr) {
      created.push_back(new_str(word));
      slot->str = created.back().get();
    }
    ++slot->block_entries;
    block.push_back(slot);
  }
  if (block.empty()) return PyRef();
  const uint64_t q = n / p;
  const uint64_t j = block.size();
  if (n % p == 0) {
    PyRef once = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(j)));
    if (!once) return PyError::fetch();
    for (uint64_t i = 0; i < j; ++i) PyList_SET_ITEM(once.get(), static_cast<Py_ssize_t>(i), Py_NewRef(block[i]->str));
    PyRef repeated = PyRef::steal(PySequence_Repeat(once.get(), static_cast<Py_ssize_t>(q)));
    if (!repeated) return PyError::fetch();
    return repeated;
  }
  std::vector<PeriodWordTable::Slot*> tail;
  bool full = false;
  scan_whole_words(tables, text, n, q * p, n, [&](uint64_t start, uint64_t end) {
    if (full) return;
    const std::string_view word(text + start, static_cast<size_t>(end - start));
    PeriodWordTable::Slot* slot = table.find(word);
    if (slot == nullptr) {
      full = true;
      return;
    }
    if (slot->str == nullptr) {
      created.push_back(new_str(word));
      slot->str = created.back().get();
    }
    ++slot->tail_entries;
    tail.push_back(slot);
  });
  if (full) return PyRef();
  const uint64_t filled = q * j;
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(filled + tail.size())));
  if (!list) return PyError::fetch();
  // The block's strings once, then the filled front copied onto the next items, doubling
  // the filled length each time; the tail after them. The references are added per string
  // below, once, by the number of entries it fills. The list and the strings are this
  // call's own and no other thread has seen them yet, so their storage and counts are
  // written directly on both builds (a free-threaded build counts them as owned by this
  // thread, and Py_SET_REFCNT leaves immortal strings alone).
  PyObject** items = reinterpret_cast<PyListObject*>(list.get())->ob_item;
  for (uint64_t i = 0; i < j; ++i) items[i] = block[i]->str;
  for (uint64_t have = j; have < filled;) {
    const uint64_t copy = have < filled - have ? have : filled - have;
    std::memcpy(items + have, items, copy * sizeof(PyObject*));
    have += copy;
  }
  for (size_t i = 0; i < tail.size(); ++i) items[filled + i] = tail[i]->str;
  for (PeriodWordTable::Slot& slot : table) {
    if (slot.str == nullptr) continue;
    const uint64_t entries = slot.block_entries * q + slot.tail_entries;
    Py_SET_REFCNT(slot.str, Py_REFCNT(slot.str) + static_cast<Py_ssize_t>(entries));
  }
  return list;
}

// ---- Plain road ---------------------------------------------------------------------------

PyResult<PyRef> plain_words(const WordElement& element, const WordTables& tables, const char* text,
                            uint64_t n) noexcept {
  if (n == 0) return new_list_or_die(0);
  // Sizing pass. With sets of ASCII bytes every word of the scan is taken, and the
  // branch-free count gives their number; otherwise the whole-character rule is applied.
  uint64_t m = 0;
  if (!element.init_set.has_high_members() && !element.body_set.has_high_members()) {
    m = tables.count_one_pass(text, 0, n);
  } else {
    scan_whole_words(tables, text, n, 0, n, [&m](uint64_t, uint64_t) { ++m; });
  }
  if (m == 0) return new_list_or_die(0);
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(m)));
  if (!list) return PyError::fetch();
  MatchedTextCache strs;
  uint64_t i = 0;
  scan_whole_words(tables, text, n, 0, n, [&](uint64_t start, uint64_t end) {
    VANTOREL_CHECK(i < m, "Word flat search: the filling scan found more words than the sizing pass");
    const std::string_view word(text + start, static_cast<size_t>(end - start));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i++), strs.get(word, [word] { return new_str(word); }).release());
  });
  VANTOREL_CHECK(i == m, "Word flat search: the filling scan found fewer words than the sizing pass");
  return list;
}

}  // namespace

PyResult<PyRef> word_search_string_flat(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const WordElement&>(*element_of(self));
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
