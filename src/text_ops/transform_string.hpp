// transform_string(s, replacement) of every class: a new str in which every match of the
// element is replaced by the replacement, inserted literally. 23 classes share the generic
// road over match_scan; Word, Literal and Regex have roads of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

// The output of one call: the text with the replaced spans, given as byte ranges of its
// UTF-8 view in increasing order and never overlapping, swapped for the replacement. The
// result is written straight into the new str's own storage, in code units: each unchanged
// stretch is copied from the text's str itself (its place found by counting the characters
// of its UTF-8 bytes), each replacement from the replacement's str; no UTF-8 buffer is built
// and nothing is decoded again. The result is the str PyUnicode_FromStringAndSize would make
// of the same UTF-8 bytes, in its canonical (narrowest) form. A str the interpreter cannot
// make or grow makes finish() raise its MemoryError.
class Rewriter {
 public:
  // `text` and `replacement` are the str arguments with their UTF-8 views.
  Rewriter(const Argument& text, const Argument& replacement) noexcept;

  // Replaces text[start, end) (byte offsets on character boundaries); start is at or after
  // the end of the previous span.
  void replace(uint64_t start, uint64_t end) noexcept;

  // The new str: what was written, then the rest of the text. Never the text's str itself.
  [[nodiscard]] PyResult<PyRef> finish() noexcept;

 private:
  // Makes the result str on the first replacement, in the wider of the two strs' kinds.
  [[nodiscard]] bool open() noexcept;
  // Room for `more` code units after what is written; false when the str cannot grow.
  [[nodiscard]] bool reserve(uint64_t more) noexcept;
  // Appends `count` code units of kind `kind` from `units`.
  void append(const void* units, int kind, uint64_t count) noexcept;
  // Records the interpreter's pending error; later steps do nothing.
  void fail() noexcept;

  std::string_view utf8_;  // the text's UTF-8 view
  PyObject* text_;         // borrowed: the text's str
  PyObject* replacement_;  // borrowed
  uint64_t text_chars_;    // characters of the text
  bool text_ascii_;        // its UTF-8 bytes are its code units
  PyRef out_;              // the result, made on the first replacement
  int out_kind_ = 0;
  uint64_t capacity_ = 0;  // code units the result can hold
  uint64_t written_ = 0;   // code units written
  uint64_t last_byte_ = 0;  // where the next unchanged stretch begins, in the UTF-8 view
  uint64_t last_char_ = 0;  // the same place in characters
  // The lowest lead byte of a character that only the result's kind can hold, when that
  // kind comes from the text alone (256 otherwise); a replaced span holding one may leave
  // the result narrower than its kind.
  unsigned top_lead_ = 256;
  bool top_replaced_ = false;
  std::optional<PyError> error_;
};

// The generic road: match_scan with `matcher`, zero-width hits dropped, every other hit
// replaced; the empty text gives the empty str without trying the matcher. The stretches
// between replaced spans are copied into the new str, so they must hold whole characters: a
// hit that starts inside a multi-byte character is not replaced, and one that ends inside a
// character is replaced up to that character's end (take_whole_characters, the rule
// search_string applies to the same hits). A scan stopped by the stack guard raises
// nesting_too_deep_error: no partly rewritten text is returned.
template <ScanMatcher M>
[[nodiscard]] PyResult<PyRef> transform_matches(const M& matcher, const Argument& s,
                                                const Argument& replacement) noexcept {
  if (s.text.empty()) return new_str({});
  const char* text = s.text.data();
  const uint64_t n = s.text.size();
  Rewriter out(s, replacement);
  const ScanEnd scan = match_scan(matcher, text, n, [&](uint64_t start, uint64_t end) noexcept {
    if (end <= start || !take_whole_characters(text, n, start, &end)) return;
    out.replace(start, end);
  });
  if (!scan.complete()) return nesting_too_deep_error(scan.position);
  return out.finish();
}

// The transform_string body of class C (args[0] is `s`, args[1] `replacement`): the generic
// road with C's own try_match_at, called on the final type without dispatch, unless C has a
// road of its own below. Always a new str (never `s` itself); a text without matches gives a
// copy.
template <ClassId C>
[[nodiscard]] PyResult<PyRef> transform_string(PyObject* self, const CallArgs& args) noexcept {
  return transform_matches(class_element<C>(self), args[0], args[1]);
}

// The roads of their own (transform_string.cpp):
//   - Word: the generic road's result, with the byte tables built in;
//   - Literal: the occurrences of the literal, left to right, never overlapping; an empty
//     literal replaces nothing;
//   - Regex: the matches of the library's iteration with the unanchored expression over the
//     whole text, empty matches included (the empty text too).
template <>
[[nodiscard]] PyResult<PyRef> transform_string<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> transform_string<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept;
template <>
[[nodiscard]] PyResult<PyRef> transform_string<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept;

}  // namespace vantorel::py
