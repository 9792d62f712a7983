// MatchedTextCache: the per-call map from matched bytes to the one Python object made for
// them, so that byte-equal matches share that object within one result.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "construction/py_ref.hpp"

namespace vantorel::py {

// FxHash over a byte string: eight bytes at a time, then four, two and one; each step
// rotates the state left by 5, mixes in the little-endian word and multiplies by the Fx
// constant. Fast and good enough for a per-call map; never seen by Python.
[[nodiscard]] inline uint64_t fx_hash(std::string_view bytes) noexcept {
  constexpr uint64_t kSeed = 0x517cc1b727220a95ULL;
  uint64_t h = 0;
  const char* p = bytes.data();
  size_t n = bytes.size();
  const auto mix = [&h](uint64_t word) { h = ((h << 5) | (h >> 59)) ^ word; h *= kSeed; };
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    mix(w);
  }
  if (n >= 4) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    mix(w);
    p += 4;
    n -= 4;
  }
  if (n >= 2) {
    uint16_t w;
    std::memcpy(&w, p, 2);
    mix(w);
    p += 2;
    n -= 2;
  }
  if (n >= 1) mix(static_cast<unsigned char>(*p));
  return h;
}

// Keys are byte strings held in place (a pointer into the call's text and a length; nothing
// is copied, so the text must outlive the cache); two keys are equal when their bytes are.
// Each value is one reference owned by the cache, released with the cache on every path.
// Nothing is allocated until the first insertion; the table grows without bound (open
// addressing, linear probing, at most half full).
class MatchedTextCache {
 public:
  MatchedTextCache() noexcept = default;
  MatchedTextCache(const MatchedTextCache&) = delete;
  MatchedTextCache& operator=(const MatchedTextCache&) = delete;
  ~MatchedTextCache();

  // The object stored for `bytes` as a new reference; on a miss `make()` (which returns a
  // PyRef and must not fail) makes it and the cache keeps one reference of its own.
  template <class Make>
  [[nodiscard]] PyRef get(std::string_view bytes, Make&& make) noexcept {
    PyObject*& value = slot(bytes);
    if (value == nullptr) value = make().release();
    return PyRef::borrow(value);
  }

  // Number of distinct keys; for tests and sizing.
  [[nodiscard]] uint64_t size() const noexcept { return size_; }

 private:
  struct Slot {
    const char* data = nullptr;  // nullptr: empty slot
    uint64_t length = 0;         // bytes
    uint64_t hash = 0;
    PyObject* value = nullptr;   // owned
  };

  // The value cell for `bytes`, entered (with nullptr) when absent.
  PyObject*& slot(std::string_view bytes) noexcept;
  void grow() noexcept;

  Slot* slots_ = nullptr;  // capacity_ slots, or nullptr before the first insertion
  uint64_t capacity_ = 0;  // a power of two
  uint64_t size_ = 0;
};

}  // namespace vantorel::py
