// Forward: the element whose target is given after construction, so that a grammar can
// refer to itself. The target sits behind a reader-writer lock that one thread may
// read-lock several times over (a recursive grammar re-enters its own Forward).
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "elements/element.hpp"

namespace vantorel {

// The failure text of a Forward entered again, on the same thread, at the position where
// it is already running (left recursion: f <<= f + a | b).
inline constexpr std::string_view kLeftRecursionMessage = "Left recursion: Forward entered again at the same position";
// The failure text of a Forward whose target was never set.
inline constexpr std::string_view kForwardUnsetMessage = "Forward not initialized";

// A reader-writer lock on one 32-bit word (futex waits through std::atomic::wait) that one
// thread may read-lock several times over. Each thread counts the Forward read holds it has
// (of any Forward). A thread that holds none waits while a writer holds the lock or waits
// for it, so a stream of new matches cannot keep a re-targeting writer out; a thread that
// already holds one waits only while a writer actually holds the lock, never for a waiting
// writer. The writer waits for every read hold to go, so a nested reader that queued behind
// it would wait for itself: this rule makes recursive reading deadlock-free.
class ForwardLock {
 public:
  ForwardLock() noexcept = default;
  ForwardLock(const ForwardLock&) = delete;
  ForwardLock& operator=(const ForwardLock&) = delete;

  void lock_shared() noexcept;
  void unlock_shared() noexcept;
  // Waits until no reader and no writer holds the lock. A thread must not call it while it
  // holds a read lock of the same lock (it would wait for itself).
  void lock() noexcept;
  void unlock() noexcept;

  // True while a writer waits in lock() for read holds to go: an observation point for
  // tests, which wait for that moment instead of sleeping. One relaxed load; nothing on the
  // locking roads reads it.
  [[nodiscard]] bool writer_waiting() const noexcept {
    return (state_.load(std::memory_order_relaxed) & kWriterWaits) != 0;
  }

 private:
  static constexpr uint32_t kSleepers = 1u << 31;      // some thread sleeps on the word
  static constexpr uint32_t kWriterWaits = 1u << 30;   // a writer waits for the readers to go
  static constexpr uint32_t kWriter = 1u << 29;        // a writer holds the lock
  static constexpr uint32_t kReaders = kWriter - 1;    // mask: number of read holds
  void wake_all() noexcept;

  std::atomic<uint32_t> state_{0};
};

class ForwardElement final : public ParserElement {
 public:
  ForwardElement() noexcept = default;

  // Delegates to the target at pos (no whitespace skip) while holding the read lock, and
  // returns the target's outcome unchanged. Fails at pos with kForwardUnsetMessage while
  // unset, with kLeftRecursionMessage when this thread is already running this Forward at
  // pos by either operation (see forward.cpp), and with kNestingTooDeepMessage when the
  // stack is nearly used up. Each of these failures is a new string.
  ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept override;
  // The same on the flat road; the target is also kept alive in `out` (see FlatResults).
  Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept override;
  // The target's try_match_at under the read lock; no match while unset or on re-entry,
  // Match::too_deep() when the stack is nearly used up. Allocates nothing itself.
  Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept override;
  [[nodiscard]] ElementKind kind() const noexcept override { return ElementKind::Complex; }

  // Replaces the target under the write lock; the old target's handle is released while
  // the lock is held. Cannot fail. Must not be called from inside a match of this Forward
  // on the same thread (nothing in the engine does).
  void forward_set(ElementRef target) const noexcept;

  // A new handle to the current target (empty while unset); for tests and diagnostics.
  [[nodiscard]] ElementRef target() const noexcept;
  // True while a forward_set waits for the matches that hold the lock; for tests.
  [[nodiscard]] bool writer_waiting() const noexcept { return lock_.writer_waiting(); }

 private:
  // The element's only mutable part: the target, read and written under lock_.
  mutable ForwardLock lock_;
  mutable ElementRef target_;
};

}  // namespace vantorel
