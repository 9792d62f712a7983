// transform_string: the generic road (the byte-stepping scan over the element's
// try_match_at) and right below it the roads of Word (the same scan with byte tables),
// Literal (substring search) and Regex (the library's match iteration). Every road writes
// the stretches between matches and the replacements into one buffer and makes one str.
#include "text_ops/transform_string.hpp"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "text_ops/class_element.hpp"
#include "text_ops/literal_finder.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/nesting_error.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

namespace {

// The output of one call: the text with the replaced spans, given in increasing order and
// never overlapping, swapped for the replacement.
class Rewriter {
 public:
  Rewriter(std::string_view text, std::string_view replacement) noexcept : text_(text), replacement_(replacement) {
    out_.reserve(text.size());
  }

  // Replaces text[start, end); start is at or after the end of the previous span.
  void replace(uint64_t start, uint64_t end) noexcept {
    out_.append(text_.data() + last_, start - last_);
    out_.append(replacement_);
    last_ = end;
  }

  // The new str: what was written, then the rest of the text.
  [[nodiscard]] PyRef finish() noexcept {
    out_.append(text_.data() + last_, text_.size() - last_);
    return new_str(out_);
  }

 private:
  std::string_view text_;
  std::string_view replacement_;
  std::string out_;
  uint64_t last_ = 0;  // where the next unchanged stretch begins
};

// The generic road: match_scan with `matcher`, zero-width hits dropped, every other hit
// replaced. The stretches between replaced spans are copied into the new str, so they must
// hold whole characters: a hit that starts inside a multi-byte character is not replaced,
// and one that ends inside a character is replaced up to that character's end (the rule of
// take_whole_characters, which search_string applies to the same hits).
template <ScanMatcher M>
PyResult<PyRef> transform_matches(const M& matcher, std::string_view s, std::string_view replacement) noexcept {
  if (s.empty()) return new_str({});
  const char* text = s.data();
  const uint64_t n = s.size();
  Rewriter out(s, replacement);
  const ScanEnd scan = match_scan(matcher, text, n, [&](uint64_t start, uint64_t end) noexcept {
    if (end <= start || !take_whole_characters(text, n, start, &end)) return;
    out.replace(start, end);
  });
  // A stop leaves the rest of the text undecided: no partly rewritten text is returned.
  if (!scan.complete()) return nesting_too_deep_error(scan.position);
  return out.finish();
}

// ---- Word -------------------------------------------------------------------------------

// The Word scan with the byte tables of the call built in (each step one lookup); the
// same hits as the generic road with WordElement::try_match_at, under the same
// whole-character rule. Every word has at least one byte.
PyResult<PyRef> word_transform_string(const WordElement& word, std::string_view s,
                                      std::string_view replacement) noexcept {
  if (s.empty()) return new_str({});
  const char* text = s.data();
  const uint64_t n = s.size();
  const WordTables tables(word);
  Rewriter out(s, replacement);
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
PyResult<PyRef> literal_transform_string(const LiteralElement& literal, std::string_view s,
                                         std::string_view replacement) noexcept {
  const std::string_view needle = literal.literal;
  if (needle.empty()) return new_str(s);
  Rewriter out(s, replacement);
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
PyResult<PyRef> regex_transform_string(const RegexElement& regex, std::string_view s,
                                       std::string_view replacement) noexcept {
  std::vector<std::pair<uint64_t, uint64_t>> spans;
  spans.reserve(4);
  {
    regex::MatchIterator matches(*regex.unanchored, s.data(), s.size());
    uint64_t start;
    uint64_t end;
    while (matches.next(&start, &end)) spans.emplace_back(start, end);
  }
  if (spans.empty()) return new_str(s);
  Rewriter out(s, replacement);
  for (const auto& [start, end] : spans) out.replace(start, end);
  return out.finish();
}

}  // namespace

template <ClassId C>
PyResult<PyRef> class_transform_string(PyObject* self, const CallArgs& args) noexcept {
  const std::string_view s = args[0].text;
  const std::string_view replacement = args[1].text;
  if constexpr (C == ClassId::Word) {
    return word_transform_string(class_element<C>(self), s, replacement);
  } else if constexpr (C == ClassId::Literal) {
    return literal_transform_string(class_element<C>(self), s, replacement);
  } else if constexpr (C == ClassId::Regex) {
    return regex_transform_string(class_element<C>(self), s, replacement);
  } else {
    // The kind's own try_match_at, called on the final type without dispatch.
    return transform_matches(class_element<C>(self), s, replacement);
  }
}

#define VANTOREL_INSTANTIATE_TRANSFORM(Name, Element) \
  template PyResult<PyRef> class_transform_string<ClassId::Name>(PyObject*, const CallArgs&) noexcept;
VANTOREL_ELEMENT_CLASSES(VANTOREL_INSTANTIATE_TRANSFORM)
#undef VANTOREL_INSTANTIATE_TRANSFORM

}  // namespace vantorel::py
