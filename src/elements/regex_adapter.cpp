// RE2 behind the adapter: options, building an expression, the match calls that check a
// start or trim an end, and the reading of what an RE2 class matches (for tests).
#include "elements/regex_adapter.hpp"

#include "elements/fatal.hpp"

namespace vantorel::regex {

namespace {

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
  static BuiltExpression build(std::string re2_text, bool end_group, StartCheck start_check, uint8_t start_arg) {
    BuiltExpression out;
    std::unique_ptr<Expression> e(new Expression());
    e->re_ = std::make_unique<RE2>(re2::StringPiece(re2_text.data(), re2_text.size()), options(end_group));
    if (!e->re_->ok()) {
      out.too_large = e->re_->error_code() == RE2::ErrorPatternTooLarge;
      out.re2_error = e->re_->error();
      return out;
    }
    e->re2_text_ = std::move(re2_text);
    e->nsub_ = end_group ? 2 : 1;
    e->start_check_ = start_check;
    e->start_arg_ = start_arg;
    e->plain_ = start_check == nullptr && !end_group;
    out.expression = std::move(e);
    return out;
  }
};

BuiltExpression build_expression(std::string re2_text, bool end_group, StartCheck start_check, uint8_t start_arg) {
  return ExpressionBuilder::build(std::move(re2_text), end_group, start_check, start_arg);
}

uint64_t re2_program_size(std::string_view re2_text) {
  RE2 re(re2::StringPiece(re2_text.data(), re2_text.size()), options(false));
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

bool Expression::search(const char* text, uint64_t n, uint64_t from, uint64_t* start, uint64_t* end) const noexcept {
  const re2::StringPiece whole(text, n);
  re2::StringPiece m[2];
  while (from <= n) {
    if (!re_->Match(whole, from, n, RE2::UNANCHORED, m, nsub_)) return false;
    const uint64_t b = static_cast<uint64_t>(m[0].data() - text);
    const uint64_t e = nsub_ == 2 ? static_cast<uint64_t>(m[1].data() - text) + m[1].size() : b + m[0].size();
    if (start_check_ != nullptr && !start_check_(text, n, b, start_arg_)) {
      // No match starts at b; try from the next character.
      from = next_character_boundary(text, n, b + 1);
      continue;
    }
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
