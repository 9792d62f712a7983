// RE2 behind the adapter: options, building an expression, the match calls that check a
// start or trim an end, and the reading of what an RE2 class matches (for tests).
#include "elements/regex_adapter.hpp"

#include <atomic>

#include "elements/fatal.hpp"

namespace vantorel::regex {

namespace {

// The instructions of every program RE2 has built in this process (see
// re2_instructions_built).
std::atomic<uint64_t> g_instructions_built{0};

// Counts a program RE2 has just built.
void count_built(const RE2& re) {
  if (re.ok()) g_instructions_built.fetch_add(static_cast<uint64_t>(re.ProgramSize()), std::memory_order_relaxed);
}

RE2::Options options(bool captures) {
  RE2::Options o;
  o.set_encoding(RE2::Options::EncodingUTF8);
  o.set_log_errors(false);
  o.set_never_capture(!captures);
  o.set_longest_match(false);
  return o;
}

// Every code point in order (surrogates excluded), as UTF-8: a text over which one pass of
// a class gives the class's members as runs. Built into a buffer sized once.
std::string all_code_points() {
  constexpr size_t kBytes = 0x80 + 2 * (0x800 - 0x80) + 3 * (0x10000 - 0x800 - 0x800) + 4 * (0x110000 - 0x10000);
  std::string all;
  all.reserve(kBytes);
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c == 0xD800) c = 0xE000;
    append_utf8(all, c);
  }
  VANTOREL_CHECK(all.size() == kBytes, "code point text of the wrong length");
  return all;
}

// The first and last code points of the run text[start, end) (whole characters).
CodePointRange run_bounds(const std::string& text, uint64_t start, uint64_t end) {
  return {decode_utf8_at(text.data(), text.size(), start).code_point,
          decode_utf8_before(text.data(), text.size(), end).code_point};
}

// Appends the run `r` of a text without surrogates: a run that passes over them is two
// ranges, since the text has nothing between U+D7FF and U+E000.
void push_run(std::vector<CodePointRange>& out, CodePointRange r) {
  if (r.lo < 0xD800 && r.hi > 0xDFFF) {
    out.push_back({r.lo, 0xD7FF});
    out.push_back({0xE000, r.hi});
  } else {
    out.push_back(r);
  }
}

}  // namespace

// ---- expressions ----------------------------------------------------------------------------

struct ExpressionBuilder {
  static BuiltExpression build(std::string re2_text, MatchShape shape, std::shared_ptr<const ByteDfa> dfa) {
    BuiltExpression out;
    std::unique_ptr<Expression> e(new Expression());
    // The front end writes no capture group but the markers "()": every other parenthesis it
    // writes opens (?:, and parentheses of the pattern are written as \x{28} and \x{29}.
    const bool captures = re2_text.find("()") != std::string::npos;
    auto re = std::make_shared<const RE2>(re2::StringPiece(re2_text.data(), re2_text.size()), options(captures));
    count_built(*re);
    if (!re->ok()) {
      out.too_large = re->error_code() == RE2::ErrorPatternTooLarge;
      out.re2_error = re->error();
      return out;
    }
    e->re_ = std::move(re);
    e->re2_text_ = std::move(re2_text);
    e->shape_ = std::move(shape);
    e->groups_ = captures ? e->re_->NumberOfCapturingGroups() : 0;
    e->plain_ = e->groups_ == 0 && !e->shape_.prefix && !e->shape_.suffix;
    if (e->plain_) e->dfa_ = std::move(dfa);
    out.expression = std::move(e);
    return out;
  }

  static std::unique_ptr<Expression> anchored_view(const Expression& of) {
    VANTOREL_CHECK(of.plain_, "an anchored view of an expression with capture groups");
    std::unique_ptr<Expression> e(new Expression());
    e->re_ = of.re_;
    e->anchor_ = RE2::ANCHOR_START;
    e->dfa_ = of.dfa_;
    e->re2_text_ = of.re2_text_;
    return e;
  }
};

BuiltExpression build_expression(std::string re2_text, MatchShape shape, std::shared_ptr<const ByteDfa> dfa) {
  return ExpressionBuilder::build(std::move(re2_text), shape, std::move(dfa));
}

std::unique_ptr<Expression> Expression::anchored_view() const { return ExpressionBuilder::anchored_view(*this); }

uint64_t re2_instructions_built() noexcept { return g_instructions_built.load(std::memory_order_relaxed); }

uint64_t re2_program_size(std::string_view re2_text) {
  RE2 re(re2::StringPiece(re2_text.data(), re2_text.size()), options(false));
  count_built(re);
  return re.ok() ? static_cast<uint64_t>(re.ProgramSize()) : 0;
}

void append_hex(std::string& out, uint32_t c) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kDigits[c & 15];
    c >>= 4;
  } while (c != 0);
  out += "\\x{";
  while (n > 0) out.push_back(buf[--n]);
  out += "}";
}

Expression::~Expression() = default;

uint64_t Expression::program_size() const noexcept { return static_cast<uint64_t>(re_->ProgramSize()); }

const RE2& Expression::later() const noexcept {
  std::call_once(later_once_, [this] {
    const std::string& t = shape_.later_text;
    later_ = std::make_unique<RE2>(re2::StringPiece(t.data(), t.size()), options(true));
    count_built(*later_);
    VANTOREL_CHECK(later_->ok(), "a part of a compiled expression does not compile");
  });
  return *later_;
}

bool Expression::search(const char* text, uint64_t n, uint64_t from, uint64_t* start, uint64_t* end) const noexcept {
  const re2::StringPiece whole(text, n);
  // The groups' places: on the stack unless a text has very many markers.
  constexpr int kInline = 32;
  const int nsub = groups_ + 1;
  re2::StringPiece inline_subs[kInline];
  std::unique_ptr<re2::StringPiece[]> many;
  re2::StringPiece* m = inline_subs;
  if (nsub > kInline) {
    many.reset(new re2::StringPiece[static_cast<size_t>(nsub)]);
    m = many.get();
  }

  while (from <= n) {
    // A text with a prefix consumes the character before the match: the search begins at the
    // start of the character that holds the byte before `from`, so that the match itself
    // begins at `from` or later.
    const uint64_t begin = shape_.prefix && from > 0 ? previous_character_boundary(text, n, from - 1) : from;
    const bool later = begin == 0 && from > 0 && !shape_.later_text.empty();
    const RE2& re = later ? this->later() : *re_;
    // RE2's DFAs find where the match and its consumed neighbours lie; the markers are read
    // (by matching that span again) only where the span leaves a doubt: a match at the
    // text's start, with or without the character before, and one that reaches the end.
    if (!re.Match(whole, begin, n, RE2::UNANCHORED, m, 1)) return false;
    uint64_t b = static_cast<uint64_t>(m[0].data() - text);
    uint64_t e = b + m[0].size();
    const bool at_start = !later && shape_.start_marker && b == 0;
    const bool at_end = shape_.suffix && e == n;
    bool from_start = false;
    bool consumed_after = shape_.suffix && e < n;
    if (at_start || at_end) {
      // The later program lacks the start marker, group 1 of the full one.
      const int subs = later ? nsub - 1 : nsub;
      const bool again = re.Match(whole, b, e, RE2::ANCHOR_BOTH, m, subs);
      VANTOREL_CHECK(again, "a match that RE2 does not find again");
      from_start = at_start && m[1].data() != nullptr;
      for (int g = !later && shape_.start_marker ? 2 : 1; g < subs && at_end; ++g) {
        consumed_after = consumed_after || m[g].data() != nullptr;
      }
    }
    if (shape_.prefix && !from_start) b += utf8_sequence_length(static_cast<unsigned char>(text[b]));
    if (consumed_after) e = previous_character_boundary(text, n, e - 1);
    // An empty match never splits a character.
    if (b == e && is_inside_character(text, n, b)) {
      from = b + 1;
      continue;
    }
    *start = b;
    *end = e;
    return true;
  }
  return false;
}

// ---- what RE2 matches -----------------------------------------------------------------------

std::vector<CodePointRange> re2_class_members(const std::string& class_text) {
  const std::string all = all_code_points();
  const uint64_t n = all.size();
  const RE2 re("(?:" + class_text + ")+", options(false));
  VANTOREL_CHECK(re.ok(), "a class text that RE2 does not compile");
  std::vector<CodePointRange> out;
  const re2::StringPiece text(all);
  re2::StringPiece m;
  uint64_t from = 0;
  while (from < n && re.Match(text, from, n, RE2::UNANCHORED, &m, 1)) {
    const uint64_t start = static_cast<uint64_t>(m.data() - all.data());
    const uint64_t end = start + m.size();
    push_run(out, run_bounds(all, start, end));
    from = end;
  }
  return out;
}

}  // namespace vantorel::regex
