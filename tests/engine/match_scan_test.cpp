// The byte-stepping scan: which positions it tries, where it resumes after a hit, the
// zero-width and end-of-text rules, the stack-guard stop and the whole-character rule.
#include "text_ops/match_scan.hpp"

#include <gtest/gtest.h>

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
using testing::wrap;

// The hits of a scan as "start-end" joined by spaces.
std::string hits_of(const ParserElement& e, std::string_view text) {
  std::string out;
  const ScanEnd end = match_scan(e, text.data(), text.size(), [&](uint64_t s, uint64_t f) {
    if (!out.empty()) out += ' ';
    out += std::to_string(s) + "-" + std::to_string(f);
  });
  EXPECT_TRUE(end.complete());
  return out;
}

TEST(MatchScan, ReportsEveryHitInOrderAndResumesAfterIt) {
  struct Case {
    const char* what;
    ElementRef element;
    std::string text;
    std::string hits;
  };
  const Case cases[] = {
      {"empty text is not tried", ElementRef::make<EmptyElement>(), "", ""},
      {"empty text, StringStart", ElementRef::make<StringStartElement>(), "", ""},
      {"Empty: a zero-width hit at every byte", ElementRef::make<EmptyElement>(), "abc", "0-0 1-1 2-2"},
      {"the end of the text is never tried", ElementRef::make<StringEndElement>(), "ab", ""},
      {"LineEnd only at line feeds", ElementRef::make<LineEndElement>(), "a\nb\n", "1-2 3-4"},
      {"StringStart once", ElementRef::make<StringStartElement>(), "ab", "0-0"},
      {"non-overlapping, left to right", lit("aa"), "aaaaa", "0-2 2-4"},
      {"Optional: hit, zero-width step, hit", wrap<OptionalElement>(lit("ab")), "abxab", "0-2 2-2 3-5"},
      {"SkipTo: zero-width at each target", wrap<SkipToElement>(lit("ab")), "xxabyyab", "0-2 2-2 3-6 6-6"},
      {"And spans include skipped whitespace", over<AndElement>({lit("a"), lit("b")}), "ab a b", "0-2 2-6"},
      {"ZeroOrMore steps over every position", wrap<ZeroOrMoreElement>(lit("a")), "aab", "0-2 2-2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(hits_of(*c.element, c.text), c.hits);
  }
}

TEST(MatchScan, TriesContinuationBytesAfterAMiss) {
  // Char of é has both bytes of é in its table: the scan matches each byte on its own.
  const ElementRef e = new_char_element("\xc3\xa9");
  EXPECT_EQ(hits_of(*e, "x\xc3\xa9"), "1-2 2-3");
  // The same result through the operation table and through the concrete kind.
  const auto& concrete = static_cast<const CharElement&>(*e);
  std::string direct;
  (void)match_scan(concrete, "x\xc3\xa9", 3, [&](uint64_t s, uint64_t) { direct += std::to_string(s); });
  EXPECT_EQ(direct, "12");
}

// A matcher that hits one byte at every even position and reports a stack-guard stop at
// `stop`.
struct StoppingMatcher {
  uint64_t stop;
  mutable std::vector<uint64_t> tried;
  [[nodiscard]] Match try_match_at(const char*, uint64_t, uint64_t pos) const noexcept {
    tried.push_back(pos);
    if (pos == stop) return Match::too_deep();
    return pos % 2 == 0 ? Match::at(pos + 1) : Match::none();
  }
};

TEST(MatchScan, StopsAtAStackGuardStopAndSaysWhere) {
  const StoppingMatcher m{3, {}};
  std::vector<uint64_t> starts;
  const ScanEnd end = match_scan(m, "abcdefgh", 8, [&](uint64_t s, uint64_t) { starts.push_back(s); });
  EXPECT_TRUE(end.too_deep);
  EXPECT_EQ(end.position, 3u);
  EXPECT_EQ(starts, (std::vector<uint64_t>{0, 2}));
  EXPECT_EQ(m.tried, (std::vector<uint64_t>{0, 1, 2, 3}));  // nothing after the stop
}

TEST(MatchScan, WholeCharacterRuleDropsInsideStartsAndWidensInsideEnds) {
  const std::string text = "a\xc3\xa9" "b";  // a, é (2 bytes), b
  struct Case {
    uint64_t start, end;
    bool taken;
    uint64_t widened;
  };
  const Case cases[] = {
      {0, 1, true, 1},   // on boundaries: unchanged
      {0, 2, true, 3},   // ends inside é: widened to its end
      {1, 2, true, 3},   // the lead byte of é alone
      {2, 3, false, 3},  // starts on é's continuation byte
      {2, 2, false, 2},  // zero-width inside é
      {3, 4, true, 4},
      {4, 4, true, 4},   // the end of the text is a boundary
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + "-" + std::to_string(c.end));
    uint64_t end = c.end;
    EXPECT_EQ(take_whole_characters(text.data(), text.size(), c.start, &end), c.taken);
    if (c.taken) {
      EXPECT_EQ(end, c.widened);
    }
  }
}

}  // namespace
}  // namespace vantorel
