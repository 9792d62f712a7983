// Literal, CaselessLiteral, Keyword, CaselessKeyword and Char: matching rules on every
// road, messages and message sharing.
#include <gtest/gtest.h>

#include <string>

#include "elements/literals.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::Departure;
using testing::parse_at;
using testing::parse_start;
using testing::RoadCase;

TEST(LiteralKinds, ParseAtAPositionAndAgreeWithTryMatchAt) {
  const std::string e_acute = "\xc3\xa9";
  const std::string E_acute = "\xc3\x89";
  const RoadCase cases[] = {
      {"literal", new_literal_element("ab"), "abc", 0, "end=2 ['ab']"},
      {"literal", new_literal_element("ab"), "aB", 0, "fail@0: Expected 'ab'"},
      {"literal", new_literal_element("ab"), "xab", 1, "end=3 ['ab']"},
      {"literal", new_literal_element("ab"), "ab", 1, "fail@1: Expected 'ab'"},
      {"literal", new_literal_element("ab"), "xb", 0, "fail@0: Expected 'ab'"},
      {"literal", new_literal_element("ab"), "ax", 0, "fail@0: Expected 'ab'"},
      {"literal", new_literal_element("it's"), "x", 0, "fail@0: Expected 'it's'"},
      {"empty literal", new_literal_element(""), "xyz", 0, "end=0 ['']"},
      {"empty literal", new_literal_element(""), "xyz", 3, "end=3 ['']"},
      {"caseless", new_caseless_literal_element("Ab"), "aB", 0, "end=2 ['Ab']"},
      {"caseless", new_caseless_literal_element("Ab"), "a", 0, "fail@0: Expected 'Ab' (caseless)"},
      {"caseless", new_caseless_literal_element(e_acute), E_acute, 0,
       "fail@0: Expected '" + e_acute + "' (caseless)"},
      {"caseless", new_caseless_literal_element("a["), "A{", 0, "fail@0: Expected 'a[' (caseless)"},
      {"caseless", new_caseless_literal_element("a{"), "A[", 0, "fail@0: Expected 'a{' (caseless)"},
      {"empty caseless", new_caseless_literal_element(""), "xyz", 3, "end=3 ['']"},
      {"keyword", new_keyword_element("if"), "if(x)", 0, "end=2 ['if']"},
      {"keyword", new_keyword_element("if"), "if-1", 0, "end=2 ['if']"},
      {"keyword", new_keyword_element("if"), "if", 0, "end=2 ['if']"},
      {"keyword", new_keyword_element("if"), "ifx", 0, "fail@0: Expected keyword 'if'"},
      {"keyword", new_keyword_element("if"), "if_", 0, "fail@0: Expected keyword 'if'"},
      {"keyword", new_keyword_element("if"), "if9", 0, "fail@0: Expected keyword 'if'"},
      {"keyword", new_keyword_element("if"), "if" + e_acute, 0, "end=2 ['if']"},
      {"keyword", new_keyword_element("if"), "xif", 1, "end=3 ['if']"},
      {"keyword", new_keyword_element("ab"), "a" + e_acute, 0, "fail@0: Expected keyword 'ab'"},
      {"empty keyword", new_keyword_element(""), "x+", 0, "fail@0: Expected keyword ''"},
      {"empty keyword", new_keyword_element(""), "x+", 1, "end=1 ['']"},
      {"empty keyword", new_keyword_element(""), "x+", 2, "end=2 ['']"},
      {"caseless keyword", new_caseless_keyword_element("IF"), "if;", 0, "end=2 ['IF']"},
      {"caseless keyword", new_caseless_keyword_element("IF"), "If1", 0,
       "fail@0: Expected keyword 'IF' (caseless)"},
      {"empty caseless keyword", new_caseless_keyword_element(""), "x+", 0,
       "fail@0: Expected keyword '' (caseless)"},
      {"empty caseless keyword", new_caseless_keyword_element(""), "x+", 1, "end=1 ['']"},
      {"char", new_char_element("abc"), "b+", 0, "end=1 ['b']"},
      {"char", new_char_element("abc"), "", 0, "fail@0: Expected one of 'abc'"},
      {"char", new_char_element("abc"), "x", 0, "fail@0: Expected one of 'abc'"},
      {"empty char", new_char_element(""), "a", 0, "fail@0: Expected one of ''"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(CharElement, TakesAWholeCharacterForALeadByteAndFailsInsideOne) {
  const std::string e_acute = "\xc3\xa9";
  const ElementRef c = new_char_element(e_acute);
  const RoadCase cases[] = {
      // try_match_at keeps the one-byte rule.
      {"lead byte", c, e_acute + "x", 0, "end=2 ['" + e_acute + "']", Departure::CharBytes, "end=1"},
      {"inside a character", c, e_acute, 1, "fail@1: Expected one of '" + e_acute + "'", Departure::CharBytes,
       "end=2"},
      // A lead byte at the very end of a (malformed) text never reads past it.
      {"lead byte at the end", c, "\xc3", 0, "end=1 ['\xc3']"},
  };
  for (const RoadCase& r : cases) testing::check_roads(r);
}

TEST(LiteralKinds, FailuresShareTheStoredMessageWithoutAllocating) {
  const ElementRef elements[] = {new_literal_element("ab"), new_caseless_literal_element("ab"),
                                 new_keyword_element("ab"), new_caseless_keyword_element("ab"),
                                 new_char_element("ab")};
  for (const ElementRef& e : elements) {
    ParseContext ctx{"zz", 2, 1};
    ParseOutcome first = e->parse_impl(ctx, 0);
    ParseOutcome second = e->parse_impl(ctx, 1);
    ASSERT_FALSE(first.ok);
    ASSERT_FALSE(second.ok);
    EXPECT_TRUE(first.error.message.same_block(second.error.message));
    EXPECT_EQ(second.error.position, 1u);
  }
}

TEST(LiteralKinds, SuccessesShareTheCachedString) {
  const ElementRef elements[] = {new_literal_element("ab"), new_caseless_literal_element("ab"),
                                 new_keyword_element("ab"), new_caseless_keyword_element("ab")};
  for (const ElementRef& e : elements) {
    ParseContext ctx{"ab ab", 5, 1};
    ParseOutcome first = e->parse_impl(ctx, 0);
    ParseOutcome second = e->parse_impl(ctx, 3);
    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_TRUE(first.results[0].shared().same_block(second.results[0].shared()));
  }
}

TEST(LiteralKinds, ParseFromStartSkipsLeadingWhitespaceOnly) {
  ElementRef lit = new_literal_element("ab");
  EXPECT_EQ(parse_start(*lit, "  \t\r\nab cd"), "['ab']");
  EXPECT_EQ(parse_start(*lit, "\fab"), "fail@0: Expected 'ab'");
  EXPECT_EQ(parse_start(*lit, "  xy"), "fail@2: Expected 'ab'");
  ElementRef kw = new_keyword_element("if");
  EXPECT_EQ(parse_start(*kw, " if x"), "['if']");
  EXPECT_EQ(parse_start(*kw, " iff"), "fail@1: Expected keyword 'if'");
}

TEST(LiteralKinds, MessagesAreFilledFromTheirTemplates) {
  EXPECT_EQ(literal_message(""), "Expected ''");
  EXPECT_EQ(literal_message("it's"), "Expected 'it's'");
  EXPECT_EQ(parse_at(*new_keyword_element(""), "x", 0), "fail@0: Expected keyword ''");
  EXPECT_EQ(parse_at(*new_char_element(""), "x", 0), "fail@0: Expected one of ''");
}

}  // namespace
}  // namespace vantorel
