// parse_string: the generic road shared by most classes, and right below it the bodies of
// the classes with a fast path of their own (Literal, Keyword, Word, Regex, Suppress,
// MatchFirst, And) and Optional's pre-check. The fast paths match the text directly and
// fail with their own fixed texts; where their results differ from the generic road
// (cached strs, matched text for Normal children of And), that difference is intended.
#include "text_ops/parse_string.hpp"

#include <string>
#include <vector>

#include "elements/fatal.hpp"
#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

namespace {

PyError positioned_error(const FlatError& error) noexcept {
  std::string text = "ParseException at position " + std::to_string(error.position) + ": ";
  text.append(error.message);
  return PyError::ours(PyExc_ValueError, std::move(text));
}

}  // namespace

PyResult<PyRef> outcome_to_list(Match m, const FlatResults& out) noexcept {
  if (!m.matched) return positioned_error(out.error());
  return flat_to_list(out);
}

// ---- Class-specific bodies ----------------------------------------------------------
// Every body starts at p = advance_past_whitespace(0), a character boundary (0, or just
// after an ASCII whitespace byte); text after the match is ignored.

namespace {

// A new list holding `items` (moved in), or an empty one. The interpreter failing to make
// these small lists (exhausted memory) ends the process.
PyRef small_list(PyRef item = PyRef()) noexcept {
  PyRef list = new_list_or_die(item ? 1 : 0);
  if (item) PyList_SET_ITEM(list.get(), 0, item.release());
  return list;
}

// A stack-guard stop seen through try_match_at is final and is reported as what it is, at
// the position where the child was run, not as an ordinary miss: a road that stopped for
// want of stack never answers differently from one that had enough.
PyError too_deep_error(uint64_t position) noexcept { return positioned_error(FlatError{kNestingTooDeepMessage, position}); }

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
PyResult<PyRef> literal_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const LiteralObject*>(self);
  const auto& element = static_cast<const LiteralElement&>(*o->element);
  const Input in = leading_skip(args);
  // The message is the object's own, alive for the whole call: the exception's str is the
  // one copy made of it.
  if (!element.match(in.text, in.n, in.p).matched) return PyError::ours_borrowed(PyExc_ValueError, o->message.view());
  return small_list(PyRef::borrow(o->cached_str));
}

// Keyword: the keyword's bytes at p and no identifier byte after them.
PyResult<PyRef> keyword_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const KeywordObject*>(self);
  const auto& element = static_cast<const KeywordElement&>(*o->element);
  const Input in = leading_skip(args);
  if (!element.match(in.text, in.n, in.p).matched) return fixed_error("Expected keyword");
  return small_list(PyRef::borrow(o->cached_str));
}

// Word: bytes tested one at a time against the byte sets (no decoding). A word whose last
// member byte leaves it inside a multi-byte character is extended to the end of that
// character, so the str handed out always holds whole characters.
PyResult<PyRef> word_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const WordElement&>(*element_of(self));
  const Input in = leading_skip(args);
  if (in.p == in.n || !element.init_set.contains(static_cast<unsigned char>(in.text[in.p]))) {
    return fixed_error("Expected word");
  }
  uint64_t e = in.p + 1;
  while (e < in.n && element.body_set.contains(static_cast<unsigned char>(in.text[e]))) ++e;
  e = next_character_boundary(in.text, in.n, e);
  return small_list(new_str(std::string_view(in.text + in.p, e - in.p)));
}

// Regex: the anchored expression decides at p, on text[p, n) as a text of its own (so ^ and
// word boundaries see p as its start); the mode shortcuts are not used. A match that would
// end inside a multi-byte character is carried to the end of that character.
PyResult<PyRef> regex_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const RegexElement&>(*element_of(self));
  const Input in = leading_skip(args);
  uint64_t offset = 0;
  if (!element.anchored->match_prefix(in.text + in.p, in.n - in.p, &offset)) {
    return fixed_error("Expected regex match");
  }
  const uint64_t e = next_character_boundary(in.text, in.n, in.p + offset);
  return small_list(new_str(std::string_view(in.text + in.p, e - in.p)));
}

// Suppress: the child's try_match_at at p decides; no tokens.
PyResult<PyRef> suppress_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const SuppressElement&>(*element_of(self));
  const Input in = leading_skip(args);
  const Match m = element.expr->try_match_at(in.text, in.n, in.p);
  if (m.matched) return small_list();
  if (m.is_too_deep()) return too_deep_error(in.p);
  return fixed_error("No match (suppressed)");
}

// MatchFirst: each alternative's parse_impl at p; the first success gives the tokens. The
// alternatives' own failures are not reported, except a stack-guard stop, which ends the
// search (a later alternative must not succeed where the generic road fails).
PyResult<PyRef> match_first_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const MatchFirstElement&>(*element_of(self));
  const Input in = leading_skip(args);
  ParseContext ctx{in.text, in.n, 1};
  FlatResults out;
  for (const ElementRef& alternative : element.exprs) {
    if (alternative->parse_into(ctx, in.p, out).matched) return flat_to_list(out);
    if (out.failed_too_deep()) return positioned_error(out.error());
  }
  return fixed_error("No match found");
}

// And: the children in order by rule W. Group and Complex children are parsed and give
// their tokens; a Normal child gives the input's matched bytes as one str (nothing when
// zero-width); a Suppress child gives nothing. After each child a position inside a
// multi-byte character is carried to the end of that character (a Normal child's str
// includes the rest of it), so every str cut here holds whole characters and the next
// child starts on a character boundary.
PyResult<PyRef> and_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const AndElement&>(*element_of(self));
  if (element.exprs.empty()) return small_list();
  const Input in = leading_skip(args);
  ParseContext ctx{in.text, in.n, 1};
  FlatResults out;               // the tokens of one parsed child at a time
  std::vector<PyRef> collected;  // released on every failure path with this frame
  collected.reserve(element.exprs.size());
  uint64_t p = in.p;
  for (const ElementRef& child : element.exprs) {
    if (child->skips_whitespace()) p = advance_past_whitespace(in.text, in.n, p);
    const ElementKind kind = child->kind();
    if (kind == ElementKind::Group || kind == ElementKind::Complex) {
      const Match m = child->parse_into(ctx, p, out);
      if (!m.matched) return positioned_error(out.error());
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
      if (m.is_too_deep()) return too_deep_error(p);
      return fixed_error("Expected match");
    }
    const uint64_t e = next_character_boundary(in.text, in.n, m.end);
    if (kind == ElementKind::Normal && e > p) collected.push_back(new_str(std::string_view(in.text + p, e - p)));
    p = e;
  }
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(collected.size())));
  if (!list) return PyError::fetch();
  for (size_t i = 0; i < collected.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), collected[i].release());
  }
  return list;
}

// Optional: the child's try_match_at at p first. No match or a zero-width one gives an
// empty list without parsing; otherwise the generic road. A stack-guard stop also takes
// the generic road, which reports it instead of answering with an empty list.
PyResult<PyRef> optional_parse_string(PyObject* self, const CallArgs& args) noexcept {
  const auto& element = static_cast<const OptionalElement&>(*element_of(self));
  const Input in = leading_skip(args);
  const Match m = element.expr->try_match_at(in.text, in.n, in.p);
  if (!m.is_too_deep() && (!m.matched || m.end == in.p)) return small_list();
  return parse_to_list(element, args[0].text);
}

}  // namespace vantorel::py
