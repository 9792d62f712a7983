// The anchors and rest_of_line. The anchors test the position alone; their failures carry
// a fixed text made new for each failure.
#include "elements/positional.hpp"

#include <cstring>

namespace vantorel {

namespace {
constexpr std::string_view kNoMatchMessage = "NoMatch will never match";
constexpr std::string_view kLineStartMessage = "Expected start of line";
constexpr std::string_view kLineEndMessage = "Expected end of line";
constexpr std::string_view kStringStartMessage = "Expected start of string";
constexpr std::string_view kStringEndMessage = "Expected end of string";
constexpr std::string_view kRestOfLineMessage = "Expected rest of line";

// The two roads of an anchor: its try_match_at decides, it yields no token, and a failure
// carries its fixed text (a new string on the plain road, the constant on the flat road).
ParseOutcome anchor_outcome(Match m, std::string_view message, uint64_t pos) noexcept {
  return m.matched ? ParseOutcome::success(m.end) : ParseOutcome::fixed_failure(message, pos);
}
Match anchor_into(Match m, std::string_view message, uint64_t pos, FlatResults& out) noexcept {
  return m.matched ? m : out.fail(message, pos);
}

}  // namespace

// ---- Empty, NoMatch ---------------------------------------------------------------------

Match EmptyElement::try_match_at(const char*, uint64_t, uint64_t pos) const noexcept { return Match::at(pos); }
ParseOutcome EmptyElement::parse_impl(ParseContext&, uint64_t pos) const noexcept { return ParseOutcome::success(pos); }
Match EmptyElement::parse_into(ParseContext&, uint64_t pos, FlatResults&) const noexcept { return Match::at(pos); }

Match NoMatchElement::try_match_at(const char*, uint64_t, uint64_t) const noexcept { return Match::none(); }
ParseOutcome NoMatchElement::parse_impl(ParseContext&, uint64_t pos) const noexcept {
  return ParseOutcome::fixed_failure(kNoMatchMessage, pos);
}
Match NoMatchElement::parse_into(ParseContext&, uint64_t pos, FlatResults& out) const noexcept {
  return out.fail(kNoMatchMessage, pos);
}

// ---- LineStart, LineEnd -----------------------------------------------------------------

Match LineStartElement::try_match_at(const char* text, uint64_t, uint64_t pos) const noexcept {
  return pos == 0 || text[pos - 1] == '\n' ? Match::at(pos) : Match::none();
}
ParseOutcome LineStartElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return anchor_outcome(try_match_at(ctx.text, ctx.length, pos), kLineStartMessage, pos);
}
Match LineStartElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return anchor_into(try_match_at(ctx.text, ctx.length, pos), kLineStartMessage, pos, out);
}

// At the end of the text LineEnd consumes nothing but still yields its line-feed token.
Match LineEndElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (pos == length) return Match::at(length);
  return text[pos] == '\n' ? Match::at(pos + 1) : Match::none();
}
ParseOutcome LineEndElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  const Match m = try_match_at(ctx.text, ctx.length, pos);
  if (!m.matched) return ParseOutcome::fixed_failure(kLineEndMessage, pos);
  ParseResults r;
  r.push_back(Token::copy_of("\n"));
  return ParseOutcome::success(m.end, std::move(r));
}
Match LineEndElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  const Match m = try_match_at(ctx.text, ctx.length, pos);
  if (!m.matched) return out.fail(kLineEndMessage, pos);
  out.push("\n");
  return m;
}

// ---- StringStart, StringEnd -------------------------------------------------------------

Match StringStartElement::try_match_at(const char*, uint64_t, uint64_t pos) const noexcept {
  return pos == 0 ? Match::at(0) : Match::none();
}
ParseOutcome StringStartElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return anchor_outcome(try_match_at(ctx.text, ctx.length, pos), kStringStartMessage, pos);
}
Match StringStartElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return anchor_into(try_match_at(ctx.text, ctx.length, pos), kStringStartMessage, pos, out);
}

Match StringEndElement::try_match_at(const char*, uint64_t length, uint64_t pos) const noexcept {
  return pos == length ? Match::at(pos) : Match::none();
}
ParseOutcome StringEndElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return anchor_outcome(try_match_at(ctx.text, ctx.length, pos), kStringEndMessage, pos);
}
Match StringEndElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return anchor_into(try_match_at(ctx.text, ctx.length, pos), kStringEndMessage, pos, out);
}

// ---- rest_of_line -----------------------------------------------------------------------

RestOfLineElement::RestOfLineElement() noexcept : message(SharedString::make(kRestOfLineMessage)) {}

// The line runs to the first line feed at or after pos (found with memchr), or to the end.
// A token that began inside a multi-byte character would hold part of it, so rest_of_line
// does not match at a position inside a character (both roads): it fails there with its
// message. Its end, a line feed or the end of the text, is always a character boundary.
Match RestOfLineElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (pos > length || is_inside_character(text, length, pos)) return Match::none();
  if (pos == length) return Match::at(pos);
  const void* lf = std::memchr(text + pos, '\n', length - pos);
  return Match::at(lf == nullptr ? length : static_cast<uint64_t>(static_cast<const char*>(lf) - text));
}

ParseOutcome RestOfLineElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return matched_text_outcome(ctx, pos, try_match_at(ctx.text, ctx.length, pos), message);
}
Match RestOfLineElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return matched_text_into(ctx, pos, try_match_at(ctx.text, ctx.length, pos), message, out);
}

}  // namespace vantorel
