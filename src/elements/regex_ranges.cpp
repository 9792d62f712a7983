// Code point sets: normalising a list of ranges, membership, complement and intersection.
#include "elements/regex_ranges.hpp"

#include <algorithm>
#include <iterator>

namespace vantorel::regex {

void sort_and_merge(RangeList& ranges) {
  std::sort(ranges.begin(), ranges.end(), [](const CodePointRange& a, const CodePointRange& b) { return a.lo < b.lo; });
  size_t out = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    if (out > 0 && ranges[i].lo <= ranges[out - 1].hi + 1) {
      ranges[out - 1].hi = std::max(ranges[out - 1].hi, ranges[i].hi);
    } else {
      ranges[out++] = ranges[i];
    }
  }
  ranges.resize(out);
}

bool contains(std::span<const CodePointRange> ranges, uint32_t c) noexcept {
  auto it = std::upper_bound(ranges.begin(), ranges.end(), c, [](uint32_t x, const CodePointRange& r) { return x < r.lo; });
  return it != ranges.begin() && c <= std::prev(it)->hi;
}

RangeSet RangeSet::complement() const {
  RangeSet out;
  uint32_t next = 0;
  bool done = false;
  for (const CodePointRange& x : r_) {
    if (x.lo > next) out.r_.push_back({next, x.lo - 1});
    if (x.hi >= kMaxCodePoint) {
      done = true;
      break;
    }
    next = x.hi + 1;
  }
  if (!done) out.r_.push_back({next, kMaxCodePoint});
  return out;
}

RangeSet RangeSet::intersect(const RangeSet& o) const {
  RangeSet out;
  size_t i = 0, j = 0;
  while (i < r_.size() && j < o.r_.size()) {
    const uint32_t lo = std::max(r_[i].lo, o.r_[j].lo);
    const uint32_t hi = std::min(r_[i].hi, o.r_[j].hi);
    if (lo <= hi) out.r_.push_back({lo, hi});
    if (r_[i].hi < o.r_[j].hi) {
      ++i;
    } else {
      ++j;
    }
  }
  return out;
}

}  // namespace vantorel::regex
