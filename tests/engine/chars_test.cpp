// Word and QuotedString: matching rules, the departure of Word's two roads on characters
// >= U+0080, the rules for bytes >= 128 at token bounds, and the constructor fields.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "elements/chars.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::match_at;
using testing::parse_at;

const std::string kEAcute = "\xc3\xa9";     // U+00E9
const std::string kAtilde = "\xc3\x83";     // U+00C3: member 0xC3, the lead byte of é
const std::string kCopyright = "\xc2\xa9";  // U+00A9: member 0xA9, the last byte of é
const std::string kAMacron = "\xc4\x80";    // U+0100: beyond the sets
const std::string kAlphas = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
const std::string kAlphanums = kAlphas + "0123456789";

ElementRef word(const std::string& init) { return new_word_element(init, nullptr); }
ElementRef word(const std::string& init, const std::string& body) {
  const std::string_view b = body;
  return new_word_element(init, &b);
}
ElementRef quoted(const std::string& quote, std::optional<std::string> esc = std::nullopt, bool multiline = false,
                  bool unquote = true) {
  std::string_view e;
  if (esc) e = *esc;
  return new_quoted_string_element(quote, esc ? &e : nullptr, multiline, unquote);
}

struct Case {
  const char* name;
  ElementRef element;
  std::string text;
  uint64_t pos;
  std::string expected;              // parse_at's description
  std::optional<uint64_t> departs;  // try_match_at's end where the roads differ (-1: no match)
};
constexpr uint64_t kNoMatch = UINT64_MAX;

void run(const Case& c) {
  SCOPED_TRACE(std::string(c.name) + " on '" + c.text + "' at " + std::to_string(c.pos));
  EXPECT_EQ(parse_at(*c.element, c.text, c.pos), c.expected);
  if (!c.departs) {
    testing::expect_roads_agree(*c.element, c.text, c.pos);
  } else if (*c.departs == kNoMatch) {
    EXPECT_EQ(match_at(*c.element, c.text, c.pos), std::nullopt);
  } else {
    EXPECT_EQ(match_at(*c.element, c.text, c.pos), c.departs);
  }
}

TEST(WordElement, MatchesARunOfInitialAndBodyCharacters) {
  const Case cases[] = {
      {"alphas", word(kAlphas), "abc1", 0, "end=3 ['abc']", {}},
      {"alphas", word(kAlphas), "1abc", 0, "fail@0: Expected W:(ABCDEFGH...)", {}},
      {"alphas", word(kAlphas), "ab", 2, "fail@2: Expected W:(ABCDEFGH...)", {}},
      {"alphas, alphanums", word(kAlphas, kAlphanums), "ab12 cd", 0, "end=4 ['ab12']", {}},
      {"alphas, alphanums", word(kAlphas, kAlphanums), "1ab", 0, "fail@0: Expected W:(ABCDEFGH...)", {}},
      {"ab, b", word("ab", "b"), "abba", 0, "end=3 ['abb']", {}},
      {"ab, b", word("ab", "b"), "ba", 0, "end=1 ['b']", {}},
      {"empty body", word("a", ""), "aaa", 0, "end=1 ['a']", {}},
      {"empty sets", word(""), "a", 0, "fail@0: Expected W:(...)", {}},
      {"words do not skip", word("a"), " a", 0, "fail@0: Expected W:(a...)", {}},
      // Characters from U+0100 on are no members: they end a word on both roads.
      {"body stops above U+00FF", word("a", "a" + kAMacron), "a" + kAMacron, 0, "end=1 ['a']", {}},
      // The listed departure: parse_impl continues over é by its code point, try_match_at
      // tests the byte 0xC3, which is no member.
      {"body e-acute", word("a", kEAcute), "a" + kEAcute + "b", 0, "end=3 ['a" + kEAcute + "']", 1},
      {"body e-acute, cut text", word("a", kEAcute), "a\xc3", 0, "end=1 ['a']", {}},
      {"body e-acute", word("a", kEAcute), "a" + kAtilde, 0, "end=1 ['a']", {}},
      // A first character >= U+0080 is tested by its first byte: é is no member of Word('é').
      {"init e-acute", word(kEAcute), kEAcute, 0, "fail@0: Expected W:(" + kEAcute + "...)", {}},
      // A member first byte that starts a character takes the whole character.
      {"init A-tilde on e-acute", word(kAtilde), kEAcute + kAtilde, 0, "end=4 ['" + kEAcute + kAtilde + "']", 1},
      // A member first byte inside a character starts no word in parse_impl.
      {"init copyright inside e-acute", word(kCopyright), kEAcute, 1,
       "fail@1: Expected W:(" + kCopyright + "...)", 2},
  };
  for (const Case& c : cases) run(c);
}

TEST(WordElement, HonoursMinAndMaxLengthOnBothRoads) {
  WordElement w("ab", nullptr);
  w.max_len = 2;
  EXPECT_EQ(parse_at(w, "abab", 0), "end=2 ['ab']");
  EXPECT_EQ(match_at(w, "abab", 0), 2u);
  w.max_len = 0;
  w.min_len = 3;
  EXPECT_EQ(parse_at(w, "ab", 0), "fail@0: Expected W:(ab...)");
  EXPECT_EQ(match_at(w, "ab", 0), std::nullopt);
  EXPECT_EQ(parse_at(w, "aba", 0), "end=3 ['aba']");
}

TEST(WordElement, FieldsAreComputedAtConstruction) {
  struct MessageCase {
    std::string init;
    std::string message;
  };
  const MessageCase cases[] = {
      {"ab", "Expected W:(ab...)"},
      {"abcdefghij", "Expected W:(abcdefgh...)"},
      {"abcdefgh", "Expected W:(abcdefgh...)"},
      {"", "Expected W:(...)"},
      {"a" + kEAcute + kEAcute + kEAcute + kEAcute, "Expected W:(a" + kEAcute + kEAcute + kEAcute + "...)"},
      {kEAcute + kEAcute + kEAcute + kEAcute + kEAcute, "Expected W:(" + kEAcute + kEAcute + kEAcute + kEAcute + "...)"},
      {"a" + kAMacron, "Expected W:(a" + kAMacron + "...)"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.init);
    const WordElement w(c.init, nullptr);
    EXPECT_EQ(w.message.view(), c.message);
    EXPECT_EQ(w.body_set, w.init_set);
    EXPECT_EQ(w.min_len, 1u);
    EXPECT_EQ(w.max_len, 0u);
  }
  const WordElement macron("a" + kAMacron, nullptr);
  ByteSet only_a;
  only_a.insert('a');
  EXPECT_EQ(macron.init_set, only_a);
  const std::string_view empty;
  EXPECT_TRUE(WordElement("a", &empty).body_set.empty());
  const WordElement accented(kEAcute, nullptr);
  EXPECT_TRUE(accented.init_set.contains(0xE9));
  EXPECT_FALSE(accented.init_set.contains(0xC3));
}

TEST(QuotedStringElement, ScansToTheClosingQuote) {
  const Case cases[] = {
      {"unquote", quoted("\""), "\"ab\"cd", 0, "end=4 ['ab']", {}},
      {"raw", quoted("\"", {}, false, false), "\"ab\"cd", 0, "end=4 ['\"ab\"']", {}},
      {"empty content", quoted("\""), "\"\"", 0, "end=2 ['']", {}},
      {"at a later position", quoted("'"), "x'a'", 1, "end=4 ['a']", {}},
      {"no opening quote", quoted("\""), "ab\"", 0, "fail@0: Expected quoted string starting with '\"'", {}},
      {"opening quote last", quoted("\""), "x\"", 1, "fail@1: Expected quoted string starting with '\"'", {}},
      {"unterminated", quoted("\""), "\"abc", 0, "fail@0: Expected quoted string starting with '\"'", {}},
      {"escaped quote", quoted("\"", "\\"), "\"a\\\"b\"", 0, "end=6 ['a\"b']", {}},
      {"escaped quote, raw", quoted("\"", "\\", false, false), "\"a\\\"b\"", 0, "end=6 ['\"a\\\"b\"']", {}},
      {"escapes are not translated", quoted("\"", "\\"), "\"\\n\\\\\"", 0, "end=6 ['n\\']", {}},
      {"no escape byte: backslash is content", quoted("\""), "\"a\\\"b\"", 0, "end=4 ['a\\']", {}},
      {"line feed", quoted("\"", "\\"), "\"a\nb\"", 0, "fail@0: Expected quoted string starting with '\"'", {}},
      {"escaped line feed", quoted("\"", "\\"), "\"a\\\nb\"", 0, "end=6 ['a\nb']", {}},
      {"multiline", quoted("\"", {}, true), "\"a\nb\"", 0, "end=5 ['a\nb']", {}},
      {"escape last", quoted("\"", "\\"), "\"a\\\"", 0, "fail@0: Expected quoted string starting with '\"'", {}},
      {"escape equal to the quote", quoted("'", "'"), "'a''", 0,
       "fail@0: Expected quoted string starting with '''", {}},
      {"multi-byte content", quoted("\"", "\\"), "\"\\" + kEAcute + "x\"", 0, "end=6 ['" + kEAcute + "x']", {}},
      // A quote byte >= 128 cannot delimit whole characters: such an element never matches.
      {"quote e-acute", quoted(kEAcute), kEAcute + "ab" + kEAcute, 0,
       "fail@0: Expected quoted string starting with '" + kEAcute + "'", {}},
      {"quote e-acute, raw", quoted(kEAcute, {}, false, false), kEAcute + "ab" + kEAcute, 0,
       "fail@0: Expected quoted string starting with '" + kEAcute + "'", {}},
      // An escape byte >= 128 protects only its own character's next byte and stays.
      {"escape e-acute", quoted("\"", kEAcute), "\"a" + kEAcute + "\"", 0, "end=5 ['a" + kEAcute + "']", {}},
  };
  for (const Case& c : cases) run(c);
}

TEST(QuotedStringElement, FieldsAreComputedAtConstruction) {
  const std::string_view backslash = "\\";
  const std::string_view empty;
  const QuotedStringElement dflt("\"", nullptr, false, true);
  EXPECT_EQ(dflt.quote, '"');
  EXPECT_EQ(dflt.has_escape, 0);
  EXPECT_EQ(dflt.escape, 0);
  EXPECT_EQ(dflt.multiline, 0);
  EXPECT_EQ(dflt.unquote, 1);
  EXPECT_EQ(dflt.message.view(), "Expected quoted string starting with '\"'");
  const QuotedStringElement none("", &empty, true, false);
  EXPECT_EQ(none.quote, '"');
  EXPECT_EQ(none.has_escape, 0);
  EXPECT_EQ(none.multiline, 1);
  EXPECT_EQ(none.unquote, 0);
  EXPECT_EQ(none.message.view(), "Expected quoted string starting with ''");
  const QuotedStringElement long_quote("ab", &backslash, false, true);
  EXPECT_EQ(long_quote.quote, 'a');
  EXPECT_EQ(long_quote.has_escape, 1);
  EXPECT_EQ(long_quote.escape, 92);
  EXPECT_EQ(long_quote.message.view(), "Expected quoted string starting with 'ab'");
}

TEST(CharsKinds, FailuresShareTheStoredMessage) {
  const ElementRef elements[] = {word("a"), quoted("\"")};
  for (const ElementRef& e : elements) {
    ParseContext ctx{"zz", 2, 1};
    ParseOutcome first = e->parse_impl(ctx, 0);
    ParseOutcome second = e->parse_impl(ctx, 1);
    ASSERT_FALSE(first.ok || second.ok);
    EXPECT_TRUE(first.error.message.same_block(second.error.message));
    EXPECT_EQ(e->kind(), ElementKind::Normal);
    EXPECT_TRUE(e->skips_whitespace());
  }
}

}  // namespace
}  // namespace vantorel
