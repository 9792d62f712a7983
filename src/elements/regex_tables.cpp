// The tables behind the character classes: general categories and scripts as range lists,
// the case-folding orbits, and the sets derived from them. Each is a function-local static,
// so the language builds it exactly once, and other threads wait for it, on first use.
#include "elements/regex_tables.hpp"

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "elements/fatal.hpp"
#include "elements/regex_parse.hpp"

namespace vantorel::regex {

namespace {

std::atomic<uint64_t> g_tables_built{0};

struct NamedSet {
  std::string name;
  RangeList members;
};

// Sets by name, sorted by name.
struct NameTable {
  std::vector<NamedSet> sets;

  [[nodiscard]] const RangeList* find(std::string_view name) const {
    auto it = std::lower_bound(sets.begin(), sets.end(), name,
                               [](const NamedSet& s, std::string_view n) { return s.name < n; });
    return it != sets.end() && it->name == name ? &it->members : nullptr;
  }
};

RangeList union_of(std::initializer_list<const RangeList*> parts, const RangeList& extra = {}) {
  RangeList out = extra;
  for (const RangeList* p : parts) out.insert(out.end(), p->begin(), p->end());
  sort_and_merge(out);
  return out;
}

// The two-letter general categories RE2 knows, sorted. Surrogates (Cs) are left out: no valid
// text holds them.
constexpr std::string_view kCategories[] = {"Cc", "Cf", "Co", "Ll", "Lm", "Lo", "Lt", "Lu", "Mc", "Me",
                                            "Mn", "Nd", "Nl", "No", "Pc", "Pd", "Pe", "Pf", "Pi", "Po",
                                            "Ps", "Sc", "Sk", "Sm", "So", "Zl", "Zp", "Zs"};

NameTable partition_table(const std::vector<std::string_view>& names) {
  std::vector<std::string> items;
  items.reserve(names.size());
  for (std::string_view n : names) items.push_back("\\p{" + std::string(n) + "}");
  std::vector<RangeList> members = re2_class_partition(items);
  NameTable t;
  for (size_t k = 0; k < names.size(); ++k) t.sets.push_back({std::string(names[k]), std::move(members[k])});
  return t;
}

void sort_by_name(NameTable& t) {
  std::sort(t.sets.begin(), t.sets.end(), [](const NamedSet& a, const NamedSet& b) { return a.name < b.name; });
}

// The categories partition the code space (the rest is unassigned), so they are read off in
// one pass; a one-letter category is the union of its two-letter ones.
const NameTable& categories() {
  static const NameTable table = [] {
    NameTable t = partition_table({std::begin(kCategories), std::end(kCategories)});
    for (const char group : {'L', 'M', 'N', 'P', 'S', 'Z'}) {
      RangeList all;
      for (const NamedSet& s : t.sets) {
        if (s.name[0] == group) all.insert(all.end(), s.members.begin(), s.members.end());
      }
      sort_and_merge(all);
      t.sets.push_back({std::string(1, group), std::move(all)});
    }
    sort_by_name(t);
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return t;
  }();
  return table;
}

// Scripts partition the code space too (unassigned characters have none in RE2).
const NameTable& scripts() {
  static const NameTable table = [] {
    NameTable t = partition_table(script_names());
    sort_by_name(t);
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return t;
  }();
  return table;
}

const RangeList& category(std::string_view name) {
  const RangeList* r = categories().find(name);
  VANTOREL_CHECK(r != nullptr, "an unknown general category");
  return *r;
}

// The circled letters, which are alphabetic though their category is So.
const RangeList kCircledLetters = {{0x24B6, 0x24E9}, {0x1F130, 0x1F149}, {0x1F150, 0x1F169}, {0x1F170, 0x1F189}};

const RangeList& word_ranges() {
  static const RangeList ranges = [] {
    RangeList extra(std::begin(kExtraWordRanges), std::end(kExtraWordRanges));
    RangeList r = union_of({&category("L"), &category("Nl"), &category("M"), &category("Nd"), &category("Pc")}, extra);
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return r;
  }();
  return ranges;
}

bool contains(const RangeList& ranges, uint32_t c) {
  auto it = std::upper_bound(ranges.begin(), ranges.end(), c, [](uint32_t x, const CodeRange& r) { return x < r.lo; });
  return it != ranges.begin() && c <= std::prev(it)->hi;
}

// Simple case folding as orbits: the characters that fold to some other character, sorted,
// each with the members of its orbit.
struct FoldTable {
  std::vector<uint32_t> chars;    // sorted
  std::vector<uint32_t> orbit;    // per char: index of its orbit
  std::vector<uint32_t> members;  // the orbits' members, orbit after orbit
  std::vector<uint32_t> starts;   // per orbit: its first member in `members`, plus the end
};

// RE2 reports, for each character, the least and the greatest member of its orbit; grouping
// the characters by the least member gives the orbits. Candidates are the assigned
// characters outside Lo and Co: letters without case and private-use characters never fold.
const FoldTable& fold_table() {
  static const FoldTable table = [] {
    std::vector<uint32_t> candidates;
    for (const NamedSet& s : categories().sets) {
      if (s.name.size() != 2 || s.name == "Lo" || s.name == "Co") continue;
      for (const CodeRange& r : s.members) {
        for (uint32_t c = r.lo; c <= r.hi; ++c) candidates.push_back(c);
      }
    }
    std::sort(candidates.begin(), candidates.end());
    const std::vector<CodeRange> bounds = re2_fold_orbit_bounds(candidates);
    std::vector<std::pair<uint32_t, uint32_t>> by_least;  // (least member, member)
    for (size_t k = 0; k < candidates.size(); ++k) {
      if (bounds[k].lo == bounds[k].hi) continue;
      by_least.emplace_back(bounds[k].lo, candidates[k]);
      by_least.emplace_back(bounds[k].lo, bounds[k].lo);
      by_least.emplace_back(bounds[k].lo, bounds[k].hi);
    }
    std::sort(by_least.begin(), by_least.end());
    by_least.erase(std::unique(by_least.begin(), by_least.end()), by_least.end());
    FoldTable t;
    std::vector<std::pair<uint32_t, uint32_t>> char_orbit;
    for (size_t k = 0; k < by_least.size();) {
      const auto orbit = static_cast<uint32_t>(t.starts.size());
      t.starts.push_back(static_cast<uint32_t>(t.members.size()));
      for (const uint32_t least = by_least[k].first; k < by_least.size() && by_least[k].first == least; ++k) {
        t.members.push_back(by_least[k].second);
        char_orbit.emplace_back(by_least[k].second, orbit);
      }
    }
    t.starts.push_back(static_cast<uint32_t>(t.members.size()));
    std::sort(char_orbit.begin(), char_orbit.end());
    for (const auto& [c, orbit] : char_orbit) {
      t.chars.push_back(c);
      t.orbit.push_back(orbit);
    }
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return t;
  }();
  return table;
}

}  // namespace

const RangeList& property_members(std::string_view re2_name) {
  const bool one_letter = re2_name.size() == 1 && std::string_view("LMNPSZ").find(re2_name[0]) != std::string_view::npos;
  if (one_letter || std::binary_search(std::begin(kCategories), std::end(kCategories), re2_name)) {
    return category(re2_name);
  }
  const RangeList* r = scripts().find(re2_name);
  VANTOREL_CHECK(r != nullptr, "an unknown script");
  return *r;
}

RangeList case_fold_closure(const RangeList& set) {
  const FoldTable& t = fold_table();
  RangeList out = set;
  for (const CodeRange& r : set) {
    auto it = std::lower_bound(t.chars.begin(), t.chars.end(), r.lo);
    for (; it != t.chars.end() && *it <= r.hi; ++it) {
      const uint32_t orbit = t.orbit[static_cast<size_t>(it - t.chars.begin())];
      for (uint32_t m = t.starts[orbit]; m < t.starts[orbit + 1]; ++m) out.push_back({t.members[m], t.members[m]});
    }
  }
  sort_and_merge(out);
  return out;
}

bool is_unicode_word(uint32_t cp) {
  if (cp < 0x80) {
    return (cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || cp == '_';
  }
  return contains(word_ranges(), cp);
}

uint8_t unicode_word_overlap(uint32_t lo, uint32_t hi) {
  const RangeList& ranges = word_ranges();
  uint8_t bits = 0;
  uint64_t covered = 0;  // word characters of [lo, hi]
  auto it = std::lower_bound(ranges.begin(), ranges.end(), lo, [](const CodeRange& r, uint32_t x) { return r.hi < x; });
  for (; it != ranges.end() && it->lo <= hi; ++it) {
    bits |= 1;
    covered += std::min(it->hi, hi) - std::max(it->lo, lo) + 1;
  }
  if (covered < uint64_t{hi} - lo + 1) bits |= 2;
  return bits;
}

bool is_group_name_char(uint32_t c, bool first) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (!first && c >= '0' && c <= '9');
  // Alphabetic is approximated by L, Nl, every mark and the circled letters (RE2 has no table
  // of the marks that are alphabetic); numeric by N.
  static const RangeList alphabetic = union_of({&category("L"), &category("Nl"), &category("M")}, kCircledLetters);
  static const RangeList alphanumeric = union_of({&category("L"), &category("N"), &category("M")}, kCircledLetters);
  return contains(first ? alphabetic : alphanumeric, c);
}

uint64_t tables_built() { return g_tables_built.load(std::memory_order_relaxed); }

}  // namespace vantorel::regex
