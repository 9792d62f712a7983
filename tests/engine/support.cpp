// Shared helpers of the engine tests: the road check with its table of departures, token
// descriptions, grammar builders and the small grammars of the exhaustive tests.
#include "support.hpp"

#include "elements/chars.hpp"
#include "elements/forward.hpp"
#include "elements/positional.hpp"
#include "elements/structure.hpp"
#include "elements/utf8.hpp"

namespace vantorel::testing {

std::string describe(const Token& token) {
  if (token.is_str()) return "'" + std::string(token.text()) + "'";
  std::string out = "[";
  bool first = true;
  for (const Token& t : token.items()) {
    if (!first) out += ", ";
    first = false;
    out += describe(t);
  }
  return out + "]";
}

std::string describe(const ParseResults& results) {
  std::string out = "[";
  bool first = true;
  for (const Token& t : results) {
    if (!first) out += ", ";
    first = false;
    out += describe(t);
  }
  return out + "]";
}

std::string parse_at(const ParserElement& e, std::string_view text, uint64_t pos) {
  ParseContext ctx{text.data(), text.size(), 1};
  ParseOutcome o = e.parse_impl(ctx, pos);
  EXPECT_EQ(ctx.skip_whitespace, 1) << "the context flag must be restored";
  if (!o.ok) return "fail@" + std::to_string(o.error.position) + ": " + std::string(o.error.message.view());
  EXPECT_GE(o.end, pos);
  EXPECT_LE(o.end, text.size());
  return "end=" + std::to_string(o.end) + " " + describe(o.results);
}

std::string parse_start(const ParserElement& e, std::string_view text) {
  StartOutcome o = e.parse_from_start(text.data(), text.size());
  if (!o.ok) return "fail@" + std::to_string(o.error.position) + ": " + std::string(o.error.message.view());
  return describe(o.results);
}

namespace {
// Appends the entry at i (and a group's items) to `out`; returns the index after them.
uint64_t describe_entry(const FlatResults& results, uint64_t i, std::string& out) {
  const FlatToken& entry = results.data()[i++];
  if (!entry.is_group()) {
    out += "'" + std::string(entry.text()) + "'";
    return i;
  }
  out += "[";
  for (uint64_t k = 0; k < entry.item_count(); ++k) {
    if (k != 0) out += ", ";
    i = describe_entry(results, i, out);
  }
  out += "]";
  return i;
}
}  // namespace

std::string describe(const FlatResults& results) {
  std::string out = "[";
  for (uint64_t i = 0; i < results.size();) {
    if (i != 0) out += ", ";
    i = describe_entry(results, i, out);
  }
  return out + "]";
}

std::string parse_into_at(const ParserElement& e, std::string_view text, uint64_t pos) {
  ParseContext ctx{text.data(), text.size(), 1};
  FlatResults out;
  const Match m = e.parse_into(ctx, pos, out);
  EXPECT_EQ(ctx.skip_whitespace, 1) << "the context flag must be restored";
  if (!m.matched) {
    EXPECT_EQ(out.size(), 0u) << "a failure leaves no entry behind";
    return "fail@" + std::to_string(out.error().position) + ": " + std::string(out.error().message);
  }
  EXPECT_GE(m.end, pos);
  EXPECT_LE(m.end, text.size());
  return "end=" + std::to_string(m.end) + " " + describe(out);
}

std::optional<uint64_t> match_at(const ParserElement& e, std::string_view text, uint64_t pos) {
  const Match m = e.try_match_at(text.data(), text.size(), pos);
  if (!m.matched) return std::nullopt;
  EXPECT_GE(m.end, pos);
  EXPECT_LE(m.end, text.size());
  return m.end;
}

// ---- Roads ------------------------------------------------------------------------------

namespace {

bool beyond_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}
bool any_text(std::string_view) { return true; }
bool has_vertical_tab(std::string_view text) { return text.find('\v') != std::string_view::npos; }

// Every way in which the engine's try_match_at departs from parse_impl, and the texts on
// which it can show. Everything else must agree.
struct DepartureRow {
  Departure departure;
  const char* kind;
  const char* what;
  bool (*shows_on)(std::string_view text);
};
constexpr DepartureRow kDepartures[] = {
    {Departure::WordBytes, "Word",
     "try_match_at tests each byte as a member value; parse_impl takes a first character whole and reads the "
     "characters U+0080..U+00FF of the sets as code points",
     &beyond_ascii},
    {Departure::CharBytes, "Char",
     "try_match_at takes one byte; parse_impl takes a lead byte's whole character and fails on a continuation byte",
     &beyond_ascii},
    {Departure::ZeroWidthFirst, "OneOrMore",
     "try_match_at accepts a zero-width first repetition, which parse_impl does not count", &any_text},
    {Departure::RegexWhitespaceRun, "Regex",
     "\\s+ and \\s*: try_match_at scans the bytes 9, 10, 12, 13 and 32; the expression takes the vertical tab too",
     &has_vertical_tab},
};

// "end=<end>" or "none", as a RoadCase's `match` reads.
std::string describe_match(const std::optional<uint64_t>& end) { return end ? "end=" + std::to_string(*end) : "none"; }

// try_match_at's description as it must read when it agrees with parse_impl's.
std::string agreeing_match(const std::string& parsed) {
  if (parsed.rfind("end=", 0) != 0) return "none";
  return parsed.substr(0, parsed.find(' '));
}

}  // namespace

bool may_depart(Departure d, std::string_view text) {
  for (const DepartureRow& row : kDepartures) {
    if (row.departure == d) return row.shows_on(text);
  }
  return false;
}

void check_roads(const RoadCase& c) {
  SCOPED_TRACE(std::string(c.name) + " on '" + c.text + "' at " + std::to_string(c.pos));
  const ParserElement& e = *c.element;
  const std::string parsed = parse_at(e, c.text, c.pos);
  EXPECT_EQ(parsed, c.parse);
  const std::string matched = describe_match(match_at(e, c.text, c.pos));
  if (c.departure == Departure::None) {
    EXPECT_EQ(matched, agreeing_match(parsed)) << "try_match_at departs from parse_impl";
  } else {
    EXPECT_TRUE(may_depart(c.departure, c.text)) << "this departure cannot show on this text";
    EXPECT_EQ(matched, c.match);
    EXPECT_NE(matched, agreeing_match(parsed)) << "the case names a departure, but the roads agree";
  }
  const uint64_t start = e.skips_whitespace() ? advance_past_whitespace(c.text.data(), c.text.size(), 0) : 0;
  if (c.pos == start) {
    const bool ok = parsed.rfind("end=", 0) == 0;
    EXPECT_EQ(parse_start(e, c.text), ok ? parsed.substr(parsed.find(' ') + 1) : parsed) << "parse_from_start";
    EXPECT_EQ(parse_start_into(e, c.text), parse_start(e, c.text)) << "the flat road's parse_from_start";
  }
  EXPECT_EQ(parse_into_at(e, c.text, c.pos), parsed) << "parse_into departs from parse_impl";
}

void expect_roads_agree(const ParserElement& e, std::string_view text, uint64_t pos) {
  SCOPED_TRACE("text '" + std::string(text) + "' at " + std::to_string(pos));
  const std::string parsed = parse_at(e, text, pos);
  EXPECT_EQ(describe_match(match_at(e, text, pos)), agreeing_match(parsed));
  EXPECT_EQ(parse_into_at(e, text, pos), parsed) << "parse_into departs from parse_impl";
}

// ---- Grammars -----------------------------------------------------------------------------

namespace {
std::vector<ElementRef>& made_forwards() {
  static std::vector<ElementRef> forwards;
  return forwards;
}

class BreakCycles final : public ::testing::Environment {
 public:
  void TearDown() override {
    for (const ElementRef& f : made_forwards()) set_target(f, ElementRef());
    made_forwards().clear();
  }
};
[[maybe_unused]] ::testing::Environment* const kBreakCycles = ::testing::AddGlobalTestEnvironment(new BreakCycles);
}  // namespace

ElementRef forward() {
  ElementRef f = ElementRef::make<ForwardElement>();
  made_forwards().push_back(f);
  return f;
}

void set_target(const ElementRef& forward, ElementRef target) {
  static_cast<const ForwardElement&>(*forward).forward_set(std::move(target));
}

namespace {
const std::string kEAcute = "\xc3\xa9";

template <class T>
ElementRef leaf() {
  return ElementRef::make<T>();
}
ElementRef word(std::string_view init) { return new_word_element(init, nullptr); }
ElementRef word(std::string_view init, std::string_view body) { return new_word_element(init, &body); }
}  // namespace

ElementRef RandomGrammars::make(int depth, bool recursive) {
  recursive_ = recursive;
  forwards_ = {forward(), forward()};
  ElementRef root = node(depth);
  for (const ElementRef& f : forwards_) set_target(f, node(depth));
  return root;
}

ElementRef RandomGrammars::make_alternation(int depth, bool recursive) {
  recursive_ = recursive;
  forwards_ = {forward(), forward()};
  std::vector<ElementRef> alternatives;
  for (uint32_t n = 1 + pick(6); n > 0; --n) alternatives.push_back(pick(3) == 0 ? node(depth) : terminal());
  for (const ElementRef& f : forwards_) set_target(f, node(depth));
  return ElementRef::make<MatchFirstElement>(std::move(alternatives));
}

std::string RandomGrammars::text(uint32_t most) {
  static const std::string kAlphabet[] = {"a", "b", "A", " ", "\n", "\t", "'", "\\", kEAcute};
  constexpr uint32_t kLetters = sizeof kAlphabet / sizeof kAlphabet[0];
  std::string t;
  for (uint32_t n = pick(most + 1); n > 0; --n) t += kAlphabet[pick(kLetters)];
  return t;
}

std::vector<ElementRef> RandomGrammars::children(int depth, uint32_t least) {
  std::vector<ElementRef> out;
  for (uint32_t n = least + pick(3); n > 0; --n) out.push_back(node(depth - 1));
  return out;
}

ElementRef RandomGrammars::node(int depth) {
  if (depth == 0 || pick(4) == 0) return terminal();
  switch (pick(11)) {
    case 0: return ElementRef::make<AndElement>(children(depth, 1));
    case 1: return ElementRef::make<MatchFirstElement>(children(depth, 0));
    case 2: return wrap<OptionalElement>(node(depth - 1));
    case 3: return wrap<ZeroOrMoreElement>(node(depth - 1));
    case 4: return wrap<OneOrMoreElement>(node(depth - 1));
    case 5: return wrap<ExactlyElement>(node(depth - 1), uint64_t{pick(3)});
    case 6: return wrap<GroupElement>(node(depth - 1));
    case 7: return wrap<SuppressElement>(node(depth - 1));
    case 8: return wrap<CombineElement>(node(depth - 1));
    case 9: return wrap<SkipToElement>(node(depth - 1));
    default: return a_forward();
  }
}

ElementRef RandomGrammars::a_forward() { return recursive_ ? forwards_[pick(2)] : terminal(); }

ElementRef RandomGrammars::terminal() {
  const std::string_view escape = "\\";
  switch (pick(18)) {
    case 0: return lit("a");
    case 1: return lit("ab");
    case 2: return lit(kEAcute);
    case 3: return new_caseless_literal_element("a");
    case 4: return new_keyword_element("a");
    case 5: return new_caseless_keyword_element("ab");
    case 6: return new_char_element("b" + kEAcute);
    case 7: return word("ab");
    case 8: return new_quoted_string_element("'", &escape, pick(2) == 0, pick(2) == 0);
    case 9: return make_regex_element(pick(2) == 0 ? "a[ab]*" : "\\s*b?").element;
    case 10: return leaf<EmptyElement>();
    case 11: return leaf<NoMatchElement>();
    case 12: return leaf<LineStartElement>();
    case 13: return leaf<LineEndElement>();
    case 14: return leaf<StringStartElement>();
    case 15: return leaf<StringEndElement>();
    case 16: return leaf<RestOfLineElement>();
    default: return recursive_ ? forwards_[pick(2)] : lit("b");
  }
}

std::vector<Grammar> small_grammars() {
  const ElementRef a = lit("a");
  const ElementRef b = lit("b");
  const ElementRef opt_a = wrap<OptionalElement>(a);
  const ElementRef recursive = forward();  // r <<= a + Optional(r)
  set_target(recursive, over<AndElement>({a, wrap<OptionalElement>(recursive)}));
  const ElementRef left = forward();  // l <<= l + b | a
  set_target(left, over<MatchFirstElement>({over<AndElement>({left, b}), a}));
  // The same left recursion reached through Suppress (try_match_at inside parse_impl) and
  // through Combine (parse_impl inside try_match_at): both roads must cut it alike.
  const ElementRef left_suppressed = forward();  // s <<= Suppress(s) + b | a
  set_target(left_suppressed,
             over<MatchFirstElement>({over<AndElement>({wrap<SuppressElement>(left_suppressed), b}), a}));
  const ElementRef left_combined = forward();  // c <<= Combine(c) + b | a
  set_target(left_combined, over<MatchFirstElement>({over<AndElement>({wrap<CombineElement>(left_combined), b}), a}));
  const std::string_view escape_b = "b";
  return {
      {"Literal a", a},
      {"Literal e-acute", lit(kEAcute)},
      {"CaselessLiteral A", new_caseless_literal_element("A")},
      {"Keyword a", new_keyword_element("a")},
      {"CaselessKeyword AB", new_caseless_keyword_element("AB")},
      {"Char a, e-acute", new_char_element("a" + kEAcute), Departure::CharBytes},
      {"Word ab", word("ab")},
      {"Word a, a e-acute", word("a", "a" + kEAcute), Departure::WordBytes},
      {"Word A-tilde", word("\xc3\x83"), Departure::WordBytes},
      {"QuotedString a", new_quoted_string_element("a", nullptr, false, true)},
      {"QuotedString tab, escape b", new_quoted_string_element("\t", &escape_b, false, true)},
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
      {"MatchFirst of leaves", over<MatchFirstElement>({lit("b"), new_caseless_keyword_element("AB"),
                                                        new_char_element(kEAcute + "\t"), word("a"), lit("a")}),
       Departure::CharBytes},
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
      // Regex: a byte DFA answers (its first bytes too), the one-byte mode, a pattern that
      // matches the empty text, one beyond ASCII, a caseless one, and RE2 alone (an assertion).
      {"Regex a[ab]*", make_regex_element("a[ab]*").element},
      {"Regex [ab]", make_regex_element("[ab]").element},
      {"Regex a*|b", make_regex_element("a*|b").element},
      {"Regex [e-acute a]+", make_regex_element("[" + kEAcute + "a]+").element},
      {"Regex (?i)ab|\\t", make_regex_element("(?i)ab|\\t").element},
      {"Regex \\s+b", make_regex_element("\\s+b").element},
      {"Regex \\ba", make_regex_element("\\ba").element},
  };
}

std::vector<std::string> short_texts() {
  const std::string alphabet[] = {"a", "b", "A", " ", "\t", "\n", kEAcute};
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

namespace {
bool whole_utf8(std::string_view s) {
  for (uint64_t i = 0; i < s.size();) {
    const DecodedChar c = decode_utf8_strict(s.data(), s.size(), i);
    if (c.length == 0) return false;
    i += c.length;
  }
  return true;
}
bool token_whole(const Token& t) {
  if (t.is_str()) return whole_utf8(t.text());
  for (const Token& item : t.items()) {
    if (!token_whole(item)) return false;
  }
  return true;
}
}  // namespace

bool tokens_whole(const ParseResults& results) {
  for (const Token& t : results) {
    if (!token_whole(t)) return false;
  }
  return true;
}

std::string spans_of(const regex::Expression& expression, std::string_view text) {
  regex::MatchIterator it(expression, text.data(), text.size());
  std::string out;
  uint64_t s;
  uint64_t e;
  while (it.next(&s, &e)) {
    if (!out.empty()) out += ",";
    out += std::to_string(s) + "-" + std::to_string(e);
  }
  return out;
}

std::string spans(std::string_view pattern, std::string_view text) {
  RegexBuild b = make_regex_element(pattern);
  if (!b.element) return "error: " + b.error;
  return spans_of(*regex_of(b).unanchored, text);
}

void run_regex_cases(const std::vector<RegexCase>& cases) {
  for (const RegexCase& c : cases) {
    SCOPED_TRACE("pattern /" + c.pattern + "/ on '" + c.text + "'");
    const std::string got = spans(c.pattern, c.text);
    const std::string want = c.expected;
    if (want.rfind("error: ", 0) == 0) {
      ASSERT_EQ(got.rfind("error: ", 0), 0u) << got;
      const size_t last = got.rfind("error: ");
      EXPECT_NE(got.find(want.substr(7), last), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, want);
    }
  }
}

}  // namespace vantorel::testing
