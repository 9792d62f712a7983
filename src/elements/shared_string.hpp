// Immutable, atomically counted byte strings: the messages of elements and the text of
// Str tokens. Copying a SharedString shares the block; nothing is copied.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "elements/fatal.hpp"

namespace vantorel {

class SharedString {
 public:
  // An empty handle: no block, view() is the empty text. Allocates nothing.
  SharedString() noexcept = default;

  // A new block holding a copy of `bytes`. Ends the process when memory is exhausted.
  [[nodiscard]] static SharedString make(std::string_view bytes) noexcept {
    void* raw = ::operator new(sizeof(Block) + bytes.size(), std::nothrow);
    VANTOREL_CHECK(raw != nullptr, "out of memory allocating a string");
    Block* block = static_cast<Block*>(raw);
    new (&block->count) std::atomic<uint64_t>(1);
    block->length = bytes.size();
    if (!bytes.empty()) std::memcpy(block->bytes(), bytes.data(), bytes.size());
    return SharedString(block);
  }

  SharedString(const SharedString& other) noexcept : block_(other.block_) {
    if (block_ != nullptr) block_->count.fetch_add(1, std::memory_order_relaxed);
  }
  SharedString(SharedString&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  SharedString& operator=(const SharedString& other) noexcept {
    SharedString copy(other);
    std::swap(block_, copy.block_);
    return *this;
  }
  SharedString& operator=(SharedString&& other) noexcept {
    SharedString moved(std::move(other));
    std::swap(block_, moved.block_);
    return *this;
  }
  ~SharedString() { reset(); }

  // Drops this handle's share; the last share frees the block.
  void reset() noexcept {
    Block* block = std::exchange(block_, nullptr);
    if (block != nullptr && block->count.fetch_sub(1, std::memory_order_release) == 1) {
      std::atomic_thread_fence(std::memory_order_acquire);
      block->count.~atomic();
      ::operator delete(block);
    }
  }

  [[nodiscard]] std::string_view view() const noexcept {
    return block_ == nullptr ? std::string_view() : std::string_view(block_->bytes(), block_->length);
  }
  [[nodiscard]] const char* data() const noexcept { return block_ == nullptr ? "" : block_->bytes(); }
  [[nodiscard]] uint64_t size() const noexcept { return block_ == nullptr ? 0 : block_->length; }
  [[nodiscard]] bool empty_handle() const noexcept { return block_ == nullptr; }

  // True when both handles share one block (identity, not equality of bytes).
  [[nodiscard]] bool same_block(const SharedString& other) const noexcept { return block_ == other.block_; }

  // Number of shares of the block (0 for an empty handle); for tests and diagnostics.
  [[nodiscard]] uint64_t use_count() const noexcept {
    return block_ == nullptr ? 0 : block_->count.load(std::memory_order_relaxed);
  }

 private:
  struct Block {
    std::atomic<uint64_t> count;
    uint64_t length;  // bytes
    char* bytes() noexcept { return reinterpret_cast<char*>(this + 1); }
    const char* bytes() const noexcept { return reinterpret_cast<const char*>(this + 1); }
  };
  explicit SharedString(Block* block) noexcept : block_(block) {}

  Block* block_ = nullptr;
};

}  // namespace vantorel
