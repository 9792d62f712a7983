// parse_batch: the generic road shared by twenty classes, and right below it the roads of
// Literal, Keyword and Suppress (shared hit and miss lists), Word and Regex (a flat list of
// tokens through the period or an identity map) and And (per-input entries for a uniform
// list, interned flat tokens otherwise). Every road is a road of run_batch (batch_frame.hpp):
// it evaluates an input at byte 0 with no leading whitespace skip and recognises repeated
// inputs by object identity alone.
#include "batch/parse_batch.hpp"

#include <optional>
#include <string_view>
#include <vector>

#include "batch/batch_frame.hpp"
#include "batch/match_rules.hpp"
#include "elements/fatal.hpp"
#include "text_ops/open_table.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

namespace {

// The roads whose result has one entry per input: a new list filled in place, repeated at
// the end (the uniform and period roads). An entry remembered for reuse is borrowed from the
// list, which holds it for the call.
class EntryList {
 public:
  [[nodiscard]] PyResult<bool> start(size_t count) noexcept {
    PyResult<PyRef> list = new_list(count);
    if (!list.ok()) return list.take_error();
    list_ = list.take();
    slots_ = reinterpret_cast<PyListObject*>(list_.get())->ob_item;
    return true;
  }
  // Puts the next entry in place, taking over the reference.
  void add(PyRef entry) noexcept { slots_[next_++] = entry.release(); }
  [[nodiscard]] PyResult<PyRef> finish(size_t repeat) noexcept { return repeat_list(std::move(list_), repeat); }

 private:
  PyRef list_;
  PyObject** slots_ = nullptr;  // the list's items, filled in order (the list is this call's own)
  size_t next_ = 0;
};

// The generic road: each entry the tokens of `parse` at byte 0 as a new list, or a new empty
// list when the element fails (its message and position are dropped).
struct GenericRoad : EntryList, Shortcuts<true, true, Reuse::LastObject, true> {
  using Result = PyRef;
  using Kept = PyObject*;

  const ParserElement& element;
  ParseOperation parse;

  [[nodiscard]] PyResult<PyRef> evaluate(PyObject* /*object*/, std::string_view t) const noexcept {
    ParseContext ctx{t.data(), t.size(), 1};
    FlatResults out;
    if (parse(element, ctx, 0, out).matched) return flat_to_list(out);
    if (out.failed_too_deep()) return nesting_too_deep_error(out.error().position);
    return new_list(0);
  }
  [[nodiscard]] static Kept keep(const PyRef& entry) noexcept { return entry.get(); }
  void add_again(Kept entry) noexcept { add(PyRef::borrow(entry)); }
};

}  // namespace

PyResult<PyRef> batch_parse(const ParserElement& element, ParseOperation parse, PyObject* inputs) noexcept {
  GenericRoad road{{}, {}, element, parse};
  return run_batch(inputs, road);
}

// ---- Literal, Keyword and Suppress ------------------------------------------------------

namespace {

// Literal and Keyword: the element's own rule at byte 0 (first byte, then the rest), and
// every entry one of two lists made at the start. The loop makes no object, so on the
// standard build nothing can change the list while it runs.
template <class Element>
struct CachedStrRoad : EntryList, Shortcuts<true, false, Reuse::LastObject, false> {
  using Result = bool;
  using Kept = bool;

  const Element& element;
  PyObject* hit;   // [cached_str], held by the caller
  PyObject* miss;  // [], held by the caller

  [[nodiscard]] PyResult<bool> evaluate(PyObject* /*object*/, std::string_view t) const noexcept {
    return element.match(t.data(), t.size(), 0).matched;
  }
  [[nodiscard]] static Kept keep(bool matched) noexcept { return matched; }
  void add(bool matched) noexcept { EntryList::add(PyRef::borrow(matched ? hit : miss)); }
  void add_again(bool matched) noexcept { add(matched); }
};

template <class Object, class Element>
PyResult<PyRef> cached_str_parse_batch(PyObject* self, const CallArgs& args) noexcept {
  const auto* o = reinterpret_cast<const Object*>(self);
  PyResult<PyRef> hit = list_of_one(PyRef::borrow(o->cached_str));
  if (!hit.ok()) return hit;
  PyResult<PyRef> miss = new_list(0);
  if (!miss.ok()) return miss;
  CachedStrRoad<Element> road{
      {}, {}, static_cast<const Element&>(*o->element), hit.value().get(), miss.value().get()};
  return run_batch(args[0].object, road);  // the creation references of the two lists go with this frame
}

// Suppress: the inner expression's try_match_at at byte 0 decides, input by input (no
// uniform test, period or reuse). A match's entry is the one shared empty list, a failure's
// a new empty list of its own.
struct SuppressRoad : EntryList, Shortcuts<false, false, Reuse::None, true> {
  using Result = PyRef;
  using Kept = PyObject*;

  const ParserElement& inner;
  PyRef shared;  // []

  [[nodiscard]] PyResult<PyRef> evaluate(PyObject* /*object*/, std::string_view t) const noexcept {
    const Match m = inner.try_match_at(t.data(), t.size(), 0);
    if (m.is_too_deep()) return nesting_too_deep_error(0);
    if (m.matched) return PyRef::borrow(shared.get());
    return new_list(0);
  }
  [[nodiscard]] static Kept keep(const PyRef& entry) noexcept { return entry.get(); }
  void add_again(Kept) noexcept {}
};

}  // namespace

template <>
PyResult<PyRef> parse_batch<ClassId::Literal>(PyObject* self, const CallArgs& args) noexcept {
  return cached_str_parse_batch<LiteralObject, LiteralElement>(self, args);
}

template <>
PyResult<PyRef> parse_batch<ClassId::Keyword>(PyObject* self, const CallArgs& args) noexcept {
  return cached_str_parse_batch<KeywordObject, KeywordElement>(self, args);
}

template <>
PyResult<PyRef> parse_batch<ClassId::Suppress>(PyObject* self, const CallArgs& args) noexcept {
  PyResult<PyRef> shared = new_list(0);
  if (!shared.ok()) return shared;
  SuppressRoad road{{}, {}, *class_element<ClassId::Suppress>(self).expr, shared.take()};
  return run_batch(args[0].object, road);
}

// ---- Word and Regex ----------------------------------------------------------------------

namespace {

// The token of an input matched to `end`: the input object itself when the match covers
// it whole (and it is a plain str: a result holds plain strs only), else a new str.
PyResult<PyRef> token_of(PyObject* input, std::string_view t, uint64_t end) noexcept {
  if (end == t.size() && PyUnicode_CheckExact(input)) return PyRef::borrow(input);
  return new_str(t.substr(0, end));
}

// The flat road of Word and Regex: `rule(text, length)` gives the match at byte 0, and the
// result is the list of the matching inputs' tokens. A list with a period is evaluated over
// its period; every other list (one item included) remembers every distinct input object,
// so each is evaluated once.
template <class Rule>
struct FlatTokenRoad : Shortcuts<false, true, Reuse::EveryObject, true> {
  using Result = PyRef;     // the input's token, or empty when the element does not match it
  using Kept = PyObject*;   // borrowed from `tokens`, or nullptr

  Rule rule;
  std::vector<PyRef> tokens;

  [[nodiscard]] PyResult<PyRef> evaluate(PyObject* object, std::string_view t) const noexcept {
    const Match m = rule(t.data(), t.size());
    if (!m.matched) return PyRef();
    return token_of(object, t, m.end);
  }
  [[nodiscard]] PyResult<bool> start(size_t) noexcept { return true; }
  [[nodiscard]] static Kept keep(const PyRef& token) noexcept { return token.get(); }
  void add(PyRef token) noexcept {
    if (token) tokens.push_back(std::move(token));
  }
  void add_again(Kept token) noexcept {
    if (token != nullptr) tokens.push_back(PyRef::borrow(token));
  }
  [[nodiscard]] PyResult<PyRef> finish(size_t repeat) noexcept {
    PyResult<PyRef> run = list_of(tokens);
    if (!run.ok()) return run;
    return repeat_list(run.take(), repeat);
  }
};

template <class Rule>
PyResult<PyRef> flat_token_batch(PyObject* inputs, Rule rule) noexcept {
  FlatTokenRoad<Rule> road{{}, rule, {}};
  return run_batch(inputs, road);
}

}  // namespace

template <>
PyResult<PyRef> parse_batch<ClassId::Word>(PyObject* self, const CallArgs& args) noexcept {
  const WordElement& word = class_element<ClassId::Word>(self);
  return flat_token_batch(args[0].object,
                          [&word](const char* t, uint64_t m) noexcept { return word_at_start(word, t, m); });
}

template <>
PyResult<PyRef> parse_batch<ClassId::Regex>(PyObject* self, const CallArgs& args) noexcept {
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
  // the interpreter's error when it cannot make that string.
  [[nodiscard]] PyResult<uint32_t> intern(PyObject* input, const char* bytes, size_t length) noexcept {
    const std::string_view text(bytes, length);
    bool inserted = false;
    auto* entry = table_.find_or_insert(text, &inserted);
    if (entry == nullptr) return PyError::no_memory();
    if (!inserted) return entry->value;
    VANTOREL_CHECK(strings_.size() < UINT32_MAX, "too many distinct token texts in one batch call");
    PyResult<PyRef> s = new_str(text);
    if (!s.ok()) return s.take_error();  // the call ends with this error
    entry->value = static_cast<uint32_t>(strings_.size());
    strings_.push_back(s.take());
    if (owners_.empty() || owners_.back().get() != input) owners_.push_back(PyRef::borrow(input));
    return entry->value;
  }

  // The string of index i, borrowed from the table.
  [[nodiscard]] PyObject* string(uint32_t i) const noexcept { return strings_[i].get(); }

 private:
  OpenTable<std::string_view, uint32_t> table_;  // token text -> index in strings_
  std::vector<PyRef> strings_;                   // the string list, in order of creation
  std::vector<PyRef> owners_;                    // inputs whose texts back keys
};

// A new list whose entry j is the string that index entry j names, one reference each.
PyResult<PyRef> strings_named(const TokenInternTable& table, const std::vector<uint32_t>& index) noexcept {
  PyResult<PyRef> list = new_list(index.size());
  if (!list.ok()) return list;
  for (size_t j = 0; j < index.size(); ++j) {
    PyList_SET_ITEM(list.value().get(), static_cast<Py_ssize_t>(j), Py_NewRef(table.string(index[j])));
  }
  return list;
}

// What evaluating one input on the flat And road gives: the verdict, and where its index
// entries begin (they run to the end of the index; a failing input's are cut off).
struct AndVerdict {
  bool matched = false;
  size_t mark = 0;
};

// The run of index entries that an input gave, as the reuse remembers it.
struct RunSlot {
  bool matched = false;
  uint32_t run_offset = 0;  // where the run begins in the run store
  uint32_t run_length = 0;  // index entries in the run
};

// And: the children's try_match_at one after the other from byte 0, with no whitespace
// skipped before any of them; each child's non-empty matched text is one token. A uniform
// list gives one entry per input (new strs, no interning); any other list gives a flat list
// of the tokens of all matching inputs, whose equal texts share one str.
struct AndRoad : Shortcuts<true, true, Reuse::IdentityCache, true> {
  using Result = AndVerdict;
  using Kept = RunSlot;

  const AndElement& sequence;
  TokenInternTable table;
  std::vector<uint32_t> index;  // the flat result as index entries, in input order
  std::vector<uint32_t> runs;   // the run store of the reuse

  // The sequence rule at byte 0 of t (and_sequence_at_start), handing each child's matched
  // text t[b, e) to take(b, e). The verdict, or the first error of take (no later token is
  // taken then), or nesting_too_deep_error for a stack-guard stop.
  template <class Take>
  [[nodiscard]] PyResult<bool> sequence_tokens(std::string_view t, Take&& take) const noexcept {
    std::optional<PyError> failure;
    const Match m = and_sequence_at_start(sequence, t.data(), t.size(), [&](uint64_t b, uint64_t e) {
      if (failure) return;
      PyResult<bool> taken = take(b, e);
      if (!taken.ok()) failure.emplace(taken.take_error());
    });
    if (failure) return std::move(*failure);
    if (m.is_too_deep()) return nesting_too_deep_error(0);
    return m.matched;
  }

  // A uniform list: the one input's tokens as new strs in one entry, repeated n times.
  [[nodiscard]] PyResult<PyRef> uniform(PyObject* /*object*/, std::string_view t, size_t n) const noexcept {
    std::vector<PyRef> tokens;
    PyResult<bool> matched = sequence_tokens(t, [&](uint64_t b, uint64_t e) -> PyResult<bool> {
      PyResult<PyRef> s = new_str(t.substr(b, e - b));
      if (!s.ok()) return s.take_error();
      tokens.push_back(s.take());
      return true;
    });
    if (!matched.ok()) return matched.take_error();
    if (!matched.value()) {
      tokens.clear();  // what a failing input matched before it failed is dropped
    } else if (tokens.empty()) {
      // A match without tokens contributes no entry on the flat roads, which would take
      // this list over: the result is an empty list, without evaluating the input again.
      return new_list(0);
    }
    PyResult<PyRef> entry = list_of(tokens);  // [] for a failing input
    if (!entry.ok()) return entry;
    PyResult<PyRef> run = list_of_one(entry.take());
    if (!run.ok()) return run;
    return repeat_list(run.take(), n);
  }

  // Appends the input's index entries; a failing input's entries are cut off.
  [[nodiscard]] PyResult<AndVerdict> evaluate(PyObject* object, std::string_view t) noexcept {
    const size_t mark = index.size();
    PyResult<bool> matched = sequence_tokens(t, [&](uint64_t b, uint64_t e) -> PyResult<bool> {
      PyResult<uint32_t> entry = table.intern(object, t.data() + b, e - b);
      if (!entry.ok()) return entry.take_error();
      index.push_back(entry.value());
      return true;
    });
    if (!matched.ok()) return matched.take_error();
    if (!matched.value()) index.resize(mark);
    return AndVerdict{matched.value(), mark};
  }
  [[nodiscard]] PyResult<bool> start(size_t) noexcept { return true; }
  [[nodiscard]] RunSlot keep(const AndVerdict& v) noexcept {
    const size_t length = index.size() - v.mark;
    VANTOREL_CHECK(runs.size() + length < UINT32_MAX, "batch run store overflow");
    const RunSlot slot{v.matched, static_cast<uint32_t>(runs.size()), static_cast<uint32_t>(length)};
    runs.insert(runs.end(), index.begin() + static_cast<std::ptrdiff_t>(v.mark), index.end());
    return slot;
  }
  void add(const AndVerdict&) noexcept {}  // evaluate has appended the entries
  void add_again(const RunSlot& s) noexcept {
    if (!s.matched) return;
    const auto run = runs.begin() + s.run_offset;
    index.insert(index.end(), run, run + s.run_length);
  }
  [[nodiscard]] PyResult<PyRef> finish(size_t repeat) noexcept {
    PyResult<PyRef> run = strings_named(table, index);
    if (!run.ok()) return run;
    return repeat_list(run.take(), repeat);
  }
};

}  // namespace

template <>
PyResult<PyRef> parse_batch<ClassId::And>(PyObject* self, const CallArgs& args) noexcept {
  AndRoad road{{}, class_element<ClassId::And>(self), {}, {}, {}};
  return run_batch(args[0].object, road);
}

}  // namespace vantorel::py
