// Token conversion: one Python object per token and per group, lists made at their final
// length and filled in place; and the text of a failed parse.
#include "text_ops/token_to_py.hpp"

#include <string>

namespace vantorel::py {

PyResult<PyRef> token_to_py(const Token& token) noexcept {
  if (token.is_str()) return new_str(token.text());
  return tokens_to_list(token.items());
}

PyResult<PyRef> tokens_to_list(std::span<const Token> tokens) noexcept {
  PyResult<PyRef> list = new_list(tokens.size());
  if (!list.ok()) return list;
  for (size_t i = 0; i < tokens.size(); ++i) {
    PyResult<PyRef> item = token_to_py(tokens[i]);
    if (!item.ok()) return item;  // `list` releases what it holds
    PyList_SET_ITEM(list.value().get(), static_cast<Py_ssize_t>(i), item.take().release());
  }
  return list;
}

PyResult<bool> append_tokens(const ParseResults& results, std::vector<PyRef>& out) noexcept {
  for (const Token& token : results) {
    PyResult<PyRef> item = token_to_py(token);
    if (!item.ok()) return item.take_error();
    out.push_back(item.take());
  }
  return true;
}

PyError parse_exception(uint64_t position, std::string_view message) noexcept {
  std::string text = "ParseException at position " + std::to_string(position) + ": ";
  text.append(message);
  return PyError::ours(PyExc_ValueError, std::move(text));
}

PyError nesting_too_deep_error(uint64_t position) noexcept {
  return parse_exception(position, kNestingTooDeepMessage);
}

PyResult<PyRef> outcome_to_list(StartOutcome outcome) noexcept {
  if (!outcome.ok) return parse_exception(outcome.error.position, outcome.error.message.view());
  return results_to_list(outcome.results);
}

}  // namespace vantorel::py
