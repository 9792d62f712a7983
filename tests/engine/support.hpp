// Helpers for the engine tests: running an element on a text by every road (check_roads,
// with the departures between the roads listed once, in support.cpp), describing the tokens
// it yields, grammar builders, the small grammars and short texts of the exhaustive tests,
// and the tables of regular-expression matches.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <random>
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

// ---- Roads ------------------------------------------------------------------------------

// The ways in which try_match_at may end elsewhere than parse_impl. Each is one row of the
// departure table in support.cpp, which says for which kind it holds, what differs, and on
// which texts it can show.
enum class Departure : uint8_t {
  None,
  WordBytes,           // Word: bytes one by one against characters U+0080..U+00FF
  CharBytes,           // Char: one byte against a whole character
  ZeroWidthFirst,      // OneOrMore: a zero-width first repetition
  RegexWhitespaceRun,  // Regex \s+ and \s*: the byte scan without the vertical tab
};

// True when the roads may differ on `text` under departure d (never for None).
[[nodiscard]] bool may_depart(Departure d, std::string_view text);

// One line of a road table: the element, the text and position, what parse_impl gives
// there (parse_at's description) and, for a case on which the roads differ, the departure
// and what try_match_at gives instead: "end=<end>" or "none".
struct RoadCase {
  const char* name;
  ElementRef element;
  std::string text;
  uint64_t pos;
  std::string parse;
  Departure departure = Departure::None;
  std::string match = {};
};

// Checks one case on every road: parse_impl gives `parse`; parse_into gives exactly the same;
// try_match_at gives parse_impl's verdict and end, or, for a departure that may show on the
// text, `match`; and where pos is the position parse_from_start starts at (after the leading
// whitespace when the element skips it, else 0), parse_from_start and its flat form give
// parse_impl's tokens or failure.
void check_roads(const RoadCase& c);

// check_roads without an expectation: the roads agree at pos (try_match_at with parse_impl,
// parse_into with parse_impl).
void expect_roads_agree(const ParserElement& e, std::string_view text, uint64_t pos);

// ---- Grammars -----------------------------------------------------------------------------

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

// The small grammars of the exhaustive tests, covering every kind: the kinds alone,
// combined, and recursive.
struct Grammar {
  const char* name;
  ElementRef element;
  Departure departure = Departure::None;
  bool allocates_in_match = false;  // contains a Combine, whose try_match_at parses
};
std::vector<Grammar> small_grammars();

// Random grammars over every kind (a Regex too), with
// Forwards that may reach themselves, and random texts for them, all drawn from a seed.
class RandomGrammars {
 public:
  explicit RandomGrammars(uint32_t seed) : rng_(seed) {}

  // A grammar of at most `depth` combinator levels below the root, whose Forwards are set
  // (without any Forward unless `recursive`).
  ElementRef make(int depth, bool recursive = true);
  // A MatchFirst of up to six alternatives, most of them leaves, as make() makes them.
  ElementRef make_alternation(int depth, bool recursive = true);
  // A text of up to `most` characters over a small alphabet that the leaves care about.
  std::string text(uint32_t most = 8);

 private:
  uint32_t pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }
  std::vector<ElementRef> children(int depth, uint32_t least);
  ElementRef node(int depth);
  ElementRef terminal();
  // One of the two Forwards, or a leaf when the grammar is not recursive.
  ElementRef a_forward();

  std::mt19937 rng_;
  bool recursive_ = true;
  std::vector<ElementRef> forwards_;
};

// Every text of at most four characters over a, b, A, space, tab, line feed and é.
std::vector<std::string> short_texts();

// True when every Str token of `results` holds whole UTF-8 characters.
[[nodiscard]] bool tokens_whole(const ParseResults& results);

// ---- regular expressions ----

// The element a successful make_regex_element built.
inline const RegexElement& regex_of(const RegexBuild& b) { return static_cast<const RegexElement&>(*b.element); }

// The matches of an expression over `text` as "s-e,s-e".
std::string spans_of(const regex::Expression& expression, std::string_view text);

// The iteration rule over a search `next(from, &start, &end)` (the leftmost match starting at
// or after `from`, or false): each search starts where the previous match ended, and an
// empty match at the previous match's end is passed over by searching one byte on. The
// matches as "s-e,s-e".
template <class Next>
std::string iterated_spans(Next&& next) {
  std::string out;
  uint64_t from = 0;
  bool has_last = false;
  uint64_t last_end = 0;
  uint64_t s;
  uint64_t e;
  while (next(from, &s, &e)) {
    if (s == e && has_last && last_end == e && !next(from + 1, &s, &e)) break;
    if (!out.empty()) out += ",";
    out += std::to_string(s) + "-" + std::to_string(e);
    from = e;
    last_end = e;
    has_last = true;
  }
  return out;
}

// The matches of the unanchored expression of `pattern`, or "error: <text>".
std::string spans(std::string_view pattern, std::string_view text);

// One line of a table of patterns: the matches on `text`, or an error.
struct RegexCase {
  std::string pattern;
  std::string text;
  const char* expected;  // spans, or "error: <part of the last line>"
};

// Checks every case of the table (an error case: the last line of the error holds the text).
void run_regex_cases(const std::vector<RegexCase>& cases);

}  // namespace vantorel::testing
