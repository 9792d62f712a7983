// Errors at the Python boundary: making, converting and raising them.
#include "construction/py_error.hpp"


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

PyError PyError::no_memory() noexcept {
  PyErr_NoMemory();
  return fetch();
}

PyError PyError::from_exception(PyRef exception) noexcept {
  PyError e;
  e.raised_ = std::move(exception);
  return e;
}

PyRef PyError::to_exception() && noexcept {
  if (raised_) return std::move(raised_);
  PyResult<PyRef> text = own_str();
  if (text.ok()) {
    PyRef exception = PyRef::steal(PyObject_CallOneArg(type_, text.value().get()));
    if (exception) return exception;
  }
  return PyRef::steal(PyErr_GetRaisedException());
}

void PyError::raise() && noexcept {
  if (raised_) {
    PyErr_SetRaisedException(raised_.release());
    return;
  }
  // When the text cannot be made, the interpreter's error (MemoryError) stays set instead.
  PyResult<PyRef> text = own_str();
  if (text.ok()) PyErr_SetObject(type_, text.value().get());
}

PyResult<PyRef> PyError::own_str() noexcept {
  if (text_) return std::move(text_);
  return new_str(own_text());
}

bool PyError::is_exactly(PyObject* type) const noexcept {
  if (raised_) return reinterpret_cast<PyObject*>(Py_TYPE(raised_.get())) == type;
  return type_ == type;
}

PyResult<PyRef> list_of(std::span<PyRef> items) noexcept {
  PyResult<PyRef> list = new_list(items.size());
  if (!list.ok()) return list;
  for (size_t i = 0; i < items.size(); ++i) {
    PyList_SET_ITEM(list.value().get(), static_cast<Py_ssize_t>(i), items[i].release());
  }
  return list;
}

PyResult<PyRef> repeat_list(PyRef list, size_t times) noexcept {
  if (times == 1) return list;
  PyRef repeated = PyRef::steal(PySequence_Repeat(list.get(), static_cast<Py_ssize_t>(times)));
  if (!repeated) return PyError::fetch();
  return repeated;
}

PyResult<PyRef> new_int(uint64_t value) noexcept {
  PyObject* o = PyLong_FromUnsignedLongLong(value);
  if (o == nullptr) return PyError::fetch();
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
