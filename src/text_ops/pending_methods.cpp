// The bodies of the methods whose operations are still to be written. Each operation
// replaces its entry in method_body (construction/methods.hpp) when it lands.
#include <string>

#include "construction/methods.hpp"

namespace vantorel::py {

namespace {

constexpr const char* method_name(MethodId m) noexcept {
  switch (m) {
    case MethodId::ParseString: return "parse_string";
    case MethodId::Matches: return "matches";
    case MethodId::SearchString: return "search_string";
    case MethodId::SearchStringCount: return "search_string_count";
    case MethodId::TransformString: return "transform_string";
    case MethodId::ParseBatch: return "parse_batch";
    case MethodId::ParseBatchCount: return "parse_batch_count";
    case MethodId::SearchStringFlat: return "_search_string_flat";
    case MethodId::Set: return "set";
  }
  return "";
}

}  // namespace

template <MethodId M>
PyResult<PyRef> pending_method(PyObject* self, const CallArgs& /*args*/) noexcept {
  std::string text = Py_TYPE(self)->tp_name;
  if (text.rfind("builtins.", 0) == 0) text.erase(0, 9);
  text += ".";
  text += method_name(M);
  text += "() is not implemented yet";
  return PyError::ours(PyExc_NotImplementedError, std::move(text));
}

template PyResult<PyRef> pending_method<MethodId::Matches>(PyObject*, const CallArgs&) noexcept;
template PyResult<PyRef> pending_method<MethodId::SearchString>(PyObject*, const CallArgs&) noexcept;
template PyResult<PyRef> pending_method<MethodId::SearchStringCount>(PyObject*, const CallArgs&) noexcept;
template PyResult<PyRef> pending_method<MethodId::TransformString>(PyObject*, const CallArgs&) noexcept;
template PyResult<PyRef> pending_method<MethodId::ParseBatch>(PyObject*, const CallArgs&) noexcept;
template PyResult<PyRef> pending_method<MethodId::ParseBatchCount>(PyObject*, const CallArgs&) noexcept;
template PyResult<PyRef> pending_method<MethodId::SearchStringFlat>(PyObject*, const CallArgs&) noexcept;

}  // namespace vantorel::py
