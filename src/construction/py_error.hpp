// PyError and PyResult<T>: how a Python-visible failure travels from where it happens to
// the one line of an entry point that raises it. An error is either one of the module's
// own (an exception type and its text) or an exception object the interpreter raised.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "construction/py_ref.hpp"

namespace vantorel::py {

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
  // An exception object made by the module itself (for errors that carry a __cause__).
  [[nodiscard]] static PyError from_exception(PyRef exception) noexcept;

  PyError(PyError&&) noexcept = default;
  PyError& operator=(PyError&&) noexcept = default;

  // Sets the error as the interpreter's current exception. Our own errors go through
  // PyErr_SetObject(type, text); a fetched exception object is set back unchanged.
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

  PyObject* type_ = nullptr;  // ours: the exception type (a static built-in, not owned)
  std::string message_;       // ours, when text_ is empty and borrowed_ unset
  std::string_view borrowed_; // ours, not copied: set when data() is not null
  PyRef text_;                // ours, as a str
  PyRef raised_;              // the interpreter's exception object
};

// A value or the error that replaced it.
template <class T>
class [[nodiscard]] PyResult {
 public:
  PyResult(T value) noexcept : v_(std::in_place_index<0>, std::move(value)) {}
  PyResult(PyError error) noexcept : v_(std::in_place_index<1>, std::move(error)) {}

  [[nodiscard]] bool ok() const noexcept { return v_.index() == 0; }
  [[nodiscard]] T& value() noexcept { return std::get<0>(v_); }
  [[nodiscard]] PyError& error() noexcept { return std::get<1>(v_); }
  [[nodiscard]] T take() noexcept { return std::move(std::get<0>(v_)); }
  [[nodiscard]] PyError take_error() noexcept { return std::move(std::get<1>(v_)); }

 private:
  std::variant<T, PyError> v_;
};

// The text for an object `o` that is not an instance of `target`:
// "'{}' object is not an instance of '{}'" with the qualified names of o's type and of
// target, or "'None' is not an instance of '{}'" when o is None.
[[nodiscard]] std::string type_mismatch_text(PyObject* o, PyTypeObject* target) noexcept;

// The error to raise for a failed conversion of parameter `name`: a TypeError (exactly)
// becomes TypeError "argument '{}': {}" around its text, keeping its __cause__; every other
// error is returned unchanged.
[[nodiscard]] PyError argument_extraction_error(std::string_view name, PyError error) noexcept;

// A new str from UTF-8 bytes the module made itself (messages, tokens, fixed texts). The
// interpreter failing to make it (exhausted memory) ends the process.
[[nodiscard]] PyRef new_str(std::string_view utf8) noexcept;
// A new list of `size` empty slots, for the small result lists whose creation the
// interpreter is not expected to refuse; its failing to (exhausted memory) ends the process.
[[nodiscard]] PyRef new_list_or_die(Py_ssize_t size) noexcept;
// A new int holding `value`; the interpreter failing to make it ends the process.
[[nodiscard]] PyRef new_int_or_die(uint64_t value) noexcept;

}  // namespace vantorel::py
