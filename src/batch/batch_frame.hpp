// What every batch method shares on the Python side: the inputs list read in place, the
// text of an item, the repeated layout of results, and the errors a batch call raises.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "construction/element_object.hpp"
#include "construction/list_snapshot.hpp"
#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "text_ops/nesting_error.hpp"

namespace vantorel::py {

// The inputs list of one batch call, as the call sees it: one state of the list, with
// every item alive and at its address for the whole call.
//
// On the standard build the list is read in place (no copy, no reference to the items):
// the call holds the interpreter lock throughout and runs no Python code (the interpreter
// collects garbage only between bytecodes, so making strs and lists runs no finalizers),
// so no other code can change the list while the call reads it. The readers are written
// so that a change could do no harm all the same: an item is read afresh by index, within
// the list's current length, each time it is needed, and the methods hold a reference to
// every input whose address or text they keep beyond its own evaluation.
//
// On a free-threaded build other threads run alongside the call and may replace, insert
// or remove items at any moment. There the call first takes a ListSnapshot: the item
// pointers copied under the list's critical section, each with a reference of its own.
// The call then works on that one state of the list: its results are those that state
// gives, no item it reads can be freed under it, and no other object can come to live at
// an item's address before the call ends, when the references are given back. The copy is
// one pass over the items, paid only on that build; the standard build keeps its in-place
// reads, so the uniform and period tests stay one pass over the list's own array.
class BatchInputs {
 public:
  // The inputs of the list `list` (borrowed: the frame holds the argument for the call),
  // or the interpreter's error when the snapshot cannot be made (free-threaded build only).
  [[nodiscard]] static PyResult<BatchInputs> read(PyObject* list) noexcept {
#ifdef Py_GIL_DISABLED
    PyResult<ListSnapshot> snapshot = ListSnapshot::take(list);
    if (!snapshot.ok()) return snapshot.take_error();
    return BatchInputs(snapshot.take());
#else
    return BatchInputs(list);
#endif
  }

  // The number of items when the call began.
  [[nodiscard]] size_t size() const noexcept { return n_; }
#ifdef Py_GIL_DISABLED
  // The snapshot's item array, for the identity tests.
  [[nodiscard]] PyObject* const* items() const noexcept { return snapshot_.items(); }
  // Item i of the snapshot (i < size()).
  [[nodiscard]] PyObject* object(size_t i) const noexcept { return snapshot_[i]; }
#else
  // The list's item array, for the identity tests, which make no interpreter call while
  // they read it.
  [[nodiscard]] PyObject* const* items() const noexcept { return reinterpret_cast<PyListObject*>(list_)->ob_item; }
  // Item i as the list holds it now, or nullptr when the list no longer reaches index i.
  [[nodiscard]] PyObject* object(size_t i) const noexcept {
    if (static_cast<Py_ssize_t>(i) >= PyList_GET_SIZE(list_)) return nullptr;
    return PyList_GET_ITEM(list_, static_cast<Py_ssize_t>(i));
  }
#endif
  // The UTF-8 text of item i (`object`, as object(i) gave it), or the error the call
  // raises for it (input_error).
  [[nodiscard]] PyResult<std::string_view> text(PyObject* object, size_t i) const noexcept {
    if (object != nullptr && PyUnicode_Check(object)) {
      Py_ssize_t length = 0;
      const char* bytes = PyUnicode_AsUTF8AndSize(object, &length);
      if (bytes != nullptr) return std::string_view(bytes, static_cast<size_t>(length));
    }
    return input_error(object, i);
  }

 private:
  [[nodiscard]] static PyError input_error(PyObject* object, size_t i) noexcept;

#ifdef Py_GIL_DISABLED
  explicit BatchInputs(ListSnapshot snapshot) noexcept : snapshot_(std::move(snapshot)), n_(snapshot_.size()) {}
  ListSnapshot snapshot_;
#else
  explicit BatchInputs(PyObject* list) noexcept
      : list_(list), n_(static_cast<size_t>(PyList_GET_SIZE(list))) {}
  PyObject* list_;  // borrowed: the frame holds the argument for the call
#endif
  size_t n_;
};

// The system's rule for items that have no text: a batch call never runs an element over
// them, and raises instead, at the first such item in list order (every item is either
// evaluated or the same object as an evaluated one, so none escapes):
//   - an item that is not a str: TypeError "argument 'inputs': item {i}: '{type}' object
//     is not an instance of 'str'" ('None' is not ... for None);
//   - a str whose UTF-8 form the interpreter cannot make (a lone surrogate): the
//     interpreter's UnicodeEncodeError, unchanged, as parse_string raises for such an `s`;
//   - an index the list no longer reaches (standard build, which reads the list in place):
//     RuntimeError "argument 'inputs': the list changed size during the call".
// Likewise an evaluation that the stack guard stopped raises nesting_too_deep_error
// instead of counting as a failing input, since an evaluation with more stack could have
// matched: at the failure's own position where parse_impl ran, at 0 (where the element
// was run) where only try_match_at did.

// A new list of n empty slots (to be filled in place), or the interpreter's error.
[[nodiscard]] PyResult<PyRef> new_list(size_t n) noexcept;

// The repeated layout: `run` (a new list) repeated q times by the interpreter's sequence
// repeat, each entry holding one reference to its object; the run itself is released, so
// its objects end up referenced by the entries alone. q = 1 returns the run itself.
[[nodiscard]] PyResult<PyRef> repeat_run(PyRef run, size_t q) noexcept;

}  // namespace vantorel::py
