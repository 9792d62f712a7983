// The Regex kind: a regular expression of the dialect, compiled twice (anchored at the
// start of the text it runs on, and for searching a whole text), with byte-level modes that
// spare try_match_at the expression for whitespace runs and one-byte classes. Failures are
// always at the element's own position with its stored message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "elements/byte_set.hpp"
#include "elements/element.hpp"

namespace vantorel {

namespace regex {
class Expression;  // a compiled expression (regex_adapter.hpp)
}  // namespace regex

enum class RegexMode : uint64_t {
  WhitespaceRun = 0,  // \s+ or \s*: try_match_at scans bytes 9, 10, 12, 13, 32
  SingleByte = 1,     // a simple bracket class: try_match_at tests class_set
  General = 2,        // try_match_at runs the anchored expression
};

class RegexElement final : public ParserElement {
 public:
  // Takes the compiled parts: the mode with its class set, the two expressions (both
  // non-null) and the message.
  RegexElement(RegexMode mode, ByteSet class_set, std::unique_ptr<regex::Expression> anchored,
               std::unique_ptr<regex::Expression> unanchored, SharedString message) noexcept;
  ~RegexElement() override;

  const RegexMode mode;
  const ByteSet class_set;                              // SingleByte mode only; empty otherwise
  const std::unique_ptr<regex::Expression> anchored;    // matches only at the start of its text
  const std::unique_ptr<regex::Expression> unanchored;  // for searching a whole text
  const SharedString message;                           // "Expected match for /{}/"

  // parse_impl runs the anchored expression at pos (one new string on success); a position
  // inside a multi-byte character never starts a match. try_match_at takes the mode's road.
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Normal; }
  // parse_impl's match, its token borrowed from the input.
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  // The bytes that leave the anchored expression's byte DFA alive at its start, when it has
  // one and cannot match the empty text; every byte otherwise.
  [[nodiscard]] ByteSet first_bytes() const noexcept override { return first_bytes_; }

 private:
  ByteSet first_bytes_;
};

// The result of building a Regex: the element, or the error text for a ValueError.
struct RegexBuild {
  ElementRef element;  // empty on error
  std::string error;   // the error text when element is empty
};

// Compiles `pattern` into a RegexElement (wrapped texts, mode, class set, Unicode decision).
// Ends the process only when memory is exhausted.
[[nodiscard]] RegexBuild make_regex_element(std::string_view pattern) noexcept;

}  // namespace vantorel
