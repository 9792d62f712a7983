// The identity patterns of a batch's input list: the uniform test and the input period.
// Both look at object addresses only; they compare, hash and evaluate nothing else, so
// equal strings that are distinct objects are different inputs here. No Python headers:
// the items are any pointers.
#pragma once

#include <cstddef>

namespace vantorel {

// True when every one of the n items (n >= 1) is the same object as item 0; one pass,
// four items to a step with one branch per step.
template <class T>
[[nodiscard]] bool is_uniform(T* const* items, size_t n) noexcept {
  T* const first = items[0];
  size_t i = 1;
  for (; n - i >= 4; i += 4) {
    const bool differs = (items[i] != first) | (items[i + 1] != first) | (items[i + 2] != first) |
                         (items[i + 3] != first);
    if (differs) return false;
  }
  for (; i < n; ++i) {
    if (items[i] != first) return false;
  }
  return true;
}

// A period of an input list: items 0 .. k-1 repeated q times (n = k * q, q >= 2). k is 0
// when the list has none.
struct InputPeriod {
  size_t k = 0;  // items in one period, 1 .. 127
  size_t q = 0;  // repetitions
  [[nodiscard]] bool found() const noexcept { return k != 0; }
};

inline constexpr size_t kPeriodWindow = 128;  // candidates for k lie in 1 .. 127

// The period of a list of n items, or none. The one candidate is the first k in
// 1 .. min(n, 128) - 1 whose item is item 0 itself; it is the period when n >= 2k, n is a
// multiple of k and every item i >= k is the same object as item i - k. A uniform list of
// two or more items has the period 1.
template <class T>
[[nodiscard]] InputPeriod detect_input_period(T* const* items, size_t n) noexcept {
  if (n < 2) return {};
  const size_t window = n < kPeriodWindow ? n : kPeriodWindow;
  size_t k = 1;
  while (k < window && items[k] != items[0]) ++k;
  if (k == window || n < 2 * k || n % k != 0) return {};
  // The second period and the last k items first: most lists that are not periodic fail
  // there; then everything in between.
  for (size_t i = k; i < 2 * k; ++i) {
    if (items[i] != items[i - k]) return {};
  }
  for (size_t i = n - k; i < n; ++i) {
    if (items[i] != items[i - k]) return {};
  }
  for (size_t i = 2 * k; i < n - k; ++i) {
    if (items[i] != items[i - k]) return {};
  }
  return {k, n / k};
}

}  // namespace vantorel
