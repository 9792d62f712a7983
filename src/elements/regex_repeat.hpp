// Repetition in RE2 text: the operators RE2 accepts as they stand, and the copies that
// counts beyond RE2's limits need (a count above 1000, or a product of nested counts above
// 1000), with the program size estimated before any copy is made.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace vantorel::regex {

// Instruction counts saturate far above any limit instead of wrapping.
inline constexpr uint64_t kCountCap = uint64_t{1} << 40;
[[nodiscard]] inline uint64_t saturating_add(uint64_t a, uint64_t b) { return std::min(kCountCap, a + b); }
[[nodiscard]] inline uint64_t saturating_mul(uint64_t a, uint64_t b) {
  return b != 0 && a > kCountCap / b ? kCountCap : std::min(kCountCap, a * b);
}

// The RE2 text of a repetition, and what the enclosing translation needs to know of it.
struct RepeatedText {
  bool size_exceeded = false;  // the copies would pass kMaxProgramSize (no text then)
  std::string text;
  bool chained = false;        // the text is a concatenation of blocks, not one repetition
  uint32_t product = 1;        // largest product of repetition counts on a path (RE2 allows 1000)
  uint64_t insts = 0;          // a lower bound on the RE2 instructions of the text
};

// The repetition {min,max} (or {min,} when `unbounded`; max >= 1 when bounded) of a body
// whose RE2 text is `atom` (one atom), whose own largest count product is `product` and
// which needs `insts` instructions at least. `fixed_width`: every match of the body has the
// same length. `greedy` false makes it lazy.
[[nodiscard]] RepeatedText repeat(const std::string& atom, uint32_t product, uint64_t insts, bool fixed_width,
                                  uint32_t min, uint32_t max, bool unbounded, bool greedy);

}  // namespace vantorel::regex
