// Replacement global allocation functions that count, for the programs that report heap
// allocations (the allocation tests, the engine benchmarks, the preloadable counter of the
// module benchmark). Include it in exactly one source file of a program, after defining
// `void* counted_alloc(std::size_t) noexcept`, which counts as the program wants and takes
// the memory from malloc (so every delete frees it with free). A shared library that must
// export the functions defines VANTOREL_COUNTING_NEW_EXPORT first.
#pragma once

#include <cstdlib>
#include <new>

#ifndef VANTOREL_COUNTING_NEW_EXPORT
#define VANTOREL_COUNTING_NEW_EXPORT
#endif

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

VANTOREL_COUNTING_NEW_EXPORT void* operator new(std::size_t size) {
  void* p = counted_alloc(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
VANTOREL_COUNTING_NEW_EXPORT void* operator new[](std::size_t size) { return operator new(size); }
VANTOREL_COUNTING_NEW_EXPORT void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return counted_alloc(size);
}
VANTOREL_COUNTING_NEW_EXPORT void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return counted_alloc(size);
}
VANTOREL_COUNTING_NEW_EXPORT void operator delete(void* p) noexcept { std::free(p); }
VANTOREL_COUNTING_NEW_EXPORT void operator delete[](void* p) noexcept { std::free(p); }
VANTOREL_COUNTING_NEW_EXPORT void operator delete(void* p, std::size_t) noexcept { std::free(p); }
VANTOREL_COUNTING_NEW_EXPORT void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
VANTOREL_COUNTING_NEW_EXPORT void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
VANTOREL_COUNTING_NEW_EXPORT void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
