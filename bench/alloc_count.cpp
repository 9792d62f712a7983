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

extern "C" VANTOREL_BENCH_EXPORT uint64_t vantorel_bench_allocations() noexcept {
  return g_allocations.load(std::memory_order_relaxed);
}

#define VANTOREL_COUNTING_NEW_EXPORT VANTOREL_BENCH_EXPORT
#include "counting_operator_new.hpp"
