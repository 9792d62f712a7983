// The combinators. Each checks the stack guard once on entry (its children run deeper, its
// own loop does not), skips whitespace before a child by child_start's rule, and passes a
// child's failure on as the very ParseError the child returned. A stack-guard failure is
// never swallowed (see nesting_too_deep in element.hpp).
#include "elements/structure.hpp"

#include <cstring>

namespace vantorel {

namespace {

constexpr std::string_view kNoAlternativesMessage = "No match found";
constexpr std::string_view kAtLeastOneMessage = "Expected at least one match";
constexpr std::string_view kNoProgressMessage = "No progress in Exactly";
constexpr std::string_view kSuppressMessage = "Suppress: no match";
constexpr std::string_view kSkipToMessage = "SkipTo: target not found";
constexpr std::string_view kCombineInsideMessage = "Combine: match starts inside a character";

constexpr uint64_t kUnlimited = UINT64_MAX;

// ---- the one repetition loop ------------------------------------------------------------
// ZeroOrMore, OneOrMore and Exactly differ only in what they make of the way the loop
// stopped. A repetition is zero-width when it ends where child_start placed it; it stops the
// loop and contributes nothing, so every counted repetition advances at least one byte and
// every loop ends.

enum class RepeatStop : uint8_t {
  Limit,      // `limit` repetitions were counted
  Miss,       // a repetition failed
  ZeroWidth,  // a repetition succeeded without consuming text
};

struct RepeatParse {
  RepeatStop stop;
  uint64_t end;      // end of the last counted repetition, or pos when none
  uint64_t at;       // where the repetition that stopped the loop ran (after child_start's skip)
  uint64_t count;    // counted repetitions
  ParseError error;  // the failure, when stop is Miss
};

// parse_impl form: the tokens of counted repetitions are moved to `out`.
RepeatParse repeat_parse(const ParserElement& child, ParseContext& ctx, uint64_t pos, uint64_t limit,
                         ParseResults& out) noexcept {
  uint64_t p = pos;
  uint64_t count = 0;
  while (count < limit) {
    const uint64_t q = child_start(ctx, child, p);
    ParseOutcome o = child.parse_impl(ctx, q);
    if (!o.ok) return {RepeatStop::Miss, p, q, count, std::move(o.error)};
    if (o.end == q) return {RepeatStop::ZeroWidth, p, q, count, {}};
    out.append(std::move(o.results));
    p = o.end;
    ++count;
  }
  return {RepeatStop::Limit, p, p, count, {}};
}

struct RepeatMatch {
  RepeatStop stop;
  uint64_t end;
  uint64_t count;
  bool too_deep;  // the miss was the stack guard's
};

// try_match_at form of the same loop.
RepeatMatch repeat_match(const ParserElement& child, const char* text, uint64_t length, uint64_t pos,
                         uint64_t limit) noexcept {
  uint64_t p = pos;
  uint64_t count = 0;
  while (count < limit) {
    const uint64_t q = child_start(text, length, child, p);
    const Match m = child.try_match_at(text, length, q);
    if (!m.matched) return {RepeatStop::Miss, p, count, m.is_too_deep()};
    if (m.end == q) return {RepeatStop::ZeroWidth, p, count, false};
    p = m.end;
    ++count;
  }
  return {RepeatStop::Limit, p, count, false};
}

// Flat form of the same loop: the tokens of counted repetitions stay in `out`, those of a
// zero-width repetition are cut, and a miss leaves its failure in out's error slot. A
// stack-guard miss also cuts what the loop appended: it is passed on, not a shorter success.
// `starts`, when given, is the child's first_bytes: a repetition placed before a byte outside
// it is a miss without a try, since the child would fail there and do nothing else. Only the
// loops that drop the failure of the miss that stops them (ZeroOrMore, OneOrMore) pass it;
// the error slot then keeps what it held, which nothing reads after a success.
struct RepeatInto {
  RepeatStop stop;
  uint64_t end;
  uint64_t at;
  uint64_t count;
  bool too_deep;  // the miss was the stack guard's
};

RepeatInto repeat_into(const ParserElement& child, ParseContext& ctx, uint64_t pos, uint64_t limit,
                       FlatResults& out, const ByteSet* starts = nullptr) noexcept {
  const FlatResults::Mark start = out.mark();
  uint64_t p = pos;
  uint64_t count = 0;
  while (count < limit) {
    const uint64_t q = child_start(ctx, child, p);
    if (starts != nullptr && q < ctx.length && !starts->contains(static_cast<unsigned char>(ctx.text[q]))) {
      return {RepeatStop::Miss, p, q, count, false};
    }
    const FlatResults::Mark mark = out.mark();
    const Match m = child.parse_into(ctx, q, out);
    if (!m.matched) {
      const bool too_deep = out.failed_too_deep();
      if (too_deep) out.cut(start);
      return {RepeatStop::Miss, p, q, count, too_deep};
    }
    if (m.end == q) {
      out.cut(mark);
      return {RepeatStop::ZeroWidth, p, q, count, false};
    }
    p = m.end;
    ++count;
  }
  return {RepeatStop::Limit, p, p, count, false};
}

ParseOutcome pass_on(ParseError&& error) noexcept { return ParseOutcome::failure(std::move(error)); }

}  // namespace

// ---- And --------------------------------------------------------------------------------

ParseOutcome AndElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseResults r;
  uint64_t p = pos;
  for (const ElementRef& child : exprs) {
    ParseOutcome o = child->parse_impl(ctx, child_start(ctx, *child, p));
    if (!o.ok) return o;
    r.append(std::move(o.results));
    p = o.end;
  }
  return ParseOutcome::success(p, std::move(r));
}

Match AndElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const FlatResults::Mark mark = out.mark();
  uint64_t p = pos;
  for (const ElementRef& child : exprs) {
    const Match m = child->parse_into(ctx, child_start(ctx, *child, p), out);
    if (!m.matched) {
      out.cut(mark);
      return m;
    }
    p = m.end;
  }
  return Match::at(p);
}

// ---- MatchFirst -------------------------------------------------------------------------

// Skipping the alternatives that cannot start at a byte changes nothing but the work: each
// would fail there and do nothing else, and a failure of theirs would be overwritten by a
// later one. The table stops at 255 (a later first candidate starts the search at 255).
// Its match begins with one of the alternatives, at its own position; none matches with no
// alternatives.
StartRule MatchFirstElement::start_rule(const std::vector<ElementRef>& alternatives) noexcept {
  StartRule rule{ByteSet(), !alternatives.empty()};
  for (const ElementRef& alternative : alternatives) {
    rule.bytes = rule.bytes | alternative->first_bytes();
    rule.after_whitespace = rule.after_whitespace && alternative->skips_whitespace_first();
  }
  return rule;
}

MatchFirstElement::MatchFirstElement(std::vector<ElementRef> alternatives) noexcept
    : ElementWithStartRule(start_rule(alternatives)), exprs(std::move(alternatives)) {
  constexpr size_t kMost = 255;
  const size_t n = exprs.size() < kMost ? exprs.size() : kMost;
  std::memset(first_candidate_, static_cast<int>(n), sizeof first_candidate_);
  for (size_t i = n; i > 0; --i) {
    const ByteSet first = exprs[i - 1]->first_bytes();
    for (unsigned b = 0; b < 256; ++b) {
      if (first.contains(b)) first_candidate_[b] = static_cast<uint8_t>(i - 1);
    }
  }
  literals_.reserve(exprs.size());
  for (const ElementRef& alternative : exprs) literals_.push_back(dynamic_cast<const LiteralElement*>(alternative.get()));
}

// When every alternative fails, the last one's failure is the result (not the one that
// reached furthest); only one failure is held at a time.
ParseOutcome MatchFirstElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (exprs.empty()) return ParseOutcome::fixed_failure(kNoAlternativesMessage, pos);
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseOutcome last;
  for (const ElementRef& alt : exprs) {
    last = alt->parse_impl(ctx, pos);
    if (last.ok || last.error.is_too_deep()) return last;
  }
  return last;
}

// A failed alternative leaves nothing in `out` but its failure, which the next one
// overwrites: the last alternative's failure is the one left.
// When no alternative can start at the byte, the last one still runs, for its failure.
Match MatchFirstElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (exprs.empty()) return out.fail(kNoAlternativesMessage, pos);
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const size_t first = first_candidate(ctx.text, ctx.length, pos);
  for (size_t i = first < exprs.size() ? first : exprs.size() - 1; i < exprs.size(); ++i) {
    const LiteralElement* literal = literals_[i];
    const Match m = literal != nullptr ? literal->match_into(ctx, pos, out) : exprs[i]->parse_into(ctx, pos, out);
    if (m.matched || out.failed_too_deep()) return m;
  }
  return Match::none();
}

Match MatchFirstElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  for (size_t i = first_candidate(text, length, pos); i < exprs.size(); ++i) {
    const Match m = exprs[i]->try_match_at(text, length, pos);
    if (m.matched || m.is_too_deep()) return m;
  }
  return Match::none();
}

// ---- Optional ---------------------------------------------------------------------------

ParseOutcome OptionalElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseOutcome o = expr->parse_impl(ctx, pos);
  if (o.ok || o.error.is_too_deep()) return o;
  return ParseOutcome::success(pos);
}

Match OptionalElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const Match m = expr->parse_into(ctx, pos, out);
  if (m.matched || out.failed_too_deep()) return m;
  return Match::at(pos);
}

Match OptionalElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  const Match m = expr->try_match_at(text, length, pos);
  if (m.matched || m.is_too_deep()) return m;
  return Match::at(pos);
}

// ---- ZeroOrMore -------------------------------------------------------------------------

// The end is that of the last repetition that consumed text: whitespace skipped before the
// attempt that stopped the loop is not consumed.
ParseOutcome ZeroOrMoreElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseResults r;
  RepeatParse run = repeat_parse(*expr, ctx, pos, kUnlimited, r);
  if (run.stop == RepeatStop::Miss && run.error.is_too_deep()) return pass_on(std::move(run.error));
  return ParseOutcome::success(run.end, std::move(r));
}

Match ZeroOrMoreElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const RepeatInto run = repeat_into(*expr, ctx, pos, kUnlimited, out, &expr_first);
  return run.too_deep ? Match::none() : Match::at(run.end);
}

Match ZeroOrMoreElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  const RepeatMatch run = repeat_match(*expr, text, length, pos, kUnlimited);
  return run.too_deep ? Match::too_deep() : Match::at(run.end);
}

// ---- OneOrMore --------------------------------------------------------------------------

// With no counted repetition the failure is this element's own, at pos (before the first
// attempt's whitespace); the child's failure is dropped.
ParseOutcome OneOrMoreElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseResults r;
  RepeatParse run = repeat_parse(*expr, ctx, pos, kUnlimited, r);
  if (run.stop == RepeatStop::Miss && run.error.is_too_deep()) return pass_on(std::move(run.error));
  if (run.count == 0) return ParseOutcome::fixed_failure(kAtLeastOneMessage, pos);
  return ParseOutcome::success(run.end, std::move(r));
}

Match OneOrMoreElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const RepeatInto run = repeat_into(*expr, ctx, pos, kUnlimited, out, &expr_first);
  if (run.too_deep) return Match::none();
  if (run.count == 0) return out.fail(kAtLeastOneMessage, pos);
  return Match::at(run.end);
}

// Where try_match_at departs from parse_impl: the first repetition is accepted even when it
// is zero-width, so a child that matches empty where child_start places it (p) gives a match
// ending at p.
Match OneOrMoreElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  const Match first = expr->try_match_at(text, length, child_start(text, length, *expr, pos));
  if (!first.matched) return first;
  const RepeatMatch run = repeat_match(*expr, text, length, first.end, kUnlimited);
  return run.too_deep ? Match::too_deep() : Match::at(run.end);
}

// ---- Exactly ----------------------------------------------------------------------------

ParseOutcome ExactlyElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (count == 0) return ParseOutcome::success(pos);
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseResults r;
  RepeatParse run = repeat_parse(*expr, ctx, pos, count, r);
  switch (run.stop) {
    case RepeatStop::Limit: return ParseOutcome::success(run.end, std::move(r));
    case RepeatStop::Miss: return pass_on(std::move(run.error));
    case RepeatStop::ZeroWidth: break;
  }
  return ParseOutcome::fixed_failure(kNoProgressMessage, run.at);
}

Match ExactlyElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (count == 0) return Match::at(pos);
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const FlatResults::Mark mark = out.mark();
  const RepeatInto run = repeat_into(*expr, ctx, pos, count, out);
  if (run.stop == RepeatStop::Limit) return Match::at(run.end);
  out.cut(mark);
  if (run.stop == RepeatStop::Miss) return Match::none();
  return out.fail(kNoProgressMessage, run.at);
}

Match ExactlyElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (count == 0) return Match::at(pos);
  if (stack_nearly_exhausted()) return Match::too_deep();
  const RepeatMatch run = repeat_match(*expr, text, length, pos, count);
  if (run.stop == RepeatStop::Limit) return Match::at(run.end);
  return run.too_deep ? Match::too_deep() : Match::none();
}

// ---- Group ------------------------------------------------------------------------------

ParseOutcome GroupElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseOutcome o = expr->parse_impl(ctx, pos);
  if (!o.ok) return o;
  const uint64_t size = o.results.size();
  ParseResults r;
  r.push_back(Token::group(o.results.release_array(), size));
  return ParseOutcome::success(o.end, std::move(r));
}

Match GroupElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const uint64_t head = out.open_group();
  const Match m = expr->parse_into(ctx, pos, out);
  if (!m.matched) {
    out.cancel_group(head);
    return m;
  }
  out.close_group(head);
  return m;
}

Match GroupElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  return expr->try_match_at(text, length, pos);
}

// ---- Suppress ---------------------------------------------------------------------------

// The child's tokens are never built: both roads match through its try_match_at, so the
// child's try_match_at rules (where they depart from parse_impl, and child_start's skip as
// if the context flag were 1) show here in parse_impl too.
ParseOutcome SuppressElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  const Match m = expr->try_match_at(ctx.text, ctx.length, pos);
  if (m.matched) return ParseOutcome::success(m.end);
  if (m.is_too_deep()) return nesting_too_deep(pos);
  return ParseOutcome::fixed_failure(kSuppressMessage, pos);
}

Match SuppressElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const Match m = expr->try_match_at(ctx.text, ctx.length, pos);
  if (m.matched) return m;
  if (m.is_too_deep()) return out.fail_too_deep(pos);
  return out.fail(kSuppressMessage, pos);
}

Match SuppressElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  return expr->try_match_at(text, length, pos);
}

// ---- Combine ----------------------------------------------------------------------------

namespace {
// Clears the context's whitespace flag for the child and puts the old value back on every
// path out.
class SkipWhitespaceOff {
 public:
  explicit SkipWhitespaceOff(ParseContext& ctx) noexcept : ctx_(ctx), saved_(ctx.skip_whitespace) {
    ctx.skip_whitespace = 0;
  }
  SkipWhitespaceOff(const SkipWhitespaceOff&) = delete;
  SkipWhitespaceOff& operator=(const SkipWhitespaceOff&) = delete;
  ~SkipWhitespaceOff() { ctx_.skip_whitespace = saved_; }

 private:
  ParseContext& ctx_;
  uint8_t saved_;
};

// Combine's token is the matched text, so its bounds must fall between characters. A child
// that ends inside a multi-byte character (one matched through try_match_at, such as a
// Suppress of a Char) has its end carried to the end of that character. A non-empty match
// that begins inside a character cannot give whole text and fails at pos with the fixed
// text "Combine: match starts inside a character"; an empty one is the empty token.
Match combined_end(const ParseContext& ctx, uint64_t pos, uint64_t child_end) noexcept {
  if (child_end == pos) return Match::at(pos);
  if (is_inside_character(ctx.text, ctx.length, pos)) return Match::none();
  return Match::at(next_character_boundary(ctx.text, ctx.length, child_end));
}

}  // namespace

ParseOutcome CombineElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  ParseOutcome o = [&]() noexcept {
    SkipWhitespaceOff off(ctx);
    return expr->parse_impl(ctx, pos);
  }();
  if (!o.ok) return o;
  const Match m = combined_end(ctx, pos, o.end);
  if (!m.matched) return ParseOutcome::fixed_failure(kCombineInsideMessage, pos);
  ParseResults r;
  r.push_back(Token::copy_of(std::string_view(ctx.text + pos, m.end - pos)));
  return ParseOutcome::success(m.end, std::move(r));
}

// The child's tokens are cut as soon as it has matched.
Match CombineElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const FlatResults::Mark mark = out.mark();
  const Match child = [&]() noexcept {
    SkipWhitespaceOff off(ctx);
    return expr->parse_into(ctx, pos, out);
  }();
  if (!child.matched) return child;
  out.cut(mark);
  const Match m = combined_end(ctx, pos, child.end);
  if (!m.matched) return out.fail(kCombineInsideMessage, pos);
  out.push(std::string_view(ctx.text + pos, m.end - pos));
  return m;
}

// The one try_match_at that parses: it runs Combine's flat road with a fresh context and
// results of its own, and keeps only the verdict and the end (nothing is allocated unless
// a kind below has no flat road of its own).
Match CombineElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  ParseContext ctx{text, length, 1};
  FlatResults out;
  const Match m = parse_into(ctx, pos, out);
  if (m.matched) return m;
  return out.failed_too_deep() ? Match::too_deep() : Match::none();
}

// ---- SkipTo -----------------------------------------------------------------------------

namespace {
// The scan of both roads: the target's try_match_at at pos, pos + 1, ..., length, first
// match wins. The skipped text text[pos, p) becomes a token, so it must hold whole
// characters: a target match at a position inside a multi-byte character is passed over
// (the scan goes on to the next position), and when pos itself is inside a character only
// a match at pos (an empty skip) is taken.
Match skip_scan(const ParserElement& target, const char* text, uint64_t length, uint64_t pos) noexcept {
  const bool from_inside = is_inside_character(text, length, pos);
  for (uint64_t p = pos; p <= length; ++p) {
    if (p > pos && (from_inside || is_inside_character(text, length, p))) {
      if (from_inside) break;
      continue;
    }
    const Match m = target.try_match_at(text, length, p);
    if (m.matched) return Match::at(p);
    if (m.is_too_deep()) return m;
  }
  return Match::none();
}
}  // namespace

ParseOutcome SkipToElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  const Match m = skip_scan(*expr, ctx.text, ctx.length, pos);
  if (m.is_too_deep()) return nesting_too_deep(pos);
  if (!m.matched) return ParseOutcome::fixed_failure(kSkipToMessage, pos);
  ParseResults r;
  r.push_back(Token::copy_of(std::string_view(ctx.text + pos, m.end - pos)));
  return ParseOutcome::success(m.end, std::move(r));
}

Match SkipToElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  const Match m = skip_scan(*expr, ctx.text, ctx.length, pos);
  if (m.is_too_deep()) return out.fail_too_deep(pos);
  if (!m.matched) return out.fail(kSkipToMessage, pos);
  out.push(std::string_view(ctx.text + pos, m.end - pos));
  return m;
}

Match SkipToElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  return skip_scan(*expr, text, length, pos);
}

}  // namespace vantorel
