// matches(s) of every class: True or False for one text, by the class's own match rule run
// directly on the UTF-8 bytes (no tokens, no results, no Python objects but the answer).
#pragma once

#include <cstdint>

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

// How matches decides for a class.
enum class MatchRule : uint8_t {
  Full,         // skip leading whitespace, match there, only whitespace may follow
  Prefix,       // match at byte 0, whatever follows
  AlwaysTrue,   // the rule at byte 0 always matches
  AlwaysFalse,  // the rule never matches
};

// The rule of class C: the full match, unless C is listed below.
template <ClassId C>
inline constexpr MatchRule kMatchRule = MatchRule::Full;
template <> inline constexpr MatchRule kMatchRule<ClassId::CaselessLiteral> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::CaselessKeyword> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::Char> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::OneOrMore> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::Combine> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::SkipTo> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::LineEnd> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::StringEnd> = MatchRule::Prefix;
template <> inline constexpr MatchRule kMatchRule<ClassId::Empty> = MatchRule::AlwaysTrue;
template <> inline constexpr MatchRule kMatchRule<ClassId::StringStart> = MatchRule::AlwaysTrue;
template <> inline constexpr MatchRule kMatchRule<ClassId::LineStart> = MatchRule::AlwaysTrue;
template <> inline constexpr MatchRule kMatchRule<ClassId::ZeroOrMore> = MatchRule::AlwaysTrue;
template <> inline constexpr MatchRule kMatchRule<ClassId::rest_of_line> = MatchRule::AlwaysTrue;
template <> inline constexpr MatchRule kMatchRule<ClassId::NoMatch> = MatchRule::AlwaysFalse;

// The matches body of class C: C's try_match_at (a qualified call on the final element type,
// so the leaf matchers inline) under kMatchRule<C>, or the answer at once where the rule at
// byte 0 cannot depend on the text. It answers with a new reference to Py_True or Py_False
// and raises nothing for a failed match; only a match stopped by the stack guard raises
// nesting_too_deep_error.
//
// Positions: the full-match rule starts after the leading whitespace, which is a character
// boundary; children that the rule runs at ends inside a character (a Char of a character
// beyond ASCII, say) follow their own kinds' rules there, and no str is ever made, so no
// verdict depends on more than those rules.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> matches(PyObject* self, const CallArgs& args) noexcept {
  constexpr MatchRule rule = kMatchRule<C>;
  if constexpr (rule == MatchRule::AlwaysTrue || rule == MatchRule::AlwaysFalse) {
    return PyRef::borrow(rule == MatchRule::AlwaysTrue ? Py_True : Py_False);
  } else {
    using E = typename ElementOf<C>::type;
    const E& element = class_element<C>(self);
    const char* text = args[0].text.data();
    const uint64_t n = args[0].text.size();
    const uint64_t p = rule == MatchRule::Full ? advance_past_whitespace(text, n, 0) : 0;
    // For Forward this takes and releases the read lock around the target's match, before
    // the trailing test below.
    const Match m = element.E::try_match_at(text, n, p);
    // A stopped match decides nothing: False would claim that a text the grammar may well
    // cover does not match.
    if (m.is_too_deep()) return nesting_too_deep_error(p);
    const bool yes = m.matched && (rule == MatchRule::Prefix || advance_past_whitespace(text, n, m.end) == n);
    return PyRef::borrow(yes ? Py_True : Py_False);
  }
}

}  // namespace vantorel::py
