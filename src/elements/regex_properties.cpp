// Property names: loose normalisation, then the aliases of the general categories and the
// scripts (the table unit's lists), and the few names that RE2 lacks or must not see.
#include "elements/regex_properties.hpp"

#include "elements/regex_tables.hpp"

namespace vantorel::regex {

namespace {

std::string normalize(std::string_view name) {
  size_t start = 0;
  bool starts_with_is = false;
  if (name.size() >= 2 && (name[0] == 'i' || name[0] == 'I') && (name[1] == 's' || name[1] == 'S')) {
    starts_with_is = true;
    start = 2;
  }
  std::string out;
  for (size_t i = start; i < name.size(); ++i) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (b == ' ' || b == '_' || b == '-') continue;
    if (b >= 'A' && b <= 'Z') {
      out.push_back(static_cast<char>(b + 32));
    } else if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    }
  }
  // "isc" (an alias of ISO_Comment) stays whole.
  if (starts_with_is && out == "c") out = "isc";
  return out;
}

PropertyLookup found(PropertyKind kind, std::string_view name = {}) {
  PropertyLookup r;
  r.ok = true;
  r.kind = kind;
  r.re2_name = std::string(name);
  return r;
}

PropertyLookup not_found(ErrorCode code) {
  PropertyLookup r;
  r.error = code;
  return r;
}

PropertyLookup general_category(const std::string& key, bool as_value) {
  if (key == "any") return found(PropertyKind::Any);
  if (key == "assigned") return found(PropertyKind::Assigned);
  if (key == "ascii") return found(PropertyKind::Ascii);
  const std::string_view name = category_alias(key);
  if (name.empty()) return not_found(as_value ? ErrorCode::PropertyValueNotFound : ErrorCode::PropertyNotFound);
  if (name == "C") return found(PropertyKind::Other);
  if (name == "Cn") return found(PropertyKind::Unassigned);
  if (name == "LC") return found(PropertyKind::CasedLetter);
  // Surrogates are not characters of a valid text: the category cannot be asked for.
  if (name == "Cs") return not_found(ErrorCode::PropertyValueNotFound);
  return found(PropertyKind::Re2Name, name);
}

}  // namespace

PropertyLookup lookup_property(UnicodeForm form, std::string_view name, std::string_view value) {
  if (form != UnicodeForm::NamedValue) {
    const std::string key = normalize(name);
    if (key == "wspace" || key == "whitespace" || key == "space") return found(PropertyKind::WhiteSpace);
    PropertyLookup gc = general_category(key, false);
    if (gc.ok || gc.error == ErrorCode::PropertyValueNotFound) return gc;
    const std::string_view script = script_alias(key);
    if (!script.empty()) return found(PropertyKind::Re2Name, script);
    return not_found(ErrorCode::PropertyNotFound);
  }
  const std::string prop = normalize(name);
  const std::string key = normalize(value);
  if (prop == "gc" || prop == "generalcategory") return general_category(key, true);
  if (prop == "sc" || prop == "script") {
    const std::string_view script = script_alias(key);
    if (!script.empty()) return found(PropertyKind::Re2Name, script);
    return not_found(ErrorCode::PropertyValueNotFound);
  }
  return not_found(ErrorCode::PropertyNotFound);
}

}  // namespace vantorel::regex
