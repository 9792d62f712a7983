// Forward: its lock, the delegation to the target, and the left-recursion guard.
#include "elements/forward.hpp"

namespace vantorel {

// ---- ForwardLock ------------------------------------------------------------------------
// A sleeper sets kSleepers before it waits; whoever releases the lock in a way that may let
// a sleeper in (the last reader out, a writer out) clears the bit and wakes every sleeper,
// and each sleeper that still cannot proceed sets the bit again before waiting again.

namespace {
// Forward read holds of this thread, over all Forwards.
thread_local uint32_t t_read_holds __attribute__((tls_model("initial-exec"))) = 0;
}  // namespace

void ForwardLock::wake_all() noexcept {
  state_.fetch_and(~kSleepers, std::memory_order_relaxed);
  state_.notify_all();
}

void ForwardLock::lock_shared() noexcept {
  const bool nested = t_read_holds != 0;
  uint32_t s = state_.load(std::memory_order_relaxed);
  for (;;) {
    const bool blocked = (s & kWriter) != 0 || (!nested && (s & kWriterWaits) != 0);
    if (!blocked) {
      VANTOREL_CHECK((s & kReaders) != kReaders, "too many read holds of a Forward lock");
      if (state_.compare_exchange_weak(s, s + 1, std::memory_order_acquire, std::memory_order_relaxed)) break;
      continue;
    }
    const uint32_t sleeping = s | kSleepers;
    if (s != sleeping &&
        !state_.compare_exchange_weak(s, sleeping, std::memory_order_relaxed, std::memory_order_relaxed)) {
      continue;
    }
    state_.wait(sleeping, std::memory_order_relaxed);
    s = state_.load(std::memory_order_relaxed);
  }
  ++t_read_holds;
}

void ForwardLock::unlock_shared() noexcept {
  --t_read_holds;
  const uint32_t before = state_.fetch_sub(1, std::memory_order_release);
  if ((before & kReaders) == 1 && (before & kSleepers) != 0) wake_all();
}

void ForwardLock::lock() noexcept {
  uint32_t s = state_.load(std::memory_order_relaxed);
  for (;;) {
    if ((s & (kWriter | kReaders)) == 0) {
      // Taking the lock clears kWriterWaits; another waiting writer sets it again.
      if (state_.compare_exchange_weak(s, (s | kWriter) & ~kWriterWaits, std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
        return;
      }
      continue;
    }
    const uint32_t sleeping = s | kSleepers | kWriterWaits;
    if (s != sleeping &&
        !state_.compare_exchange_weak(s, sleeping, std::memory_order_relaxed, std::memory_order_relaxed)) {
      continue;
    }
    state_.wait(sleeping, std::memory_order_relaxed);
    s = state_.load(std::memory_order_relaxed);
  }
}

void ForwardLock::unlock() noexcept {
  if ((state_.exchange(0, std::memory_order_release) & kSleepers) != 0) state_.notify_all();
}

namespace {

class ReadHold {
 public:
  explicit ReadHold(ForwardLock& lock) noexcept : lock_(lock) { lock_.lock_shared(); }
  ReadHold(const ReadHold&) = delete;
  ReadHold& operator=(const ReadHold&) = delete;
  ~ReadHold() { lock_.unlock_shared(); }

 private:
  ForwardLock& lock_;
};

// ---- left-recursion guard ---------------------------------------------------------------
// Every running Forward entry of this thread is one node on the C++ stack, linked from
// t_active (innermost first): no allocation. A Forward that reaches itself again at the
// same position has consumed no text on the way and would go on doing so without end. So
// that entry fails at once, with kLeftRecursionMessage (parse_impl) or no match
// (try_match_at), and an enclosing alternation goes on to its next alternative:
// f <<= f + a | b matches b, and f <<= f + a | f + b | c fails each left-recursive
// alternative on its first step instead of exploring them all. The check ignores which
// operation entered the Forward (parse_impl with either whitespace flag, or try_match_at):
// the outer entry's road must not decide where the inner one is cut, or a Suppress (which
// runs its child's try_match_at inside parse_impl) would let parse_impl expand one level
// further than try_match_at, and the two would disagree. Children never run before their
// parent's position, so positions never decrease going deeper and only the top nodes with
// the same position are examined. A self-referring grammar that does consume text is
// bounded by the stack guard instead.

struct ActiveForward {
  const ForwardElement* forward;
  uint64_t pos;
  const ActiveForward* below;
};

thread_local const ActiveForward* t_active __attribute__((tls_model("initial-exec"))) = nullptr;

// True when the innermost running Forward entry of this thread is `forward`'s. Each entry
// is made under a read hold of its Forward's lock (or under an enclosing entry of the same
// Forward that holds it), so this thread then holds `forward`'s lock: no writer can change
// the target until that outer hold ends, and the target it read is the one read here.
[[nodiscard]] bool innermost_is(const ForwardElement* forward) noexcept {
  return t_active != nullptr && t_active->forward == forward;
}

[[nodiscard]] bool running_here(const ForwardElement* forward, uint64_t pos) noexcept {
  for (const ActiveForward* a = t_active; a != nullptr && a->pos == pos; a = a->below) {
    if (a->forward == forward) return true;
  }
  return false;
}

class Entry {
 public:
  Entry(const ForwardElement* forward, uint64_t pos) noexcept : node_{forward, pos, t_active} {
    t_active = &node_;
  }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;
  ~Entry() { t_active = node_.below; }

 private:
  ActiveForward node_;
};

}  // namespace

// ---- ForwardElement ---------------------------------------------------------------------

ParseOutcome ForwardElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return nesting_too_deep(pos);
  // A Forward already running here is set, and stays set: the check needs no lock.
  if (running_here(this, pos)) return ParseOutcome::fixed_failure(kLeftRecursionMessage, pos);
  if (innermost_is(this)) {  // under the enclosing entry's hold, as in parse_into
    Entry entry(this, pos);
    return target_->parse_impl(ctx, pos);
  }
  ReadHold hold(lock_);
  if (!target_) return ParseOutcome::fixed_failure(kForwardUnsetMessage, pos);
  Entry entry(this, pos);
  return target_->parse_impl(ctx, pos);
}

// The target is kept alive in `out` as well: its tokens and failure may borrow its bytes,
// and once the read lock is released another thread may re-target this Forward.
// A recursive grammar enters its Forward again inside its own match: that entry runs under
// the enclosing entry's hold, whose target is already kept by every FlatResults that
// outlives the hold (a FlatResults made inside the match goes before the hold ends), so it
// takes no second hold and keeps nothing again.
Match ForwardElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  if (stack_nearly_exhausted()) return out.fail_too_deep(pos);
  if (running_here(this, pos)) return out.fail(kLeftRecursionMessage, pos);
  if (innermost_is(this)) {
    Entry entry(this, pos);
    return target_->parse_into(ctx, pos, out);
  }
  ReadHold hold(lock_);
  if (!target_) return out.fail(kForwardUnsetMessage, pos);
  out.keep_alive(target_);
  Entry entry(this, pos);
  return target_->parse_into(ctx, pos, out);
}

Match ForwardElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (stack_nearly_exhausted()) return Match::too_deep();
  if (running_here(this, pos)) return Match::none();
  if (innermost_is(this)) {  // under the enclosing entry's hold, as in parse_into
    Entry entry(this, pos);
    return target_->try_match_at(text, length, pos);
  }
  ReadHold hold(lock_);
  if (!target_) return Match::none();
  Entry entry(this, pos);
  return target_->try_match_at(text, length, pos);
}

void ForwardElement::forward_set(ElementRef target) const noexcept {
  lock_.lock();
  target_ = std::move(target);  // the old target's handle is dropped here, under the lock
  lock_.unlock();
}

ElementRef ForwardElement::target() const noexcept {
  ReadHold hold(lock_);
  return target_;
}

}  // namespace vantorel
