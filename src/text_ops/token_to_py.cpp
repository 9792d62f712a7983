// Token conversion: one Python object per token and per group, lists made at their final
// length and filled in place, from a ParseResults or from a flat-road result; and the text of
// a failed parse.
#include "text_ops/token_to_py.hpp"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vantorel::py {

PyResult<PyRef> token_to_py(const Token& token) noexcept {
  if (token.is_str()) return new_str(token.text());
  return tokens_to_list(token.items());
}

PyResult<PyRef> tokens_to_list(std::span<const Token> tokens) noexcept {
  PyResult<PyRef> list = new_list(tokens.size());
  if (!list.ok()) return list;
  for (size_t i = 0; i < tokens.size(); ++i) {
    PyResult<PyRef> item = token_to_py(tokens[i]);
    if (!item.ok()) return item;  // `list` releases what it holds
    PyList_SET_ITEM(list.value().get(), static_cast<Py_ssize_t>(i), item.take().release());
  }
  return list;
}

namespace {

// A text of 2 to 16 bytes as two words of W bytes, the first at its start and the second
// ending at its end (W = 2, 4 or 8 for up to 2W bytes): together they cover every byte, and
// neither reads or writes outside the text's n bytes.
template <class W>
struct ShortText {
  W head;
  W tail;

  ShortText(const char* bytes, size_t n) noexcept {
    std::memcpy(&head, bytes, sizeof(W));
    std::memcpy(&tail, bytes + n - sizeof(W), sizeof(W));
  }
  [[nodiscard]] bool ascii() const noexcept { return ((head | tail) & static_cast<W>(0x8080808080808080ULL)) == 0; }
  void store(char* to, size_t n) const noexcept {
    std::memcpy(to, &head, sizeof(W));
    std::memcpy(to + n - sizeof(W), &tail, sizeof(W));
  }
};

// A new ASCII str of n bytes, which copy(to) writes, or nullptr with the interpreter's
// error set.
template <class Copy>
PyObject* new_ascii_str(size_t n, Copy&& copy) noexcept {
  PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
  if (s != nullptr) copy(reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(s)));
  return s;
}

PyObject* new_decoded_str(const char* bytes, size_t n) noexcept {
  return PyUnicode_FromStringAndSize(bytes, static_cast<Py_ssize_t>(n));
}

template <class W>
PyObject* short_token_str(const char* bytes, size_t n) noexcept {
  const ShortText<W> words(bytes, n);
  if (!words.ascii()) return new_decoded_str(bytes, n);
  return new_ascii_str(n, [&](char* to) { words.store(to, n); });
}

// Most tokens cut from a text are short ASCII runs: those are copied straight into a new
// ASCII str, sparing the decoder's setup (up to 16 bytes tested and copied as two
// overlapping words); a one-byte ASCII text is the interpreter's shared one-character str,
// which its decoder also gives; the empty text and every text beyond ASCII take the
// interpreter's own road. A new reference, or nullptr with the interpreter's error set.
inline __attribute__((always_inline)) PyObject* new_token_str(const char* bytes, size_t n) noexcept {
  if (n == 1 && static_cast<unsigned char>(bytes[0]) < 0x80) return PyUnicode_FromOrdinal(static_cast<unsigned char>(bytes[0]));
  if (n >= 2 && n <= 4) return short_token_str<uint16_t>(bytes, n);
  if (n >= 5 && n <= 8) return short_token_str<uint32_t>(bytes, n);
  if (n >= 9 && n <= 16) return short_token_str<uint64_t>(bytes, n);
  if (n > 16) {
    unsigned char any = 0;
    for (size_t i = 0; i < n; ++i) any |= static_cast<unsigned char>(bytes[i]);
    if (any < 0x80) return new_ascii_str(n, [&](char* to) { std::memcpy(to, bytes, n); });
  }
  return new_decoded_str(bytes, n);
}

}  // namespace

PyResult<PyRef> token_str(std::string_view bytes) noexcept {
  PyObject* s = new_token_str(bytes.data(), bytes.size());
  if (s == nullptr) return PyError::fetch();
  return PyRef::steal(s);
}

namespace {

// The lists still being filled while list_of_tokens walks the entries, innermost last.
// A few levels live in place; deeper nesting moves them to the heap.
class OpenLists {
 public:
  struct Level {
    PyObject* list;  // owned until it is stored in its parent (or returned)
    uint64_t filled;
    uint64_t count;
  };
  OpenLists() noexcept = default;
  OpenLists(const OpenLists&) = delete;
  OpenLists& operator=(const OpenLists&) = delete;
  // Releases the lists still open (after a failure).
  ~OpenLists() {
    for (uint64_t i = 0; i < size_; ++i) Py_DECREF(at(i).list);
  }

  // Opens `list` of `count` slots as the innermost level and returns it.
  Level* push(PyObject* list, uint64_t count) noexcept {
    if (size_ < kInline) {
      inline_[size_] = Level{list, 0, count};
    } else {
      more_.push_back(Level{list, 0, count});
    }
    return &at(size_++);
  }
  // Takes the innermost list out (the caller owns it); the next level out, or nullptr
  // when none is left open.
  Level* pop(PyObject*& list) noexcept {
    --size_;
    list = at(size_).list;
    if (size_ >= kInline) more_.pop_back();
    return size_ == 0 ? nullptr : &at(size_ - 1);
  }

 private:
  static constexpr uint64_t kInline = 16;
  Level& at(uint64_t i) noexcept { return i < kInline ? inline_[i] : more_[i - kInline]; }

  uint64_t size_ = 0;
  Level inline_[kInline];
  std::vector<Level> more_;
};

// A new list of the `count` tokens that start at entry `i`, which is left after them. One
// pass over the entries in order, each group's items right after its head; the walk keeps
// its open lists on a stack of its own, not on the call stack, so a result nested as deep
// as the parse could go converts whatever the depth. On an error `open` releases every list
// made so far.
PyResult<PyRef> list_of_tokens(const FlatToken* entries, uint64_t& i, uint64_t count) noexcept {
  OpenLists open;
  for (;;) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
    if (list == nullptr) return PyError::fetch();
    OpenLists::Level* level = open.push(list, count);
    for (;;) {
      if (level->filled == level->count) {
        PyObject* done = nullptr;
        level = open.pop(done);
        if (level == nullptr) return PyRef::steal(done);
        PyList_SET_ITEM(level->list, static_cast<Py_ssize_t>(level->filled++), done);
        continue;
      }
      const FlatToken& entry = entries[i++];
      if (entry.is_group()) {
        count = entry.item_count();
        break;  // open the group's list
      }
      PyObject* str = new_token_str(entry.bytes, entry.size);
      if (str == nullptr) return PyError::fetch();
      PyList_SET_ITEM(level->list, static_cast<Py_ssize_t>(level->filled++), str);
    }
  }
}

}  // namespace

PyResult<PyRef> flat_to_list(const FlatResults& results) noexcept {
  uint64_t i = 0;
  return list_of_tokens(results.data(), i, results.token_count());
}

PyResult<PyRef> flat_token_to_py(const FlatResults& results, uint64_t& i) noexcept {
  const FlatToken& entry = results.data()[i++];
  if (!entry.is_group()) return token_str(entry.text());
  return list_of_tokens(results.data(), i, entry.item_count());
}

PyError parse_exception(uint64_t position, std::string_view message) noexcept {
  std::string text = "ParseException at position " + std::to_string(position) + ": ";
  text.append(message);
  return PyError::ours(PyExc_ValueError, std::move(text));
}

PyError nesting_too_deep_error(uint64_t position) noexcept {
  return parse_exception(position, kNestingTooDeepMessage);
}

PyResult<PyRef> outcome_to_list(Match m, const FlatResults& out) noexcept {
  if (!m.matched) return parse_exception(out.error());
  return flat_to_list(out);
}

}  // namespace vantorel::py
