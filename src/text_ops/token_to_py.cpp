// Token conversion: one Python object per token and per group, lists made at their final
// length and filled in place.
#include "text_ops/token_to_py.hpp"

#include <cstring>
#include <vector>

#include "elements/fatal.hpp"

namespace vantorel::py {

PyResult<PyRef> token_to_py(const Token& token) noexcept {
  if (token.is_str()) return new_str(token.text());
  const auto items = token.items();
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return PyError::fetch();
  for (size_t i = 0; i < items.size(); ++i) {
    PyResult<PyRef> item = token_to_py(items[i]);
    if (!item.ok()) return item.take_error();  // `list` releases what it holds
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.value().release());
  }
  return list;
}

namespace {

// A new str of the UTF-8 bytes of a token, as PyUnicode_FromStringAndSize makes it. Most
// tokens cut from a text are short ASCII runs: those are copied straight into a new ASCII
// str, sparing the decoder's setup; empty and one-character texts (which the interpreter
// shares) and every text beyond ASCII take the interpreter's own road.
PyRef token_str(std::string_view bytes) noexcept {
  if (bytes.size() >= 2) {
    unsigned char any = 0;
    for (const char c : bytes) any |= static_cast<unsigned char>(c);
    if (any < 0x80) {
      PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(bytes.size()), 127);
      if (s == nullptr) {
        PyErr_WriteUnraisable(nullptr);
        fatal("could not create a str");
      }
      std::memcpy(PyUnicode_1BYTE_DATA(s), bytes.data(), bytes.size());
      return PyRef::steal(s);
    }
  }
  return new_str(bytes);
}

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
// as the parse could go converts whatever the depth.
PyResult<PyRef> list_of_tokens(const FlatToken* entries, uint64_t& i, uint64_t count) noexcept {
  OpenLists open;
  for (;;) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
    if (list == nullptr) return PyError::fetch();  // `open` releases the lists made so far
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
      PyList_SET_ITEM(level.list, static_cast<Py_ssize_t>(level.filled++), token_str(entry.text()).release());
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

}  // namespace vantorel::py
