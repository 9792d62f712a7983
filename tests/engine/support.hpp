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

// The tokens of a flat-road result, as describe gives them for the plain road.
std::string describe(const FlatResults& results);
// What parse_into gives at pos with a fresh context, in parse_at's form. Also checks the
// flat road's own rules: the context flag is restored and a failure leaves no entry.
std::string parse_into_at(const ParserElement& e, std::string_view text, uint64_t pos);
// What parse_from_start_into gives for an element of kind E, in parse_start's form.
template <class E = ParserElement>
std::string parse_start_into(const E& e, std::string_view text) {
  FlatResults out;
  if (!parse_from_start_into(e, text.data(), text.size(), out).matched) {
    return "fail@" + std::to_string(out.error().position) + ": " + std::string(out.error().message);
  }
  return describe(out);
}

// try_match_at's end, or nullopt for no match.
std::optional<uint64_t> match_at(const ParserElement& e, std::string_view text, uint64_t pos);

// Checks that try_match_at agrees with parse_impl (verdict and end) at pos, and that
// parse_into gives exactly what parse_impl gives.
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

}  // namespace vantorel::testing
