// Regex(pattern): the element from make_regex_element, or the library's error text as a
// ValueError with exactly that text.
#include "construction/constructors.hpp"
#include "elements/regex_element.hpp"

namespace vantorel::py {

PyResult<PyRef> regex_new(PyTypeObject* type, const CallArgs& args) noexcept {
  RegexBuild built = make_regex_element(args[0].text);
  if (!built.element) {
    // The text is the library's and quotes the pattern; should it ever hold bytes that are
    // not UTF-8, they are shown as escapes instead of failing to make the message.
    PyRef text = PyRef::steal(
        PyUnicode_DecodeUTF8(built.error.data(), static_cast<Py_ssize_t>(built.error.size()), "backslashreplace"));
    if (!text) return PyError::fetch();
    return PyError::ours(PyExc_ValueError, std::move(text));
  }
  return new_element_object(type, std::move(built.element));
}

}  // namespace vantorel::py
