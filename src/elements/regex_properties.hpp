// Unicode property names of the regular-expression dialect: what \pX, \p{name} and
// \p{name=value} name, after the dialect's loose matching of names and its aliases, resolved
// to the generated sets that hold its members.
#pragma once

#include <span>
#include <string_view>

#include "elements/regex_ast.hpp"
#include "elements/regex_unicode_data.hpp"

namespace vantorel::regex {

struct PropertyLookup {
  bool ok = false;
  std::span<const ValueSet> sets;  // when ok: the members are the union of these (static data)
  ErrorCode error = ErrorCode::PropertyNotFound;  // when !ok: PropertyNotFound or PropertyValueNotFound
};

// Resolves \pX or \p{name} (`form` OneLetter or Named: a binary property, a general category
// or a script, in that order) or \p{name=value} (also name:value and name!=value, whose
// negation the parser has taken: `form` NamedValue). Names and values are compared after
// normalize_property_name. A name of the database that is not a supported binary property
// is PropertyNotFound; a value without members, or of a property without named values, is
// PropertyValueNotFound.
[[nodiscard]] PropertyLookup lookup_property(UnicodeForm form, std::string_view name, std::string_view value);

}  // namespace vantorel::regex
