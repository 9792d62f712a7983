// Regex matching through the element and the adapter against direct RE2 calls on the same
// RE2 program text: an anchored match at every position of a text, and the iteration over
// all matches of a whole text. The front end works only at construction, so the pairs
// should run at the same speed.
#include <benchmark/benchmark.h>
#include <re2/re2.h>

#include <cstdint>
#include <random>
#include <string>

#include "elements/chars.hpp"
#include "elements/regex_adapter.hpp"

namespace {

using vantorel::RegexBuild;
using vantorel::RegexElement;

// A deterministic text of words, numbers and punctuation; with `unicode`, a third of the
// words are Greek or accented Latin.
std::string make_text(size_t bytes, bool unicode) {
  std::mt19937 rng(12345);
  static const char* kWords[] = {"foo", "bar", "baz", "alpha", "regex", "engine", "aaa", "a", "banana", "qux"};
  static const char* kUnicodeWords[] = {"\xCE\xB1\xCE\xBB\xCF\x86\xCE\xB1", "caf\xC3\xA9", "na\xC3\xAFve",
                                        "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82"};
  std::string t;
  while (t.size() < bytes) {
    const unsigned r = rng() % 100;
    if (r < 10) {
      t += std::to_string(rng() % 100000);
    } else if (unicode && r < 40) {
      t += kUnicodeWords[rng() % 4];
    } else {
      t += kWords[rng() % 10];
    }
    t += (rng() % 8 == 0) ? ", " : " ";
  }
  return t;
}

const char* kPatterns[] = {"a+", "[a-z]+", "\\d+", "foo|bar|baz", "(?u)\\w+"};

struct Fixture {
  RegexBuild build;
  std::string text;
  std::unique_ptr<RE2> direct_anchored;
  std::unique_ptr<RE2> direct_unanchored;

  explicit Fixture(int index) : build(vantorel::make_regex_element(kPatterns[index])), text(make_text(1 << 20, index == 4)) {
    const auto& e = element();
    RE2::Options o;
    o.set_log_errors(false);
    o.set_never_capture(true);
    direct_anchored = std::make_unique<RE2>(e.anchored->re2_pattern(), o);
    direct_unanchored = std::make_unique<RE2>(e.unanchored->re2_pattern(), o);
  }
  [[nodiscard]] const RegexElement& element() const { return static_cast<const RegexElement&>(*build.element); }
};

Fixture& fixture(int index) {
  static Fixture* fixtures[5] = {};
  if (fixtures[index] == nullptr) fixtures[index] = new Fixture(index);
  return *fixtures[index];
}

constexpr uint64_t kPositions = 1 << 16;  // the anchored benchmarks try the first 64 KiB

void BM_AnchoredOurs(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)));
  const char* text = f.text.data();
  const uint64_t n = f.text.size();
  uint64_t hits = 0;
  for (auto _ : state) {
    for (uint64_t p = 0; p < kPositions; ++p) {
      const vantorel::Match m = f.element().try_match_at(text, n, p);
      hits += m.matched ? m.end : 0;
    }
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPositions));
  state.SetLabel(kPatterns[state.range(0)]);
}

// The adapter's anchored call alone, with the element's inside-a-character rule.
void BM_AnchoredAdapter(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)));
  const char* text = f.text.data();
  const uint64_t n = f.text.size();
  const vantorel::regex::Expression& anchored = *f.element().anchored;
  uint64_t hits = 0;
  for (auto _ : state) {
    for (uint64_t p = 0; p < kPositions; ++p) {
      if ((static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) continue;
      uint64_t end;
      if (anchored.match_prefix(text + p, n - p, &end)) hits += p + end;
    }
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPositions));
  state.SetLabel(kPatterns[state.range(0)]);
}

void BM_AnchoredDirect(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)));
  const char* text = f.text.data();
  const uint64_t n = f.text.size();
  uint64_t hits = 0;
  for (auto _ : state) {
    for (uint64_t p = 0; p < kPositions; ++p) {
      // The same work the element does: no RE2 call inside a character, else a sub-text match.
      if ((static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) continue;
      re2::StringPiece m;
      const re2::StringPiece sub(text + p, n - p);
      if (f.direct_anchored->Match(sub, 0, n - p, RE2::UNANCHORED, &m, 1)) hits += p + (m.data() - sub.data()) + m.size();
    }
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPositions));
  state.SetLabel(kPatterns[state.range(0)]);
}

void BM_IterateOurs(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)));
  uint64_t count = 0;
  for (auto _ : state) {
    vantorel::regex::MatchIterator it(*f.element().unanchored, f.text.data(), f.text.size());
    uint64_t s;
    uint64_t e;
    while (it.next(&s, &e)) ++count;
  }
  benchmark::DoNotOptimize(count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.text.size()));
  state.SetLabel(kPatterns[state.range(0)]);
}

// The iteration rule written directly on RE2 (leftmost-first, no empty match inside a
// character, an empty match at the previous end skipped).
void BM_IterateDirect(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)));
  const char* text = f.text.data();
  const size_t n = f.text.size();
  const re2::StringPiece whole(text, n);
  uint64_t count = 0;
  auto next = [&](size_t from, size_t& s, size_t& e) {
    while (from <= n) {
      re2::StringPiece m;
      if (!f.direct_unanchored->Match(whole, from, n, RE2::UNANCHORED, &m, 1)) return false;
      s = static_cast<size_t>(m.data() - text);
      e = s + m.size();
      if (s == e && s < n && (static_cast<unsigned char>(text[s]) & 0xC0) == 0x80) {
        from = s + 1;
        continue;
      }
      return true;
    }
    return false;
  };
  for (auto _ : state) {
    size_t from = 0;
    size_t s;
    size_t e;
    bool has_last = false;
    size_t last_end = 0;
    while (next(from, s, e)) {
      if (s == e && has_last && last_end == e && !next(from + 1, s, e)) break;
      ++count;
      from = e;
      last_end = e;
      has_last = true;
    }
  }
  benchmark::DoNotOptimize(count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
  state.SetLabel(kPatterns[state.range(0)]);
}

BENCHMARK(BM_AnchoredOurs)->DenseRange(0, 4);
BENCHMARK(BM_AnchoredAdapter)->DenseRange(0, 4);
BENCHMARK(BM_AnchoredDirect)->DenseRange(0, 4);
BENCHMARK(BM_IterateOurs)->DenseRange(0, 4);
BENCHMARK(BM_IterateDirect)->DenseRange(0, 4);

}  // namespace
