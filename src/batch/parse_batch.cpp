// parse_batch: the generic road shared by twenty classes, and right below it the roads of
// Literal, Keyword and Suppress (shared hit and miss lists), Word and Regex (a flat list of
// tokens through the period or an identity map) and And (per-input entries for a uniform
// list, interned flat tokens otherwise). Every road evaluates an input at byte 0 with no
// leading whitespace skip and recognises repeated inputs by object identity alone.
#include "batch/parse_batch.hpp"

#include <bit>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "batch/identity_cache.hpp"
#include "batch/input_pattern.hpp"
#include "batch/match_rules.hpp"
#include "elements/fatal.hpp"
#include "text_ops/matched_text_cache.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

namespace {

// One input on the generic road: its tokens as a new list, or a new empty list when the
// element fails (its message and position are dropped).
PyResult<PyRef> parse_or_empty_list(const ParserElement& element, ParseOperation parse, std::string_view t) noexcept {
  ParseContext ctx{t.data(), t.size(), 1};
  FlatResults out;
  if (!parse(element, ctx, 0, out).matched) {
    if (out.failed_too_deep()) return nesting_too_deep_error(out.error().position);
    return new_list(0);
  }
  return flat_to_list(out);
}

// A one-entry list holding `item` (moved in).
PyResult<PyRef> run_of_one(PyRef item) noexcept {
  PyResult<PyRef> run = new_list(1);
  if (run.ok()) PyList_SET_ITEM(run.value().get(), 0, item.release());
  return run;
}

// A new str of token bytes the batch roads cut themselves (whole characters), or the
// interpreter's error: exhausted memory for a token raises MemoryError from the call instead
// of ending the process.
PyResult<PyRef> token_str(std::string_view bytes) noexcept {
  PyRef s = PyRef::steal(PyUnicode_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
  if (!s) return PyError::fetch();
  return s;
}

// A new list of `items` in order, the references moved in.
PyResult<PyRef> list_of(std::vector<PyRef>& items) noexcept {
  PyResult<PyRef> list = new_list(items.size());
  if (!list.ok()) return list;
  for (size_t i = 0; i < items.size(); ++i) {
    PyList_SET_ITEM(list.value().get(), static_cast<Py_ssize_t>(i), items[i].release());
  }
  return list;
}

}  // namespace

PyResult<PyRef> batch_parse(const ParserElement& element, ParseOperation parse, PyObject* inputs) noexcept {
  PyResult<BatchInputs> read = BatchInputs::read(inputs);
  if (!read.ok()) return read.take_error();
  const BatchInputs& in = read.value();
  const size_t n = in.size();
  if (n == 0) return new_list(0);

  auto evaluate = [&](size_t i, PyObject* object) -> PyResult<PyRef> {
    PyResult<std::string_view> t = in.text(object, i);
    if (!t.ok()) return t.take_error();
    return parse_or_empty_list(element, parse, t.value());
  };

  // The output list of n slots is made only on the road that fills it: the uniform and
  // period roads build their result by repetition instead.
  if (is_uniform(in.items(), n)) {
    PyResult<PyRef> r = evaluate(0, in.object(0));
    if (!r.ok()) return r;
    PyResult<PyRef> run = run_of_one(r.take());
    if (!run.ok()) return run;
    return repeat_run(run.take(), n);
  }

  // Every period item is evaluated on its own, also when two of them are one object.
  const InputPeriod period = detect_input_period(in.items(), n);
  if (period.found()) {
    PyResult<PyRef> run = new_list(period.k);
    if (!run.ok()) return run;
    for (size_t i = 0; i < period.k; ++i) {
      PyResult<PyRef> r = evaluate(i, in.object(i));
      if (!r.ok()) return r;
      PyList_SET_ITEM(run.value().get(), static_cast<Py_ssize_t>(i), r.take().release());
    }
    return repeat_run(run.take(), period.q);
  }

  // Last-object reuse. The previous item is held while the next ones are read, so that no
  // other object can come to live at its address within the call.
  PyResult<PyRef> out = new_list(n);
  if (!out.ok()) return out;
  PyObject* const list = out.value().get();
  PyRef previous;
  PyObject* previous_result = nullptr;  // borrowed from the output list
  for (size_t i = 0; i < n; ++i) {
    PyObject* object = in.object(i);
    if (object != nullptr && object == previous.get()) {
      Py_INCREF(previous_result);
      PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), previous_result);
      continue;
    }
    PyResult<PyRef> r = evaluate(i, object);
    if (!r.ok()) return r;
    previous_result = r.value().get();
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), r.take().release());
    previous = PyRef::borrow(object);
  }
  return out;
}

// ---- Literal, Keyword and Suppress ------------------------------------------------------

namespace {

// Literal and Keyword: the element's own rule at byte 0 (first byte, then the rest), and
// every entry one of two lists made at the start. The loop makes no object, so on the
// standard build nothing can change the list while it runs and the previous item's address
// is safe to compare (a free-threaded build reads a snapshot that holds every item).
template <class Object, class Element>
PyResult<PyRef> cached_str_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const Object*>(self);
  const auto& element = static_cast<const Element&>(*o->element);
  PyResult<PyRef> hit = run_of_one(PyRef::borrow(o->cached_str));
  if (!hit.ok()) return hit;
  PyResult<PyRef> miss = new_list(0);
  if (!miss.ok()) return miss;

  PyResult<BatchInputs> read = BatchInputs::read(args[0].object);
  if (!read.ok()) return read.take_error();
  const BatchInputs& in = read.value();
  const size_t n = in.size();
  if (n == 0) return new_list(0);
  auto test = [&](size_t i, PyObject* object) -> PyResult<bool> {
    PyResult<std::string_view> t = in.text(object, i);
    if (!t.ok()) return t.take_error();
    return element.match(t.value().data(), t.value().size(), 0).matched;
  };
  auto entry = [&](bool matched) { return PyRef::borrow((matched ? hit : miss).value().get()); };

  if (is_uniform(in.items(), n)) {
    PyResult<bool> v = test(0, in.object(0));
    if (!v.ok()) return v.take_error();
    PyResult<PyRef> run = run_of_one(entry(v.value()));
    if (!run.ok()) return run;
    return repeat_run(run.take(), n);
  }

  PyResult<PyRef> out = new_list(n);
  if (!out.ok()) return out;
  PyObject* previous = nullptr;
  bool verdict = false;
  for (size_t i = 0; i < n; ++i) {
    PyObject* object = in.object(i);
    if (i == 0 || object == nullptr || object != previous) {
      PyResult<bool> v = test(i, object);
      if (!v.ok()) return v.take_error();
      verdict = v.value();
      previous = object;
    }
    PyList_SET_ITEM(out.value().get(), static_cast<Py_ssize_t>(i), entry(verdict).release());
  }
  return out;  // the creation references of the hit and miss lists go with this frame
}

}  // namespace

PyResult<PyRef> literal_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  return cached_str_parse_batch<LiteralObject, LiteralElement>(self, args);
}

PyResult<PyRef> keyword_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  return cached_str_parse_batch<KeywordObject, KeywordElement>(self, args);
}

// Suppress: the inner expression's try_match_at at byte 0 decides, input by input (no
// uniform test, period or reuse). A match's entry is the one shared empty list, a failure's
// a new empty list of its own.
PyResult<PyRef> suppress_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  const ElementRef& inner = class_element<ClassId::Suppress>(self).expr;
  PyResult<PyRef> shared = new_list(0);
  if (!shared.ok()) return shared;
  PyResult<BatchInputs> read = BatchInputs::read(args[0].object);
  if (!read.ok()) return read.take_error();
  const BatchInputs& in = read.value();
  const size_t n = in.size();
  if (n == 0) return shared;
  PyResult<PyRef> out = new_list(n);
  if (!out.ok()) return out;
  for (size_t i = 0; i < n; ++i) {
    PyResult<std::string_view> t = in.text(in.object(i), i);
    if (!t.ok()) return t.take_error();
    const Match m = inner->try_match_at(t.value().data(), t.value().size(), 0);
    if (m.is_too_deep()) return nesting_too_deep_error(0);
    PyRef entry;
    if (m.matched) {
      entry = PyRef::borrow(shared.value().get());
    } else {
      PyResult<PyRef> own = new_list(0);
      if (!own.ok()) return own;
      entry = own.take();
    }
    PyList_SET_ITEM(out.value().get(), static_cast<Py_ssize_t>(i), entry.release());
  }
  return out;
}

// ---- Word and Regex ----------------------------------------------------------------------

namespace {

// The outcome of every distinct input object of one call: its token, or none. The hash of
// an address is one multiply and a rotate; open addressing, at most half full. Every entry
// holds a reference to its input and to its token, given back when the map goes: a token
// stays alive while the map can hand it out, and no other object can take an input's
// address within the call.
class IdentityTokenMap {
 public:
  IdentityTokenMap() noexcept = default;
  IdentityTokenMap(const IdentityTokenMap&) = delete;
  IdentityTokenMap& operator=(const IdentityTokenMap&) = delete;
  ~IdentityTokenMap() {
    for (const Slot& s : slots_) {
      if (s.key != nullptr) {
        Py_XDECREF(s.token);
        Py_DECREF(s.key);
      }
    }
  }

  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }

  // True when `key` is mapped; *token is then its token (borrowed) or nullptr for none.
  [[nodiscard]] bool find(PyObject* key, PyObject** token) const noexcept {
    if (slots_.empty()) return false;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash(key) & mask;; i = (i + 1) & mask) {
      if (slots_[i].key == key) {
        *token = slots_[i].token;
        return true;
      }
      if (slots_[i].key == nullptr) return false;
    }
  }

  // Maps `key` (not yet mapped) to `token` (nullptr for none), taking a reference to each.
  void insert(PyObject* key, PyObject* token) noexcept {
    if (2 * (size_ + 1) > slots_.size()) grow();
    place(key, token);
    Py_INCREF(key);
    Py_XINCREF(token);
    ++size_;
  }

 private:
  struct Slot {
    PyObject* key = nullptr;
    PyObject* token = nullptr;
  };

  static size_t hash(const PyObject* p) noexcept {
    return static_cast<size_t>(std::rotl(reinterpret_cast<uintptr_t>(p) * uint64_t{0xf1357aea2e62a9c5}, 26));
  }
  void place(PyObject* key, PyObject* token) noexcept {
    const size_t mask = slots_.size() - 1;
    size_t i = hash(key) & mask;
    while (slots_[i].key != nullptr) i = (i + 1) & mask;
    slots_[i] = {key, token};
  }
  void grow() noexcept {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : 2 * old.size(), Slot{});
    for (const Slot& s : old) {
      if (s.key != nullptr) place(s.key, s.token);
    }
  }

  std::vector<Slot> slots_;  // size a power of two, or empty
  size_t size_ = 0;
};

// The token of an input matched to `end`: the input object itself when the match covers
// it whole (and it is a plain str: a result holds plain strs only), else a new str.
PyResult<PyRef> token_of(PyObject* input, std::string_view t, uint64_t end) noexcept {
  if (end == t.size() && PyUnicode_CheckExact(input)) return PyRef::borrow(input);
  return token_str(t.substr(0, end));
}

// The flat road of Word and Regex: `rule(text, length)` gives the match at byte 0. A list
// with a period is evaluated over its period; every other list (one item included) goes
// through the identity map, which evaluates each distinct input object once.
template <class Rule>
PyResult<PyRef> flat_token_batch(PyObject* inputs, const Rule& rule) noexcept {
  PyResult<BatchInputs> read = BatchInputs::read(inputs);
  if (!read.ok()) return read.take_error();
  const BatchInputs& in = read.value();
  const size_t n = in.size();
  if (n == 0) return new_list(0);

  // The input's token, or an empty handle when the element does not match it.
  auto evaluate = [&](size_t i, PyObject* object) -> PyResult<PyRef> {
    PyResult<std::string_view> t = in.text(object, i);
    if (!t.ok()) return t.take_error();
    const Match m = rule(t.value().data(), t.value().size());
    if (!m.matched) return PyRef();
    return token_of(object, t.value(), m.end);
  };

  if (n >= 2) {
    const InputPeriod period = detect_input_period(in.items(), n);
    if (period.found()) {
      std::vector<PyRef> tokens;  // P: the matching period items' tokens, in order
      tokens.reserve(period.k);
      for (size_t i = 0; i < period.k; ++i) {
        PyResult<PyRef> token = evaluate(i, in.object(i));
        if (!token.ok()) return token;
        if (token.value()) tokens.push_back(token.take());
      }
      if (tokens.empty()) return new_list(0);
      PyResult<PyRef> run = list_of(tokens);
      if (!run.ok()) return run;
      return repeat_run(run.take(), period.q);
    }
  }

  IdentityTokenMap map;
  std::vector<PyRef> out;
  for (size_t i = 0; i < n; ++i) {
    PyObject* object = in.object(i);
    PyObject* known = nullptr;
    if (object != nullptr && !map.empty() && map.find(object, &known)) {
      if (known != nullptr) out.push_back(PyRef::borrow(known));
      continue;
    }
    PyResult<PyRef> token = evaluate(i, object);
    if (!token.ok()) return token;
    map.insert(object, token.value().get());
    if (token.value()) out.push_back(token.take());
  }
  return list_of(out);
}

}  // namespace

PyResult<PyRef> word_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& word = class_element<ClassId::Word>(self);
  return flat_token_batch(args[0].object,
                          [&word](const char* t, uint64_t m) noexcept { return word_at_start(word, t, m); });
}

PyResult<PyRef> regex_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  const RegexElement& regex = class_element<ClassId::Regex>(self);
  return flat_token_batch(args[0].object,
                          [&regex](const char* t, uint64_t m) noexcept { return regex_at_start(regex, t, m); });
}

// ---- And ---------------------------------------------------------------------------------

namespace {

// The strings of one call's flat result, one per distinct token text, and the table from a
// text to its string's index. A key is the token's bytes in place in its input's text; the
// table holds a reference to every input whose text backs a key, so the bytes stay valid
// for the call. The first occurrence of a text decides its string object.
class TokenInternTable {
 public:
  // The index of the string for bytes[0, length) of `input`'s text, made on first sight;
  // the interpreter's error when it cannot make that string (the table is left as it was).
  [[nodiscard]] PyResult<uint32_t> intern(PyObject* input, const char* bytes, size_t length) noexcept {
    if (2 * (strings_.size() + 1) > slots_.size()) grow();
    const uint64_t h = fx_hash(std::string_view(bytes, length));
    const size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(h) & mask;
    for (; slots_[i].used; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.hash == h && s.length == length && std::memcmp(s.bytes, bytes, length) == 0) return s.index;
    }
    VANTOREL_CHECK(strings_.size() < UINT32_MAX, "too many distinct token texts in one batch call");
    const auto index = static_cast<uint32_t>(strings_.size());
    PyResult<PyRef> s = token_str(std::string_view(bytes, length));
    if (!s.ok()) return s.take_error();
    strings_.push_back(s.take());
    slots_[i] = {bytes, length, h, index, true};
    if (owners_.empty() || owners_.back().get() != input) owners_.push_back(PyRef::borrow(input));
    return index;
  }

  // The string of index i, borrowed from the table.
  [[nodiscard]] PyObject* string(uint32_t i) const noexcept { return strings_[i].get(); }

 private:
  struct Slot {
    const char* bytes = nullptr;
    size_t length = 0;
    uint64_t hash = 0;
    uint32_t index = 0;
    bool used = false;
  };
  void grow() noexcept {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : 2 * old.size(), Slot{});
    const size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
      if (!s.used) continue;
      size_t i = static_cast<size_t>(s.hash) & mask;
      while (slots_[i].used) i = (i + 1) & mask;
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;      // size a power of two, at most half used
  std::vector<PyRef> strings_;   // the string list, in order of creation
  std::vector<PyRef> owners_;    // inputs whose texts back keys
};

// The payload of the identity road: the input's verdict and its run of index entries.
struct RunSlot {
  uint8_t matched = 0;
  uint32_t run_offset = 0;  // where the run begins in the run store
  uint32_t run_length = 0;  // index entries in the run
};

// A new list whose entry j is the string that index entry j names, one reference each.
PyResult<PyRef> strings_named(const TokenInternTable& table, const std::vector<uint32_t>& index) noexcept {
  PyResult<PyRef> list = new_list(index.size());
  if (!list.ok()) return list;
  for (size_t j = 0; j < index.size(); ++j) {
    PyObject* s = table.string(index[j]);
    Py_INCREF(s);
    PyList_SET_ITEM(list.value().get(), static_cast<Py_ssize_t>(j), s);
  }
  return list;
}

}  // namespace

// And: the children's try_match_at one after the other from byte 0, with no whitespace
// skipped before any of them; each child's non-empty matched text is one token. A uniform
// list gives one entry per input (new strs, no interning); any other list gives a flat
// list of the tokens of all matching inputs, whose equal texts share one str.
PyResult<PyRef> and_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  const AndElement& sequence = class_element<ClassId::And>(self);
  PyResult<BatchInputs> read = BatchInputs::read(args[0].object);
  if (!read.ok()) return read.take_error();
  const BatchInputs& in = read.value();
  const size_t n = in.size();
  if (n == 0) return new_list(0);

  if (is_uniform(in.items(), n)) {
    PyObject* object = in.object(0);
    PyResult<std::string_view> text = in.text(object, 0);
    if (!text.ok()) return text.take_error();
    const std::string_view t = text.value();
    std::vector<PyRef> tokens;
    std::optional<PyError> failure;  // a token that could not be made; no more are tried
    const Match m = and_sequence_at_start(sequence, t.data(), t.size(), [&](uint64_t b, uint64_t e) {
      if (failure) return;
      PyResult<PyRef> s = token_str(t.substr(b, e - b));
      if (s.ok()) {
        tokens.push_back(s.take());
      } else {
        failure.emplace(s.take_error());
      }
    });
    if (failure) return std::move(*failure);
    if (m.is_too_deep()) return nesting_too_deep_error(0);
    if (!m.matched) {
      PyResult<PyRef> empty = new_list(0);
      if (!empty.ok()) return empty;
      PyResult<PyRef> run = run_of_one(empty.take());
      if (!run.ok()) return run;
      return repeat_run(run.take(), n);
    }
    // A match without tokens contributes no entry on the flat roads, which would take
    // this list over: the result is an empty list, without evaluating the input again.
    if (tokens.empty()) return new_list(0);
    PyResult<PyRef> entry = list_of(tokens);
    if (!entry.ok()) return entry;
    PyResult<PyRef> run = run_of_one(entry.take());
    if (!run.ok()) return run;
    return repeat_run(run.take(), n);
  }

  TokenInternTable table;
  std::vector<uint32_t> index;  // the flat result as index entries, in input order
  // Evaluates input i, appending its index entries; a failing input's entries are cut off.
  auto evaluate = [&](size_t i, PyObject* object) -> PyResult<bool> {
    PyResult<std::string_view> text = in.text(object, i);
    if (!text.ok()) return text.take_error();
    const std::string_view t = text.value();
    const size_t mark = index.size();
    std::optional<PyError> failure;  // a string that could not be made; no more are tried
    const Match m = and_sequence_at_start(sequence, t.data(), t.size(), [&](uint64_t b, uint64_t e) {
      if (failure) return;
      PyResult<uint32_t> entry = table.intern(object, t.data() + b, e - b);
      if (entry.ok()) {
        index.push_back(entry.value());
      } else {
        failure.emplace(entry.take_error());
      }
    });
    if (failure) return std::move(*failure);
    if (m.is_too_deep()) return nesting_too_deep_error(0);
    if (!m.matched) index.resize(mark);
    return m.matched;
  };

  const InputPeriod period = detect_input_period(in.items(), n);
  if (period.found()) {
    for (size_t i = 0; i < period.k; ++i) {
      PyResult<bool> v = evaluate(i, in.object(i));
      if (!v.ok()) return v.take_error();
    }
    if (index.empty()) return new_list(0);
    PyResult<PyRef> run = strings_named(table, index);
    if (!run.ok()) return run;
    return repeat_run(run.take(), period.q);
  }

  // The identity road: the first 31 distinct objects are evaluated once and their runs of
  // index entries stored; a later occurrence copies its run. The cached inputs are held
  // so that their addresses stay theirs for the call.
  IdentityCache<RunSlot> cache;
  std::vector<uint32_t> runs;  // the run store
  std::vector<PyRef> cached_inputs;
  for (size_t i = 0; i < n; ++i) {
    PyObject* object = in.object(i);
    const auto key = reinterpret_cast<uintptr_t>(object);
    IdentityCache<RunSlot>::Lookup lookup;
    if (object != nullptr) {
      lookup = cache.find(key);
      if (lookup.hit) {
        const RunSlot& s = cache.payload(lookup);
        if (s.matched != 0) {
          const auto run = runs.begin() + s.run_offset;
          index.insert(index.end(), run, run + s.run_length);
        }
        continue;
      }
    }
    const size_t mark = index.size();
    PyResult<bool> v = evaluate(i, object);
    if (!v.ok()) return v.take_error();
    if (lookup.slot != IdentityCache<RunSlot>::kNoSlot) {
      VANTOREL_CHECK(runs.size() + (index.size() - mark) < UINT32_MAX, "batch run store overflow");
      cache.insert(lookup, key,
                   RunSlot{static_cast<uint8_t>(v.value() ? 1 : 0), static_cast<uint32_t>(runs.size()),
                           static_cast<uint32_t>(index.size() - mark)});
      runs.insert(runs.end(), index.begin() + static_cast<std::ptrdiff_t>(mark), index.end());
      cached_inputs.push_back(PyRef::borrow(object));
    }
  }
  return strings_named(table, index);
}

}  // namespace vantorel::py
