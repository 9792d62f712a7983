// Literal, CaselessLiteral, Keyword, CaselessKeyword and Char: construction and the full
// parse derived from each kind's matcher.
#include "elements/literals.hpp"

namespace vantorel {

namespace {

IdentTable make_ident_table() noexcept {
  IdentTable t{};
  for (unsigned b = 0; b < 256; ++b) t.is_ident[b] = is_ascii_word_byte(static_cast<unsigned char>(b)) ? 1 : 0;
  return t;
}

ParseResults one_token(std::string_view text) noexcept {
  ParseResults r;
  r.push_back(Token::copy_of(text));
  return r;
}

// A leaf's parse: on a match a copy of the cached results (sharing the stored string), on
// a miss the stored message at pos. Nothing is allocated on failure.
template <class Element>
ParseOutcome parse_cached(const Element& e, const ParseContext& ctx, uint64_t pos) noexcept {
  const Match m = e.match(ctx.text, ctx.length, pos);
  if (!m.matched) return ParseOutcome::failure(e.message, pos);
  return ParseOutcome::success(m.end, e.cached_results);
}

// The same on the flat road: the token's bytes are the element's stored string.
template <class Element>
Match flat_cached(const Element& e, const ParseContext& ctx, uint64_t pos, FlatResults& out) noexcept {
  const Match m = e.match(ctx.text, ctx.length, pos);
  if (!m.matched) return out.fail(e.message.view(), pos);
  out.push(e.cached_results[0].text());
  return m;
}

// The first bytes of a match of the non-empty folded text `lowered`: its first byte and, for
// a letter, the same letter in upper case. An empty text matches before any byte.
ByteSet folded_first_bytes(std::string_view lowered) noexcept {
  if (lowered.empty()) return ByteSet::all();
  const auto b = static_cast<unsigned char>(lowered[0]);
  ByteSet set = ByteSet::of(b);
  if (b >= 'a' && b <= 'z') set.insert(b - 32);
  return set;
}

}  // namespace

const IdentTable& ident_table() noexcept {
  static const IdentTable table = make_ident_table();
  return table;
}

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(fold_ascii(static_cast<unsigned char>(c)));
  return out;
}

std::string fill_template(std::string_view tmpl, std::string_view value) {
  const size_t at = tmpl.find("{}");
  if (at == std::string_view::npos) return std::string(tmpl);
  std::string out;
  out.reserve(tmpl.size() - 2 + value.size());
  out.append(tmpl.substr(0, at));
  out.append(value);
  out.append(tmpl.substr(at + 2));
  return out;
}

// ---- Literal ----------------------------------------------------------------------------

std::string literal_message(std::string_view text) { return fill_template("Expected '{}'", text); }

LiteralElement::LiteralElement(std::string_view text) noexcept
    : cached_results(one_token(text)),
      literal(text),
      message(SharedString::make(literal_message(text))),
      first_byte(text.empty() ? 0 : static_cast<unsigned char>(text[0])) {}

ParseOutcome LiteralElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return parse_cached(*this, ctx, pos);
}
Match LiteralElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return match_into(ctx, pos, out);
}

// Compares at the first non-whitespace byte directly, without a context.
StartOutcome LiteralElement::parse_from_start(const char* text, uint64_t length) const noexcept {
  const uint64_t p = advance_past_whitespace(text, length, 0);
  StartOutcome out;
  if (match(text, length, p).matched) {
    out.ok = true;
    out.results = cached_results;
  } else {
    out.error = ParseError{message, p};
  }
  return out;
}

ByteSet LiteralElement::first_bytes() const noexcept {
  return literal.empty() ? ByteSet::all() : ByteSet::of(first_byte);
}

ElementRef new_literal_element(std::string_view text) noexcept { return ElementRef::make<LiteralElement>(text); }

// ---- CaselessLiteral --------------------------------------------------------------------

CaselessLiteralElement::CaselessLiteralElement(std::string_view text) noexcept
    : cached_results(one_token(text)),
      lowered(lower_ascii(text)),
      message(SharedString::make(fill_template("Expected '{}' (caseless)", text))) {}

ParseOutcome CaselessLiteralElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return parse_cached(*this, ctx, pos);
}
Match CaselessLiteralElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return flat_cached(*this, ctx, pos, out);
}

ByteSet CaselessLiteralElement::first_bytes() const noexcept { return folded_first_bytes(lowered); }

ElementRef new_caseless_literal_element(std::string_view text) noexcept {
  return ElementRef::make<CaselessLiteralElement>(text);
}

// ---- Keyword ----------------------------------------------------------------------------

KeywordElement::KeywordElement(std::string_view text) noexcept
    : cached_results(one_token(text)),
      keyword(text),
      ident_chars(ident_table()),
      message(SharedString::make(fill_template("Expected keyword '{}'", text))),
      length(text.size()),
      first_byte(text.empty() ? 0 : static_cast<unsigned char>(text[0])) {}

ParseOutcome KeywordElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return parse_cached(*this, ctx, pos);
}
Match KeywordElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return flat_cached(*this, ctx, pos, out);
}

ByteSet KeywordElement::first_bytes() const noexcept {
  return length == 0 ? ByteSet::all() : ByteSet::of(first_byte);
}

ElementRef new_keyword_element(std::string_view text) noexcept { return ElementRef::make<KeywordElement>(text); }

// ---- CaselessKeyword --------------------------------------------------------------------

CaselessKeywordElement::CaselessKeywordElement(std::string_view text) noexcept
    : cached_results(one_token(text)),
      lowered(lower_ascii(text)),
      ident_chars(ident_table()),
      message(SharedString::make(fill_template("Expected keyword '{}' (caseless)", text))),
      length(text.size()) {}

ParseOutcome CaselessKeywordElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return parse_cached(*this, ctx, pos);
}
Match CaselessKeywordElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return flat_cached(*this, ctx, pos, out);
}

ByteSet CaselessKeywordElement::first_bytes() const noexcept { return folded_first_bytes(lowered); }

ElementRef new_caseless_keyword_element(std::string_view text) noexcept {
  return ElementRef::make<CaselessKeywordElement>(text);
}

// ---- Char -------------------------------------------------------------------------------

CharElement::CharElement(std::string_view chars) noexcept
    : char_table{}, message(SharedString::make(fill_template("Expected one of '{}'", chars))) {
  for (char c : chars) char_table[static_cast<unsigned char>(c)] = 1;
}

// A matched byte >= 128 belongs to a multi-byte character, and a one-byte token would not be
// whole UTF-8 text. So a lead byte (0xC0 and above) takes its whole character as the token
// (end at the character's end, never past the text), and a continuation byte (0x80-0xBF),
// which sits inside a character, fails at pos. try_match_at keeps the one-byte rule.
Match CharElement::token_end(const char* text, uint64_t n, uint64_t pos) const noexcept {
  if (!match(text, n, pos).matched) return Match::none();
  const auto b = static_cast<unsigned char>(text[pos]);
  if (is_continuation_byte(b)) return Match::none();
  uint64_t width = utf8_sequence_length(b);
  if (width > n - pos) width = n - pos;
  return Match::at(pos + width);
}

ParseOutcome CharElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return matched_text_outcome(ctx, pos, token_end(ctx.text, ctx.length, pos), message);
}
Match CharElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return matched_text_into(ctx, pos, token_end(ctx.text, ctx.length, pos), message, out);
}

ByteSet CharElement::first_bytes() const noexcept {
  ByteSet set;
  for (unsigned b = 0; b < 256; ++b) {
    if (char_table[b] != 0) set.insert(b);
  }
  return set;
}

ElementRef new_char_element(std::string_view chars) noexcept { return ElementRef::make<CharElement>(chars); }

}  // namespace vantorel
