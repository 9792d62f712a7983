// The Regex element and its dialect on RE2: one table row per construct where RE2's own
// reading differs from the dialect, the Unicode decision, limits, error texts, the three
// matching modes and positions inside multi-byte characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "elements/regex_ast.hpp"
#include "elements/regex_compile.hpp"
#include "elements/regex_element.hpp"
#include "elements/regex_properties.hpp"
#include "elements/regex_tables.hpp"
#include "elements/utf8.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::match_at;
using testing::parse_at;

using testing::regex_of;
using testing::spans;
using testing::spans_of;
using Case = testing::RegexCase;

void run_cases(const std::vector<Case>& cases) { testing::run_regex_cases(cases); }

const std::string kKelvin = "\xE2\x84\xAA";  // U+212A KELVIN SIGN
const std::string kArabicThree = "\xD9\xA3";  // U+0663 ARABIC-INDIC DIGIT THREE

TEST(RegexDialect, FlagsAndGroups) {
  run_cases({
      {"a(?i)b|c", "aB c C", "0-2,3-4,5-6"},  // a flag lasts to the end of its group, across |
      {"(?:a(?i)b|c)d", "aBd Cd CD", "0-3,4-6"},
      {"(?x) a b # comment\n c", "abc", "0-3"},
      {"(?x)a\\ b\\#", "a b#", "0-4"},
      {"(?x)a{ 2 }", "aa", "0-2"},
      {"(?x)\\x{ 4 1 }\\p {Lu}", "AB", "0-2"},
      {"(?x)( ?:a)", "a", "0-1"},
      {"(?x)[ a b ]+", "ab ", "0-2"},
      {"(?x)a # c", "", "error: unclosed group"},  // the comment swallows the wrapper's )
      {"(?x)a\xC2\xA0" "b", "ab", "0-2"},               // verbose mode skips Unicode White_Space
      {"(?-x)a b", "a b", "0-3"},
      {"(?R).", "a\rb", "0-1,2-3"},
      {"(?s).", "\n", "0-1"},
      {".", "\n", ""},
      {"(?U)a+", "aaa", "0-1,1-2,2-3"},
      {"(?U)a+?", "aaa", "0-3"},
      {"(?U)a{2,3}?", "aaa", "0-3"},
      {"(?P<n>a)(?<m>b)", "ab", "0-2"},
      {"(?P<n.x>a)(?P<n[1]>b)(?P<\xC3\xA9>c)", "abc", "0-3"},
      {"(?P<1n>a)", "", "error: capture group name"},
      // names: alphabetic first (Nl counts), then alphanumeric (any N counts); symbols,
      // unassigned code points and a leading digit do not
      {"(?P<a\xC2\xB2\xC2\xBD\xD9\xA1>a)(?P<\xE2\x85\xA0>b)(?P<\xE2\x92\xB6>c)", "abc", "0-3"},
      {"(?P<\xD9\xA1>a)", "", "error: invalid character in a capture group name"},
      {"(?P<a\xC2\xA9>a)", "", "error: invalid character in a capture group name"},
      {"(?P<a\xE2\x98\x83>a)", "", "error: invalid character in a capture group name"},
      {"(?P<a\xCD\xB8>a)", "", "error: invalid character in a capture group name"},
      {"(?P<n>a)(?P<n>b)", "", "error: duplicate capture group name"},
      {"(?P<>a)", "", "error: empty capture group name"},
      {"(?P<n", "", "error: invalid character in a capture group name"},  // the wrapper's ) is not a name character
      {"(?)", "", "error: repetition operator"},
      {"(?ii)", "", "error: duplicate flag"},
      {"(?i-i)", "", "error: duplicate flag"},
      {"(?i-)", "", "error: flag negation"},
      {"(?--i)", "", "error: negation operator repeated"},
      {"(?q)", "", "error: unrecognized flag"},
      {"(?i)+", "", "error: repetition operator"},
      {"(?=a)", "", "error: look-around"},
      {"(?!a)", "", "error: look-around"},
      {"(?<=a)b", "", "error: look-around"},
      {"(?<!a)b", "", "error: look-around"},
      {"(?>a)", "", "error: unrecognized flag"},
      {"(?#x)", "", "error: unrecognized flag"},
      {"(?P=n)", "", "error: unrecognized flag"},
      {"(a", "", "error: unclosed group"},
      {"a)", "", "error: unopened group"},  // ^(?:a)) : the pattern's ) closes the wrapper
      {"a))", "", "error: unopened group"},
      {"a)(", "a", "0-1"},                   // the wrapper absorbs the parentheses
      {"a)|(b", "xab", "1-2,2-3"},
      // the branch after the wrapper's ) is built while the alternation is held
      {"\\b{start}00) | (15}", "00  15}", "0-3,3-7"},
  });
}

TEST(RegexDialect, BracketClasses) {
  run_cases({
      {"[a-z&&[^aeiou]]+", "abcde", "1-4"},
      {"[a-z--[aeiou]]+", "abcde", "1-4"},
      {"[a-z~~[k-p]]+", "akqp", "0-1,2-3"},
      {"[\\w&&\\d]+", "a12", "1-3"},
      {"[&&]", "&", ""},
      {"[~~]", "~", ""},
      {"[a&&b]", "ab", ""},
      {"[a[bc]]+", "abcd", "0-3"},
      {"[[a-c][x-z]]+", "bxd", "0-2"},
      {"[]a]+", "]a", "0-2"},
      {"[^]a]", "]ab", "2-3"},
      {"[a-]+", "a-", "0-2"},
      {"[-a]+", "-a", "0-2"},
      {"[a\\]]+", "a]", "0-2"},
      {"[\\[]", "[", "0-1"},
      {"[a-z-9]+", "b-9", "0-3"},
      {"[\\-]", "-", "0-1"},
      {"[--]", "-", "0-1"},
      {"[a--]+", "a-", "0-1"},
      {"[\\d-z]", "", "error: range boundary"},
      {"[a-\\d]", "", "error: range boundary"},
      {"[z-a]", "", "error: start is greater than the end"},
      {"[]", "", "error: unclosed character class"},
      {"[^]", "", "error: unclosed character class"},
      {"[a", "", "error: unclosed character class"},
      {"[\\b]", "", "error: not allowed inside a character class"},
      {"[[:alpha:]]+", "ab1", "0-2"},
      {"[[:^alpha:]]+", "a1-", "1-3"},
      {"[[:word:][:punct:]]+", "a_1-", "0-4"},
      {"[[:foo:]]+", "fo:x", "0-3"},
      {"[:alpha:]+", "ahx", "0-2"},
      {"(?i)[a-c]+", "aBCd", "0-3"},
      {"(?i)[a-z]+", "ABCkK" + kKelvin, "0-5"},  // ASCII mode folds ASCII letters only
      {"(?i)[^k]", "kK" + kKelvin + "x", "5-6"},  // Unicode mode (negated class): K, k and KELVIN fold together
      {"(?i)[a-z&&k]+", "kKx", "0-2"},
      {"(?i)[\xC3\xA9&&\\pL]", "\xC3\x89", "0-2"},      // folding before the intersection
      {"(?i)[^\xC3\xA9]", "\xC3\x89x", "2-3"},
      {"(?i)[\\pL--[\xC3\xA9]]+", "a\xC3\x89" "b", "0-1,3-4"},
      {"(?i)[\\pL--[k]]+", "ak" + kKelvin + "b", "0-1,5-6"},
      {"[\\p{Greek}&&\\p{Lu}]+", "\xCE\xB1\xCE\x91\xCE\x92", "2-6"},
      {"[\\p{L}--\\p{Latin}]+", "a\xCE\xB1\xCE\xB2", "1-5"},
      {"[\\W\\d]+", "a1-", "1-3"},
      {"[^\\W\\d]+", "a1b\xC3\xA9", "0-1,2-5"},
      {"[a-z~~b~~c~~d~~e~~f~~g~~h~~i~~j~~k~~l~~m~~n~~o~~p~~q~~r~~s~~t~~u~~v~~w~~x~~y]+", "abz", "0-1,2-3"},
      // L, N, M, P, S and Z are disjoint, so their chain is their union; the scripts then take
      // their characters out, and Lu puts their capitals back and takes the other capitals out:
      // A, 1, the Armenian small letter and the Cyrillic capital stay; a, the Armenian capital
      // and the Cyrillic small letter go.
      {"[\\pL~~\\pN~~\\pM~~\\pP~~\\pS~~\\pZ~~\\p{Greek}~~\\p{Latin}~~\\p{Han}~~\\p{Cyrillic}~~\\p{Arabic}~~\\p{Lu}]+",
       "aA1\xD4\xB1\xD5\xA1\xD0\x96\xD0\xB6", "1-3,5-9"},
  });
}

TEST(RegexDialect, Escapes) {
  run_cases({
      {"\\x41\\x{42}\\x{000043}", "ABC", "0-3"},
      {"\\u0041\\u{42}\\U00000043\\U{44}", "ABCD", "0-4"},
      {"\\x{D800}", "", "error: not a Unicode scalar value"},
      {"\\x{110000}", "", "error: not a Unicode scalar value"},
      {"\\x{}", "", "error: empty hexadecimal escape"},
      {"\\xG1", "", "error: invalid hexadecimal digit"},
      {"\\0", "", "error: backreferences are not supported"},
      {"\\101", "", "error: backreferences are not supported"},
      {"(a)\\1", "", "error: backreferences are not supported"},
      {"\\Qa\\E", "", "error: unrecognized escape sequence"},
      {"\\C", "", "error: unrecognized escape sequence"},
      {"\\e", "", "error: unrecognized escape sequence"},
      {"\\h", "", "error: unrecognized escape sequence"},
      {"\\Z", "", "error: unrecognized escape sequence"},
      {"\\G", "", "error: unrecognized escape sequence"},
      {"\\K", "", "error: unrecognized escape sequence"},
      {"\\R", "", "error: unrecognized escape sequence"},
      {"\\X", "", "error: unrecognized escape sequence"},
      {"\\N", "", "error: unrecognized escape sequence"},
      {"\\cA", "", "error: unrecognized escape sequence"},
      {"\\o{1}", "", "error: unrecognized escape sequence"},
      {"\\\xC3\xA9", "", "error: unrecognized escape sequence"},
      {"a\\", "", "error: unclosed group"},  // the backslash escapes the wrapper's )
      {"\\a\\f\\t\\n\\r\\v", "\a\f\t\n\r\v", "0-6"},
      {"\\-\\&\\~\\#\\ \\/\\'\\\"\\%\\@\\:\\!\\,\\=\\_\\.\\*", "-&~# /'\"%@:!,=_.*", "0-17"},
      {"\\pN+", "a12", "1-3"},
      {"\\p{Greek}+", "a\xCE\xB1\xCE\xB2", "1-5"},
      {"\\p{Letter}\\p{letter}\\p{greek}\\p{Is_Greek}", "a\xC3\xA9\xCE\xB1\xCE\xB2", "0-7"},
      {"\\p{gc=Lu}\\p{Script=Greek}\\p{sc:Grek}\\p{Lc}", "A\xCE\xB1\xCE\xB2z", "0-6"},
      {"\\p{sc!=Greek}+", "ab\xCE\xB1", "0-2"},
      {"\\PL+", "a12b", "1-3"},
      {"\\p{ASCII}+", "ab\xC3\xA9", "0-2"},
      {"\\p{Any}", "\xC3\xA9", "0-2"},
      {"\\p{Cn}", "a\xCD\xB8", "1-3"},        // U+0378 is unassigned
      {"\\p{Assigned}+", "a\xCD\xB8", "0-1"},
      {"\\pC", "a\xCD\xB8", "1-3"},            // C includes the unassigned code points
      {"\\p{White_Space}+", " \v\xC2\x85x", "0-4"},
      {"\\p{^L}", "", "error: Unicode property not found"},
      {"\\p{Cs}", "", "error: Unicode property value not found"},
      {"\\p{gc=Foo}", "", "error: Unicode property value not found"},
      {"\\p{Foo}", "", "error: Unicode property not found"},
      {"\\p\\L", "", "error: invalid Unicode class"},
  });
}

TEST(RegexDialect, Assertions) {
  run_cases({
      {"\\Aa", "aa", "0-1"},
      {"a\\z", "aa", "1-2"},
      {"a$", "a\na", "2-3"},
      {"(?m)a$", "a\na", "0-1,2-3"},
      {"(?m)^", "a\n", "0-0,2-2"},
      {"\\b", "ab cd", "0-0,2-2,3-3,5-5"},
      {"\\B", "a\xC3\xA9", "3-3"},  // no empty match inside a character
      {"\\b{5}", "ab", "0-0,2-2"},
      {"\\b+", "ab", "0-0,2-2"},
      {"^*a", "a", "0-1"},
      {"\\<\\w+\\>", "ab cd", "0-2,3-5"},
      {"\\b{start}\\w+\\b{end}", "ab cd", "0-2,3-5"},
      {"\\b{start-half}x", "ax x-x", "3-4,5-6"},
      {"x\\b{end-half}", "xa x x-", "3-4,5-6"},
      {"\\<", "ab cd", "0-0,3-3"},
      {"\\>", "ab cd", "2-2,5-5"},
      {"a\\<b", "ab", ""},  // after a word character \< never holds
      {"-\\<a", "-a --a", "0-2,4-6"},
      {"(?u)\\bcaf\xC3\xA9\\b", "caf\xC3\xA9 au lait caf\xC3\xA9s", "0-5"},
      {"\\bcaf\xC3\xA9\\b", "caf\xC3\xA9 au", ""},  // ASCII mode: the bytes of é are not word bytes
      {"(?u)\\b\\w+\\b", "\xC3\xA9t\xC3\xA9 a", "0-5,6-7"},
      {"(?u)\\<\xC3\xA9", "a\xC3\xA9 \xC3\xA9", "4-6"},
      {"(?u)\\b[a-z]+\\b", "caf\xC3\xA9 ab", "6-8"},  // é is a word character: no boundary after caf
      {"\\b\\pL+\\b", "\xC3\xA9t\xC3\xA9 a", "0-5,6-7"},
      {"(?u)\\B\\w", "\xC3\xA9" "a b", "2-3"},
      {"(?u)x\\b{end-half}", "x\xC3\xA9 x", "4-5"},
      {"\\b{foo}", "", "error: unrecognized special word boundary"},
      {"\\b{", "", "error: repetition count"},
  });
}

TEST(RegexDialect, Repetition) {
  const std::string a1001(1001, 'a');
  const std::string a125(125, 'a');
  run_cases({
      {"a**", "aa", "0-2"},
      {"a*+", "aa", "0-2"},
      {"a++", "aab", "0-2"},  // nested repetition, not possessive
      {"a?+", "aa", "0-2"},
      {"a*??", "aa", "0-0,1-1,2-2"},
      {"a{2}{3}", "aaaaaaa", "0-6"},
      {"a***", "a", "0-1"},
      {"a{ 5 }", "aaaaa", "0-5"},
      {"a{ 5 , 6 }", "aaaaaa", "0-6"},
      {"a{2,}?", "aaaa", "0-2,2-4"},
      {"a{1001}", a1001, "0-1001"},
      {"a{1001,}", a1001 + "a", "0-1002"},
      {"a{999,1002}?", a1001, "0-999"},
      {"a{0,1002}", a1001, "0-1001"},
      {"(a{100}){10}b", a1001 + "b", "1-1002"},
      {"(?:a{2}){501}", std::string(1003, 'a'), "0-1002"},
      {"a{5}{5}{5}", a125, "0-125"},
      {"(?:ab|a){0,3}?b", "ababc", "0-4"},
      {"(?:ab|a){0,1500}?b", "ababc", "0-4"},  // expanded by nesting: the same preference order
      {"a{0,1500}?b", "aab", "0-3"},           // one length per copy: chained lazy blocks
      {"a{", "", "error: repetition count expects a decimal number"},  // ^(?:a{) : ) is no digit
      {"a{5", "", "error: unclosed counted repetition"},
      {"a{x}", "", "error: repetition count expects a decimal number"},
      {"a{,5}", "", "error: repetition count expects a decimal number"},
      {"a{4294967296}", "", "error: decimal number too large"},
      {"a{5,3}", "", "error: minimum is greater than the maximum"},
      {"*a", "", "error: repetition operator without an expression"},
      {"+", "", "error: repetition operator without an expression"},
      {"(*)", "", "error: repetition operator without an expression"},
      {"a|*", "", "error: repetition operator without an expression"},
      {"a{0}", "a", "0-0,1-1"},
      {"a{0,0}", "aab", "0-0,1-1,2-2,3-3"},
      {"(|a)+", "aab", "0-0,1-1,2-2,3-3"},
      {"(a|)+", "aab", "0-2,3-3"},
      {"(a*)*", "aab", "0-2,3-3"},
      {"(|)", "ab", "0-0,1-1,2-2"},
      {"()", "ab", "0-0,1-1,2-2"},
      {"a||b", "aab", "0-1,1-2,3-3"},
      {"a|", "ab", "0-1,2-2"},
      {"|a", "a", "0-0,1-1"},
      {"", "\xC3\xA9\xE2\x98\x83", "0-0,2-2,5-5"},  // empty matches never split a character
      {"a*", "baaac", "0-0,1-4,5-5"},
  });
}

TEST(RegexDialect, UnicodeDecisionFollowsTheWholePattern) {
  // `(?:X){0}\d` matches U+0663 exactly when X forces Unicode mode.
  const std::vector<std::string> forcing = {
      ".", "(?s).", "[^a]", "[^\\n]", "[^]a]", "[^\\d]", "[a-z&&[^aeiou]]", "[[:^alpha:]]", "\\D", "[\\D]",
      "\\W", "\\S", "\\xFF", "\\x80", "[\\xFF]", "[\xC3\xA9]", "[\\x{FF}]", "[\\u2603]", "\\pL", "\\P{L}",
  };
  const std::vector<std::string> ascii = {
      "\\d", "\\w", "\\s", "\\b", "\\B", "\\b{start}", "\xC3\xA9", "\\x{FF}", "\\u00e9", "(?i)\xC3\xA9",
      "[[:alpha:]]", "[a-z--[aeiou]]", "[\\w&&\\d]", "[\\x00-\\x7F]", "(?u:.)", "(?u:[^a])", "(?-u:(?u:.))",
  };
  for (const std::string& x : forcing) {
    SCOPED_TRACE(x);
    EXPECT_EQ(spans("(?:" + x + "){0}\\d", kArabicThree), "0-2");
  }
  for (const std::string& x : ascii) {
    SCOPED_TRACE(x);
    EXPECT_EQ(spans("(?:" + x + "){0}\\d", kArabicThree), "");
  }
  // Explicit (?-u) scopes keep their rules in the Unicode build too.
  for (const char* p : {"(?-u).", "(?-u)\\xFF", "(?-u:[\xC3\xA9])", "(?u)[^a](?-u).", "(?-u)\\W", "(?-u)\\pL"}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(spans(p, "a").rfind("error: ", 0), 0u);
  }
}

TEST(RegexDialect, ClassesAndFoldingDependOnTheMode) {
  EXPECT_EQ(spans("\\d", "1" + kArabicThree), "0-1");
  EXPECT_EQ(spans("[^x]?\\d", kArabicThree), "0-2");
  EXPECT_EQ(spans("(?i)k", kKelvin + "kK"), "3-4,4-5");
  EXPECT_EQ(spans("(?u)(?i)k", kKelvin), "0-3");
  EXPECT_EQ(spans("\\s", "\v"), "0-1");
  EXPECT_EQ(spans("(?u)\\s+", "\v\xC2\xA0\xE3\x80\x80"), "0-6");
  EXPECT_EQ(spans("(?u)\\w+", "a\xC3\xA9\xE2\x91\xA0"), "0-3");  // U+2460 CIRCLED DIGIT ONE is not \w
  EXPECT_EQ(spans("(?i)\xC3\xA9", "\xC3\x89"), "");            // ASCII mode: no folding beyond ASCII
  // ... also where the letter meets other branches (RE2 alone would fold k and s fully there).
  EXPECT_EQ(spans("(?i)k|x", kKelvin + "kx"), "3-4,4-5");
  EXPECT_EQ(spans("(?i)a(?:k|x)|ay", "a" + kKelvin + "aK"), "4-6");
  EXPECT_EQ(spans("[kK]|\\d", kKelvin + "1"), "3-4");
  EXPECT_EQ(spans("(?i)[s]|x", "\xC5\xBF" "S"), "2-3");
  EXPECT_EQ(spans("[Kk]|\\pN", kKelvin + "k"), "3-4");  // Unicode mode, no folding
  EXPECT_EQ(spans("(?u)(?i)\xC3\xA9", "\xC3\x89"), "0-2");
  // ... and keeps both cases where an earlier branch holds the letter (RE2 alone would drop
  // the other case there), in both modes.
  EXPECT_EQ(spans("[a-c]|(?i)a", "Aa"), "0-1,1-2");
  EXPECT_EQ(spans("(?:[a-c]|(?i)a|[^a])", " Ab-"), "0-1,1-2,2-3,3-4");
  EXPECT_EQ(spans("(?i)[ab]|b", "B"), "0-1");
  EXPECT_EQ(spans("[x-z]|[Zz]", "Z"), "0-1");
}

// Builds `open`×k + `core` + `close`×k.
std::string nested(const std::string& open, const std::string& core, const std::string& close, int k) {
  std::string s;
  for (int i = 0; i < k; ++i) s += open;
  s += core;
  for (int i = 0; i < k; ++i) s += close;
  return s;
}

TEST(RegexLimits, NestingLimitCountsTheWrapper) {
  struct Boundary {
    const char* open;
    const char* core;
    const char* close;
    int first_failing;
  };
  for (const Boundary& b : std::vector<Boundary>{{"(", "a", ")", 249},
                                                 {"(", "ab", ")", 248},
                                                 {"(a", "", ")", 125},
                                                 {"[", "a", "]", 249},
                                                 {"(", "[a]", ")", 248},
                                                 {"(", "[ab]", ")", 247},
                                                 {"(", "[a&&b]", ")", 247},
                                                 {"(", "a*", ")", 248},
                                                 {"(", "a|b", ")", 248},
                                                 {"(", "\\pL", ")", 249}}) {
    SCOPED_TRACE(std::string(b.open) + b.core + b.close);
    const RegexBuild ok = make_regex_element(nested(b.open, b.core, b.close, b.first_failing - 1));
    EXPECT_TRUE(ok.element) << ok.error;
    const RegexBuild bad = make_regex_element(nested(b.open, b.core, b.close, b.first_failing));
    ASSERT_FALSE(bad.element);
    EXPECT_NE(bad.error.find("exceeds the limit of 250"), std::string::npos) << bad.error;
  }
  // Far deeper input is an ordinary error, not a stack overflow.
  EXPECT_FALSE(make_regex_element(nested("(", "a", ")", 200000)).element);
  EXPECT_FALSE(make_regex_element(nested("[", "a", "]", 200000)).element);
}

// The deepest nesting of parentheses in an RE2 text.
size_t paren_depth(const std::string& text) {
  size_t depth = 0;
  size_t deepest = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '(') {
      deepest = std::max(deepest, ++depth);
    } else if (text[i] == ')') {
      --depth;
    }
  }
  return deepest;
}

TEST(RegexLimits, ProgramSizeLimit) {
  const std::string limit = "Compiled regex exceeds size limit of 10485760 bytes.";
  EXPECT_TRUE(make_regex_element("a{300000}").element);
  EXPECT_EQ(make_regex_element("a{400000}").error, limit);
  EXPECT_EQ(make_regex_element("(?:\\w){120000}").error, limit);
  EXPECT_EQ(make_regex_element("a{4294967295}").error, limit);
  // The size is estimated before any copy is made: the longest text made for one node stays
  // that of the body, not of a million copies.
  for (const char* pattern : {"(a{1000}){1000}", "((a{1000}){1000}){1000}", "a{0,300000}?b"}) {
    SCOPED_TRACE(pattern);
    const regex::CompileResult r = regex::compile("(?:" + std::string(pattern) + ")", false);
    EXPECT_EQ(r.error, limit);
    EXPECT_LT(r.largest_fragment, 64u);
  }
  // Copies beyond RE2's count limit are made in chunks of a thousand.
  const regex::CompileResult big = regex::compile("(?:a{300000})", false);
  ASSERT_TRUE(big.expression);
  EXPECT_LT(big.expression->re2_pattern().size(), 3000u);
  // Optional copies cost more (RE2 compiles them in quadratic time): the count accepted is
  // bounded, and lazy copies nest no deeper than kMaxLazyNesting plus one chunk.
  for (const char* pattern : {"(?:ab|a){0,9000}?b", "a{0,9000}"}) {
    SCOPED_TRACE(pattern);
    const RegexBuild b = make_regex_element(pattern);
    ASSERT_TRUE(b.element) << b.error;
    EXPECT_LE(paren_depth(regex_of(b).unanchored->re2_pattern()), 2000u + 1000u + 4u);
  }
}

// Copies of a long body that would pass the limit are refused before RE2 compiles them: only
// the body alone is compiled, to learn what one copy costs. The decision stays that of the
// whole program at the boundary.
TEST(RegexLimits, OversizedCopiesAreRefusedBeforeTheyAreCompiled) {
  const std::string limit = "Compiled regex exceeds size limit of 10485760 bytes.";
  for (const char* pattern : {"\\pL{275}", "\\pL{300}", "(?:\\pL{10}){30}", "(?u)\\w{1000}", "\\p{Greek}{0,9000}"}) {
    SCOPED_TRACE(pattern);
    const uint64_t before = regex::re2_instructions_built();
    EXPECT_EQ(make_regex_element(pattern).error, limit);
    EXPECT_LT(regex::re2_instructions_built() - before, 50000u);
  }
  // At the boundary the whole program decides (\pL is 1193 instructions a copy).
  for (const char* pattern : {"\\pL{274}", "\\pL{0,274}", "(?:\\pL{10}){27}", "(?:\\pL{5}){5}{10}", "(?:\\pL\\pL){137}"}) {
    SCOPED_TRACE(pattern);
    const RegexBuild fits = make_regex_element(pattern);
    ASSERT_TRUE(fits.element) << fits.error;
    EXPECT_GT(regex_of(fits).unanchored->program_size(), regex::kMaxProgramSize - 30000);
    EXPECT_LE(regex_of(fits).unanchored->program_size(), regex::kMaxProgramSize);
  }
  for (const char* pattern : {"\\pL{275}", "(?:\\pL{10}){28}", "(?:\\pL{5}){5}{11}"}) {
    EXPECT_EQ(make_regex_element(pattern).error, limit) << pattern;
  }
}

// A construction builds one RE2 program, which serves both the anchored and the unanchored
// expression (apart from the few instructions of the probes that size long repetitions).
TEST(RegexLimits, APatternIsCompiledOnce) {
  for (const char* pattern : {"\\pL{50}", "^.{1,2500}", "\\bfoo\\b", "[0-9]+(?:\\.[0-9]+)?", "(?i)[^\\pL]{3}"}) {
    SCOPED_TRACE(pattern);
    const uint64_t before = regex::re2_instructions_built();
    const RegexBuild b = make_regex_element(pattern);
    ASSERT_TRUE(b.element) << b.error;
    const uint64_t size = regex_of(b).unanchored->program_size();
    EXPECT_EQ(regex_of(b).anchored->program_size(), size);
    EXPECT_LE(regex::re2_instructions_built() - before, size + 64);
  }
}

// Optional copies of a body of one length are handed to RE2 chained, (?:x?){k}: they match
// exactly as RE2's own x{min,max} does, greedy and lazy, below and beyond RE2's count
// limit, whatever follows them. Compared on random texts, anchored at every position and
// over the whole text.
TEST(RegexLimits, ChainedOptionalCopiesMatchAsTheCountedRepetition) {
  struct Body {
    const char* dialect;
    const char* re2;
  };
  const Body bodies[] = {{"a", "a"}, {"[ab]", "[ab]"}, {"(?:ab|ba)", "(?:ab|ba)"}, {".", "[^\\n]"},
                         {"\\x{E9}", "\\x{E9}"}, {"(?:a|\\x{E9})", "(?:a|\\x{E9})"}};
  const char* tails[] = {"", "b", "a", "ab", "$", "(?:b|ab)"};
  const std::vector<std::string> pieces = {"a", "b", "\xC3\xA9", "\n", "ba"};
  std::mt19937 rng(20261210);
  for (int i = 0; i < 600; ++i) {
    const Body& body = bodies[rng() % std::size(bodies)];
    const char* tail = tails[rng() % std::size(tails)];
    const uint32_t min = rng() % 3;
    const uint32_t max = min + 2 + (rng() % 4 == 0 ? 1000 + rng() % 20 : rng() % 6);
    const std::string lazy = rng() % 2 == 0 ? "" : "?";
    const std::string count = "{" + std::to_string(min) + "," + std::to_string(max) + "}" + lazy;
    const std::string pattern = std::string("(?:") + body.dialect + ")" + count + tail;
    const RegexBuild b = make_regex_element(pattern);
    ASSERT_TRUE(b.element) << pattern << ": " << b.error;
    // RE2's own counted repetition, in chunks of at most 1000 copies.
    std::string counted = std::string("(?:") + body.re2 + "){" + std::to_string(min) + "}";
    for (uint32_t left = max - min; left > 0;) {
      const uint32_t c = std::min<uint32_t>(left, 1000);
      counted += std::string("(?:") + body.re2 + "){0," + std::to_string(c) + "}" + lazy;
      left -= c;
    }
    if (!lazy.empty() && max - min > 1000) continue;  // lazy chunks would nest, not chain
    const regex::BuiltExpression plain = regex::build_expression("(?:" + counted + tail + ")", regex::MatchShape{});
    ASSERT_TRUE(plain.expression) << plain.re2_error;
    const std::unique_ptr<regex::Expression> plain_anchored = plain.expression->anchored_view();
    for (int k = 0; k < 10; ++k) {
      std::string text;
      for (unsigned m = rng() % 14; m > 0; --m) text += pieces[rng() % pieces.size()];
      SCOPED_TRACE("pattern /" + pattern + "/ on '" + text + "'");
      ASSERT_EQ(spans_of(*regex_of(b).unanchored, text), spans_of(*plain.expression, text));
      for (uint64_t pos = 0; pos <= text.size(); pos = next_character_boundary(text.data(), text.size(), pos + 1)) {
        uint64_t ours = 0;
        uint64_t theirs = 0;
        const bool o = regex_of(b).anchored->match_prefix_plain(text.data() + pos, text.size() - pos, &ours);
        const bool t = plain_anchored->match_prefix_plain(text.data() + pos, text.size() - pos, &theirs);
        ASSERT_EQ(o ? std::optional(ours) : std::nullopt, t ? std::optional(theirs) : std::nullopt) << pos;
      }
    }
  }
}

TEST(RegexErrors, LayoutShowsTheWrappedPatternAndACaretLine) {
  struct Layout {
    const char* pattern;
    std::string text;
  };
  for (const Layout& l : std::vector<Layout>{
           {"(", "regex parse error:\n    ^(?:()\n     ^\nerror: unclosed group"},
           {"a{5,3}", "regex parse error:\n    ^(?:a{5,3})\n         ^^^^^\n"
                      "error: invalid repetition range: the minimum is greater than the maximum"},
           {"\xC3\xA9\\e", "regex parse error:\n    ^(?:\xC3\xA9\\e)\n         ^^\nerror: unrecognized escape sequence"},
           {"(?ii)", "regex parse error:\n    ^(?:(?ii))\n          ^^\nerror: duplicate flag"},
           {"a\n\\e", "regex parse error:\n" + std::string(79, '~') + "\n1: ^(?:a\n2: \\e)\n   ^^\n" +
                          std::string(79, '~') + "\nerror: unrecognized escape sequence"},
       }) {
    SCOPED_TRACE(l.pattern);
    const RegexBuild b = make_regex_element(l.pattern);
    ASSERT_FALSE(b.element);
    EXPECT_EQ(b.error, l.text);
  }
}

// A pattern that is not valid UTF-8 (only the engine can be handed one) is refused as a
// whole, shown without carets: a stray continuation byte, a cut sequence, an overlong form,
// a surrogate, a value past U+10FFFF and a byte that starts no sequence.
TEST(RegexErrors, MalformedUtf8IsRefusedWhole) {
  for (const std::string p : {"\x80", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "[\xE2\x82]"}) {
    SCOPED_TRACE(p);
    const RegexBuild b = make_regex_element(p);
    ASSERT_FALSE(b.element);
    EXPECT_EQ(b.error, "regex parse error:\n    ^(?:" + p + ")\nerror: the pattern is not valid UTF-8");
  }
}

TEST(RegexElement, MessageAndModes) {
  struct ModeCase {
    const char* pattern;
    RegexMode mode;
  };
  for (const ModeCase& c : std::vector<ModeCase>{{"a+", RegexMode::General},
                                                 {"", RegexMode::General},
                                                 {"\\s+", RegexMode::WhitespaceRun},
                                                 {"\\s*", RegexMode::WhitespaceRun},
                                                 {"\\s+ ", RegexMode::General},
                                                 {"\\S+", RegexMode::General},
                                                 {"[abc]", RegexMode::SingleByte},
                                                 {"[a-c\\d]", RegexMode::SingleByte},
                                                 {"[\\]]", RegexMode::SingleByte},
                                                 {"[^a]", RegexMode::General},      // Unicode mode: é is a match
                                                 {"[\xC3\xA9]", RegexMode::General},
                                                 {"[a](?x)]", RegexMode::General},  // not one class
                                                 {"[a[b]", RegexMode::General},
                                                 {"[[:digit:]]", RegexMode::General},
                                                 {"[\\]", RegexMode::General}}) {
    SCOPED_TRACE(c.pattern);
    const RegexBuild b = make_regex_element(c.pattern);
    if (std::string(c.pattern) == "[\\]" || std::string(c.pattern) == "[a[b]") {
      EXPECT_FALSE(b.element);  // both are unclosed classes
      continue;
    }
    ASSERT_TRUE(b.element) << b.error;
    EXPECT_EQ(regex_of(b).mode, c.mode);
    EXPECT_EQ(regex_of(b).message.view(), "Expected match for /" + std::string(c.pattern) + "/");
    EXPECT_EQ(b.element->kind(), ElementKind::Normal);
    EXPECT_TRUE(b.element->skips_whitespace());
  }
}

TEST(RegexElement, ParseAndMatchAtAPosition) {
  const RegexBuild a = make_regex_element("a+");
  EXPECT_EQ(parse_at(*a.element, "baac", 1), "end=3 ['aa']");
  EXPECT_EQ(parse_at(*a.element, "baac", 0), "fail@0: Expected match for /a+/");
  // ^ and \b see pos as the start of the text.
  const RegexBuild caret = make_regex_element("^b\\b");
  EXPECT_EQ(parse_at(*caret.element, "ab", 1), "end=2 ['b']");
  // The anchored expression only matches at the start.
  const RegexBuild alt = make_regex_element("^a|b");
  EXPECT_EQ(parse_at(*alt.element, "b", 0), "end=1 ['b']");
  EXPECT_EQ(parse_at(*alt.element, "ab", 0), "end=1 ['a']");
  EXPECT_EQ(parse_at(*alt.element, "cb", 0), "fail@0: Expected match for /^a|b/");
  // A pattern that escapes its wrapper: both roads end at the match's end.
  const RegexBuild escaped = make_regex_element("a)|(b");
  EXPECT_EQ(parse_at(*escaped.element, "xb", 0), "end=2 ['xb']");
  EXPECT_EQ(match_at(*escaped.element, "xb", 0), 2u);
  const RegexBuild empty = make_regex_element("");
  EXPECT_EQ(parse_at(*empty.element, "x", 1), "end=1 ['']");
}

TEST(RegexElement, ModesOfTryMatchAt) {
  const RegexBuild run = make_regex_element("\\s*");
  EXPECT_EQ(parse_at(*run.element, "x", 0), "end=0 ['']");
  EXPECT_EQ(match_at(*run.element, "x", 0), std::nullopt);
  EXPECT_EQ(parse_at(*run.element, "\v", 0), "end=1 ['\v']");  // the expression takes the vertical tab
  EXPECT_EQ(match_at(*run.element, "\v", 0), std::nullopt);      // the whitespace run does not
  EXPECT_EQ(match_at(*run.element, " \t\f\r\nx", 0), 5u);

  const RegexBuild cls = make_regex_element("[a-c\\d]");
  for (unsigned b = 0; b < 256; ++b) {
    const std::string text(1, static_cast<char>(b));
    const bool member = (b >= 'a' && b <= 'c') || (b >= '0' && b <= '9');
    EXPECT_EQ(match_at(*cls.element, text, 0), member ? std::optional<uint64_t>(1) : std::nullopt) << b;
    if (b < 128) testing::expect_roads_agree(*cls.element, text, 0);
  }
  EXPECT_EQ(match_at(*cls.element, "xb", 1), 2u);
}

TEST(RegexElement, RoadsAgreeAndStayOnCharacterBoundaries) {
  const std::vector<std::string> texts = {"", "a", "ab c", "\xC3\xA9", "a\xC3\xA9" "b", "\xE2\x98\x83x", "1 2", "\t\n"};
  for (const char* p : {"a+", "\\w*", "(?u)\\w+", ".", "[^a]", "", "\\B", "x*", "(?u)\\bx", "[abc]", "\\d|\xC3\xA9"}) {
    const RegexBuild b = make_regex_element(p);
    ASSERT_TRUE(b.element) << p;
    for (const std::string& t : texts) {
      for (uint64_t pos = 0; pos <= t.size(); ++pos) {
        SCOPED_TRACE(std::string(p) + " at " + std::to_string(pos));
        testing::expect_roads_agree(*b.element, t, pos);
        if (is_inside_character(t.data(), t.size(), pos)) {
          // A position inside a character never starts a match.
          EXPECT_EQ(match_at(*b.element, t, pos), std::nullopt);
        }
        if (auto end = match_at(*b.element, t, pos)) {
          EXPECT_FALSE(is_inside_character(t.data(), t.size(), *end));
        }
      }
    }
  }
}

// A random pattern of the given atoms: concatenations, alternations, groups and repetitions.
std::string random_pattern(std::mt19937& rng, int depth, const std::vector<const char*>& atoms) {
  static const char* kOps[] = {"*", "+", "?", "*?", "+?", "??", "{2}", "{0,2}", "{1,}", "{1,3}?"};
  const unsigned r = rng() % 10;
  if (depth == 0 || r < 3) return atoms[rng() % atoms.size()];
  if (r < 5) return random_pattern(rng, depth - 1, atoms) + random_pattern(rng, depth - 1, atoms);
  if (r < 7) return random_pattern(rng, depth - 1, atoms) + "|" + random_pattern(rng, depth - 1, atoms);
  const std::string group = (rng() % 2 ? "(" : "(?:") + random_pattern(rng, depth - 1, atoms) + ")";
  return r < 8 ? group : group + kOps[rng() % std::size(kOps)];
}

// Constructs whose RE2 syntax means what the dialect means. Not (?i): this RE2 merges a
// case-folded letter into an earlier branch's class without its other case (see
// ClassesAndFoldingDependOnTheMode), so it is no reference for (?i) in an alternation.
const std::vector<const char*> kSameInRe2 = {"a", "b", "[ab]", "[^a]", ".", "\\d", "\\b", "^", "$", "\\B", "[a-c]", "\\w"};

// MatchIterator's order of matches written directly on RE2 for the same pattern text.
std::string re2_spans(const std::string& pattern, std::string_view text) {
  RE2::Options o;
  o.set_log_errors(false);
  o.set_never_capture(true);
  RE2 re("(?:" + pattern + ")", o);
  if (!re.ok()) return "error";
  const re2::StringPiece whole(text.data(), text.size());
  return testing::iterated_spans([&](uint64_t from, uint64_t* b, uint64_t* e) {
    re2::StringPiece m;
    if (from > text.size() || !re.Match(whole, from, text.size(), RE2::UNANCHORED, &m, 1)) return false;
    *b = static_cast<uint64_t>(m.data() - text.data());
    *e = *b + m.size();
    return true;
  });
}

TEST(RegexDialect, AgreesWithRe2WhereTheSyntaxMeansTheSame) {
  std::mt19937 rng(2024);
  const std::string alphabet = "ab1 A\n-";
  int compared = 0;
  int refused = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string pattern = random_pattern(rng, 3, kSameInRe2);
    std::string text;
    for (unsigned k = rng() % 9; k > 0; --k) text.push_back(alphabet[rng() % alphabet.size()]);
    const std::string want = re2_spans(pattern, text);
    if (want == "error") continue;  // e.g. a repeated assertion RE2 refuses
    SCOPED_TRACE("pattern /" + pattern + "/ on '" + text + "'");
    // A \b or \B of a Unicode-mode pattern (one that holds [^a] or .) is spelled by splitting
    // the classes around it, exact on any text; on ASCII text RE2's own \b means the same.
    // Nested repetitions of such classes can pass the size limit.
    const std::string got = spans(pattern, text);
    if (got == "error: Compiled regex exceeds size limit of 10485760 bytes.") {
      ++refused;
      continue;
    }
    ASSERT_EQ(got, want);
    ++compared;
  }
  EXPECT_GT(compared, 2500);
  EXPECT_LT(refused, 30);
}

// Every road of a Regex gives the same matches, on generated patterns whose meaning at a
// position does not depend on the text before it (no anchors or word assertions), in both
// modes: the anchored road at each position (parse_impl, and try_match_at where the mode
// runs the expression), the same expression over the whole text (the batch road), the
// unanchored search from each position (its leftmost match starts at the first position
// where the anchored road matches, and ends where it ends), and the iteration over the text.
TEST(RegexElement, EveryRoadAgreesOnGeneratedCases) {
  const std::vector<const char*> atoms = {"a", "b", "[ab]", "[^a]", ".", "\\d", "(?i)A", "[a-c]", "\\w", "\xC3\xA9",
                                          "\\pL", "\\s", "(?i)\xC3\x89", "[\\w&&\\D]", "(?u)\\w", "a{3}"};
  const std::vector<std::string> pieces = {"a", "b", "A", "\xC3\xA9", "\xC3\x89", " ", "1", "\n"};
  std::mt19937 rng(99);
  for (int i = 0; i < 1500; ++i) {
    const std::string pattern = random_pattern(rng, 3, atoms);
    std::string text;
    for (unsigned k = rng() % 9; k > 0; --k) text += pieces[rng() % pieces.size()];
    const RegexBuild b = make_regex_element(pattern);
    ASSERT_TRUE(b.element) << pattern << ": " << b.error;
    const RegexElement& e = regex_of(b);
    SCOPED_TRACE("pattern /" + pattern + "/ on '" + text + "'");
    const uint64_t n = text.size();
    std::vector<std::optional<uint64_t>> anchored(n + 1);
    for (uint64_t pos = 0; pos <= n; ++pos) {
      ParseContext ctx{text.data(), n};
      const ParseOutcome o = e.parse_impl(ctx, pos);
      if (o.ok) anchored[pos] = o.end;
      if (e.mode == RegexMode::General) {
        EXPECT_EQ(match_at(e, text, pos), anchored[pos]) << pos;
      }
    }
    uint64_t whole_end;
    EXPECT_EQ(e.anchored->match_prefix(text.data(), n, &whole_end) ? std::optional<uint64_t>(whole_end) : std::nullopt,
              anchored[0]);
    for (uint64_t pos = 0; pos <= n; pos = next_character_boundary(text.data(), n, pos + 1)) {
      uint64_t first = pos;
      while (first <= n && !anchored[first]) first = next_character_boundary(text.data(), n, first + 1);
      uint64_t s;
      uint64_t end;
      const bool found = e.unanchored->find(text.data(), n, pos, &s, &end);
      ASSERT_EQ(found, first <= n) << pos;
      if (found) {
        EXPECT_EQ(std::make_pair(s, end), std::make_pair(first, *anchored[first])) << pos;
      }
    }
    regex::MatchIterator it(*e.unanchored, text.data(), n);
    uint64_t s;
    uint64_t end;
    uint64_t previous_end = 0;
    while (it.next(&s, &end)) {
      EXPECT_GE(s, previous_end);
      EXPECT_EQ(anchored[s], std::optional<uint64_t>(end)) << s;
      previous_end = end;
    }
  }
}

// Unicode word assertions at the pattern's edges are exact: `(?u)<lead>\\w+<trail>` against a
// brute-force search over a text of word characters (a, é, 1, ß) and others (space, -, ·).
TEST(RegexDialect, EdgeWordAssertionsAreExactInUnicodeMode) {
  struct Piece {
    const char* text;
    bool word;
  };
  const std::vector<Piece> alphabet = {{"a", true},  {"\xC3\xA9", true}, {"1", true},         {" ", false},
                                       {"-", false}, {"\xC3\x9F", true}, {"\xC2\xB7", false}};
  enum Kind { None, Boundary, NotBoundary, Start, End, StartHalf, EndHalf };
  const std::vector<std::pair<const char*, Kind>> leads = {
      {"", None}, {"\\b", Boundary}, {"\\B", NotBoundary}, {"\\<", Start}, {"\\b{start-half}", StartHalf}};
  const std::vector<std::pair<const char*, Kind>> trails = {
      {"", None}, {"\\b", Boundary}, {"\\B", NotBoundary}, {"\\>", End}, {"\\b{end-half}", EndHalf}};
  auto holds = [](Kind k, bool before, bool after) {
    switch (k) {
      case None: return true;
      case Boundary: return before != after;
      case NotBoundary: return before == after;
      case Start: return !before && after;
      case End: return before && !after;
      case StartHalf: return !before;
      case EndHalf: return !after;
    }
    return false;
  };
  std::vector<RegexBuild> built;
  for (const auto& lead : leads) {
    for (const auto& trail : trails) {
      built.push_back(make_regex_element(std::string("(?u)") + lead.first + "\\w+" + trail.first));
      ASSERT_TRUE(built.back().element) << built.back().error;
    }
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<size_t> picks;
    for (unsigned k = rng() % 8; k > 0; --k) picks.push_back(rng() % alphabet.size());
    std::string text;
    std::vector<size_t> bounds{0};  // byte offset of each character boundary
    for (size_t i : picks) {
      text += alphabet[i].text;
      bounds.push_back(text.size());
    }
    auto word = [&](size_t i) { return i < picks.size() && alphabet[picks[i]].word; };  // character i
    size_t index = 0;
    for (const auto& [lead, lead_kind] : leads) {
      for (const auto& [trail, trail_kind] : trails) {
        const RegexBuild& b = built[index++];
        // Leftmost start whose lead holds, then the longest run of word characters whose trail holds.
        std::string want;
        size_t from = 0;
        for (size_t s = 0; s < picks.size(); ++s) {
          if (s < from || !holds(lead_kind, s > 0 && word(s - 1), word(s)) || !word(s)) continue;
          size_t run = s;
          while (word(run)) ++run;
          for (size_t e = run; e > s; --e) {
            if (holds(trail_kind, true, word(e))) {
              if (!want.empty()) want += ",";
              want += std::to_string(bounds[s]) + "-" + std::to_string(bounds[e]);
              from = e;
              break;
            }
          }
        }
        SCOPED_TRACE("pattern /" + std::string(regex_of(b).message.view()) + " on '" + text + "'");
        ASSERT_EQ(spans_of(*regex_of(b).unanchored, text), want);
      }
    }
  }
}

// Set operations work on explicit ranges, linear in their operands: a chain of symmetric
// differences costs a few passes over the folded letters per term (it once doubled per term),
// and means what it says.
TEST(RegexClassAlgebra, ChainsOfSetOperationsCostLinearWork) {
  auto chain = [](int terms) {
    std::string p = "(?i)[\\pL";
    for (int k = 0; k < terms; ++k) p += "~~" + std::string(1, static_cast<char>('a' + k % 26));
    return p + "]";
  };
  EXPECT_EQ(chain(9), "(?i)[\\pL~~a~~b~~c~~d~~e~~f~~g~~h~~i]");
  EXPECT_EQ(spans(chain(9), "aJ\xC3\xA9" "1I" + kKelvin), "1-2,2-4,6-9");
  const regex::PropertyLookup letter = regex::lookup_property(regex::UnicodeForm::OneLetter, "L", "");
  ASSERT_TRUE(letter.ok);
  uint64_t links = 0;
  const regex::RangeList l(letter.sets[0].members.begin(), letter.sets[0].members.end());
  const uint64_t letters = regex::case_fold_closure(l, &links).size() + links;
  for (const int terms : {9, 40, 200}) {
    SCOPED_TRACE(terms);
    const regex::CompileResult r = regex::compile("(?:" + chain(terms) + ")", true);
    ASSERT_TRUE(r.expression) << r.error;
    EXPECT_LE(r.class_work, 8 * letters * (terms + 1));
  }
}

// Folding a small class reads the folding table where the class has members, not the whole
// table nor the code space.
TEST(RegexClassAlgebra, FoldingReadsOnlyWhatItFolds) {
  const std::string pattern = "(?i)[\xCE\xB1-\xCF\x89--\xCE\xB2]";  // (?i)[α-ω--β]
  EXPECT_LT(regex::compile("(?:" + pattern + ")", true).class_work, 200u);
  // α and Α stay; β, Β and ϐ (which folds with them) go; γ and µ (which folds with μ) stay.
  EXPECT_EQ(spans(pattern, "\xCE\xB1\xCE\x91\xCE\xB2\xCE\x92\xCF\x90\xCE\xB3\xC2\xB5"), "0-2,2-4,10-12,12-14");
}

// A class whose evaluation would pass the work budget is refused before the operation that
// would pass it runs, with the class error.
TEST(RegexClassAlgebra, AnOversizedEvaluationIsRefusedBeforeItRuns) {
  std::string pattern = "[";
  for (int k = 0; k < 20000; ++k) pattern += "[\\pL--a]";
  pattern += "]";
  const regex::CompileResult r = regex::compile("(?:" + pattern + ")", true);
  ASSERT_FALSE(r.expression);
  EXPECT_NE(r.error.find("error: character class too complex"), std::string::npos) << r.error.substr(0, 300);
  EXPECT_LE(r.class_work, regex::kMaxClassWork);
}

// Random patterns over the dialect's tokens (groups closing into the wrapper, alternations,
// classes, counts past RE2's limits, assertions, every plane) end in an element or an error,
// after a bounded amount of work; the matches stay inside the text.
TEST(RegexRobustness, RandomPatternsEndInAResultOrAnError) {
  const std::vector<std::string> tokens = {
      "a", "b", "\xC3\xA9", "\xF0\x9F\x98\x80", ".", "(", ")", "(?:", "(?i)", "(?-u)", "(?u)", "(?x)", "(?s)",
      "(?U)", "(?R)", "|", "*", "+", "?", "{2}", "{0,3}", "{1001}", "{0,1500}?", "[", "]", "[^", "&&", "--",
      "~~", "-", "^", "$", "\\b", "\\B", "\\<", "\\>", "\\b{start}", "\\b{end-half}", "\\w", "\\W", "\\d",
      "\\S", "\\pL", "\\p{Greek}", "\\p{Emoji}", "\\p{scx=Grek}", "\\x{10FFFF}", "\\xff", "[:alpha:]", "\\", "#", " ", "\n", "(?P<n>",
      "z-a", "}", "{", "0", "15"};
  const std::vector<std::string> pieces = {"a", "b", "\xC3\xA9", " ", "_", "1", "\n", "\xF0\x9F\x98\x80"};
  std::mt19937 rng(5);
  for (int i = 0; i < 4000; ++i) {
    std::string pattern;
    for (unsigned k = rng() % 14 + 1; k > 0; --k) pattern += tokens[rng() % tokens.size()];
    std::string text;
    for (unsigned k = rng() % 10; k > 0; --k) text += pieces[rng() % pieces.size()];
    SCOPED_TRACE("pattern /" + pattern + "/");
    // The front end's work in Unicode mode (where classes are evaluated as range sets):
    // class evaluation reads a few table-sized sets at most, and no node's text grows past
    // what the size limit allows.
    const regex::CompileResult r = regex::compile("(?:" + pattern + ")", true);
    ASSERT_LT(r.class_work, 50000u);
    ASSERT_LT(r.largest_fragment, 4000000u);
    RegexBuild b = make_regex_element(pattern);
    if (b.element) {
      EXPECT_LE(regex_of(b).unanchored->program_size(), regex::kMaxProgramSize);
      regex::MatchIterator it(*regex_of(b).unanchored, text.data(), text.size());
      uint64_t s;
      uint64_t e;
      while (it.next(&s, &e)) ASSERT_TRUE(s <= e && e <= text.size());
    } else {
      ASSERT_FALSE(b.error.empty());
    }
  }
}

// UTF-8 of the characters c0, c0 + step, ... (n of them).
std::string spaced_chars(uint32_t c0, uint32_t step, int n) {
  std::string out;
  for (uint32_t c = c0; n > 0; --n, c += step) append_utf8(out, c);
  return out;
}

// A class of many items is evaluated with one sort, not one per item: the work for 20,000
// literals is a small multiple of 20,000 (a sort per item read 200 million ranges), with or
// without negation, set operations and a property beside them.
TEST(RegexRobustness, LongClassesCostLinearWork) {
  const std::string items = spaced_chars(0xE000, 3, 20000);
  for (const std::string& pattern :
       {"[" + items + "]", "[^" + items + "]", "[" + items + "--[a]]", "[\\pL" + items + "]", "(?i)[" + items + "&&\\pL]"}) {
    SCOPED_TRACE(pattern.substr(0, 8));
    const regex::CompileResult r = regex::compile("(?:" + pattern + ")", true);
    EXPECT_TRUE(r.expression) << r.error.substr(0, 200);
    EXPECT_LT(r.class_work, 10u * 20000u);
  }
}

}  // namespace
}  // namespace vantorel
