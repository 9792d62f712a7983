// Token conversion: one Python object per token and per group, lists made at their final
// length and filled in place.
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

PyResult<PyRef> token_to_py(const Token& token) noexcept {
  if (token.is_str()) return new_str(token.text());
  const auto items = token.items();
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return PyError::fetch();
  for (size_t i = 0; i < items.size(); ++i) {
    PyResult<PyRef> item = token_to_py(items[i]);
    if (!item.ok()) return item.take_error();  // `list` releases what it holds
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.value().release());
  }
  return list;
}

}  // namespace vantorel::py
