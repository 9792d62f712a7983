// The core values: whitespace rule, tokens, token sequences, handles and the stack guard.
#include <gtest/gtest.h>

#include <string>

#include "elements/element.hpp"
#include "elements/literals.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

TEST(AdvancePastWhitespace, SkipsOnlyTabLineFeedCarriageReturnAndSpace) {
  struct Case {
    std::string text;
    uint64_t from;
    uint64_t expected;
  };
  const Case cases[] = {
      {"", 0, 0},           {" \t\r\nx", 0, 4},    {"\v x", 0, 0},        {"\f", 0, 0},
      {"  ", 0, 2},         {"a  b", 1, 3},        {"\xc2\xa0x", 0, 0},  {"  ", 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(advance_past_whitespace(c.text.data(), c.text.size(), c.from), c.expected);
  }
}

TEST(ParseResults, KeepsTwoTokensInPlaceAndMovesToTheHeapOnTheThird) {
  ParseResults r;
  EXPECT_TRUE(r.is_inline());
  r.push_back(Token::copy_of("a"));
  r.push_back(Token::copy_of("b"));
  EXPECT_TRUE(r.is_inline());
  r.push_back(Token::copy_of("c"));
  EXPECT_FALSE(r.is_inline());
  EXPECT_EQ(testing::describe(r), "['a', 'b', 'c']");

  ParseResults other;
  other.push_back(Token::copy_of("d"));
  r.append(std::move(other));
  EXPECT_TRUE(other.empty());
  EXPECT_EQ(testing::describe(r), "['a', 'b', 'c', 'd']");

  ParseResults copy = r;
  EXPECT_TRUE(copy[0].shared().same_block(r[0].shared())) << "copies share Str strings";
  ParseResults moved = std::move(r);
  EXPECT_EQ(testing::describe(moved), "['a', 'b', 'c', 'd']");
  EXPECT_TRUE(r.empty());
}

TEST(ParseResults, AppendMovesInlineTokensIntoAnEmptySequence) {
  ParseResults src;
  src.push_back(Token::copy_of("x"));
  ParseResults dst;
  dst.append(std::move(src));
  EXPECT_EQ(testing::describe(dst), "['x']");
  EXPECT_TRUE(src.empty());
  for (int i = 0; i < 100; ++i) dst.push_back(Token::copy_of(std::to_string(i)));
  EXPECT_EQ(dst.size(), 101u);
  EXPECT_EQ(dst[100].text(), "99");
}

TEST(Token, GroupCopiesItsItemsAndSharesTheirStrings) {
  ParseResults inner;
  inner.push_back(Token::copy_of("a"));
  inner.push_back(Token::copy_of("b"));
  const uint64_t n = inner.size();
  Token group = Token::group(inner.release_array(), n);
  Token copy = group;
  ASSERT_EQ(copy.items().size(), 2u);
  EXPECT_NE(copy.items().data(), group.items().data());
  EXPECT_TRUE(copy.items()[0].shared().same_block(group.items()[0].shared()));
  EXPECT_EQ(testing::describe(copy), "['a', 'b']");
  Token empty = Token::group(nullptr, 0);
  EXPECT_EQ(testing::describe(empty), "[]");
}

TEST(ElementRef, CountsHandlesAndSharesTheElement) {
  ElementRef a = new_literal_element("x");
  EXPECT_EQ(a.use_count(), 1u);
  {
    ElementRef b = a;
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a.use_count(), 2u);
  }
  EXPECT_EQ(a.use_count(), 1u);
  ElementRef c = std::move(a);
  EXPECT_FALSE(a);
  EXPECT_EQ(c.use_count(), 1u);
}

// A chain of elements, each holding the next, long enough that recursive destruction would
// overflow a small thread stack.
class ChainLink final : public ParserElement {
 public:
  explicit ChainLink(ElementRef n) noexcept : next(std::move(n)) {}
  ElementRef next;
  ParseOutcome parse_impl(ParseContext&, uint64_t pos) const noexcept override { return ParseOutcome::success(pos); }
  Match try_match_at(const char*, uint64_t, uint64_t pos) const noexcept override { return Match::at(pos); }
  ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

TEST(ElementRef, DroppingAVeryLongChainDoesNotRecurse) {
  ElementRef head = new_literal_element("end");
  for (int i = 0; i < 1'000'000; ++i) head = ElementRef::make<ChainLink>(std::move(head));
  head.reset();
  SUCCEED();
}

TEST(StackGuard, ReportsRoomAtShallowDepth) { EXPECT_FALSE(stack_nearly_exhausted()); }

int depth_until_exhausted(int depth) {
  if (stack_nearly_exhausted()) return depth;
  volatile char pad[512];
  pad[0] = 0;
  return depth_until_exhausted(depth + 1) + pad[0];
}

TEST(StackGuard, StopsDeepRecursionBeforeTheStackEnds) {
  EXPECT_GT(depth_until_exhausted(0), 100);
}

}  // namespace
}  // namespace vantorel
