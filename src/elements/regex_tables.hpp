// The character data of the regular-expression dialect, in one unit: the names of the
// Unicode properties and their values, their members, simple case folding, the Unicode \w,
// \d and \s classes, the letters of group names and RE2's own program overhead. The Unicode
// data are constant tables generated from the Unicode Character Database at build time
// (regex_unicode_data.hpp), so nothing of it is built at run time and RE2's own, older
// tables decide nothing; a lookup is a search in sorted tables.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "elements/regex_ranges.hpp"
#include "elements/regex_unicode_data.hpp"

namespace vantorel::regex {

// ---- names -----------------------------------------------------------------------------------

// The canonical name of the property whose normalised alias is `key` ("gc", "generalcategory"
// -> "General_Category"; every property of the database, supported or not), or an empty view.
[[nodiscard]] std::string_view property_name(std::string_view key) noexcept;

// The property with named values whose canonical name is `name` (General_Category, Script,
// Script_Extensions, Age, Grapheme_Cluster_Break, Word_Break, Sentence_Break), or null.
[[nodiscard]] const EnumeratedProperty* enumerated_property(std::string_view name) noexcept;

// The canonical name of the value of `property` whose normalised alias is `key` ("lu" ->
// "Uppercase_Letter", "60" or "v60" -> "V6_0"), or an empty view.
[[nodiscard]] std::string_view value_name(const EnumeratedProperty& property, std::string_view key) noexcept;

// The sets whose union holds the members of the value `name` of `property`: its own set, or
// for a cumulative property its set and every one before it. Empty when the value has no
// members in the data (a value the data files never list, such as Surrogate or Unknown).
[[nodiscard]] std::span<const ValueSet> value_sets(const EnumeratedProperty& property, std::string_view name) noexcept;

// The supported binary property whose canonical name is `name`, or null.
[[nodiscard]] const ValueSet* binary_property(std::string_view name) noexcept;

// ---- members ---------------------------------------------------------------------------------

// The dialect's Unicode \w (Alphabetic, M, Nd, Pc and Join_Control), \d (Nd) and \s
// (White_Space). Static data.
[[nodiscard]] std::span<const CodePointRange> word_members() noexcept;
[[nodiscard]] std::span<const CodePointRange> digit_members() noexcept;
[[nodiscard]] std::span<const CodePointRange> space_members() noexcept;

// `set` closed under simple case folding: every member of the folding orbit of a member is
// added. Adds to `*links_read` the folding table entries it walked (its work beyond reading
// `set`). Allocates the result.
[[nodiscard]] RangeList case_fold_closure(const RangeList& set, uint64_t* links_read);

// Whether `cp` is in the dialect's Unicode \w class.
[[nodiscard]] bool is_unicode_word(uint32_t cp) noexcept;

// Whether `c` may stand in a capture group name: Alphabetic, or, unless `first`, Alphabetic
// or a number (N). (The caller adds '_', and '.', '[' and ']' after the first character.)
[[nodiscard]] bool is_group_name_char(uint32_t c, bool first) noexcept;

// ---- RE2 -------------------------------------------------------------------------------------

// The instructions RE2 puts around every program (those of the empty pattern). Measured
// once per process.
[[nodiscard]] uint64_t re2_base_program_size();

}  // namespace vantorel::regex
