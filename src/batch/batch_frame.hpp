// What every batch method shares on the Python side: the inputs list read in place, the
// text of an item, the errors a batch call raises, and run_batch, the one scaffold of the
// uniform test, the input period and the reuse of results for repeated objects.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "construction/element_object.hpp"
#include "construction/list_snapshot.hpp"
#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "batch/identity_cache.hpp"
#include "batch/input_pattern.hpp"
#include "text_ops/open_table.hpp"
#include "text_ops/token_to_py.hpp"

namespace vantorel::py {

// The inputs list of one batch call, as the call sees it: one state of the list, with
// every item alive and at its address for the whole call.
//
// On the standard build the list is read in place (no copy, no reference to the items):
// the call holds the interpreter lock throughout and runs no Python code (the interpreter
// collects garbage only between bytecodes, so making strs and lists runs no finalizers),
// so no other code can change the list while the call reads it. The readers are written
// so that a change could do no harm all the same: an item is read afresh by index, within
// the list's current length, each time it is needed, and the methods hold a reference to
// every input whose address or text they keep beyond its own evaluation.
//
// On a free-threaded build other threads run alongside the call and may replace, insert
// or remove items at any moment. There the call first takes a ListSnapshot: the item
// pointers copied under the list's critical section, each with a reference of its own.
// The call then works on that one state of the list: its results are those that state
// gives, no item it reads can be freed under it, and no other object can come to live at
// an item's address before the call ends, when the references are given back. The copy is
// one pass over the items, paid only on that build; the standard build keeps its in-place
// reads, so the uniform and period tests stay one pass over the list's own array.
class BatchInputs {
 public:
  // The inputs of the list `list` (borrowed: the frame holds the argument for the call),
  // or the interpreter's error when the snapshot cannot be made (free-threaded build only).
  [[nodiscard]] static PyResult<BatchInputs> read(PyObject* list) noexcept {
#ifdef Py_GIL_DISABLED
    PyResult<ListSnapshot> snapshot = ListSnapshot::take(list);
    if (!snapshot.ok()) return snapshot.take_error();
    return BatchInputs(snapshot.take());
#else
    return BatchInputs(list);
#endif
  }

  // The number of items when the call began.
  [[nodiscard]] size_t size() const noexcept { return n_; }
#ifdef Py_GIL_DISABLED
  // The snapshot's item array, for the identity tests.
  [[nodiscard]] PyObject* const* items() const noexcept { return snapshot_.items(); }
  // Item i of the snapshot (i < size()).
  [[nodiscard]] PyObject* object(size_t i) const noexcept { return snapshot_[i]; }
#else
  // The list's item array, for the identity tests, which make no interpreter call while
  // they read it.
  [[nodiscard]] PyObject* const* items() const noexcept { return reinterpret_cast<PyListObject*>(list_)->ob_item; }
  // Item i as the list holds it now, or nullptr when the list no longer reaches index i.
  [[nodiscard]] PyObject* object(size_t i) const noexcept {
    if (static_cast<Py_ssize_t>(i) >= PyList_GET_SIZE(list_)) return nullptr;
    return PyList_GET_ITEM(list_, static_cast<Py_ssize_t>(i));
  }
#endif
  // The UTF-8 text of item i (`object`, as object(i) gave it), or the error the call
  // raises for it (input_error).
  [[nodiscard, gnu::always_inline]] PyResult<std::string_view> text(PyObject* object, size_t i) const noexcept {
    if (object != nullptr && PyUnicode_Check(object)) {
      Py_ssize_t length = 0;
      const char* bytes = PyUnicode_AsUTF8AndSize(object, &length);
      if (bytes != nullptr) return std::string_view(bytes, static_cast<size_t>(length));
    }
    return input_error(object, i);
  }

 private:
  [[nodiscard]] static PyError input_error(PyObject* object, size_t i) noexcept;

#ifdef Py_GIL_DISABLED
  explicit BatchInputs(ListSnapshot snapshot) noexcept : snapshot_(std::move(snapshot)), n_(snapshot_.size()) {}
  ListSnapshot snapshot_;
#else
  explicit BatchInputs(PyObject* list) noexcept
      : list_(list), n_(static_cast<size_t>(PyList_GET_SIZE(list))) {}
  PyObject* list_;  // borrowed: the frame holds the argument for the call
#endif
  size_t n_;
};

// The rule for items that have no text: a batch call never runs an element over them, and
// raises instead, at the first such item in list order (every item is either evaluated or
// the same object as an evaluated one, so none escapes):
//   - an item that is not a str: TypeError "argument 'inputs': item {i}: '{type}' object
//     is not an instance of 'str'" ('None' is not ... for None);
//   - a str whose UTF-8 form the interpreter cannot make (a lone surrogate): the
//     interpreter's UnicodeEncodeError, unchanged, as parse_string raises for such an `s`;
//   - an index the list no longer reaches (standard build, which reads the list in place):
//     RuntimeError "argument 'inputs': the list changed size during the call".
// Likewise an evaluation that the stack guard stopped raises nesting_too_deep_error
// instead of counting as a failing input, since an evaluation with more stack could have
// matched: at the failure's own position where parse_impl ran, at 0 (where the element
// was run) where only try_match_at did.

// ---------------------------------------------------------------------------------------
// The batch scaffold

// How a batch road reuses the result of an input for a later item that is the same object.
enum class Reuse : uint8_t {
  None,           // every item is evaluated
  LastObject,     // an item that is the previous item's object takes its result
  IdentityCache,  // the first 31 distinct objects are remembered in the IdentityCache
  EveryObject,    // every distinct object is remembered (IdentityMap)
};

// What a road's reuse remembers, one class per Reuse kind, made for the number of items of
// the call: find(object) gives the Kept value
// remembered for the object (nullptr when none); after a find that missed, wants() tells
// whether that object is to be remembered and remember(object, kept) does it. Items the
// list no longer reaches (object nullptr) are never found nor remembered.
//
// A road that makes Python objects while it runs (Hold) has every remembered object held by
// a reference of the memory's own until the call ends, so that no other object can come to
// live at its address meanwhile. A road that makes none runs no code that could change the
// list or free an item, and compares addresses as they are.
template <Reuse R, class Kept, bool Hold>
class ReuseMemory;

template <class Kept, bool Hold>
class ReuseMemory<Reuse::None, Kept, Hold> {
 public:
  explicit ReuseMemory(size_t /*items*/) noexcept {}
  [[nodiscard]] const Kept* find(PyObject*) noexcept { return nullptr; }
  [[nodiscard]] bool wants() const noexcept { return false; }
  void remember(PyObject*, const Kept&) noexcept {}
};

template <class Kept, bool Hold>
class ReuseMemory<Reuse::LastObject, Kept, Hold> {
 public:
  explicit ReuseMemory(size_t /*items*/) noexcept {}
  ReuseMemory(const ReuseMemory&) = delete;
  ReuseMemory& operator=(const ReuseMemory&) = delete;
  ~ReuseMemory() {
    if constexpr (Hold) Py_XDECREF(last_object_);
  }

  [[nodiscard]] const Kept* find(PyObject* object) noexcept {
    return object != nullptr && object == last_object_ ? &last_ : nullptr;
  }
  [[nodiscard]] bool wants() const noexcept { return true; }
  void remember(PyObject* object, const Kept& kept) noexcept {
    if constexpr (Hold) {
      Py_XINCREF(object);
      Py_XDECREF(last_object_);
    }
    last_object_ = object;
    last_ = kept;
  }

 private:
  PyObject* last_object_ = nullptr;  // held when Hold
  Kept last_{};
};

template <class Kept, bool Hold>
class ReuseMemory<Reuse::IdentityCache, Kept, Hold> {
 public:
  explicit ReuseMemory(size_t /*items*/) noexcept {}
  [[nodiscard]] const Kept* find(PyObject* object) noexcept {
    lookup_ = object != nullptr ? cache_.find(reinterpret_cast<uintptr_t>(object)) : Lookup{};
    return lookup_.hit ? &cache_.payload(lookup_) : nullptr;
  }
  [[nodiscard]] bool wants() const noexcept { return lookup_.slot != IdentityCache<Kept>::kNoSlot; }
  void remember(PyObject* object, const Kept& kept) noexcept {
    cache_.insert(lookup_, reinterpret_cast<uintptr_t>(object), kept);
    if constexpr (Hold) held_[cache_.filled() - 1] = PyRef::borrow(object);
  }

 private:
  using Lookup = typename IdentityCache<Kept>::Lookup;
  IdentityCache<Kept> cache_;
  Lookup lookup_;  // of the last find
  std::array<PyRef, IdentityCache<Kept>::kMaxFilled> held_;  // used when Hold
};

template <class Kept, bool Hold>
class ReuseMemory<Reuse::EveryObject, Kept, Hold> {
 public:
  explicit ReuseMemory(size_t items) noexcept : map_(items) {}
  ReuseMemory(const ReuseMemory&) = delete;
  ReuseMemory& operator=(const ReuseMemory&) = delete;
  ~ReuseMemory() {
    if constexpr (Hold) map_.for_each_object([](const void* o) { Py_DECREF(static_cast<PyObject*>(const_cast<void*>(o))); });
  }

  [[nodiscard]] const Kept* find(PyObject* object) noexcept {
    return object != nullptr ? map_.find(object) : nullptr;
  }
  [[nodiscard]] bool wants() const noexcept { return true; }
  void remember(PyObject* object, const Kept& kept) noexcept {
    if (object == nullptr) return;
    map_.remember(object, kept);
    if constexpr (Hold) Py_INCREF(object);
  }

 private:
  IdentityMap<Kept> map_;
};

// The constants every road gives run_batch, as a base class of the road: which shortcuts
// it takes (kUniform, kPeriod, kReuse) and whether it makes Python objects while it
// evaluates or adds (kMakesObjects, see ReuseMemory).
template <bool Uniform, bool Period, Reuse R, bool MakesObjects>
struct Shortcuts {
  static constexpr bool kUniform = Uniform;
  static constexpr bool kPeriod = Period;
  static constexpr Reuse kReuse = R;
  static constexpr bool kMakesObjects = MakesObjects;
};

// run_batch(inputs, road): the one scaffold of every batch method. It reads the list
// (BatchInputs), takes the road's shortcuts in this order and gives the road's result:
//   1. the empty list: road.start(0), then road.finish(1);
//   2. when Road::kUniform and every item is item 0's object: item 0 is evaluated once, and
//      the result is road.uniform(object, text, n) when the road has one, else start(1),
//      add, finish(n);
//   3. when Road::kPeriod and the list has an input period of k items repeated q times: the
//      first k items are evaluated, each on its own (also when two of them are one object),
//      with start(k), add for each, finish(q);
//   4. otherwise start(n) and every item in order: either the result kept for its object
//      (road.add_again) under Road::kReuse (ReuseMemory), or evaluated (road.add, and
//      road.keep for what the reuse remembers), then finish(1).
// Whichever road is taken, the road sees the results that one evaluation per item would
// give.
//
// The road supplies, besides its Shortcuts:
//   Result   what evaluating one item gives;
//   Kept     what the reuse remembers of a Result (a plain value);
//   PyResult<Result> evaluate(PyObject* object, std::string_view text): one item;
//   PyResult<bool> start(size_t count): before the first add of `count` items;
//   Kept keep(const Result&): called before add for a result the reuse remembers;
//   void add(Result&&); void add_again(const Kept&): the next item's result;
//   PyResult<PyRef> finish(size_t repeat): the call's result, the items added repeated
//     `repeat` times (the period's q, or n for a uniform list).
template <class Road>
[[nodiscard]] PyResult<PyRef> run_batch(PyObject* inputs, Road& road) noexcept {
  using Result = typename Road::Result;
  using Kept = typename Road::Kept;
  PyResult<BatchInputs> read = BatchInputs::read(inputs);
  if (!read.ok()) return read.take_error();
  const BatchInputs& in = read.value();
  const size_t n = in.size();

  auto evaluate = [&](size_t i, PyObject* object) -> PyResult<Result> {
    PyResult<std::string_view> text = in.text(object, i);
    if (!text.ok()) return text.take_error();
    return road.evaluate(object, text.value());
  };
  // The first `count` items, each evaluated, repeated `repeat` times.
  auto run_of = [&](size_t count, size_t repeat) -> PyResult<PyRef> {
    PyResult<bool> started = road.start(count);
    if (!started.ok()) return started.take_error();
    for (size_t i = 0; i < count; ++i) {
      PyResult<Result> r = evaluate(i, in.object(i));
      if (!r.ok()) return r.take_error();
      road.add(r.take());
    }
    return road.finish(repeat);
  };

  if (n == 0) return run_of(0, 1);
  if constexpr (Road::kUniform) {
    if (is_uniform(in.items(), n)) {
      if constexpr (requires(PyObject* o, std::string_view t) { road.uniform(o, t, n); }) {
        PyObject* object = in.object(0);
        PyResult<std::string_view> text = in.text(object, 0);
        if (!text.ok()) return text.take_error();
        return road.uniform(object, text.value(), n);
      } else {
        return run_of(1, n);
      }
    }
  }
  if constexpr (Road::kPeriod) {
    const InputPeriod period = detect_input_period(in.items(), n);
    if (period.found()) return run_of(period.k, period.q);
  }

  PyResult<bool> started = road.start(n);
  if (!started.ok()) return started.take_error();
  ReuseMemory<Road::kReuse, Kept, Road::kMakesObjects> memory(n);
  for (size_t i = 0; i < n; ++i) {
    PyObject* object = in.object(i);
    if (const Kept* kept = memory.find(object)) {
      road.add_again(*kept);
      continue;
    }
    PyResult<Result> r = evaluate(i, object);
    if (!r.ok()) return r.take_error();
    if (memory.wants()) memory.remember(object, road.keep(r.value()));
    road.add(r.take());
  }
  return road.finish(1);
}

}  // namespace vantorel::py
