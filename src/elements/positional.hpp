// Anchors that test the position itself (Empty, NoMatch, LineStart, LineEnd, StringStart,
// StringEnd) and rest_of_line, the one kind that does not skip whitespace before itself.
// The anchors' failure messages are fixed texts made new for each failure.
#pragma once

#include <cstdint>

#include "elements/element.hpp"

namespace vantorel {

class EmptyElement final : public ParserElement {
 public:
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

class NoMatchElement final : public ParserElement {
 public:
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  [[nodiscard]] ByteSet first_bytes() const noexcept override { return ByteSet(); }
};

class LineStartElement final : public ParserElement {
 public:
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

class LineEndElement final : public ParserElement {
 public:
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  // Before the end of the text only a line feed matches.
  [[nodiscard]] ByteSet first_bytes() const noexcept override { return ByteSet::of('\n'); }
};

class StringStartElement final : public ParserElement {
 public:
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

class StringEndElement final : public ParserElement {
 public:
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  // Nothing before the end of the text matches.
  [[nodiscard]] ByteSet first_bytes() const noexcept override { return ByteSet(); }
};

// The text from pos to the next line feed (not consumed) or the end. No match beyond the
// text or at a position inside a multi-byte character; a failure shares `message`.
class RestOfLineElement final : public ParserElement {
 public:
  RestOfLineElement() noexcept;

  SharedString message;  // "Expected rest of line"

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  [[nodiscard]] bool skips_whitespace() const noexcept override { return false; }
};

}  // namespace vantorel
