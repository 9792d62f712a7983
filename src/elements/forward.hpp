// Forward: the element whose target is given after construction, so that a grammar can
// refer to itself. The target sits behind a reader-writer lock that one thread may
// read-lock several times over (a recursive grammar re-enters its own Forward).
#pragma once

#include <cstdint>

#include "elements/element.hpp"

namespace vantorel {

class ForwardElement final : public ParserElement {
 public:
  ForwardElement() noexcept;
  ~ForwardElement() override;

  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }

  // Replaces the target under the write lock; the old target's handle is released while
  // the lock is held. Cannot fail.
  void forward_set(ElementRef target) const noexcept;

  // A new handle to the current target (empty while unset); for tests and diagnostics.
  [[nodiscard]] ElementRef target() const noexcept;

 private:
  struct State;
  State* state_;  // the lock and the target; the element's only mutable part
};

}  // namespace vantorel
