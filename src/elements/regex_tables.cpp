// The character tables: the alias lists of the general categories and the scripts, the
// members of each read off RE2 once, the case-folding orbits, and the sets derived from
// them. Each built table is a function-local static, so the language builds it exactly once,
// and other threads wait for it, on first use.
#include "elements/regex_tables.hpp"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <span>
#include <string>
#include <utility>

#include "elements/fatal.hpp"
#include "elements/regex_adapter.hpp"

namespace vantorel::regex {

namespace {

// ---- aliases ---------------------------------------------------------------------------------

struct Alias {
  std::string_view key;   // normalised alias
  std::string_view name;  // RE2's name
};

// General categories: normalised alias -> RE2 name (C, Cn, LC and Cs are names RE2 lacks,
// which the property lookup spells by hand or refuses).
constexpr Alias kGeneralCategories[] = {
    {"c", "C"}, {"casedletter", "LC"}, {"cc", "Cc"}, {"cf", "Cf"}, {"closepunctuation", "Pe"},
    {"cn", "Cn"}, {"cntrl", "Cc"}, {"co", "Co"}, {"combiningmark", "M"}, {"connectorpunctuation", "Pc"},
    {"control", "Cc"}, {"cs", "Cs"}, {"currencysymbol", "Sc"}, {"dashpunctuation", "Pd"},
    {"decimalnumber", "Nd"}, {"digit", "Nd"}, {"enclosingmark", "Me"}, {"finalpunctuation", "Pf"},
    {"format", "Cf"}, {"initialpunctuation", "Pi"}, {"l", "L"}, {"lc", "LC"}, {"letter", "L"},
    {"letternumber", "Nl"}, {"lineseparator", "Zl"}, {"ll", "Ll"}, {"lm", "Lm"}, {"lo", "Lo"},
    {"lowercaseletter", "Ll"}, {"lt", "Lt"}, {"lu", "Lu"}, {"m", "M"}, {"mark", "M"}, {"mathsymbol", "Sm"},
    {"mc", "Mc"}, {"me", "Me"}, {"mn", "Mn"}, {"modifierletter", "Lm"}, {"modifiersymbol", "Sk"},
    {"n", "N"}, {"nd", "Nd"}, {"nl", "Nl"}, {"no", "No"}, {"nonspacingmark", "Mn"}, {"number", "N"},
    {"openpunctuation", "Ps"}, {"other", "C"}, {"otherletter", "Lo"}, {"othernumber", "No"},
    {"otherpunctuation", "Po"}, {"othersymbol", "So"}, {"p", "P"}, {"paragraphseparator", "Zp"},
    {"pc", "Pc"}, {"pd", "Pd"}, {"pe", "Pe"}, {"pf", "Pf"}, {"pi", "Pi"}, {"po", "Po"}, {"privateuse", "Co"},
    {"ps", "Ps"}, {"punct", "P"}, {"punctuation", "P"}, {"s", "S"}, {"sc", "Sc"}, {"separator", "Z"},
    {"sk", "Sk"}, {"sm", "Sm"}, {"so", "So"}, {"spaceseparator", "Zs"}, {"spacingmark", "Mc"},
    {"surrogate", "Cs"}, {"symbol", "S"}, {"titlecaseletter", "Lt"}, {"unassigned", "Cn"},
    {"uppercaseletter", "Lu"}, {"z", "Z"}, {"zl", "Zl"}, {"zp", "Zp"}, {"zs", "Zs"},
};

// Scripts: every long name and four-letter code that RE2 20220601 knows.
constexpr Alias kScripts[] = {
    {"adlam", "Adlam"},
    {"adlm", "Adlam"},
    {"aghb", "Caucasian_Albanian"},
    {"ahom", "Ahom"},
    {"anatolianhieroglyphs", "Anatolian_Hieroglyphs"},
    {"arab", "Arabic"},
    {"arabic", "Arabic"},
    {"armenian", "Armenian"},
    {"armi", "Imperial_Aramaic"},
    {"armn", "Armenian"},
    {"avestan", "Avestan"},
    {"avst", "Avestan"},
    {"bali", "Balinese"},
    {"balinese", "Balinese"},
    {"bamu", "Bamum"},
    {"bamum", "Bamum"},
    {"bass", "Bassa_Vah"},
    {"bassavah", "Bassa_Vah"},
    {"batak", "Batak"},
    {"batk", "Batak"},
    {"beng", "Bengali"},
    {"bengali", "Bengali"},
    {"bhaiksuki", "Bhaiksuki"},
    {"bhks", "Bhaiksuki"},
    {"bopo", "Bopomofo"},
    {"bopomofo", "Bopomofo"},
    {"brah", "Brahmi"},
    {"brahmi", "Brahmi"},
    {"brai", "Braille"},
    {"braille", "Braille"},
    {"bugi", "Buginese"},
    {"buginese", "Buginese"},
    {"buhd", "Buhid"},
    {"buhid", "Buhid"},
    {"cakm", "Chakma"},
    {"canadianaboriginal", "Canadian_Aboriginal"},
    {"cans", "Canadian_Aboriginal"},
    {"cari", "Carian"},
    {"carian", "Carian"},
    {"caucasianalbanian", "Caucasian_Albanian"},
    {"chakma", "Chakma"},
    {"cham", "Cham"},
    {"cher", "Cherokee"},
    {"cherokee", "Cherokee"},
    {"chorasmian", "Chorasmian"},
    {"chrs", "Chorasmian"},
    {"common", "Common"},
    {"copt", "Coptic"},
    {"coptic", "Coptic"},
    {"cpmn", "Cypro_Minoan"},
    {"cprt", "Cypriot"},
    {"cuneiform", "Cuneiform"},
    {"cypriot", "Cypriot"},
    {"cyprominoan", "Cypro_Minoan"},
    {"cyrillic", "Cyrillic"},
    {"cyrl", "Cyrillic"},
    {"deseret", "Deseret"},
    {"deva", "Devanagari"},
    {"devanagari", "Devanagari"},
    {"diak", "Dives_Akuru"},
    {"divesakuru", "Dives_Akuru"},
    {"dogr", "Dogra"},
    {"dogra", "Dogra"},
    {"dsrt", "Deseret"},
    {"dupl", "Duployan"},
    {"duployan", "Duployan"},
    {"egyp", "Egyptian_Hieroglyphs"},
    {"egyptianhieroglyphs", "Egyptian_Hieroglyphs"},
    {"elba", "Elbasan"},
    {"elbasan", "Elbasan"},
    {"elym", "Elymaic"},
    {"elymaic", "Elymaic"},
    {"ethi", "Ethiopic"},
    {"ethiopic", "Ethiopic"},
    {"geor", "Georgian"},
    {"georgian", "Georgian"},
    {"glag", "Glagolitic"},
    {"glagolitic", "Glagolitic"},
    {"gong", "Gunjala_Gondi"},
    {"gonm", "Masaram_Gondi"},
    {"goth", "Gothic"},
    {"gothic", "Gothic"},
    {"gran", "Grantha"},
    {"grantha", "Grantha"},
    {"greek", "Greek"},
    {"grek", "Greek"},
    {"gujarati", "Gujarati"},
    {"gujr", "Gujarati"},
    {"gunjalagondi", "Gunjala_Gondi"},
    {"gurmukhi", "Gurmukhi"},
    {"guru", "Gurmukhi"},
    {"han", "Han"},
    {"hang", "Hangul"},
    {"hangul", "Hangul"},
    {"hani", "Han"},
    {"hanifirohingya", "Hanifi_Rohingya"},
    {"hano", "Hanunoo"},
    {"hanunoo", "Hanunoo"},
    {"hatr", "Hatran"},
    {"hatran", "Hatran"},
    {"hebr", "Hebrew"},
    {"hebrew", "Hebrew"},
    {"hira", "Hiragana"},
    {"hiragana", "Hiragana"},
    {"hluw", "Anatolian_Hieroglyphs"},
    {"hmng", "Pahawh_Hmong"},
    {"hmnp", "Nyiakeng_Puachue_Hmong"},
    {"hung", "Old_Hungarian"},
    {"imperialaramaic", "Imperial_Aramaic"},
    {"inherited", "Inherited"},
    {"inscriptionalpahlavi", "Inscriptional_Pahlavi"},
    {"inscriptionalparthian", "Inscriptional_Parthian"},
    {"ital", "Old_Italic"},
    {"java", "Javanese"},
    {"javanese", "Javanese"},
    {"kaithi", "Kaithi"},
    {"kali", "Kayah_Li"},
    {"kana", "Katakana"},
    {"kannada", "Kannada"},
    {"katakana", "Katakana"},
    {"kawi", "Kawi"},
    {"kayahli", "Kayah_Li"},
    {"khar", "Kharoshthi"},
    {"kharoshthi", "Kharoshthi"},
    {"khitansmallscript", "Khitan_Small_Script"},
    {"khmer", "Khmer"},
    {"khmr", "Khmer"},
    {"khoj", "Khojki"},
    {"khojki", "Khojki"},
    {"khudawadi", "Khudawadi"},
    {"kits", "Khitan_Small_Script"},
    {"knda", "Kannada"},
    {"kthi", "Kaithi"},
    {"lana", "Tai_Tham"},
    {"lao", "Lao"},
    {"laoo", "Lao"},
    {"latin", "Latin"},
    {"latn", "Latin"},
    {"lepc", "Lepcha"},
    {"lepcha", "Lepcha"},
    {"limb", "Limbu"},
    {"limbu", "Limbu"},
    {"lina", "Linear_A"},
    {"linb", "Linear_B"},
    {"lineara", "Linear_A"},
    {"linearb", "Linear_B"},
    {"lisu", "Lisu"},
    {"lyci", "Lycian"},
    {"lycian", "Lycian"},
    {"lydi", "Lydian"},
    {"lydian", "Lydian"},
    {"mahajani", "Mahajani"},
    {"mahj", "Mahajani"},
    {"maka", "Makasar"},
    {"makasar", "Makasar"},
    {"malayalam", "Malayalam"},
    {"mand", "Mandaic"},
    {"mandaic", "Mandaic"},
    {"mani", "Manichaean"},
    {"manichaean", "Manichaean"},
    {"marc", "Marchen"},
    {"marchen", "Marchen"},
    {"masaramgondi", "Masaram_Gondi"},
    {"medefaidrin", "Medefaidrin"},
    {"medf", "Medefaidrin"},
    {"meeteimayek", "Meetei_Mayek"},
    {"mend", "Mende_Kikakui"},
    {"mendekikakui", "Mende_Kikakui"},
    {"merc", "Meroitic_Cursive"},
    {"mero", "Meroitic_Hieroglyphs"},
    {"meroiticcursive", "Meroitic_Cursive"},
    {"meroitichieroglyphs", "Meroitic_Hieroglyphs"},
    {"miao", "Miao"},
    {"mlym", "Malayalam"},
    {"modi", "Modi"},
    {"mong", "Mongolian"},
    {"mongolian", "Mongolian"},
    {"mro", "Mro"},
    {"mroo", "Mro"},
    {"mtei", "Meetei_Mayek"},
    {"mult", "Multani"},
    {"multani", "Multani"},
    {"myanmar", "Myanmar"},
    {"mymr", "Myanmar"},
    {"nabataean", "Nabataean"},
    {"nagm", "Nag_Mundari"},
    {"nagmundari", "Nag_Mundari"},
    {"nand", "Nandinagari"},
    {"nandinagari", "Nandinagari"},
    {"narb", "Old_North_Arabian"},
    {"nbat", "Nabataean"},
    {"newa", "Newa"},
    {"newtailue", "New_Tai_Lue"},
    {"nko", "Nko"},
    {"nkoo", "Nko"},
    {"nshu", "Nushu"},
    {"nushu", "Nushu"},
    {"nyiakengpuachuehmong", "Nyiakeng_Puachue_Hmong"},
    {"ogam", "Ogham"},
    {"ogham", "Ogham"},
    {"olchiki", "Ol_Chiki"},
    {"olck", "Ol_Chiki"},
    {"oldhungarian", "Old_Hungarian"},
    {"olditalic", "Old_Italic"},
    {"oldnortharabian", "Old_North_Arabian"},
    {"oldpermic", "Old_Permic"},
    {"oldpersian", "Old_Persian"},
    {"oldsogdian", "Old_Sogdian"},
    {"oldsoutharabian", "Old_South_Arabian"},
    {"oldturkic", "Old_Turkic"},
    {"olduyghur", "Old_Uyghur"},
    {"oriya", "Oriya"},
    {"orkh", "Old_Turkic"},
    {"orya", "Oriya"},
    {"osage", "Osage"},
    {"osge", "Osage"},
    {"osma", "Osmanya"},
    {"osmanya", "Osmanya"},
    {"ougr", "Old_Uyghur"},
    {"pahawhhmong", "Pahawh_Hmong"},
    {"palm", "Palmyrene"},
    {"palmyrene", "Palmyrene"},
    {"pauc", "Pau_Cin_Hau"},
    {"paucinhau", "Pau_Cin_Hau"},
    {"perm", "Old_Permic"},
    {"phag", "Phags_Pa"},
    {"phagspa", "Phags_Pa"},
    {"phli", "Inscriptional_Pahlavi"},
    {"phlp", "Psalter_Pahlavi"},
    {"phnx", "Phoenician"},
    {"phoenician", "Phoenician"},
    {"plrd", "Miao"},
    {"prti", "Inscriptional_Parthian"},
    {"psalterpahlavi", "Psalter_Pahlavi"},
    {"qaac", "Coptic"},
    {"qaai", "Inherited"},
    {"rejang", "Rejang"},
    {"rjng", "Rejang"},
    {"rohg", "Hanifi_Rohingya"},
    {"runic", "Runic"},
    {"runr", "Runic"},
    {"samaritan", "Samaritan"},
    {"samr", "Samaritan"},
    {"sarb", "Old_South_Arabian"},
    {"saur", "Saurashtra"},
    {"saurashtra", "Saurashtra"},
    {"sgnw", "SignWriting"},
    {"sharada", "Sharada"},
    {"shavian", "Shavian"},
    {"shaw", "Shavian"},
    {"shrd", "Sharada"},
    {"sidd", "Siddham"},
    {"siddham", "Siddham"},
    {"signwriting", "SignWriting"},
    {"sind", "Khudawadi"},
    {"sinh", "Sinhala"},
    {"sinhala", "Sinhala"},
    {"sogd", "Sogdian"},
    {"sogdian", "Sogdian"},
    {"sogo", "Old_Sogdian"},
    {"sora", "Sora_Sompeng"},
    {"sorasompeng", "Sora_Sompeng"},
    {"soyo", "Soyombo"},
    {"soyombo", "Soyombo"},
    {"sund", "Sundanese"},
    {"sundanese", "Sundanese"},
    {"sylo", "Syloti_Nagri"},
    {"sylotinagri", "Syloti_Nagri"},
    {"syrc", "Syriac"},
    {"syriac", "Syriac"},
    {"tagalog", "Tagalog"},
    {"tagb", "Tagbanwa"},
    {"tagbanwa", "Tagbanwa"},
    {"taile", "Tai_Le"},
    {"taitham", "Tai_Tham"},
    {"taiviet", "Tai_Viet"},
    {"takr", "Takri"},
    {"takri", "Takri"},
    {"tale", "Tai_Le"},
    {"talu", "New_Tai_Lue"},
    {"tamil", "Tamil"},
    {"taml", "Tamil"},
    {"tang", "Tangut"},
    {"tangsa", "Tangsa"},
    {"tangut", "Tangut"},
    {"tavt", "Tai_Viet"},
    {"telu", "Telugu"},
    {"telugu", "Telugu"},
    {"tfng", "Tifinagh"},
    {"tglg", "Tagalog"},
    {"thaa", "Thaana"},
    {"thaana", "Thaana"},
    {"thai", "Thai"},
    {"tibetan", "Tibetan"},
    {"tibt", "Tibetan"},
    {"tifinagh", "Tifinagh"},
    {"tirh", "Tirhuta"},
    {"tirhuta", "Tirhuta"},
    {"tnsa", "Tangsa"},
    {"toto", "Toto"},
    {"ugar", "Ugaritic"},
    {"ugaritic", "Ugaritic"},
    {"vai", "Vai"},
    {"vaii", "Vai"},
    {"vith", "Vithkuqi"},
    {"vithkuqi", "Vithkuqi"},
    {"wancho", "Wancho"},
    {"wara", "Warang_Citi"},
    {"warangciti", "Warang_Citi"},
    {"wcho", "Wancho"},
    {"xpeo", "Old_Persian"},
    {"xsux", "Cuneiform"},
    {"yezi", "Yezidi"},
    {"yezidi", "Yezidi"},
    {"yi", "Yi"},
    {"yiii", "Yi"},
    {"zanabazarsquare", "Zanabazar_Square"},
    {"zanb", "Zanabazar_Square"},
    {"zinh", "Inherited"},
    {"zyyy", "Common"}
};

template <size_t N>
std::string_view find_alias(const Alias (&table)[N], std::string_view key) {
  const Alias* it = std::lower_bound(std::begin(table), std::end(table), key,
                                     [](const Alias& a, std::string_view k) { return a.key < k; });
  if (it != std::end(table) && it->key == key) return it->name;
  return {};
}

// RE2's name of every script it knows, each once, sorted.
const std::vector<std::string_view>& script_names() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> v;
    for (const Alias& a : kScripts) v.push_back(a.name);
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
  }();
  return names;
}

// ---- members ---------------------------------------------------------------------------------

std::atomic<uint64_t> g_tables_built{0};

struct NamedSet {
  std::string name;
  RangeList members;
};

// Sets by name, sorted by name.
struct NameTable {
  std::vector<NamedSet> sets;

  [[nodiscard]] const RangeList* find(std::string_view name) const {
    auto it = std::lower_bound(sets.begin(), sets.end(), name,
                               [](const NamedSet& s, std::string_view n) { return s.name < n; });
    return it != sets.end() && it->name == name ? &it->members : nullptr;
  }
};

// The two-letter general categories RE2 knows, sorted. Surrogates (Cs) are left out: no valid
// text holds them.
constexpr std::string_view kCategories[] = {"Cc", "Cf", "Co", "Ll", "Lm", "Lo", "Lt", "Lu", "Mc", "Me",
                                            "Mn", "Nd", "Nl", "No", "Pc", "Pd", "Pe", "Pf", "Pi", "Po",
                                            "Ps", "Sc", "Sk", "Sm", "So", "Zl", "Zp", "Zs"};

NameTable partition_table(const std::vector<std::string_view>& names) {
  std::vector<std::string> items;
  items.reserve(names.size());
  for (std::string_view n : names) items.push_back("\\p{" + std::string(n) + "}");
  std::vector<RangeList> members = re2_class_partition(items);
  NameTable t;
  for (size_t k = 0; k < names.size(); ++k) {
    sort_and_merge(members[k]);
    t.sets.push_back({std::string(names[k]), std::move(members[k])});
  }
  return t;
}

void sort_by_name(NameTable& t) {
  std::sort(t.sets.begin(), t.sets.end(), [](const NamedSet& a, const NamedSet& b) { return a.name < b.name; });
}

// The categories partition the code space (the rest is unassigned), so they are read off in
// one pass; a one-letter category is the union of its two-letter ones.
const NameTable& categories() {
  static const NameTable table = [] {
    NameTable t = partition_table({std::begin(kCategories), std::end(kCategories)});
    for (const char group : {'L', 'M', 'N', 'P', 'S', 'Z'}) {
      RangeList all;
      for (const NamedSet& s : t.sets) {
        if (s.name[0] == group) all.insert(all.end(), s.members.begin(), s.members.end());
      }
      sort_and_merge(all);
      t.sets.push_back({std::string(1, group), std::move(all)});
    }
    sort_by_name(t);
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return t;
  }();
  return table;
}

// Scripts partition the code space too (unassigned characters have none in RE2).
const NameTable& scripts() {
  static const NameTable table = [] {
    NameTable t = partition_table(script_names());
    sort_by_name(t);
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return t;
  }();
  return table;
}

const RangeList& category(std::string_view name) {
  const RangeList* r = categories().find(name);
  VANTOREL_CHECK(r != nullptr, "an unknown general category");
  return *r;
}

// The union of the categories `names` and the characters `extra`.
RangeList union_of(std::span<const std::string_view> names, std::span<const CodePointRange> extra) {
  RangeList out(extra.begin(), extra.end());
  for (const std::string_view name : names) {
    const RangeList& members = category(name);
    out.insert(out.end(), members.begin(), members.end());
  }
  sort_and_merge(out);
  return out;
}

const RangeList& word_ranges() {
  static const RangeList ranges = [] {
    RangeList r = union_of(kWordCategories, kExtraWordRanges);
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return r;
  }();
  return ranges;
}

// Simple case folding as orbits: the characters that fold to some other character, sorted,
// each with the members of its orbit.
struct FoldTable {
  std::vector<uint32_t> chars;    // sorted
  std::vector<uint32_t> orbit;    // per char: index of its orbit
  std::vector<uint32_t> members;  // the orbits' members, orbit after orbit
  std::vector<uint32_t> starts;   // per orbit: its first member in `members`, plus the end
};

// RE2 reports, for each character, the least and the greatest member of its orbit; grouping
// the characters by the least member gives the orbits. Candidates are the assigned
// characters outside Lo and Co: letters without case and private-use characters never fold.
const FoldTable& fold_table() {
  static const FoldTable table = [] {
    std::vector<uint32_t> candidates;
    for (const NamedSet& s : categories().sets) {
      if (s.name.size() != 2 || s.name == "Lo" || s.name == "Co") continue;
      for (const CodePointRange& r : s.members) {
        for (uint32_t c = r.lo; c <= r.hi; ++c) candidates.push_back(c);
      }
    }
    std::sort(candidates.begin(), candidates.end());
    const std::vector<CodePointRange> bounds = re2_fold_orbit_bounds(candidates);
    std::vector<std::pair<uint32_t, uint32_t>> by_least;  // (least member, member)
    for (size_t k = 0; k < candidates.size(); ++k) {
      if (bounds[k].lo == bounds[k].hi) continue;
      by_least.emplace_back(bounds[k].lo, candidates[k]);
      by_least.emplace_back(bounds[k].lo, bounds[k].lo);
      by_least.emplace_back(bounds[k].lo, bounds[k].hi);
    }
    std::sort(by_least.begin(), by_least.end());
    by_least.erase(std::unique(by_least.begin(), by_least.end()), by_least.end());
    FoldTable t;
    std::vector<std::pair<uint32_t, uint32_t>> char_orbit;
    for (size_t k = 0; k < by_least.size();) {
      const auto orbit = static_cast<uint32_t>(t.starts.size());
      t.starts.push_back(static_cast<uint32_t>(t.members.size()));
      for (const uint32_t least = by_least[k].first; k < by_least.size() && by_least[k].first == least; ++k) {
        t.members.push_back(by_least[k].second);
        char_orbit.emplace_back(by_least[k].second, orbit);
      }
    }
    t.starts.push_back(static_cast<uint32_t>(t.members.size()));
    std::sort(char_orbit.begin(), char_orbit.end());
    for (const auto& [c, orbit] : char_orbit) {
      t.chars.push_back(c);
      t.orbit.push_back(orbit);
    }
    g_tables_built.fetch_add(1, std::memory_order_relaxed);
    return t;
  }();
  return table;
}

}  // namespace

std::string_view category_alias(std::string_view key) noexcept { return find_alias(kGeneralCategories, key); }

std::string_view script_alias(std::string_view key) noexcept { return find_alias(kScripts, key); }

const RangeList& property_members(std::string_view re2_name) {
  const bool one_letter = re2_name.size() == 1 && std::string_view("LMNPSZ").find(re2_name[0]) != std::string_view::npos;
  if (one_letter || std::binary_search(std::begin(kCategories), std::end(kCategories), re2_name)) {
    return category(re2_name);
  }
  const RangeList* r = scripts().find(re2_name);
  VANTOREL_CHECK(r != nullptr, "an unknown script");
  return *r;
}

RangeList case_fold_closure(const RangeList& set) {
  const FoldTable& t = fold_table();
  RangeList out = set;
  for (const CodePointRange& r : set) {
    auto it = std::lower_bound(t.chars.begin(), t.chars.end(), r.lo);
    for (; it != t.chars.end() && *it <= r.hi; ++it) {
      const uint32_t orbit = t.orbit[static_cast<size_t>(it - t.chars.begin())];
      for (uint32_t m = t.starts[orbit]; m < t.starts[orbit + 1]; ++m) out.push_back({t.members[m], t.members[m]});
    }
  }
  sort_and_merge(out);
  return out;
}

bool is_unicode_word(uint32_t cp) {
  if (cp < 0x80) return is_ascii_word_byte(static_cast<unsigned char>(cp));
  return contains(word_ranges(), cp);
}

const RangeList& unicode_word_ranges() { return word_ranges(); }

bool is_group_name_char(uint32_t c, bool first) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (!first && c >= '0' && c <= '9');
  // Alphabetic is approximated by L, Nl, every mark and the circled letters (RE2 has no table
  // of the marks that are alphabetic); numeric by N.
  static constexpr std::string_view kAlphabetic[] = {"L", "Nl", "M"};
  static constexpr std::string_view kAlphanumeric[] = {"L", "N", "M"};
  static const RangeList alphabetic = union_of(kAlphabetic, kCircledLetters);
  static const RangeList alphanumeric = union_of(kAlphanumeric, kCircledLetters);
  return contains(first ? alphabetic : alphanumeric, c);
}

uint64_t re2_base_program_size() {
  static const uint64_t size = re2_program_size("");
  return size;
}

uint64_t tables_built() { return g_tables_built.load(std::memory_order_relaxed); }

}  // namespace vantorel::regex
