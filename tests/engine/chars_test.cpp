// Word and QuotedString: matching rules on every road (with the departure of Word's
// try_match_at on characters >= U+0080), the rules for bytes >= 128 at token bounds, and
// the messages.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "elements/chars.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::match_at;
using testing::parse_at;
using testing::RoadCase;

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

constexpr auto kWordBytes = testing::Departure::WordBytes;

TEST(WordElement, MatchesARunOfInitialAndBodyCharacters) {
  const RoadCase cases[] = {
      {"alphas", word(kAlphas), "abc1", 0, "end=3 ['abc']"},
      {"alphas", word(kAlphas), "1abc", 0, "fail@0: Expected W:(ABCDEFGH...)"},
      {"alphas", word(kAlphas), "ab", 2, "fail@2: Expected W:(ABCDEFGH...)"},
      {"alphas, alphanums", word(kAlphas, kAlphanums), "ab12 cd", 0, "end=4 ['ab12']"},
      {"alphas, alphanums", word(kAlphas, kAlphanums), "1ab", 0, "fail@0: Expected W:(ABCDEFGH...)"},
      {"ab, b", word("ab", "b"), "abba", 0, "end=3 ['abb']"},
      {"ab, b", word("ab", "b"), "ba", 0, "end=1 ['b']"},
      {"empty body", word("a", ""), "aaa", 0, "end=1 ['a']"},
      {"empty sets", word(""), "a", 0, "fail@0: Expected W:(...)"},
      {"words do not skip", word("a"), " a", 0, "fail@0: Expected W:(a...)"},
      // Characters from U+0100 on are no members: they end a word on both roads.
      {"body stops above U+00FF", word("a", "a" + kAMacron), "a" + kAMacron, 0, "end=1 ['a']"},
      // The roads depart: parse_impl continues over é by its code point, try_match_at
      // tests the byte 0xC3, which is no member.
      {"body e-acute", word("a", kEAcute), "a" + kEAcute + "b", 0, "end=3 ['a" + kEAcute + "']", kWordBytes, "end=1"},
      {"body e-acute, cut text", word("a", kEAcute), "a\xc3", 0, "end=1 ['a']"},
      {"body e-acute", word("a", kEAcute), "a" + kAtilde, 0, "end=1 ['a']"},
      // A first character >= U+0080 is tested by its first byte: é is no member of Word('é').
      {"init e-acute", word(kEAcute), kEAcute, 0, "fail@0: Expected W:(" + kEAcute + "...)"},
      // A member first byte that starts a character takes the whole character.
      {"init A-tilde on e-acute", word(kAtilde), kEAcute + kAtilde, 0, "end=4 ['" + kEAcute + kAtilde + "']",
       kWordBytes, "end=1"},
      // A member first byte inside a character starts no word in parse_impl.
      {"init copyright inside e-acute", word(kCopyright), kEAcute, 1,
       "fail@1: Expected W:(" + kCopyright + "...)", kWordBytes, "end=2"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
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

// The message names at most the first 8 bytes of init_chars, cut on a character boundary;
// the set holds the characters up to U+00FF.
TEST(WordElement, FailsWithItsMessageFromTheInitialCharacters) {
  const std::string_view empty;
  const RoadCase cases[] = {
      {"short", word("ab"), "", 0, "fail@0: Expected W:(ab...)"},
      {"cut at 8 bytes", word("abcdefghij"), "", 0, "fail@0: Expected W:(abcdefgh...)"},
      {"8 bytes", word("abcdefgh"), "", 0, "fail@0: Expected W:(abcdefgh...)"},
      {"empty", word(""), "", 0, "fail@0: Expected W:(...)"},
      {"cut before a character", word("a" + kEAcute + kEAcute + kEAcute + kEAcute), "", 0,
       "fail@0: Expected W:(a" + kEAcute + kEAcute + kEAcute + "...)"},
      {"cut after a character", word(kEAcute + kEAcute + kEAcute + kEAcute + kEAcute), "", 0,
       "fail@0: Expected W:(" + kEAcute + kEAcute + kEAcute + kEAcute + "...)"},
      {"U+0100 and up are named, not members", word("a" + kAMacron), kAMacron, 0,
       "fail@0: Expected W:(a" + kAMacron + "...)"},
      {"no body set: the initial set", word("ab"), "abba", 0, "end=4 ['abba']"},
      {"an empty body set", ElementRef::make<WordElement>("a", &empty), "aa", 0, "end=1 ['a']"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(QuotedStringElement, ScansToTheClosingQuote) {
  const RoadCase cases[] = {
      {"unquote", quoted("\""), "\"ab\"cd", 0, "end=4 ['ab']"},
      {"raw", quoted("\"", {}, false, false), "\"ab\"cd", 0, "end=4 ['\"ab\"']"},
      {"empty content", quoted("\""), "\"\"", 0, "end=2 ['']"},
      {"at a later position", quoted("'"), "x'a'", 1, "end=4 ['a']"},
      {"no opening quote", quoted("\""), "ab\"", 0, "fail@0: Expected quoted string starting with '\"'"},
      {"opening quote last", quoted("\""), "x\"", 1, "fail@1: Expected quoted string starting with '\"'"},
      {"unterminated", quoted("\""), "\"abc", 0, "fail@0: Expected quoted string starting with '\"'"},
      {"escaped quote", quoted("\"", "\\"), "\"a\\\"b\"", 0, "end=6 ['a\"b']"},
      {"escaped quote, raw", quoted("\"", "\\", false, false), "\"a\\\"b\"", 0, "end=6 ['\"a\\\"b\"']"},
      {"escapes are not translated", quoted("\"", "\\"), "\"\\n\\\\\"", 0, "end=6 ['n\\']"},
      {"no escape byte: backslash is content", quoted("\""), "\"a\\\"b\"", 0, "end=4 ['a\\']"},
      {"line feed", quoted("\"", "\\"), "\"a\nb\"", 0, "fail@0: Expected quoted string starting with '\"'"},
      {"escaped line feed", quoted("\"", "\\"), "\"a\\\nb\"", 0, "end=6 ['a\nb']"},
      {"multiline", quoted("\"", {}, true), "\"a\nb\"", 0, "end=5 ['a\nb']"},
      {"escape last", quoted("\"", "\\"), "\"a\\\"", 0, "fail@0: Expected quoted string starting with '\"'"},
      {"escape equal to the quote", quoted("'", "'"), "'a''", 0,
       "fail@0: Expected quoted string starting with '''"},
      {"multi-byte content", quoted("\"", "\\"), "\"\\" + kEAcute + "x\"", 0, "end=6 ['" + kEAcute + "x']"},
      // A quote byte >= 128 cannot delimit whole characters: such an element never matches.
      {"quote e-acute", quoted(kEAcute), kEAcute + "ab" + kEAcute, 0,
       "fail@0: Expected quoted string starting with '" + kEAcute + "'"},
      {"quote e-acute, raw", quoted(kEAcute, {}, false, false), kEAcute + "ab" + kEAcute, 0,
       "fail@0: Expected quoted string starting with '" + kEAcute + "'"},
      // An escape byte >= 128 protects only its own character's next byte and stays.
      {"escape e-acute", quoted("\"", kEAcute), "\"a" + kEAcute + "\"", 0, "end=5 ['a" + kEAcute + "']"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(QuotedStringElement, TakesTheFirstByteOfItsQuoteAndEscape) {
  const RoadCase cases[] = {
      {"an empty quote is a double quote", quoted(""), "\"a\"", 0, "end=3 ['a']"},
      {"an empty quote's message", quoted(""), "x", 0, "fail@0: Expected quoted string starting with ''"},
      {"a longer quote: its first byte", quoted("ab", "\\"), "a\\aa", 0, "end=4 ['a']"},
      {"a longer quote's message", quoted("ab"), "b", 0, "fail@0: Expected quoted string starting with 'ab'"},
      {"an empty escape is none", quoted("\"", ""), "\"a\\\"b\"", 0, "end=4 ['a\\']"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(CharsKinds, FailuresShareTheStoredMessage) {
  const ElementRef elements[] = {word("a"), quoted("\"")};
  for (const ElementRef& e : elements) {
    ParseContext ctx{"zz", 2, 1};
    ParseOutcome first = e->parse_impl(ctx, 0);
    ParseOutcome second = e->parse_impl(ctx, 1);
    ASSERT_FALSE(first.ok || second.ok);
    EXPECT_TRUE(first.error.message.same_block(second.error.message));
  }
}

}  // namespace
}  // namespace vantorel
