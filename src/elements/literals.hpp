// Leaf kinds that match fixed text at a position: Literal, CaselessLiteral, Keyword,
// CaselessKeyword and Char, with the factories that compute every field once.
// Every failure is at the element's own position and shares the element's stored message.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "elements/element.hpp"

namespace vantorel {

// 1 for the identifier bytes 0-9, A-Z, a-z and _ (is_ascii_word_byte), 0 for every other
// byte (all bytes >= 128).
struct IdentTable {
  unsigned char is_ident[256];
};
[[nodiscard]] const IdentTable& ident_table() noexcept;

// The end rule of both keyword kinds: a keyword match that ends at q (q <= n) stands when q
// is the end of the text or text[q] is no identifier byte. Only ASCII identifier bytes stop
// a match (a keyword followed by a letter beyond ASCII matches), and the byte before the
// match is never examined.
[[nodiscard]] inline bool keyword_ends_at(const IdentTable& ident, const char* text, uint64_t n, uint64_t q) noexcept {
  return q >= n || ident.is_ident[static_cast<unsigned char>(text[q])] == 0;
}

// Byte-by-byte ASCII lower-casing: exactly the bytes 65-90 (A-Z) become byte + 32.
[[nodiscard]] constexpr unsigned char fold_ascii(unsigned char b) noexcept {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : b;
}
[[nodiscard]] std::string lower_ascii(std::string_view s);

// "{}"-template filling by plain insertion of `value` (no quoting or escaping).
[[nodiscard]] std::string fill_template(std::string_view tmpl, std::string_view value);

// True when the bytes text[pos, pos + folded.size()) equal `folded` under the ASCII case
// fold; the caller has checked that the range lies inside the text.
[[nodiscard]] inline bool equals_folded(const char* text, uint64_t pos, std::string_view folded) noexcept {
  for (size_t i = 0; i < folded.size(); ++i) {
    if (fold_ascii(static_cast<unsigned char>(text[pos + i])) != static_cast<unsigned char>(folded[i])) return false;
  }
  return true;
}

// ---- Literal ----------------------------------------------------------------------------

class LiteralElement final : public ParserElement {
 public:
  LiteralElement(std::string_view text) noexcept;

  ParseResults cached_results;  // one Str token holding the literal: every match shares it
  std::string literal;          // the literal's UTF-8 bytes (possibly empty)
  SharedString message;         // "Expected '{}'"
  unsigned char first_byte;     // literal[0], or 0 when empty

  // The whole rule: first-byte reject, then the rest as one block compare.
  [[nodiscard]] Match match(const char* text, uint64_t length, uint64_t pos) const noexcept {
    const uint64_t size = literal.size();
    if (size > length - pos) return Match::none();
    if (size == 0) return Match::at(pos);
    if (static_cast<unsigned char>(text[pos]) != first_byte) return Match::none();
    if (size > 1 && std::memcmp(text + pos + 1, literal.data() + 1, size - 1) != 0) return Match::none();
    return Match::at(pos + size);
  }

  // parse_into's whole rule, inline for the combinators that call a Literal directly: the
  // literal's stored bytes as the token, or the message at pos.
  Match match_into(const ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
    const Match m = match(ctx.text, ctx.length, pos);
    if (!m.matched) return out.fail(message.view(), pos);
    out.push(cached_results[0].text());
    return m;
  }

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override {
    return match(text, length, pos);
  }
  StartOutcome parse_from_start(const char* text, uint64_t length) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  [[nodiscard]] ByteSet first_bytes() const noexcept override;
};

// A new LiteralElement for any text (the empty text too), in its first handle. Ends the
// process only when memory is exhausted.
[[nodiscard]] ElementRef new_literal_element(std::string_view text) noexcept;
// The failure message of a Literal of `text`: "Expected '{}'".
[[nodiscard]] std::string literal_message(std::string_view text);

// ---- CaselessLiteral --------------------------------------------------------------------

class CaselessLiteralElement final : public ParserElement {
 public:
  CaselessLiteralElement(std::string_view text) noexcept;

  ParseResults cached_results;  // one Str token: the text as given, case unchanged
  std::string lowered;          // the text with A-Z folded to a-z
  SharedString message;         // "Expected '{}' (caseless)"

  [[nodiscard]] Match match(const char* text, uint64_t length, uint64_t pos) const noexcept {
    if (lowered.size() > length - pos) return Match::none();
    if (!equals_folded(text, pos, lowered)) return Match::none();
    return Match::at(pos + lowered.size());
  }

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override {
    return match(text, length, pos);
  }
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  [[nodiscard]] ByteSet first_bytes() const noexcept override;
};

[[nodiscard]] ElementRef new_caseless_literal_element(std::string_view text) noexcept;

// ---- Keyword ----------------------------------------------------------------------------

class KeywordElement final : public ParserElement {
 public:
  KeywordElement(std::string_view text) noexcept;

  ParseResults cached_results;  // one Str token holding the keyword
  std::string keyword;          // the keyword's UTF-8 bytes
  const IdentTable& ident_chars;  // identifier bytes: one may not follow the match
  SharedString message;         // "Expected keyword '{}'"
  uint64_t length;              // bytes of keyword
  unsigned char first_byte;     // keyword[0], or 0 when empty

  // Bytes compared as Literal does; then the keyword end rule.
  [[nodiscard]] Match match(const char* text, uint64_t n, uint64_t pos) const noexcept {
    if (length > n - pos) return Match::none();
    if (length > 0) {
      if (static_cast<unsigned char>(text[pos]) != first_byte) return Match::none();
      if (length > 1 && std::memcmp(text + pos + 1, keyword.data() + 1, length - 1) != 0) return Match::none();
    }
    const uint64_t q = pos + length;
    return keyword_ends_at(ident_chars, text, n, q) ? Match::at(q) : Match::none();
  }

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t n, uint64_t pos) const noexcept override {
    return match(text, n, pos);
  }
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  [[nodiscard]] ByteSet first_bytes() const noexcept override;
};

[[nodiscard]] ElementRef new_keyword_element(std::string_view text) noexcept;

// ---- CaselessKeyword --------------------------------------------------------------------

class CaselessKeywordElement final : public ParserElement {
 public:
  CaselessKeywordElement(std::string_view text) noexcept;

  ParseResults cached_results;  // one Str token: the text as given, case unchanged
  std::string lowered;          // the text with A-Z folded to a-z
  const IdentTable& ident_chars;
  SharedString message;         // "Expected keyword '{}' (caseless)"
  uint64_t length;              // bytes of lowered

  [[nodiscard]] Match match(const char* text, uint64_t n, uint64_t pos) const noexcept {
    if (length > n - pos) return Match::none();
    if (!equals_folded(text, pos, lowered)) return Match::none();
    const uint64_t q = pos + length;
    // The end rule looks at the text's own byte, not its folded form.
    return keyword_ends_at(ident_chars, text, n, q) ? Match::at(q) : Match::none();
  }

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t n, uint64_t pos) const noexcept override {
    return match(text, n, pos);
  }
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  [[nodiscard]] ByteSet first_bytes() const noexcept override;
};

[[nodiscard]] ElementRef new_caseless_keyword_element(std::string_view text) noexcept;

// ---- Char -------------------------------------------------------------------------------

class CharElement final : public ParserElement {
 public:
  CharElement(std::string_view chars) noexcept;

  unsigned char char_table[256];  // 1 for every byte of the UTF-8 encoding of the set's text
  SharedString message;           // "Expected one of '{}'"

  // One byte of the table; end pos + 1.
  [[nodiscard]] Match match(const char* text, uint64_t n, uint64_t pos) const noexcept {
    if (pos >= n || char_table[static_cast<unsigned char>(text[pos])] == 0) return Match::none();
    return Match::at(pos + 1);
  }

  // The end of the token at pos: a byte >= 128 that starts a character takes the whole
  // character as its token; one inside a character fails (see literals.cpp).
  [[nodiscard]] Match token_end(const char* text, uint64_t n, uint64_t pos) const noexcept;
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t n, uint64_t pos) const noexcept override {
    return match(text, n, pos);
  }
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  [[nodiscard]] ByteSet first_bytes() const noexcept override;
};

[[nodiscard]] ElementRef new_char_element(std::string_view chars) noexcept;

}  // namespace vantorel
