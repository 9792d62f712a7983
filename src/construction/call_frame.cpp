// The call frame, written once for every callable: argument extraction in its fixed order
// of checks, the self check, the shared borrow and the conversions, driven by the
// callable's ArgumentSpec.
#include "construction/call_frame.hpp"

#include <cstring>
#include <string>

namespace vantorel::py {

namespace {

using Slots = std::array<PyObject*, kMaxParams>;

std::string display_name(const ArgumentSpec& spec) {
  std::string d;
  if (!spec.class_name.empty()) {
    d.append(spec.class_name);
    d.push_back('.');
  }
  d.append(spec.callable_name);
  d.append("()");
  return d;
}

PyError too_many_positional(const ArgumentSpec& spec, Py_ssize_t given) {
  std::string m = display_name(spec);
  if (spec.count == spec.required) {
    m += " takes " + std::to_string(spec.count);
  } else {
    m += " takes from " + std::to_string(spec.required) + " to " + std::to_string(spec.count);
  }
  m += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  return PyError::ours(PyExc_TypeError, std::move(m));
}

// Fills the slot that keyword `name` names, or gives the error for it.
PyResult<bool> take_keyword(const ArgumentSpec& spec, PyObject* name, PyObject* value, Slots& slots) {
  Py_ssize_t n = 0;
  const char* bytes = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &n) : nullptr;
  if (bytes == nullptr) PyErr_Clear();  // a name that is not UTF-8 names no parameter
  for (size_t i = 0; bytes != nullptr && i < spec.count; ++i) {
    if (spec.params[i].name != std::string_view(bytes, static_cast<size_t>(n))) continue;
    if (slots[i] != nullptr) {
      return PyError::ours(PyExc_TypeError, display_name(spec) + " got multiple values for argument '" +
                                                std::string(spec.params[i].name) + "'");
    }
    slots[i] = value;
    return true;
  }
  PyRef text = PyRef::steal(
      PyUnicode_FromFormat("%s got an unexpected keyword argument '%S'", display_name(spec).c_str(), name));
  if (!text) return PyError::fetch();
  return PyError::ours(PyExc_TypeError, std::move(text));
}

// The last check: every required parameter has a value.
PyResult<bool> check_required(const ArgumentSpec& spec, Py_ssize_t given, const Slots& slots) {
  if (given >= spec.required) return true;
  std::string names;
  size_t missing = 0;
  for (size_t i = 0; i < spec.required; ++i) {
    if (slots[i] != nullptr) continue;
    if (missing > 0) names += " and ";
    names += "'" + std::string(spec.params[i].name) + "'";
    ++missing;
  }
  if (missing == 0) return true;
  return PyError::ours(PyExc_TypeError, display_name(spec) + " missing " + std::to_string(missing) +
                                            " required positional " + (missing == 1 ? "argument" : "arguments") +
                                            ": " + names);
}

// The extractions and conversions below fill the caller's slots and arguments in place and
// return only a verdict: the frame runs on every call, and passing its arrays back by value
// (block copies followed by wider reads of the same bytes) cost more than the work itself.

// Fills `slots` (empty on entry) from the positional and keyword arguments.
PyResult<bool> extract_arguments_fastcall(const ArgumentSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames, Slots& slots) {
  if (nargs > spec.count) return too_many_positional(spec, nargs);
  for (size_t i = 0; i < kMaxParams; ++i) {
    if (static_cast<Py_ssize_t>(i) < nargs) slots[i] = args[i];
  }
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyResult<bool> taken = take_keyword(spec, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], slots);
    if (!taken.ok()) return taken.take_error();
  }
  return check_required(spec, nargs, slots);
}

// Fills `slots` (empty on entry) from the argument tuple and the keyword dictionary, and
// when there is a dictionary puts a reference to every filled slot in `held`. The
// dictionary may be the caller's own (a C caller such as _thread.start_new_thread passes it
// through unchanged): on a free-threaded build another thread may change it meanwhile, so
// its items are read from a copy the interpreter makes under the dictionary's lock
// (PyDict_Items), which also holds every key and value until `held` has taken its
// references. The order is the dictionary's on both builds.
PyResult<bool> extract_arguments_tuple_dict(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs,
                                            Slots& slots, std::array<PyRef, kMaxParams>& held) {
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs > spec.count) return too_many_positional(spec, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<size_t>(i)] = PyTuple_GET_ITEM(args, i);
  if (kwargs == nullptr) return check_required(spec, nargs, slots);
#ifdef Py_GIL_DISABLED
  PyRef items = PyRef::steal(PyDict_Items(kwargs));
  if (!items) return PyError::fetch();
  for (Py_ssize_t k = 0; k < PyList_GET_SIZE(items.get()); ++k) {
    PyObject* item = PyList_GET_ITEM(items.get(), k);
    PyResult<bool> taken = take_keyword(spec, PyTuple_GET_ITEM(item, 0), PyTuple_GET_ITEM(item, 1), slots);
    if (!taken.ok()) return taken.take_error();
  }
#else
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &pos, &key, &value)) {
    PyResult<bool> taken = take_keyword(spec, key, value, slots);
    if (!taken.ok()) return taken.take_error();
  }
#endif
  PyResult<bool> complete = check_required(spec, nargs, slots);
  if (!complete.ok()) return complete;
  for (size_t i = 0; i < spec.count; ++i) held[i] = PyRef::borrow(slots[i]);
  return true;
}

// Converts one parameter completely into `a`, every field written.
PyResult<bool> convert(const ParamSpec& param, PyObject* o, Argument& a) {
  a = Argument{nullptr, {}, false, 0};
  switch (param.kind) {
    case ParamKind::Text:
    case ParamKind::TextOrNone: {
      if (o == nullptr || (param.kind == ParamKind::TextOrNone && o == Py_None)) {
        a.text = param.default_text;
        return true;
      }
      if (!PyUnicode_Check(o)) {
        return argument_extraction_error(param.name,
                                         PyError::ours(PyExc_TypeError, type_mismatch_text(o, &PyUnicode_Type)));
      }
      PyResult<std::string_view> view = pystring_to_str(o);
      if (!view.ok()) return argument_extraction_error(param.name, view.take_error());
      a.object = o;
      a.text = view.value();
      return true;
    }
    case ParamKind::List:
      if (o != nullptr && !PyList_Check(o)) {
        return argument_extraction_error(param.name,
                                         PyError::ours(PyExc_TypeError, type_mismatch_text(o, &PyList_Type)));
      }
      a.object = o;
      return true;
    case ParamKind::Flag: {
      if (o == nullptr) {
        a.flag = param.default_flag;
        return true;
      }
      PyResult<bool> flag = extract_bool(o);
      if (!flag.ok()) return argument_extraction_error(param.name, flag.take_error());
      a.object = o;
      a.flag = flag.value();
      return true;
    }
    case ParamKind::Count: {
      if (o == nullptr) return true;
      PyResult<uint64_t> count = extract_count(o);
      if (!count.ok()) return argument_extraction_error(param.name, count.take_error());
      a.object = o;
      a.count = count.value();
      return true;
    }
    case ParamKind::Object:
      a.object = o;
      return true;
  }
  return true;
}

// The conversions of every frame: each parameter in order, each completely before the next.
PyResult<bool> convert_all(const ArgumentSpec& spec, const Slots& slots, CallArgs& call) {
  for (size_t i = spec.count; i < kMaxParams; ++i) call.at[i] = Argument{nullptr, {}, false, 0};
  for (size_t i = 0; i < spec.count; ++i) {
    PyResult<bool> converted = convert(spec.params[i], slots[i], call.at[i]);
    if (!converted.ok()) return converted;
  }
  return true;
}

// True when `s` (a str from the interpreter's type machinery) reads exactly `want`.
bool str_equals(PyObject* s, std::string_view want) {
  Py_ssize_t n = 0;
  const char* bytes = s != nullptr && PyUnicode_Check(s) ? PyUnicode_AsUTF8AndSize(s, &n) : nullptr;
  if (bytes == nullptr) {
    PyErr_Clear();
    return false;
  }
  return std::string_view(bytes, static_cast<size_t>(n)) == want;
}

// numpy's boolean scalar types, known only by the module and type names they report.
bool is_numpy_bool_type(PyTypeObject* type) {
  PyRef module = PyRef::steal(PyType_GetModuleName(type));
  if (!module) PyErr_Clear();
  if (!str_equals(module.get(), "numpy")) return false;
  PyRef name = PyRef::steal(PyType_GetName(type));
  if (!name) PyErr_Clear();
  return str_equals(name.get(), "bool_") || str_equals(name.get(), "bool");
}

}  // namespace

PyResult<bool> extract_bool(PyObject* o) noexcept {
  if (Py_IS_TYPE(o, &PyBool_Type)) return o == Py_True;
  PyTypeObject* type = Py_TYPE(o);
  if (is_numpy_bool_type(type)) {
    inquiry nb_bool = type->tp_as_number != nullptr ? type->tp_as_number->nb_bool : nullptr;
    if (nb_bool == nullptr) {
      PyRef text = PyRef::steal(PyUnicode_FromFormat("object of type '%S' does not define a '__bool__' conversion",
                                                     reinterpret_cast<PyObject*>(type)));
      if (!text) return PyError::fetch();
      return PyError::ours(PyExc_TypeError, std::move(text));
    }
    const int r = nb_bool(o);
    if (r == 0) return false;
    if (r == 1) return true;
    return PyError::fetch();
  }
  return PyError::ours(PyExc_TypeError, type_mismatch_text(o, &PyBool_Type));
}

PyResult<uint64_t> extract_count(PyObject* o) noexcept {
  PyRef index;
  PyObject* value = o;
  if (!PyLong_Check(o)) {
    index = PyRef::steal(PyNumber_Index(o));
    if (!index) return PyError::fetch();
    value = index.get();
  }
  const unsigned long long n = PyLong_AsUnsignedLongLong(value);
  // All ones is also a valid count; it is an error only with an exception pending.
  if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) return PyError::fetch();
  return static_cast<uint64_t>(n);
}

PyResult<PyRef> run_method_frame(const ArgumentSpec& spec, ClassId cls, MethodBody body, PyObject* self,
                                 PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  Slots slots{};
  PyResult<bool> extracted = extract_arguments_fastcall(spec, args, PyVectorcall_NARGS(nargs), kwnames, slots);
  if (!extracted.ok()) return extracted.take_error();
  if (!is_instance(self, cls)) return PyError::ours(PyExc_TypeError, type_mismatch_text(self, class_of(cls)));
  PyResult<SharedBorrow> borrow = SharedBorrow::take(self);
  if (!borrow.ok()) return borrow.take_error();
  // The borrow is given back when `borrow` goes: after the body, or after a failed conversion.
  CallArgs call;
  PyResult<bool> converted = convert_all(spec, slots, call);
  if (!converted.ok()) return converted.take_error();
  return body(self, call);
}

PyResult<PyRef> run_constructor_frame(const ArgumentSpec& spec, ConstructorBody body, PyTypeObject* type,
                                      PyObject* args, PyObject* kwargs) noexcept {
  Slots slots{};
  // A conversion can run Python code (__bool__, __index__) that removes an entry from a
  // caller's own keyword dictionary, so with a dictionary the frame holds its own reference
  // to every argument until the body has finished; a text view or an `expr` never outlives
  // its object.
  std::array<PyRef, kMaxParams> held;
  PyResult<bool> extracted = extract_arguments_tuple_dict(spec, args, kwargs, slots, held);
  if (!extracted.ok()) return extracted.take_error();
  CallArgs call;
  PyResult<bool> converted = convert_all(spec, slots, call);
  if (!converted.ok()) return converted.take_error();
  return body(type, call);
}

PyResult<PyRef> run_function_frame(const ArgumentSpec& spec, FunctionBody body, PyObject* const* args,
                                   Py_ssize_t nargs, PyObject* kwnames) noexcept {
  Slots slots{};
  PyResult<bool> extracted = extract_arguments_fastcall(spec, args, PyVectorcall_NARGS(nargs), kwnames, slots);
  if (!extracted.ok()) return extracted.take_error();
  CallArgs call;
  PyResult<bool> converted = convert_all(spec, slots, call);
  if (!converted.ok()) return converted.take_error();
  return body(call);
}

}  // namespace vantorel::py
