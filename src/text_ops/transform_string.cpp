// transform_string: the roads of Word (the generic road's scan with byte tables), Literal
// (substring search) and Regex (the library's match iteration), beside the generic road of
// transform_string.hpp (the byte-stepping scan over the element's try_match_at). Every road
// writes the stretches between matches and the replacements into one buffer and makes one
// str.
#include "text_ops/transform_string.hpp"

#include <cstring>
#include <utility>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "text_ops/literal_finder.hpp"
#include "text_ops/scratch_memory.hpp"
#include "text_ops/word_scan.hpp"

namespace vantorel::py {

// ---- Rewriter ---------------------------------------------------------------------------

namespace {

// The largest code point of a str's kind: 127 (ASCII), 255, 65535 or 1114111.
uint32_t kind_bound(PyObject* s) noexcept { return PyUnicode_MAX_CHAR_VALUE(s); }

// The lowest UTF-8 lead byte of a character above the next narrower kind's bound.
unsigned top_lead_of(uint32_t bound) noexcept {
  return bound == 255 ? 0xC2 : bound == 65535 ? 0xC4 : 0xF0;  // U+0080, U+0100, U+10000
}

// Copies `count` code units of kind `from` to kind `to` (to >= from).
void convert_units(void* dst, int to, const void* src, int from, uint64_t count) noexcept {
  if (to == from) {
    std::memcpy(dst, src, count * static_cast<uint64_t>(to));
    return;
  }
  const auto widen = [count](auto* out, const auto* in) {
    for (uint64_t i = 0; i < count; ++i) out[i] = in[i];
  };
  if (from == PyUnicode_1BYTE_KIND && to == PyUnicode_2BYTE_KIND) {
    widen(static_cast<Py_UCS2*>(dst), static_cast<const Py_UCS1*>(src));
  } else if (from == PyUnicode_1BYTE_KIND) {
    widen(static_cast<Py_UCS4*>(dst), static_cast<const Py_UCS1*>(src));
  } else {
    widen(static_cast<Py_UCS4*>(dst), static_cast<const Py_UCS2*>(src));
  }
}

}  // namespace

Rewriter::Rewriter(const Argument& text, const Argument& replacement) noexcept
    : utf8_(text.text),
      text_(text.object),
      replacement_(replacement.object),
      text_chars_(static_cast<uint64_t>(PyUnicode_GET_LENGTH(text.object))),
      text_ascii_(PyUnicode_IS_ASCII(text.object) != 0) {}

void Rewriter::fail() noexcept {
  if (!error_) error_.emplace(PyError::fetch());
}

bool Rewriter::open() noexcept {
  const uint32_t text_bound = kind_bound(text_);
  const uint32_t replacement_bound = kind_bound(replacement_);
  const uint32_t bound = text_bound > replacement_bound ? text_bound : replacement_bound;
  if (bound > 127 && replacement_bound < bound) top_lead_ = top_lead_of(bound);
  capacity_ = text_chars_ + static_cast<uint64_t>(PyUnicode_GET_LENGTH(replacement_));
  out_ = PyRef::steal(PyUnicode_New(static_cast<Py_ssize_t>(capacity_), bound));
  if (!out_) {
    fail();
    return false;
  }
  out_kind_ = PyUnicode_KIND(out_.get());
  // The result is written from end to end; a large one is faulted in 2 MiB at a time.
  advise_huge_pages(PyUnicode_DATA(out_.get()), capacity_ * static_cast<uint64_t>(out_kind_));
  return true;
}

// Grows by half again at least: the result is resized in place at the end, and a large
// block grows without a copy where the allocator can remap it.
bool Rewriter::reserve(uint64_t more) noexcept {
  if (written_ + more <= capacity_) return true;
  uint64_t wanted = capacity_ + capacity_ / 2;
  if (wanted < written_ + more) wanted = written_ + more;
  PyObject* grown = out_.release();
  if (PyUnicode_Resize(&grown, static_cast<Py_ssize_t>(wanted)) != 0) {
    out_ = PyRef::steal(grown);
    fail();
    return false;
  }
  out_ = PyRef::steal(grown);
  capacity_ = wanted;
  return true;
}

void Rewriter::append(const void* units, int kind, uint64_t count) noexcept {
  auto* dst = static_cast<char*>(PyUnicode_DATA(out_.get())) + written_ * static_cast<uint64_t>(out_kind_);
  convert_units(dst, out_kind_, units, kind, count);
  written_ += count;
}

void Rewriter::replace(uint64_t start, uint64_t end) noexcept {
  if (error_ || (!out_ && !open())) return;
  const char* bytes = utf8_.data();
  const uint64_t kept = text_ascii_ ? start - last_byte_ : count_utf8_chars(bytes + last_byte_, start - last_byte_);
  const uint64_t replaced = text_ascii_ ? end - start : count_utf8_chars(bytes + start, end - start);
  if (top_lead_ < 256) {
    for (uint64_t i = start; i < end && !top_replaced_; ++i) top_replaced_ = static_cast<unsigned char>(bytes[i]) >= top_lead_;
  }
  const uint64_t replacement_chars = static_cast<uint64_t>(PyUnicode_GET_LENGTH(replacement_));
  if (!reserve(kept + replacement_chars)) return;
  const int text_kind = PyUnicode_KIND(text_);
  append(static_cast<const char*>(PyUnicode_DATA(text_)) + last_char_ * static_cast<uint64_t>(text_kind), text_kind,
         kept);
  append(PyUnicode_DATA(replacement_), PyUnicode_KIND(replacement_), replacement_chars);
  last_char_ += kept + replaced;
  last_byte_ = end;
}

PyResult<PyRef> Rewriter::finish() noexcept {
  if (error_) return std::move(*error_);
  const int text_kind = PyUnicode_KIND(text_);
  const void* text_units = PyUnicode_DATA(text_);
  if (!out_) {  // nothing replaced: a new str equal to the text
    if (text_chars_ <= 1) return new_str(utf8_);
    PyRef copy = PyRef::steal(PyUnicode_New(static_cast<Py_ssize_t>(text_chars_), kind_bound(text_)));
    if (!copy) return PyError::fetch();
    advise_huge_pages(PyUnicode_DATA(copy.get()), text_chars_ * static_cast<uint64_t>(text_kind));
    std::memcpy(PyUnicode_DATA(copy.get()), text_units, text_chars_ * static_cast<uint64_t>(text_kind));
    return copy;
  }
  const uint64_t rest = text_chars_ - last_char_;
  if (!reserve(rest)) return std::move(*error_);
  append(static_cast<const char*>(text_units) + last_char_ * static_cast<uint64_t>(text_kind), text_kind, rest);
  // Empty and one-character results are the interpreter's shared strs, and a result whose
  // widest characters were all replaced is narrower than its kind: both are made anew from
  // the units written, which the interpreter stores in their canonical form.
  if (written_ <= 1 || top_replaced_) {
    PyObject* made = PyUnicode_FromKindAndData(out_kind_, PyUnicode_DATA(out_.get()), static_cast<Py_ssize_t>(written_));
    if (made == nullptr) return PyError::fetch();
    return PyRef::steal(made);
  }
  if (written_ != capacity_) {
    PyObject* exact = out_.release();
    if (PyUnicode_Resize(&exact, static_cast<Py_ssize_t>(written_)) != 0) {
      out_ = PyRef::steal(exact);
      return PyError::fetch();
    }
    out_ = PyRef::steal(exact);
  }
  return std::move(out_);
}

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
  Rewriter out(args[0], args[1]);
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
  Rewriter out(args[0], args[1]);
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
  Rewriter out(args[0], args[1]);
  for (const auto& [start, end] : spans) out.replace(start, end);
  return out.finish();
}

}  // namespace vantorel::py
