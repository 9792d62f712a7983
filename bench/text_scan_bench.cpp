// The counts behind search_string_count on a plain and on a periodic text of about 1 MiB:
// the literal count (periodic road against the plain search, and texts dense with
// occurrences or with false candidates), the Word count (periodic shortcut against the
// one-pass count), the keyword count, the closed formulas of LineEnd and Char, and the
// byte-stepping scan with a leaf and a sequence matcher. The periodic roads should not
// grow with the text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "elements/chars.hpp"
#include "elements/literals.hpp"
#include "elements/structure.hpp"
#include "text_ops/counts.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/periodic.hpp"
#include "text_ops/word_scan.hpp"

namespace {

using namespace vantorel;

std::string random_text(size_t bytes) {
  std::mt19937 rng(99);
  static const char* kWords[] = {"if", "else", "gamma", "delta", "x1", "ifx", "xif", "word", "a", "bb"};
  std::string t;
  while (t.size() < bytes) {
    t += kWords[rng() % 10];
    t += rng() % 9 == 0 ? "\n" : " ";
  }
  return t;
}

std::string periodic_text(size_t bytes) {
  std::string t;
  while (t.size() < bytes) t += "if gamma delta word ";
  t.resize(bytes);
  return t;
}

const std::string& text_for(int periodic) {
  static const std::string plain = random_text(1 << 20);
  static const std::string cyclic = periodic_text(1 << 20);
  return periodic != 0 ? cyclic : plain;
}

void BM_LiteralCount(benchmark::State& state) {
  const std::string& text = text_for(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(count_literal_occurrences("gamma", 5, text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LiteralCount)->Arg(0)->Arg(1);

// The literal count on texts that are hard for a first-byte search: occurrences every few
// bytes (range 0), and the first byte nearly everywhere with few occurrences (range 1). No
// period in either, so the whole text is searched.
void BM_LiteralCountDense(benchmark::State& state) {
  static const std::string dense = [] {
    std::mt19937 rng(5);
    std::string t;
    while (t.size() < (1 << 20)) t += rng() % 3 == 0 ? "abc, " : "abd ";
    return t;
  }();
  static const std::string false_candidates = [] {
    std::mt19937 rng(6);
    std::string t(1 << 20, 'a');
    for (int i = 0; i < 1000; ++i) t.replace(rng() % (t.size() - 3), 3, "aab");
    return t;
  }();
  const std::string& text = state.range(0) == 0 ? dense : false_candidates;
  const char* lit = state.range(0) == 0 ? "abc" : "aab";
  for (auto _ : state) benchmark::DoNotOptimize(count_literal_occurrences(lit, 3, text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetLabel(state.range(0) == 0 ? "dense occurrences" : "false candidates");
}
BENCHMARK(BM_LiteralCountDense)->Arg(0)->Arg(1);

void BM_WordCount(benchmark::State& state) {
  const std::string& text = text_for(static_cast<int>(state.range(0)));
  const ElementRef e = new_word_element("abcdefghijklmnopqrstuvwxyz", nullptr);
  const WordTables tables(static_cast<const WordElement&>(*e));
  for (auto _ : state) benchmark::DoNotOptimize(count_words(tables, text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_WordCount)->Arg(0)->Arg(1);

void BM_KeywordCount(benchmark::State& state) {
  const std::string& text = text_for(0);
  const ElementRef e = new_keyword_element("if");
  const auto& k = static_cast<const KeywordElement&>(*e);
  for (auto _ : state) benchmark::DoNotOptimize(count_keyword_occurrences(k, text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_KeywordCount);

// The closed formulas: line feeds (LineEnd) on lines of about 40 bytes, and Char's table
// of three members (compared) and of 26 (looked up).
void BM_LineFeedCount(benchmark::State& state) {
  static const std::string lines = [] {
    std::mt19937 rng(8);
    std::string t;
    while (t.size() < (1 << 20)) t += std::string(rng() % 80 + 1, 'x') + "\n";
    return t;
  }();
  for (auto _ : state) benchmark::DoNotOptimize(count_line_feeds(lines.data(), lines.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_LineFeedCount);

void BM_CharCount(benchmark::State& state) {
  const std::string& text = text_for(0);
  const ElementRef e = new_char_element(state.range(0) == 0 ? "abc" : "abcdefghijklmnopqrstuvwxyz");
  const auto& table = static_cast<const CharElement&>(*e).char_table;
  for (auto _ : state) benchmark::DoNotOptimize(count_table_bytes(table, text.data(), text.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CharCount)->Arg(0)->Arg(1);

void BM_ScanCaselessLiteral(benchmark::State& state) {
  const std::string& text = text_for(0);
  const ElementRef e = new_caseless_literal_element("GAMMA");
  const auto& c = static_cast<const CaselessLiteralElement&>(*e);
  for (auto _ : state) benchmark::DoNotOptimize(count_matches(c, text.data(), text.size()).count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ScanCaselessLiteral);

void BM_ScanSequence(benchmark::State& state) {
  const std::string& text = text_for(0);
  const ElementRef seq = ElementRef::make<AndElement>(
      std::vector<ElementRef>{new_literal_element("if"), new_word_element("abcdefghijklmnopqrstuvwxyz", nullptr)});
  for (auto _ : state) benchmark::DoNotOptimize(count_matches(*seq, text.data(), text.size()).count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ScanSequence);

}  // namespace
