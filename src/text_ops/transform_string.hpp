// transform_string(s, replacement) of every class: a new str in which every match of the
// element is replaced by the replacement, inserted literally. 23 classes share the generic
// road over match_scan; Word, Literal and Regex have roads of their own.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "construction/call_frame.hpp"
#include "construction/class_element.hpp"
#include "text_ops/match_scan.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

// The output of one call: the text with the replaced spans, given in increasing order and
// never overlapping, swapped for the replacement; one buffer, then one str. A buffer that
// cannot grow (a long text with a long replacement) makes finish() raise MemoryError.
class Rewriter {
 public:
  Rewriter(std::string_view text, std::string_view replacement) noexcept : text_(text), replacement_(replacement) {
    grow([&] { out_.reserve(text.size()); });
  }

  // Replaces text[start, end); start is at or after the end of the previous span.
  void replace(uint64_t start, uint64_t end) noexcept {
    grow([&] {
      out_.append(text_.data() + last_, start - last_);
      out_.append(replacement_);
    });
    last_ = end;
  }

  // The new str: what was written, then the rest of the text.
  [[nodiscard]] PyResult<PyRef> finish() noexcept {
    grow([&] { out_.append(text_.data() + last_, text_.size() - last_); });
    if (failed_) return PyError::no_memory();
    return new_str(out_);
  }

 private:
  // Runs `step` on the buffer unless a step has failed; the standard library's allocation
  // failure (bad_alloc, length_error) marks the call failed instead of leaving this class.
  template <class Step>
  void grow(Step&& step) noexcept {
    if (failed_) return;
    try {
      step();
    } catch (const std::exception&) {
      failed_ = true;
    }
  }

  std::string_view text_;
  std::string_view replacement_;
  std::string out_;
  uint64_t last_ = 0;  // where the next unchanged stretch begins
  bool failed_ = false;
};

// The generic road: match_scan with `matcher`, zero-width hits dropped, every other hit
// replaced; the empty text gives the empty str without trying the matcher. The stretches
// between replaced spans are copied into the new str, so they must hold whole characters: a
// hit that starts inside a multi-byte character is not replaced, and one that ends inside a
// character is replaced up to that character's end (take_whole_characters, the rule
// search_string applies to the same hits). A scan stopped by the stack guard raises
// nesting_too_deep_error: no partly rewritten text is returned.
template <ScanMatcher M>
[[nodiscard]] PyResult<PyRef> transform_matches(const M& matcher, std::string_view s,
                                                std::string_view replacement) noexcept {
  if (s.empty()) return new_str({});
  const char* text = s.data();
  const uint64_t n = s.size();
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
  return transform_matches(class_element<C>(self), args[0].text, args[1].text);
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
