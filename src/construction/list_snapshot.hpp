// ListSnapshot: the items of a caller's list as they stood at one moment, each held by a
// strong reference, for code that reads a list other threads may be changing.
#pragma once

#include <cstddef>

#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"

namespace vantorel::py {

// A copy of the item pointers of a list (or list subclass; its own storage is read, no
// Python method is called), each with one reference of its own, kept in a tuple that this
// object owns. The copy is made under the list's critical section, so on a free-threaded
// interpreter it is one state of the list however other threads mutate it, and the items
// stay alive while the snapshot lives. On the standard build the critical section is empty
// and the interpreter lock gives the same guarantee.
class ListSnapshot {
 public:
  // The snapshot, or the interpreter's error (MemoryError) when the copy cannot be made.
  [[nodiscard]] static PyResult<ListSnapshot> take(PyObject* list) noexcept {
    PyRef copy;
    Py_BEGIN_CRITICAL_SECTION(list);
    // Nothing between reading the size and the last copied item can block (one allocation,
    // then reference increments), so the critical section is never suspended in between.
    const Py_ssize_t n = PyList_GET_SIZE(list);
    copy = PyRef::steal(PyTuple_New(n));
    if (copy) {
      for (Py_ssize_t i = 0; i < n; ++i) PyTuple_SET_ITEM(copy.get(), i, Py_NewRef(PyList_GET_ITEM(list, i)));
    }
    Py_END_CRITICAL_SECTION();
    if (!copy) return PyError::fetch();
    return ListSnapshot(std::move(copy));
  }

  [[nodiscard]] size_t size() const noexcept { return static_cast<size_t>(PyTuple_GET_SIZE(copy_.get())); }
  // The item pointers, valid while the snapshot lives.
  [[nodiscard]] PyObject* const* items() const noexcept { return PySequence_Fast_ITEMS(copy_.get()); }
  // Item i (i < size()), borrowed from the snapshot.
  [[nodiscard]] PyObject* operator[](size_t i) const noexcept {
    return PyTuple_GET_ITEM(copy_.get(), static_cast<Py_ssize_t>(i));
  }

 private:
  explicit ListSnapshot(PyRef copy) noexcept : copy_(std::move(copy)) {}
  PyRef copy_;  // a tuple of the items
};

}  // namespace vantorel::py
