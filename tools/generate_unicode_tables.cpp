// Writes the Unicode tables of the regular-expression dialect (the definition of
// kUnicodeData, src/elements/regex_unicode_data.hpp) from the text files of the Unicode
// Character Database. A host tool of the build: generate_unicode_tables <ucd-dir> <out.cpp>.
// It checks that every file is of one Unicode version and that every name it meets is known
// to the alias files, and fails (exit status 1, one line on stderr) otherwise.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "elements/regex_ranges.hpp"
#include "elements/regex_unicode_data.hpp"

namespace {

using vantorel::CodePointRange;
using vantorel::regex::normalize_property_name;
using vantorel::regex::RangeSet;
using vantorel::regex::sort_and_merge;
using Ranges = vantorel::regex::RangeList;

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "generate_unicode_tables: %s\n", what.c_str());
  std::exit(1);
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// A data file: the fields of each data line (comments and blank lines dropped), and the
// version its first line names ("# Scripts-15.0.0.txt" -> "15.0.0"; empty if none).
struct DataFile {
  std::string path;
  std::string version;
  std::vector<std::vector<std::string>> lines;
};

DataFile read_file(const std::string& dir, const std::string& name) {
  DataFile f;
  f.path = dir + "/" + name;
  std::ifstream in(f.path);
  if (!in) die("cannot read " + f.path);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first) {
      first = false;
      const size_t dash = line.rfind('-');
      const size_t dot = line.rfind(".txt");
      if (line.rfind("# ", 0) == 0 && dash != std::string::npos && dot != std::string::npos && dash < dot) {
        f.version = line.substr(dash + 1, dot - dash - 1);
      }
    }
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    if (trim(line).empty()) continue;
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, ';')) fields.push_back(trim(field));
    f.lines.push_back(std::move(fields));
  }
  return f;
}

uint32_t parse_hex(const std::string& s, const std::string& where) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(s.c_str(), &end, 16);
  if (s.empty() || *end != '\0' || v > 0x10FFFF) die("bad code point '" + s + "' in " + where);
  return static_cast<uint32_t>(v);
}

// "0041" or "0041..005A".
CodePointRange parse_range(const std::string& s, const std::string& where) {
  const size_t dots = s.find("..");
  if (dots == std::string::npos) {
    const uint32_t c = parse_hex(s, where);
    return {c, c};
  }
  const CodePointRange r{parse_hex(s.substr(0, dots), where), parse_hex(s.substr(dots + 2), where)};
  if (r.lo > r.hi) die("empty range '" + s + "' in " + where);
  return r;
}

// Sorts and merges, and takes the surrogates out.
Ranges normalised(Ranges r) {
  Ranges cut;
  for (const CodePointRange& x : r) {
    if (x.hi < 0xD800 || x.lo > 0xDFFF) {
      cut.push_back(x);
      continue;
    }
    if (x.lo < 0xD800) cut.push_back({x.lo, 0xD7FF});
    if (x.hi > 0xDFFF) cut.push_back({0xE000, x.hi});
  }
  sort_and_merge(cut);
  return cut;
}

Ranges unite(std::initializer_list<const Ranges*> parts) {
  Ranges all;
  for (const Ranges* p : parts) all.insert(all.end(), p->begin(), p->end());
  return normalised(std::move(all));
}

Ranges complement(const Ranges& r) { return normalised(RangeSet::of_list(r).complement().ranges()); }

// ---- aliases ------------------------------------------------------------------------------

// Normalised alias -> canonical name, refusing two canonical names for one key.
using AliasMap = std::map<std::string, std::string>;

void add_alias(AliasMap& m, const std::string& alias, const std::string& name, const std::string& where) {
  const std::string key = normalize_property_name(alias);
  auto [it, fresh] = m.emplace(key, name);
  if (!fresh && it->second != name) die("alias '" + alias + "' of both " + it->second + " and " + name + " in " + where);
}

// PropertyAliases.txt: short name; long name; other aliases.
AliasMap property_names(const DataFile& f) {
  AliasMap m;
  for (const auto& fields : f.lines) {
    if (fields.size() < 2) die("short line in " + f.path);
    for (const std::string& alias : fields) add_alias(m, alias, fields[1], f.path);
  }
  return m;
}

// PropertyValueAliases.txt, the lines of property `prop`: short value; long value; other
// aliases (ccc lines have a number first; none is read here).
AliasMap value_aliases(const DataFile& f, const std::string& prop) {
  AliasMap m;
  for (const auto& fields : f.lines) {
    if (fields[0] != prop) continue;
    if (fields.size() < 3) die("short line in " + f.path);
    for (size_t k = 1; k < fields.size(); ++k) add_alias(m, fields[k], fields[2], f.path);
  }
  if (m.empty()) die("no values of " + prop + " in " + f.path);
  return m;
}

// The canonical name of `alias` in `m`, or the build stops.
const std::string& canonical(const AliasMap& m, const std::string& alias, const std::string& where) {
  auto it = m.find(normalize_property_name(alias));
  if (it == m.end()) die("unknown name '" + alias + "' in " + where);
  return it->second;
}

// ---- sets ---------------------------------------------------------------------------------

using SetMap = std::map<std::string, Ranges>;

// The lines "range ; value" of `f`, grouped by the canonical name of the value. With
// `two_fields_only`, longer lines (enumerated or string properties in a file of binary
// ones) are passed over.
SetMap read_sets(const DataFile& f, const AliasMap& names, bool two_fields_only = false) {
  SetMap m;
  for (const auto& fields : f.lines) {
    if (fields.size() < 2) die("short line in " + f.path);
    if (two_fields_only && fields.size() != 2) continue;
    m[canonical(names, fields[1], f.path)].push_back(parse_range(fields[0], f.path));
  }
  for (auto& [name, r] : m) r = normalised(std::move(r));
  return m;
}

// ---- output -------------------------------------------------------------------------------

struct Writer {
  std::string ranges;        // the body of kRanges
  uint64_t count = 0;        // ranges written so far
  std::map<const void*, std::pair<uint64_t, uint64_t>> placed;  // set -> (offset, length)

  // The span expression of `r`, its ranges appended once.
  std::string span(const Ranges& r) {
    auto it = placed.find(&r);
    if (it == placed.end()) {
      it = placed.emplace(&r, std::make_pair(count, uint64_t{r.size()})).first;
      for (const CodePointRange& x : r) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "{0x%X,0x%X},", x.lo, x.hi);
        ranges += buf;
        if (++count % 8 == 0) ranges += "\n";
      }
    }
    return "{kRanges + " + std::to_string(it->second.first) + ", " + std::to_string(it->second.second) + "}";
  }
};

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string alias_table(const std::string& name, const AliasMap& m) {
  std::string out = "constexpr NameAlias " + name + "[] = {\n";
  for (const auto& [key, canon] : m) out += "    {" + quoted(key) + ", " + quoted(canon) + "},\n";
  return out + "};\n";
}

std::string set_table(Writer& w, const std::string& name, const SetMap& sets) {
  std::string out = "constexpr ValueSet " + name + "[] = {\n";
  for (const auto& [canon, r] : sets) {
    if (r.empty()) continue;
    out += "    {" + quoted(canon) + ", " + w.span(r) + "},\n";
  }
  return out + "};\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) die("usage: generate_unicode_tables <ucd-dir> <out.cpp>");
  const std::string dir = argv[1];

  const DataFile property_aliases = read_file(dir, "PropertyAliases.txt");
  const DataFile value_file = read_file(dir, "PropertyValueAliases.txt");
  const DataFile categories_file = read_file(dir, "extracted/DerivedGeneralCategory.txt");
  const DataFile scripts_file = read_file(dir, "Scripts.txt");
  const DataFile extensions_file = read_file(dir, "ScriptExtensions.txt");
  const DataFile age_file = read_file(dir, "DerivedAge.txt");
  const DataFile prop_list = read_file(dir, "PropList.txt");
  const DataFile core = read_file(dir, "DerivedCoreProperties.txt");
  const DataFile normalization = read_file(dir, "DerivedNormalizationProps.txt");
  const DataFile emoji = read_file(dir, "emoji/emoji-data.txt");
  const DataFile grapheme_file = read_file(dir, "auxiliary/GraphemeBreakProperty.txt");
  const DataFile word_file = read_file(dir, "auxiliary/WordBreakProperty.txt");
  const DataFile sentence_file = read_file(dir, "auxiliary/SentenceBreakProperty.txt");
  const DataFile folding_file = read_file(dir, "CaseFolding.txt");

  const std::string version = property_aliases.version;
  for (const DataFile* f : {&value_file, &categories_file, &scripts_file, &extensions_file, &age_file, &prop_list,
                            &core, &normalization, &grapheme_file, &word_file, &sentence_file, &folding_file}) {
    if (f->version != version) die(f->path + " is of version '" + f->version + "', not " + version);
  }
  // emoji-data.txt names its version in a comment line only; its data is checked by name.

  const AliasMap props = property_names(property_aliases);
  const AliasMap gc_values = value_aliases(value_file, "gc");
  const AliasMap sc_values = value_aliases(value_file, "sc");
  const AliasMap age_values = value_aliases(value_file, "age");
  const AliasMap gcb_values = value_aliases(value_file, "GCB");
  const AliasMap wb_values = value_aliases(value_file, "WB");
  const AliasMap sb_values = value_aliases(value_file, "SB");

  // General categories: the two-letter ones from the file (Cn listed explicitly, Cs left
  // out with the surrogates), then the groups, then the three names the dialect adds.
  SetMap gc = read_sets(categories_file, gc_values);
  gc.erase("Surrogate");
  const std::pair<const char*, std::vector<const char*>> groups[] = {
      {"Letter", {"Uppercase_Letter", "Lowercase_Letter", "Titlecase_Letter", "Modifier_Letter", "Other_Letter"}},
      {"Cased_Letter", {"Uppercase_Letter", "Lowercase_Letter", "Titlecase_Letter"}},
      {"Mark", {"Nonspacing_Mark", "Spacing_Mark", "Enclosing_Mark"}},
      {"Number", {"Decimal_Number", "Letter_Number", "Other_Number"}},
      {"Punctuation", {"Connector_Punctuation", "Dash_Punctuation", "Open_Punctuation", "Close_Punctuation",
                       "Initial_Punctuation", "Final_Punctuation", "Other_Punctuation"}},
      {"Symbol", {"Math_Symbol", "Currency_Symbol", "Modifier_Symbol", "Other_Symbol"}},
      {"Separator", {"Space_Separator", "Line_Separator", "Paragraph_Separator"}},
      {"Other", {"Control", "Format", "Unassigned", "Private_Use"}},
  };
  for (const auto& [group, members] : groups) {
    Ranges all;
    for (const char* m : members) {
      if (gc.count(m) == 0) die(std::string("no general category ") + m);
      all.insert(all.end(), gc[m].begin(), gc[m].end());
    }
    gc[group] = normalised(std::move(all));
  }
  AliasMap gc_aliases = gc_values;
  gc["Any"] = {{0, 0x10FFFF}};
  gc["ASCII"] = {{0, 0x7F}};
  gc["Assigned"] = complement(gc["Unassigned"]);
  for (const char* special : {"Any", "ASCII", "Assigned"}) add_alias(gc_aliases, special, special, "the dialect's names");

  // Scripts, and script extensions: a character listed in ScriptExtensions.txt has the
  // scripts listed there (short names), every other one its script.
  const SetMap scripts = read_sets(scripts_file, sc_values);
  SetMap extensions;
  Ranges listed;
  for (const auto& fields : extensions_file.lines) {
    if (fields.size() != 2) die("bad line in " + extensions_file.path);
    const CodePointRange r = parse_range(fields[0], extensions_file.path);
    listed.push_back(r);
    std::stringstream ss(fields[1]);
    std::string code;
    while (ss >> code) extensions[canonical(sc_values, code, extensions_file.path)].push_back(r);
  }
  listed = normalised(std::move(listed));
  const Ranges unlisted = complement(listed);
  for (const auto& [name, members] : scripts) {
    Ranges& r = extensions[name];
    size_t j = 0;
    for (const CodePointRange& x : members) {  // members minus the listed characters
      while (j < unlisted.size() && unlisted[j].hi < x.lo) ++j;
      for (size_t k = j; k < unlisted.size() && unlisted[k].lo <= x.hi; ++k) {
        r.push_back({std::max(x.lo, unlisted[k].lo), std::min(x.hi, unlisted[k].hi)});
      }
    }
  }
  for (auto& [name, r] : extensions) r = normalised(std::move(r));

  // Age: the characters each version added, in version order (the dialect's Age=V is the
  // union of V's set and every set before it).
  const SetMap added = read_sets(age_file, age_values);
  std::vector<std::pair<std::string, const Ranges*>> ages;
  double previous = 0;
  for (const auto& fields : value_file.lines) {
    if (fields[0] != "age" || fields[2] == "Unassigned") continue;
    const double number = std::strtod(fields[1].c_str(), nullptr);  // "6.0": minor versions stay below 10
    if (number <= previous) die("Age values out of order in " + value_file.path);
    previous = number;
    auto it = added.find(fields[2]);
    if (it == added.end()) die("no characters of Age " + fields[2] + " in " + age_file.path);
    ages.emplace_back(fields[2], &it->second);
  }
  if (ages.size() != added.size()) die("DerivedAge.txt and PropertyValueAliases.txt disagree on the versions");

  // Break properties: the values the files list (the default Other is listed nowhere).
  const SetMap gcb = read_sets(grapheme_file, gcb_values);
  const SetMap wb = read_sets(word_file, wb_values);
  const SetMap sb = read_sets(sentence_file, sb_values);

  // Binary properties: those of PropList, DerivedCoreProperties and emoji-data, and the
  // two binary ones of DerivedNormalizationProps (its Expands_On_* lines are deprecated data).
  SetMap binary = read_sets(prop_list, props, true);
  for (const DataFile* f : {&core, &emoji}) {
    for (auto& [name, r] : read_sets(*f, props, true)) binary[name] = r;
  }
  for (auto& [name, r] : read_sets(normalization, props, true)) {
    if (name == "Full_Composition_Exclusion" || name == "Changes_When_NFKC_Casefolded") binary[name] = r;
  }
  for (const char* needed : {"Alphabetic", "White_Space", "Join_Control", "Emoji"}) {
    if (binary.count(needed) == 0) die(std::string("no binary property ") + needed);
  }

  // Simple case folding (statuses C and S), closed into orbits.
  std::map<uint32_t, uint32_t> parent;
  auto find = [&](uint32_t c) {
    while (parent.count(c) != 0 && parent[c] != c) c = parent[c];
    return c;
  };
  for (const auto& fields : folding_file.lines) {
    if (fields.size() < 3) die("short line in " + folding_file.path);
    if (fields[1] != "C" && fields[1] != "S") continue;
    const uint32_t a = parse_hex(fields[0], folding_file.path);
    const uint32_t b = parse_hex(fields[2], folding_file.path);
    for (uint32_t c : {a, b}) parent.emplace(c, c);
    const uint32_t ra = find(a);
    const uint32_t rb = find(b);
    parent[std::max(ra, rb)] = std::min(ra, rb);
  }
  std::map<uint32_t, std::vector<uint32_t>> orbits;
  for (const auto& [c, p] : parent) orbits[find(c)].push_back(c);
  std::map<uint32_t, uint32_t> next;
  for (const auto& [root, members] : orbits) {
    for (size_t k = 0; k < members.size(); ++k) next[members[k]] = members[(k + 1) % members.size()];
  }

  // The Perl classes and the letters of group names.
  const Ranges word = unite({&binary["Alphabetic"], &gc["Mark"], &gc["Decimal_Number"], &gc["Connector_Punctuation"],
                             &binary["Join_Control"]});
  const Ranges alphanumeric = unite({&binary["Alphabetic"], &gc["Number"]});

  // ---- writing ----
  Writer w;
  std::string body;
  body += alias_table("kPropertyNames", props);
  body += alias_table("kGeneralCategoryValues", gc_aliases);
  body += alias_table("kScriptValues", sc_values);
  body += alias_table("kAgeValues", age_values);
  body += alias_table("kGraphemeClusterBreakValues", gcb_values);
  body += alias_table("kWordBreakValues", wb_values);
  body += alias_table("kSentenceBreakValues", sb_values);
  body += set_table(w, "kGeneralCategories", gc);
  body += set_table(w, "kScripts", scripts);
  body += set_table(w, "kScriptExtensions", extensions);
  body += "constexpr ValueSet kAges[] = {\n";
  for (const auto& [name, r] : ages) body += "    {" + quoted(name) + ", " + w.span(*r) + "},\n";
  body += "};\n";
  body += set_table(w, "kGraphemeClusterBreaks", gcb);
  body += set_table(w, "kWordBreaks", wb);
  body += set_table(w, "kSentenceBreaks", sb);
  body += set_table(w, "kBinary", binary);
  // The properties by canonical name, in name order.
  struct Enumerated {
    const char* name;
    const char* values;
    const char* sets;
    bool cumulative;
  };
  const Enumerated enumerated[] = {
      {"Age", "kAgeValues", "kAges", true},
      {"General_Category", "kGeneralCategoryValues", "kGeneralCategories", false},
      {"Grapheme_Cluster_Break", "kGraphemeClusterBreakValues", "kGraphemeClusterBreaks", false},
      {"Script", "kScriptValues", "kScripts", false},
      {"Script_Extensions", "kScriptValues", "kScriptExtensions", false},
      {"Sentence_Break", "kSentenceBreakValues", "kSentenceBreaks", false},
      {"Word_Break", "kWordBreakValues", "kWordBreaks", false},
  };
  body += "constexpr EnumeratedProperty kEnumerated[] = {\n";
  for (const Enumerated& e : enumerated) {
    if (props.count(normalize_property_name(e.name)) == 0) die(std::string("no property ") + e.name);
    body += std::string("    {\"") + e.name + "\", " + e.values + ", " + e.sets + ", " +
            (e.cumulative ? "true" : "false") + "},\n";
  }
  body += "};\n";
  body += "constexpr FoldLink kCaseFolding[] = {\n";
  std::map<uint32_t, size_t> index;  // character -> its link's place in the table
  for (const auto& [c, n] : next) index.emplace(c, index.size());
  int on_line = 0;
  for (const auto& [c, n] : next) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{0x%X,%zu},", c, index[n]);
    body += buf;
    if (++on_line % 8 == 0) body += "\n";
  }
  body += "\n};\n";
  const std::string word_span = w.span(word);
  const std::string digit_span = w.span(gc["Decimal_Number"]);
  const std::string space_span = w.span(binary["White_Space"]);
  const std::string alphabetic_span = w.span(binary["Alphabetic"]);
  const std::string alphanumeric_span = w.span(alphanumeric);

  std::string out;
  out += "// Generated by tools/generate_unicode_tables.cpp from the Unicode Character Database " + version +
         ". Do not edit.\n";
  out += "#include \"elements/regex_unicode_data.hpp\"\n\nnamespace vantorel::regex {\n\nnamespace {\n\n";
  out += "constexpr CodePointRange kRanges[] = {\n" + w.ranges + "\n};\n\n" + body;
  out += "\n}  // namespace\n\n";
  out += "constinit const UnicodeData kUnicodeData = {\n";
  out += "    " + quoted(version) + ",\n";
  out += "    kPropertyNames,\n    kEnumerated,\n    kBinary,\n    kCaseFolding,\n";
  out += "    " + word_span + ",\n    " + digit_span + ",\n    " + space_span + ",\n    " + alphabetic_span + ",\n    " +
         alphanumeric_span + ",\n";
  out += "    " + std::to_string(w.count) + ",\n};\n\n}  // namespace vantorel::regex\n";

  const std::string path = argv[2];
  const std::string temp = path + ".tmp";
  {
    std::ofstream o(temp, std::ios::binary);
    o << out;
    if (!o) die("cannot write " + temp);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) die("cannot write " + path);
  return 0;
}
