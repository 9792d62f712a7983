// Word and QuotedString: construction (every field computed once) and matching.
#include "elements/chars.hpp"

#include "elements/literals.hpp"

namespace vantorel {

// ---- Word -------------------------------------------------------------------------------

std::string word_message(std::string_view init_chars) {
  size_t cut = init_chars.size();
  if (cut > 8) {
    cut = 8;
    while (cut > 0 && is_continuation_byte(static_cast<unsigned char>(init_chars[cut]))) --cut;
  }
  return fill_template("Expected {}", fill_template("W:({}...)", init_chars.substr(0, cut)));
}

WordElement::WordElement(std::string_view init_chars, const std::string_view* body_chars) noexcept
    : message(SharedString::make(word_message(init_chars))),
      init_set(ByteSet::from_utf8_chars(init_chars)),
      body_set(body_chars != nullptr ? ByteSet::from_utf8_chars(*body_chars) : init_set) {}

// The first character is tested by its first byte. A member byte that starts a multi-byte
// character (0xC0 and above) takes that whole character as the first character, so the
// token never ends inside it; a member byte 0x80-0xBF lies inside a character, where no
// word starts: no match. The other characters are tested by their code points: a
// character U+0080..U+00FF (two bytes) continues the word when its code point is a member,
// anything above U+00FF never does, and a lead byte without its continuation (a cut text)
// ends the word. The token therefore always holds whole characters.
Match WordElement::match_decoded(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (pos >= length) return Match::none();
  const auto first = static_cast<unsigned char>(text[pos]);
  if (!init_set.contains(first)) return Match::none();
  if (is_continuation_byte(first)) return Match::none();
  const uint64_t width = utf8_sequence_length(first);
  uint64_t q = width < length - pos ? pos + width : length;
  uint64_t chars = 1;
  while (q < length) {
    if (max_len != 0 && q - pos >= max_len) break;
    const auto b = static_cast<unsigned char>(text[q]);
    if (b < 0x80) {
      if (!body_set.contains(b)) break;
      q += 1;
    } else {
      // Only a whole two-byte character can be U+0080..U+00FF (C2 80 to C3 BF).
      const DecodedChar c = decode_utf8_strict(text, length, q);
      if (c.length != 2 || c.code_point > 0xFF || !body_set.contains(c.code_point)) break;
      q += 2;
    }
    ++chars;
  }
  if (chars < min_len) return Match::none();
  return Match::at(q);
}

ParseOutcome WordElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  return matched_text_outcome(ctx, pos, match_decoded(ctx.text, ctx.length, pos), message);
}
Match WordElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  return matched_text_into(ctx, pos, match_decoded(ctx.text, ctx.length, pos), message, out);
}

// Bytewise, as the drivers' Word fast paths: every byte is tested as a member value. With
// sets of ASCII characters this is exactly match_decoded; with members >= 128 the two may
// end at different places (where this road departs from parse_impl), and this road may end
// inside a character: it makes no token.
Match WordElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (pos >= length || !init_set.contains(static_cast<unsigned char>(text[pos]))) return Match::none();
  uint64_t e = pos + 1;
  while (e < length && body_set.contains(static_cast<unsigned char>(text[e]))) ++e;
  if (max_len != 0 && e - pos > max_len) e = pos + max_len;
  if (e - pos < min_len) return Match::none();
  return Match::at(e);
}

ElementRef new_word_element(std::string_view init_chars, const std::string_view* body_chars) noexcept {
  return ElementRef::make<WordElement>(init_chars, body_chars);
}

// ---- QuotedString -----------------------------------------------------------------------

QuotedStringElement::QuotedStringElement(std::string_view quote_char, const std::string_view* esc_char,
                                         bool multiline_flag, bool unquote_flag) noexcept
    : message(SharedString::make(fill_template("Expected quoted string starting with '{}'", quote_char))),
      quote(quote_char.empty() ? static_cast<unsigned char>('"') : static_cast<unsigned char>(quote_char[0])),
      has_escape(esc_char != nullptr && !esc_char->empty() ? 1 : 0),
      escape(has_escape != 0 ? static_cast<unsigned char>((*esc_char)[0]) : 0),
      multiline(multiline_flag ? 1 : 0),
      unquote(unquote_flag ? 1 : 0) {}

// The closing-quote scan of both roads; its tests run in this order: a line feed ends a
// single-line string in failure, an escape byte protects the byte after it (which is never
// tested), a quote byte closes. So an escape equal to the quote never lets a string close.
//
// A quote byte >= 128 is the first byte of a multi-byte character: the content would begin
// inside that character and the closing quote would cut another one. Such an element
// never matches, on either road. An escape byte >= 128 is the first byte of a character
// whose own continuation byte it protects; it is left in the content (see parse_impl).
QuotedStringElement::Scan QuotedStringElement::scan(const char* text, uint64_t length, uint64_t pos) const noexcept {
  Scan s;
  if (quote >= 0x80 || pos >= length || static_cast<unsigned char>(text[pos]) != quote) return s;
  uint64_t p = pos + 1;
  while (p < length) {
    const auto b = static_cast<unsigned char>(text[p]);
    if (multiline == 0 && b == '\n') return s;
    if (has_escape != 0 && b == escape) {
      s.escaped = true;
      p += 2;
    } else if (b == quote) {
      s.matched = true;
      s.close = p;
      return s;
    } else {
      p += 1;
    }
  }
  return s;
}

Match QuotedStringElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  const Scan s = scan(text, length, pos);
  return s.matched ? Match::at(s.close + 1) : Match::none();
}

// Unquoting with an escape removes each escape byte and keeps the byte after it, verbatim
// (no backslash-n translation). Only escape bytes below 128 are removed: removing one that
// starts a multi-byte character would leave the rest of that character on its own, so
// such an escape stays in the content, which then equals the text between the quotes.
ParseOutcome QuotedStringElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  const Scan s = scan(ctx.text, ctx.length, pos);
  if (!s.matched) return ParseOutcome::failure(message, pos);
  ParseResults r;
  if (!resolves_escapes(s)) {
    r.push_back(Token::copy_of(token_text(ctx.text, pos, s)));
  } else {
    const char* content = ctx.text + pos + 1;
    const uint64_t content_size = s.close - (pos + 1);
    std::string resolved;
    resolved.reserve(content_size);
    for (uint64_t i = 0; i < content_size; ++i) {
      if (static_cast<unsigned char>(content[i]) == escape && i + 1 < content_size) ++i;
      resolved.push_back(content[i]);
    }
    r.push_back(Token::copy_of(resolved));
  }
  return ParseOutcome::success(s.close + 1, std::move(r));
}

Match QuotedStringElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  const Scan s = scan(ctx.text, ctx.length, pos);
  if (!s.matched) return out.fail(message.view(), pos);
  if (resolves_escapes(s)) return ParserElement::parse_into(ctx, pos, out);
  out.push(token_text(ctx.text, pos, s));
  return Match::at(s.close + 1);
}

ElementRef new_quoted_string_element(std::string_view quote_char, const std::string_view* esc_char, bool multiline,
                                     bool unquote) noexcept {
  return ElementRef::make<QuotedStringElement>(quote_char, esc_char, multiline, unquote);
}

}  // namespace vantorel
