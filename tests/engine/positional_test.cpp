// The anchors and rest_of_line: where they match, what they yield, their messages, and how
// they behave after a sequence's whitespace skip.
#include <gtest/gtest.h>

#include <string>

#include "elements/positional.hpp"
#include "elements/structure.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::lit;
using testing::match_at;
using testing::over;
using testing::RoadCase;
using testing::parse_at;
using testing::parse_start;
using testing::wrap;

const ElementRef kEmpty = ElementRef::make<EmptyElement>();
const ElementRef kNoMatch = ElementRef::make<NoMatchElement>();
const ElementRef kLineStart = ElementRef::make<LineStartElement>();
const ElementRef kLineEnd = ElementRef::make<LineEndElement>();
const ElementRef kStringStart = ElementRef::make<StringStartElement>();
const ElementRef kStringEnd = ElementRef::make<StringEndElement>();
const ElementRef kRestOfLine = ElementRef::make<RestOfLineElement>();

TEST(PositionalKinds, MatchAtAPositionAndAgreeWithTryMatchAt) {
  const std::string e_acute = "\xc3\xa9";
  const RoadCase cases[] = {
      {"empty", kEmpty, "", 0, "end=0 []"},
      {"empty", kEmpty, "ab", 2, "end=2 []"},
      {"no match", kNoMatch, "", 0, "fail@0: NoMatch will never match"},
      {"no match", kNoMatch, "ab", 1, "fail@1: NoMatch will never match"},
      {"line start", kLineStart, "x", 0, "end=0 []"},
      {"line start", kLineStart, "a\nb", 2, "end=2 []"},
      {"line start", kLineStart, "a\n", 2, "end=2 []"},
      {"line start", kLineStart, "ab", 1, "fail@1: Expected start of line"},
      {"line start", kLineStart, "a\rb", 2, "fail@2: Expected start of line"},
      {"line end", kLineEnd, "a", 1, "end=1 ['\n']"},
      {"line end", kLineEnd, "", 0, "end=0 ['\n']"},
      {"line end", kLineEnd, "a\nb", 1, "end=2 ['\n']"},
      {"line end", kLineEnd, "ab", 0, "fail@0: Expected end of line"},
      {"line end", kLineEnd, "a\r\n", 1, "fail@1: Expected end of line"},
      {"string start", kStringStart, "ab", 0, "end=0 []"},
      {"string start", kStringStart, "\nab", 1, "fail@1: Expected start of string"},
      {"string end", kStringEnd, "ab", 2, "end=2 []"},
      {"string end", kStringEnd, "a\f", 1, "fail@1: Expected end of string"},
      {"rest of line", kRestOfLine, "ab\ncd", 0, "end=2 ['ab']"},
      {"rest of line", kRestOfLine, "ab\ncd", 2, "end=2 ['']"},
      {"rest of line", kRestOfLine, "ab\ncd", 3, "end=5 ['cd']"},
      {"rest of line", kRestOfLine, "ab\ncd", 5, "end=5 ['']"},
      {"rest of line", kRestOfLine, "", 0, "end=0 ['']"},
      {"rest of line", kRestOfLine, " \t x\r\n", 0, "end=5 [' \t x\r']"},
      {"rest of line", kRestOfLine, "a" + e_acute + "\n", 1, "end=3 ['" + e_acute + "']"},
      // Inside a character rest_of_line would cut it: it does not match there.
      {"rest of line inside a character", kRestOfLine, "a" + e_acute + "\n", 2, "fail@2: Expected rest of line"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(PositionalKinds, ParseFromStartSeesThePositionAfterLeadingWhitespace) {
  struct StartCase {
    ElementRef element;
    std::string text;
    std::string expected;
  };
  const StartCase cases[] = {
      {kEmpty, "", "[]"},
      {kStringStart, "", "[]"},
      {kStringEnd, "", "[]"},
      {kLineStart, "", "[]"},
      {kLineEnd, "", "['\n']"},
      {kRestOfLine, "", "['']"},
      {kNoMatch, "", "fail@0: NoMatch will never match"},
      {kStringStart, "  x", "fail@2: Expected start of string"},
      {kStringStart, "   ", "fail@3: Expected start of string"},
      {kStringStart, "x", "[]"},
      {kStringEnd, "\f", "fail@0: Expected end of string"},
      {kStringEnd, "\t\n\r ", "[]"},
      {kLineStart, "\n\n x", "fail@3: Expected start of line"},
      {kLineStart, " \nx", "[]"},
      {kRestOfLine, "  ab\ncd", "['  ab']"},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE("'" + c.text + "'");
    EXPECT_EQ(parse_start(*c.element, c.text), c.expected);
  }
}

TEST(PositionalKinds, InASequenceFollowTheWhitespaceSkip) {
  const RoadCase cases[] = {
      // The line feed is skipped before LineEnd, which then matches at the end of the text.
      {"a LineEnd", over<AndElement>({lit("a"), kLineEnd}), "a\n", 0, "end=2 ['a', '\n']"},
      {"a LineStart b", over<AndElement>({lit("a"), kLineStart, lit("b")}), "a\nb", 0, "end=3 ['a', 'b']"},
      {"a LineStart b", over<AndElement>({lit("a"), kLineStart, lit("b")}), "a\n b", 0,
       "fail@3: Expected start of line"},
      {"a StringStart", over<AndElement>({lit("a"), kStringStart}), "a", 0, "fail@1: Expected start of string"},
      {"a StringEnd", over<AndElement>({lit("a"), kStringEnd}), "a \t", 0, "end=3 ['a']"},
      // rest_of_line does not skip whitespace, so its token keeps it.
      {"a rest_of_line", over<AndElement>({lit("a"), kRestOfLine}), "a  xyz", 0, "end=6 ['a', '  xyz']"},
      {"repeated rest_of_line stops after one line", wrap<ZeroOrMoreElement>(kRestOfLine), "ab\ncd", 0,
       "end=2 ['ab']"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(PositionalKinds, FixedMessagesAreNewForEachFailureAndRestOfLineSharesItsOwn) {
  for (const ElementRef& e : {kNoMatch, kLineStart, kLineEnd, kStringStart, kStringEnd}) {
    ParseContext ctx{"xx", 2, 1};
    ParseOutcome first = e->parse_impl(ctx, 1);
    ParseOutcome second = e->parse_impl(ctx, 1);
    ASSERT_FALSE(first.ok || second.ok);
    EXPECT_EQ(first.error.message.view(), second.error.message.view());
    EXPECT_FALSE(first.error.message.same_block(second.error.message));
  }
  const auto& rest = static_cast<const RestOfLineElement&>(*kRestOfLine);
  EXPECT_EQ(rest.message.view(), "Expected rest of line");
  ParseContext ctx{"\xc3\xa9", 2, 1};
  ParseOutcome o = rest.parse_impl(ctx, 1);
  ASSERT_FALSE(o.ok);
  EXPECT_TRUE(o.error.message.same_block(rest.message));
}

TEST(RestOfLine, NeverMatchesBeyondTheText) { EXPECT_EQ(match_at(*kRestOfLine, "ab", 3), std::nullopt); }

}  // namespace
}  // namespace vantorel
