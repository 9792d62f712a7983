// LiteralFinder: every search gives the leftmost occurrence inside its range, on the
// candidate road and after the finder has handed its searches to memmem.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text_ops/literal_finder.hpp"
#include "text_ops/periodic.hpp"

namespace vantorel {
namespace {

// The leftmost occurrence of lit inside text[from, to), by trying every position.
uint64_t naive_find(const std::string& lit, const std::string& text, uint64_t from, uint64_t to) {
  for (uint64_t p = from; p + lit.size() <= to; ++p) {
    if (text.compare(p, lit.size(), lit) == 0) return p;
  }
  return LiteralFinder::kNone;
}

// The non-overlapping occurrences that one finder reports, searching on behind each.
std::vector<uint64_t> all_hits(const std::string& lit, const std::string& text) {
  LiteralFinder finder(lit.data(), lit.size());
  std::vector<uint64_t> hits;
  for (uint64_t q = 0;;) {
    const uint64_t h = finder.find(text.data(), q, text.size());
    if (h == LiteralFinder::kNone) return hits;
    hits.push_back(h);
    q = h + lit.size();
  }
}

std::vector<uint64_t> naive_hits(const std::string& lit, const std::string& text) {
  std::vector<uint64_t> hits;
  for (uint64_t q = 0;;) {
    const uint64_t h = naive_find(lit, text, q, text.size());
    if (h == LiteralFinder::kNone) return hits;
    hits.push_back(h);
    q = h + lit.size();
  }
}

TEST(LiteralFinder, FindsTheLeftmostOccurrenceInEveryRange) {
  const std::string text = "abaabbaabab a\xc3\xa9" "ab";
  for (const std::string lit : {"a", "ab", "aab", "bab", "abab", "\xc3\xa9", "b a", "x", "abaabbaabab a"}) {
    SCOPED_TRACE(lit);
    for (uint64_t from = 0; from <= text.size(); ++from) {
      for (uint64_t to = from; to <= text.size(); ++to) {
        LiteralFinder finder(lit.data(), lit.size());
        ASSERT_EQ(finder.find(text.data(), from, to), naive_find(lit, text, from, to)) << from << ".." << to;
      }
    }
  }
}

// Texts full of false candidates: the first byte everywhere, the literal seldom. They are
// long enough to spend the finder's budget, so the later searches run on memmem.
TEST(LiteralFinder, AgreesAfterItsBudgetIsSpent) {
  struct Case {
    const char* what;
    std::string lit;
    std::string text;
  };
  std::mt19937 rng(3);
  std::string sparse(50000, 'a');
  for (int i = 0; i < 40; ++i) sparse.replace(rng() % (sparse.size() - 3), 3, "aab");
  std::string mixed;
  while (mixed.size() < 60000) mixed += (rng() % 50 == 0) ? "abcabd" : (rng() % 2 == 0 ? "ab" : "a");
  const Case cases[] = {
      {"runs of the first byte", "aab", sparse},
      {"first and last byte match, the middle not", "aXb", std::string(30000, 'a') + "aXb" + std::string(30000, 'b')},
      {"long literal in its own prefixes", std::string(40, 'a') + "b", std::string(20000, 'a') + std::string(40, 'a') + "b"},
      {"dense partial matches", "abcabd", mixed},
      {"two-byte literal", "ab", mixed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(all_hits(c.lit, c.text), naive_hits(c.lit, c.text));
    EXPECT_EQ(count_literal_occurrences(c.lit.data(), c.lit.size(), c.text.data(), c.text.size()),
              naive_hits(c.lit, c.text).size());
  }
}

}  // namespace
}  // namespace vantorel
