// A preloadable library for bench/module_bench.py: it replaces the global operator new of
// the process (the module's C++ code and RE2 allocate through it; the interpreter does
// not) and counts the calls, so that the benchmark can report the heap allocations that
// one method call makes. Read the count with vantorel_bench_allocations() through ctypes.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#define VANTOREL_BENCH_EXPORT __attribute__((visibility("default")))

namespace {
std::atomic<uint64_t> g_allocations{0};

void* counted_alloc(std::size_t size) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

// Every replacement operator new takes its memory from malloc, so every delete frees it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

extern "C" VANTOREL_BENCH_EXPORT uint64_t vantorel_bench_allocations() noexcept {
  return g_allocations.load(std::memory_order_relaxed);
}

VANTOREL_BENCH_EXPORT void* operator new(std::size_t size) {
  void* p = counted_alloc(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
VANTOREL_BENCH_EXPORT void* operator new[](std::size_t size) { return operator new(size); }
VANTOREL_BENCH_EXPORT void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return counted_alloc(size);
}
VANTOREL_BENCH_EXPORT void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return counted_alloc(size);
}
VANTOREL_BENCH_EXPORT void operator delete(void* p) noexcept { std::free(p); }
VANTOREL_BENCH_EXPORT void operator delete[](void* p) noexcept { std::free(p); }
VANTOREL_BENCH_EXPORT void operator delete(void* p, std::size_t) noexcept { std::free(p); }
VANTOREL_BENCH_EXPORT void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
VANTOREL_BENCH_EXPORT void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
VANTOREL_BENCH_EXPORT void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
