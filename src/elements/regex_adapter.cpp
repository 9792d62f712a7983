// RE2 behind the adapter: options, compilation of the emitted text with the size rule, the
// anchored and unanchored match calls, the edge check of emulated word assertions, and the
// reading of RE2's own Unicode tables (general categories, scripts, case folding) from which
// the table unit builds its sets.
#include "elements/regex_adapter.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

#include "elements/fatal.hpp"
#include "elements/regex_emit.hpp"
#include "elements/regex_parse.hpp"
#include "elements/regex_tables.hpp"
#include "elements/regex_unicode.hpp"

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

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The code point that starts at p (p < n, a character boundary).
uint32_t decode_at(const unsigned char* s, uint64_t n, uint64_t p) {
  const unsigned char b = s[p];
  if (b < 0x80) return b;
  uint32_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 4;
  uint32_t cp = b & (len == 2 ? 0x1Fu : len == 3 ? 0x0Fu : 0x07u);
  for (uint32_t k = 1; k < len && p + k < n; ++k) cp = (cp << 6) | (s[p + k] & 0x3Fu);
  return cp;
}

// The code point that ends just before p (p > 0).
uint32_t decode_before(const unsigned char* s, uint64_t n, uint64_t p) {
  uint64_t q = p - 1;
  while (q > 0 && is_continuation(s[q])) --q;
  return decode_at(s, n, q);
}

bool ascii_word_byte(unsigned char b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
}

// Whether the word assertion `kind` holds at p of text[0, n).
bool assertion_holds(AssertKind kind, bool unicode, const char* text, uint64_t n, uint64_t p) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  bool before;
  bool after;
  if (unicode) {
    before = p > 0 && is_unicode_word(decode_before(s, n, p));
    after = p < n && is_unicode_word(decode_at(s, n, p));
  } else {
    before = p > 0 && ascii_word_byte(s[p - 1]);
    after = p < n && ascii_word_byte(s[p]);
  }
  switch (kind) {
    case AssertKind::WordBoundary: return before != after;
    case AssertKind::NotWordBoundary: return before == after;
    case AssertKind::WordStart: return !before && after;
    case AssertKind::WordEnd: return before && !after;
    case AssertKind::WordStartHalf: return !before;
    case AssertKind::WordEndHalf: return !after;
    default: return true;
  }
}

// Every code point in order (surrogates excluded), as UTF-8: a text over which one pass of
// a class gives the class's members as runs. Built into a buffer sized once.
std::string all_code_points() {
  constexpr size_t kBytes = 0x80 + 2 * (0x800 - 0x80) + 3 * (0x10000 - 0x800 - 0x800) + 4 * (0x110000 - 0x10000);
  std::string all(kBytes, '\0');
  char* p = all.data();
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c == 0xD800) c = 0xE000;
    if (c < 0x80) {
      *p++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *p++ = static_cast<char>(0xC0 | (c >> 6));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *p++ = static_cast<char>(0xE0 | (c >> 12));
      *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *p++ = static_cast<char>(0xF0 | (c >> 18));
      *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  VANTOREL_CHECK(p == all.data() + all.size(), "code point text of the wrong length");
  return all;
}

uint64_t utf8_length(unsigned char b) { return b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4; }

// Appends the run [lo, hi] of a text without surrogates: a run that passes over them is two
// ranges, since the text has nothing between U+D7FF and U+E000.
void push_run(std::vector<CodeRange>& out, uint32_t lo, uint32_t hi) {
  if (lo < 0xD800 && hi > 0xDFFF) {
    out.push_back({lo, 0xD7FF});
    out.push_back({0xE000, hi});
  } else {
    out.push_back({lo, hi});
  }
}

std::atomic<uint64_t> g_code_point_scans{0};

}  // namespace

std::vector<std::vector<CodeRange>> re2_class_partition(const std::vector<std::string>& items) {
  g_code_point_scans.fetch_add(1, std::memory_order_relaxed);
  const std::string all = all_code_points();
  const auto* s = reinterpret_cast<const unsigned char*>(all.data());
  const uint64_t n = all.size();
  const re2::StringPiece text(all);
  // One expression per class, a run of its members: matched on one character it tests
  // membership, matched from a position it finds where the run ends.
  std::vector<std::unique_ptr<RE2>> run;
  std::string outside = "[^";
  for (const std::string& item : items) {
    run.push_back(std::make_unique<RE2>("[" + item + "]+", options(false)));
    VANTOREL_CHECK(run.back()->ok(), "a class of RE2's tables does not compile");
    outside += item;
  }
  const RE2 none(outside + "]+", options(false));
  VANTOREL_CHECK(none.ok(), "the complement of RE2's classes does not compile");
  // Classes in the order of their last use: neighbouring runs mostly belong to a few classes.
  std::vector<size_t> order(items.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::vector<std::vector<CodeRange>> members(items.size());
  uint64_t pos = 0;
  while (pos < n) {
    const uint64_t len = utf8_length(s[pos]);
    size_t found = order.size();
    for (size_t j = 0; j < order.size(); ++j) {
      if (run[order[j]]->Match(text, pos, pos + len, RE2::ANCHOR_BOTH, nullptr, 0)) {
        found = j;
        break;
      }
    }
    const RE2& re = found < order.size() ? *run[order[found]] : none;
    re2::StringPiece m;
    VANTOREL_CHECK(re.Match(text, pos, n, RE2::ANCHOR_START, &m, 1) && !m.empty(), "a run of RE2's classes is empty");
    const uint64_t end = pos + m.size();
    if (found < order.size()) {
      const size_t k = order[found];
      push_run(members[k], decode_at(s, n, pos), decode_before(s, n, end));
      std::rotate(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(found),
                  order.begin() + static_cast<std::ptrdiff_t>(found) + 1);
    }
    pos = end;
  }
  for (std::vector<CodeRange>& m : members) sort_and_merge(m);
  return members;
}

std::vector<CodeRange> re2_class_members(const std::string& class_text) {
  g_code_point_scans.fetch_add(1, std::memory_order_relaxed);
  const std::string all = all_code_points();
  const auto* s = reinterpret_cast<const unsigned char*>(all.data());
  const uint64_t n = all.size();
  const RE2 re("(?:" + class_text + ")+", options(false));
  VANTOREL_CHECK(re.ok(), "a class text that RE2 does not compile");
  std::vector<CodeRange> out;
  const re2::StringPiece text(all);
  re2::StringPiece m;
  uint64_t from = 0;
  while (from < n && re.Match(text, from, n, RE2::UNANCHORED, &m, 1)) {
    const uint64_t start = static_cast<uint64_t>(m.data() - all.data());
    const uint64_t end = start + m.size();
    push_run(out, decode_at(s, n, start), decode_before(s, n, end));
    from = end;
  }
  return out;
}

std::vector<CodeRange> re2_fold_orbit_bounds(const std::vector<uint32_t>& chars) {
  std::vector<CodeRange> out;
  out.reserve(chars.size());
  const RE2::Options o = options(false);
  std::string pattern;
  std::string low;
  std::string high;
  for (const uint32_t c : chars) {
    pattern = "^(?i:";
    append_hex(pattern, c);
    pattern += ")";
    const RE2 re(pattern, o);
    CodeRange bounds{c, c};
    if (re.ok() && re.PossibleMatchRange(&low, &high, 8)) {
      const auto* lo = reinterpret_cast<const unsigned char*>(low.data());
      const auto* hi = reinterpret_cast<const unsigned char*>(high.data());
      // Each bound is one whole character when RE2 reports the orbit exactly.
      if (!low.empty() && utf8_length(lo[0]) == low.size() && !high.empty() && utf8_length(hi[0]) == high.size()) {
        bounds = {decode_at(lo, low.size(), 0), decode_at(hi, high.size(), 0)};
      }
    }
    VANTOREL_CHECK(bounds.lo <= c && c <= bounds.hi, "a case-folding orbit that does not hold its character");
    out.push_back(bounds);
  }
  return out;
}

uint64_t re2_code_point_scans() { return g_code_point_scans.load(std::memory_order_relaxed); }

uint64_t re2_program_size(std::string_view re2_text) {
  RE2 re(re2::StringPiece(re2_text.data(), re2_text.size()), options(false));
  return re.ok() ? static_cast<uint64_t>(re.ProgramSize()) : 0;
}

Expression::~Expression() = default;

uint64_t Expression::program_size() const noexcept { return static_cast<uint64_t>(re_->ProgramSize()); }

bool Expression::search(const char* text, uint64_t n, uint64_t from, uint64_t* start, uint64_t* end) const noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const re2::StringPiece whole(text, n);
  re2::StringPiece m[2];
  while (from <= n) {
    if (!re_->Match(whole, from, n, RE2::UNANCHORED, m, nsub_)) return false;
    const uint64_t b = static_cast<uint64_t>(m[0].data() - text);
    const uint64_t e = nsub_ == 2 ? static_cast<uint64_t>(m[1].data() - text) + m[1].size() : b + m[0].size();
    if (lead_ && !assertion_holds(static_cast<AssertKind>(lead_kind_), lead_unicode_, text, n, b)) {
      // The stripped leading assertion fails here: no match starts at b; try the next character.
      from = b + 1;
      while (from < n && is_continuation(s[from])) ++from;
      continue;
    }
    // An empty match never splits a character.
    if (b == e && b < n && is_continuation(s[b])) {
      from = b + 1;
      continue;
    }
    *start = b;
    *end = e;
    return true;
  }
  return false;
}

struct Compiler {
  static CompileResult run(std::string_view wrapped, bool unicode) {
    CompileResult out;
    ParseResult parsed = parse(wrapped);
    if (!parsed.ok) {
      out.error = format_error(wrapped, parsed.error);
      return out;
    }
    Emission em = emit(parsed.ast, unicode);
    out.class_work = em.class_work;
    out.largest_fragment = em.largest_fragment;
    if (em.size_exceeded) {
      out.error = std::string(kSizeLimitMessage);
      return out;
    }
    if (!em.ok) {
      out.error = format_error(wrapped, em.error);
      return out;
    }
    std::unique_ptr<Expression> e(new Expression());
    e->re_ = std::make_unique<RE2>(re2::StringPiece(em.re2.data(), em.re2.size()), options(em.trim));
    if (!e->re_->ok()) {
      if (e->re_->error_code() == RE2::ErrorPatternTooLarge) {
        out.error = std::string(kSizeLimitMessage);
      } else {
        out.error = "regex parse error:\n    " + std::string(wrapped) + "\nerror: " + e->re_->error();
      }
      return out;
    }
    if (static_cast<uint64_t>(e->re_->ProgramSize()) > kMaxProgramSize) {
      out.error = std::string(kSizeLimitMessage);
      return out;
    }
    e->re2_text_ = std::move(em.re2);
    e->nsub_ = em.trim ? 2 : 1;
    e->lead_ = em.lead;
    e->lead_kind_ = static_cast<uint8_t>(em.lead_kind);
    e->lead_unicode_ = em.lead_unicode;
    e->plain_ = !e->lead_ && e->nsub_ == 1;
    out.single_class = em.single_class;
    out.expression = std::move(e);
    return out;
  }
};

CompileResult compile(std::string_view wrapped, bool unicode) { return Compiler::run(wrapped, unicode); }

}  // namespace vantorel::regex
