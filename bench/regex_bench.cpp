// Regex matching through the element and the adapter against direct RE2 calls on the same
// RE2 program text: an anchored match at every position of a text, and the iteration over
// all matches of a whole text. The front end works only at construction, so the pairs
// should run at the same speed. Then the cost of construction itself, on patterns that
// stress the front end (set operations, case folding of large classes, nesting) and on
// patterns whose RE2 programs are large.
#include <benchmark/benchmark.h>
#include <re2/re2.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "elements/regex_element.hpp"
#include "elements/utf8.hpp"
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
      if (vantorel::is_inside_character(text, n, p)) continue;
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

// MatchIterator's order of matches written directly on RE2 (leftmost-first, no empty match inside a
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

// ---- assertions that read the characters around them ------------------------------------

// Word assertions inside a pattern (Unicode mode), CRLF-mode line anchors, and a leading
// assertion that rejects every candidate (whose matches would run to the end of the text),
// searched over texts of 1 and 4 MiB: the throughput stays the same as the text grows, so
// matching stays linear in the text's length.
enum class ContextText { Words, CrlfLines, Dashes };
struct ContextCase {
  const char* pattern;
  ContextText text;
};
const ContextCase kContextCases[] = {
    {"(?u)\\b\\w+\\b\\W+\\b\\w+\\b", ContextText::Words},
    {"(?mR)^(?:[a-z]+ ?)+$", ContextText::CrlfLines},
    {"(?u)\\B-.*", ContextText::Dashes},  // on a-a-a-...: no match
};

// The word text, with every ", " made a Windows line end.
std::string crlf_text(size_t bytes) {
  std::string t = make_text(bytes, false);
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i] == ',' && t[i + 1] == ' ') {
      t[i] = '\r';
      t[i + 1] = '\n';
    }
  }
  return t;
}

void BM_ContextIterate(benchmark::State& state) {
  const ContextCase& c = kContextCases[state.range(0)];
  const size_t bytes = static_cast<size_t>(state.range(1)) << 20;
  std::string text;
  switch (c.text) {
    case ContextText::Words: text = make_text(bytes, true); break;
    case ContextText::CrlfLines: text = crlf_text(bytes); break;
    case ContextText::Dashes:
      while (text.size() < bytes) text += "a-";
      break;
  }
  const RegexBuild b = vantorel::make_regex_element(c.pattern);
  const RegexElement& e = static_cast<const RegexElement&>(*b.element);
  uint64_t count = 0;
  for (auto _ : state) {
    vantorel::regex::MatchIterator it(*e.unanchored, text.data(), text.size());
    uint64_t s;
    uint64_t end;
    while (it.next(&s, &end)) ++count;
  }
  benchmark::DoNotOptimize(count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetLabel(std::string(c.pattern) + ", " + std::to_string(state.range(1)) + " MiB");
}

// ---- construction ---------------------------------------------------------------------

// `unit` repeated until the pattern would pass `bytes`, between `head` and `tail`.
std::string up_to(size_t bytes, const std::string& head, const std::string& unit, const std::string& tail) {
  std::string p = head;
  while (p.size() + unit.size() + tail.size() <= bytes) p += unit;
  return p + tail;
}

// `open` k times, `core`, `close` k times, as long as it fits in `bytes` and k <= `most`.
std::string nested_up_to(size_t bytes, const std::string& open, const std::string& core, const std::string& close,
                         size_t most = 1000) {
  size_t k = 0;
  while (k < most && (k + 1) * (open.size() + close.size()) + core.size() <= bytes) ++k;
  std::string p;
  for (size_t i = 0; i < k; ++i) p += open;
  p += core;
  for (size_t i = 0; i < k; ++i) p += close;
  return p;
}

struct ConstructionCase {
  const char* label;
  std::string pattern;
};

// The two patterns that once took seconds or rebuilt a table per construction, the two with
// large RE2 programs, and patterns of up to 1,000 bytes aimed at the front end's corners.
const std::vector<ConstructionCase>& construction_cases() {
  static const std::vector<ConstructionCase> cases = [] {
    std::string scripts_and;
    std::string scripts_xor;
    for (const char* s : {"Greek", "Latin", "Cyrillic", "Arabic", "Hebrew", "Han", "Thai", "Armenian", "Georgian",
                          "Cherokee", "Runic", "Ogham", "Tamil", "Khmer", "Lao", "Tibetan", "Hangul", "Bengali"}) {
      scripts_and += std::string(scripts_and.empty() ? "" : "&&") + "\\p{" + s + "}";
      scripts_xor += std::string(scripts_xor.empty() ? "" : "~~") + "\\p{" + s + "}";
    }
    std::string letters;  // every letter of Latin-1 and Latin Extended-A, as set operands
    for (uint32_t c = 0xC0; c < 0x17F; ++c) {
      letters += "~~";
      vantorel::append_utf8(letters, c);
    }
    return std::vector<ConstructionCase>{
        {"(?i)[\\pL~~a~~b~~c~~d~~e~~f~~g~~h~~i]", "(?i)[\\pL~~a~~b~~c~~d~~e~~f~~g~~h~~i]"},
        {"(?i)[α-ω--β]", "(?i)[\xCE\xB1-\xCF\x89--\xCE\xB2]"},
        {"\\pL{50}", "\\pL{50}"},
        {"^.{1,2500}", "^.{1,2500}"},
        {"1000B: (?i)[\\pL~~a~~b...] 240 terms", up_to(1000, "(?i)[\\pL", "~~a", "]").substr(0, 8 + 3 * 240) + "]"},
        {"1000B: (?i)[\\pL~~à~~á...] Latin letters", "(?i)[\\pL" + letters.substr(0, 990) + "]"},
        // 60 levels: as deep as the nesting limit allows.
        {"nested [\\pL--[\\pN--[...]]]", nested_up_to(1000, "[\\pL--[\\pN--", "a", "]]", 60)},
        {"(?iu) nested [\\w~~[\\d~~[...]]]", "(?iu)" + nested_up_to(995, "[\\w~~[\\d~~", "a", "]]", 60)},
        {"1000B: [\\p{Greek}&&\\p{Latin}&&...] scripts", up_to(1000, "[", "[" + scripts_and + "]", "]")},
        {"1000B: (?i)[\\p{Greek}~~\\p{Latin}~~...] scripts", up_to(1000, "(?i)[", "[" + scripts_xor + "]", "]")},
        {"1000B: (?i)[^\\pL] x n", up_to(1000, "", "(?i)[^\\pL]", "")},
        {"1000B: nested counts ((a{1,2}){1,2})...", nested_up_to(1000, "(?:", "a{1,2}", "){1,2}")},
        {"1000B: nested flag groups (?i:(?-i:...))", nested_up_to(1000, "(?i:(?-i:", "a", "))")},
        {"1000B: alternation \\pL\\b\\pN|...", up_to(1000, "", "\\pL\\b\\pN|", "x")},
        {"1000B: union of 300 literals and \\pL, (?i)", up_to(1000, "(?i)[\\pL", "\xCE\xB1\xCE\xB2", "--x]")},
        // Assertions spelled by the context pass.
        {"(?u)\\b\\w+\\b\\W+\\b\\w+\\b", kContextCases[0].pattern},
        {"(?mR)^(?:[a-z]+ ?)+$", kContextCases[1].pattern},
        {"(?u).*\\bfoo\\b", "(?u).*\\bfoo\\b"},
        // Properties read from the generated Unicode tables (kFirstPropertyCase on).
        {"\\p{Emoji}", "\\p{Emoji}"},
        {"\\p{scx=Deva}", "\\p{scx=Deva}"},
        {"\\p{Age=V6_0}", "\\p{Age=V6_0}"},
        {"(?i)\\p{Alphabetic}", "(?i)\\p{Alphabetic}"},
        {"[\\p{gcb=RI}\\p{wb=Hebrew_Letter}\\p{sb=Upper}--\\p{Extended_Pictographic}]",
         "[\\p{gcb=RI}\\p{wb=Hebrew_Letter}\\p{sb=Upper}--\\p{Extended_Pictographic}]"},
    };
  }();
  return cases;
}

constexpr int kFirstPropertyCase = 18;
constexpr int kConstructionCases = 23;

// One construction per iteration; the figure is the steady cost of a construction.
void BM_Construct(benchmark::State& state) {
  const ConstructionCase& c = construction_cases()[static_cast<size_t>(state.range(0))];
  bool built = false;
  for (auto _ : state) {
    RegexBuild b = vantorel::make_regex_element(c.pattern);
    built = static_cast<bool>(b.element);
    benchmark::DoNotOptimize(b.element);
  }
  state.SetLabel(std::string(c.label) + " (" + std::to_string(c.pattern.size()) + " B" + (built ? ")" : ", refused)"));
}

// The first construction of each property pattern, one run each, before anything else in
// the process has built a pattern: the Unicode tables are constant data, so nothing is built
// on first use and the first construction costs what the later ones cost (BM_Construct).
void BM_FirstConstruct(benchmark::State& state) {
  const ConstructionCase& c = construction_cases()[static_cast<size_t>(state.range(0))];
  for (auto _ : state) benchmark::DoNotOptimize(vantorel::make_regex_element(c.pattern).element);
  state.SetLabel(std::string(c.label) + (state.range(0) == kFirstPropertyCase ? " (first in the process)" : ""));
}

BENCHMARK(BM_FirstConstruct)->DenseRange(kFirstPropertyCase, kConstructionCases - 1)->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnchoredOurs)->DenseRange(0, 4);
BENCHMARK(BM_AnchoredAdapter)->DenseRange(0, 4);
BENCHMARK(BM_AnchoredDirect)->DenseRange(0, 4);
BENCHMARK(BM_IterateOurs)->DenseRange(0, 4);
BENCHMARK(BM_IterateDirect)->DenseRange(0, 4);
BENCHMARK(BM_ContextIterate)->ArgsProduct({{0, 1, 2}, {1, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Construct)->DenseRange(0, kConstructionCases - 1)->Unit(benchmark::kMillisecond);

}  // namespace
