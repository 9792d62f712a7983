// The module's entry point and start-up: the definition handed to the interpreter, and the
// execution slot that adds the 26 classes, the 8 functions and __version__, recording every
// name in __all__.
#include <string_view>

#include "construction/element_object.hpp"
#include "construction/module_functions.hpp"
#include "construction/py_error.hpp"
#include "elements/fatal.hpp"
#include "lib/classes.hpp"

namespace vantorel::py {

namespace {

// The one step by which a public name is added: appended to __all__ (made on first use),
// then set as an attribute. `all_name` is the str "__all__", made by each run of the
// execution slot (the module keeps no process-wide object that threads would have to
// make once).
PyResult<bool> module_add(PyObject* module, PyObject* all_name, PyObject* name, PyObject* value) noexcept {
  PyRef all = PyRef::steal(PyObject_GetAttr(module, all_name));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return PyError::fetch();
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all) return PyError::fetch();
    if (PyObject_SetAttr(module, all_name, all.get()) < 0) return PyError::fetch();
  }
  // A module made by module_from_spec can be given any __all__ before it runs this slot:
  // one that is not a list fails the import instead of failing the append.
  if (!PyList_Check(all.get())) {
    return PyError::ours(PyExc_TypeError, type_mismatch_text(all.get(), &PyList_Type));
  }
  VANTOREL_CHECK(PyList_Append(all.get(), name) == 0, "could not append __name__ to __all__");
  if (PyObject_SetAttr(module, name, value) < 0) return PyError::fetch();
  return true;
}

PyResult<PyRef> new_module_function(PyObject* module, PyMethodDef* def) noexcept {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return PyError::fetch();
  PyRef function = PyRef::steal(PyCMethod_New(def, module, module_name.get(), nullptr));
  if (!function) return PyError::fetch();
  return function;
}

PyResult<bool> module_add_function(PyObject* module, PyObject* all_name, PyRef function) noexcept {
  PyRef name = PyRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return PyError::fetch();
  if (!PyUnicode_Check(name.get())) {
    return PyError::ours(PyExc_TypeError, type_mismatch_text(name.get(), &PyUnicode_Type));
  }
  return module_add(module, all_name, name.get(), function.get());
}

// The steps of the execution slot; a name or value the interpreter cannot make fails the
// import with its error.
PyResult<bool> add_everything(PyObject* module) noexcept {
  PyResult<PyRef> all_name = new_str("__all__");
  if (!all_name.ok()) return all_name.take_error();
  auto add = [&](std::string_view name, PyObject* value) -> PyResult<bool> {
    PyResult<PyRef> name_str = new_str(name);
    if (!name_str.ok()) return name_str.take_error();
    return module_add(module, all_name.value().get(), name_str.value().get(), value);
  };
  for (ClassId cls : kModuleOrder) {
    PyResult<PyTypeObject*> type = type_object(cls);
    if (!type.ok()) return type.take_error();
    PyResult<bool> added = add(class_name(cls), reinterpret_cast<PyObject*>(type.value()));
    if (!added.ok()) return added;
  }
  for (PyMethodDef& def : module_function_defs()) {
    PyResult<PyRef> function = new_module_function(module, &def);
    if (!function.ok()) return function.take_error();
    PyResult<bool> added = module_add_function(module, all_name.value().get(), function.take());
    if (!added.ok()) return added;
  }
  PyResult<PyRef> version = new_str("0.2.0");
  if (!version.ok()) return version.take_error();
  return add("__version__", version.value().get());
}

int module_exec(PyObject* module) noexcept {
  PyResult<bool> done = add_everything(module);
  if (done.ok()) return 0;
  done.take_error().raise();
  return -1;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef g_module = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "vantorel",
    .m_doc = "vantorel module",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = g_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

}  // namespace vantorel::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_vantorel() {
  return PyModuleDef_Init(&vantorel::py::g_module);
}
