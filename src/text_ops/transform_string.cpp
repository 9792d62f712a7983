// transform_string: the roads of Word (the generic road's scan with byte tables), Literal
// (substring search) and Regex (the library's match iteration), beside the generic road of
// transform_string.hpp (the byte-stepping scan over the element's try_match_at). Every road
// writes the stretches between matches and the replacements into one buffer and makes one
// str.
#include "text_ops/transform_string.hpp"

#include <utility>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "text_ops/literal_finder.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

// ---- Word -------------------------------------------------------------------------------

// The Word scan with the byte tables of the call built in (each step one lookup); the
// same hits as the generic road with WordElement::try_match_at, under the same
// whole-character rule. Every word has at least one byte.
template <>
PyResult<PyRef> transform_string<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& word = class_element<ClassId::Word>(self);
  const std::string_view s = args[0].text;
  if (s.empty()) return new_str({});
  const char* text = s.data();
  const uint64_t n = s.size();
  const WordTables tables(word);
  Rewriter out(s, args[1].text);
  tables.scan(text, 0, n, [&](uint64_t start, uint64_t end) noexcept {
    if (take_whole_characters(text, n, start, &end)) out.replace(start, end);
  });
  return out.finish();
}

// ---- Literal ----------------------------------------------------------------------------

// Occurrences found with one substring searcher for the whole call, which jumps from one
// occurrence to the next instead of trying every position; the search resumes behind each
// whole occurrence. An occurrence of whole UTF-8 text in UTF-8 text begins and ends
// between characters.
template <>
PyResult<PyRef> transform_string<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept {
  const std::string_view needle = class_element<ClassId::Literal>(self).literal;
  const std::string_view s = args[0].text;
  if (needle.empty()) return new_str(s);
  Rewriter out(s, args[1].text);
  LiteralFinder finder(needle.data(), needle.size());
  uint64_t q = 0;
  for (;;) {
    const uint64_t j = finder.find(s.data(), q, s.size());
    if (j == LiteralFinder::kNone) break;
    out.replace(j, j + needle.size());
    q = j + needle.size();
  }
  return out.finish();
}

// ---- Regex ------------------------------------------------------------------------------

// The unanchored expression's matches over the whole text (anchors see its real start and
// end), collected before any output is made; the library never reports a bound inside a
// character. Empty matches are replaced too, also in the empty text; mode and class_set
// play no part.
template <>
PyResult<PyRef> transform_string<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept {
  const RegexElement& regex = class_element<ClassId::Regex>(self);
  const std::string_view s = args[0].text;
  std::vector<std::pair<uint64_t, uint64_t>> spans;
  spans.reserve(4);
  {
    regex::MatchIterator matches(*regex.unanchored, s.data(), s.size());
    uint64_t start;
    uint64_t end;
    while (matches.next(&start, &end)) spans.emplace_back(start, end);
  }
  if (spans.empty()) return new_str(s);
  Rewriter out(s, args[1].text);
  for (const auto& [start, end] : spans) out.replace(start, end);
  return out.finish();
}

}  // namespace vantorel::py
