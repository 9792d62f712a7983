// Scratch memory of one call: the blocks of the per-call span lists and maps, and the paging
// of large results made afresh. A block of several megabytes is taken straight from the
// kernel with transparent huge pages asked for, so that it is faulted in 2 MiB at a time
// instead of 4 KiB; on a large text the page faults of a fresh block otherwise cost more
// than the work done in it. Smaller blocks come from operator new. Nothing here knows Python.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace vantorel {

// Blocks of at least this many bytes are mapped on their own.
inline constexpr size_t kScratchMapBytes = size_t{4} << 20;
inline constexpr size_t kHugePageBytes = size_t{2} << 20;

// A block of `bytes` bytes, or nullptr when the memory cannot be had; all zero when `zeroed`
// (a mapped block always is). Freed only by scratch_free with the same size.
[[nodiscard]] inline void* scratch_allocate(size_t bytes, bool zeroed) noexcept {
  if (bytes < kScratchMapBytes) {
    void* p = ::operator new(bytes, std::nothrow);
    if (p != nullptr && zeroed) std::memset(p, 0, bytes);
    return p;
  }
  const size_t mapped = (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  // A hint: where the kernel gives no huge pages, the block is as good as any other.
  (void)madvise(p, mapped, MADV_HUGEPAGE);
  return p;
}

// Frees a block of scratch_allocate(bytes); nullptr is allowed.
inline void scratch_free(void* p, size_t bytes) noexcept {
  if (p == nullptr) return;
  if (bytes < kScratchMapBytes) {
    ::operator delete(p);
    return;
  }
  munmap(p, (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1));
}

// Asks for transparent huge pages for the whole 2 MiB pages inside [p, p + bytes) of a
// large block about to be written from end to end, such as a result made afresh: the block
// belongs to whoever allocated it, only its paging changes, and a kernel that gives no huge
// pages ignores the hint. Blocks under kScratchMapBytes are left alone.
inline void advise_huge_pages(void* p, size_t bytes) noexcept {
  if (bytes < kScratchMapBytes) return;
  const auto first = (reinterpret_cast<uintptr_t>(p) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  const auto last = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePageBytes - 1);
  if (first < last) (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// The standard allocator interface over scratch_allocate, for the growable arrays of a
// call. Throws std::bad_alloc when the memory cannot be had, as std::allocator does.
template <class T>
struct ScratchAllocator {
  using value_type = T;
  ScratchAllocator() noexcept = default;
  template <class U>
  ScratchAllocator(const ScratchAllocator<U>&) noexcept {}  // NOLINT: converting, as std::allocator

  [[nodiscard]] T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void* p = scratch_allocate(n * sizeof(T), false);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) noexcept { scratch_free(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const ScratchAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace vantorel
