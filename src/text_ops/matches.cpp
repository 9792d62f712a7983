// matches: one body per class, each running its class's try_match_at rule directly (a
// qualified call on the final element type, so the leaf matchers inline) under one of two
// rules, or answering at once where the rule at byte 0 cannot depend on the text.
#include "text_ops/matches.hpp"

#include <cstdint>

#include "elements/element.hpp"
#include "text_ops/class_element.hpp"
#include "text_ops/nesting_error.hpp"

namespace vantorel::py {

namespace {

enum class Rule : uint8_t {
  Full,         // skip leading whitespace, match there, only whitespace may follow
  Prefix,       // match at byte 0, whatever follows
  AlwaysTrue,   // the rule at byte 0 always matches
  AlwaysFalse,  // the rule never matches
};

constexpr Rule rule_of(ClassId cls) noexcept {
  switch (cls) {
    case ClassId::Literal:
    case ClassId::Keyword:
    case ClassId::Word:
    case ClassId::QuotedString:
    case ClassId::Regex:
    case ClassId::And:
    case ClassId::MatchFirst:
    case ClassId::Optional:
    case ClassId::Group:
    case ClassId::Suppress:
    case ClassId::Exactly:
    case ClassId::Forward: return Rule::Full;
    case ClassId::CaselessLiteral:
    case ClassId::CaselessKeyword:
    case ClassId::Char:
    case ClassId::OneOrMore:
    case ClassId::Combine:
    case ClassId::SkipTo:
    case ClassId::LineEnd:
    case ClassId::StringEnd: return Rule::Prefix;
    case ClassId::Empty:
    case ClassId::StringStart:
    case ClassId::LineStart:
    case ClassId::ZeroOrMore:
    case ClassId::rest_of_line: return Rule::AlwaysTrue;
    case ClassId::NoMatch: return Rule::AlwaysFalse;
  }
  return Rule::AlwaysFalse;
}

PyResult<PyRef> answer(bool yes) noexcept { return PyRef::borrow(yes ? Py_True : Py_False); }

bool only_whitespace_after(const char* text, uint64_t n, uint64_t end) noexcept {
  return advance_past_whitespace(text, n, end) == n;
}

}  // namespace

// Positions: the full-match rule starts after the leading whitespace, which is a character
// boundary; children that the rule runs at ends inside a character (a Char of a character
// beyond ASCII, say) follow their own kinds' rules there, and no str is ever made, so no
// verdict depends on more than those rules.
template <ClassId C>
PyResult<PyRef> class_matches(PyObject* self, const CallArgs& args) noexcept {
  constexpr Rule rule = rule_of(C);
  if constexpr (rule == Rule::AlwaysTrue) {
    return answer(true);
  } else if constexpr (rule == Rule::AlwaysFalse) {
    return answer(false);
  } else {
    using E = typename ElementOf<C>::type;
    const E& element = class_element<C>(self);
    const char* text = args[0].text.data();
    const uint64_t n = args[0].text.size();
    const uint64_t p = rule == Rule::Full ? advance_past_whitespace(text, n, 0) : 0;
    // For Forward this takes and releases the read lock around the target's match, before
    // the trailing test below.
    const Match m = element.E::try_match_at(text, n, p);
    if (!m.matched) {
      // A stopped match decides nothing: False would claim that a text the grammar may
      // well cover does not match.
      if (m.is_too_deep()) return nesting_too_deep_error(p);
      return answer(false);
    }
    if constexpr (rule == Rule::Prefix) {
      return answer(true);
    } else {
      return answer(only_whitespace_after(text, n, m.end));
    }
  }
}

#define VANTOREL_INSTANTIATE_MATCHES(Name, Element) \
  template PyResult<PyRef> class_matches<ClassId::Name>(PyObject*, const CallArgs&) noexcept;
VANTOREL_ELEMENT_CLASSES(VANTOREL_INSTANTIATE_MATCHES)
#undef VANTOREL_INSTANTIATE_MATCHES

}  // namespace vantorel::py
