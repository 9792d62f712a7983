// The Unicode data of the regular-expression dialect, as constant tables generated at build
// time from the Unicode Character Database (tools/generate_unicode_tables.cpp writes the
// definition of kUnicodeData; nothing here is built at run time). Every set is a run of
// sorted, disjoint, non-adjacent ranges without the surrogates, which no valid text holds.
// The name rule both sides share, normalize_property_name, is defined here.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "elements/utf8.hpp"

namespace vantorel::regex {

// The members of one property value (or of one binary property).
struct ValueSet {
  std::string_view name;                     // the canonical (long) name: "Uppercase_Letter", "Greek", "V6_0"
  std::span<const CodePointRange> members;   // sorted, disjoint, non-adjacent
};

// One alias, normalised, and the canonical name it stands for.
struct NameAlias {
  std::string_view key;   // normalize_property_name of the alias
  std::string_view name;  // canonical long name
};

// A property with named values, as `\p{name=value}` reads it: the aliases of its values,
// and the sets of the values that have members (a value without a set is not offered).
struct EnumeratedProperty {
  std::string_view name;               // canonical property name: "General_Category", "Script", ...
  std::span<const NameAlias> values;   // sorted by key
  std::span<const ValueSet> sets;      // sorted by name, or in order when `cumulative`
  bool cumulative;                     // a value means its set and every set before it (Age)
};

// One link of a simple case-folding orbit: `next` is the index, in the same table, of the
// link of the next member of the orbit of `c` (in ascending order, the largest leading back
// to the smallest), so that an orbit is walked without a search.
struct FoldLink {
  uint32_t c;
  uint32_t next;
};

struct UnicodeData {
  std::string_view version;                     // "15.0.0"
  std::span<const NameAlias> property_names;    // every property alias, sorted by key
  std::span<const EnumeratedProperty> enumerated;  // sorted by name
  std::span<const ValueSet> binary;             // the supported binary properties, sorted by name
  std::span<const FoldLink> case_folding;       // every character that folds with another, sorted by c
  std::span<const CodePointRange> word;         // \w: Alphabetic, M, Nd, Pc and Join_Control
  std::span<const CodePointRange> digit;        // \d: Nd
  std::span<const CodePointRange> space;        // \s: White_Space
  std::span<const CodePointRange> alphabetic;   // Alphabetic
  std::span<const CodePointRange> alphanumeric; // Alphabetic and N
  uint64_t range_count;                         // ranges of all the sets together
};

extern const UnicodeData kUnicodeData;

// The dialect's loose matching of property names and values: spaces, '_' and '-' are
// dropped, ASCII letters lower-cased, non-ASCII bytes dropped, and a leading "is"
// (any case) ignored; "isc" (the alias of ISO_Comment) stays whole. Allocates the result.
[[nodiscard]] inline std::string normalize_property_name(std::string_view name) {
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
  if (starts_with_is && out == "c") out = "isc";
  return out;
}

}  // namespace vantorel::regex
