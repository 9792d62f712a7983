// The engine's hot paths with the heap allocations they make: try_match_at of every kind
// (none but Combine and Regex's general mode may allocate), failures of the kinds with a
// stored message (none), literal successes (none: the cached results are shared and held
// in place), ParseResults of up to two tokens (no buffer), and the pieces of the batch
// roads that look at object addresses only. Every benchmark reports allocs/iter, counted
// by the replacement operator new below.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "batch/identity_cache.hpp"
#include "batch/input_pattern.hpp"
#include "elements/chars.hpp"
#include "elements/regex_element.hpp"
#include "elements/forward.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"

// ---- allocation counter ---------------------------------------------------------------
namespace {
std::atomic<uint64_t> g_allocations{0};

void* counted_alloc(std::size_t size) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

#include "counting_operator_new.hpp"

namespace {

using namespace vantorel;

// Reports the allocations made since `before` as allocs/iter.
void report_allocations(benchmark::State& state, uint64_t before) {
  const uint64_t made = g_allocations.load(std::memory_order_relaxed) - before;
  state.counters["allocs/iter"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
}

template <class T>
ElementRef over(std::vector<ElementRef> children) {
  return ElementRef::make<T>(std::move(children));
}
template <class T, class... Extra>
ElementRef wrap(ElementRef child, Extra... extra) {
  return ElementRef::make<T>(std::move(child), extra...);
}
ElementRef word(std::string_view init) { return new_word_element(init, nullptr); }
ElementRef regex(std::string_view pattern) { return make_regex_element(pattern).element; }

constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz";

// One element with a text it matches at 0 and a text it misses at 0.
struct Case {
  const char* name;
  ElementRef element;
  std::string hit;
  std::string miss;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = [] {
    std::vector<Case> c;
    c.push_back({"Literal", new_literal_element("gamma"), "gamma ray", "gammx ray"});
    c.push_back({"CaselessLiteral", new_caseless_literal_element("gamma"), "GaMmA ray", "gammx ray"});
    c.push_back({"Keyword", new_keyword_element("gamma"), "gamma ray", "gammax ray"});
    c.push_back({"CaselessKeyword", new_caseless_keyword_element("gamma"), "GAMMA ray", "gammax ray"});
    c.push_back({"Char", new_char_element("abc"), "b", "x"});
    c.push_back({"Word", word(kLetters), "identifier rest", "1abc"});
    const std::string_view backslash = "\\";
    c.push_back({"QuotedString", new_quoted_string_element("\"", &backslash, false, true), "\"a\\\"b\" x",
                 "\"unterminated"});
    c.push_back({"Regex/general", regex("[a-z]+[0-9]"), "abc1 x", "abc x"});
    c.push_back({"Regex/whitespace", regex("\\s+"), " \t x", "x"});
    c.push_back({"Regex/class", regex("[abc]"), "b", "x"});
    c.push_back({"rest_of_line", ElementRef::make<RestOfLineElement>(), "a line\nnext", "\x80"});
    c.push_back({"LineEnd", ElementRef::make<LineEndElement>(), "\nx", "x"});
    c.push_back({"And", over<AndElement>({new_literal_element("a"), word(kLetters), new_literal_element("=")}),
                 "a  bc =", "a  bc +"});
    c.push_back({"MatchFirst",
                 over<MatchFirstElement>({new_literal_element("x"), new_literal_element("y"), word(kLetters)}),
                 "word", "1"});
    c.push_back({"Optional", wrap<OptionalElement>(new_literal_element("a")), "a", "b"});
    c.push_back({"ZeroOrMore", wrap<ZeroOrMoreElement>(new_literal_element("a")), "a a a a b", "b"});
    c.push_back({"OneOrMore", wrap<OneOrMoreElement>(new_literal_element("a")), "a a a a b", "b"});
    c.push_back({"Exactly", wrap<ExactlyElement>(new_literal_element("a"), uint64_t{3}), "a a a", "a a b"});
    c.push_back({"Group", wrap<GroupElement>(new_literal_element("a")), "a", "b"});
    c.push_back({"Suppress", wrap<SuppressElement>(new_literal_element("a")), "a", "b"});
    c.push_back({"SkipTo", wrap<SkipToElement>(new_literal_element("x")), "abcdefx", "abcdefg"});
    const ElementRef f = ElementRef::make<ForwardElement>();
    static_cast<const ForwardElement&>(*f).forward_set(new_literal_element("a"));
    c.push_back({"Forward", f, "a", "b"});
    c.push_back({"Combine", wrap<CombineElement>(over<AndElement>({new_literal_element("a"), word(kLetters)})),
                 "abc", "a bc"});
    return c;
  }();
  return all;
}

// try_match_at at 0 of the hit text (range 1) or the miss text (range 0).
void BM_TryMatchAt(benchmark::State& state) {
  const Case& c = cases()[static_cast<size_t>(state.range(0))];
  const std::string& text = state.range(1) != 0 ? c.hit : c.miss;
  const uint64_t before = g_allocations.load(std::memory_order_relaxed);
  for (auto _ : state) {
    benchmark::DoNotOptimize(c.element->try_match_at(text.data(), text.size(), 0));
  }
  report_allocations(state, before);
  state.SetLabel(std::string(c.name) + (state.range(1) != 0 ? " hit" : " miss"));
}

// parse_impl at 0 of the hit text (range 1) or the miss text (range 0).
void BM_ParseImpl(benchmark::State& state) {
  const Case& c = cases()[static_cast<size_t>(state.range(0))];
  const std::string& text = state.range(1) != 0 ? c.hit : c.miss;
  const uint64_t before = g_allocations.load(std::memory_order_relaxed);
  for (auto _ : state) {
    ParseContext ctx{text.data(), text.size(), 1};
    ParseOutcome o = c.element->parse_impl(ctx, 0);
    benchmark::DoNotOptimize(o.end);
  }
  report_allocations(state, before);
  state.SetLabel(std::string(c.name) + (state.range(1) != 0 ? " hit" : " miss"));
}

void every_case(benchmark::internal::Benchmark* b) {
  for (int64_t i = 0; i < static_cast<int64_t>(cases().size()); ++i) {
    b->Args({i, 1});
    b->Args({i, 0});
  }
}
BENCHMARK(BM_TryMatchAt)->Apply(every_case);
BENCHMARK(BM_ParseImpl)->Apply(every_case);

// A sequence of k literals: up to two tokens stay in place, a third moves them to a buffer.
void BM_SequenceTokens(benchmark::State& state) {
  const auto k = static_cast<size_t>(state.range(0));
  std::vector<ElementRef> children;
  std::string text;
  for (size_t i = 0; i < k; ++i) {
    children.push_back(new_literal_element("ab"));
    text += "ab ";
  }
  const ElementRef seq = over<AndElement>(std::move(children));
  const uint64_t before = g_allocations.load(std::memory_order_relaxed);
  for (auto _ : state) {
    ParseContext ctx{text.data(), text.size(), 1};
    ParseOutcome o = seq->parse_impl(ctx, 0);
    benchmark::DoNotOptimize(o.results.size());
  }
  report_allocations(state, before);
}
BENCHMARK(BM_SequenceTokens)->Arg(1)->Arg(2)->Arg(3)->Arg(8);

// ---- a recursive grammar ------------------------------------------------------------------

// Arithmetic expressions as the ratio benchmark makes them: 9 to 19 operands at the top, 2
// to 4 inside parentheses, nesting up to 3, numbers such as 7, 12.05 or 31415.
std::string expression_text(std::mt19937& rng, int depth) {
  static constexpr double kGroupRate[] = {0.30, 0.25, 0.20};
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int n = depth == 0 ? between(9, 19) : between(2, 4);
  std::string text;
  for (int i = 0; i < n; ++i) {
    if (i != 0) {
      text += ' ';
      text += "+-*/"[between(0, 3)];
      text += ' ';
    }
    if (depth < 3 && unit(rng) < kGroupRate[depth]) {
      text += '(' + expression_text(rng, depth + 1) + ')';
      continue;
    }
    const double r = unit(rng);
    if (r < 0.55) {
      text += std::to_string(between(1, 999));
    } else if (r < 0.85) {
      const int cents = between(0, 99);
      text += std::to_string(between(0, 99)) + (cents < 10 ? ".0" : ".") + std::to_string(cents);
    } else {
      text += std::to_string(between(1000, 99999));
    }
  }
  return text;
}

// expr <<= operand + ZeroOrMore(one_of("+ - * /") + operand), where operand is a number
// Regex or a Group of a Suppressed "(", expr and a Suppressed ")".
ElementRef arithmetic_grammar() {
  const ElementRef expr = ElementRef::make<ForwardElement>();
  const ElementRef operand = over<MatchFirstElement>(
      {regex("[0-9]+(?:\\.[0-9]+)?"),
       wrap<GroupElement>(over<AndElement>({wrap<SuppressElement>(new_literal_element("(")), expr,
                                            wrap<SuppressElement>(new_literal_element(")"))}))});
  const ElementRef op = over<MatchFirstElement>({new_literal_element("+"), new_literal_element("-"),
                                                 new_literal_element("*"), new_literal_element("/")});
  static_cast<const ForwardElement&>(*expr).forward_set(
      over<AndElement>({operand, wrap<ZeroOrMoreElement>(over<AndElement>({op, operand}))}));
  return expr;
}

// The flat road of the arithmetic grammar over 2,000 expressions (range 0), or its
// try_match_at road (range 1): the engine's share of parse_string on a recursive grammar.
void BM_ArithmeticGrammar(benchmark::State& state) {
  const ElementRef grammar = arithmetic_grammar();
  std::mt19937 rng(236);
  std::vector<std::string> texts;
  for (int i = 0; i < 2000; ++i) texts.push_back(expression_text(rng, 0));
  const bool flat = state.range(0) == 0;
  const uint64_t before = g_allocations.load(std::memory_order_relaxed);
  for (auto _ : state) {
    for (const std::string& text : texts) {
      if (flat) {
        FlatResults out;
        const Match m = parse_from_start_into(*grammar, text.data(), text.size(), out);
        benchmark::DoNotOptimize(m.end + out.size());
      } else {
        benchmark::DoNotOptimize(grammar->try_match_at(text.data(), text.size(), 0));
      }
    }
  }
  report_allocations(state, before);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
  state.SetLabel(flat ? "parse_into" : "try_match_at");
}
BENCHMARK(BM_ArithmeticGrammar)->Arg(0)->Arg(1);

// ---- batch input patterns ------------------------------------------------------------------

std::vector<const void*> addresses(size_t n, size_t distinct, bool periodic) {
  static std::vector<int> objects(4096);
  std::vector<const void*> items(n);
  std::mt19937 rng(7);
  for (size_t i = 0; i < n; ++i) {
    const size_t which = periodic ? i % distinct : rng() % distinct;
    items[i] = &objects[which * 3];
  }
  return items;
}

// The uniform test and the input period over 100,000 items: one pass over the addresses
// each. Range 0: no period, 1: period 100, 2: a uniform list.
void BM_InputPeriod(benchmark::State& state) {
  const int64_t shape = state.range(0);
  const std::vector<const void*> items = addresses(100000, shape == 2 ? 1 : 100, shape != 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(is_uniform(items.data(), items.size()));
    benchmark::DoNotOptimize(detect_input_period(items.data(), items.size()).k);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * items.size()));
  state.SetLabel(shape == 0 ? "no period" : shape == 1 ? "period 100" : "uniform");
}
BENCHMARK(BM_InputPeriod)->Arg(0)->Arg(1)->Arg(2);

// The IdentityCache road of a count over 100,000 items drawn from `distinct` objects.
void BM_IdentityCache(benchmark::State& state) {
  const std::vector<const void*> items = addresses(100000, static_cast<size_t>(state.range(0)), false);
  const uint64_t before = g_allocations.load(std::memory_order_relaxed);
  for (auto _ : state) {
    IdentityCache<CountVerdict> cache;
    uint64_t misses = 0;
    for (const void* item : items) {
      const auto key = reinterpret_cast<uintptr_t>(item);
      const auto lookup = cache.find(key);
      if (lookup.hit) continue;
      ++misses;
      if (lookup.slot != IdentityCache<CountVerdict>::kNoSlot) cache.insert(lookup, key, CountVerdict::Matched);
    }
    benchmark::DoNotOptimize(misses);
  }
  report_allocations(state, before);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * items.size()));
}
BENCHMARK(BM_IdentityCache)->Arg(8)->Arg(31)->Arg(100);

}  // namespace
