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

void expect_roads_agree(const ParserElement& e, std::string_view text, uint64_t pos) {
  ParseContext ctx{text.data(), text.size(), 1};
  ParseOutcome o = e.parse_impl(ctx, pos);
  const std::optional<uint64_t> m = match_at(e, text, pos);
  EXPECT_EQ(o.ok, m.has_value()) << "text '" << text << "' at " << pos;
  if (o.ok && m) {
    EXPECT_EQ(o.end, *m) << "text '" << text << "' at " << pos;
  }
  EXPECT_EQ(parse_into_at(e, text, pos), parse_at(e, text, pos)) << "text '" << text << "' at " << pos;
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

}  // namespace vantorel::testing
