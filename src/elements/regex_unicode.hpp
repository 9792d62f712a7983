// Unicode data of the regular-expression dialect: the loose matching of property names and
// their aliases (general categories, scripts, White_Space), resolved to what RE2 can spell.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// The Unicode White_Space characters as ranges (lo, hi), ascending.
struct CodeRange {
  uint32_t lo;
  uint32_t hi;
};
extern const CodeRange kWhiteSpaceRanges[10];

// The characters besides the categories L, Nl, M, Nd and Pc that Unicode \w holds
// (Join_Control and the circled letters of Other_Alphabetic).
extern const CodeRange kExtraWordRanges[5];

}  // namespace vantorel::regex
