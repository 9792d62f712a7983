// RE2 behind a thin adapter: a compiled expression and its match calls, the building of an
// expression from RE2 text, and what an RE2 class matches (for tests). This pair of files
// is the only place that holds RE2, and it knows nothing of the dialect: the front end hands
// it RE2 text that already means what the dialect means. The match calls are inline, so that
// a match through the adapter costs what the RE2 call costs.
#pragma once

#include <re2/re2.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "elements/regex_dfa.hpp"
#include "elements/utf8.hpp"

namespace vantorel::regex {

// How a match of an RE2 text maps to the match it stands for, when the text reads the
// characters around the match by consuming them (the front end's context pass).
struct MatchShape {
  bool prefix = false;        // the text consumes the character before the match first...
  bool start_marker = false;  // ...unless capture group 1 takes part (a match at the text's start)
  // Every capture group but that one, when it takes part, marks a match that consumed the
  // character after its end.
  // With a start marker: the text without the alternative for a match at the text's start,
  // for the searches that must not start there.
  std::string later_text;
  // Every match consumes the character after its end, unless it reaches the text's end: the
  // markers are then read to tell whether it consumed the last character.
  bool suffix = false;
};

// A compiled expression. Immutable once built, safe to use from many threads at once (RE2
// keeps its own per-object caches, guarded internally). Matching allocates nothing of ours,
// except the places of a text's capture groups beyond the 31 kept on the stack.
//
// An expression may carry a byte DFA of its pattern (regex_dfa.hpp); match_prefix and find
// then take it as their fast road, and match_prefix_plain and find_plain are the RE2 road
// that it must equal. Two expressions can share one RE2 program: an anchored view runs the
// program of "(?:P)" anchored at the start of its text, which is what "^(?:P)" matches when
// P stays inside its group.
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
    if (dfa_ != nullptr) return dfa_->match_prefix(text, len, end);
    return match_prefix_plain(text, len, end);
  }

  // match_prefix through RE2 alone.
  [[nodiscard]] bool match_prefix_plain(const char* text, uint64_t len, uint64_t* end) const noexcept {
    if (__builtin_expect(plain_, 1)) {
      re2::StringPiece m;
      if (!re_->Match(re2::StringPiece(text, len), 0, len, anchor_, &m, 1)) return false;
      *end = static_cast<uint64_t>(m.data() - text) + m.size();
      return true;
    }
    uint64_t start;
    return search(text, len, 0, &start, end);
  }

  // The leftmost-first match that starts at or after `from` in text[0, n) (the bytes before
  // `from` are context for assertions). Empty matches inside a multi-byte character are
  // skipped. False when there is none.
  //
  // With a DFA of a pattern that cannot match the empty text, the match starts at the first
  // position from `from` at which the anchored match succeeds, and no position whose byte
  // cannot begin a match needs a try: the DFA jumps to the next candidate byte and tries
  // there. A candidate that fails hands the rest of this search to RE2, whose search is
  // linear, so that a text of failing candidates costs what RE2's own search costs.
  [[nodiscard]] bool find(const char* text, uint64_t n, uint64_t from, uint64_t* start,
                          uint64_t* end) const noexcept {
    if (dfa_ != nullptr && !dfa_->matches_empty()) {
      const uint64_t p = dfa_->next_candidate(text, n, from);
      if (p >= n) return false;
      uint64_t e;
      if (dfa_->match_prefix(text + p, n - p, &e)) {
        *start = p;
        *end = p + e;
        return true;
      }
      return find_plain(text, n, p + 1, start, end);
    }
    return find_plain(text, n, from, start, end);
  }

  // find through RE2 alone.
  [[nodiscard]] bool find_plain(const char* text, uint64_t n, uint64_t from, uint64_t* start,
                                uint64_t* end) const noexcept {
    if (__builtin_expect(!plain_, 0)) return search(text, n, from, start, end);
    const re2::StringPiece whole(text, n);
    while (from <= n) {
      re2::StringPiece m;
      if (!re_->Match(whole, from, n, RE2::UNANCHORED, &m, 1)) return false;
      const uint64_t b = static_cast<uint64_t>(m.data() - text);
      if (m.size() == 0 && is_inside_character(text, n, b)) {
        from = b + 1;  // an empty match never splits a character
        continue;
      }
      *start = b;
      *end = b + m.size();
      return true;
    }
    return false;
  }

  // A new expression on this one's RE2 program and DFA that matches only at the start of
  // the text it runs on: the anchored expression of a pattern that stays inside its group.
  // Only for an expression without capture groups. Allocates the view.
  [[nodiscard]] std::unique_ptr<Expression> anchored_view() const;

  // RE2's program size (instructions) of this expression.
  [[nodiscard]] uint64_t program_size() const noexcept;
  // The RE2 text it was compiled from (for tests and diagnostics).
  [[nodiscard]] const std::string& re2_pattern() const noexcept { return re2_text_; }
  // The DFA that answers for RE2, or null.
  [[nodiscard]] const ByteDfa* dfa() const noexcept { return dfa_.get(); }

 private:
  friend struct ExpressionBuilder;
  Expression() = default;
  // find and match_prefix for a text with capture groups (a MatchShape).
  [[nodiscard]] bool search(const char* text, uint64_t n, uint64_t from, uint64_t* start, uint64_t* end) const noexcept;

  // The program for searches that must not start at the text's start: compiled when first
  // needed (it is a part of re_, so it fits wherever re_ does).
  [[nodiscard]] const RE2& later() const noexcept;

  std::shared_ptr<const RE2> re_;
  RE2::Anchor anchor_ = RE2::UNANCHORED;  // ANCHOR_START for an anchored view
  std::shared_ptr<const ByteDfa> dfa_;
  mutable std::once_flag later_once_;
  mutable std::unique_ptr<RE2> later_;
  bool plain_ = true;  // no capture groups: RE2's match is the match
  std::string re2_text_;
  MatchShape shape_;
  int groups_ = 0;     // capture groups in the text
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

// What RE2 made of a text: the expression, or why it refused.
struct BuiltExpression {
  std::unique_ptr<Expression> expression;  // null when RE2 refused the text
  bool too_large = false;                  // the refusal was RE2's own program-size limit
  std::string re2_error;                   // RE2's description of any other refusal
};

// Compiles `re2_text` (UTF-8, leftmost-first, no logging). A text without capture groups is
// matched as it stands; one with them is read by `shape`. `dfa`, when not null, is a DFA of
// the same pattern that the expression takes as its fast road. Allocates the expression.
[[nodiscard]] BuiltExpression build_expression(std::string re2_text, MatchShape shape,
                                               std::shared_ptr<const ByteDfa> dfa = nullptr);

// The instructions of all the programs RE2 has built in this process so far (the cost of
// compiling is about proportional to them), for tests that check what a construction
// compiles. Atomic; never decreases.
[[nodiscard]] uint64_t re2_instructions_built() noexcept;

// Appends RE2's spelling of the code point `c`: \x{...} with upper-case hex digits.
void append_hex(std::string& out, uint32_t c);

// The RE2 program size of `re2_text` compiled as build_expression compiles it without an
// end group (0 if RE2 refuses it).
[[nodiscard]] uint64_t re2_program_size(std::string_view re2_text);

// ---- what RE2 matches ----------------------------------------------------------------------

// The members of an RE2 class text, as the runs that one pass of it over a text of every code
// point (surrogates excluded) matches: the plain road that the front end's class texts must
// equal (for tests; the pass costs milliseconds).
[[nodiscard]] std::vector<CodePointRange> re2_class_members(const std::string& class_text);

}  // namespace vantorel::regex
