// LiteralFinder: the substring searcher of the Literal roads (its count, its search and its
// transform), built once per call and then asked for one occurrence after another. Pure
// byte functions: nothing here knows Python.
#pragma once

#include <cstdint>
#include <cstring>

#include "elements/byte_search.hpp"

namespace vantorel {

// Finds the leftmost occurrence of a literal of m >= 1 bytes that lies inside a range of a
// text. The literal's bytes are borrowed and must outlive the finder. Allocates nothing.
//
// Candidates are the positions where the literal's first and last bytes both stand
// (find_byte_pair: 32 or 64 positions per step where the processor allows; memchr for a
// one-byte literal), which skips most of a text at memory speed; each is then checked in
// place. The C library's memmem pays a set-up on every call, which a count or a transform
// would pay once per occurrence; this finder has none. A text full of false candidates
// would make the check quadratic, so the finder keeps a budget: checking may cost at most a
// few times the bytes it has moved over, plus a fixed allowance; past that it hands every
// later search to memmem, which is linear in every case. Both ways give the same leftmost
// occurrence.
class LiteralFinder {
 public:
  static constexpr uint64_t kNone = UINT64_MAX;

  LiteralFinder(const char* literal, uint64_t m) noexcept
      : literal_(literal),
        m_(m),
        first_(static_cast<unsigned char>(literal[0])),
        last_(static_cast<unsigned char>(literal[m - 1])) {}

  // The start of the leftmost occurrence inside text[from, to), or kNone (also when fewer
  // than m bytes remain).
  [[nodiscard]] uint64_t find(const char* text, uint64_t from, uint64_t to) noexcept {
    if (to - from < m_) return kNone;
    if (m_ == 1) {
      const void* hit = std::memchr(text + from, first_, to - from);
      return hit == nullptr ? kNone : static_cast<uint64_t>(static_cast<const char*>(hit) - text);
    }
    if (linear_only_) return find_linear(text, from, to);
    const uint64_t end = to - m_ + 1;  // one past the last position where an occurrence fits
    uint64_t p = from;
    while (p < end) {
      const uint64_t c = find_byte_pair(text, p, end, first_, last_, m_ - 1);
      if (c == end) return kNone;
      moved_ += c - p + 1;
      if (std::memcmp(text + c + 1, literal_ + 1, m_ - 2) == 0) return c;
      // A false candidate: charge its check and its search call.
      checked_ += m_ + kCallCost;
      if (checked_ > kBudgetFactor * moved_ + kAllowance) {
        linear_only_ = true;
        return find_linear(text, c + 1, to);
      }
      p = c + 1;
    }
    return kNone;
  }

 private:
  static constexpr uint64_t kCallCost = 8;       // a search call, in bytes of checking
  static constexpr uint64_t kBudgetFactor = 4;   // checking per byte moved over
  static constexpr uint64_t kAllowance = 4096;   // checking allowed before the budget counts

  [[nodiscard]] uint64_t find_linear(const char* text, uint64_t from, uint64_t to) const noexcept {
    if (to - from < m_) return kNone;
    const void* hit = memmem(text + from, to - from, literal_, m_);
    return hit == nullptr ? kNone : static_cast<uint64_t>(static_cast<const char*>(hit) - text);
  }

  const char* literal_;
  uint64_t m_;
  unsigned char first_;
  unsigned char last_;
  bool linear_only_ = false;
  uint64_t moved_ = 0;    // bytes the candidate search has moved over
  uint64_t checked_ = 0;  // cost charged for false candidates
};

}  // namespace vantorel
