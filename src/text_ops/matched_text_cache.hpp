// MatchedTextCache: the per-call map from matched bytes to the one Python object made for
// them, so that byte-equal matches share that object within one result.
#pragma once

#include <cstdint>
#include <string_view>

#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "text_ops/open_table.hpp"

namespace vantorel::py {

// Keys are byte strings held in place (a pointer into the call's text and a length; nothing
// is copied, so the text must outlive the cache); two keys are equal when their bytes are.
// Each value is borrowed from the result under construction: every object that get() hands
// out goes straight into that result, which keeps it alive while the cache is asked, and on
// failure the caller returns without asking again. So the cache holds no reference, and
// its end touches none of the objects (a result of many distinct texts would otherwise pay
// one more visit to each object's memory).
class MatchedTextCache {
 public:
  MatchedTextCache() noexcept = default;
  MatchedTextCache(const MatchedTextCache&) = delete;
  MatchedTextCache& operator=(const MatchedTextCache&) = delete;

  // The object stored for `bytes` as a new reference; on a miss `make()` (which returns a
  // PyResult<PyRef>) makes it, and the reference it made is the one returned. make()'s
  // error is returned as it is, and nothing is stored for `bytes`; MemoryError when the
  // cache cannot grow. The caller keeps what it receives alive while it uses the cache.
  template <class Make>
  [[nodiscard]] PyResult<PyRef> get(std::string_view bytes, Make&& make) noexcept {
    bool inserted = false;
    auto* entry = table_.find_or_insert(bytes, &inserted);
    if (entry == nullptr) return PyError::no_memory();
    if (entry->value != nullptr) return PyRef::borrow(entry->value);
    PyResult<PyRef> made = make();
    if (made.ok()) entry->value = made.value().get();
    return made;
  }

  // Makes room ahead for up to `count` distinct texts (the number of matches to be looked
  // up, a bound; see OpenTable::reserve_for_at_most).
  void reserve(uint64_t count) noexcept { table_.reserve_for_at_most(count); }

  // Starts loading the table's memory for a later get(bytes); a hint that changes nothing.
  // Looking keys up in text order, the caller hints a few keys ahead: a table of many
  // distinct texts is larger than the processor's caches, and each lookup would otherwise
  // wait for memory.
  void prefetch(std::string_view bytes) const noexcept { table_.prefetch(bytes); }

  // Number of distinct keys; for tests and sizing.
  [[nodiscard]] uint64_t size() const noexcept { return table_.size(); }

 private:
  OpenTable<std::string_view, PyObject*> table_;  // values borrowed
};

}  // namespace vantorel::py
