// The constructor bodies (tp_new, run inside the constructor frame): each builds the
// element from the converted arguments and returns a new instance of the class called.
#pragma once

#include "construction/call_frame.hpp"

namespace vantorel::py {

// The leaf classes (constructors.cpp).
[[nodiscard]] PyResult<PyRef> literal_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> caseless_literal_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> keyword_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> caseless_keyword_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> word_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> char_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> quoted_string_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> rest_of_line_new(PyTypeObject* type, const CallArgs& args) noexcept;
// Empty, NoMatch, LineStart, LineEnd, StringStart, StringEnd: an element without fields.
template <class E>
[[nodiscard]] PyResult<PyRef> fieldless_new(PyTypeObject* type, const CallArgs& args) noexcept;

// Regex (regex_constructor.cpp).
[[nodiscard]] PyResult<PyRef> regex_new(PyTypeObject* type, const CallArgs& args) noexcept;

// The combinators (combinators.cpp): MatchFirst(exprs); the seven one-child classes
// (expr); Exactly(expr, count); Forward().
[[nodiscard]] PyResult<PyRef> match_first_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> optional_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> zero_or_more_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> one_or_more_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> group_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> suppress_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> combine_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> skip_to_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> exactly_new(PyTypeObject* type, const CallArgs& args) noexcept;
[[nodiscard]] PyResult<PyRef> forward_new(PyTypeObject* type, const CallArgs& args) noexcept;

}  // namespace vantorel::py
