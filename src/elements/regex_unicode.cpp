// Property-name tables of the dialect: names are compared after loose normalisation (case,
// spaces, '_' and '-' ignored, a leading "is" dropped), then looked up among the aliases of
// the general categories and the scripts that RE2 supports.
#include "elements/regex_unicode.hpp"

#include <algorithm>
#include <iterator>

namespace vantorel::regex {

const CodeRange kWhiteSpaceRanges[10] = {{0x09, 0x0D}, {0x20, 0x20},     {0x85, 0x85},     {0xA0, 0xA0},
                                         {0x1680, 0x1680}, {0x2000, 0x200A}, {0x2028, 0x2029}, {0x202F, 0x202F},
                                         {0x205F, 0x205F}, {0x3000, 0x3000}};

const CodeRange kExtraWordRanges[5] = {
    {0x200C, 0x200D}, {0x24B6, 0x24E9}, {0x1F130, 0x1F149}, {0x1F150, 0x1F169}, {0x1F170, 0x1F189}};

namespace {

struct Alias {
  std::string_view key;   // normalised alias
  std::string_view name;  // RE2's name
};

// General categories: normalised alias -> RE2 name ("" for the ones spelled by hand).
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

template <size_t N>
const Alias* find(const Alias (&table)[N], std::string_view key) {
  const Alias* it = std::lower_bound(std::begin(table), std::end(table), key,
                                     [](const Alias& a, std::string_view k) { return a.key < k; });
  if (it != std::end(table) && it->key == key) return it;
  return nullptr;
}

PropertyLookup found(PropertyKind kind, std::string_view name = {}) {
  PropertyLookup r;
  r.ok = true;
  r.kind = kind;
  r.re2_name = std::string(name);
  return r;
}

PropertyLookup not_found(std::string_view what) {
  PropertyLookup r;
  r.error = std::string(what);
  return r;
}

constexpr std::string_view kPropertyNotFound = "Unicode property not found";
constexpr std::string_view kValueNotFound = "Unicode property value not found";

PropertyLookup general_category(const std::string& key, bool as_value) {
  if (key == "any") return found(PropertyKind::Any);
  if (key == "assigned") return found(PropertyKind::Assigned);
  if (key == "ascii") return found(PropertyKind::Ascii);
  const Alias* a = find(kGeneralCategories, key);
  if (a == nullptr) return not_found(as_value ? kValueNotFound : kPropertyNotFound);
  if (a->name == "C") return found(PropertyKind::Other);
  if (a->name == "Cn") return found(PropertyKind::Unassigned);
  if (a->name == "LC") return found(PropertyKind::CasedLetter);
  // Surrogates are not characters of a valid text: the category cannot be asked for.
  if (a->name == "Cs") return not_found(kValueNotFound);
  return found(PropertyKind::Re2Name, a->name);
}

}  // namespace

void sort_and_merge(std::vector<CodeRange>& ranges) {
  std::sort(ranges.begin(), ranges.end(), [](const CodeRange& a, const CodeRange& b) { return a.lo < b.lo; });
  size_t out = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    if (out > 0 && ranges[i].lo <= ranges[out - 1].hi + 1) {
      ranges[out - 1].hi = std::max(ranges[out - 1].hi, ranges[i].hi);
    } else {
      ranges[out++] = ranges[i];
    }
  }
  ranges.resize(out);
}

void append_hex(std::string& out, uint32_t c) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kDigits[c & 15];
    c >>= 4;
  } while (c != 0);
  out += "\\x{";
  while (n > 0) out.push_back(buf[--n]);
  out += "}";
}

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

PropertyLookup lookup_property(UnicodeForm form, std::string_view name, std::string_view value) {
  if (form != UnicodeForm::NamedValue) {
    const std::string key = normalize(name);
    if (key == "wspace" || key == "whitespace" || key == "space") return found(PropertyKind::WhiteSpace);
    PropertyLookup gc = general_category(key, false);
    if (gc.ok || gc.error == kValueNotFound) return gc;
    if (const Alias* s = find(kScripts, key)) return found(PropertyKind::Re2Name, s->name);
    return not_found(kPropertyNotFound);
  }
  const std::string prop = normalize(name);
  const std::string key = normalize(value);
  if (prop == "gc" || prop == "generalcategory") return general_category(key, true);
  if (prop == "sc" || prop == "script") {
    if (const Alias* s = find(kScripts, key)) return found(PropertyKind::Re2Name, s->name);
    return not_found(kValueNotFound);
  }
  return not_found(kPropertyNotFound);
}

}  // namespace vantorel::regex
