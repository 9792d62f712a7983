// A byte-level DFA that answers for RE2 on simple patterns: no assertions, no loop over a
// part that can match the empty text, and few enough states. It is built once, at
// construction, from the parsed pattern, and matched inline without locks or calls into
// RE2: the anchored leftmost-first match at a position, and the bytes that can begin one
// (so that a search skips the positions where no match can start). RE2 stays the plain road
// that every answer must equal; the automaton reads text as UTF-8, as every text handed to
// the engine is.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "elements/byte_search.hpp"
#include "elements/byte_set.hpp"
#include "elements/regex_ast.hpp"

namespace vantorel::regex {

class ByteDfa {
 public:
  // The most states an automaton may have; a pattern that needs more is left to RE2.
  static constexpr uint32_t kMaxStates = 256;

  // The automaton of the pattern node `node` of `ast` read under `flags` (kFlagUni for
  // Unicode mode), or null when the pattern is outside what it answers: an assertion, a
  // repetition without upper bound of a part that can match the empty text, or more than
  // kMaxStates states (the building stops as soon as it knows). Allocates the automaton.
  [[nodiscard]] static std::unique_ptr<const ByteDfa> build(const Ast& ast, uint32_t node, uint8_t flags);

  // The end of the leftmost-first match that starts at 0 of text[0, len) (the match RE2
  // gives for the pattern anchored at the start), or false when none does. No allocation.
  [[nodiscard]] bool match_prefix(const char* text, uint64_t len, uint64_t* end) const noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    uint32_t row = start_ * classes_;
    uint64_t last = accepting_[start_] ? 0 : kNone;
    for (uint64_t i = 0; i < len; ++i) {
      const uint32_t step = step_[row + byte_class_[bytes[i]]];
      if (step == 0) break;  // the dead state (row 0, not accepting)
      row = step & ~kAcceptBit;
      if ((step & kAcceptBit) != 0) last = i + 1;
    }
    if (last == kNone) return false;
    *end = last;
    return true;
  }

  // True when the pattern matches the empty text (every position can then start a match).
  [[nodiscard]] bool matches_empty() const noexcept { return accepting_[start_] != 0; }

  // The first position p >= from of text[0, n) whose byte can begin a match, or n when there
  // is none. Meaningful when !matches_empty().
  [[nodiscard]] uint64_t next_candidate(const char* text, uint64_t n, uint64_t from) const noexcept {
    return first_bytes_.find(text, from, n);
  }

  // The bytes that can begin a match: those on which the start state does not die.
  [[nodiscard]] const ByteSet& first_byte_set() const noexcept { return first_bytes_.set(); }

  // Number of states (the dead state included), for tests.
  [[nodiscard]] uint32_t state_count() const noexcept { return static_cast<uint32_t>(accepting_.size()); }

 private:
  static constexpr uint32_t kDead = 0;
  static constexpr uint64_t kNone = ~uint64_t{0};
  friend class DfaBuilder;
  ByteDfa() = default;

  uint32_t start_ = kDead;
  uint32_t classes_ = 1;                  // byte classes: bytes no instruction tells apart share one
  uint8_t byte_class_[256] = {};
  std::vector<uint16_t> next_;            // state * classes_ + class -> state; 0 is the dead state
  // next_ as match_prefix walks it: the next state's row (state * classes_), with
  // kAcceptBit set when that state is accepting, so that the walk's chain of loads holds
  // neither a multiply nor a second table.
  std::vector<uint32_t> step_;
  static constexpr uint32_t kAcceptBit = uint32_t{1} << 31;
  std::vector<uint8_t> accepting_;        // per state: 1 when a match ends on entering it
  ByteFinder first_bytes_{ByteSet{}};     // the bytes that leave the start state alive
};

}  // namespace vantorel::regex
