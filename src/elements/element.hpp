// The element interface and the values that cross it: ParserElement and its shared handle
// ElementRef, the parse context, tokens, token sequences, outcomes and failures, the flat
// road's token array (FlatResults), and the one whitespace rule of the engine. Nothing here
// (or anywhere below src/elements) knows Python.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "elements/byte_set.hpp"
#include "elements/fatal.hpp"
#include "elements/shared_string.hpp"
#include "elements/utf8.hpp"

namespace vantorel {

// ---------------------------------------------------------------------------------------
// Whitespace

// True for the four bytes the engine skips: tab, line feed, carriage return and space.
// Vertical tab, form feed and every byte >= 128 are not whitespace here.
[[nodiscard]] constexpr bool is_skipped_whitespace(unsigned char b) noexcept {
  return b == 9 || b == 10 || b == 13 || b == 32;
}

// The same four bytes as a set.
inline constexpr ByteSet kSkippedWhitespaceBytes{{(uint64_t{1} << 9) | (uint64_t{1} << 10) | (uint64_t{1} << 13) |
                                                     (uint64_t{1} << 32),
                                                 0, 0, 0}};

// The first position at or after p (p <= length) whose byte is not skipped whitespace,
// or length.
[[nodiscard]] inline uint64_t advance_past_whitespace(const char* text, uint64_t length, uint64_t p) noexcept {
  while (p < length && is_skipped_whitespace(static_cast<unsigned char>(text[p]))) ++p;
  return p;
}

// ---------------------------------------------------------------------------------------
// Tokens

// One result item: a shared string (Str) or a group, an owned array of tokens of exact length.
// Copying shares a Str token's string and copies a Group token's array item by item.
class Token {
 public:
  enum class Tag : uint64_t { Str = 0, Group = 1 };

  // An empty Str token (no string block).
  Token() noexcept = default;

  // A Str token sharing `text`.
  [[nodiscard]] static Token str(SharedString text) noexcept { return Token(std::move(text)); }
  // A Str token holding a new copy of `bytes`.
  [[nodiscard]] static Token copy_of(std::string_view bytes) noexcept { return Token(SharedString::make(bytes)); }
  // A Group token that owns `items` (an array from new Token[count], or nullptr for count 0).
  [[nodiscard]] static Token group(Token* items, uint64_t count) noexcept { return Token(items, count); }

  Token(const Token& other) noexcept;
  Token(Token&& other) noexcept
      : tag_(other.tag_), str_(std::move(other.str_)),
        items_(std::exchange(other.items_, nullptr)), count_(std::exchange(other.count_, 0)) {}
  Token& operator=(const Token& other) noexcept;
  Token& operator=(Token&& other) noexcept;
  ~Token() { delete[] items_; }

  [[nodiscard]] Tag tag() const noexcept { return tag_; }
  [[nodiscard]] bool is_str() const noexcept { return tag_ == Tag::Str; }
  [[nodiscard]] bool is_group() const noexcept { return tag_ == Tag::Group; }
  // The text of a Str token (empty for a group).
  [[nodiscard]] std::string_view text() const noexcept { return str_.view(); }
  // The shared string of a Str token.
  [[nodiscard]] const SharedString& shared() const noexcept { return str_; }
  // The items of a Group token (empty for a Str token).
  [[nodiscard]] std::span<const Token> items() const noexcept { return {items_, static_cast<size_t>(count_)}; }

 private:
  explicit Token(SharedString text) noexcept : tag_(Tag::Str), str_(std::move(text)) {}
  Token(Token* items, uint64_t count) noexcept : tag_(Tag::Group), items_(items), count_(count) {}

  friend class FlatResults;  // takes the strings of a plain-road result over

  Tag tag_ = Tag::Str;
  SharedString str_;        // Str only
  Token* items_ = nullptr;  // Group only, owned, exactly count_ items
  uint64_t count_ = 0;      // Group only
};

// An ordered sequence of tokens that keeps up to two in place and moves all of them to one
// heap buffer when a third is added. An empty ParseResults allocates nothing.
class ParseResults {
 public:
  ParseResults() noexcept = default;
  ParseResults(const ParseResults& other) noexcept;
  ParseResults(ParseResults&& other) noexcept { take(other); }
  ParseResults& operator=(const ParseResults& other) noexcept;
  ParseResults& operator=(ParseResults&& other) noexcept;
  ~ParseResults() { clear(); }

  // Appends one token. Ends the process when memory is exhausted.
  void push_back(Token token) noexcept;
  // Moves every token of `other` to the end of this sequence; `other` is left empty.
  void append(ParseResults&& other) noexcept;
  // Drops every token (and the heap buffer).
  void clear() noexcept;

  // Moves the tokens into a new array of exactly size() items (nullptr when empty) and
  // leaves this sequence empty: the storage of a Group token.
  [[nodiscard]] Token* release_array() noexcept;

  [[nodiscard]] uint64_t size() const noexcept { return size_; }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] const Token& operator[](uint64_t i) const noexcept { return data()[i]; }
  [[nodiscard]] const Token* begin() const noexcept { return data(); }
  [[nodiscard]] const Token* end() const noexcept { return data() + size_; }
  // True while the tokens are held in place (no heap buffer); for tests.
  [[nodiscard]] bool is_inline() const noexcept { return heap_ == nullptr; }

 private:
  friend class FlatResults;  // takes the tokens of a plain-road result over

  static constexpr uint32_t kInline = 2;
  [[nodiscard]] Token* data() noexcept { return heap_ != nullptr ? heap_ : inline_tokens(); }
  [[nodiscard]] const Token* data() const noexcept {
    return heap_ != nullptr ? heap_ : reinterpret_cast<const Token*>(inline_);
  }
  [[nodiscard]] Token* inline_tokens() noexcept { return std::launder(reinterpret_cast<Token*>(inline_)); }
  void take(ParseResults& other) noexcept;
  void grow() noexcept;

  uint32_t size_ = 0;
  uint32_t capacity_ = kInline;  // tokens
  Token* heap_ = nullptr;        // raw storage of capacity_ tokens, or nullptr while inline
  alignas(Token) unsigned char inline_[kInline * sizeof(Token)];
};

// ---------------------------------------------------------------------------------------
// Outcomes

// A failed match: the message (shared with the element, or made for this failure), the byte
// position of the failure and its kind. The holder owns its share of the message.
struct ParseError {
  enum class Kind : uint8_t {
    Mismatch = 0,  // the text does not match here: an ordinary failure
    TooDeep = 1,   // the stack guard stopped the match (see nesting_too_deep): final
  };
  SharedString message;
  uint64_t position = 0;
  Kind kind = Kind::Mismatch;

  [[nodiscard]] bool is_too_deep() const noexcept { return kind == Kind::TooDeep; }
};

// What parse_impl returns: success with `end` and `results`, or failure with `error`.
struct [[nodiscard]] ParseOutcome {
  bool ok = false;
  uint64_t end = 0;       // valid when ok; pos <= end <= length
  ParseResults results;   // valid when ok; owned by the caller
  ParseError error;       // valid when !ok

  [[nodiscard]] static ParseOutcome success(uint64_t end_pos, ParseResults tokens) noexcept {
    ParseOutcome o;
    o.ok = true;
    o.end = end_pos;
    o.results = std::move(tokens);
    return o;
  }
  [[nodiscard]] static ParseOutcome success(uint64_t end_pos) noexcept {
    ParseOutcome o;
    o.ok = true;
    o.end = end_pos;
    return o;
  }
  // Failure sharing a stored message: no allocation.
  [[nodiscard]] static ParseOutcome failure(const SharedString& message, uint64_t position) noexcept {
    ParseOutcome o;
    o.error.message = message;
    o.error.position = position;
    return o;
  }
  [[nodiscard]] static ParseOutcome failure(ParseError error) noexcept {
    ParseOutcome o;
    o.error = std::move(error);
    return o;
  }
  // Failure with a fixed text: a new shared string is made for every failure.
  [[nodiscard]] static ParseOutcome fixed_failure(std::string_view text, uint64_t position) noexcept {
    return failure(SharedString::make(text), position);
  }
};

// What parse_from_start returns: the results, or the failure. The end is not reported.
struct [[nodiscard]] StartOutcome {
  bool ok = false;
  ParseResults results;  // valid when ok
  ParseError error;      // valid when !ok
};

// What try_match_at returns: a verdict and, when matched, the end of the match.
struct [[nodiscard]] Match {
  bool matched = false;
  uint64_t end = 0;  // meaningful only when matched

  [[nodiscard]] static constexpr Match at(uint64_t end_pos) noexcept { return {true, end_pos}; }
  [[nodiscard]] static constexpr Match none() noexcept { return {false, 0}; }
  // No match because the stack guard stopped the match (see stack_nearly_exhausted): a
  // no-match whose end is UINT64_MAX. Combinators pass it on instead of trying on.
  [[nodiscard]] static constexpr Match too_deep() noexcept { return {false, UINT64_MAX}; }
  [[nodiscard]] constexpr bool is_too_deep() const noexcept { return !matched && end == UINT64_MAX; }
};

// The input of a parse: the UTF-8 bytes (borrowed for the call) and the whitespace flag
// that governs skipping before children (1 by default; Combine clears it for its child).
struct ParseContext {
  const char* text = nullptr;
  uint64_t length = 0;  // bytes
  uint8_t skip_whitespace = 1;
};

// How a driver may build an element's tokens without parse_impl.
enum class ElementKind : uint8_t {
  Normal = 0,    // the matched bytes may stand as the one token
  Suppress = 1,  // no tokens
  Group = 2,     // one nested list token: parse_impl needed
  Complex = 3,   // tokens only through parse_impl
};

// ---------------------------------------------------------------------------------------
// The element interface

class FlatResults;

// Every element kind implements these five operations (after the release, the destructor).
// Elements are immutable after construction (a Forward's target aside, under its lock), so
// every operation may run on one element from several threads at once.
class ParserElement {
 public:
  ParserElement() noexcept = default;
  ParserElement(const ParserElement&) = delete;
  ParserElement& operator=(const ParserElement&) = delete;
  virtual ~ParserElement() = default;

  // Parses at exactly pos (pos <= ctx.length). Leaves never skip whitespace before their match.
  virtual ParseOutcome parse_impl(ParseContext& ctx, uint64_t pos) const noexcept = 0;
  // Verdict and end only: no tokens, no message, no context; allocates nothing (but in
  // Combine and Regex's general mode). Agrees with parse_impl except in four places:
  // OneOrMore accepts a zero-width first repetition, Word and Char test bytes >= 128 one by
  // one where parse_impl takes whole characters, and Regex's whitespace-run mode scans bytes
  // without the vertical tab.
  virtual Match try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept = 0;
  // Parses a whole text from its start: skips leading whitespace when the element skips
  // whitespace, then parse_impl with a fresh context. Text after the match is ignored.
  virtual StartOutcome parse_from_start(const char* text, uint64_t length) const noexcept;
  [[nodiscard]] virtual ElementKind kind() const noexcept = 0;
  // True for every kind but rest_of_line.
  [[nodiscard]] virtual bool skips_whitespace() const noexcept { return true; }

  // The flat road of parse_impl, for drivers that turn the tokens straight into other
  // values: the same verdict, end, tokens and failure as parse_impl at pos, with the tokens
  // appended to `out` and a failure written to out's error slot (Match::none(); the failed
  // attempt leaves no entry behind). The default runs parse_impl and appends its results;
  // the kinds that override it build no ParseResults, no Token and no shared string.
  virtual Match parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept;

  // The byte values (raw bytes here, not characters) at which a match can begin: at a
  // position pos < length whose byte is not a member, every operation fails (parse_impl and
  // parse_into with the element's own failure at pos, try_match_at with no match) and does
  // nothing else. Every byte by default; the leaves that test their first byte say which.
  [[nodiscard]] virtual ByteSet first_bytes() const noexcept { return ByteSet::all(); }
  // True when the element skips whitespace before anything else: try_match_at at a position
  // whose byte is skipped whitespace gives the verdict and end of try_match_at at the first
  // position after that run of whitespace (so a miss there is a miss all along the run and
  // at the position after it). first_bytes then holds the whitespace bytes. False by
  // default; the sequences and repetitions whose first child skips whitespace say true.
  [[nodiscard]] virtual bool skips_whitespace_first() const noexcept { return false; }

 private:
  friend class ElementRef;
  mutable std::atomic<uint64_t> ref_count_{0};  // handles (ElementRef) to this element
};

// A shared, atomically counted handle to an immutable element. Copying shares the element;
// the last handle to go destroys it. Destruction of a long chain of elements runs from a
// per-thread worklist, not by recursion, so dropping a deep grammar cannot overflow the stack.
class ElementRef {
 public:
  ElementRef() noexcept = default;

  // A new element of kind T, held by the returned (first) handle.
  template <class T, class... Args>
  [[nodiscard]] static ElementRef make(Args&&... args) noexcept {
    T* element = new (std::nothrow) T(std::forward<Args>(args)...);
    VANTOREL_CHECK(element != nullptr, "out of memory allocating an element");
    return ElementRef(element);
  }
  // A new handle to an element that some other handle keeps alive.
  [[nodiscard]] static ElementRef share(const ParserElement* element) noexcept { return ElementRef(element); }

  ElementRef(const ElementRef& other) noexcept : ElementRef(other.element_) {}
  ElementRef(ElementRef&& other) noexcept : element_(std::exchange(other.element_, nullptr)) {}
  ElementRef& operator=(const ElementRef& other) noexcept {
    ElementRef copy(other);
    std::swap(element_, copy.element_);
    return *this;
  }
  ElementRef& operator=(ElementRef&& other) noexcept {
    ElementRef moved(std::move(other));
    std::swap(element_, moved.element_);
    return *this;
  }
  ~ElementRef() { reset(); }

  // Drops this handle (which may destroy the element).
  void reset() noexcept {
    const ParserElement* e = std::exchange(element_, nullptr);
    if (e != nullptr) release(e);
  }

  [[nodiscard]] const ParserElement* get() const noexcept { return element_; }
  [[nodiscard]] const ParserElement* operator->() const noexcept { return element_; }
  [[nodiscard]] const ParserElement& operator*() const noexcept { return *element_; }
  [[nodiscard]] explicit operator bool() const noexcept { return element_ != nullptr; }
  // Number of handles to the element (0 for an empty handle); for tests.
  [[nodiscard]] uint64_t use_count() const noexcept {
    return element_ == nullptr ? 0 : element_->ref_count_.load(std::memory_order_relaxed);
  }

 private:
  explicit ElementRef(const ParserElement* element) noexcept : element_(element) {
    if (element_ != nullptr) element_->ref_count_.fetch_add(1, std::memory_order_relaxed);
  }
  static void release(const ParserElement* element) noexcept;

  const ParserElement* element_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// Shared rules

// The whitespace rule before a child, in parse_impl: the position before a child at p,
// skipping whitespace when the context's flag is 1 and the child skips whitespace.
[[nodiscard]] inline uint64_t child_start(const ParseContext& ctx, const ParserElement& child, uint64_t p) noexcept {
  if (ctx.skip_whitespace != 0 && child.skips_whitespace()) return advance_past_whitespace(ctx.text, ctx.length, p);
  return p;
}
// The same rule in try_match_at: as if the flag were 1.
[[nodiscard]] inline uint64_t child_start(const char* text, uint64_t length, const ParserElement& child, uint64_t p) noexcept {
  return child.skips_whitespace() ? advance_past_whitespace(text, length, p) : p;
}

// The failure text of a combinator that stops because the thread's stack is nearly used up.
inline constexpr std::string_view kNestingTooDeepMessage = "Grammar nesting too deep for the stack";

// A stack-guard failure is final. The combinator that finds the stack nearly used up fails
// at its position with an error of kind TooDeep and the text kNestingTooDeepMessage
// (parse_impl) or reports Match::too_deep() (try_match_at), and every enclosing combinator
// passes that failure on unchanged instead of treating it as an ordinary miss: no
// alternative is tried after it, no Optional or repetition turns it into a shorter success,
// no SkipTo scans on. The caller of the whole
// parse therefore sees exactly this message (or no match), never a success that a deeper
// stack would not have given, and the unwinding costs one step per level.
[[nodiscard]] inline ParseOutcome nesting_too_deep(uint64_t position) noexcept {
  return ParseOutcome::failure(
      ParseError{SharedString::make(kNestingTooDeepMessage), position, ParseError::Kind::TooDeep});
}

namespace detail {
extern thread_local uintptr_t t_stack_floor __attribute__((tls_model("initial-exec")));
[[nodiscard]] bool stack_nearly_exhausted_slow(uintptr_t here) noexcept;
}  // namespace detail

// True when the calling thread's stack has too little room left for another level of
// grammar nesting. Every combinator asks before it runs a child: a deep or self-recursive
// grammar then ends in an ordinary failure instead of overflowing the stack.
[[nodiscard]] inline bool stack_nearly_exhausted() noexcept {
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  const uintptr_t floor = detail::t_stack_floor;
  if (__builtin_expect(floor != 0 && here > floor, 1)) return false;
  return detail::stack_nearly_exhausted_slow(here);
}

// ---------------------------------------------------------------------------------------
// The flat road

// One entry of a FlatResults: a Str token's bytes, or the head of a Group token, whose
// items are the entries right after it (each one entry, or a group head with its items).
struct FlatToken {
  static constexpr uint64_t kGroupBit = uint64_t{1} << 63;
  const char* bytes;  // Str: the token's bytes, borrowed (see FlatResults)
  uint64_t size;      // Str: byte length; group head: kGroupBit | number of items

  [[nodiscard]] bool is_group() const noexcept { return (size & kGroupBit) != 0; }
  [[nodiscard]] uint64_t item_count() const noexcept { return size & ~kGroupBit; }
  [[nodiscard]] std::string_view text() const noexcept { return {bytes, static_cast<size_t>(size)}; }
};

// A failure on the flat road; the message is borrowed like a FlatToken's bytes.
struct FlatError {
  std::string_view message;
  uint64_t position = 0;
  ParseError::Kind kind = ParseError::Kind::Mismatch;

  [[nodiscard]] bool is_too_deep() const noexcept { return kind == ParseError::Kind::TooDeep; }
};

// The tokens of one parse on the flat road, in one array in token order: a parse appends
// its entries, and a branch that fails is cut back to the mark taken before it, so no
// token is moved, copied or freed on its way up. Str bytes are borrowed, never copied:
// from the input (the caller keeps it alive while it reads the entries), from an element
// (kept alive by the caller's handle, and below a Forward by keep_alive, since another
// thread may re-target the Forward once its match is over), from static text, or from
// strings this object keeps. Up to kInline entries live inside the object, so a typical
// parse allocates nothing here. One call, one thread.
class FlatResults {
 public:
  FlatResults() noexcept = default;
  FlatResults(const FlatResults&) = delete;
  FlatResults& operator=(const FlatResults&) = delete;
  ~FlatResults();

  // Where the entries stand: the number of entries and the number of tokens in the
  // innermost open group (or at the top level). A parse takes one before it tries
  // something and cuts back to it when that fails.
  struct Mark {
    uint64_t size;
    uint64_t items;
  };

  // Appends a Str token of `bytes`, which must stay valid while the entries are read.
  void push(std::string_view bytes) noexcept {
    if (size_ == capacity_) grow();
    data_[size_++] = FlatToken{bytes.data(), bytes.size()};
    ++items_;
  }
  // Appends every token of a plain-road result, taking its strings over.
  void push_all(ParseResults&& results) noexcept;

  // Opens a group: appends its head and returns the head's index, for close_group or
  // cancel_group. Until then, the tokens appended are the group's items.
  [[nodiscard]] uint64_t open_group() noexcept {
    if (size_ == capacity_) grow();
    data_[size_] = FlatToken{nullptr, items_};  // the enclosing level's count, kept until closed
    items_ = 0;
    return size_++;
  }
  // Closes the group whose head is at `head`; it counts as one token of the enclosing level.
  void close_group(uint64_t head) noexcept {
    const uint64_t count = items_;
    items_ = data_[head].size + 1;
    data_[head].size = FlatToken::kGroupBit | count;
  }
  // Drops the group whose head is at `head`, with its items.
  void cancel_group(uint64_t head) noexcept {
    items_ = data_[head].size;
    size_ = head;
  }

  [[nodiscard]] Mark mark() const noexcept { return {size_, items_}; }
  // Drops every entry, to take the tokens of another parse (strings and handles kept so
  // far stay kept).
  void clear() noexcept { cut(Mark{0, 0}); }
  // Drops every entry appended since `mark` (strings and handles kept so far stay kept).
  void cut(Mark mark) noexcept {
    size_ = mark.size;
    items_ = mark.items;
  }

  // Records a failure and returns Match::none(). The message must stay valid while the
  // error is read: static text or an element's stored message.
  Match fail(std::string_view message, uint64_t position) noexcept {
    error_ = FlatError{message, position, ParseError::Kind::Mismatch};
    return Match::none();
  }
  // Records a plain-road failure, keeping a share of its message; its kind is kept.
  Match fail(const ParseError& error) noexcept;
  // The stack guard's failure at `position` (see nesting_too_deep): kind TooDeep.
  Match fail_too_deep(uint64_t position) noexcept {
    error_ = FlatError{kNestingTooDeepMessage, position, ParseError::Kind::TooDeep};
    return Match::none();
  }
  // The failure recorded last: after a failed parse, the parse's failure.
  [[nodiscard]] const FlatError& error() const noexcept { return error_; }
  // True when the failure recorded last is the stack guard's.
  [[nodiscard]] bool failed_too_deep() const noexcept { return error_.is_too_deep(); }

  // Keeps `element` alive until this object goes, so that bytes and messages borrowed from
  // it (and from the elements it holds) stay valid. Each element is kept once; allocates
  // only when an element is not kept yet.
  void keep_alive(const ElementRef& element) noexcept;

  [[nodiscard]] const FlatToken* data() const noexcept { return data_; }
  // The number of entries (tokens and group heads).
  [[nodiscard]] uint64_t size() const noexcept { return size_; }
  // The number of top-level tokens, while no group is open.
  [[nodiscard]] uint64_t token_count() const noexcept { return items_; }

 private:
  static constexpr uint64_t kInline = 128;  // entries held in place
  void grow() noexcept;
  void push_token(Token& token) noexcept;

  FlatToken* data_ = inline_;
  uint64_t size_ = 0;
  uint64_t items_ = 0;  // tokens of the innermost open group, or of the top level
  uint64_t capacity_ = kInline;
  FlatError error_;
  std::vector<SharedString> strings_;  // strings of plain-road results and errors
  ElementRef kept_first_;              // the first element kept alive: no allocation for it
  std::vector<ElementRef> kept_;       // the elements kept alive after it, each once
  std::unordered_set<const ParserElement*> kept_index_;  // kept_'s elements, once there are many
  FlatToken inline_[kInline];
};

// The two roads of a leaf whose one token is the matched text text[pos, m.end): a failure
// (m not matched) is at pos with the leaf's stored message, shared (plain road) or
// borrowed (flat road); a success holds a new copy of the text (plain road) or borrows it
// from the input (flat road).
[[nodiscard]] inline ParseOutcome matched_text_outcome(const ParseContext& ctx, uint64_t pos, Match m,
                                                      const SharedString& message) noexcept {
  if (!m.matched) return ParseOutcome::failure(message, pos);
  ParseResults r;
  r.push_back(Token::copy_of(std::string_view(ctx.text + pos, m.end - pos)));
  return ParseOutcome::success(m.end, std::move(r));
}
[[nodiscard]] inline Match matched_text_into(const ParseContext& ctx, uint64_t pos, Match m,
                                             const SharedString& message, FlatResults& out) noexcept {
  if (!m.matched) return out.fail(message.view(), pos);
  out.push(std::string_view(ctx.text + pos, m.end - pos));
  return m;
}

// parse_from_start on the flat road: the leading whitespace skip of parse_from_start, then
// parse_into with a fresh context. For a kind E its operations are called directly; for a
// ParserElement, through its table.
template <class E>
[[nodiscard]] Match parse_from_start_into(const E& element, const char* text, uint64_t length,
                                          FlatResults& out) noexcept {
  ParseContext ctx{text, length, 1};
  if constexpr (std::is_same_v<E, ParserElement>) {
    const uint64_t p = element.skips_whitespace() ? advance_past_whitespace(text, length, 0) : 0;
    return element.parse_into(ctx, p, out);
  } else {
    const uint64_t p = element.E::skips_whitespace() ? advance_past_whitespace(text, length, 0) : 0;
    return element.E::parse_into(ctx, p, out);
  }
}

}  // namespace vantorel
