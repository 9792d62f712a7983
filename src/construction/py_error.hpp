// PyError and PyResult<T>: how a Python-visible failure travels from where it happens to
// the one line of an entry point that raises it. An error is either one of the module's
// own (an exception type and its text) or an exception object the interpreter raised.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <new>

#include "construction/py_ref.hpp"

namespace vantorel::py {

template <class T>
class PyResult;

class PyError {
 public:
  // One of ours: `type` is a built-in exception type (PyExc_ValueError ...), `message`
  // UTF-8 text. Nothing Python-side is made until the error is raised.
  [[nodiscard]] static PyError ours(PyObject* type, std::string message) noexcept;
  // One of ours whose text is not copied: `text` must stay valid until the error is raised
  // or made into an exception (a literal, or a field of an object the call holds). For the
  // failures of hot roads, which then make nothing before the exception's own str.
  [[nodiscard]] static PyError ours_borrowed(PyObject* type, std::string_view text) noexcept;
  // One of ours whose text is already a Python str (for texts that need not be valid
  // UTF-8 on our side, such as a keyword name holding a lone surrogate).
  [[nodiscard]] static PyError ours(PyObject* type, PyRef message) noexcept;
  // Takes the exception the interpreter has pending; SystemError "attempted to fetch
  // exception but none was set" when it reported a failure without one.
  [[nodiscard]] static PyError fetch() noexcept;
  // The interpreter's MemoryError, for memory the module could not get itself.
  [[nodiscard]] static PyError no_memory() noexcept;
  // An exception object made by the module itself (for errors that carry a __cause__).
  [[nodiscard]] static PyError from_exception(PyRef exception) noexcept;

  PyError(PyError&&) noexcept = default;
  PyError& operator=(PyError&&) noexcept = default;

  // Sets the error as the interpreter's current exception. Our own errors go through
  // PyErr_SetObject(type, text); a fetched exception object is set back unchanged. When the
  // text of our own error cannot be made, the interpreter's MemoryError is set instead.
  void raise() && noexcept;

  // The error as an exception object (made now for our own errors), or the error that
  // making it raised.
  [[nodiscard]] PyRef to_exception() && noexcept;

  // True when the error's type is exactly `type` (not a subclass).
  [[nodiscard]] bool is_exactly(PyObject* type) const noexcept;

 private:
  friend PyError argument_extraction_error(std::string_view name, PyError error) noexcept;
  PyError() noexcept = default;

  // Our own text: the borrowed one when set, else message_.
  [[nodiscard]] std::string_view own_text() const noexcept {
    return borrowed_.data() != nullptr ? borrowed_ : std::string_view(message_);
  }
  // Our own text as a str (taken over when it is one already), or the interpreter's error.
  [[nodiscard]] PyResult<PyRef> own_str() noexcept;

  PyObject* type_ = nullptr;  // ours: the exception type (a static built-in, not owned)
  std::string message_;       // ours, when text_ is empty and borrowed_ unset
  std::string_view borrowed_; // ours, not copied: set when data() is not null
  PyRef text_;                // ours, as a str
  PyRef raised_;              // the interpreter's exception object
};

// A value or the error that replaced it. The error is held out of line in the object's
// storage but apart from the value, so a success path tests one flag and destroys only a
// value (nothing, for the plain values of the hot roads).
template <class T>
class [[nodiscard]] PyResult {
 public:
  PyResult(T value) noexcept : ok_(true) { new (&value_) T(std::move(value)); }
  PyResult(PyError error) noexcept : ok_(false) { new (&error_) PyError(std::move(error)); }
  PyResult(PyResult&& other) noexcept : ok_(other.ok_) {
    if (ok_) {
      new (&value_) T(std::move(other.value_));
    } else {
      new (&error_) PyError(std::move(other.error_));
    }
  }
  PyResult(const PyResult&) = delete;
  PyResult& operator=(const PyResult&) = delete;
  PyResult& operator=(PyResult&&) = delete;
  ~PyResult() {
    if (__builtin_expect(ok_, 1)) {
      value_.~T();
    } else {
      error_.~PyError();
    }
  }

  [[nodiscard]] bool ok() const noexcept { return ok_; }
  [[nodiscard]] T& value() noexcept { return value_; }
  [[nodiscard]] PyError& error() noexcept { return error_; }
  [[nodiscard]] T take() noexcept { return std::move(value_); }
  [[nodiscard]] PyError take_error() noexcept { return std::move(error_); }

 private:
  bool ok_;
  union {
    T value_;
    PyError error_;
  };
};

// The text for an object `o` that is not an instance of `target`:
// "'{}' object is not an instance of '{}'" with the qualified names of o's type and of
// target, or "'None' is not an instance of '{}'" when o is None.
[[nodiscard]] std::string type_mismatch_text(PyObject* o, PyTypeObject* target) noexcept;

// The error to raise for a failed conversion of parameter `name`: a TypeError (exactly)
// becomes TypeError "argument '{}': {}" around its text, keeping its __cause__; every other
// error is returned unchanged.
[[nodiscard]] PyError argument_extraction_error(std::string_view name, PyError error) noexcept;

// The allocation rule of every call: a Python object the interpreter cannot make (exhausted
// memory) is an error like any other, raised through the call's frame (MemoryError, the
// interpreter's own exception, pending when these return). Nothing here ends the process.

// A new str of `utf8` (whole UTF-8 characters), or the interpreter's error.
[[nodiscard]] inline PyResult<PyRef> new_str(std::string_view utf8) noexcept {
  PyObject* s = PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
  if (s == nullptr) return PyError::fetch();
  return PyRef::steal(s);
}
// A new list of `size` empty slots (to be filled in place), or the interpreter's error.
[[nodiscard]] inline PyResult<PyRef> new_list(size_t size) noexcept {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(size));
  if (list == nullptr) return PyError::fetch();
  return PyRef::steal(list);
}
// A new list holding the one object `item` (moved in), or the interpreter's error.
[[nodiscard]] inline PyResult<PyRef> list_of_one(PyRef item) noexcept {
  PyObject* list = PyList_New(1);
  if (list == nullptr) return PyError::fetch();
  PyList_SET_ITEM(list, 0, item.release());
  return PyRef::steal(list);
}
// A new list of `items` in order, their references moved in, or the interpreter's error.
[[nodiscard]] PyResult<PyRef> list_of(std::span<PyRef> items) noexcept;
// `list` (a new list) repeated `times` times by the interpreter's sequence repeat: a new list
// whose entries hold one reference each to the objects of `list`, which is released; once
// gives `list` itself. Or the interpreter's error.
[[nodiscard]] PyResult<PyRef> repeat_list(PyRef list, size_t times) noexcept;
// A new int of `value`, or the interpreter's error.
[[nodiscard]] PyResult<PyRef> new_int(uint64_t value) noexcept;

}  // namespace vantorel::py
