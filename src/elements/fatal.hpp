// The one way a broken invariant ends the process: a line on standard error, then abort.
#pragma once

namespace vantorel {

// Writes "vantorel: fatal: <what>" to standard error and aborts. Never returns.
[[noreturn]] void fatal(const char* what) noexcept;

}  // namespace vantorel

#define VANTOREL_CHECK(cond, what)            \
  do {                                        \
    if (__builtin_expect(!(cond), 0)) {       \
      ::vantorel::fatal(what);                \
    }                                         \
  } while (0)
