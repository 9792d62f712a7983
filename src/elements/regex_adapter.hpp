// The regular-expression adapter: compiles a wrapped pattern of the dialect into an RE2
// program (through the front end of regex_parse and regex_emit) and runs it. This pair of
// files is the only place that holds RE2; the match calls are inline so that a match
// through the adapter costs what the RE2 call costs.
#pragma once

#include <re2/re2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantorel::regex {

// A compiled expression. Immutable once built, safe to use from many threads at once (RE2
// keeps its own per-object caches, guarded internally). Matching allocates nothing of ours.
class Expression {
 public:
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;
  ~Expression();

  // Runs on text[0, len) as a text of its own (so ^, \A and word assertions see its start
  // as the start of a text) and reports the end offset of the leftmost-first match. The
  // match normally starts at 0; for a pattern that escapes its wrapper it may start later,
  // and the end offset is still what is reported.
  [[nodiscard]] bool match_prefix(const char* text, uint64_t len, uint64_t* end) const noexcept {
    if (__builtin_expect(plain_, 1)) {
      re2::StringPiece m;
      if (!re_->Match(re2::StringPiece(text, len), 0, len, RE2::UNANCHORED, &m, 1)) return false;
      *end = static_cast<uint64_t>(m.data() - text) + m.size();
      return true;
    }
    uint64_t start;
    return search(text, len, 0, &start, end);
  }

  // The leftmost-first match that starts at or after `from` in text[0, n) (the bytes before
  // `from` are context for assertions). Empty matches inside a multi-byte character are
  // skipped. False when there is none.
  [[nodiscard]] bool find(const char* text, uint64_t n, uint64_t from, uint64_t* start,
                          uint64_t* end) const noexcept {
    if (__builtin_expect(!plain_, 0)) return search(text, n, from, start, end);
    const re2::StringPiece whole(text, n);
    while (from <= n) {
      re2::StringPiece m;
      if (!re_->Match(whole, from, n, RE2::UNANCHORED, &m, 1)) return false;
      const uint64_t b = static_cast<uint64_t>(m.data() - text);
      if (m.size() == 0 && b < n && (static_cast<unsigned char>(text[b]) & 0xC0) == 0x80) {
        from = b + 1;  // an empty match never splits a character
        continue;
      }
      *start = b;
      *end = b + m.size();
      return true;
    }
    return false;
  }

  // RE2's program size (instructions) of this expression.
  [[nodiscard]] uint64_t program_size() const noexcept;
  // The RE2 text it was compiled from (for tests and diagnostics).
  [[nodiscard]] const std::string& re2_pattern() const noexcept { return re2_text_; }

 private:
  friend struct Compiler;
  Expression() = default;
  [[nodiscard]] bool search(const char* text, uint64_t n, uint64_t from, uint64_t* start, uint64_t* end) const noexcept;

  std::unique_ptr<RE2> re_;
  bool plain_ = true;       // no leading assertion to check and no trimmed end: RE2 alone decides
  std::string re2_text_;
  int nsub_ = 1;            // 2 when capture group 1 gives the real end (a folded look-ahead)
  bool lead_ = false;       // a word assertion to check at the match start
  uint8_t lead_kind_ = 0;   // its AssertKind
  bool lead_unicode_ = false;
};

// The non-overlapping matches of an expression over a whole text, in order: each search
// starts where the previous match ended; an empty match that ends where the previous match
// ended is not reported and the search moves one byte on. Empty matches are reported.
class MatchIterator {
 public:
  MatchIterator(const Expression& expression, const char* text, uint64_t n) noexcept
      : expression_(expression), text_(text), n_(n) {}
  // The next match; false when there are no more.
  [[nodiscard]] bool next(uint64_t* start, uint64_t* end) noexcept {
    if (done_) return false;
    uint64_t s;
    uint64_t e;
    if (!expression_.find(text_, n_, from_, &s, &e) ||
        (s == e && has_last_ && e == last_end_ && !expression_.find(text_, n_, from_ + 1, &s, &e))) {
      done_ = true;
      return false;
    }
    from_ = e;
    last_end_ = e;
    has_last_ = true;
    *start = s;
    *end = e;
    return true;
  }

 private:
  const Expression& expression_;
  const char* text_;
  uint64_t n_;
  uint64_t from_ = 0;
  uint64_t last_end_ = 0;
  bool has_last_ = false;
  bool done_ = false;
};

struct CompileResult {
  std::unique_ptr<Expression> expression;  // null on error
  std::string error;                       // the error text when expression is null
  bool single_class = false;               // the pattern inside its wrapper is one bracket class
  uint64_t class_work = 0;                 // ranges read by class evaluation (see Emission)
  uint64_t largest_fragment = 0;           // bytes of the longest RE2 text made for one node
};

// Compiles a wrapped pattern ("^(?:...)" or "(?:...)") with Unicode mode on or off. Errors:
// "regex parse error:" with the text and a caret line, or the size-limit text.
[[nodiscard]] CompileResult compile(std::string_view wrapped, bool unicode);

}  // namespace vantorel::regex
