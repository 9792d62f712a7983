// The Python-free pieces of the batch methods: the uniform test and the input period, the
// 32-slot IdentityCache, and the match rules at byte 0, each held against the element's
// own operations over a corpus of short texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "batch/identity_cache.hpp"
#include "batch/input_pattern.hpp"
#include "batch/match_rules.hpp"
#include "elements/chars.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::lit;
using testing::over;
using testing::wrap;

// ---- uniform test and input period -----------------------------------------------------

// A list of objects written as letters: equal letters are one object.
struct Objects {
  char pool[256];
  std::vector<char*> items;
  explicit Objects(std::string_view pattern) {
    for (char c : pattern) items.push_back(&pool[static_cast<unsigned char>(c)]);
  }
};

TEST(InputPattern, FindsTheFirstRepeatOfItemZeroAsThePeriod) {
  struct Case {
    std::string pattern;
    bool uniform;
    size_t k;  // 0: no period
    size_t q;
  };
  const std::string ab127 = [] {  // 127 distinct objects
    std::string s;
    for (int i = 1; i <= 127; ++i) s += static_cast<char>(i);
    return s;
  }();
  const Case cases[] = {
      {"a", true, 0, 0},
      {"aaa", true, 1, 3},
      {"abab", false, 2, 2},
      {"abbabb", false, 3, 2},
      {"ababa", false, 0, 0},       // length not a multiple of the period
      {"ababxyab", false, 0, 0},    // the middle breaks the pattern
      {"abcabcabd", false, 0, 0},   // the last period breaks it
      {"aab", false, 0, 0},         // k = 1 fails, and no later k is tried
      {"abaaba", false, 0, 0},      // first repeat at 2: "ab" does not repeat
      {"ab", false, 0, 0},
      {ab127 + ab127, false, 127, 2},
      {ab127 + "\xc8" + ab127 + "\xc8", false, 0, 0},  // first repeat of item 0 at index 128
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern.size() < 20 ? c.pattern : "long pattern");
    const Objects o(c.pattern);
    EXPECT_EQ(is_uniform(o.items.data(), o.items.size()), c.uniform);
    const InputPeriod p = detect_input_period(o.items.data(), o.items.size());
    EXPECT_EQ(p.k, c.k);
    EXPECT_EQ(p.q, c.q);
  }
}

// The uniform test takes four items to a step: one other object anywhere, in the steps or
// in the rest after them, makes the list not uniform.
TEST(InputPattern, UniformTestSeesOneOtherObjectAnywhere) {
  for (size_t n = 1; n <= 13; ++n) {
    const Objects same(std::string(n, 'a'));
    EXPECT_TRUE(is_uniform(same.items.data(), n)) << n;
    for (size_t other = 1; other < n; ++other) {
      std::string pattern(n, 'a');
      pattern[other] = 'b';
      const Objects o(pattern);
      EXPECT_FALSE(is_uniform(o.items.data(), n)) << pattern;
    }
  }
}

// ---- IdentityCache ---------------------------------------------------------------------

TEST(IdentityCache, HomeSlotMixesAddressBitsFourToEightAndTwelveToSixteen) {
  using Cache = IdentityCache<uint8_t>;
  EXPECT_EQ(Cache::home_slot(0x10), 1u);
  EXPECT_EQ(Cache::home_slot(0x1000), 1u);
  EXPECT_EQ(Cache::home_slot(0x1010), 0u);
  EXPECT_EQ(Cache::home_slot(0x1F0), 31u);
  EXPECT_EQ(Cache::home_slot(0xF), 0u);           // bits 0-3 take no part
  EXPECT_EQ(Cache::home_slot(0xE00), 0u);         // nor bits 9-11
  EXPECT_EQ(Cache::home_slot(uint64_t{1} << 17), 0u);  // nor bits from 17 up
}

TEST(IdentityCache, StoresThirtyOneObjectsThenOnlyAnswers) {
  struct Case {
    const char* name;
    uint64_t stride;  // addresses base + i * stride
  };
  // Distinct home slots, and one shared home slot (every probe walks and wraps around).
  const Case cases[] = {{"spread", 0x10}, {"one home slot", uint64_t{1} << 17}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IdentityCache<uint8_t> cache;
    const uint64_t base = 0x7f0000001230;
    auto key = [&](uint64_t i) { return base + i * c.stride; };
    for (uint64_t i = 0; i < 31; ++i) {
      const auto miss = cache.find(key(i));
      ASSERT_FALSE(miss.hit);
      ASSERT_NE(miss.slot, IdentityCache<uint8_t>::kNoSlot);
      cache.insert(miss, key(i), static_cast<uint8_t>(1 + i % 2));
    }
    EXPECT_FALSE(cache.has_room());
    for (uint64_t i = 0; i < 31; ++i) {
      const auto hit = cache.find(key(i));
      ASSERT_TRUE(hit.hit) << i;
      EXPECT_EQ(cache.payload(hit), 1 + i % 2);
    }
    const auto full = cache.find(key(31));
    EXPECT_FALSE(full.hit);
    EXPECT_EQ(full.slot, IdentityCache<uint8_t>::kNoSlot);
    cache.reset();
    EXPECT_EQ(cache.filled(), 0u);
    EXPECT_FALSE(cache.find(key(0)).hit);
  }
}

// ---- SeenAddresses and IdentityMap -----------------------------------------------------

const void* address(uint64_t a) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(a)); }

TEST(SeenAddresses, TellsNewFromSeenPerSixteenBytesWithinItsBudget) {
  SeenAddresses seen(4096 * 2);  // two chunks: two regions of 512 KiB
  const uint64_t base = 0x7f0000100000;
  EXPECT_EQ(seen.mark(address(base)), SeenAddresses::Answer::New);
  EXPECT_EQ(seen.mark(address(base + 16)), SeenAddresses::Answer::New);
  EXPECT_EQ(seen.mark(address(base)), SeenAddresses::Answer::Seen);
  EXPECT_EQ(seen.mark(address(base + 0x7fff0)), SeenAddresses::Answer::New);        // last of the region
  EXPECT_EQ(seen.mark(address(base + 0x80000)), SeenAddresses::Answer::New);        // second region
  EXPECT_EQ(seen.mark(address(base + 16)), SeenAddresses::Answer::Seen);            // back to the first
  EXPECT_EQ(seen.mark(address(base + 0x100000)), SeenAddresses::Answer::Full);      // a third region
  EXPECT_EQ(seen.mark(address(base + 0x100000)), SeenAddresses::Answer::Full);      // still not marked
  EXPECT_EQ(seen.mark(address(base + 0x80000)), SeenAddresses::Answer::Seen);
  SeenAddresses none(4095);  // less than a chunk: every mark is Full
  EXPECT_EQ(none.mark(address(base)), SeenAddresses::Answer::Full);
}

// The filtered map against a plain map of every remembered address, on random address
// streams: dense runs like a list's own strs, scattered far addresses that spend the
// filter's budget, and repeats first met early, late or never.
TEST(IdentityMap, FindsExactlyWhatAMapOfEveryRememberedAddressFinds) {
  std::mt19937_64 rng(1103);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const size_t n = 512 + rng() % 6000;
    std::vector<uint64_t> pool;
    const uint64_t base = 0x7f0000000000 + (rng() % 1024) * 0x100000;
    const int scatter = static_cast<int>(rng() % 4);  // 0: dense only
    uint64_t next = base;
    for (size_t i = 0; i < n; ++i) {
      if (scatter != 0 && rng() % (scatter * 40) == 0) {
        pool.push_back(0x550000000000 + (rng() % (uint64_t{1} << 30)) * 16);  // far away
      } else {
        pool.push_back(next);
        next += 48 + 16 * (rng() % 3);
      }
    }
    // Items: the pool in order, with repeats of earlier items from a random index on.
    const size_t repeats_from = rng() % 3 == 0 ? n : rng() % n;
    std::vector<uint64_t> items;
    for (size_t i = 0; i < n; ++i) {
      if (i >= repeats_from && rng() % 4 == 0) items.push_back(items[rng() % items.size()]);
      else items.push_back(pool[i]);
    }
    IdentityMap<uint64_t> filtered(items.size());
    IdentityMap<uint64_t> plain(0);  // the table from the first item
    std::unordered_map<uint64_t, uint64_t> expected;
    for (size_t i = 0; i < items.size(); ++i) {
      const uint64_t a = items[i];
      const auto it = expected.find(a);
      for (IdentityMap<uint64_t>* map : {&filtered, &plain}) {
        const uint64_t* kept = map->find(address(a));
        if (it == expected.end()) {
          ASSERT_EQ(kept, nullptr) << i;
          ASSERT_TRUE(map->remember(address(a), i));
        } else {
          ASSERT_NE(kept, nullptr) << i;
          ASSERT_EQ(*kept, it->second) << i;
        }
      }
      expected.emplace(a, i);
    }
    EXPECT_FALSE(plain.logging());
    EXPECT_EQ(filtered.logging(), repeats_from == n && scatter == 0);
    size_t objects = 0;
    filtered.for_each_object([&](const void*) { ++objects; });
    EXPECT_EQ(objects, expected.size());
  }
}

// ---- match rules at byte 0 -------------------------------------------------------------

const std::string kEAcute = "\xc3\xa9";

std::vector<std::string> corpus() {
  return {"", " ", "a", " a", "ab", "a b", "abc", "ba", "b", "\n", "\nx", "\t", "ab1", "12", "if", "if x",
          "ifx", "if_", "if(", "A", "AB", "-", "a-", kEAcute, "a" + kEAcute, kEAcute + "a", "\xe2\x82\xac"};
}

TEST(BatchCountRules, GiveTheVerdictOfTheElementsOwnOperationAtZero) {
  const ElementRef words[] = {new_word_element("abc", nullptr), new_word_element("a", nullptr),
                              new_word_element("\xc3\x83", nullptr)};  // U+00C3: member byte 0xC3
  const ElementRef chars[] = {new_char_element("abc"), new_char_element(kEAcute)};
  const char* patterns[] = {"\\s*", "[a-z]", "a*", "\\s+", "[ab]", "b", "(?:if)\\b"};
  for (const std::string& t : corpus()) {
    SCOPED_TRACE(t);
    const char* s = t.data();
    const uint64_t m = t.size();
    for (const ElementRef& w : words) {
      EXPECT_EQ(word_counts(static_cast<const WordElement&>(*w), s, m), w->try_match_at(s, m, 0).matched);
    }
    for (const ElementRef& c : chars) {
      EXPECT_EQ(char_counts(static_cast<const CharElement&>(*c), s, m), c->try_match_at(s, m, 0).matched);
    }
    for (const char* pattern : patterns) {
      SCOPED_TRACE(pattern);
      const RegexBuild r = make_regex_element(pattern);
      ASSERT_TRUE(r.element);
      ParseContext ctx{s, m, 1};
      EXPECT_EQ(regex_counts(static_cast<const RegexElement&>(*r.element), s, m), r.element->parse_impl(ctx, 0).ok);
    }
    EXPECT_EQ(string_end_counts(m), StringEndElement().try_match_at(s, m, 0).matched);
    // The kinds whose count takes every input, or none.
    EXPECT_TRUE(EmptyElement().try_match_at(s, m, 0).matched);
    EXPECT_TRUE(LineStartElement().try_match_at(s, m, 0).matched);
    EXPECT_TRUE(StringStartElement().try_match_at(s, m, 0).matched);
    EXPECT_TRUE(wrap<OptionalElement>(lit("zz"))->try_match_at(s, m, 0).matched);
    EXPECT_FALSE(NoMatchElement().try_match_at(s, m, 0).matched);
  }
}

TEST(BatchParseRules, WordAndRegexEndOnCharacterBoundaries) {
  struct Case {
    const char* name;
    ElementRef element;
    std::string text;
    int64_t end;  // -1: no match
  };
  const auto regex = [](const char* p) { return make_regex_element(p).element; };
  const Case cases[] = {
      {"word run", new_word_element("abc", nullptr), "abca1", 4},
      {"word, whole text", new_word_element("ab", nullptr), "abba", 4},
      {"word, no leading skip", new_word_element("ab", nullptr), " ab", -1},
      {"word, empty text", new_word_element("ab", nullptr), "", -1},
      // Member byte 0xC3 (U+00C3) starts é (C3 A9); A9 is no member: carried to é's end.
      {"word ends inside a character", new_word_element("\xc3\x83", nullptr), kEAcute + "x", 2},
      {"regex", regex("a+"), "aaab", 3},
      {"regex, empty match", regex("a*"), "b", 0},
      // \s+ takes the whitespace-run shortcut in the element's try_match_at, which leaves out
      // the vertical tab; the expression matches it, and the expression decides here.
      {"regex, whitespace run by the expression", regex("\\s+"), "\x0b", 1},
      {"regex, no leading skip", regex("b"), " b", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const char* s = c.text.data();
    const uint64_t m = c.text.size();
    Match got;
    if (const auto* w = dynamic_cast<const WordElement*>(c.element.get())) {
      got = word_at_start(*w, s, m);
      // With ASCII sets the rule is the element's own try_match_at.
      if (!w->init_set.has_high_members()) {
        const Match own = w->try_match_at(s, m, 0);
        EXPECT_EQ(got.matched, own.matched);
        if (own.matched) {
          EXPECT_EQ(got.end, own.end);
        }
      }
    } else {
      got = regex_at_start(static_cast<const RegexElement&>(*c.element), s, m);
    }
    EXPECT_EQ(got.matched, c.end >= 0);
    if (got.matched) {
      EXPECT_EQ(got.end, static_cast<uint64_t>(c.end));
    }
  }
}

TEST(BatchParseRules, WordAndRegexGiveTheElementsOwnMatchCarriedToACharacterBoundary) {
  // Word: its try_match_at at 0 (bytewise); Regex: its parse_impl at 0 (the expression).
  // Either end, when inside a character, is carried to that character's end.
  const std::string_view e_acute = kEAcute;
  const std::string_view b_or_1 = "b1";
  const ElementRef words[] = {new_word_element("abc", nullptr), new_word_element("a", nullptr),
                              new_word_element("\xc3\x83", nullptr),  // U+00C3: member byte 0xC3
                              new_word_element("a", &e_acute),       // U+00E9: member byte 0xE9
                              new_word_element("a", &b_or_1)};
  const char* patterns[] = {"\\s*", "[a-z]+", "a*", "\\s+", "[ab]", "b", ".", "(?:if)\\b", "\\w+"};
  std::vector<std::string> texts = corpus();
  texts.push_back("a" + kEAcute + "b");
  texts.push_back(kEAcute + kEAcute);
  for (const std::string& t : texts) {
    SCOPED_TRACE(t);
    const char* s = t.data();
    const uint64_t m = t.size();
    for (const ElementRef& w : words) {
      const Match own = w->try_match_at(s, m, 0);
      const Match got = word_at_start(static_cast<const WordElement&>(*w), s, m);
      ASSERT_EQ(got.matched, own.matched);
      if (own.matched) {
        EXPECT_EQ(got.end, next_character_boundary(s, m, own.end));
      }
    }
    for (const char* pattern : patterns) {
      SCOPED_TRACE(pattern);
      const RegexBuild r = make_regex_element(pattern);
      ASSERT_TRUE(r.element);
      ParseContext ctx{s, m, 1};
      const ParseOutcome own = r.element->parse_impl(ctx, 0);
      const Match got = regex_at_start(static_cast<const RegexElement&>(*r.element), s, m);
      ASSERT_EQ(got.matched, own.ok);
      if (own.ok) {
        EXPECT_EQ(got.end, next_character_boundary(s, m, own.end));
      }
    }
  }
}

TEST(BatchParseRules, SequenceTakesEachChildsMatchedTextWithoutSkippingWhitespace) {
  struct Case {
    const char* name;
    ElementRef element;
    std::string text;
    bool matched;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"two literals", over<AndElement>({lit("a"), lit("b")}), "abc", true, {"a", "b"}},
      {"no skip between children", over<AndElement>({lit("a"), lit("b")}), "a b", false, {"a"}},
      {"no skip before the first", over<AndElement>({lit("a"), lit("b")}), " ab", false, {}},
      {"a suppressed child gives its text", over<AndElement>({lit("a"), wrap<SuppressElement>(lit("b"))}), "ab", true,
       {"a", "b"}},
      {"caseless gives the input's bytes", over<AndElement>({new_caseless_literal_element("ab")}), "AB", true, {"AB"}},
      {"a group gives its text", over<AndElement>({wrap<GroupElement>(lit("a")), lit("b")}), "ab", true, {"a", "b"}},
      {"zero-width children give nothing",
       over<AndElement>({wrap<OptionalElement>(lit("x")), ElementRef::make<EmptyElement>()}), "y", true, {}},
      // Char of é's bytes matches C3 alone: carried to é's end, and x follows on a boundary.
      {"an end inside a character is carried", over<AndElement>({new_char_element(kEAcute), lit("x")}), kEAcute + "x",
       true, {kEAcute, "x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> tokens;
    const Match m = and_sequence_at_start(static_cast<const AndElement&>(*c.element), c.text.data(), c.text.size(),
                                          [&](uint64_t b, uint64_t e) { tokens.push_back(c.text.substr(b, e - b)); });
    EXPECT_EQ(m.matched, c.matched);
    EXPECT_EQ(tokens, c.tokens);
  }
}

}  // namespace
}  // namespace vantorel
