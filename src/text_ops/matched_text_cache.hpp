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
// Each value is one reference owned by the cache, released with the cache on every path.
class MatchedTextCache {
 public:
  MatchedTextCache() noexcept = default;
  MatchedTextCache(const MatchedTextCache&) = delete;
  MatchedTextCache& operator=(const MatchedTextCache&) = delete;
  ~MatchedTextCache() {
    table_.for_each([](auto& entry) { Py_XDECREF(entry.value); });
  }

  // The object stored for `bytes` as a new reference; on a miss `make()` (which returns a
  // PyResult<PyRef>) makes it and the cache keeps one reference of its own. make()'s error
  // is returned as it is, and nothing is stored for `bytes`; MemoryError when the cache
  // cannot grow.
  template <class Make>
  [[nodiscard]] PyResult<PyRef> get(std::string_view bytes, Make&& make) noexcept {
    bool inserted = false;
    auto* entry = table_.find_or_insert(bytes, &inserted);
    if (entry == nullptr) return PyError::no_memory();
    if (entry->value == nullptr) {
      PyResult<PyRef> made = make();
      if (!made.ok()) return made;
      entry->value = made.take().release();
    }
    return PyRef::borrow(entry->value);
  }

  // Number of distinct keys; for tests and sizing.
  [[nodiscard]] uint64_t size() const noexcept { return table_.size(); }

 private:
  OpenTable<std::string_view, PyObject*> table_;  // values owned
};

}  // namespace vantorel::py
