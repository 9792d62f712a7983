// Character tables of the regular-expression dialect: the members of the general categories
// and scripts, simple case folding, the Unicode \w class and the letters of group names.
// Each table is built once per process, on first use, thread-safely; from then on a lookup
// is a search in sorted ranges. The data are RE2's own (read through the adapter), so the
// sets computed here agree with what RE2 matches for the same names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "elements/regex_unicode.hpp"

namespace vantorel::regex {

// A set of code points: sorted, disjoint, non-adjacent ranges.
using RangeList = std::vector<CodeRange>;

// The members of a general category (one or two letters, "L", "Lu", ...) or a script
// ("Greek", ...) under the name RE2 gives it, which is the name lookup_property resolves
// to. The list lives as long as the process. A name RE2 does not know ends the process
// (lookup_property never gives one).
[[nodiscard]] const RangeList& property_members(std::string_view re2_name);

// `set` closed under simple case folding: every character whose folding orbit meets `set`
// is added. Allocates the result.
[[nodiscard]] RangeList case_fold_closure(const RangeList& set);

// Whether `cp` is in the dialect's Unicode \w class.
[[nodiscard]] bool is_unicode_word(uint32_t cp);

// Whether [lo, hi] holds Unicode \w characters (bit 1) and characters outside it (bit 2).
[[nodiscard]] uint8_t unicode_word_overlap(uint32_t lo, uint32_t hi);

// The number of tables built so far in this process; each table adds one, once. Lets tests
// check that a construction reuses the tables instead of building them again.
[[nodiscard]] uint64_t tables_built();

// Provided by the adapter, from RE2's own tables:
// the members of each class item of `items` (such as "\\p{Lu}"; the items' sets must be
// pairwise disjoint), read off in one pass over a text of every code point;
[[nodiscard]] std::vector<RangeList> re2_class_partition(const std::vector<std::string>& items);
// the members of an RE2 class text, from one pass of it over every code point: the plain
// road that the tables above must equal (for tests);
[[nodiscard]] RangeList re2_class_members(const std::string& class_text);
// for each of `chars`, the smallest (lo) and largest (hi) member of its case-folding orbit;
[[nodiscard]] std::vector<CodeRange> re2_fold_orbit_bounds(const std::vector<uint32_t>& chars);
// the number of passes over every code point made so far (each costs milliseconds).
[[nodiscard]] uint64_t re2_code_point_scans();

}  // namespace vantorel::regex
