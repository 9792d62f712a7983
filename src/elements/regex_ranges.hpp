// Sets of code points as sorted ranges: the ground on which the character tables and the
// class algebra stand. Every operation is one linear pass (or one sort) over its operands.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "elements/utf8.hpp"

namespace vantorel::regex {

inline constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// A list of inclusive ranges. It describes a set when it is sorted, disjoint and without
// adjacent ranges (the form sort_and_merge gives).
using RangeList = std::vector<CodePointRange>;

// Sorts `ranges` by start and merges overlapping and adjacent ones, in place.
void sort_and_merge(RangeList& ranges);

// Whether the set `ranges` holds `c` (a binary search).
[[nodiscard]] bool contains(std::span<const CodePointRange> ranges, uint32_t c) noexcept;

// A set of code points as sorted, disjoint, non-adjacent ranges.
class RangeSet {
 public:
  RangeSet() = default;
  RangeSet(uint32_t lo, uint32_t hi) { r_.push_back({lo, hi}); }
  [[nodiscard]] static RangeSet all() { return RangeSet(0, kMaxCodePoint); }
  // `r` must already be in set form.
  [[nodiscard]] static RangeSet of_list(RangeList r) {
    RangeSet s;
    s.r_ = std::move(r);
    return s;
  }
  // `r` must already be in set form; copied.
  [[nodiscard]] static RangeSet of_span(std::span<const CodePointRange> r) { return of_list(RangeList(r.begin(), r.end())); }

  void add(uint32_t lo, uint32_t hi) {
    r_.push_back({lo, hi});
    sort_and_merge(r_);
  }
  // The union with many sets at once: one sort for all of them, so a class of n items
  // costs n log n, not n squared.
  template <class Items, class Get>
  void add_all(const Items& items, Get get) {
    for (const auto& item : items) {
      const RangeSet& o = get(item);
      r_.insert(r_.end(), o.r_.begin(), o.r_.end());
    }
    sort_and_merge(r_);
  }
  [[nodiscard]] RangeSet complement() const;
  [[nodiscard]] RangeSet intersect(const RangeSet& o) const;

  [[nodiscard]] bool empty() const { return r_.empty(); }
  [[nodiscard]] bool is_all() const { return r_.size() == 1 && r_[0].lo == 0 && r_[0].hi == kMaxCodePoint; }
  [[nodiscard]] bool ascii_only() const { return r_.empty() || r_.back().hi < 0x80; }
  [[nodiscard]] bool contains(uint32_t c) const { return regex::contains(r_, c); }
  [[nodiscard]] size_t size() const { return r_.size(); }
  [[nodiscard]] const RangeList& ranges() const { return r_; }

 private:
  RangeList r_;
};

}  // namespace vantorel::regex
