// The counts behind search_string_count and the Keyword, Literal and Word searches: period
// detection, the literal count (its periodic road against a plain search), the keyword
// count, the Word count with its periodic shortcut, and the closed formulas, each checked
// against count_matches with the kind's own try_match_at over every short text.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "elements/chars.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "support.hpp"
#include "text_ops/counts.hpp"
#include "text_ops/open_table.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/periodic.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel {
namespace {

const std::string kEAcute = "\xc3\xa9";

// Every text of 0..max_len pieces drawn from `pieces`.
std::vector<std::string> all_texts(const std::vector<std::string>& pieces, size_t max_len) {
  std::vector<std::string> out{""};
  size_t from = 0;
  for (size_t len = 1; len <= max_len; ++len) {
    const size_t to = out.size();
    for (size_t i = from; i < to; ++i) {
      for (const std::string& piece : pieces) out.push_back(out[i] + piece);
    }
    from = to;
  }
  return out;
}

// Texts that repeat a random block (1..max_block bytes from `alphabet`) over a random length
// from 4 to 4 * max_block + 8, with or without a tail.
std::vector<std::string> periodic_texts(const std::string& alphabet, size_t max_block, size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> out;
  for (size_t i = 0; i < count; ++i) {
    const size_t block_len = 1 + rng() % max_block;
    std::string block;
    for (size_t j = 0; j < block_len; ++j) block += alphabet[rng() % alphabet.size()];
    const size_t n = 4 + rng() % (4 * max_block + 5);
    std::string text;
    while (text.size() < n) text += block;
    text.resize(n);
    out.push_back(text);
  }
  return out;
}

// The leftmost non-overlapping occurrences, by plain string search.
uint64_t plain_literal_count(std::string_view lit, std::string_view text) {
  if (lit.empty()) return 0;
  uint64_t count = 0;
  for (size_t at = text.find(lit); at != std::string_view::npos; at = text.find(lit, at + lit.size())) ++count;
  return count;
}

uint64_t scan_count(const ParserElement& e, std::string_view text) {
  const ScanCount c = count_matches(e, text.data(), text.size());
  EXPECT_TRUE(c.end.complete());
  return c.count;
}

// The per-call table with byte-string keys (compared through their heads, then their
// bytes) finds exactly the keys a map of copied strings finds: random keys of every length
// from 0 to 20 over a small alphabet, so that many share lengths, heads and tails.
TEST(OpenTable, ByteKeysAreEqualExactlyWhenTheirBytesAre) {
  std::mt19937 rng(77);
  const std::string alphabet = "ab\xc3\xa9";
  std::vector<std::string> texts;  // the keys' bytes; each key points into its own text
  for (int i = 0; i < 20000; ++i) {
    std::string t;
    for (unsigned k = rng() % 21; k > 0; --k) t += alphabet[rng() % alphabet.size()];
    texts.push_back(t);
  }
  OpenTable<std::string_view, uint32_t> table;
  std::map<std::string, uint32_t> plain;
  for (uint32_t i = 0; i < texts.size(); ++i) {
    bool inserted = false;
    auto* entry = table.find_or_insert(std::string_view(texts[i]), &inserted);
    ASSERT_NE(entry, nullptr);
    const auto [it, fresh] = plain.emplace(texts[i], i);
    ASSERT_EQ(inserted, fresh) << "key '" << texts[i] << "'";
    if (inserted) entry->value = i;
    ASSERT_EQ(entry->value, it->second) << "key '" << texts[i] << "'";
  }
  EXPECT_EQ(table.size(), plain.size());
}

TEST(DetectPeriod, FindsTheFirstConfirmedBlock) {
  struct Case {
    std::string text;
    uint64_t period;  // 0: none
  };
  const Case cases[] = {
      {"abababab", 2},
      {"abcabcab", 3},
      {"aaab", 0},                    // the block a does not go on to the end
      {"aaa", 0},                     // shorter than 4 bytes
      {"aaaa", 1},
      {"abab", 2},
      {"abcab", 0},                   // 2P > n for the only candidate
      {"aabaab", 0},                  // candidate 1 is tried and refused; 3 is never tried
      {std::string(2048, 'a'), 1},
      {"ab  ab  ab  ", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 16));
    EXPECT_EQ(detect_period(c.text.data(), c.text.size()), c.period);
  }
}

TEST(DetectPeriod, LooksForBlocksOfAtMost1024Bytes) {
  for (const size_t block_len : {1023u, 1024u, 1025u, 1100u}) {
    SCOPED_TRACE(block_len);
    std::string block = "x" + std::string(block_len - 1, 'y');
    const std::string text = block + block + block.substr(0, 7);
    EXPECT_EQ(detect_period(text.data(), text.size()), block_len <= 1024 ? block_len : 0);
  }
}

TEST(DetectPeriod, AReportedPeriodRepeatsToTheEnd) {
  for (const std::string& text : periodic_texts("abc", 9, 3000, 7)) {
    const uint64_t p = detect_period(text.data(), text.size());
    if (p == 0) continue;
    ASSERT_LE(2 * p, text.size()) << text;
    for (size_t i = p; i < text.size(); ++i) ASSERT_EQ(text[i], text[i - p]) << text;
  }
}

TEST(LiteralCount, EqualsThePlainSearchOnEveryRoad) {
  struct Case {
    std::string lit, text;
    uint64_t count;
  };
  const Case cases[] = {
      {"ab", "abababab", 4},    // periodic, no tail
      {"aa", "aaaa", 2},        // period 1 < m: plain road
      {"a", "aaab", 3},         // no period
      {"bb", "babbbabbb", 2},   // the occurrence at 7 would overlap the one at 6
      {"b", "abcabcab", 3},
      {"abc", "abcabcab", 2},
      {"", "abc", 0},
      {"", "", 0},
      {"ba", "abababab", 3},    // occurrences straddle the blocks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lit + " in " + c.text);
    EXPECT_EQ(count_literal_occurrences(c.lit.data(), c.lit.size(), c.text.data(), c.text.size()), c.count);
  }
  std::vector<std::string> texts = all_texts({"a", "b"}, 12);
  for (const std::string& t : periodic_texts("abc", 8, 4000, 11)) texts.push_back(t);
  const std::vector<std::string> lits = all_texts({"a", "b", "c"}, 4);
  for (const std::string& text : texts) {
    for (const std::string& lit : lits) {
      ASSERT_EQ(count_literal_occurrences(lit.data(), lit.size(), text.data(), text.size()),
                plain_literal_count(lit, text))
          << "'" << lit << "' in '" << text << "'";
    }
  }
}

TEST(KeywordCount, EqualsTheScanWithKeywordMatching) {
  const std::vector<std::string> texts = all_texts({"i", "f", "x", " ", kEAcute}, 6);
  for (const char* keyword : {"if", "i", "", "ifi", "\xc3\xa9"}) {
    SCOPED_TRACE(keyword);
    const ElementRef e = new_keyword_element(keyword);
    const auto& k = static_cast<const KeywordElement&>(*e);
    for (const std::string& text : texts) {
      ASSERT_EQ(count_keyword_occurrences(k, text.data(), text.size()), scan_count(k, text)) << "'" << text << "'";
    }
  }
  const ElementRef e = new_keyword_element("if");
  const std::string text = "if x ifx xif";
  EXPECT_EQ(count_keyword_occurrences(static_cast<const KeywordElement&>(*e), text.data(), text.size()), 2u);
}

TEST(WordCount, EqualsTheScanWithWordMatchingOnBothRoads) {
  struct W {
    const char* what;
    std::string init;
    std::optional<std::string> body;
  };
  const W words[] = {
      {"ab", "ab", std::nullopt},
      {"a then b", "a", "b"},
      {"init not in body", "ab", "b"},
      {"body holds space", "b", "ab "},
      {"space", " ", std::nullopt},
      {"high member", "\xc3\x83", std::nullopt},  // U+00C3: the byte 0xC3 in the table
  };
  std::vector<std::string> texts = all_texts({"a", "b", " ", kEAcute}, 6);
  for (const std::string& t : periodic_texts("ab ", 7, 3000, 5)) texts.push_back(t);
  for (const W& w : words) {
    SCOPED_TRACE(w.what);
    const std::string_view body_view = w.body ? std::string_view(*w.body) : std::string_view();
    const ElementRef e = new_word_element(w.init, w.body ? &body_view : nullptr);
    const auto& word = static_cast<const WordElement&>(*e);
    const WordTables tables(word);
    for (const std::string& text : texts) {
      const uint64_t expected = scan_count(word, text);
      ASSERT_EQ(count_words(tables, text.data(), text.size()), expected) << "'" << text << "'";
      ASSERT_EQ(tables.count_one_pass(text.data(), 0, text.size()), expected) << "'" << text << "'";
    }
  }
}

TEST(ClosedFormulas, EqualTheScanWithTheKindsMatcher) {
  const ElementRef line_end = ElementRef::make<LineEndElement>();
  const ElementRef line_start = ElementRef::make<LineStartElement>();
  const ElementRef chars = new_char_element("ab" + kEAcute);
  const auto& char_table = static_cast<const CharElement&>(*chars).char_table;
  for (const std::string& text : all_texts({"a", "\n", "c", kEAcute}, 6)) {
    SCOPED_TRACE("'" + text + "'");
    ASSERT_EQ(count_line_feeds(text.data(), text.size()), scan_count(*line_end, text));
    ASSERT_EQ(count_line_starts(text.data(), text.size()), scan_count(*line_start, text));
    ASSERT_EQ(count_table_bytes(char_table, text.data(), text.size()), scan_count(*chars, text));
  }
}

// Long texts cross the counts' 255-byte blocks; from a kilobyte on, tables of up to four
// bytes are counted by comparing with their members, larger ones by table lookups.
TEST(ClosedFormulas, CountLongTextsOnEveryRoad) {
  std::mt19937 rng(17);
  const std::string pieces[] = {"a", "b", "\n", "c", "x", kEAcute, " "};
  for (size_t length : {254, 255, 256, 510, 1023, 1024, 1275, 4097}) {
    std::string text;
    while (text.size() < length) text += pieces[rng() % 7];
    SCOPED_TRACE(length);
    const ElementRef line_end = ElementRef::make<LineEndElement>();
    const ElementRef line_start = ElementRef::make<LineStartElement>();
    EXPECT_EQ(count_line_feeds(text.data(), text.size()), scan_count(*line_end, text));
    EXPECT_EQ(count_line_starts(text.data(), text.size()), scan_count(*line_start, text));
    const std::vector<std::string> sets = {"", "a", "ab\n", "ab" + kEAcute, "abcx ", "abcdefghijklmnopqrstuvwxyz"};
    for (const std::string& set : sets) {
      SCOPED_TRACE("'" + set + "'");
      const ElementRef chars = new_char_element(set);
      EXPECT_EQ(count_table_bytes(static_cast<const CharElement&>(*chars).char_table, text.data(), text.size()),
                scan_count(*chars, text));
    }
  }
}

}  // namespace
}  // namespace vantorel
