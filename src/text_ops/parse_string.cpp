// parse_string: the fast paths of Literal, Keyword, Word, Regex, Suppress, MatchFirst and
// And, and Optional's pre-check; the generic road they stand beside is parse_to_list
// (parse_string.hpp) with outcome_to_list (token_to_py.cpp). The fast paths match the text
// directly and fail with their own fixed texts; where their results differ from the generic
// road (cached strs, matched text for Normal children of And), that difference is intended.
#include "text_ops/parse_string.hpp"

#include <vector>

#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"

namespace vantorel::py {

// ---- Class-specific bodies ----------------------------------------------------------
// Every body starts at p = advance_past_whitespace(0), a character boundary (0, or just
// after an ASCII whitespace byte); text after the match is ignored.

namespace {

// A new one-item list of the str of `bytes`.
PyResult<PyRef> text_list(std::string_view bytes) noexcept {
  PyResult<PyRef> str = new_str(bytes);
  if (!str.ok()) return str;
  return list_of_one(str.take());
}

// The fixed failure texts of the fast paths are constants: nothing is made for them
// before the exception's own str.
PyError fixed_error(std::string_view constant) noexcept { return PyError::ours_borrowed(PyExc_ValueError, constant); }

struct Input {
  const char* text;
  uint64_t n;
  uint64_t p;  // first position after the leading whitespace
};

Input leading_skip(const CallArgs& args) noexcept {
  const std::string_view s = args[0].text;
  return {s.data(), s.size(), advance_past_whitespace(s.data(), s.size(), 0)};
}

}  // namespace

// Literal: a first-byte reject and one block compare at p; the object's cached str on
// success (the same object on every call), a copy of its message on failure.
template <>
PyResult<PyRef> parse_string<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const LiteralObject*>(self);
  const auto& element = static_cast<const LiteralElement&>(*o->element);
  const Input in = leading_skip(args);
  // The message is the object's own, alive for the whole call: the exception's str is the
  // one copy made of it.
  if (!element.match(in.text, in.n, in.p).matched) return PyError::ours_borrowed(PyExc_ValueError, o->message.view());
  return list_of_one(PyRef::borrow(o->cached_str));
}

// Keyword: the keyword's bytes at p and no identifier byte after them.
template <>
PyResult<PyRef> parse_string<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const KeywordObject*>(self);
  const auto& element = static_cast<const KeywordElement&>(*o->element);
  const Input in = leading_skip(args);
  if (!element.match(in.text, in.n, in.p).matched) return fixed_error("Expected keyword");
  return list_of_one(PyRef::borrow(o->cached_str));
}

// Word: bytes tested one at a time against the byte sets (no decoding). A word whose last
// member byte leaves it inside a multi-byte character is extended to the end of that
// character, so the str handed out always holds whole characters.
template <>
PyResult<PyRef> parse_string<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& element = class_element<ClassId::Word>(self);
  const Input in = leading_skip(args);
  if (in.p == in.n || !element.init_set.contains(static_cast<unsigned char>(in.text[in.p]))) {
    return fixed_error("Expected word");
  }
  uint64_t e = in.p + 1;
  while (e < in.n && element.body_set.contains(static_cast<unsigned char>(in.text[e]))) ++e;
  e = next_character_boundary(in.text, in.n, e);
  return text_list(std::string_view(in.text + in.p, e - in.p));
}

// Regex: the anchored expression decides at p, on text[p, n) as a text of its own (so ^ and
// word boundaries see p as its start); the mode shortcuts are not used. A match that would
// end inside a multi-byte character is carried to the end of that character.
template <>
PyResult<PyRef> parse_string<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept {
  const RegexElement& element = class_element<ClassId::Regex>(self);
  const Input in = leading_skip(args);
  uint64_t offset = 0;
  if (!element.anchored->match_prefix(in.text + in.p, in.n - in.p, &offset)) {
    return fixed_error("Expected regex match");
  }
  const uint64_t e = next_character_boundary(in.text, in.n, in.p + offset);
  return text_list(std::string_view(in.text + in.p, e - in.p));
}

// Suppress: the child's try_match_at at p decides; no tokens.
template <>
PyResult<PyRef> parse_string<ClassId::Suppress>(PyObject* self, const CallArgs& args) noexcept {
  const SuppressElement& element = class_element<ClassId::Suppress>(self);
  const Input in = leading_skip(args);
  const Match m = element.expr->try_match_at(in.text, in.n, in.p);
  if (m.matched) return new_list(0);
  if (m.is_too_deep()) return nesting_too_deep_error(in.p);
  return fixed_error("No match (suppressed)");
}

// MatchFirst: each alternative's parse_impl at p; the first success gives the tokens. The
// alternatives' own failures are not reported, except a stack-guard stop, which ends the
// search (a later alternative must not succeed where the generic road fails).
template <>
PyResult<PyRef> parse_string<ClassId::MatchFirst>(PyObject* self, const CallArgs& args) noexcept {
  const MatchFirstElement& element = class_element<ClassId::MatchFirst>(self);
  const Input in = leading_skip(args);
  ParseContext ctx{in.text, in.n, 1};
  FlatResults out;
  for (const ElementRef& alternative : element.exprs) {
    if (alternative->parse_into(ctx, in.p, out).matched) return flat_to_list(out);
    if (out.failed_too_deep()) return parse_exception(out.error());
  }
  return fixed_error("No match found");
}

// And: the children in order, each after the whitespace child_start skips before it. Group
// and Complex children are parsed and give their tokens; a Normal child gives the input's
// matched bytes as one str (nothing when zero-width); a Suppress child gives nothing. After
// each child a position inside a multi-byte character is carried to the end of that
// character (a Normal child's str includes the rest of it), so every str cut here holds
// whole characters and the next child starts on a character boundary.
template <>
PyResult<PyRef> parse_string<ClassId::And>(PyObject* self, const CallArgs& args) noexcept {
  const AndElement& element = class_element<ClassId::And>(self);
  if (element.exprs.empty()) return new_list(0);
  const Input in = leading_skip(args);
  ParseContext ctx{in.text, in.n, 1};
  FlatResults out;               // the tokens of one parsed child at a time
  std::vector<PyRef> collected;  // released on every failure path with this frame
  collected.reserve(element.exprs.size());
  uint64_t p = in.p;
  for (const ElementRef& child : element.exprs) {
    p = child_start(ctx, *child, p);
    const ElementKind kind = child->kind();
    if (kind == ElementKind::Group || kind == ElementKind::Complex) {
      const Match m = child->parse_into(ctx, p, out);
      if (!m.matched) return parse_exception(out.error());
      for (uint64_t i = 0; i < out.size();) {
        PyResult<PyRef> item = flat_token_to_py(out, i);
        if (!item.ok()) return item.take_error();
        collected.push_back(item.take());
      }
      out.clear();
      p = next_character_boundary(in.text, in.n, m.end);
      continue;
    }
    const Match m = child->try_match_at(in.text, in.n, p);
    if (!m.matched) {
      if (m.is_too_deep()) return nesting_too_deep_error(p);
      return fixed_error("Expected match");
    }
    const uint64_t e = next_character_boundary(in.text, in.n, m.end);
    if (kind == ElementKind::Normal && e > p) {
      PyResult<PyRef> str = new_str(std::string_view(in.text + p, e - p));
      if (!str.ok()) return str;
      collected.push_back(str.take());
    }
    p = e;
  }
  return list_of(collected);
}

// Optional: the child's try_match_at at p first. No match or a zero-width one gives an
// empty list without parsing; otherwise the generic road. A stack-guard stop also takes
// the generic road, which reports it instead of answering with an empty list.
template <>
PyResult<PyRef> parse_string<ClassId::Optional>(PyObject* self, const CallArgs& args) noexcept {
  const OptionalElement& element = class_element<ClassId::Optional>(self);
  const Input in = leading_skip(args);
  const Match m = element.expr->try_match_at(in.text, in.n, in.p);
  if (!m.is_too_deep() && (!m.matched || m.end == in.p)) return new_list(0);
  return parse_to_list(element, args[0].text);
}

}  // namespace vantorel::py
