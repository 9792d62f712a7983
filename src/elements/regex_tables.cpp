// The character tables: searches in the generated Unicode data (names, values, members,
// folding orbits) and the few sets derived from them.
#include "elements/regex_tables.hpp"

#include <algorithm>
#include <iterator>

#include "elements/regex_adapter.hpp"

namespace vantorel::regex {

namespace {

// The entry of `table` (sorted by `field`) whose field is `key`, or null.
template <class T, class Field>
const T* find_sorted(std::span<const T> table, std::string_view key, Field field) noexcept {
  auto it = std::lower_bound(table.begin(), table.end(), key, [&](const T& e, std::string_view k) { return e.*field < k; });
  return it != table.end() && (*it).*field == key ? &*it : nullptr;
}

}  // namespace

std::string_view property_name(std::string_view key) noexcept {
  const NameAlias* a = find_sorted(kUnicodeData.property_names, key, &NameAlias::key);
  return a != nullptr ? a->name : std::string_view();
}

const EnumeratedProperty* enumerated_property(std::string_view name) noexcept {
  return find_sorted(kUnicodeData.enumerated, name, &EnumeratedProperty::name);
}

std::string_view value_name(const EnumeratedProperty& property, std::string_view key) noexcept {
  const NameAlias* a = find_sorted(property.values, key, &NameAlias::key);
  return a != nullptr ? a->name : std::string_view();
}

std::span<const ValueSet> value_sets(const EnumeratedProperty& property, std::string_view name) noexcept {
  if (property.cumulative) {
    // A handful of sets in their own order: a linear scan.
    for (size_t k = 0; k < property.sets.size(); ++k) {
      if (property.sets[k].name == name) return property.sets.first(k + 1);
    }
    return {};
  }
  const ValueSet* s = find_sorted(property.sets, name, &ValueSet::name);
  return s != nullptr ? std::span<const ValueSet>(s, 1) : std::span<const ValueSet>();
}

const ValueSet* binary_property(std::string_view name) noexcept {
  return find_sorted(kUnicodeData.binary, name, &ValueSet::name);
}

std::span<const CodePointRange> word_members() noexcept { return kUnicodeData.word; }
std::span<const CodePointRange> digit_members() noexcept { return kUnicodeData.digit; }
std::span<const CodePointRange> space_members() noexcept { return kUnicodeData.space; }

// Each character of the set that folds with others contributes its whole orbit, walked
// along the links of the cycle that the orbit forms.
RangeList case_fold_closure(const RangeList& set, uint64_t* links_read) {
  const std::span<const FoldLink> links = kUnicodeData.case_folding;
  RangeList out = set;
  uint64_t read = 0;
  for (const CodePointRange& r : set) {
    auto it = std::lower_bound(links.begin(), links.end(), r.lo, [](const FoldLink& l, uint32_t c) { return l.c < c; });
    for (; it != links.end() && it->c <= r.hi; ++it) {
      for (const FoldLink* l = &links[it->next]; l->c != it->c; l = &links[l->next]) {
        out.push_back({l->c, l->c});
        ++read;
      }
      ++read;
    }
  }
  sort_and_merge(out);
  *links_read += read;
  return out;
}

bool is_unicode_word(uint32_t cp) noexcept {
  if (cp < 0x80) return is_ascii_word_byte(static_cast<unsigned char>(cp));
  return contains(word_members(), cp);
}

bool is_group_name_char(uint32_t c, bool first) noexcept {
  return contains(first ? kUnicodeData.alphabetic : kUnicodeData.alphanumeric, c);
}

uint64_t re2_base_program_size() {
  static const uint64_t size = re2_program_size("");
  return size;
}

}  // namespace vantorel::regex
