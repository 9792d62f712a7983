// Unicode property names of the regular-expression dialect: what \pX, \p{name} and
// \p{name=value} name, after the dialect's loose matching of names and its aliases, resolved
// to what RE2 can spell.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "elements/regex_ast.hpp"

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
  ErrorCode error = ErrorCode::PropertyNotFound;  // when !ok: PropertyNotFound or PropertyValueNotFound
};

// Resolves \pX, \p{name} or \p{name=value} (also name:value and name!=value). Names are
// compared after normalisation: case, spaces, '_' and '-' ignored, a leading "is" dropped.
// Binary properties other than White_Space, and properties other than the general category
// and the script, are not supported: PropertyNotFound.
[[nodiscard]] PropertyLookup lookup_property(UnicodeForm form, std::string_view name, std::string_view value);

}  // namespace vantorel::regex
