// Tests over every kind at once: the kind and whitespace answers of all 25 non-regex kinds,
// whole small grammars, an exhaustive agreement check of the roads (parse_impl,
// try_match_at and the flat road parse_into) over every short text, and the flat road
// against the plain one on random grammars. (What the roads allocate is counted in
// allocation_test.cpp, a program of its own.)
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "elements/chars.hpp"
#include "elements/element_classes.hpp"
#include "elements/forward.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "elements/regex_element.hpp"
#include "elements/structure.hpp"
#include "support.hpp"

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

TEST(AllKinds, RoadsAgreeOnEveryShortTextAtEveryPosition) {
  const std::vector<testing::Grammar> grammars = testing::small_grammars();
  const std::vector<std::string> texts = testing::short_texts();
  for (const testing::Grammar& g : grammars) {
    SCOPED_TRACE(g.name);
    int reported = 0;
    for (const std::string& text : texts) {
      const bool may_depart = testing::may_depart(g.departure, text);
      for (uint64_t pos = 0; pos <= text.size(); ++pos) {
        ParseContext ctx{text.data(), text.size(), 1};
        const ParseOutcome o = g.element->parse_impl(ctx, pos);
        const Match m = g.element->try_match_at(text.data(), text.size(), pos);
        const bool agree = o.ok == m.matched && (!o.ok || o.end == m.end);
        bool good = ctx.skip_whitespace == 1 && (agree || may_depart);
        good = good && (o.ok ? pos <= o.end && o.end <= text.size() && testing::tokens_whole(o.results)
                             : o.error.position <= text.size());
        good = good && (!m.matched || (pos <= m.end && m.end <= text.size()));
        // first_bytes: at a byte outside it, every road fails.
        const bool excluded = pos < text.size() && !g.element->first_bytes().contains(static_cast<unsigned char>(text[pos]));
        good = good && (!excluded || (!o.ok && !m.matched));
        // skips_whitespace_first: at a whitespace byte, try_match_at answers as after the run.
        if (g.element->skips_whitespace_first() && pos < text.size() &&
            is_skipped_whitespace(static_cast<unsigned char>(text[pos]))) {
          const Match after = g.element->try_match_at(text.data(), text.size(),
                                                      advance_past_whitespace(text.data(), text.size(), pos));
          good = good && after.matched == m.matched && (!m.matched || after.end == m.end);
        }
        const std::string plain = parse_at(*g.element, text, pos);
        const std::string flat = testing::parse_into_at(*g.element, text, pos);
        good = good && flat == plain;
        if (!good && reported++ < 5) {
          ADD_FAILURE() << "text '" << text << "' at " << pos << ": parse_impl " << plain << ", parse_into " << flat
                        << ", try_match_at " << (m.matched ? std::to_string(m.end) : "none");
        }
      }
      const StartOutcome s = g.element->parse_from_start(text.data(), text.size());
      if (s.ok && !testing::tokens_whole(s.results) && reported++ < 5) ADD_FAILURE() << "parse_from_start on '" << text << "'";
      if (testing::parse_start_into(*g.element, text) != testing::parse_start(*g.element, text) && reported++ < 5) {
        ADD_FAILURE() << "parse_from_start_into on '" << text << "'";
      }
    }
  }
}

// ---- the flat road on random grammars ---------------------------------------------------

// The flat road (parse_into, and parse_from_start_into) gives exactly what the plain road
// gives: verdict, end, tokens and groups, and the failure's position and message.
TEST(AllKinds, FlatRoadEqualsPlainRoadOnRandomGrammars) {
  testing::RandomGrammars random(20240611);
  int reported = 0;
  for (int g = 0; g < 3000 && reported < 5; ++g) {
    const ElementRef grammar = random.make(4);
    for (int t = 0; t < 20; ++t) {
      const std::string text = random.text();
      for (uint64_t pos = 0; pos <= text.size(); ++pos) {
        const std::string plain = parse_at(*grammar, text, pos);
        const std::string flat = testing::parse_into_at(*grammar, text, pos);
        if (flat != plain && reported++ < 5) {
          ADD_FAILURE() << "grammar " << g << ", text '" << text << "' at " << pos << ": parse_impl " << plain
                        << ", parse_into " << flat;
        }
      }
      if (testing::parse_start_into(*grammar, text) != testing::parse_start(*grammar, text) && reported++ < 5) {
        ADD_FAILURE() << "grammar " << g << ", parse_from_start_into on '" << text << "'";
      }
    }
  }
}

// MatchFirst's try_match_at passes over the alternatives that cannot start at the byte: it
// answers exactly as trying every alternative in order would.
TEST(AllKinds, MatchFirstTriesEveryAlternativeThatCanStart) {
  testing::RandomGrammars random(20240612);
  int reported = 0;
  for (int g = 0; g < 2000 && reported < 5; ++g) {
    const ElementRef grammar = random.make_alternation(2);
    const auto& alternation = static_cast<const MatchFirstElement&>(*grammar);
    for (int t = 0; t < 20; ++t) {
      const std::string text = random.text();
      for (uint64_t pos = 0; pos <= text.size(); ++pos) {
        Match expected = Match::none();
        for (const ElementRef& alternative : alternation.exprs) {
          expected = alternative->try_match_at(text.data(), text.size(), pos);
          if (expected.matched || expected.is_too_deep()) break;
        }
        const Match m = grammar->try_match_at(text.data(), text.size(), pos);
        if ((m.matched != expected.matched || (m.matched && m.end != expected.end)) && reported++ < 5) {
          ADD_FAILURE() << "grammar " << g << ", text '" << text << "' at " << pos;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vantorel
