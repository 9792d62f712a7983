// RE2 behind the adapter: options, compilation of the emitted text with the size rule, the
// anchored and unanchored match calls, and the edge check of emulated word assertions.
#include "elements/regex_adapter.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

#include "elements/regex_emit.hpp"
#include "elements/regex_parse.hpp"
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
// a class gives the class's members as runs.
std::string all_code_points() {
  std::string all;
  all.reserve(4400000);
  auto put = [&](uint32_t c) {
    if (c < 0x80) {
      all.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      all.push_back(static_cast<char>(0xC0 | (c >> 6)));
      all.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      all.push_back(static_cast<char>(0xE0 | (c >> 12)));
      all.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      all.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      all.push_back(static_cast<char>(0xF0 | (c >> 18)));
      all.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      all.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      all.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  };
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c == 0xD800) c = 0xE000;
    put(c);
  }
  return all;
}

// The members of an RE2 class text, as ranges, read off RE2's own tables.
std::vector<CodeRange> class_members(const std::string& class_text) {
  const std::string all = all_code_points();
  RE2 re("(?:" + class_text + ")+", options(false));
  std::vector<CodeRange> out;
  const auto* s = reinterpret_cast<const unsigned char*>(all.data());
  re2::StringPiece text(all);
  re2::StringPiece m;
  size_t from = 0;
  while (from < all.size() && re.Match(text, from, all.size(), RE2::UNANCHORED, &m, 1)) {
    const uint64_t start = static_cast<uint64_t>(m.data() - all.data());
    const uint64_t end = start + m.size();
    out.push_back({decode_at(s, all.size(), start), decode_before(s, all.size(), end)});
    from = end;
  }
  return out;
}

const std::vector<CodeRange>& word_ranges() {
  static const std::vector<CodeRange> ranges = class_members("[" + std::string(kUnicodeWordClass) + "]");
  return ranges;
}

}  // namespace

bool is_group_name_char(uint32_t c, bool first) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (!first && c >= '0' && c <= '9');
  static const std::vector<CodeRange> alphabetic = class_members(
      "[\\p{L}\\p{Nl}\\p{M}\\x{24B6}-\\x{24E9}\\x{1F130}-\\x{1F149}\\x{1F150}-\\x{1F169}\\x{1F170}-\\x{1F189}]");
  static const std::vector<CodeRange> alphanumeric = class_members(
      "[\\p{L}\\p{N}\\p{M}\\x{24B6}-\\x{24E9}\\x{1F130}-\\x{1F149}\\x{1F150}-\\x{1F169}\\x{1F170}-\\x{1F189}]");
  const std::vector<CodeRange>& ranges = first ? alphabetic : alphanumeric;
  auto it = std::upper_bound(ranges.begin(), ranges.end(), c, [](uint32_t x, const CodeRange& r) { return x < r.lo; });
  return it != ranges.begin() && c <= std::prev(it)->hi;
}

bool is_unicode_word(uint32_t cp) {
  if (cp < 0x80) return ascii_word_byte(static_cast<unsigned char>(cp));
  const std::vector<CodeRange>& ranges = word_ranges();
  auto it = std::upper_bound(ranges.begin(), ranges.end(), cp, [](uint32_t c, const CodeRange& r) { return c < r.lo; });
  return it != ranges.begin() && cp <= std::prev(it)->hi;
}

uint8_t unicode_word_overlap(uint32_t lo, uint32_t hi) {
  const std::vector<CodeRange>& ranges = word_ranges();
  uint8_t bits = 0;
  uint32_t covered = 0;  // word characters of [lo, hi]
  for (const CodeRange& r : ranges) {
    if (r.hi < lo || r.lo > hi) continue;
    bits |= 1;
    covered += std::min(r.hi, hi) - std::max(r.lo, lo) + 1;
  }
  if (covered < hi - lo + 1) bits |= 2;
  return bits;
}

std::vector<CodeRange> case_fold_closure(std::string_view class_text) {
  return class_members("(?i:" + std::string(class_text) + ")");
}

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
