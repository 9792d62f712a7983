// PyRef: the one owning handle to a Python object. Every reference the module takes is
// made visible where it is taken (steal or borrow) and given up where it is handed on.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vantorel::py {

class PyRef {
 public:
  PyRef() noexcept = default;

  // Takes over a new reference (may be nullptr, giving an empty handle).
  [[nodiscard]] static PyRef steal(PyObject* p) noexcept { return PyRef(p); }
  // Takes one more reference to a borrowed object.
  [[nodiscard]] static PyRef borrow(PyObject* p) noexcept {
    Py_XINCREF(p);
    return PyRef(p);
  }

  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    PyRef moved(std::move(other));
    std::swap(p_, moved.p_);
    return *this;
  }
  ~PyRef() { Py_XDECREF(p_); }

  // Hands the reference on to the caller; the handle is left empty.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  // The object, borrowed for as long as this handle lives.
  [[nodiscard]] PyObject* get() const noexcept { return p_; }
  [[nodiscard]] explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit PyRef(PyObject* p) noexcept : p_(p) {}
  PyObject* p_ = nullptr;
};

}  // namespace vantorel::py
