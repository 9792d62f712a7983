// Forward: late targets, recursive grammars, the left-recursion and stack guards, and the
// lock under recursion and re-targeting from other threads.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "elements/forward.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::lit;
using testing::match_at;
using testing::over;
using testing::parse_at;
using testing::wrap;

using testing::forward;

const ForwardElement& as_forward(const ElementRef& e) { return static_cast<const ForwardElement&>(*e); }
void set(const ElementRef& f, ElementRef target) { testing::set_target(f, std::move(target)); }

TEST(ForwardElement, FailsUntilSetAndFollowsEveryNewTarget) {
  const ElementRef f = forward();
  EXPECT_EQ(parse_at(*f, "abc", 1), "fail@1: Forward not initialized");
  EXPECT_EQ(match_at(*f, "abc", 1), std::nullopt);
  EXPECT_FALSE(as_forward(f).target());

  const ElementRef seq = over<AndElement>({lit("a"), f});  // built before the target exists
  set(f, lit("b"));
  EXPECT_EQ(parse_at(*seq, "a b", 0), "end=3 ['a', 'b']");
  set(f, lit("c"));
  EXPECT_EQ(parse_at(*seq, "a b", 0), "fail@2: Expected 'c'");
  EXPECT_EQ(parse_at(*seq, "a c", 0), "end=3 ['a', 'c']");
  testing::expect_roads_agree(*seq, "a c", 0);

  // The skip before a Forward is its parent's, whatever the target answers.
  set(f, ElementRef::make<RestOfLineElement>());
  EXPECT_TRUE(f->skips_whitespace());
  EXPECT_EQ(f->kind(), ElementKind::Complex);
  EXPECT_EQ(parse_at(*seq, "a  xy", 0), "end=5 ['a', 'xy']");
}

TEST(ForwardElement, PassesTheTargetsFailureOnUnchanged) {
  const ElementRef f = forward();
  const ElementRef b = lit("b");
  set(f, over<AndElement>({lit("a"), b}));
  ParseContext ctx{"ax", 2, 1};
  ParseOutcome o = f->parse_impl(ctx, 0);
  ASSERT_FALSE(o.ok);
  EXPECT_EQ(o.error.position, 1u);
  EXPECT_TRUE(o.error.message.same_block(static_cast<const LiteralElement&>(*b).message));
}

TEST(ForwardElement, ReplacingTheTargetReleasesTheOldOne) {
  const ElementRef f = forward();
  ElementRef old_target = lit("a");
  set(f, old_target);
  EXPECT_EQ(old_target.use_count(), 2u);
  set(f, lit("b"));
  EXPECT_EQ(old_target.use_count(), 1u);
}

// The flat road's tokens and failures borrow bytes from the elements below a Forward. The
// results keep the target alive, so a re-target after the match (which another thread may
// make once the read lock is released) leaves them valid.
TEST(ForwardElement, FlatResultsKeepTheTargetTheyReadFrom) {
  const ElementRef f = forward();
  set(f, over<AndElement>({lit("ab"), lit("cd")}));  // the target's only handle is f's
  const ElementRef target = as_forward(f).target();
  const std::string hit = "ab cd";
  const std::string miss = "ab x";
  ParseContext hit_ctx{hit.data(), hit.size(), 1};
  ParseContext miss_ctx{miss.data(), miss.size(), 1};
  FlatResults tokens;
  FlatResults failure;
  ASSERT_TRUE(f->parse_into(hit_ctx, 0, tokens).matched);
  ASSERT_FALSE(f->parse_into(miss_ctx, 0, failure).matched);
  EXPECT_EQ(target.use_count(), 4u);  // f, `target`, and one per results
  set(f, lit("x"));
  EXPECT_EQ(target.use_count(), 3u);
  EXPECT_EQ(testing::describe(tokens), "['ab', 'cd']");
  EXPECT_EQ(failure.error().message, "Expected 'cd'");
}

// The entries of a recursive grammar inside its own match run under the outermost entry's
// hold: its target, kept by the results, holds the bytes every token borrows, also once the
// Forward is re-targeted and no other handle to that target is left.
TEST(ForwardElement, RecursiveEntriesBorrowFromTheTargetTheOutermostEntryKept) {
  const ElementRef f = forward();
  set(f, over<AndElement>({lit("ab"), wrap<OptionalElement>(f)}));  // f <<= "ab" + Optional(f)
  ElementRef target = as_forward(f).target();
  const std::string text = "ab ab  ab";
  ParseContext ctx{text.data(), text.size(), 1};
  FlatResults tokens;
  ASSERT_TRUE(f->parse_into(ctx, 0, tokens).matched);
  EXPECT_EQ(target.use_count(), 3u);  // f, `target`, and `tokens` once
  target.reset();
  set(f, lit("x"));
  EXPECT_EQ(testing::describe(tokens), "['ab', 'ab', 'ab']");
  EXPECT_EQ(testing::parse_into_at(*f, "x", 0), "end=1 ['x']");
}

// However many Forwards a parse runs through, and however often, each target is kept once.
TEST(ForwardElement, FlatResultsKeepEachTargetOnce) {
  constexpr int kForwards = 20;
  std::vector<ElementRef> forwards;
  for (int i = 0; i < kForwards; ++i) forwards.push_back(forward());
  std::vector<ElementRef> targets;
  for (int i = 0; i < kForwards; ++i) {
    targets.push_back(over<AndElement>({lit("a"), wrap<OptionalElement>(forwards[(i + 1) % kForwards])}));
    set(forwards[i], targets.back());
  }
  std::string text;
  for (int i = 0; i < 5 * kForwards; ++i) text += "a ";
  ParseContext ctx{text.data(), text.size(), 1};
  FlatResults out;
  ASSERT_TRUE(forwards[0]->parse_into(ctx, 0, out).matched);
  EXPECT_EQ(out.token_count(), 5u * kForwards);
  for (const ElementRef& t : targets) EXPECT_EQ(t.use_count(), 3u);  // its Forward, `targets`, `out`
}

TEST(RecursiveGrammar, ParsesNestedInput) {
  // f <<= a + Optional(f)
  const ElementRef f = forward();
  set(f, over<AndElement>({lit("a"), wrap<OptionalElement>(f)}));
  EXPECT_EQ(parse_at(*f, "a a a", 0), "end=5 ['a', 'a', 'a']");
  testing::expect_roads_agree(*f, "a a a", 0);
}

// Arithmetic expressions: numbers, + - * /, and parentheses that become groups.
struct Arithmetic {
  ElementRef expr = forward();
  Arithmetic() {
    const ElementRef number = wrap<CombineElement>(wrap<OneOrMoreElement>(new_char_element("0123456789")));
    const ElementRef parens = wrap<GroupElement>(
        over<AndElement>({wrap<SuppressElement>(lit("(")), expr, wrap<SuppressElement>(lit(")"))}));
    const ElementRef factor = over<MatchFirstElement>({number, parens});
    const ElementRef term =
        over<AndElement>({factor, wrap<ZeroOrMoreElement>(over<AndElement>({new_char_element("*/"), factor}))});
    set(expr, over<AndElement>({term, wrap<ZeroOrMoreElement>(over<AndElement>({new_char_element("+-"), term}))}));
  }
};

TEST(RecursiveGrammar, ParsesArithmeticExpressions) {
  const Arithmetic g;
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"12", "end=2 ['12']"},
      {" 1 + 2*(3 - 4) ", "end=14 ['1', '+', '2', '*', ['3', '-', '4']]"},
      {"((7))", "end=5 [[['7']]]"},
      // Greedy and final: the repetition stops before '+ (2'; the sequence ends where its last
      // child, the empty repetition, ran: after the skip.
      {"1 + (2", "end=2 ['1']"},
      {"+1", "fail@0: Suppress: no match"},  // the last alternative's failure
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_at(*g.expr, c.text, 0), c.expected);
    testing::expect_roads_agree(*g.expr, c.text, 0);
  }
  const std::string nested = std::string(1000, '(') + "1" + std::string(1000, ')');
  EXPECT_EQ(match_at(*g.expr, nested, 0), nested.size());
  ParseContext ctx{nested.data(), nested.size(), 1};
  EXPECT_TRUE(g.expr->parse_impl(ctx, 0).ok);
}

// Left recursion fails on the re-entry itself, so alternations go on to their next
// alternative at once.
TEST(LeftRecursion, FailsTheReentryAndLetsOtherAlternativesMatch) {
  const std::string message = "fail@0: " + std::string(kLeftRecursionMessage);
  {
    const ElementRef f = forward();
    set(f, f);  // f <<= f
    EXPECT_EQ(parse_at(*f, "abc", 0), message);
    EXPECT_EQ(parse_at(*f, "abc", 3), "fail@3: " + std::string(kLeftRecursionMessage));
    EXPECT_EQ(match_at(*f, "abc", 0), std::nullopt);
  }
  {
    const ElementRef f = forward();  // f <<= f + a | b
    set(f, over<MatchFirstElement>({over<AndElement>({f, lit("a")}), lit("b")}));
    EXPECT_EQ(parse_at(*f, "b a", 0), "end=1 ['b']");
    testing::expect_roads_agree(*f, "b a", 0);
  }
  {
    // f <<= f + a | f + b | c: without the re-entry check this explores every alternative
    // at every level until a depth limit, exponentially often.
    const ElementRef f = forward();
    set(f, over<MatchFirstElement>({over<AndElement>({f, lit("a")}), over<AndElement>({f, lit("b")}), lit("c")}));
    EXPECT_EQ(parse_at(*f, "c a", 0), "end=1 ['c']");
    testing::expect_roads_agree(*f, "c a", 0);
  }
  {
    // Mutual: f <<= g + a | x, g <<= f + b | y.
    const ElementRef f = forward();
    const ElementRef g = forward();
    set(f, over<MatchFirstElement>({over<AndElement>({g, lit("a")}), lit("x")}));
    set(g, over<MatchFirstElement>({over<AndElement>({f, lit("b")}), lit("y")}));
    EXPECT_EQ(parse_at(*f, "y a", 0), "end=3 ['y', 'a']");
    testing::expect_roads_agree(*f, "y a", 0);
  }
  {
    // Through Combine (parse road without the skip) and Suppress (try_match_at road).
    const ElementRef f = forward();
    set(f, over<MatchFirstElement>({wrap<CombineElement>(f), wrap<SuppressElement>(f), lit("a")}));
    EXPECT_EQ(parse_at(*f, "a", 0), "end=1 ['a']");
    testing::expect_roads_agree(*f, "a", 0);
  }
  {
    // The re-entry is cut whichever operation made it: a Suppress runs its child's
    // try_match_at inside parse_impl, and parse_impl must not expand the grammar one level
    // further than try_match_at does. s <<= Suppress(s) + x | a.
    const ElementRef s = forward();
    set(s, over<MatchFirstElement>({over<AndElement>({wrap<SuppressElement>(s), lit("x")}), lit("a")}));
    EXPECT_EQ(parse_at(*s, "ax", 0), "end=1 ['a']");
    EXPECT_EQ(match_at(*s, "ax", 0), 1u);
  }
  {
    // A repetition of a self-reference that consumes nothing ends too.
    const ElementRef f = forward();
    set(f, wrap<ZeroOrMoreElement>(over<AndElement>({wrap<OptionalElement>(f), lit("a")})));
    EXPECT_EQ(parse_at(*f, "a a", 0), "end=1 ['a']");
    testing::expect_roads_agree(*f, "a a", 0);
  }
}

std::string nested_parens(size_t depth) { return std::string(depth, '(') + "1" + std::string(depth, ')'); }

// Deep nesting runs into the stack guard: the parse fails with its message (the position is
// where the nesting ran out), try_match_at reports no match, and nothing overflows. Where
// the compiler turns a combinator's last call into a jump (Group's try_match_at), that road
// uses no stack per level and may give the true answer instead: `match_end` then.
void expect_too_deep(const ParserElement& e, const std::string& text,
                     std::optional<uint64_t> match_end = std::nullopt) {
  ParseContext ctx{text.data(), text.size(), 1};
  ParseOutcome o = e.parse_impl(ctx, 0);
  ASSERT_FALSE(o.ok);
  EXPECT_TRUE(o.error.is_too_deep());
  EXPECT_EQ(o.error.message.view(), kNestingTooDeepMessage);
  EXPECT_LE(o.error.position, text.size());
  const Match m = e.try_match_at(text.data(), text.size(), 0);
  if (m.matched && match_end) {
    EXPECT_EQ(m.end, *match_end);
  } else {
    EXPECT_FALSE(m.matched);
    EXPECT_TRUE(m.is_too_deep());
  }
  StartOutcome s = e.parse_from_start(text.data(), text.size());
  ASSERT_FALSE(s.ok);
  EXPECT_TRUE(s.error.is_too_deep());
  // The flat road's frames are smaller: a chain it can hold all the way down it parses.
  FlatResults out;
  const Match f = e.parse_into(ctx, 0, out);
  if (f.matched && match_end) {
    EXPECT_EQ(f.end, *match_end);
  } else {
    EXPECT_FALSE(f.matched);
    EXPECT_TRUE(out.failed_too_deep());
    EXPECT_LE(out.error().position, text.size());
    EXPECT_EQ(out.size(), 0u);
  }
}

TEST(StackGuard, DeeplyNestedInputFailsCleanly) {
  const Arithmetic g;
  expect_too_deep(*g.expr, nested_parens(100'000));
}

// A guard failure is final: no alternative, Optional or repetition turns it into a shorter
// success, and the unwinding does not re-explore the other recursive alternatives (which
// would take exponential time here).
TEST(StackGuard, TheFailureIsNotSwallowedByEnclosingCombinators) {
  const ElementRef f = forward();
  set(f, wrap<ZeroOrMoreElement>(over<AndElement>({lit("("), f, lit(")")})));
  expect_too_deep(*f, nested_parens(100'000));

  const ElementRef h = forward();
  set(h, over<MatchFirstElement>({over<AndElement>({lit("("), h, lit(")")}),
                                  over<AndElement>({lit("("), h, lit("]")}),
                                  wrap<OptionalElement>(over<AndElement>({lit("("), wrap<SkipToElement>(h)})), lit("1")}));
  expect_too_deep(*h, nested_parens(100'000));
  const ElementRef suppressed = wrap<SuppressElement>(h);
  expect_too_deep(*suppressed, nested_parens(100'000));
  const ElementRef combined = wrap<CombineElement>(h);
  expect_too_deep(*combined, nested_parens(100'000));
}

TEST(StackGuard, ADeepChainWithoutForwardFailsCleanly) {
  ElementRef chain = lit("a");
  for (int i = 0; i < 100'000; ++i) chain = wrap<GroupElement>(std::move(chain));
  expect_too_deep(*chain, "a", 1);
  // One the flat road cannot hold either: it stops as cleanly, with nothing left behind.
  ElementRef long_chain = lit("a");
  for (int i = 0; i < 2'000'000; ++i) long_chain = wrap<GroupElement>(std::move(long_chain));
  ParseContext ctx{"a", 1, 1};
  FlatResults out;
  EXPECT_FALSE(long_chain->parse_into(ctx, 0, out).matched);
  EXPECT_TRUE(out.failed_too_deep());
  EXPECT_EQ(out.size(), 0u);
  ElementRef opt_chain = lit("a");
  for (int i = 0; i < 100'000; ++i) opt_chain = wrap<OptionalElement>(std::move(opt_chain));
  expect_too_deep(*opt_chain, "a", 1);
}

// The guard reads each thread's own stack bounds: a thread with a small stack stops earlier,
// just as cleanly.
TEST(StackGuard, WorksOnAThreadWithASmallStack) {
  const Arithmetic g;
  const std::string text = nested_parens(100'000);
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
  struct Job {
    const Arithmetic* grammar;
    const std::string* text;
    bool too_deep = false;
  } job{&g, &text};
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* arg) -> void* {
                  auto* j = static_cast<Job*>(arg);
                  ParseContext ctx{j->text->data(), j->text->size(), 1};
                  ParseOutcome o = j->grammar->expr->parse_impl(ctx, 0);
                  j->too_deep = !o.ok && o.error.is_too_deep();
                  return nullptr;
                },
                &job),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_TRUE(job.too_deep);
}

// A target that, on its first run, lets a writer start, waits until the lock reports the
// writer waiting for this parse's read hold, and then re-enters the same Forward: with a
// lock that let waiting writers block new readers this would deadlock.
class ReenterWhileWriterWaits final : public ParserElement {
 public:
  ReenterWhileWriterWaits(const ForwardElement& f, std::atomic<int>& phase) noexcept : f_(f), phase_(phase) {}
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override {
    if (pos == ctx.length) return ParseOutcome::success(pos);
    if (phase_.load() == 0) {
      phase_.store(1);  // the writer may start now
      while (!f_.writer_waiting()) std::this_thread::yield();
    }
    return f_.parse_impl(ctx, pos + 1);
  }
  Match try_match_at(const char*, uint64_t, uint64_t pos) const noexcept override { return Match::at(pos); }
  ElementKind kind() const noexcept override { return ElementKind::Complex; }

 private:
  const ForwardElement& f_;
  std::atomic<int>& phase_;
};

TEST(ForwardLock, ARecursiveReaderIsNotBlockedByAWaitingWriter) {
  const ElementRef f = forward();
  std::atomic<int> phase{0};
  set(f, ElementRef::make<ReenterWhileWriterWaits>(as_forward(f), phase));
  std::thread writer([&] {
    while (phase.load() == 0) std::this_thread::yield();
    set(f, lit("x"));  // waits until the parse has released every read hold
    phase.store(2);
  });
  ParseContext ctx{"abc", 3, 1};
  ParseOutcome o = f->parse_impl(ctx, 0);
  writer.join();
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.end, 3u);
  EXPECT_EQ(phase.load(), 2);
  EXPECT_EQ(parse_at(*f, "x", 0), "end=1 ['x']");
}

TEST(ForwardLock, ParsesStayConsistentWhileAnotherThreadRetargets) {
  // f <<= a + Optional(f), switched back and forth between two equal targets.
  const ElementRef f = forward();
  const ElementRef one = over<AndElement>({lit("a"), wrap<OptionalElement>(f)});
  const ElementRef two = over<AndElement>({lit("a"), wrap<OptionalElement>(f)});
  set(f, one);
  const std::string text = "a a a a a a a a";
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::atomic<int> parses{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        parses.fetch_add(1);
        ParseContext ctx{text.data(), text.size(), 1};
        ParseOutcome o = f->parse_impl(ctx, 0);
        const Match m = f->try_match_at(text.data(), text.size(), 0);
        FlatResults flat;
        const Match into = f->parse_into(ctx, 0, flat);
        if (!o.ok || o.end != text.size() || o.results.size() != 8 || !m.matched || m.end != text.size() ||
            !into.matched || into.end != text.size() || flat.token_count() != 8) {
          failures.fetch_add(1);
        }
      }
    });
  }
  for (int i = 0; i < 2000 || (parses.load() < 4000 && i < 10'000'000); ++i) set(f, i % 2 == 0 ? two : one);
  stop.store(true);
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace vantorel
