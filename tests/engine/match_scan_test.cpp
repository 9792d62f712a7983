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

// The hits of a scan and how it ended, as one string.
template <class Scan>
std::string scan_record(const ParserElement& e, std::string_view text, Scan&& scan) {
  std::string out;
  const ScanEnd end = scan(e, text.data(), text.size(), [&](uint64_t s, uint64_t f) {
    out += std::to_string(s) + "-" + std::to_string(f) + " ";
  });
  return out + (end.too_deep ? "stopped at " + std::to_string(end.position) : "complete");
}

// match_scan passes over the positions where the element must miss (first_bytes, and the
// whitespace runs of the elements that skip whitespace first); its hits are exactly those of
// the plain scan that tries every position, on random grammars and texts long enough for the
// wide byte search.
TEST(MatchScan, SkippingScanEqualsThePlainScanOnRandomGrammars) {
  testing::RandomGrammars random(20240613);
  int reported = 0;
  int skipping = 0;
  for (int g = 0; g < 3000 && reported < 5; ++g) {
    // Half the grammars without Forwards, for texts long enough for the wide byte search
    // (a recursive grammar may take time exponential in the length of the text).
    const bool recursive = g % 2 == 0;
    const ElementRef grammar = g % 3 == 0 ? random.make_alternation(2, recursive) : random.make(3, recursive);
    if (grammar->first_bytes() != ByteSet::all()) ++skipping;
    for (int t = 0; t < 8; ++t) {
      const std::string text = random.text(recursive ? 8 : t < 4 ? 12 : 80);
      const auto skip = [](const ParserElement& e, const char* x, uint64_t n, auto&& on_hit) {
        return match_scan(e, x, n, on_hit);
      };
      const auto plain = [](const ParserElement& e, const char* x, uint64_t n, auto&& on_hit) {
        return match_scan_plain(e, x, n, on_hit);
      };
      const std::string fast = scan_record(*grammar, text, skip);
      const std::string slow = scan_record(*grammar, text, plain);
      if (fast != slow && reported++ < 5) {
        ADD_FAILURE() << "grammar " << g << " on '" << text << "': " << fast << " vs " << slow;
      }
    }
  }
  EXPECT_GT(skipping, 500);  // the skipping road was taken, not only the plain one
}

// The two ways of passing over positions, shown on whole texts: bytes outside first_bytes,
// and whitespace runs before a sequence whose first child skips whitespace.
TEST(MatchScan, PassesOverPositionsWhereTheElementMustMiss) {
  struct Case {
    const char* what;
    ElementRef element;
    std::string text;
    std::string hits;
  };
  const ElementRef a_b = over<AndElement>({lit("a"), lit("b")});
  const Case cases[] = {
      {"first bytes of an alternation", over<MatchFirstElement>({lit("ab"), lit("cd")}),
       std::string(40, 'x') + "ab" + std::string(40, 'y') + "cd", "40-42 82-84"},
      {"the run before a sequence is tried at its start", a_b, "x  \t ab  a b", "1-7 7-12"},
      {"a run after the scan position starts at the scan position", a_b, "ab  ab", "0-2 2-6"},
      {"a run at the end of the text", over<AndElement>({ElementRef::make<StringEndElement>()}), "ab  ", "2-4"},
      {"StringEnd alone is never found", ElementRef::make<StringEndElement>(), "ab  ", ""},
      {"NoMatch finds nothing", ElementRef::make<NoMatchElement>(), "abc", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(hits_of(*c.element, c.text), c.hits);
  }
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
