// The byte DFA against RE2, its plain road: on random simple patterns and random UTF-8
// texts, the anchored match at every position, the search from every position and the
// iteration over the text give what RE2 gives; and the patterns it must leave to RE2.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "elements/regex_dfa.hpp"
#include "elements/regex_element.hpp"
#include "elements/utf8.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::regex_of;

// A random pattern over `atoms`: concatenation, alternation, groups, greedy and lazy
// repetitions, counted ones included, and flag groups.
std::string random_pattern(std::mt19937& rng, int depth, const std::vector<const char*>& atoms) {
  static const char* kOps[] = {"*",    "+",     "?",     "*?",    "+?",  "??",    "{2}",
                               "{0,2}", "{1,}", "{1,3}?", "{2,4}", "{3}", "{0,3}?"};
  static const char* kGroups[] = {"(", "(?:", "(?i:", "(?U:", "(?s:", "(?-i:"};
  const unsigned r = rng() % 10;
  if (depth == 0 || r < 3) return atoms[rng() % atoms.size()];
  if (r < 5) return random_pattern(rng, depth - 1, atoms) + random_pattern(rng, depth - 1, atoms);
  if (r < 7) return random_pattern(rng, depth - 1, atoms) + "|" + random_pattern(rng, depth - 1, atoms);
  const std::string group = kGroups[rng() % std::size(kGroups)] + random_pattern(rng, depth - 1, atoms) + ")";
  return r < 8 ? group : group + kOps[rng() % std::size(kOps)];
}

// The matches of the iteration over `text` through find_plain (RE2 alone), as "s-e,...".
std::string plain_spans(const regex::Expression& e, const std::string& text) {
  return testing::iterated_spans([&](uint64_t from, uint64_t* s, uint64_t* end) {
    return e.find_plain(text.data(), text.size(), from, s, end);
  });
}

std::optional<uint64_t> prefix_end(bool matched, uint64_t end) { return matched ? std::optional(end) : std::nullopt; }

TEST(RegexDfa, AgreesWithRe2OnRandomPatternsAndTexts) {
  const std::vector<const char*> atoms = {
      "a",        "b",       "A",       "\xC3\xA9", "1",      "-",          "[ab]",   "[^a]",       "[a-c]",
      ".",        "(?s).",   "\\d",     "\\w",      "\\s",    "[^\\n-]",    "(?i)a",  "(?i)[a-c]",  "(?i)\xC3\xA9",
      "(?i)k",    "[\\w&&\\D]", "[\xC3\xA0-\xC3\xBC]", "(?u)\\d", "[^\xE2\x82\xAC]", "\xE2\x82\xAC", "(?-u:\\w)",
      "(?u)\\s",  "[[:alpha:]]", "\\pN"};
  const std::vector<std::string> pieces = {"a", "b", "A", "\xC3\xA9", "\xC3\x89", "1", " ", "-", "\n",
                                           "\xC3\xBC", "\xE2\x82\xAC", "k", "K", "\xE2\x84\xAA", "\xD9\xA3"};
  std::mt19937 rng(4242);
  int with_dfa = 0;
  for (int i = 0; i < 2500; ++i) {
    const std::string pattern = random_pattern(rng, 3, atoms);
    const RegexBuild b = make_regex_element(pattern);
    ASSERT_TRUE(b.element) << pattern << ": " << b.error;
    const RegexElement& e = regex_of(b);
    if (e.unanchored->dfa() == nullptr) continue;
    ++with_dfa;
    ASSERT_EQ(e.anchored->dfa(), e.unanchored->dfa()) << pattern;
    ASSERT_LE(e.unanchored->dfa()->state_count(), regex::ByteDfa::kMaxStates);
    for (int k = 0; k < 8; ++k) {
      std::string text;
      for (unsigned m = rng() % 12; m > 0; --m) text += pieces[rng() % pieces.size()];
      SCOPED_TRACE("pattern /" + pattern + "/ on '" + text + "'");
      const uint64_t n = text.size();
      for (uint64_t pos = 0; pos <= n; pos = next_character_boundary(text.data(), n, pos + 1)) {
        uint64_t fast = 0;
        uint64_t plain = 0;
        const bool f = e.anchored->match_prefix(text.data() + pos, n - pos, &fast);
        const bool p = e.anchored->match_prefix_plain(text.data() + pos, n - pos, &plain);
        ASSERT_EQ(prefix_end(f, fast), prefix_end(p, plain)) << "anchored at " << pos;
        // No match begins at a byte outside the element's first bytes.
        if (pos < n && !e.first_bytes().contains(static_cast<unsigned char>(text[pos]))) {
          ASSERT_FALSE(p) << "a match at " << pos << " begins outside first_bytes";
        }
        uint64_t fs = 0;
        uint64_t fe = 0;
        uint64_t ps = 0;
        uint64_t pe = 0;
        const bool ff = e.unanchored->find(text.data(), n, pos, &fs, &fe);
        const bool pf = e.unanchored->find_plain(text.data(), n, pos, &ps, &pe);
        ASSERT_EQ(ff, pf) << "search from " << pos;
        if (ff) {
          ASSERT_EQ(std::make_pair(fs, fe), std::make_pair(ps, pe)) << "search from " << pos;
        }
      }
      ASSERT_EQ(testing::spans_of(*e.unanchored, text), plain_spans(*e.unanchored, text));
    }
  }
  // Most of these patterns are simple enough for a DFA; the rest exercise the refusals.
  EXPECT_GT(with_dfa, 1500);
}

TEST(RegexDfa, LeavesToRe2WhatItCannotAnswer) {
  struct Case {
    const char* pattern;
    bool dfa;
  };
  for (const Case& c : std::vector<Case>{
           {"[0-9]+(?:\\.[0-9]+)?", true},
           {"\"[^\"\\n]*\"", true},
           {"(?i)hello|world", true},
           {"a*", true},            // matches the empty text: anchored matching only
           {"(?:a|)*", false},      // a loop over a part that can match the empty text
           {"(?:a*b?)+", false},
           {"\\bfoo", false},       // assertions
           {"^a", false},
           {"a$", false},
           {"(?u)\\w+", false},     // too many states for the Unicode word class
           {"(?:a|b)*a(?:a|b){12}", false},  // exponentially many states
           {"a)|(b", false},        // escapes its group: two programs, no DFA
       }) {
    SCOPED_TRACE(c.pattern);
    const RegexBuild b = make_regex_element(c.pattern);
    ASSERT_TRUE(b.element) << b.error;
    EXPECT_EQ(regex_of(b).unanchored->dfa() != nullptr, c.dfa);
    // Without a DFA, or when the empty text matches, every byte may begin a match.
    if (!c.dfa || regex_of(b).unanchored->dfa()->matches_empty()) {
      EXPECT_EQ(regex_of(b).first_bytes(), ByteSet::all());
    }
  }
  EXPECT_EQ(regex_of(make_regex_element("[0-9]+(?:\\.[0-9]+)?")).first_bytes(), ByteSet::from_utf8_chars("0123456789"));
}

TEST(RegexDfa, CandidatesSkipBytesThatCannotBeginAMatch) {
  struct Case {
    const char* pattern;
    std::string text;
    std::vector<uint64_t> candidates;  // next_candidate from each position 0..n
  };
  for (const Case& c : std::vector<Case>{
           {"\"x", "a\"b\"", {1, 1, 3, 3, 4}},                  // one byte
           {"[0-9]+", "ab12cdefghijklmnopqr9", {2, 2, 2, 3, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20,
                                                 20, 20, 20, 20, 21}},  // a range, sixteen bytes at a time
           {"[ac]|\xC3\xA9", "b\xC3\xA9" "c", {1, 1, 3, 3, 4}},  // a table
       }) {
    SCOPED_TRACE(c.pattern);
    const RegexBuild b = make_regex_element(c.pattern);
    const regex::ByteDfa* dfa = regex_of(b).unanchored->dfa();
    ASSERT_NE(dfa, nullptr);
    const uint64_t n = c.text.size();
    ASSERT_EQ(c.candidates.size(), n + 1);
    for (uint64_t from = 0; from <= n; ++from) {
      EXPECT_EQ(dfa->next_candidate(c.text.data(), n, from), c.candidates[from]) << from;
    }
  }
}

}  // namespace
}  // namespace vantorel
