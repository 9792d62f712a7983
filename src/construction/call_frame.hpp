// The call frame of every Python-callable entry point: argument extraction (fast call and
// tuple/dict), the self check, the shared borrow, the conversions, the body and the one
// exit. Each callable is described once by a constexpr ArgumentSpec; the entry templates
// below bind a spec and a body and do nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "construction/element_object.hpp"
#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"

namespace vantorel::py {

// How a parameter is checked and what the body receives for it.
enum class ParamKind : uint8_t {
  Text,        // str (or subclass): its UTF-8 view
  TextOrNone,  // as Text; None counts as not given
  List,        // list (or subclass): the object itself, items unexamined
  Flag,        // exactly bool, or numpy's boolean scalars: a boolean
  Count,       // int or anything with __index__: an unsigned 64-bit integer
  Object,      // anything: the object itself
};

struct ParamSpec {
  std::string_view name;
  ParamKind kind = ParamKind::Object;
  std::string_view default_text = {};  // Text, when not given
  bool default_flag = false;           // Flag, when not given
};

inline constexpr size_t kMaxParams = 4;

// The fixed description of one callable's parameters. Every parameter can be given by
// position or by keyword; the first `required` are required.
struct ArgumentSpec {
  std::string_view class_name;     // empty for module functions
  std::string_view callable_name;  // "__new__" for constructors
  std::array<ParamSpec, kMaxParams> params{};
  uint8_t count = 0;
  uint8_t required = 0;
};

// One converted argument, valid for the call. A plain value: the frame writes every field
// of every slot (the zero value for slots without a parameter).
struct Argument {
  PyObject* object;       // borrowed; nullptr when not given (or None for TextOrNone)
  std::string_view text;  // Text and TextOrNone: the UTF-8 view (or the default)
  bool flag;              // Flag
  uint64_t count;         // Count
  [[nodiscard]] bool given() const noexcept { return object != nullptr; }
};

// The converted arguments of one call, filled by the frame before the body runs. Not
// zeroed on construction: the frame's conversion writes each slot once, which costs less
// than clearing the block first on every call.
struct CallArgs {
  std::array<Argument, kMaxParams> at;
  [[nodiscard]] const Argument& operator[](size_t i) const noexcept { return at[i]; }
};

// Bodies: a method's receives the object (type-checked, borrowed for the call); a
// constructor's the class that was called; a module function's nothing but the arguments.
using MethodBody = PyResult<PyRef> (*)(PyObject* self, const CallArgs& args) noexcept;
using ConstructorBody = PyResult<PyRef> (*)(PyTypeObject* type, const CallArgs& args) noexcept;
using FunctionBody = PyResult<PyRef> (*)(const CallArgs& args) noexcept;

// The frames, run by the entry templates. Each returns the body's result or the first error.
[[nodiscard]] PyResult<PyRef> run_method_frame(const ArgumentSpec& spec, ClassId cls, MethodBody body, PyObject* self,
                                               PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
[[nodiscard]] PyResult<PyRef> run_constructor_frame(const ArgumentSpec& spec, ConstructorBody body, PyTypeObject* type,
                                                    PyObject* args, PyObject* kwargs) noexcept;
[[nodiscard]] PyResult<PyRef> run_function_frame(const ArgumentSpec& spec, FunctionBody body, PyObject* const* args,
                                                 Py_ssize_t nargs, PyObject* kwnames) noexcept;

// The one exit of every entry point: the new reference, or NULL with the error raised.
[[nodiscard]] inline PyObject* finish(PyResult<PyRef> result) noexcept {
  if (result.ok()) return result.value().release();
  result.take_error().raise();
  return nullptr;
}

// METH_FASTCALL | METH_KEYWORDS method of class `Cls`.
template <const ArgumentSpec& Spec, ClassId Cls, MethodBody Body>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return finish(run_method_frame(Spec, Cls, Body, self, args, nargs, kwnames));
}

// tp_new of a class.
template <const ArgumentSpec& Spec, ConstructorBody Body>
PyObject* constructor_entry(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return finish(run_constructor_frame(Spec, Body, type, args, kwargs));
}

// METH_FASTCALL | METH_KEYWORDS module function.
template <const ArgumentSpec& Spec, FunctionBody Body>
PyObject* function_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return finish(run_function_frame(Spec, Body, args, nargs, kwnames));
}

// METH_NOARGS module function (the interpreter rejects arguments itself).
template <PyResult<PyRef> (*Body)() noexcept>
PyObject* noargs_entry(PyObject* /*module*/, PyObject* /*unused*/) noexcept {
  return finish(Body());
}

// The conversions, also for bodies that convert by themselves.
// The UTF-8 view of a str (checked by the caller), or the interpreter's encoding error.
// Inline: every text argument of every call comes through here.
[[nodiscard]] inline PyResult<std::string_view> pystring_to_str(PyObject* o) noexcept {
  Py_ssize_t n = 0;
  const char* bytes = PyUnicode_AsUTF8AndSize(o, &n);
  if (bytes == nullptr) return PyError::fetch();
  return std::string_view(bytes, static_cast<size_t>(n));
}
// A boolean from exactly bool or a numpy boolean scalar; TypeError otherwise.
[[nodiscard]] PyResult<bool> extract_bool(PyObject* o) noexcept;
// An unsigned 64-bit count from an int or through __index__.
[[nodiscard]] PyResult<uint64_t> extract_count(PyObject* o) noexcept;

// Casts an entry point to the type a method table stores.
template <class F>
[[nodiscard]] PyCFunction as_cfunction(F f) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

}  // namespace vantorel::py
