// parse_string: the generic road shared by most classes, and the bodies of the classes
// that are to have fast paths of their own.
#include "text_ops/parse_string.hpp"

#include <string>

#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

PyResult<PyRef> outcome_to_list(StartOutcome outcome) noexcept {
  if (!outcome.ok) {
    std::string text = "ParseException at position " + std::to_string(outcome.error.position) + ": ";
    text.append(outcome.error.message.view());
    return PyError::ours(PyExc_ValueError, std::move(text));
  }
  const ParseResults& results = outcome.results;
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(results.size())));
  if (!list) return PyError::fetch();
  for (uint64_t i = 0; i < results.size(); ++i) {
    PyResult<PyRef> item = token_to_py(results[i]);
    if (!item.ok()) return item.take_error();
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.value().release());
  }
  return list;
}

// ---- Class-specific bodies ----------------------------------------------------------
// These take the generic road until their fast paths are written here, right below it.

PyResult<PyRef> literal_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return generic_parse_string<LiteralElement>(self, args);
}

PyResult<PyRef> keyword_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return generic_parse_string<KeywordElement>(self, args);
}

PyResult<PyRef> word_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return generic_parse_string<WordElement>(self, args);
}

PyResult<PyRef> regex_parse_string(PyObject* /*self*/, const CallArgs& /*args*/) noexcept {
  return PyError::ours(PyExc_NotImplementedError, "Regex.parse_string() is not implemented yet");
}

PyResult<PyRef> suppress_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return generic_parse_string<SuppressElement>(self, args);
}

PyResult<PyRef> match_first_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return generic_parse_string<MatchFirstElement>(self, args);
}

PyResult<PyRef> and_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return generic_parse_string<AndElement>(self, args);
}

PyResult<PyRef> optional_parse_string(PyObject* self, const CallArgs& args) noexcept {
  return generic_parse_string<OptionalElement>(self, args);
}

}  // namespace vantorel::py
