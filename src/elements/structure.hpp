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
#include "elements/literals.hpp"

namespace vantorel {

// Where a combinator's match can begin (its first_bytes and skips_whitespace_first), worked
// out once at construction from its children, which never change (a Forward, whose target
// may, answers every byte and false).
struct StartRule {
  ByteSet bytes = ByteSet::all();
  bool after_whitespace = false;

  // Of an element whose match begins with `child` at the position that child_start gives:
  // after the whitespace run when the child skips whitespace, else at the element's own.
  [[nodiscard]] static StartRule child_first(const ParserElement& child) noexcept {
    if (child.skips_whitespace()) return {child.first_bytes() | kSkippedWhitespaceBytes, true};
    return same_as(child);
  }
  // Of an element that runs `child` at its own position and fails where the child fails.
  [[nodiscard]] static StartRule same_as(const ParserElement& child) noexcept {
    return {child.first_bytes(), child.skips_whitespace_first()};
  }
};

// The base of the combinators that answer first_bytes and skips_whitespace_first from a
// StartRule made at construction.
class ElementWithStartRule : public ParserElement {
 public:
  [[nodiscard]] ByteSet first_bytes() const noexcept final { return start_.bytes; }
  [[nodiscard]] bool skips_whitespace_first() const noexcept final { return start_.after_whitespace; }

 protected:
  explicit ElementWithStartRule(StartRule start) noexcept : start_(start) {}

 private:
  StartRule start_;
};

// A sequence: each child where the previous one ended, after the whitespace child_start
// skips before it.
class AndElement final : public ElementWithStartRule {
 public:
  // Its match begins with the first child (every byte for no children).
  explicit AndElement(std::vector<ElementRef> children) noexcept
      : ElementWithStartRule(children.empty() ? StartRule{} : StartRule::child_first(*children[0])),
        exprs(std::move(children)) {}
  std::vector<ElementRef> exprs;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
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

// The first alternative that succeeds, all at the element's own position. parse_into and
// try_match_at start at the first alternative that can match at the byte there (the
// alternatives' first_bytes); parse_impl tries every alternative in turn.
class MatchFirstElement final : public ElementWithStartRule {
 public:
  explicit MatchFirstElement(std::vector<ElementRef> alternatives) noexcept;
  std::vector<ElementRef> exprs;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }

 private:
  // The union of the alternatives' first bytes; after whitespace when every alternative is.
  [[nodiscard]] static StartRule start_rule(const std::vector<ElementRef>& alternatives) noexcept;
  // The index of the first alternative to try at a position before the end: every
  // alternative before it fails at a byte of that value.
  [[nodiscard]] size_t first_candidate(const char* text, uint64_t length, uint64_t pos) const noexcept {
    return pos < length ? first_candidate_[static_cast<unsigned char>(text[pos])] : 0;
  }

  // Per byte value, the first alternative whose first_bytes holds it (at most 255; the
  // number of alternatives when none does).
  uint8_t first_candidate_[256];
  // Per alternative, the alternative itself when it is a Literal (matched in place on the
  // flat road, without a call through its table), else null.
  std::vector<const LiteralElement*> literals_;
};

class OptionalElement final : public ParserElement {
 public:
  explicit OptionalElement(ElementRef child) noexcept : expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

class ZeroOrMoreElement final : public ParserElement {
 public:
  explicit ZeroOrMoreElement(ElementRef child) noexcept : expr(std::move(child)), expr_first(expr->first_bytes()) {}
  ElementRef expr;
  ByteSet expr_first;  // the child's first_bytes, which never change

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }
};

class OneOrMoreElement final : public ElementWithStartRule {
 public:
  explicit OneOrMoreElement(ElementRef child) noexcept
      : ElementWithStartRule(StartRule::child_first(*child)), expr(std::move(child)), expr_first(expr->first_bytes()) {}
  ElementRef expr;
  ByteSet expr_first;  // the child's first_bytes, which never change

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }
};

class ExactlyElement final : public ElementWithStartRule {
 public:
  // With count 0 it matches everywhere, with zero width.
  ExactlyElement(ElementRef child, uint64_t n) noexcept
      : ElementWithStartRule(n == 0 ? StartRule{} : StartRule::child_first(*child)), expr(std::move(child)), count(n) {}
  ElementRef expr;
  uint64_t count;  // repetitions, 0 allowed

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

class GroupElement final : public ElementWithStartRule {
 public:
  explicit GroupElement(ElementRef child) noexcept : ElementWithStartRule(StartRule::same_as(*child)), expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Group; }
};

// Matches through the child's try_match_at in every operation; fails with "Suppress: no
// match", never with the child's message.
class SuppressElement final : public ElementWithStartRule {
 public:
  explicit SuppressElement(ElementRef child) noexcept
      : ElementWithStartRule(StartRule::same_as(*child)), expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Suppress; }
};

// The matched text as one token, the child parsed without whitespace skipping. The token
// holds whole characters: an end inside a character is carried to that character's end, and
// a non-empty match that starts inside one fails at pos with "Combine: match starts inside a
// character". try_match_at runs the flat road and agrees with parse_impl.
class CombineElement final : public ElementWithStartRule {
 public:
  // Its child runs without whitespace skipping, so only the child's first bytes carry over.
  explicit CombineElement(ElementRef child) noexcept
      : ElementWithStartRule(StartRule{child->first_bytes(), false}), expr(std::move(child)) {}
  ElementRef expr;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
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
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
};

}  // namespace vantorel
