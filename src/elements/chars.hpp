// Leaf kinds whose matches have variable length: Word (a run of characters from two sets)
// and QuotedString (text between quote bytes); Regex has a header of its own.
// Failures are always at the element's own position with its stored message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "elements/byte_set.hpp"
#include "elements/element.hpp"

namespace vantorel {

// ---- Word -------------------------------------------------------------------------------

class WordElement final : public ParserElement {
 public:
  // Every field as Word(init_chars, body_chars) computes it; body_chars nullptr means absent.
  WordElement(std::string_view init_chars, const std::string_view* body_chars) noexcept;

  SharedString message;  // "Expected W:(<prefix>...)"
  ByteSet init_set;      // characters allowed first
  ByteSet body_set;      // characters allowed after the first
  uint64_t min_len = 1;  // least number of characters
  uint64_t max_len = 0;  // greatest length in bytes, 0 for no limit

  // parse_impl decodes body characters (two-byte characters for members >= 128);
  // try_match_at tests bytes one by one. The two differ only when a set has members >= 128.
  // A failure is at pos with the stored message; a success makes one new string.
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  // init_set, read as byte values: both roads test the first byte itself.
  [[nodiscard]] ByteSet first_bytes() const noexcept override { return init_set; }

  // The end parse_impl matches to, without the token: the decoding road.
  [[nodiscard]] Match match_decoded(const char* text, uint64_t length, uint64_t pos) const noexcept;
};

// Word(init_chars, body_chars): body_chars absent (nullptr) means the same set as init_chars;
// an empty body_chars gives an empty body set. Ends the process only when memory is exhausted.
[[nodiscard]] ElementRef new_word_element(std::string_view init_chars, const std::string_view* body_chars) noexcept;
// "Expected W:(<prefix>...)": the prefix is the longest start of init_chars of at most 8
// bytes that ends on a character boundary.
[[nodiscard]] std::string word_message(std::string_view init_chars);

// ---- QuotedString -----------------------------------------------------------------------

class QuotedStringElement final : public ParserElement {
 public:
  // Every field as QuotedString(quote_char, esc_char, multiline, unquote) computes it;
  // esc_char nullptr means absent.
  QuotedStringElement(std::string_view quote_char, const std::string_view* esc_char, bool multiline_flag,
                      bool unquote_flag) noexcept;

  SharedString message;         // "Expected quoted string starting with '{}'"
  unsigned char quote = '"';    // opens and closes the string
  uint8_t has_escape = 0;       // 1 when an escape byte is set
  unsigned char escape = 0;     // meaningful when has_escape
  uint8_t multiline = 0;        // 1 when a line feed may occur inside
  uint8_t unquote = 1;          // 1: the token is the content, escapes resolved

  // One new string on success (the raw match, the content, or the content with escapes
  // resolved); a failure is at pos with the stored message. try_match_at runs the same scan.
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  // Borrows the token from the input, except where escapes are resolved (plain road).
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  // The quote byte (none for a quote byte >= 128, which never matches).
  [[nodiscard]] ByteSet first_bytes() const noexcept override { return quote >= 0x80 ? ByteSet() : ByteSet::of(quote); }

 private:
  struct Scan {
    bool matched = false;
    bool escaped = false;  // an escape byte occurred in the content
    uint64_t close = 0;    // position of the closing quote
  };
  [[nodiscard]] Scan scan(const char* text, uint64_t length, uint64_t pos) const noexcept;
  // True when the token of a match is the content with its escapes resolved, which is not
  // a piece of the input.
  [[nodiscard]] bool resolves_escapes(const Scan& s) const noexcept { return unquote != 0 && s.escaped && escape < 0x80; }
  // The token of a match that does not resolve escapes: the whole match, or the content.
  [[nodiscard]] std::string_view token_text(const char* text, uint64_t pos, const Scan& s) const noexcept {
    if (unquote == 0) return {text + pos, static_cast<size_t>(s.close + 1 - pos)};
    return {text + pos + 1, static_cast<size_t>(s.close - (pos + 1))};
  }
};

// QuotedString(quote_char, esc_char, multiline, unquote): esc_char absent is nullptr.
[[nodiscard]] ElementRef new_quoted_string_element(std::string_view quote_char, const std::string_view* esc_char,
                                                   bool multiline, bool unquote) noexcept;

}  // namespace vantorel
