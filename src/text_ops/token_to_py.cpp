// Token conversion: one Python object per token and per group, lists made at their final
// length and filled in place, from a ParseResults or from a flat-road result; and the text of
// a failed parse.
#include "text_ops/token_to_py.hpp"

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

// Most tokens cut from a text are short ASCII runs: those are copied straight into a new
// ASCII str, sparing the decoder's setup; empty and one-character texts (which the
// interpreter shares) and every text beyond ASCII take the interpreter's own road.
PyResult<PyRef> token_str(std::string_view bytes) noexcept {
  if (bytes.size() >= 2) {
    unsigned char any = 0;
    for (const char c : bytes) any |= static_cast<unsigned char>(c);
    if (any < 0x80) {
      PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(bytes.size()), 127);
      if (s == nullptr) return PyError::fetch();
      std::memcpy(PyUnicode_1BYTE_DATA(s), bytes.data(), bytes.size());
      return PyRef::steal(s);
    }
  }
  return new_str(bytes);
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

  void push(PyObject* list, uint64_t count) noexcept {
    if (size_ < kInline) {
      inline_[size_] = Level{list, 0, count};
    } else {
      more_.push_back(Level{list, 0, count});
    }
    ++size_;
  }
  // Takes the innermost list out (the caller owns it).
  PyObject* pop() noexcept {
    --size_;
    PyObject* list = at(size_).list;
    if (size_ >= kInline) more_.pop_back();
    return list;
  }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] Level& top() noexcept { return at(size_ - 1); }

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
    open.push(list, count);
    for (;;) {
      OpenLists::Level& level = open.top();
      if (level.filled == level.count) {
        PyObject* done = open.pop();
        if (open.empty()) return PyRef::steal(done);
        OpenLists::Level& parent = open.top();
        PyList_SET_ITEM(parent.list, static_cast<Py_ssize_t>(parent.filled++), done);
        continue;
      }
      const FlatToken& entry = entries[i++];
      if (entry.is_group()) {
        count = entry.item_count();
        break;  // open the group's list
      }
      PyResult<PyRef> str = token_str(entry.text());
      if (!str.ok()) return str;
      PyList_SET_ITEM(level.list, static_cast<Py_ssize_t>(level.filled++), str.take().release());
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
