// Tokens, token sequences, element handles, the generic parse_from_start, the stack guard
// and the fatal-error routine.
#include "elements/element.hpp"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vantorel {

void fatal(const char* what) noexcept {
  std::fprintf(stderr, "vantorel: fatal: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

// ---- Token ------------------------------------------------------------------------------

namespace {
Token* copy_items(const Token* items, uint64_t count) noexcept {
  if (count == 0) return nullptr;
  // Tokens have no default constructor; build the copies in raw storage of new Token[] form
  // by copy-assigning over empty Str tokens.
  Token* out = new (std::nothrow) Token[count]{};
  VANTOREL_CHECK(out != nullptr, "out of memory copying a group token");
  for (uint64_t i = 0; i < count; ++i) out[i] = items[i];
  return out;
}
}  // namespace

Token::Token(const Token& other) noexcept
    : tag_(other.tag_), str_(other.str_), items_(copy_items(other.items_, other.count_)), count_(other.count_) {}

Token& Token::operator=(const Token& other) noexcept {
  if (this != &other) {
    Token copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Token& Token::operator=(Token&& other) noexcept {
  if (this != &other) {
    delete[] items_;
    tag_ = other.tag_;
    str_ = std::move(other.str_);
    items_ = std::exchange(other.items_, nullptr);
    count_ = std::exchange(other.count_, 0);
  }
  return *this;
}

// ---- ParseResults -----------------------------------------------------------------------

ParseResults::ParseResults(const ParseResults& other) noexcept {
  for (const Token& t : other) push_back(t);
}

ParseResults& ParseResults::operator=(const ParseResults& other) noexcept {
  if (this != &other) {
    ParseResults copy(other);
    *this = std::move(copy);
  }
  return *this;
}

ParseResults& ParseResults::operator=(ParseResults&& other) noexcept {
  if (this != &other) {
    clear();
    take(other);
  }
  return *this;
}

// Moves other's tokens into this (empty, inline) sequence.
void ParseResults::take(ParseResults& other) noexcept {
  if (other.heap_ != nullptr) {
    heap_ = std::exchange(other.heap_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, kInline);
    return;
  }
  Token* src = other.inline_tokens();
  for (uint32_t i = 0; i < other.size_; ++i) {
    new (inline_tokens() + i) Token(std::move(src[i]));
    src[i].~Token();
  }
  size_ = std::exchange(other.size_, 0);
}

void ParseResults::grow() noexcept {
  const uint64_t wanted = static_cast<uint64_t>(capacity_) * 2;
  VANTOREL_CHECK(wanted <= UINT32_MAX, "too many tokens in one result");
  const auto new_capacity = static_cast<uint32_t>(wanted);
  void* raw = ::operator new(sizeof(Token) * new_capacity, std::nothrow);
  VANTOREL_CHECK(raw != nullptr, "out of memory growing a token list");
  Token* fresh = static_cast<Token*>(raw);
  Token* old = data();
  for (uint32_t i = 0; i < size_; ++i) {
    new (fresh + i) Token(std::move(old[i]));
    old[i].~Token();
  }
  if (heap_ != nullptr) ::operator delete(heap_);
  heap_ = fresh;
  capacity_ = new_capacity;
}

void ParseResults::push_back(Token token) noexcept {
  if (size_ == capacity_) grow();
  new (data() + size_) Token(std::move(token));
  ++size_;
}

void ParseResults::append(ParseResults&& other) noexcept {
  if (&other == this || other.size_ == 0) return;
  if (size_ == 0 && heap_ == nullptr) {
    take(other);
    return;
  }
  Token* src = other.data();
  for (uint32_t i = 0; i < other.size_; ++i) push_back(std::move(src[i]));
  other.clear();
}

void ParseResults::clear() noexcept {
  Token* d = data();
  for (uint32_t i = 0; i < size_; ++i) d[i].~Token();
  size_ = 0;
  if (heap_ != nullptr) {
    ::operator delete(heap_);
    heap_ = nullptr;
    capacity_ = kInline;
  }
}

Token* ParseResults::release_array() noexcept {
  if (size_ == 0) {
    clear();
    return nullptr;
  }
  Token* out = new (std::nothrow) Token[size_]{};
  VANTOREL_CHECK(out != nullptr, "out of memory building a group token");
  Token* d = data();
  for (uint32_t i = 0; i < size_; ++i) out[i] = std::move(d[i]);
  clear();
  return out;
}

// ---- ElementRef -------------------------------------------------------------------------

namespace {
// Elements whose last handle went while another element was being destroyed on this
// thread. Destroying an element drops its children's handles; collecting the children here
// instead of destroying them in place turns a deep chain into a loop.
thread_local std::vector<const ParserElement*> t_pending_destroy;
thread_local bool t_destroying = false;
}  // namespace

void ElementRef::release(const ParserElement* element) noexcept {
  if (element->ref_count_.fetch_sub(1, std::memory_order_release) != 1) return;
  std::atomic_thread_fence(std::memory_order_acquire);
  if (t_destroying) {
    t_pending_destroy.push_back(element);
    return;
  }
  t_destroying = true;
  delete element;
  while (!t_pending_destroy.empty()) {
    const ParserElement* next = t_pending_destroy.back();
    t_pending_destroy.pop_back();
    delete next;
  }
  t_destroying = false;
}

// ---- parse_from_start -------------------------------------------------------------------

StartOutcome ParserElement::parse_from_start(const char* text, uint64_t length) const noexcept {
  const uint64_t p = skips_whitespace() ? advance_past_whitespace(text, length, 0) : 0;
  ParseContext ctx{text, length, 1};
  ParseOutcome outcome = parse_impl(ctx, p);
  StartOutcome result;
  result.ok = outcome.ok;
  if (outcome.ok) {
    result.results = std::move(outcome.results);
  } else {
    result.error = std::move(outcome.error);
  }
  return result;
}

// ---- the flat road ----------------------------------------------------------------------

// Kinds without a flat road of their own parse on the plain road and hand over its tokens.
Match ParserElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  ParseOutcome o = parse_impl(ctx, pos);
  if (!o.ok) return out.fail(o.error);
  out.push_all(std::move(o.results));
  return Match::at(o.end);
}

FlatResults::~FlatResults() {
  if (data_ != inline_) ::operator delete(data_);
}

void FlatResults::grow() noexcept {
  VANTOREL_CHECK(capacity_ <= UINT64_MAX / 2 / sizeof(FlatToken), "too many tokens in one result");
  const uint64_t wanted = capacity_ * 2;
  void* raw = ::operator new(sizeof(FlatToken) * wanted, std::nothrow);
  VANTOREL_CHECK(raw != nullptr, "out of memory growing a token list");
  auto* fresh = static_cast<FlatToken*>(raw);
  std::memcpy(fresh, data_, sizeof(FlatToken) * size_);
  if (data_ != inline_) ::operator delete(data_);
  data_ = fresh;
  capacity_ = wanted;
}

// The strings move into strings_ (the first one makes room for a few more at once); the
// tokens left behind are empty and release nothing.
void FlatResults::push_token(Token& token) noexcept {
  if (token.is_str()) {
    if (strings_.empty()) strings_.reserve(16);
    strings_.push_back(std::move(token.str_));
    push(strings_.back().view());
    return;
  }
  const uint64_t head = open_group();
  for (uint64_t i = 0; i < token.count_; ++i) push_token(token.items_[i]);
  close_group(head);
}

void FlatResults::push_all(ParseResults&& results) noexcept {
  for (uint64_t i = 0; i < results.size(); ++i) push_token(results.data()[i]);
}

Match FlatResults::fail(const ParseError& error) noexcept {
  strings_.push_back(error.message);
  error_ = FlatError{error.message.view(), error.position, error.kind};
  return Match::none();
}

// The same Forward target is met again and again in a recursive grammar: the few handles
// taken last are looked at first, then (once there are more) an index of all of them, so
// each element is kept once whatever the number of Forwards. The first one, often the only
// one (a grammar with one Forward), is held in place, so a parse keeps it without a heap
// allocation.
void FlatResults::keep_alive(const ElementRef& element) noexcept {
  constexpr size_t kLookBack = 8;
  const ParserElement* e = element.get();
  if (kept_first_.get() == e) return;
  if (!kept_first_) {
    kept_first_ = element;
    return;
  }
  const size_t n = kept_.size();
  for (size_t i = n; i > 0 && n - i < kLookBack; --i) {
    if (kept_[i - 1].get() == e) return;
  }
  if (n >= kLookBack) {
    if (kept_index_.empty()) {
      for (const ElementRef& k : kept_) kept_index_.insert(k.get());
    }
    if (!kept_index_.insert(e).second) return;
  }
  kept_.push_back(element);
}

// ---- stack guard ------------------------------------------------------------------------

namespace detail {

thread_local uintptr_t t_stack_floor __attribute__((tls_model("initial-exec"))) = 0;

// Room kept free below the deepest grammar level: enough for a leaf match, a regex match
// and the caller's own work after the parse returns.
constexpr uintptr_t kMaxReserve = 256 * 1024;

bool stack_nearly_exhausted_slow(uintptr_t here) noexcept {
  if (t_stack_floor != 0) return here <= t_stack_floor;
  uintptr_t floor = 0;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* base = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &base, &size) == 0 && base != nullptr && size != 0) {
      const uintptr_t low = reinterpret_cast<uintptr_t>(base);
      const uintptr_t reserve = size / 2 < kMaxReserve ? size / 2 : kMaxReserve;
      floor = low + reserve;
    }
    pthread_attr_destroy(&attr);
  }
  if (floor == 0 || floor >= here) {
    // Unknown bounds: allow one more megabyte below the first level that asked.
    floor = here > (1u << 20) ? here - (1u << 20) : 1;
  }
  t_stack_floor = floor;
  return here <= floor;
}

}  // namespace detail

}  // namespace vantorel
