// parse_batch_count: the counting steps, written once as a template over the match test,
// the generic drivers over a kind's try_match_at, and right below them the classes whose
// test is built into the steps (with the roads each of them takes). Counting makes no
// Python object before the count is known and runs no Python code, so the inputs it reads
// (batch_frame.hpp) stay as they were for the whole count, and object addresses are safe
// keys throughout.
#include "batch/parse_batch_count.hpp"

#include <string_view>

#include "batch/identity_cache.hpp"
#include "batch/input_pattern.hpp"
#include "batch/match_rules.hpp"

namespace vantorel::py {

namespace {

// Which of the shortcuts a count takes before it falls back on input-by-input testing.
enum class Roads : uint8_t {
  Full,        // uniform test, period, IdentityCache
  NoUniform,   // period (which also covers a uniform list of two or more), IdentityCache
  NoPeriod,    // uniform test, IdentityCache
  LastObject,  // uniform test, then reuse of the previous item's verdict only
};

// The counting steps. `test(text, length)` gives the match at byte 0 of one input; a
// verdict applies only to items that are the same object as the item it was found for, so
// every road gives the count that testing each input would give. A stack-guard stop of the
// test is raised (batch_frame.hpp), never counted as a miss.
template <Roads R, class Test>
PyResult<PyRef> count_inputs(PyObject* inputs, const Test& test) noexcept {
  PyResult<BatchInputs> read = BatchInputs::read(inputs);
  if (!read.ok()) return read.take_error();
  const BatchInputs& in = read.value();
  const size_t n = in.size();
  if (n == 0) return new_int_or_die(0);

  auto evaluate = [&](size_t i, PyObject* object) -> PyResult<bool> {
    PyResult<std::string_view> t = in.text(object, i);
    if (!t.ok()) return t.take_error();
    const Match m = test(t.value().data(), t.value().size());
    if (m.is_too_deep()) return nesting_too_deep_error(0);
    return m.matched;
  };

  if constexpr (R != Roads::NoUniform) {
    if (is_uniform(in.items(), n)) {
      PyResult<bool> v = evaluate(0, in.object(0));
      if (!v.ok()) return v.take_error();
      return new_int_or_die(v.value() ? n : 0);
    }
  }

  if constexpr (R == Roads::Full || R == Roads::NoUniform) {
    const InputPeriod period = detect_input_period(in.items(), n);
    if (period.found()) {
      uint64_t matched = 0;
      for (size_t i = 0; i < period.k; ++i) {
        PyResult<bool> v = evaluate(i, in.object(i));
        if (!v.ok()) return v.take_error();
        matched += v.value() ? 1 : 0;
      }
      return new_int_or_die(matched * period.q);
    }
  }

  uint64_t count = 0;
  if constexpr (R == Roads::LastObject) {
    PyObject* previous = nullptr;
    bool verdict = false;
    for (size_t i = 0; i < n; ++i) {
      PyObject* object = in.object(i);
      if (i == 0 || object == nullptr || object != previous) {
        PyResult<bool> v = evaluate(i, object);
        if (!v.ok()) return v.take_error();
        verdict = v.value();
        previous = object;
      }
      count += verdict ? 1 : 0;
    }
  } else {
    IdentityCache<CountVerdict> cache;
    for (size_t i = 0; i < n; ++i) {
      PyObject* object = in.object(i);
      const auto key = reinterpret_cast<uintptr_t>(object);
      IdentityCache<CountVerdict>::Lookup lookup;
      if (object != nullptr) {
        lookup = cache.find(key);
        if (lookup.hit) {
          count += cache.payload(lookup) == CountVerdict::Matched ? 1 : 0;
          continue;
        }
      }
      PyResult<bool> v = evaluate(i, object);
      if (!v.ok()) return v.take_error();
      if (lookup.slot != IdentityCache<CountVerdict>::kNoSlot) {
        cache.insert(lookup, key, v.value() ? CountVerdict::Matched : CountVerdict::NotMatched);
      }
      count += v.value() ? 1 : 0;
    }
  }
  return new_int_or_die(count);
}

}  // namespace

PyResult<PyRef> batch_count(const ParserElement& element, MatchOperation match, PyObject* inputs) noexcept {
  return count_inputs<Roads::Full>(
      inputs, [&element, match](const char* t, uint64_t m) noexcept { return match(element, t, m, 0); });
}

PyResult<PyRef> batch_count_dyn(const ElementRef& element, PyObject* inputs) noexcept {
  return count_inputs<Roads::Full>(
      inputs, [&element](const char* t, uint64_t m) noexcept { return element->try_match_at(t, m, 0); });
}

// ---- Tests built into the counting steps ---------------------------------------------------

namespace {

constexpr Match verdict(bool matched) noexcept { return matched ? Match::at(0) : Match::none(); }

}  // namespace

// Empty, LineStart, StringStart and Optional: every input matches at byte 0. Each input is
// still read (an item without a text is an error, as everywhere).
PyResult<PyRef> empty_parse_batch_count(PyObject* /*self*/, const CallArgs& args) noexcept {
  return count_inputs<Roads::Full>(args[0].object, [](const char*, uint64_t) noexcept { return Match::at(0); });
}

PyResult<PyRef> no_match_parse_batch_count(PyObject* /*self*/, const CallArgs& args) noexcept {
  return count_inputs<Roads::Full>(args[0].object, [](const char*, uint64_t) noexcept { return Match::none(); });
}

PyResult<PyRef> string_end_parse_batch_count(PyObject* /*self*/, const CallArgs& args) noexcept {
  return count_inputs<Roads::Full>(args[0].object,
                                   [](const char*, uint64_t m) noexcept { return verdict(string_end_counts(m)); });
}

PyResult<PyRef> char_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  const CharElement& c = class_element<ClassId::Char>(self);
  return count_inputs<Roads::Full>(
      args[0].object, [&c](const char* t, uint64_t m) noexcept { return verdict(char_counts(c, t, m)); });
}

PyResult<PyRef> word_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& word = class_element<ClassId::Word>(self);
  return count_inputs<Roads::Full>(
      args[0].object, [&word](const char* t, uint64_t m) noexcept { return verdict(word_counts(word, t, m)); });
}

PyResult<PyRef> regex_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  const RegexElement& regex = class_element<ClassId::Regex>(self);
  return count_inputs<Roads::Full>(
      args[0].object, [&regex](const char* t, uint64_t m) noexcept { return verdict(regex_counts(regex, t, m)); });
}

// And: no uniform test; a uniform list of two or more has the period 1.
PyResult<PyRef> and_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  const AndElement& sequence = class_element<ClassId::And>(self);
  return count_inputs<Roads::NoUniform>(
      args[0].object, [&sequence](const char* t, uint64_t m) noexcept { return and_count_at_start(sequence, t, m); });
}

// Keyword: the uniform test and the IdentityCache, no period test.
PyResult<PyRef> keyword_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  const auto& keyword = static_cast<const KeywordElement&>(*reinterpret_cast<const KeywordObject*>(self)->element);
  return count_inputs<Roads::NoPeriod>(
      args[0].object, [&keyword](const char* t, uint64_t m) noexcept { return keyword.match(t, m, 0); });
}

// Literal: the uniform test, then last-object reuse only.
PyResult<PyRef> literal_parse_batch_count(PyObject* self, const CallArgs& args) noexcept {
  const auto& literal = static_cast<const LiteralElement&>(*reinterpret_cast<const LiteralObject*>(self)->element);
  return count_inputs<Roads::LastObject>(
      args[0].object, [&literal](const char* t, uint64_t m) noexcept { return literal.match(t, m, 0); });
}

}  // namespace vantorel::py
