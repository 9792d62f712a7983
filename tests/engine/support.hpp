// Helpers for the engine tests: running an element on a text by every road and
// describing the tokens it yields.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "elements/element.hpp"
#include "elements/literals.hpp"
#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"

namespace vantorel::testing {

// The tokens of a result as one readable string: Str tokens quoted, groups in brackets,
// e.g. ['a', ['b', 'c']].
std::string describe(const ParseResults& results);
std::string describe(const Token& token);

// What parse_impl gives at pos with a fresh context: "end=<end> <tokens>" or
// "fail@<pos>: <message>".
std::string parse_at(const ParserElement& e, std::string_view text, uint64_t pos);

// What parse_from_start gives: "<tokens>" or "fail@<pos>: <message>".
std::string parse_start(const ParserElement& e, std::string_view text);

// try_match_at's end, or nullopt for no match.
std::optional<uint64_t> match_at(const ParserElement& e, std::string_view text, uint64_t pos);

// Checks that try_match_at agrees with parse_impl (verdict and end) at pos.
void expect_roads_agree(const ParserElement& e, std::string_view text, uint64_t pos);

// Grammar builders: a Literal, and a combinator of kind T over the given children.
inline ElementRef lit(std::string_view text) { return new_literal_element(text); }
template <class T>
ElementRef over(std::initializer_list<ElementRef> children) {
  return ElementRef::make<T>(std::vector<ElementRef>(children));
}
template <class T, class... Extra>
ElementRef wrap(ElementRef child, Extra... extra) {
  return ElementRef::make<T>(std::move(child), extra...);
}

// A new, unset Forward. A recursive grammar is a cycle of handles that is never freed on
// its own, so every Forward made here is remembered and emptied after the last test, and
// the leak checker of the sanitizer build sees no leak.
ElementRef forward();
// forward_set on a Forward made by forward().
void set_target(const ElementRef& forward, ElementRef target);

// ---- regular expressions ----

// The element a successful make_regex_element built.
inline const RegexElement& regex_of(const RegexBuild& b) { return static_cast<const RegexElement&>(*b.element); }

// The matches of an expression over `text` as "s-e,s-e".
std::string spans_of(const regex::Expression& expression, std::string_view text);

// The matches of the unanchored expression of `pattern`, or "error: <text>".
std::string spans(std::string_view pattern, std::string_view text);

// One line of a table of patterns: the matches on `text`, or an error.
struct RegexCase {
  const char* pattern;
  std::string text;
  const char* expected;  // spans, or "error: <part of the last line>"
};

// Checks every case of the table (an error case: the last line of the error holds the text).
void run_regex_cases(const std::vector<RegexCase>& cases);

}  // namespace vantorel::testing
