// parse_batch_count: the counting road of run_batch (batch_frame.hpp), written once over the
// match test, the generic road over a kind's try_match_at, and right below it the classes
// whose test is built into the counting steps (with the shortcuts each of them takes).
// Counting makes no Python object before the count is known and runs no Python code, so the
// inputs it reads stay as they were for the whole count, and object addresses are safe keys
// throughout.
#include "batch/parse_batch_count.hpp"

#include <string_view>

#include "batch/batch_frame.hpp"
#include "batch/match_rules.hpp"

namespace vantorel::py {

namespace {

// The counting road: `test(text, length)` gives the match at byte 0 of one input. A stack-
// guard stop of the test is raised, never counted as a miss. The shortcuts are the
// template's: all of them by default.
template <class Test, bool Uniform = true, bool Period = true, Reuse R = Reuse::IdentityCache>
struct CountRoad : Shortcuts<Uniform, Period, R, false> {
  using Result = bool;
  using Kept = bool;

  Test test;
  uint64_t count = 0;

  [[nodiscard]] PyResult<bool> evaluate(PyObject* /*object*/, std::string_view t) const noexcept {
    const Match m = test(t.data(), t.size());
    if (m.is_too_deep()) return nesting_too_deep_error(0);
    return m.matched;
  }
  [[nodiscard]] PyResult<bool> start(size_t) noexcept { return true; }
  [[nodiscard]] static Kept keep(bool matched) noexcept { return matched; }
  void add(bool matched) noexcept { count += matched ? 1 : 0; }
  void add_again(bool matched) noexcept { add(matched); }
  [[nodiscard]] PyResult<PyRef> finish(size_t repeat) noexcept { return new_int(count * repeat); }
};

template <bool Uniform = true, bool Period = true, Reuse R = Reuse::IdentityCache, class Test>
PyResult<PyRef> count_inputs(PyObject* inputs, Test test) noexcept {
  CountRoad<Test, Uniform, Period, R> road{{}, test};
  return run_batch(inputs, road);
}

constexpr Match verdict(bool matched) noexcept { return matched ? Match::at(0) : Match::none(); }

// Empty, LineStart, StringStart and Optional: every input matches at byte 0. Each input is
// still read (an item without a text is an error, as everywhere).
PyResult<PyRef> count_every_input(const CallArgs& args) noexcept {
  return count_inputs(args[0].object, [](const char*, uint64_t) noexcept { return Match::at(0); });
}

// Group and Suppress: the count of their inner expression, through the handle's table.
PyResult<PyRef> count_inner(const ElementRef& inner, const CallArgs& args) noexcept {
  return count_inputs(args[0].object,
                      [&inner](const char* t, uint64_t m) noexcept { return inner->try_match_at(t, m, 0); });
}

}  // namespace

PyResult<PyRef> batch_count(const ParserElement& element, MatchOperation match, PyObject* inputs) noexcept {
  return count_inputs(inputs,
                      [&element, match](const char* t, uint64_t m) noexcept { return match(element, t, m, 0); });
}

// ---- Tests built into the counting steps ---------------------------------------------------

template <>
PyResult<PyRef> parse_batch_count<ClassId::Empty>(PyObject*, const CallArgs& args) noexcept {
  return count_every_input(args);
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::LineStart>(PyObject*, const CallArgs& args) noexcept {
  return count_every_input(args);
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::StringStart>(PyObject*, const CallArgs& args) noexcept {
  return count_every_input(args);
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::Optional>(PyObject*, const CallArgs& args) noexcept {
  return count_every_input(args);
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::NoMatch>(PyObject*, const CallArgs& args) noexcept {
  return count_inputs(args[0].object, [](const char*, uint64_t) noexcept { return Match::none(); });
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::StringEnd>(PyObject*, const CallArgs& args) noexcept {
  return count_inputs(args[0].object, [](const char*, uint64_t m) noexcept { return verdict(string_end_counts(m)); });
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::Char>(PyObject* self, const CallArgs& args) noexcept {
  const CharElement& c = class_element<ClassId::Char>(self);
  return count_inputs(args[0].object,
                      [&c](const char* t, uint64_t m) noexcept { return verdict(char_counts(c, t, m)); });
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& word = class_element<ClassId::Word>(self);
  return count_inputs(args[0].object,
                      [&word](const char* t, uint64_t m) noexcept { return verdict(word_counts(word, t, m)); });
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept {
  const RegexElement& regex = class_element<ClassId::Regex>(self);
  return count_inputs(args[0].object,
                      [&regex](const char* t, uint64_t m) noexcept { return verdict(regex_counts(regex, t, m)); });
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::Group>(PyObject* self, const CallArgs& args) noexcept {
  return count_inner(class_element<ClassId::Group>(self).expr, args);
}

template <>
PyResult<PyRef> parse_batch_count<ClassId::Suppress>(PyObject* self, const CallArgs& args) noexcept {
  return count_inner(class_element<ClassId::Suppress>(self).expr, args);
}

// And: its own try_match_at at 0 (the whitespace rule of child_start before every child, the
// first included). No uniform test: a uniform list of two or more has the period 1.
template <>
PyResult<PyRef> parse_batch_count<ClassId::And>(PyObject* self, const CallArgs& args) noexcept {
  const AndElement& sequence = class_element<ClassId::And>(self);
  return count_inputs<false>(args[0].object, [&sequence](const char* t, uint64_t m) noexcept {
    return sequence.AndElement::try_match_at(t, m, 0);
  });
}

// Keyword: the uniform test and the IdentityCache, no period test.
template <>
PyResult<PyRef> parse_batch_count<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept {
  const KeywordElement& keyword = class_element<ClassId::Keyword>(self);
  return count_inputs<true, false>(args[0].object,
                                   [&keyword](const char* t, uint64_t m) noexcept { return keyword.match(t, m, 0); });
}

// Literal: the uniform test, then the reuse of the previous item's verdict only.
template <>
PyResult<PyRef> parse_batch_count<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept {
  const LiteralElement& literal = class_element<ClassId::Literal>(self);
  return count_inputs<true, false, Reuse::LastObject>(
      args[0].object, [&literal](const char* t, uint64_t m) noexcept { return literal.match(t, m, 0); });
}

}  // namespace vantorel::py
