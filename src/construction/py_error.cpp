// Errors at the Python boundary: making, converting and raising them.
#include "construction/py_error.hpp"

#include "elements/fatal.hpp"

namespace vantorel::py {

PyError PyError::ours(PyObject* type, std::string message) noexcept {
  PyError e;
  e.type_ = type;
  e.message_ = std::move(message);
  return e;
}

PyError PyError::ours_borrowed(PyObject* type, std::string_view text) noexcept {
  PyError e;
  e.type_ = type;
  e.borrowed_ = text.data() != nullptr ? text : std::string_view("", 0);
  return e;
}

PyError PyError::ours(PyObject* type, PyRef message) noexcept {
  PyError e;
  e.type_ = type;
  e.text_ = std::move(message);
  return e;
}

PyError PyError::fetch() noexcept {
  PyObject* raised = PyErr_GetRaisedException();
  if (raised == nullptr) return ours(PyExc_SystemError, "attempted to fetch exception but none was set");
  PyError e;
  e.raised_ = PyRef::steal(raised);
  return e;
}

PyError PyError::from_exception(PyRef exception) noexcept {
  PyError e;
  e.raised_ = std::move(exception);
  return e;
}

PyRef PyError::to_exception() && noexcept {
  if (raised_) return std::move(raised_);
  PyRef text = text_ ? std::move(text_) : new_str(own_text());
  PyRef exception = PyRef::steal(PyObject_CallOneArg(type_, text.get()));
  if (exception) return exception;
  return PyRef::steal(PyErr_GetRaisedException());
}

void PyError::raise() && noexcept {
  if (raised_) {
    PyErr_SetRaisedException(raised_.release());
    return;
  }
  PyRef text = text_ ? std::move(text_) : new_str(own_text());
  PyErr_SetObject(type_, text.get());
}

bool PyError::is_exactly(PyObject* type) const noexcept {
  if (raised_) return reinterpret_cast<PyObject*>(Py_TYPE(raised_.get())) == type;
  return type_ == type;
}

PyRef new_str(std::string_view utf8) noexcept {
  PyObject* s = PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
  if (s == nullptr) {
    PyErr_WriteUnraisable(nullptr);
    fatal("could not create a str");
  }
  return PyRef::steal(s);
}

PyRef new_list_or_die(Py_ssize_t size) noexcept {
  PyObject* list = PyList_New(size);
  if (list == nullptr) {
    PyErr_WriteUnraisable(nullptr);
    fatal("could not create a result list");
  }
  return PyRef::steal(list);
}

PyRef new_int_or_die(uint64_t value) noexcept {
  PyObject* o = PyLong_FromUnsignedLongLong(value);
  if (o == nullptr) {
    PyErr_WriteUnraisable(nullptr);
    fatal("could not create an int");
  }
  return PyRef::steal(o);
}

namespace {

// The qualified name of a type as UTF-8, or the stand-in text when it cannot be read.
std::string qualified_name(PyTypeObject* type) noexcept {
  PyRef name = PyRef::steal(PyType_GetQualName(type));
  if (name) {
    Py_ssize_t n = 0;
    const char* bytes = PyUnicode_Check(name.get()) ? PyUnicode_AsUTF8AndSize(name.get(), &n) : nullptr;
    if (bytes != nullptr) return std::string(bytes, static_cast<size_t>(n));
  }
  PyErr_Clear();
  return "<failed to extract type name>";
}

}  // namespace

std::string type_mismatch_text(PyObject* o, PyTypeObject* target) noexcept {
  if (o == Py_None) return "'None' is not an instance of '" + qualified_name(target) + "'";
  return "'" + qualified_name(Py_TYPE(o)) + "' object is not an instance of '" + qualified_name(target) + "'";
}

PyError argument_extraction_error(std::string_view name, PyError error) noexcept {
  if (!error.is_exactly(PyExc_TypeError)) return error;
  const std::string prefix = "argument '" + std::string(name) + "': ";
  if (!error.raised_) {
    if (!error.text_) return PyError::ours(PyExc_TypeError, prefix + std::string(error.own_text()));
    PyRef text = PyRef::steal(PyUnicode_FromFormat("%s%U", prefix.c_str(), error.text_.get()));
    if (!text) return PyError::fetch();
    return PyError::ours(PyExc_TypeError, std::move(text));
  }
  // An interpreter TypeError: a new TypeError around its str(), taking over its cause.
  PyRef old_text = PyRef::steal(PyObject_Str(error.raised_.get()));
  if (!old_text) return PyError::fetch();
  PyRef text = PyRef::steal(PyUnicode_FromFormat("%s%U", prefix.c_str(), old_text.get()));
  if (!text) return PyError::fetch();
  PyRef replacement = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, text.get()));
  if (!replacement) return PyError::fetch();
  PyException_SetCause(replacement.get(), PyException_GetCause(error.raised_.get()));
  return PyError::from_exception(std::move(replacement));
}

}  // namespace vantorel::py
