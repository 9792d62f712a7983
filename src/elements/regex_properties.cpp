// Property names: loose normalisation, then the dialect's order of lookup: a property name
// first (binary properties), then a general category, then a script; with a value, the
// property's own value aliases.
#include "elements/regex_properties.hpp"

#include <string>

#include "elements/regex_tables.hpp"

namespace vantorel::regex {

namespace {

PropertyLookup found(std::span<const ValueSet> sets) {
  PropertyLookup r;
  r.ok = true;
  r.sets = sets;
  return r;
}

PropertyLookup not_found(ErrorCode code) {
  PropertyLookup r;
  r.error = code;
  return r;
}

// The members of the value whose normalised alias is `key` of the property `name`;
// PropertyValueNotFound when it has none.
PropertyLookup value_of(std::string_view name, const std::string& key) {
  const EnumeratedProperty* property = enumerated_property(name);
  if (property == nullptr) return not_found(ErrorCode::PropertyValueNotFound);
  const std::string_view value = value_name(*property, key);
  if (value.empty()) return not_found(ErrorCode::PropertyValueNotFound);
  const std::span<const ValueSet> sets = value_sets(*property, value);
  if (sets.empty()) return not_found(ErrorCode::PropertyValueNotFound);
  return found(sets);
}

}  // namespace

PropertyLookup lookup_property(UnicodeForm form, std::string_view name, std::string_view value) {
  if (form != UnicodeForm::NamedValue) {
    const std::string key = normalize_property_name(name);
    // "cf", "sc" and "lc" are the general categories Format, Currency_Symbol and
    // Cased_Letter here, not the properties Case_Folding, Script and Lowercase_Mapping.
    if (key != "cf" && key != "sc" && key != "lc") {
      const std::string_view property = property_name(key);
      if (!property.empty()) {
        const ValueSet* binary = binary_property(property);
        if (binary == nullptr) return not_found(ErrorCode::PropertyNotFound);
        return found({binary, 1});
      }
    }
    for (const std::string_view fallback : {"General_Category", "Script"}) {
      const EnumeratedProperty* property = enumerated_property(fallback);
      if (property != nullptr && !value_name(*property, key).empty()) return value_of(fallback, key);
    }
    return not_found(ErrorCode::PropertyNotFound);
  }
  const std::string_view property = property_name(normalize_property_name(name));
  if (property.empty()) return not_found(ErrorCode::PropertyNotFound);
  return value_of(property, normalize_property_name(value));
}

}  // namespace vantorel::regex
