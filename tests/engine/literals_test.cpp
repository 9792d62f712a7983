// Literal, CaselessLiteral, Keyword, CaselessKeyword and Char: matching rules, messages,
// message sharing and the agreement of the roads.
#include <gtest/gtest.h>

#include <string>

#include "elements/literals.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::match_at;
using testing::parse_at;
using testing::parse_start;

struct Case {
  const char* name;
  ElementRef element;
  std::string text;
  uint64_t pos;
  std::string expected;  // parse_at's description
};

TEST(LiteralKinds, ParseAtAPositionAndAgreeWithTryMatchAt) {
  const std::string e_acute = "\xc3\xa9";
  const std::string E_acute = "\xc3\x89";
  const Case cases[] = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " on '" + c.text + "' at " + std::to_string(c.pos));
    EXPECT_EQ(parse_at(*c.element, c.text, c.pos), c.expected);
    testing::expect_roads_agree(*c.element, c.text, c.pos);
  }
}

TEST(CharElement, TakesAWholeCharacterForALeadByteAndFailsInsideOne) {
  const std::string e_acute = "\xc3\xa9";
  ElementRef c = new_char_element(e_acute);
  EXPECT_EQ(parse_at(*c, e_acute + "x", 0), "end=2 ['" + e_acute + "']");
  EXPECT_EQ(match_at(*c, e_acute + "x", 0), 1u) << "try_match_at keeps the one-byte rule";
  EXPECT_EQ(parse_at(*c, e_acute, 1), "fail@1: Expected one of '" + e_acute + "'");
  EXPECT_EQ(match_at(*c, e_acute, 1), 2u);
  // A lead byte at the very end of a (malformed) text never reads past it.
  EXPECT_EQ(parse_at(*c, "\xc3", 0), "end=1 ['\xc3']");
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

TEST(LiteralElement, FieldsAreComputedAtConstruction) {
  ElementRef e = new_literal_element("");
  const auto& lit = static_cast<const LiteralElement&>(*e);
  EXPECT_EQ(lit.first_byte, 0);
  EXPECT_EQ(lit.message.view(), "Expected ''");
  ElementRef k = new_keyword_element("if");
  const auto& kw = static_cast<const KeywordElement&>(*k);
  EXPECT_EQ(kw.length, 2u);
  EXPECT_EQ(kw.first_byte, 'i');
  ElementRef cl = new_caseless_literal_element("\xc3\x89" "AbC");
  EXPECT_EQ(static_cast<const CaselessLiteralElement&>(*cl).lowered, "\xc3\x89" "abc");
  ElementRef ch = new_char_element("\xc3\xa9");
  const auto& cht = static_cast<const CharElement&>(*ch);
  int set = 0;
  for (unsigned char v : cht.char_table) set += v;
  EXPECT_EQ(set, 2);
  EXPECT_EQ(cht.char_table[0xC3], 1);
  EXPECT_EQ(cht.char_table[0xA9], 1);
}

}  // namespace
}  // namespace vantorel
