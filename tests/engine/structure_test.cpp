// The combinators: sequence, alternation and repetition with the whitespace skip before each
// child, the reshaping kinds, where try_match_at departs, failures passed on unchanged, a
// stack-guard stop told by its kind, and the character-boundary rules of Combine and SkipTo.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "elements/chars.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::lit;
using testing::over;
using testing::RoadCase;
using testing::parse_at;
using testing::wrap;

const std::string kEAcute = "\xc3\xa9";     // U+00E9, bytes C3 A9
const std::string kCopyright = "\xc2\xa9";  // U+00A9, bytes C2 A9

constexpr auto kZeroWidthFirst = testing::Departure::ZeroWidthFirst;

ElementRef seq_ab() { return over<AndElement>({lit("a"), lit("b")}); }
ElementRef empty() { return ElementRef::make<EmptyElement>(); }

TEST(SequenceAndAlternation, FollowRuleWAndTakeTheFirstSuccess) {
  const RoadCase cases[] = {
      {"a b", seq_ab(), "a b", 0, "end=3 ['a', 'b']"},
      {"a b", seq_ab(), "a\fb", 0, "fail@1: Expected 'b'"},
      {"a b", seq_ab(), "  ab", 0, "end=4 ['a', 'b']"},
      {"a b", seq_ab(), "ab  ", 0, "end=2 ['a', 'b']"},
      {"a b", seq_ab(), "xab", 0, "fail@0: Expected 'a'"},
      {"no children", over<AndElement>({}), "xy", 1, "end=1 []"},
      {"a then rest_of_line", over<AndElement>({lit("a"), ElementRef::make<RestOfLineElement>()}), "a  x", 0,
       "end=4 ['a', '  x']"},
      {"ab | a", over<MatchFirstElement>({lit("ab"), lit("a")}), "abc", 0, "end=2 ['ab']"},
      {"a | ab", over<MatchFirstElement>({lit("a"), lit("ab")}), "abc", 0, "end=1 ['a']"},
      {"x | keyword y", over<MatchFirstElement>({lit("x"), new_keyword_element("y")}), "z", 0,
       "fail@0: Expected keyword 'y'"},
      {"alternatives run without a skip", over<MatchFirstElement>({lit("a")}), " a", 0, "fail@0: Expected 'a'"},
      {"no alternatives", over<MatchFirstElement>({}), "a", 0, "fail@0: No match found"},
      // Greedy and final: the alternation is not asked again when the sequence fails later.
      {"(a | ab) c", over<AndElement>({over<MatchFirstElement>({lit("a"), lit("ab")}), lit("c")}), "abc", 0,
       "fail@1: Expected 'c'"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

// parse_into and try_match_at pass over the alternatives that cannot start at the byte;
// the order of the rest, and the last alternative's failure, stay as they are.
TEST(SequenceAndAlternation, AlternativesKeepTheirOrderAndTheLastFailure) {
  const ElementRef leaves = over<MatchFirstElement>({lit("b"), new_char_element("xa"), new_word_element("ab", nullptr),
                                                     new_caseless_literal_element("Q"), lit("a")});
  std::vector<ElementRef> words;
  for (int i = 0; i < 300; ++i) words.push_back(lit("w" + std::to_string(1000 + i)));
  const ElementRef many = ElementRef::make<MatchFirstElement>(std::move(words));
  const RoadCase cases[] = {
      {"leaves", leaves, "ab", 0, "end=1 ['a']"},
      {"leaves", leaves, "ba", 0, "end=1 ['b']"},
      {"leaves", leaves, "q", 0, "end=1 ['Q']"},
      {"leaves", leaves, "z", 0, "fail@0: Expected 'a'"},
      {"leaves", leaves, "", 0, "fail@0: Expected 'a'"},
      {"300 words", many, "w1000", 0, "end=5 ['w1000']"},
      {"300 words", many, "w1299", 0, "end=5 ['w1299']"},
      {"300 words", many, "x", 0, "fail@0: Expected 'w1299'"},
      {"300 words", many, "w", 0, "fail@0: Expected 'w1299'"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(Repetition, StopsAtTheFirstMissOrZeroWidthRepetition) {
  const ElementRef opt_a = wrap<OptionalElement>(lit("a"));
  const RoadCase cases[] = {
      {"optional", opt_a, "b", 0, "end=0 []"},
      {"optional", opt_a, "ab", 0, "end=1 ['a']"},
      {"optional runs its child without a skip", opt_a, " a", 0, "end=0 []"},
      {"zero or more", wrap<ZeroOrMoreElement>(lit("a")), "a a  b", 0, "end=3 ['a', 'a']"},
      {"zero or more", wrap<ZeroOrMoreElement>(lit("a")), "b", 0, "end=0 []"},
      {"zero or more", wrap<ZeroOrMoreElement>(lit("a")), "  a", 0, "end=3 ['a']"},
      {"zero or more of a zero-width child", wrap<ZeroOrMoreElement>(opt_a), "aab", 0, "end=2 ['a', 'a']"},
      {"one or more", wrap<OneOrMoreElement>(lit("a")), "aa a", 0, "end=4 ['a', 'a', 'a']"},
      {"one or more", wrap<OneOrMoreElement>(lit("a")), "b", 0, "fail@0: Expected at least one match"},
      {"one or more fails before the skip", wrap<OneOrMoreElement>(lit("a")), "  b", 0,
       "fail@0: Expected at least one match"},
      // try_match_at departs: it accepts a zero-width first repetition.
      {"one or more of a zero-width child", wrap<OneOrMoreElement>(opt_a), "b", 0,
       "fail@0: Expected at least one match", kZeroWidthFirst, "end=0"},
      {"one or more of a zero-width child", wrap<OneOrMoreElement>(opt_a), "  b", 0,
       "fail@0: Expected at least one match", kZeroWidthFirst, "end=2"},
      {"one or more of empty", wrap<OneOrMoreElement>(empty()), "", 0, "fail@0: Expected at least one match",
       kZeroWidthFirst, "end=0"},
      {"exactly 2", wrap<ExactlyElement>(lit("a"), uint64_t{2}), "a a a", 0, "end=3 ['a', 'a']"},
      {"exactly 2", wrap<ExactlyElement>(lit("a"), uint64_t{2}), "a b", 0, "fail@2: Expected 'a'"},
      {"exactly 0", wrap<ExactlyElement>(lit("a"), uint64_t{0}), "b", 0, "end=0 []"},
      {"exactly of a zero-width child", wrap<ExactlyElement>(opt_a, uint64_t{1}), "  b", 0,
       "fail@2: No progress in Exactly"},
      {"exactly of a zero-width child", wrap<ExactlyElement>(opt_a, uint64_t{3}), "a a", 0,
       "fail@3: No progress in Exactly"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(ShapingKinds, GroupSuppressCombineAndSkipTo) {
  const RoadCase cases[] = {
      {"group", wrap<GroupElement>(seq_ab()), "a b", 0, "end=3 [['a', 'b']]"},
      {"group of a miss", wrap<GroupElement>(wrap<OptionalElement>(lit("a"))), "b", 0, "end=0 [[]]"},
      {"nested groups", wrap<GroupElement>(over<AndElement>({lit("a"), wrap<GroupElement>(lit("b"))})), "ab", 0,
       "end=2 [['a', ['b']]]"},
      {"group passes the failure on", wrap<GroupElement>(seq_ab()), "ax", 0, "fail@1: Expected 'b'"},
      {"the skip before a group is the sequence's",
       over<AndElement>({lit("a"), wrap<GroupElement>(ElementRef::make<RestOfLineElement>())}), "a  xy", 0,
       "end=5 ['a', ['xy']]"},
      {"suppress", wrap<SuppressElement>(lit("a")), "a", 0, "end=1 []"},
      {"suppress", wrap<SuppressElement>(lit("a")), "b", 0, "fail@0: Suppress: no match"},
      // Suppress matches through try_match_at, so its child's departure shows in parse_impl.
      {"suppress of a departing child", wrap<SuppressElement>(wrap<OneOrMoreElement>(wrap<OptionalElement>(lit("a")))),
       "b", 0, "end=0 []"},
      {"combine", wrap<CombineElement>(seq_ab()), "ab", 0, "end=2 ['ab']"},
      {"combine parses without skipping", wrap<CombineElement>(seq_ab()), "a b", 0, "fail@1: Expected 'b'"},
      {"combine of a repetition", wrap<CombineElement>(wrap<ZeroOrMoreElement>(lit("a"))), "aa a", 0,
       "end=2 ['aa']"},
      {"combine of a suppress skips inside it", wrap<CombineElement>(wrap<SuppressElement>(seq_ab())), "a b", 0,
       "end=3 ['a b']"},
      {"combine in a sequence", over<AndElement>({lit("x"), wrap<CombineElement>(seq_ab())}), "x ab", 0,
       "end=4 ['x', 'ab']"},
      {"skip to", wrap<SkipToElement>(lit("x")), "abx", 0, "end=2 ['ab']"},
      {"skip to", wrap<SkipToElement>(lit("x")), "xab", 0, "end=0 ['']"},
      {"skip to", wrap<SkipToElement>(lit("x")), "a x", 0, "end=2 ['a ']"},
      {"skip to the end", wrap<SkipToElement>(ElementRef::make<StringEndElement>()), "abc", 0, "end=3 ['abc']"},
      {"skip to", wrap<SkipToElement>(lit("z")), "abc", 0, "fail@0: SkipTo: target not found"},
      {"skip to uses the target's try_match_at", wrap<SkipToElement>(wrap<OneOrMoreElement>(wrap<OptionalElement>(lit("q")))),
       "ab", 0, "end=0 ['']"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

// Combine and SkipTo cut tokens out of the text, so their bounds must fall between
// characters (the rules are stated in structure.cpp).
TEST(ShapingKinds, TokenBoundsNeverFallInsideACharacter) {
  const ElementRef suppressed_char = wrap<SuppressElement>(new_char_element(kEAcute));
  const RoadCase cases[] = {
      // The Suppress ends after one byte of é; Combine carries the end to the character's end.
      {"combine end carried", wrap<CombineElement>(suppressed_char), kEAcute + "x", 0, "end=2 ['" + kEAcute + "']"},
      {"combine start inside", wrap<CombineElement>(suppressed_char), kEAcute, 1,
       "fail@1: Combine: match starts inside a character"},
      {"empty combine inside", wrap<CombineElement>(empty()), kEAcute, 1, "end=1 ['']"},
      // Char of © holds the bytes C2 and A9; A9 also ends é, where the match is passed over.
      {"skip to passes over a match inside a character", wrap<SkipToElement>(new_char_element(kCopyright)),
       "a" + kEAcute + kCopyright, 0, "end=3 ['a" + kEAcute + "']"},
      {"skip to from inside: an empty skip", wrap<SkipToElement>(empty()), kEAcute, 1, "end=1 ['']"},
      {"skip to from inside: nothing further", wrap<SkipToElement>(ElementRef::make<StringEndElement>()), kEAcute, 1,
       "fail@1: SkipTo: target not found"},
      {"skip to the end over a character", wrap<SkipToElement>(ElementRef::make<StringEndElement>()), kEAcute, 0,
       "end=2 ['" + kEAcute + "']"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

TEST(Combinators, PassAChildsFailureOnUnchanged) {
  const ElementRef b = lit("b");
  const SharedString& b_message = static_cast<const LiteralElement&>(*b).message;
  const ElementRef passing[] = {
      over<AndElement>({lit("a"), b}),
      over<MatchFirstElement>({lit("q"), over<AndElement>({lit("a"), b})}),
      wrap<ExactlyElement>(over<AndElement>({lit("a"), b}), uint64_t{1}),
      wrap<GroupElement>(over<AndElement>({lit("a"), b})),
      wrap<CombineElement>(over<AndElement>({lit("a"), b})),
  };
  for (const ElementRef& e : passing) {
    ParseContext ctx{"ax", 2, 1};
    ParseOutcome o = e->parse_impl(ctx, 0);
    ASSERT_FALSE(o.ok);
    EXPECT_EQ(o.error.position, 1u);
    EXPECT_TRUE(o.error.message.same_block(b_message)) << o.error.message.view();
  }
}

TEST(Combine, RestoresTheContextFlagOnEveryPath) {
  const ElementRef c = wrap<CombineElement>(seq_ab());
  for (const char* text : {"ab", "a b"}) {
    for (uint8_t flag : {uint8_t{0}, uint8_t{1}}) {
      ParseContext ctx{text, std::char_traits<char>::length(text), flag};
      (void)c->parse_impl(ctx, 0);
      EXPECT_EQ(ctx.skip_whitespace, flag);
    }
  }
}

// A combinator skips whitespace before itself whatever its child answers (here a child that
// does not skip).
TEST(Combinators, SkipWhitespaceWhateverTheirChildAnswers) {
  const ElementRef child = ElementRef::make<RestOfLineElement>();
  const ElementRef combinators[] = {
      over<AndElement>({child}),    over<MatchFirstElement>({child}), wrap<OptionalElement>(child),
      wrap<ZeroOrMoreElement>(child), wrap<OneOrMoreElement>(child),   wrap<ExactlyElement>(child, uint64_t{1}),
      wrap<GroupElement>(child),    wrap<SuppressElement>(child),     wrap<CombineElement>(child),
      wrap<SkipToElement>(child),
  };
  for (const ElementRef& e : combinators) EXPECT_TRUE(e->skips_whitespace());
}

// A stack-guard stop is known by its kind, not its text: a child that fails with the
// guard's very message as an ordinary mismatch is an ordinary miss, and the alternation
// goes on to its next alternative.
class FailsWithTheGuardsText final : public ParserElement {
 public:
  ParseOutcome parse_impl(ParseContext&, uint64_t pos) const noexcept override {
    return ParseOutcome::fixed_failure(kNestingTooDeepMessage, pos);
  }
  Match try_match_at(const char*, uint64_t, uint64_t) const noexcept override { return Match::none(); }
  ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

TEST(Combinators, TellAStackGuardStopByItsKind) {
  const ElementRef mimic = ElementRef::make<FailsWithTheGuardsText>();
  const RoadCase cases[] = {
      {"alternation", over<MatchFirstElement>({mimic, lit("a")}), "a", 0, "end=1 ['a']"},
      {"optional", wrap<OptionalElement>(mimic), "a", 0, "end=0 []"},
      {"repetition", wrap<ZeroOrMoreElement>(mimic), "a", 0, "end=0 []"},
  };
  for (const RoadCase& c : cases) testing::check_roads(c);
}

}  // namespace
}  // namespace vantorel
