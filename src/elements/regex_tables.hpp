// The character data of the regular-expression dialect, in one unit: the aliases of the
// general categories and scripts, their members, simple case folding, the Unicode \w class,
// the letters of group names and RE2's own program overhead. The members are read off RE2
// through the adapter, so the sets computed from them agree with what RE2 matches for the
// same names. Each table is built once per process, on first use, thread-safely; from then
// on a lookup is a search in sorted ranges.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "elements/regex_ranges.hpp"

namespace vantorel::regex {

// ---- names -----------------------------------------------------------------------------------

// The RE2 name of the general category whose loosely normalised alias is `key` ("lu",
// "uppercaseletter" -> "Lu"), including the ones RE2 lacks ("C", "Cn", "LC", "Cs"), or
// an empty view.
[[nodiscard]] std::string_view category_alias(std::string_view key) noexcept;

// The RE2 name of the script whose normalised long name or four-letter code is `key`
// ("grek", "greek" -> "Greek"), or an empty view.
[[nodiscard]] std::string_view script_alias(std::string_view key) noexcept;

// ---- members ---------------------------------------------------------------------------------

// The members of a general category (one or two letters, "L", "Lu", ...) or a script
// ("Greek", ...) under its RE2 name, which is what the aliases resolve to. The list lives as
// long as the process. A name RE2 does not know ends the process.
[[nodiscard]] const RangeList& property_members(std::string_view re2_name);

// `set` closed under simple case folding: every character whose folding orbit meets `set`
// is added. Allocates the result.
[[nodiscard]] RangeList case_fold_closure(const RangeList& set);

// The dialect's Unicode \w: the general categories kWordCategories and the characters
// kExtraWordRanges, which are Join_Control and the circled letters (alphabetic, though their
// category is So).
inline constexpr std::string_view kWordCategories[] = {"L", "Nl", "M", "Nd", "Pc"};
inline constexpr CodePointRange kCircledLetters[] = {
    {0x24B6, 0x24E9}, {0x1F130, 0x1F149}, {0x1F150, 0x1F169}, {0x1F170, 0x1F189}};
inline constexpr CodePointRange kExtraWordRanges[] = {
    {0x200C, 0x200D}, kCircledLetters[0], kCircledLetters[1], kCircledLetters[2], kCircledLetters[3]};

// Whether `cp` is in the dialect's Unicode \w class.
[[nodiscard]] bool is_unicode_word(uint32_t cp);

// The dialect's Unicode \w class as a set; lives as long as the process.
[[nodiscard]] const RangeList& unicode_word_ranges();

// Whether `c` may stand in a capture group name: alphabetic (L, Nl, M and the circled
// letters; RE2 has no table of the marks that are alphabetic, so every mark counts), or,
// unless `first`, alphabetic or numeric (N). ASCII: letters, and digits unless `first`.
[[nodiscard]] bool is_group_name_char(uint32_t c, bool first);

// ---- RE2 -------------------------------------------------------------------------------------

// The instructions RE2 puts around every program (those of the empty pattern).
[[nodiscard]] uint64_t re2_base_program_size();

// The number of tables built so far in this process; each table adds one, once. Lets tests
// check that a construction reuses the tables instead of building them again.
[[nodiscard]] uint64_t tables_built();

}  // namespace vantorel::regex
