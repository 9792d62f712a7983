// Tests over every kind at once: the kind and whitespace answers of all 25 non-regex kinds,
// whole small grammars, an exhaustive agreement check of the two roads over every short
// text, try_match_at's promise not to allocate, and the allocation-free failures and
// literal successes of parse_impl.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "elements/chars.hpp"
#include "elements/element_classes.hpp"
#include "elements/forward.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"
#include "support.hpp"

// ---- allocation counting ----------------------------------------------------------------
// Replaces the global allocation functions for this test program: while a thread counts,
// every operator new on it is counted. Everything is forwarded to malloc and free.
namespace {
thread_local bool t_counting = false;
thread_local uint64_t t_allocations = 0;
void* counted_alloc(std::size_t n) noexcept {
  if (t_counting) ++t_allocations;
  return std::malloc(n == 0 ? 1 : n);
}
}  // namespace

void* operator new(std::size_t n) {
  void* p = counted_alloc(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t n) {
  void* p = counted_alloc(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return counted_alloc(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return counted_alloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace vantorel {
namespace {

using testing::forward;
using testing::lit;
using testing::over;
using testing::parse_at;
using testing::wrap;

const std::string kEAcute = "\xc3\xa9";

template <class T>
ElementRef leaf() {
  return ElementRef::make<T>();
}
ElementRef word(std::string_view init) { return new_word_element(init, nullptr); }
ElementRef word(std::string_view init, std::string_view body) { return new_word_element(init, &body); }

// ---- kind and skips_whitespace ----------------------------------------------------------

TEST(AllKinds, AnswerKindAndSkipsWhitespaceAsTheTableSays) {
  struct Row {
    const char* class_name;
    ElementRef element;
    ElementKind kind;
    bool skips;
  };
  const ElementRef a = lit("a");
  const Row rows[] = {
      {"Literal", a, ElementKind::Normal, true},
      {"CaselessLiteral", new_caseless_literal_element("a"), ElementKind::Normal, true},
      {"Keyword", new_keyword_element("a"), ElementKind::Normal, true},
      {"CaselessKeyword", new_caseless_keyword_element("a"), ElementKind::Normal, true},
      {"Char", new_char_element("a"), ElementKind::Normal, true},
      {"Word", word("a"), ElementKind::Normal, true},
      {"QuotedString", new_quoted_string_element("\"", nullptr, false, true), ElementKind::Normal, true},
      {"Empty", leaf<EmptyElement>(), ElementKind::Normal, true},
      {"NoMatch", leaf<NoMatchElement>(), ElementKind::Normal, true},
      {"LineStart", leaf<LineStartElement>(), ElementKind::Normal, true},
      {"LineEnd", leaf<LineEndElement>(), ElementKind::Normal, true},
      {"StringStart", leaf<StringStartElement>(), ElementKind::Normal, true},
      {"StringEnd", leaf<StringEndElement>(), ElementKind::Normal, true},
      {"rest_of_line", leaf<RestOfLineElement>(), ElementKind::Normal, false},
      {"And", over<AndElement>({a, a}), ElementKind::Complex, true},
      {"MatchFirst", over<MatchFirstElement>({a}), ElementKind::Complex, true},
      {"Optional", wrap<OptionalElement>(a), ElementKind::Normal, true},
      {"ZeroOrMore", wrap<ZeroOrMoreElement>(a), ElementKind::Complex, true},
      {"OneOrMore", wrap<OneOrMoreElement>(a), ElementKind::Complex, true},
      {"Exactly", wrap<ExactlyElement>(a, uint64_t{2}), ElementKind::Normal, true},
      {"Group", wrap<GroupElement>(a), ElementKind::Group, true},
      {"Suppress", wrap<SuppressElement>(a), ElementKind::Suppress, true},
      {"Combine", wrap<CombineElement>(a), ElementKind::Normal, true},
      {"SkipTo", wrap<SkipToElement>(a), ElementKind::Normal, true},
      {"Forward", forward(), ElementKind::Complex, true},
  };
  std::set<std::string> listed;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.class_name);
    listed.insert(r.class_name);
    EXPECT_EQ(r.element->kind(), r.kind);
    EXPECT_EQ(r.element->skips_whitespace(), r.skips);
  }
  // Every class of the one list appears above, Regex aside (it has tests of its own).
  std::set<std::string> all;
#define VANTOREL_NAME(Class, ...) all.insert(#Class);
  VANTOREL_ELEMENT_CLASSES(VANTOREL_NAME)
#undef VANTOREL_NAME
  all.erase("Regex");
  EXPECT_EQ(listed, all);
}

// ---- whole grammars ---------------------------------------------------------------------

TEST(Grammars, KeyValueLines) {
  // line = Group(Word(alphas) + Suppress("=") + rest_of_line); lines = ZeroOrMore(line)
  const std::string alphas = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const ElementRef line =
      wrap<GroupElement>(over<AndElement>({word(alphas), wrap<SuppressElement>(lit("=")), leaf<RestOfLineElement>()}));
  const ElementRef lines = over<AndElement>({wrap<ZeroOrMoreElement>(line), leaf<StringEndElement>()});
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"a=1\nbb = two words\n\nc=\n", "end=23 [['a', '1'], ['bb', ' two words'], ['c', '']]"},
      {"  key=v" + kEAcute, "end=9 [['key', 'v" + kEAcute + "']]"},
      {"", "end=0 []"},
      {"a=1\n=2", "fail@4: Expected end of string"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_at(*lines, c.text, 0), c.expected);
    testing::expect_roads_agree(*lines, c.text, 0);
  }
}

// ---- the exhaustive check ---------------------------------------------------------------

// True when `s` is well-formed UTF-8 (whole characters only).
bool whole_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t width = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (width == 0 || i + width > s.size()) return false;
    for (size_t k = 1; k < width; ++k) {
      if (!is_continuation_byte(static_cast<unsigned char>(s[i + k]))) return false;
    }
    i += width;
  }
  return true;
}

bool tokens_whole(const Token& t) {
  if (t.is_str()) return whole_utf8(t.text());
  for (const Token& item : t.items()) {
    if (!tokens_whole(item)) return false;
  }
  return true;
}
bool tokens_whole(const ParseResults& r) {
  for (const Token& t : r) {
    if (!tokens_whole(t)) return false;
  }
  return true;
}

// Where the two roads may differ (each is a departure the engine documents).
enum class Departure : uint8_t {
  None,
  HighBytes,       // Word or Char over characters >= U+0080: agree on ASCII texts
  ZeroWidthFirst,  // OneOrMore over a child that can match empty: may differ anywhere
};

struct Grammar {
  const char* name;
  ElementRef element;
  Departure departure = Departure::None;
  bool allocates_in_match = false;  // contains a Combine
};

std::vector<Grammar> small_grammars() {
  const ElementRef a = lit("a");
  const ElementRef b = lit("b");
  const ElementRef opt_a = wrap<OptionalElement>(a);
  const ElementRef recursive = forward();  // r <<= a + Optional(r)
  testing::set_target(recursive, over<AndElement>({a, wrap<OptionalElement>(recursive)}));
  const ElementRef left = forward();  // l <<= l + b | a
  testing::set_target(left, over<MatchFirstElement>({over<AndElement>({left, b}), a}));
  // The same left recursion reached through Suppress (try_match_at inside parse_impl) and
  // through Combine (parse_impl inside try_match_at): both roads must cut it alike.
  const ElementRef left_suppressed = forward();  // s <<= Suppress(s) + b | a
  testing::set_target(left_suppressed,
                      over<MatchFirstElement>({over<AndElement>({wrap<SuppressElement>(left_suppressed), b}), a}));
  const ElementRef left_combined = forward();  // c <<= Combine(c) + b | a
  testing::set_target(left_combined,
                      over<MatchFirstElement>({over<AndElement>({wrap<CombineElement>(left_combined), b}), a}));
  return {
      {"Literal a", a},
      {"Literal e-acute", lit(kEAcute)},
      {"CaselessLiteral A", new_caseless_literal_element("A")},
      {"Keyword a", new_keyword_element("a")},
      {"CaselessKeyword AB", new_caseless_keyword_element("AB")},
      {"Char a, e-acute", new_char_element("a" + kEAcute), Departure::HighBytes},
      {"Word ab", word("ab")},
      {"Word a, a e-acute", word("a", "a" + kEAcute), Departure::HighBytes},
      {"Word A-tilde", word("\xc3\x83"), Departure::HighBytes},
      {"QuotedString a", new_quoted_string_element("a", nullptr, false, true)},
      {"QuotedString tab, escape b", [] {
         const std::string_view esc = "b";
         return new_quoted_string_element("\t", &esc, false, true);
       }()},
      {"QuotedString a multiline raw", new_quoted_string_element("a", nullptr, true, false)},
      {"QuotedString e-acute", new_quoted_string_element(kEAcute, nullptr, false, true)},
      {"Empty", leaf<EmptyElement>()},
      {"NoMatch", leaf<NoMatchElement>()},
      {"LineStart", leaf<LineStartElement>()},
      {"LineEnd", leaf<LineEndElement>()},
      {"StringStart", leaf<StringStartElement>()},
      {"StringEnd", leaf<StringEndElement>()},
      {"rest_of_line", leaf<RestOfLineElement>()},
      {"And a b", over<AndElement>({a, b})},
      {"And a rest_of_line", over<AndElement>({a, leaf<RestOfLineElement>()})},
      {"And LineStart a LineEnd", over<AndElement>({leaf<LineStartElement>(), a, leaf<LineEndElement>()})},
      {"MatchFirst b a | a | Empty", over<MatchFirstElement>({over<AndElement>({b, a}), a, leaf<EmptyElement>()})},
      {"MatchFirst none", over<MatchFirstElement>({})},
      {"Optional a", opt_a},
      {"ZeroOrMore a | e-acute", wrap<ZeroOrMoreElement>(over<MatchFirstElement>({a, lit(kEAcute)}))},
      {"OneOrMore Word ab", wrap<OneOrMoreElement>(word("ab"))},
      {"OneOrMore Optional a", wrap<OneOrMoreElement>(opt_a), Departure::ZeroWidthFirst},
      {"Exactly 2 a", wrap<ExactlyElement>(a, uint64_t{2})},
      {"Exactly 1 Optional b", wrap<ExactlyElement>(wrap<OptionalElement>(b), uint64_t{1})},
      {"Group a Optional b", wrap<GroupElement>(over<AndElement>({a, wrap<OptionalElement>(b)}))},
      {"Suppress a b", wrap<SuppressElement>(over<AndElement>({a, b}))},
      {"Suppress OneOrMore Optional a", wrap<SuppressElement>(wrap<OneOrMoreElement>(opt_a))},
      {"Combine a b", wrap<CombineElement>(over<AndElement>({a, b})), Departure::None, true},
      {"Combine Suppress Char e-acute", wrap<CombineElement>(wrap<SuppressElement>(new_char_element(kEAcute))),
       Departure::None, true},
      {"SkipTo b", wrap<SkipToElement>(b)},
      {"SkipTo Char copyright", wrap<SkipToElement>(new_char_element("\xc2\xa9"))},
      {"SkipTo StringEnd", wrap<SkipToElement>(leaf<StringEndElement>())},
      {"Forward recursive", recursive},
      {"Forward left-recursive", left},
      {"Forward left-recursive through Suppress", left_suppressed},
      {"Forward left-recursive through Combine", left_combined, Departure::None, true},
      {"Forward unset", forward()},
  };
}

std::vector<std::string> short_texts() {
  const std::string alphabet[] = {"a", "b", " ", "\t", "\n", kEAcute};
  std::vector<std::string> texts{""};
  size_t from = 0;
  for (int length = 1; length <= 4; ++length) {
    const size_t to = texts.size();
    for (size_t i = from; i < to; ++i) {
      for (const std::string& c : alphabet) texts.push_back(texts[i] + c);
    }
    from = to;
  }
  return texts;
}

TEST(AllKinds, RoadsAgreeOnEveryShortTextAtEveryPosition) {
  const std::vector<Grammar> grammars = small_grammars();
  const std::vector<std::string> texts = short_texts();
  (void)stack_nearly_exhausted();  // the guard's first call reads the stack bounds
  for (const Grammar& g : grammars) {
    SCOPED_TRACE(g.name);
    int reported = 0;
    for (const std::string& text : texts) {
      const bool ascii = text.find('\xc3') == std::string::npos;
      for (uint64_t pos = 0; pos <= text.size(); ++pos) {
        ParseContext ctx{text.data(), text.size(), 1};
        const ParseOutcome o = g.element->parse_impl(ctx, pos);
        t_allocations = 0;
        t_counting = true;
        const Match m = g.element->try_match_at(text.data(), text.size(), pos);
        t_counting = false;
        const bool agree = o.ok == m.matched && (!o.ok || o.end == m.end);
        const bool may_depart = g.departure == Departure::ZeroWidthFirst || (g.departure == Departure::HighBytes && !ascii);
        bool good = ctx.skip_whitespace == 1 && (agree || may_depart);
        good = good && (o.ok ? pos <= o.end && o.end <= text.size() && tokens_whole(o.results)
                             : o.error.position <= text.size());
        good = good && (!m.matched || (pos <= m.end && m.end <= text.size()));
        good = good && (g.allocates_in_match || t_allocations == 0);
        if (!good && reported++ < 5) {
          ADD_FAILURE() << "text '" << text << "' at " << pos << ": parse_impl " << parse_at(*g.element, text, pos)
                        << ", try_match_at " << (m.matched ? std::to_string(m.end) : "none") << ", "
                        << t_allocations << " allocations";
        }
      }
      const StartOutcome s = g.element->parse_from_start(text.data(), text.size());
      if (s.ok && !tokens_whole(s.results) && reported++ < 5) ADD_FAILURE() << "parse_from_start on '" << text << "'";
    }
  }
}

// A failure that carries a stored message shares it, and a literal kind's success copies
// its cached results in place: neither allocates.
TEST(AllKinds, StoredMessageFailuresAndLiteralSuccessesAllocateNothing) {
  struct Case {
    const char* name;
    ElementRef element;
    std::string text;  // the element fails at 0 of it
  };
  const Case failures[] = {
      {"Literal", lit("ab"), "ax"},
      {"CaselessLiteral", new_caseless_literal_element("ab"), "ax"},
      {"Keyword", new_keyword_element("ab"), "abc"},
      {"CaselessKeyword", new_caseless_keyword_element("ab"), "AB_"},
      {"Char", new_char_element("ab"), "x"},
      {"Char inside a character", new_char_element(kEAcute), kEAcute.substr(1)},
      {"Word", word("ab"), "x"},
      {"QuotedString", new_quoted_string_element("\"", nullptr, false, true), "\"ab"},
      {"rest_of_line", leaf<RestOfLineElement>(), kEAcute.substr(1)},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.name);
    ParseContext ctx{c.text.data(), c.text.size(), 1};
    t_allocations = 0;
    t_counting = true;
    {
      const ParseOutcome o = c.element->parse_impl(ctx, 0);
      const StartOutcome s = c.element->parse_from_start(c.text.data(), c.text.size());
      EXPECT_FALSE(o.ok || s.ok);
    }
    t_counting = false;
    EXPECT_EQ(t_allocations, 0u);
  }
  const Case successes[] = {
      {"Literal", lit("ab"), "ab"},
      {"CaselessLiteral", new_caseless_literal_element("ab"), "AB"},
      {"Keyword", new_keyword_element("ab"), "ab+"},
      {"CaselessKeyword", new_caseless_keyword_element("ab"), "aB"},
  };
  for (const Case& c : successes) {
    SCOPED_TRACE(c.name);
    ParseContext ctx{c.text.data(), c.text.size(), 1};
    t_allocations = 0;
    t_counting = true;
    {
      const ParseOutcome o = c.element->parse_impl(ctx, 0);
      const StartOutcome s = c.element->parse_from_start(c.text.data(), c.text.size());
      EXPECT_TRUE(o.ok && s.ok);
    }
    t_counting = false;
    EXPECT_EQ(t_allocations, 0u);
  }
}

}  // namespace
}  // namespace vantorel
