// What every batch method shares on the Python side: the inputs list read in place, the
// text of an item, the repeated layout of results, and the errors a batch call raises.
#pragma once

#include <cstdint>
#include <string_view>

#include "construction/element_object.hpp"
#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "text_ops/nesting_error.hpp"

namespace vantorel::py {

// The inputs list of one batch call, read in place: no copy of the list, no reference to
// the items (they are borrowed from the list while they are evaluated).
//
// The list cannot change during a batch call: the call holds the interpreter lock
// throughout and runs no Python code (the interpreter collects garbage only between
// bytecodes, so making strs and lists runs no finalizers). The readers below are written
// so that a change could do no harm all the same: an item is read afresh by index, within
// the list's current length, each time it is needed, and the methods hold a reference to
// every input whose address or text they keep beyond its own evaluation.
class BatchInputs {
 public:
  explicit BatchInputs(PyObject* list) noexcept
      : list_(list), n_(static_cast<size_t>(PyList_GET_SIZE(list))) {}

  // The number of items when the call began.
  [[nodiscard]] size_t size() const noexcept { return n_; }
  // The list's item array, for the identity tests, which make no interpreter call while
  // they read it.
  [[nodiscard]] PyObject* const* items() const noexcept { return reinterpret_cast<PyListObject*>(list_)->ob_item; }
  // Item i as the list holds it now, or nullptr when the list no longer reaches index i.
  [[nodiscard]] PyObject* object(size_t i) const noexcept {
    if (static_cast<Py_ssize_t>(i) >= PyList_GET_SIZE(list_)) return nullptr;
    return PyList_GET_ITEM(list_, static_cast<Py_ssize_t>(i));
  }
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

  PyObject* list_;  // borrowed: the frame holds the argument for the call
  size_t n_;
};

// The system's rule for items that have no text: a batch call never runs an element over
// them, and raises instead, at the first such item in list order (every item is either
// evaluated or the same object as an evaluated one, so none escapes):
//   - an item that is not a str: TypeError "argument 'inputs': item {i}: '{type}' object
//     is not an instance of 'str'" ('None' is not ... for None);
//   - a str whose UTF-8 form the interpreter cannot make (a lone surrogate): the
//     interpreter's UnicodeEncodeError, unchanged, as parse_string raises for such an `s`;
//   - an index the list no longer reaches: RuntimeError "argument 'inputs': the list
//     changed size during the call".
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
