// Unicode properties of the regular-expression dialect: one table per construct, checking the
// membership of chosen characters (the ends of ranges, multi-byte neighbours) through real
// matches; the generated tables against figures the data files state; RE2 against the sets
// the front end hands it; and the cost of building a class from the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "elements/regex_compile.hpp"
#include "elements/regex_properties.hpp"
#include "elements/regex_tables.hpp"
#include "elements/utf8.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::spans;

// One line of a membership table: which of `chars` the class `pattern` matches, as a mask of
// '+' (a match of exactly that character) and '-' (no match there), or an error.
struct MemberCase {
  const char* pattern;
  std::vector<uint32_t> chars;
  const char* expected;  // mask, or "error: <part of the last line>"
};

// Builds the pattern once and searches the text of each character alone: a match of the
// whole character is '+', no match '-'.
std::string mask_of(const std::string& pattern, const std::vector<uint32_t>& chars) {
  const RegexBuild b = make_regex_element(pattern);
  if (!b.element) return "error: " + b.error;
  std::string mask;
  for (const uint32_t c : chars) {
    std::string text;
    append_utf8(text, c);
    const std::string got = testing::spans_of(*testing::regex_of(b).unanchored, text);
    if (got != "" && got != "0-" + std::to_string(text.size())) return "stray match " + got;
    mask += got.empty() ? '-' : '+';
  }
  return mask;
}

void run_member_cases(const std::vector<MemberCase>& cases) {
  for (const MemberCase& c : cases) {
    SCOPED_TRACE(std::string("pattern /") + c.pattern + "/");
    const std::string got = mask_of(c.pattern, c.chars);
    const std::string want = c.expected;
    if (want.rfind("error: ", 0) == 0) {
      ASSERT_EQ(got.rfind("error: ", 0), 0u) << got;
      EXPECT_NE(got.find(want.substr(7), got.rfind("error: ")), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, want);
    }
  }
}

// A Unicode property's sets as one list.
regex::RangeList members_of(regex::UnicodeForm form, const char* name, const char* value = "") {
  const regex::PropertyLookup p = regex::lookup_property(form, name, value);
  EXPECT_TRUE(p.ok) << name << "=" << value;
  regex::RangeList out;
  for (const regex::ValueSet& s : p.sets) out.insert(out.end(), s.members.begin(), s.members.end());
  regex::sort_and_merge(out);
  return out;
}

uint64_t code_points(const regex::RangeList& set) {
  uint64_t n = 0;
  for (const CodePointRange& r : set) n += r.hi - r.lo + 1;
  return n;
}

// Names and values match loosely (case, spaces, '_' and '-' ignored, an "is" prefix
// dropped) and through every alias; a name is a binary property first, then a general
// category, then a script.
TEST(RegexProperties, NamesMatchLooselyAndThroughAliases) {
  // a A À à ẞ 𐐀 𐐨
  const std::vector<uint32_t> cased = {'a', 'A', 0xC0, 0xE0, 0x1E9E, 0x10400, 0x10428};
  // Ͱ (first Greek) Ͽ a ἀ (Greek Extended) ̀ (Inherited)
  const std::vector<uint32_t> greek = {0x370, 0x3FF, 'a', 0x1F00, 0x300};
  run_member_cases({
      {"\\p{Lu}", cased, "-++-++-"},
      {"\\p{Uppercase_Letter}", cased, "-++-++-"},
      {"\\p{ uppercase-LETTER }", cased, "-++-++-"},
      {"\\p{IsLu}", cased, "-++-++-"},
      {"\\p{gc=lu}", cased, "-++-++-"},
      {"\\p{General_Category : Uppercase Letter}", cased, "-++-++-"},
      {"\\pL", cased, "+++++++"},
      {"\\p{Greek}", greek, "++-+-"},
      {"\\p{sc=Grek}", greek, "++-+-"},
      {"\\p{Script=greek}", greek, "++-+-"},
      {"\\p{IsGreek}", greek, "++-+-"},
      {"\\p{Zinh}", greek, "----+"},
      // Kawi, new in Unicode 15.0: the block's ends and its neighbours
      {"\\p{Kawi}", {0x11EFF, 0x11F00, 0x11F59, 0x11F5A}, "-++-"},
      // cf, sc and lc are the general categories here (Format, Currency_Symbol, Cased_Letter)
      {"\\p{cf}", {0xAD, 0x200B, 'c'}, "++-"},
      {"\\p{sc}", {'$', 0x20AC, 's'}, "++-"},
      {"\\p{lc}", {'a', 'A', 0x1C5, 0x2B0}, "+++-"},
      {"\\p{Any}", {0, 0x10FFFF}, "++"},
      {"\\p{gc=Assigned}", {'a', 0x378}, "+-"},
  });
}

// Every binary property of PropList, DerivedCoreProperties and emoji-data, and the two of
// DerivedNormalizationProps, under its names and aliases.
TEST(RegexProperties, BinaryProperties) {
  // # 0 a © 😀 🫨 (Emoji 15.0)
  const std::vector<uint32_t> emoji = {'#', '0', 'a', 0xA9, 0x1F600, 0x1FAE8};
  // a 1 ͅ (Mn, alphabetic) ̀ (Mn, not) Ⅰ Ⓐ
  const std::vector<uint32_t> alpha = {'a', '1', 0x345, 0x300, 0x2160, 0x24B6};
  run_member_cases({
      {"\\p{Emoji}", emoji, "++-+++"},
      {"\\p{Emoji_Presentation}", emoji, "----++"},
      {"\\p{EPres}", emoji, "----++"},
      {"\\p{Extended_Pictographic}", {'#', 0xA9, 0x1F600, 0x1FFFD, 0x1FFFE}, "-+++-"},
      {"\\p{ExtPict}", {'#', 0xA9, 0x1F600, 0x1FFFD, 0x1FFFE}, "-+++-"},
      {"\\p{Math}", {'+', '<', 'a', 0x2200, 0x1EEF1, 0x1EEF2}, "++-++-"},
      {"\\p{Alphabetic}", alpha, "+-+-++"},
      {"\\p{Alpha}", alpha, "+-+-++"},
      {"\\p{is alphabetic}", alpha, "+-+-++"},
      {"\\p{Other_Alphabetic}", alpha, "--+--+"},
      {"\\p{White_Space}", {'\v', 0x85, 0x200B, 0x3000}, "++-+"},
      {"\\p{space}", {'\v', 0x85, 0x200B, 0x3000}, "++-+"},
      {"\\p{RI}", {0x1F1E5, 0x1F1E6, 0x1F1FF, 0x1F200}, "-++-"},
      {"\\p{Full_Composition_Exclusion}", {0x340, 0x958, 'a'}, "++-"},
      {"\\p{Comp_Ex}", {0x340, 0x958, 'a'}, "++-"},
      {"\\p{CWKCF}", {'A', 'a', 0xAD}, "+-+"},
      {"\\p{Hex}", {'f', 'g', 0xFF10}, "+-+"},
      {"\\p{Lower}", {'a', 'A', 0xAA}, "+-+"},
      {"\\p{ID_Start}", {'a', '1', 0x2160}, "+-+"},
  });
}

// Script_Extensions: a character listed in ScriptExtensions.txt belongs to the scripts
// listed there (and no longer to Common or Inherited), every other one to its script.
TEST(RegexProperties, ScriptExtensions) {
  // ऀ (Deva) । (Common; scx has Deva) ᳑ (Inherited; scx Deva) ! (Common) ̀ (Inherited, not listed)
  const std::vector<uint32_t> chars = {0x900, 0x964, 0x1CD1, '!', 0x300};
  run_member_cases({
      {"\\p{scx=Deva}", chars, "+++--"},
      {"\\p{Script_Extensions:Devanagari}", chars, "+++--"},
      {"\\p{sc=Deva}", chars, "+----"},
      {"\\p{scx=Common}", chars, "---+-"},
      {"\\p{Common}", chars, "-+-+-"},
      {"\\p{scx=Zinh}", chars, "----+"},
      {"\\p{scx=Inherited}", {0x345, 0x300}, "-+"},
      {"\\p{scx=Greek}", {0x345, 0x300}, "+-"},
  });
}

// Age=V is every character assigned in version V or before; the value is written V6_0 or
// 6.0.
TEST(RegexProperties, Age) {
  // a € (2.1) 😀 (6.1) Kawi (15.0) an unassigned code point
  const std::vector<uint32_t> chars = {'a', 0x20AC, 0x1F600, 0x11F00, 0x378};
  run_member_cases({
      {"\\p{Age=V1_1}", chars, "+----"},
      {"\\p{age=2.0}", chars, "+----"},
      {"\\p{Age=2.1}", chars, "++---"},
      {"\\p{Age:V6_0}", chars, "++---"},
      {"\\p{Age=v6_1}", chars, "+++--"},
      {"\\p{Age=14.0}", chars, "+++--"},
      {"\\p{Age=V15_0}", chars, "++++-"},
      {"\\P{Age=6.0}", chars, "--+++"},
      {"\\p{Age!=6.0}", chars, "--+++"},
  });
}

// The grapheme cluster, word and sentence break properties, with the values their files list.
TEST(RegexProperties, BreakProperties) {
  const std::vector<uint32_t> ri = {0x1F1E5, 0x1F1E6, 0x1F1FF, 0x1F200};
  run_member_cases({
      {"\\p{gcb=RI}", ri, "-++-"},
      {"\\p{Grapheme_Cluster_Break=Regional_Indicator}", ri, "-++-"},
      {"\\p{Grapheme_Cluster_Break=Prepend}", {0x5FF, 0x600, 0x605, 0x606}, "-++-"},
      {"\\p{GCB=PP}", {0x5FF, 0x600, 0x605, 0x606}, "-++-"},
      {"\\p{gcb=LV}", {0xAC00, 0xAC01}, "+-"},
      {"\\p{gcb=LVT}", {0xAC00, 0xAC01}, "-+"},
      {"\\p{gcb=CN}", {'\t', '\n', 'a'}, "+--"},
      {"\\p{gcb=ZWJ}", {0x200C, 0x200D}, "-+"},
      {"\\p{wb=Numeric}", {'0', '9', 'a', 0x660, 0x66B}, "++-++"},
      {"\\p{WB=NU}", {'0', '9', 'a', 0x660, 0x66B}, "++-++"},
      {"\\p{Word_Break=Hebrew_Letter}", {0x5CF, 0x5D0, 0x5EA, 0x5EB, 0xFB4F}, "-++-+"},
      {"\\p{wb=HL}", {0x5CF, 0x5D0, 0x5EA, 0x5EB, 0xFB4F}, "-++-+"},
      {"\\p{wb=Katakana}", {0x30A1, 0x3041}, "+-"},
      {"\\p{wb=WSegSpace}", {' ', '\t'}, "+-"},
      {"\\p{sb=ATerm}", {'.', '!', 0xFF0E}, "+-+"},
      {"\\p{Sentence_Break=STerm}", {'.', '!', '?'}, "-++"},
      {"\\p{SB=UP}", {'A', 'a', 0xC0}, "+-+"},
      {"\\p{sb=Lower}", {'A', 'a', 0xC0}, "-+-"},
  });
}

// \P, \p{..!=..} and [^...] negate; a double negation is the property itself.
TEST(RegexProperties, Negation) {
  const std::vector<uint32_t> chars = {0x391, 'a', 0x1F1E6, 0x1F600};
  run_member_cases({
      {"\\P{Greek}", chars, "-+++"},
      {"\\p{sc!=Greek}", chars, "-+++"},
      {"\\P{sc!=Greek}", chars, "+---"},
      {"\\P{gcb=RI}", chars, "++-+"},
      {"\\p{gcb!=RI}", chars, "++-+"},
      {"\\P{Emoji}", chars, "++--"},
      {"[^\\p{Emoji}]", chars, "++--"},
      {"[^\\p{gcb=RI}\\p{Greek}]", chars, "-+-+"},
  });
}

// Properties inside classes, with set operations.
TEST(RegexProperties, InsideClassesWithSetOperations) {
  run_member_cases({
      {"[\\p{Emoji}&&\\p{ASCII}]", {'#', '*', '0', '9', 'a', 0xA9}, "++++--"},
      {"[\\p{Alphabetic}--\\pL]", {'a', 0x345, 0x2160, 0x24B6, '1'}, "-+++-"},
      {"[\\p{scx=Deva}--\\p{sc=Deva}]", {0x900, 0x964, 0x1CD1}, "-++"},
      {"[\\p{Greek}&&\\p{Age=1.1}]", {0x391, 0x370, 'a'}, "+--"},
      {"[\\p{wb=Numeric}~~\\p{Nd}]", {'0', 0x66B, 0x660, 'a'}, "-+--"},
      {"[\\p{Emoji}--[\\p{ExtPict}\\d]]", {'#', '0', 0xA9, 0x1F1E6}, "+--+"},
      {"[\\p{sb=Upper}[\\p{gcb=RI}a]]", {'A', 'a', 'b', 0x1F1E6}, "++-+"},
  });
}

// Under (?i) every property is closed under simple case folding before it is negated or
// combined; literals match their whole folding orbit (CaseFolding.txt, statuses C and S).
TEST(RegexProperties, CaseInsensitiveUse) {
  // a 1 à 😀 µ (Common, folds with Greek μ)
  const std::vector<uint32_t> chars = {'a', '1', 0xE0, 0x1F600, 0xB5};
  run_member_cases({
      {"(?i)\\p{Lu}", chars, "+-+-+"},
      {"(?i)\\P{Lu}", chars, "-+-+-"},
      {"(?i)[^\\p{Lu}]", chars, "-+-+-"},
      {"(?i)\\p{Greek}", chars, "----+"},
      {"(?i)[\\p{Lu}--[a]]", {'a', 'A', 'b', 'B'}, "--++"},
      {"(?i)\\p{gcb=RI}", {0x1F1E6, 'a'}, "+-"},
      // literals in Unicode mode ((?u): a pattern that needs no Unicode is built without it)
      {"(?iu)\xC3\x9F", {0xDF, 0x1E9E, 's'}, "++-"},              // ß and ẞ fold together (status S)
      {"(?iu)k", {'k', 'K', 0x212A}, "+++"},                       // with KELVIN SIGN
      {"(?i)k", {'k', 'K', 0x212A}, "++-"},                        // ASCII mode: ASCII letters only
      {"(?iu)\xC7\x85", {0x1C4, 0x1C5, 0x1C6, 0x1C7}, "+++-"},    // Ǆ ǅ ǆ
      {"(?iu)\xF0\x90\x95\xB0", {0x10570, 0x10597, 0x10571}, "++-"},  // a Vithkuqi pair
      {"(?i)[\\w--\\p{Ll}]", {'a', 'A', '1', 0xE0}, "--+-"},
  });
}

// Names the data knows but the dialect does not offer, and names of Unicode 16.0 only.
TEST(RegexProperties, ErrorsKeepTheirTexts) {
  const std::vector<uint32_t> none = {'a'};
  run_member_cases({
      {"\\p{Bidi_M}", none, "error: Unicode property not found"},          // a binary property it leaves out
      {"\\p{Age}", none, "error: Unicode property not found"},             // not binary
      {"\\p{isc}", none, "error: Unicode property not found"},             // ISO_Comment
      {"\\p{Foo}", none, "error: Unicode property not found"},
      {"\\p{Foo=Bar}", none, "error: Unicode property not found"},
      {"\\p{Block=Greek}", none, "error: Unicode property value not found"},
      {"\\p{Alphabetic=Y}", none, "error: Unicode property value not found"},
      {"\\p{gc=Foo}", none, "error: Unicode property value not found"},
      {"\\p{Unknown}", none, "error: Unicode property value not found"},
      {"\\p{gcb=Other}", none, "error: Unicode property value not found"},
      {"\\p{gcb=E_Base}", none, "error: Unicode property value not found"},
      {"\\p{Age=NA}", none, "error: Unicode property value not found"},
      {"\\p{Age=16.0}", none, "error: Unicode property value not found"},  // Unicode 16.0
      {"\\p{Garay}", none, "error: Unicode property not found"},           // a script of 16.0
      {"\\p{scx=Garay}", none, "error: Unicode property value not found"},
      {"(?-u)\\p{Emoji}", none, "error: Unicode is not allowed here"},
  });
}

// Group names: Alphabetic first (a mark only when alphabetic), then Alphabetic or a number.
TEST(RegexProperties, GroupNamesUseTheAlphabeticProperty) {
  testing::run_regex_cases({
      {"(?P<\xCD\x85x>a)", "a", "0-1"},      // ͅ is an alphabetic mark
      {"(?P<\xCC\x80x>a)", "", "error: invalid character in a capture group name"},   // ̀ is not
      {"(?P<a\xCC\x80>a)", "", "error: invalid character in a capture group name"},
      {"(?P<a\xE1\x9F\xA0>a)", "a", "0-1"},  // ០ (Khmer digit) after the first character
  });
}

// ---- the generated tables ----

// The figures "# Total code points: N" (or "# Total elements: N") that close each value's
// block in a data file, by the value named on the block's lines.
std::map<std::string, uint64_t> stated_totals(const std::string& file) {
  std::ifstream in(std::string(VANTOREL_UCD_DIR) + "/" + file);
  EXPECT_TRUE(in) << file;
  std::map<std::string, uint64_t> totals;
  std::string line;
  std::string value;
  while (std::getline(in, line)) {
    for (const char* mark : {"# Total code points: ", "# Total elements: "}) {
      if (line.rfind(mark, 0) == 0 && !value.empty()) totals[value] = std::stoull(line.substr(std::string(mark).size()));
    }
    if (line.empty() || line[0] == '#') continue;
    const size_t semi = line.find(';');
    const size_t end = line.find_first_of(";#", semi + 1);
    value = line.substr(semi + 1, end == std::string::npos ? std::string::npos : end - semi - 1);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of(' ') + 1);
  }
  return totals;
}

// Every value of every file the generator reads has as many code points in the tables as
// its file states (the surrogates, which the tables leave out, apart), and every binary
// property of the files is there: a broken generator (a lost line, a bad merge, a wrong
// name) shows here.
TEST(RegexTables, EveryValueHasTheCodePointsItsFileStates) {
  struct File {
    const char* path;
    const char* property;  // an enumerated property, or nullptr for binary properties
  };
  const File files[] = {
      {"extracted/DerivedGeneralCategory.txt", "gc"}, {"Scripts.txt", "sc"},
      {"auxiliary/GraphemeBreakProperty.txt", "gcb"}, {"auxiliary/WordBreakProperty.txt", "wb"},
      {"auxiliary/SentenceBreakProperty.txt", "sb"},   {"PropList.txt", nullptr},
      {"DerivedCoreProperties.txt", nullptr},          {"emoji/emoji-data.txt", nullptr},
  };
  size_t binary_seen = 0;
  for (const File& f : files) {
    const std::map<std::string, uint64_t> totals = stated_totals(f.path);
    EXPECT_GT(totals.size(), 5u) << f.path;
    for (const auto& [value, total] : totals) {
      SCOPED_TRACE(std::string(f.path) + ": " + value);
      if (value == "Cs") continue;  // the surrogates
      const regex::RangeList set = f.property != nullptr
                                       ? members_of(regex::UnicodeForm::NamedValue, f.property, value.c_str())
                                       : members_of(regex::UnicodeForm::Named, value.c_str());
      EXPECT_EQ(code_points(set), total);
      if (f.property == nullptr) ++binary_seen;
    }
  }
  EXPECT_EQ(binary_seen + 2, regex::kUnicodeData.binary.size());  // + the two of DerivedNormalizationProps
  // Ages: each version's own set (the last of the sets an Age value stands for).
  const std::map<std::string, uint64_t> ages = stated_totals("DerivedAge.txt");
  const regex::EnumeratedProperty* age = regex::enumerated_property("Age");
  ASSERT_NE(age, nullptr);
  EXPECT_EQ(ages.size(), age->sets.size());
  for (const auto& [version, total] : ages) {
    SCOPED_TRACE("Age " + version);
    const std::span<const regex::ValueSet> sets =
        regex::value_sets(*age, regex::value_name(*age, regex::normalize_property_name(version)));
    ASSERT_FALSE(sets.empty());
    const regex::RangeList own(sets.back().members.begin(), sets.back().members.end());
    EXPECT_EQ(code_points(own) + (version == "2.0" ? 0x800 : 0), total);
  }
  EXPECT_EQ(regex::kUnicodeData.version, "15.0.0");
}

// Simple case folding: every C and S line of CaseFolding.txt puts its two characters in one
// orbit, and nothing else folds.
TEST(RegexTables, FoldingOrbitsFollowCaseFolding) {
  std::ifstream in(std::string(VANTOREL_UCD_DIR) + "/CaseFolding.txt");
  ASSERT_TRUE(in);
  std::string line;
  regex::RangeList folding;  // every character of a C or S line
  size_t pairs = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::string status = line.substr(line.find(';') + 2, 1);
    if (status != "C" && status != "S") continue;
    const uint32_t from = static_cast<uint32_t>(std::stoul(line.substr(0, line.find(';')), nullptr, 16));
    const size_t m = line.find(';', line.find(';') + 1) + 1;
    const uint32_t to = static_cast<uint32_t>(std::stoul(line.substr(m), nullptr, 16));
    uint64_t links = 0;
    const regex::RangeList orbit = regex::case_fold_closure({{from, from}}, &links);
    EXPECT_TRUE(regex::contains(orbit, to)) << std::hex << from;
    folding.push_back({from, from});
    folding.push_back({to, to});
    ++pairs;
  }
  EXPECT_EQ(pairs, 1454u);
  regex::sort_and_merge(folding);
  uint64_t links = 0;
  const regex::RangeList all = regex::case_fold_closure({{0, 0x10FFFF}}, &links);
  EXPECT_EQ(code_points(folding), regex::kUnicodeData.case_folding.size());
  EXPECT_EQ(code_points(all), 0x110000u);
}

// \w, \d and \s are the dialect's sets built from the same data, closed under folding (the
// dialect does not fold them); \s is the White_Space list the rest of the engine uses.
TEST(RegexTables, PerlClassesComeFromTheSameData) {
  regex::RangeList word;
  for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
           {"Alphabetic", ""}, {"gc", "M"}, {"gc", "Nd"}, {"gc", "Pc"}, {"Join_Control", ""}}) {
    const regex::RangeList part = *value != '\0' ? members_of(regex::UnicodeForm::NamedValue, name, value)
                                                 : members_of(regex::UnicodeForm::Named, name);
    word.insert(word.end(), part.begin(), part.end());
  }
  regex::sort_and_merge(word);
  const auto as_list = [](std::span<const CodePointRange> s) { return regex::RangeList(s.begin(), s.end()); };
  auto same = [](const regex::RangeList& a, const regex::RangeList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](CodePointRange x, CodePointRange y) {
             return x.lo == y.lo && x.hi == y.hi;
           });
  };
  EXPECT_TRUE(same(as_list(regex::word_members()), word));
  EXPECT_TRUE(same(as_list(regex::digit_members()), members_of(regex::UnicodeForm::NamedValue, "gc", "Nd")));
  EXPECT_TRUE(same(as_list(regex::space_members()), as_list(kUnicodeWhiteSpace)));
  for (const std::span<const CodePointRange> s : {regex::word_members(), regex::digit_members(), regex::space_members()}) {
    uint64_t links = 0;
    EXPECT_TRUE(same(regex::case_fold_closure(as_list(s), &links), as_list(s)));
  }
}

// RE2 matches exactly the sets the front end computed: the class texts it is handed are
// explicit ranges, which its own tables cannot change.
TEST(RegexTables, Re2MatchesTheGeneratedSets) {
  struct Check {
    const char* pattern;
    regex::RangeList want;
  };
  uint64_t links = 0;
  const std::vector<Check> checks = {
      {"\\p{Emoji}", members_of(regex::UnicodeForm::Named, "Emoji")},
      {"\\p{Age=6.0}", members_of(regex::UnicodeForm::NamedValue, "Age", "6.0")},
      {"\\p{scx=Deva}", members_of(regex::UnicodeForm::NamedValue, "scx", "Deva")},
      {"\\P{L}", regex::RangeSet::of_list(members_of(regex::UnicodeForm::OneLetter, "L")).complement().ranges()},
      {"(?i)\\p{Lu}", regex::case_fold_closure(members_of(regex::UnicodeForm::OneLetter, "Lu"), &links)},
      {"(?u)\\w", regex::RangeList(regex::word_members().begin(), regex::word_members().end())},
  };
  for (const Check& c : checks) {
    SCOPED_TRACE(c.pattern);
    const regex::CompileResult r = regex::compile(std::string("(?:") + c.pattern + ")", true);
    ASSERT_TRUE(r.expression) << r.error;
    const std::string& text = r.expression->re2_pattern();
    EXPECT_EQ(text.find("\\p"), std::string::npos);
    EXPECT_EQ(text.find("(?i"), std::string::npos);
    regex::RangeList want;  // without the surrogates, which no text holds
    for (const CodePointRange& x : c.want) {
      if (x.lo < 0xD800 && x.hi > 0xDFFF) {
        want.push_back({x.lo, 0xD7FF});
        want.push_back({0xE000, x.hi});
      } else if (x.hi < 0xD800 || x.lo > 0xDFFF) {
        want.push_back(x);
      } else if (x.lo < 0xD800) {
        want.push_back({x.lo, 0xD7FF});
      } else if (x.hi > 0xDFFF) {
        want.push_back({0xE000, x.hi});
      }
    }
    const regex::RangeList got = regex::re2_class_members(text);
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < got.size(); ++k) {
      ASSERT_EQ(got[k].lo, want[k].lo) << k;
      ASSERT_EQ(got[k].hi, want[k].hi) << k;
    }
  }
}

// Building a class of a property reads its own ranges (and, under (?i), the folding links in
// them) a few times, never the code space: the work stays a small multiple of the sets'
// sizes.
TEST(RegexTables, APropertyCostsWorkInProportionToItsRanges) {
  struct Cost {
    const char* pattern;
    regex::UnicodeForm form;
    const char* name;
    const char* value;
  };
  const Cost costs[] = {
      {"\\p{Emoji}", regex::UnicodeForm::Named, "Emoji", ""},
      {"\\p{scx=Deva}", regex::UnicodeForm::NamedValue, "scx", "Deva"},
      {"\\p{Age=15.0}", regex::UnicodeForm::NamedValue, "Age", "15.0"},
      {"\\P{wb=ALetter}", regex::UnicodeForm::NamedValue, "wb", "ALetter"},
      {"(?i)\\p{Alphabetic}", regex::UnicodeForm::Named, "Alphabetic", ""},
      {"(?i)[\\p{sb=Upper}--\\p{Greek}]", regex::UnicodeForm::NamedValue, "sb", "Upper"},
  };
  for (const Cost& c : costs) {
    SCOPED_TRACE(c.pattern);
    const regex::PropertyLookup p = regex::lookup_property(c.form, c.name, c.value);
    ASSERT_TRUE(p.ok);
    uint64_t ranges = 0;
    for (const regex::ValueSet& s : p.sets) ranges += s.members.size();
    const regex::CompileResult r = regex::compile(std::string("(?:") + c.pattern + ")", true);
    ASSERT_TRUE(r.expression) << r.error;
    EXPECT_GT(r.class_work, 0u);
    EXPECT_LE(r.class_work, 4 * ranges + 4 * regex::kUnicodeData.case_folding.size());
  }
}

}  // namespace
}  // namespace vantorel
