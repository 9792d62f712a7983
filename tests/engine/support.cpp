// Shared helpers of the engine tests.
#include "support.hpp"

#include "elements/forward.hpp"

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

std::optional<uint64_t> match_at(const ParserElement& e, std::string_view text, uint64_t pos) {
  const Match m = e.try_match_at(text.data(), text.size(), pos);
  if (!m.matched) return std::nullopt;
  EXPECT_GE(m.end, pos);
  EXPECT_LE(m.end, text.size());
  return m.end;
}

void expect_roads_agree(const ParserElement& e, std::string_view text, uint64_t pos) {
  ParseContext ctx{text.data(), text.size(), 1};
  ParseOutcome o = e.parse_impl(ctx, pos);
  const std::optional<uint64_t> m = match_at(e, text, pos);
  EXPECT_EQ(o.ok, m.has_value()) << "text '" << text << "' at " << pos;
  if (o.ok && m) {
    EXPECT_EQ(o.end, *m) << "text '" << text << "' at " << pos;
  }
}

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
    SCOPED_TRACE(std::string("pattern /") + c.pattern + "/ on '" + c.text + "'");
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
