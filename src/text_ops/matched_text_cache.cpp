// The open-addressing table of MatchedTextCache: probing, growth and release.
#include "text_ops/matched_text_cache.hpp"

#include <new>

#include "elements/fatal.hpp"

namespace vantorel::py {

MatchedTextCache::~MatchedTextCache() {
  for (uint64_t i = 0; i < capacity_; ++i) Py_XDECREF(slots_[i].value);
  delete[] slots_;
}

PyObject*& MatchedTextCache::slot(std::string_view bytes) noexcept {
  if ((size_ + 1) * 2 > capacity_) grow();
  const uint64_t hash = fx_hash(bytes);
  const uint64_t mask = capacity_ - 1;
  for (uint64_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& s = slots_[i];
    if (s.data == nullptr) {
      s.data = bytes.data();
      s.length = bytes.size();
      s.hash = hash;
      ++size_;
      return s.value;
    }
    if (s.hash == hash && s.length == bytes.size() && std::memcmp(s.data, bytes.data(), bytes.size()) == 0) {
      return s.value;
    }
  }
}

void MatchedTextCache::grow() noexcept {
  const uint64_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
  Slot* slots = new (std::nothrow) Slot[capacity];
  VANTOREL_CHECK(slots != nullptr, "out of memory growing a matched-text cache");
  const uint64_t mask = capacity - 1;
  for (uint64_t i = 0; i < capacity_; ++i) {
    const Slot& s = slots_[i];
    if (s.data == nullptr) continue;
    uint64_t j = s.hash & mask;
    while (slots[j].data != nullptr) j = (j + 1) & mask;
    slots[j] = s;
  }
  delete[] slots_;
  slots_ = slots;
  capacity_ = capacity;
}

}  // namespace vantorel::py
