// Constructors of the leaf classes: every field of the element is computed once, here,
// by the engine's factories; the instance then holds the element (and, for Literal and
// Keyword, a str of its text; for Literal its message).
#include "construction/constructors.hpp"

#include <new>

#include "construction/element_object.hpp"
#include "elements/chars.hpp"
#include "elements/literals.hpp"

namespace vantorel::py {

PyResult<PyRef> literal_new(PyTypeObject* type, const CallArgs& args) noexcept {
  const std::string_view s = args[0].text;
  PyResult<OwnedText> message = make_owned_text(literal_message(s));
  if (!message.ok()) return message.take_error();
  ElementRef element = new_literal_element(s);
  PyResult<PyRef> cached = new_str(s);
  PyResult<PyRef> made = cached.ok() ? new_instance_from_base(type) : cached.take_error();
  if (!made.ok()) {
    free_owned_text(message.value());
    return made;  // `cached` and `element` are released on the way out
  }
  auto* o = reinterpret_cast<LiteralObject*>(made.value().get());
  o->message = message.value();
  new (&o->element) ElementRef(std::move(element));
  o->cached_str = cached.take().release();
  new (&o->borrow_counter) std::atomic<int64_t>(0);
  return made;
}

PyResult<PyRef> keyword_new(PyTypeObject* type, const CallArgs& args) noexcept {
  const std::string_view s = args[0].text;
  ElementRef element = new_keyword_element(s);
  PyResult<PyRef> cached = new_str(s);
  if (!cached.ok()) return cached;
  PyResult<PyRef> made = new_instance_from_base(type);
  if (!made.ok()) return made;  // `cached` and `element` are released on the way out
  auto* o = reinterpret_cast<KeywordObject*>(made.value().get());
  new (&o->element) ElementRef(std::move(element));
  o->cached_str = cached.take().release();
  new (&o->borrow_counter) std::atomic<int64_t>(0);
  return made;
}

PyResult<PyRef> caseless_literal_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return new_element_object(type, new_caseless_literal_element(args[0].text));
}

PyResult<PyRef> caseless_keyword_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return new_element_object(type, new_caseless_keyword_element(args[0].text));
}

PyResult<PyRef> char_new(PyTypeObject* type, const CallArgs& args) noexcept {
  return new_element_object(type, new_char_element(args[0].text));
}

PyResult<PyRef> word_new(PyTypeObject* type, const CallArgs& args) noexcept {
  // body_chars absent or None: the body set is the initial set.
  const std::string_view body = args[1].text;
  return new_element_object(type, new_word_element(args[0].text, args[1].given() ? &body : nullptr));
}

PyResult<PyRef> quoted_string_new(PyTypeObject* type, const CallArgs& args) noexcept {
  // esc_char absent or None: no escape character (an empty one is none as well).
  const std::string_view escape = args[1].text;
  return new_element_object(type, new_quoted_string_element(args[0].text, args[1].given() ? &escape : nullptr,
                                                            args[2].flag, args[3].flag));
}

}  // namespace vantorel::py
