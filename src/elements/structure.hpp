// Combinators: And, MatchFirst, Optional, ZeroOrMore, OneOrMore, Exactly (sequence,
// alternation, repetition) and Group, Suppress, Combine, SkipTo (reshaping a child's match).
// Every match is greedy and final; a child's failure is passed on unchanged (the very
// ParseError, message and position). Every combinator checks the stack guard before it runs
// a child: when the stack is nearly used up it fails at its position with
// kNestingTooDeepMessage (a new string) or reports Match::too_deep(), and enclosing
// combinators pass that failure on instead of trying on (element.hpp). Only Combine's
// try_match_at allocates.
#pragma once

#include <cstdint>
#include <vector>

#include "elements/element.hpp"

namespace vantorel {

// A sequence: each child where the previous one ended, after the whitespace child_start
// skips before it.
class AndElement final : public ParserElement {
 public:
  explicit AndElement(std::vector<ElementRef> children) noexcept : exprs(std::move(children)) {}
  std::vector<ElementRef> exprs;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  // Defined here so that the drivers that scan with a sequence (search, count, transform)
  // compile it into their loop.
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override {
    if (stack_nearly_exhausted()) return Match::too_deep();
    uint64_t p = pos;
    for (const ElementRef& child : exprs) {
      const Match m = child->try_match_at(text, length, child_start(text, length, *child, p));
      if (!m.matched) return m;
      p = m.end;
    }
    return Match::at(p);
  }
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }
};

// The first alternative that succeeds, all at the element's own position.
class MatchFirstElement final : public ParserElement {
 public:
  explicit MatchFirstElement(std::vector<ElementRef> alternatives) noexcept : exprs(std::move(alternatives)) {}
  std::vector<ElementRef> exprs;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }
};

class OptionalElement final : public ParserElement {
 public:
  explicit OptionalElement(ElementRef child) noexcept : expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

class ZeroOrMoreElement final : public ParserElement {
 public:
  explicit ZeroOrMoreElement(ElementRef child) noexcept : expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }
};

class OneOrMoreElement final : public ParserElement {
 public:
  explicit OneOrMoreElement(ElementRef child) noexcept : expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }
};

class ExactlyElement final : public ParserElement {
 public:
  ExactlyElement(ElementRef child, uint64_t n) noexcept : expr(std::move(child)), count(n) {}
  ElementRef expr;
  uint64_t count;  // repetitions, 0 allowed

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

class GroupElement final : public ParserElement {
 public:
  explicit GroupElement(ElementRef child) noexcept : expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Group; }
};

// Matches through the child's try_match_at in every operation; fails with "Suppress: no
// match", never with the child's message.
class SuppressElement final : public ParserElement {
 public:
  explicit SuppressElement(ElementRef child) noexcept : expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Suppress; }
};

// The matched text as one token, the child parsed without whitespace skipping. The token
// holds whole characters: an end inside a character is carried to that character's end, and
// a non-empty match that starts inside one fails at pos with "Combine: match starts inside a
// character". try_match_at runs parse_impl (it allocates) and agrees with it.
class CombineElement final : public ParserElement {
 public:
  explicit CombineElement(ElementRef child) noexcept : expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

// The text up to the first position where the target matches (the target not consumed),
// trying every position up to and including the end, but none inside a multi-byte character
// (from a pos inside one, only pos itself), so the skipped text holds whole characters.
class SkipToElement final : public ParserElement {
 public:
  explicit SkipToElement(ElementRef target) noexcept : expr(std::move(target)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

}  // namespace vantorel
