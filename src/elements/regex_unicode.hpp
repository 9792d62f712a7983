// Unicode data of the regular-expression dialect: the loose matching of property names and
// their aliases (general categories, scripts, White_Space), resolved to what RE2 can spell.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "elements/regex_parse.hpp"

namespace vantorel::regex {

enum class PropertyKind : uint8_t {
  Re2Name,      // a general category or script RE2 knows by `re2_name`
  Any,          // every code point
  Ascii,        // U+0000..U+007F
  Assigned,     // every assigned code point
  Unassigned,   // Cn: the complement of Assigned
  Other,        // C: Cc Cf Cn Co Cs (RE2's own \pC lacks Cn)
  CasedLetter,  // LC: Lu Ll Lt
  WhiteSpace,   // the binary property White_Space
};

struct PropertyLookup {
  bool ok = false;
  PropertyKind kind = PropertyKind::Re2Name;
  std::string re2_name;
  std::string error;  // when !ok: "Unicode property not found" or "... value not found"
};

// Resolves \pX, \p{name} or \p{name=value} (also name:value and name!=value).
// Binary properties other than White_Space, and properties other than the general
// category and the script, are not supported: "Unicode property not found".
[[nodiscard]] PropertyLookup lookup_property(UnicodeForm form, std::string_view name, std::string_view value);

// A range of code points [lo, hi]. A list of them describes a set when it is sorted,
// disjoint and without adjacent ranges (the form sort_and_merge gives).
struct CodeRange {
  uint32_t lo;
  uint32_t hi;
};

// Sorts `ranges` by start and merges overlapping and adjacent ones, in place.
void sort_and_merge(std::vector<CodeRange>& ranges);

// Appends RE2's spelling of the code point `c`: \x{...} with upper-case hex digits.
void append_hex(std::string& out, uint32_t c);

// RE2's name of every script it knows, each once, sorted.
[[nodiscard]] const std::vector<std::string_view>& script_names();

// The Unicode White_Space characters as ranges (lo, hi), ascending.
extern const CodeRange kWhiteSpaceRanges[10];

// The characters besides the categories L, Nl, M, Nd and Pc that Unicode \w holds
// (Join_Control and the circled letters of Other_Alphabetic).
extern const CodeRange kExtraWordRanges[5];

}  // namespace vantorel::regex
