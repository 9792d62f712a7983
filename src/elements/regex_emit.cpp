// The translator: walks the parsed tree with the current flags and produces RE2 text built
// only from constructs whose RE2 meaning is the dialect's. Unicode-off scopes reject what can
// match invalid UTF-8 or needs Unicode data (the caller then retries with Unicode on).
#include "elements/regex_emit.hpp"

#include <algorithm>
#include <bitset>
#include <initializer_list>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "elements/fatal.hpp"
#include "elements/regex_tables.hpp"
#include "elements/regex_unicode.hpp"

namespace vantorel::regex {

namespace {

// ---- code point sets --------------------------------------------------------------------

constexpr uint32_t kMaxCp = 0x10FFFF;

// A set of code points as sorted, disjoint, non-adjacent ranges. Every operation is one
// linear pass (or one sort) over its operands' ranges.
class RangeSet {
 public:
  RangeSet() = default;
  RangeSet(uint32_t lo, uint32_t hi) { r_.push_back({lo, hi}); }
  static RangeSet all() { return RangeSet(0, kMaxCp); }
  // `r` must already be in set form (sorted, disjoint, non-adjacent).
  static RangeSet of_list(RangeList r) {
    RangeSet s;
    s.r_ = std::move(r);
    return s;
  }

  void add(uint32_t lo, uint32_t hi) {
    r_.push_back({lo, hi});
    sort_and_merge(r_);
  }
  void add(const RangeSet& o) {
    r_.insert(r_.end(), o.r_.begin(), o.r_.end());
    sort_and_merge(r_);
  }
  // The union with many sets at once: one sort for all of them, so a class of n items
  // costs n log n, not n squared.
  template <class Items, class Get>
  void add_all(const Items& items, Get get) {
    for (const auto& item : items) {
      const RangeSet& o = get(item);
      r_.insert(r_.end(), o.r_.begin(), o.r_.end());
    }
    sort_and_merge(r_);
  }
  [[nodiscard]] RangeSet complement() const {
    RangeSet out;
    uint32_t next = 0;
    bool done = false;
    for (const CodeRange& x : r_) {
      if (x.lo > next) out.r_.push_back({next, x.lo - 1});
      if (x.hi >= kMaxCp) {
        done = true;
        break;
      }
      next = x.hi + 1;
    }
    if (!done) out.r_.push_back({next, kMaxCp});
    return out;
  }
  [[nodiscard]] RangeSet intersect(const RangeSet& o) const {
    RangeSet out;
    size_t i = 0, j = 0;
    while (i < r_.size() && j < o.r_.size()) {
      const uint32_t lo = std::max(r_[i].lo, o.r_[j].lo);
      const uint32_t hi = std::min(r_[i].hi, o.r_[j].hi);
      if (lo <= hi) out.r_.push_back({lo, hi});
      if (r_[i].hi < o.r_[j].hi) {
        ++i;
      } else {
        ++j;
      }
    }
    return out;
  }
  [[nodiscard]] bool empty() const { return r_.empty(); }
  [[nodiscard]] bool is_all() const { return r_.size() == 1 && r_[0].lo == 0 && r_[0].hi == kMaxCp; }
  [[nodiscard]] bool ascii_only() const { return r_.empty() || r_.back().hi < 0x80; }
  [[nodiscard]] bool contains(uint32_t c) const {
    auto it = std::upper_bound(r_.begin(), r_.end(), c, [](uint32_t x, const CodeRange& r) { return x < r.lo; });
    return it != r_.begin() && c <= std::prev(it)->hi;
  }
  [[nodiscard]] size_t size() const { return r_.size(); }
  [[nodiscard]] const RangeList& ranges() const { return r_; }

  // The set closed under simple case folding. ASCII-only sets are folded here (each ASCII
  // letter with its other case, k and s with KELVIN SIGN and LONG S); other sets through
  // the folding table.
  [[nodiscard]] RangeSet folded() const;

 private:
  RangeList r_;
};

using ByteBits = std::bitset<256>;

RangeSet RangeSet::folded() const {
  if (r_.empty() || is_all()) return *this;
  if (r_.back().hi >= 0x80) return of_list(case_fold_closure(r_));
  RangeSet out = *this;
  for (uint32_t c = 'a'; c <= 'z'; ++c) {
    if (contains(c) || contains(c - 32)) {
      out.r_.push_back({c, c});
      out.r_.push_back({c - 32, c - 32});
      if (c == 'k') out.r_.push_back({0x212A, 0x212A});
      if (c == 's') out.r_.push_back({0x17F, 0x17F});
    }
  }
  sort_and_merge(out.r_);
  return out;
}

bool is_ascii_word(uint32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

ByteBits ascii_class_bits(AsciiKind k) {
  ByteBits b;
  auto range = [&](uint32_t lo, uint32_t hi) {
    for (uint32_t c = lo; c <= hi; ++c) b.set(c);
  };
  switch (k) {
    case AsciiKind::Alnum: range('0', '9'); range('A', 'Z'); range('a', 'z'); break;
    case AsciiKind::Alpha: range('A', 'Z'); range('a', 'z'); break;
    case AsciiKind::Ascii: range(0, 0x7F); break;
    case AsciiKind::Blank: b.set('\t'); b.set(' '); break;
    case AsciiKind::Cntrl: range(0, 0x1F); b.set(0x7F); break;
    case AsciiKind::Digit: range('0', '9'); break;
    case AsciiKind::Graph: range(0x21, 0x7E); break;
    case AsciiKind::Lower: range('a', 'z'); break;
    case AsciiKind::Print: range(0x20, 0x7E); break;
    case AsciiKind::Punct: range(0x21, 0x2F); range(0x3A, 0x40); range(0x5B, 0x60); range(0x7B, 0x7E); break;
    case AsciiKind::Space: range(9, 13); b.set(' '); break;
    case AsciiKind::Upper: range('A', 'Z'); break;
    case AsciiKind::Word: range('0', '9'); range('A', 'Z'); range('a', 'z'); b.set('_'); break;
    case AsciiKind::Xdigit: range('0', '9'); range('A', 'F'); range('a', 'f'); break;
  }
  return b;
}

ByteBits perl_bits(PerlKind k) {
  switch (k) {
    case PerlKind::Digit: return ascii_class_bits(AsciiKind::Digit);
    case PerlKind::Space: return ascii_class_bits(AsciiKind::Space);
    case PerlKind::Word: break;
  }
  return ascii_class_bits(AsciiKind::Word);
}

void fold_bits(ByteBits& b) {
  for (uint32_t c = 'a'; c <= 'z'; ++c) {
    if (b.test(c) || b.test(c - 32)) {
      b.set(c);
      b.set(c - 32);
    }
  }
}

RangeSet bits_to_ranges(const ByteBits& b) {
  RangeSet out;
  for (uint32_t c = 0; c < 256; ++c) {
    if (!b.test(c)) continue;
    uint32_t e = c;
    while (e + 1 < 256 && b.test(e + 1)) ++e;
    out.add(c, e);
    c = e;
  }
  return out;
}

// ---- RE2 spelling -----------------------------------------------------------------------

// A literal outside a class: ASCII letters and digits as they are, everything else as \x{...}.
void append_literal(std::string& out, uint32_t c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
    out.push_back(static_cast<char>(c));
  } else {
    append_hex(out, c);
  }
}

void append_ranges(std::string& out, const RangeSet& s) {
  for (const CodeRange& r : s.ranges()) {
    append_hex(out, r.lo);
    if (r.hi != r.lo) {
      out.push_back('-');
      append_hex(out, r.hi);
    }
  }
}

constexpr std::string_view kNever = "[^\\x{0}-\\x{10FFFF}]";

// RE2 reads a class of exactly an ASCII letter and its other case as that letter under
// case folding, and when it merges such a letter with other branches of an alternation it
// adds the letter's whole folding orbit: [kK]|x would match KELVIN SIGN, [sS]|x LONG S.
// Those two pairs are spelled as an alternation of two literals, which RE2 keeps exact.
std::optional<std::string> case_pair_text(const RangeSet& s) {
  const RangeList& r = s.ranges();
  if (r.size() != 2 || r[0].lo != r[0].hi || r[1].lo != r[1].hi) return std::nullopt;
  for (const char upper : {'K', 'S'}) {
    const auto lower = static_cast<char>(upper | 0x20);
    if (r[0].lo == static_cast<uint32_t>(upper) && r[1].lo == static_cast<uint32_t>(lower)) {
      return std::string("(?:") + upper + "|" + lower + ")";
    }
  }
  return std::nullopt;
}

std::string ranges_class(const RangeSet& s) {
  if (s.empty()) return std::string(kNever);
  if (auto pair = case_pair_text(s)) return std::move(*pair);
  if (s.ranges().size() == 1 && s.ranges()[0].lo == s.ranges()[0].hi) {
    std::string out;
    append_literal(out, s.ranges()[0].lo);
    return out;
  }
  std::string out = "[";
  append_ranges(out, s);
  out += "]";
  return out;
}

// ---- class formulas (Unicode mode) ------------------------------------------------------

// A class as a small formula. Properties stay symbolic while the class is a plain union (RE2
// spells those natively and folds them itself under (?i)); a negation stays symbolic only at
// the top. Every other combination is evaluated at once into explicit ranges, folding each
// operand first under (?i), since the dialect folds every item before negating or combining
// it. The formula therefore never holds more nodes than the class has items.
struct CExpr {
  enum Kind : uint8_t { Ranges, Prop, Not, Or } kind = Ranges;
  RangeSet ranges;
  bool closed = false;  // Ranges: already closed under case folding
  bool opaque = false;  // Ranges: computed from set operations or negated items (its word-ness is not analysed)
  std::string prop;
  std::vector<CExpr> kids;

  static CExpr of(RangeSet r, bool closed = false, bool opaque = false) {
    CExpr e;
    e.ranges = std::move(r);
    e.closed = closed;
    e.opaque = opaque;
    return e;
  }
  static CExpr property(std::string name) {
    CExpr e;
    e.kind = Prop;
    e.prop = std::move(name);
    return e;
  }
};

constexpr std::string_view kTooComplex = "character class too complex (its set operations expand too far)";

// Evaluation of class formulas under one case-folding setting. It counts its work, the
// ranges that each operation reads, and refuses an operation that would take the count past
// kMaxClassWork: every operation is linear, so only very long patterns can get there.
class ClassAlgebra {
 public:
  ClassAlgebra(bool fold, uint64_t& work) : fold_(fold), work_(work) {}

  [[nodiscard]] bool exhausted() const { return exhausted_; }

  CExpr negate(CExpr x) {
    if (x.kind == CExpr::Ranges && (!fold_ || x.closed || x.ranges.ascii_only())) {
      const RangeSet r = operand(x);
      if (!charge(r.size())) return CExpr::of(RangeSet());
      return CExpr::of(r.complement(), fold_, x.opaque);
    }
    if (x.kind == CExpr::Not) return std::move(x.kids[0]);
    CExpr e;
    e.kind = CExpr::Not;
    e.kids.push_back(std::move(x));
    return e;
  }

  CExpr unite(std::vector<CExpr> xs) {
    bool plain = true;
    for (const CExpr& x : xs) plain = plain && x.kind != CExpr::Not;
    if (!plain) {
      std::vector<RangeSet> parts;
      for (const CExpr& x : xs) parts.push_back(value(x));
      return CExpr::of(union_of(parts), fold_, true);
    }
    // The explicit ranges merge into one part, with one sort; properties stay symbolic.
    std::vector<CExpr> parts;
    std::vector<RangeSet> ranges;
    bool closed = true;
    bool opaque = false;
    for (CExpr& x : xs) {
      if (x.kind != CExpr::Ranges) {
        parts.push_back(std::move(x));
        continue;
      }
      closed = closed && x.closed;
      opaque = opaque || x.opaque;
      ranges.push_back(std::move(x.ranges));
    }
    if (!ranges.empty()) {
      CExpr merged = CExpr::of(union_of(ranges), closed, opaque);
      if (parts.empty()) return merged;
      parts.insert(parts.begin(), std::move(merged));
    }
    CExpr e;
    e.kind = CExpr::Or;
    e.kids = std::move(parts);
    return e;
  }

  CExpr intersect(const CExpr& a, const CExpr& b) {
    const bool plain = a.kind == CExpr::Ranges && b.kind == CExpr::Ranges;
    const RangeSet x = value(a);
    const RangeSet y = value(b);
    if (!charge(x.size() + y.size())) return CExpr::of(RangeSet());
    return CExpr::of(x.intersect(y), fold_, !plain || a.opaque || b.opaque);
  }

  // The members of `e`, folded under (?i).
  RangeSet value(const CExpr& e) {
    switch (e.kind) {
      case CExpr::Ranges: return operand(e);
      case CExpr::Prop: {
        const RangeList& members = property_members(e.prop);
        if (!charge(members.size())) return RangeSet();
        if (!fold_) return RangeSet::of_list(members);
        // A property folded once per class: set operations read their operands twice.
        auto it = folded_props_.find(e.prop);
        if (it == folded_props_.end()) it = folded_props_.emplace(e.prop, fold(RangeSet::of_list(members))).first;
        return it->second;
      }
      case CExpr::Not: {
        RangeSet v = value(e.kids[0]);
        if (!charge(v.size())) return RangeSet();
        return v.complement();
      }
      case CExpr::Or: {
        std::vector<RangeSet> parts;
        for (const CExpr& k : e.kids) parts.push_back(value(k));
        return union_of(parts);
      }
    }
    return RangeSet();
  }

 private:
  // Counts `n` ranges about to be read; false, without counting them, when that would pass
  // the budget: the caller then skips the work, and the class is refused.
  bool charge(uint64_t n) {
    if (exhausted_ || n > kMaxClassWork - work_) {
      exhausted_ = true;
      return false;
    }
    work_ += n;
    return true;
  }
  RangeSet union_of(const std::vector<RangeSet>& parts) {
    uint64_t n = 0;
    for (const RangeSet& p : parts) n += p.size();
    RangeSet r;
    if (!charge(n)) return r;
    r.add_all(parts, [](const RangeSet& x) -> const RangeSet& { return x; });
    return r;
  }
  RangeSet fold(const RangeSet& r) {
    if (!charge(r.size())) return r;
    RangeSet out = r.folded();
    charge(out.size());
    return out;
  }
  RangeSet operand(const CExpr& x) { return fold_ && !x.closed ? fold(x.ranges) : x.ranges; }

  bool fold_;
  uint64_t& work_;
  bool exhausted_ = false;
  std::map<std::string, RangeSet, std::less<>> folded_props_;
};

constexpr uint64_t kMaxLazyNesting = 2000;

// Instruction counts saturate far above any limit instead of wrapping.
constexpr uint64_t kCountCap = uint64_t{1} << 40;
uint64_t saturating_add(uint64_t a, uint64_t b) { return std::min(kCountCap, a + b); }
uint64_t saturating_mul(uint64_t a, uint64_t b) { return b != 0 && a > kCountCap / b ? kCountCap : std::min(kCountCap, a * b); }
constexpr uint64_t kOptionalCopyCost = 32;

RangeSet white_space_set() {
  RangeSet s;
  for (const CodeRange& r : kWhiteSpaceRanges) s.add(r.lo, r.hi);
  return s;
}

CExpr word_formula() {
  RangeSet extra;
  for (const CodeRange& r : kExtraWordRanges) extra.add(r.lo, r.hi);
  CExpr e;
  e.kind = CExpr::Or;
  for (const char* n : {"L", "Nl", "M", "Nd", "Pc"}) e.kids.push_back(CExpr::property(n));
  e.kids.push_back(CExpr::of(std::move(extra)));
  return e;
}

CExpr props_formula(std::initializer_list<const char*> names) {
  CExpr e;
  e.kind = CExpr::Or;
  for (const char* n : names) e.kids.push_back(CExpr::property(n));
  return e;
}

CExpr perl_formula(PerlKind k) {
  switch (k) {
    case PerlKind::Digit: return CExpr::property("Nd");
    case PerlKind::Space: return CExpr::of(white_space_set());
    case PerlKind::Word: break;
  }
  return word_formula();
}

CExpr property_formula(const PropertyLookup& p, ClassAlgebra& algebra) {
  switch (p.kind) {
    case PropertyKind::Re2Name: return CExpr::property(p.re2_name);
    case PropertyKind::Any: return CExpr::of(RangeSet::all());
    case PropertyKind::Ascii: return CExpr::of(RangeSet(0, 0x7F));
    case PropertyKind::Assigned: return props_formula({"L", "M", "N", "P", "S", "Z", "Cc", "Cf", "Co"});
    case PropertyKind::Unassigned:
      return algebra.negate(props_formula({"L", "M", "N", "P", "S", "Z", "Cc", "Cf", "Co"}));
    case PropertyKind::Other: return algebra.negate(props_formula({"L", "M", "N", "P", "S", "Z"}));
    case PropertyKind::CasedLetter: return props_formula({"Lu", "Ll", "Lt"});
    case PropertyKind::WhiteSpace: return CExpr::of(white_space_set());
  }
  return CExpr::of(RangeSet());
}

// Flattens a plain union (Or, Ranges and Prop only) into its ranges (merged once, at the
// end) and its property names; false for anything else.
bool collect_plain_into(const CExpr& e, RangeList& ranges, std::vector<std::string>& props) {
  switch (e.kind) {
    case CExpr::Ranges: ranges.insert(ranges.end(), e.ranges.ranges().begin(), e.ranges.ranges().end()); return true;
    case CExpr::Prop: props.push_back(e.prop); return true;
    case CExpr::Or:
      for (const CExpr& k : e.kids) {
        if (!collect_plain_into(k, ranges, props)) return false;
      }
      return true;
    default:
      return false;
  }
}

bool collect_plain(const CExpr& e, RangeSet& ranges, std::vector<std::string>& props) {
  RangeList raw;
  if (!collect_plain_into(e, raw, props)) return false;
  sort_and_merge(raw);
  ranges = RangeSet::of_list(std::move(raw));
  return true;
}

// Whether a plain union holds a part computed from set operations.
bool holds_opaque(const CExpr& e) {
  if (e.kind == CExpr::Ranges) return e.opaque;
  for (const CExpr& k : e.kids) {
    if (holds_opaque(k)) return true;
  }
  return false;
}

bool all_closed(const CExpr& e) {
  switch (e.kind) {
    case CExpr::Ranges: return e.closed;
    case CExpr::Or:
      for (const CExpr& k : e.kids) {
        if (!all_closed(k)) return false;
      }
      return true;
    default:
      return false;
  }
}

void append_props(std::string& out, const std::vector<std::string>& props, bool negated) {
  for (const std::string& p : props) {
    out += negated ? "\\P{" : "\\p{";
    out += p;
    out += "}";
  }
}

// RE2 text of a class formula: a plain union, negated or not, is spelled natively. Under
// (?i) RE2 folds it, which the dialect's folding of each item amounts to; explicit ranges
// that are already closed under folding need no (?i) around them.
std::string class_text(const CExpr& e, bool fold) {
  bool negated = false;
  const CExpr* body = &e;
  while (body->kind == CExpr::Not) {
    negated = !negated;
    body = &body->kids[0];
  }
  RangeSet ranges;
  std::vector<std::string> props;
  const bool plain = collect_plain(*body, ranges, props);
  VANTOREL_CHECK(plain, "a class formula with a nested negation");
  std::sort(props.begin(), props.end());
  props.erase(std::unique(props.begin(), props.end()), props.end());
  std::string out;
  if (props.empty()) {
    if (!negated) {
      out = ranges_class(ranges);
    } else if (ranges.empty()) {
      return std::string("[\\x{0}-\\x{10FFFF}]");
    } else {
      out = "[^";
      append_ranges(out, ranges);
      out += "]";
    }
  } else if (ranges.empty() && props.size() == 1) {
    out = (negated ? "\\P{" : "\\p{") + props[0] + "}";
  } else {
    out = negated ? "[^" : "[";
    append_ranges(out, ranges);
    append_props(out, props, false);
    out += "]";
  }
  if (fold && !all_closed(*body)) return "(?i:" + out + ")";
  return out;
}

// ---- fragments --------------------------------------------------------------------------

enum class Prec : uint8_t { Atom, Repeat, Concat, Alt };

// Word-ness of a fragment's first and last characters, for each mode.
enum : uint8_t { kWordA = 1, kNonWordA = 2, kWordU = 4, kNonWordU = 8, kAnyChar = 15 };

struct Frag {
  std::string text;
  Prec prec = Prec::Atom;
  uint32_t product = 1;   // largest product of repetition counts on a path (RE2 allows 1000)
  uint64_t insts = 0;     // a lower bound on the RE2 instructions the text compiles to
  uint8_t first = 0;      // word-ness bits of a first character
  uint8_t last = 0;       // of a last character
  bool nullable = true;   // can match the empty text
  int64_t width = 0;      // characters every match consumes, or -1 when matches differ in length
  bool pending = false;   // a word assertion waiting for its neighbours
  AssertKind look = AssertKind::WordBoundary;
  bool look_unicode = false;
};

std::string atom_text(const Frag& f) {
  if (f.prec == Prec::Atom && !f.text.empty()) return f.text;
  return "(?:" + f.text + ")";
}

struct Neighbour {
  bool known = false;  // a character is certain to be there
  uint8_t bits = 0;
};

// RE2 text of a word assertion given what is known about the characters around it. Where
// the neighbours decide it, the answer is exact (in Unicode mode, RE2's \b is exact only on
// ASCII text, so the fallbacks there are approximations).
std::string look_text(AssertKind k, bool uni, Neighbour prev, Neighbour next) {
  const uint8_t w = uni ? kWordU : kWordA;
  const uint8_t nw = uni ? kNonWordU : kNonWordA;
  const bool pw = prev.known && (prev.bits & w) && !(prev.bits & nw);
  const bool pn = prev.known && (prev.bits & nw) && !(prev.bits & w);
  const bool xw = next.known && (next.bits & w) && !(next.bits & nw);
  const bool xn = next.known && (next.bits & nw) && !(next.bits & w);
  const std::string never(kNever);
  switch (k) {
    case AssertKind::WordBoundary:
      if ((pw && xw) || (pn && xn)) return never;
      if ((pw && xn) || (pn && xw)) return "";
      return "\\b";
    case AssertKind::NotWordBoundary:
      if ((pw && xw) || (pn && xn)) return "";
      if ((pw && xn) || (pn && xw)) return never;
      return "\\B";
    case AssertKind::WordStart:
      if (pw || xn) return never;
      if (pn && xw) return "";
      return "\\b";
    case AssertKind::WordEnd:
      if (pn || xw) return never;
      if (pw && xn) return "";
      return "\\b";
    case AssertKind::WordStartHalf:
      if (pw) return never;
      if (pn) return "";
      if (xn) return "\\B";
      return "\\b";
    case AssertKind::WordEndHalf:
      if (xw) return never;
      if (xn) return "";
      if (pn) return "\\B";
      return "\\b";
    default:
      return "";
  }
}

void resolve(Frag& f, Neighbour prev = {}, Neighbour next = {}) {
  if (!f.pending) return;
  f.pending = false;
  f.text = look_text(f.look, f.look_unicode, prev, next);
  f.prec = Prec::Atom;
}

class Translator {
 public:
  Translator(const Ast& ast, bool unicode) : ast_(ast) { flags_ = unicode ? kFlagUni : 0; }

  uint32_t lead_candidate = UINT32_MAX;
  uint32_t trail_candidate = UINT32_MAX;
  bool lead_found = false;
  AssertKind lead_kind = AssertKind::WordBoundary;
  bool lead_unicode = false;
  bool trail_found = false;
  AssertKind trail_kind = AssertKind::WordBoundary;
  bool trail_unicode = false;

  std::optional<SyntaxError> error;
  bool size_exceeded = false;
  uint64_t class_work = 0;        // ranges read by class evaluation
  uint64_t largest_fragment = 0;  // bytes of the longest RE2 text made for one node

  Frag run() {
    Frag f = tr(ast_.root);
    resolve(f);
    return f;
  }

 private:
  [[nodiscard]] bool has(uint8_t flag) const { return (flags_ & flag) != 0; }
  [[nodiscard]] bool failed() const { return error.has_value() || size_exceeded; }
  Frag fail(Span span, std::string description) {
    if (!failed()) error = SyntaxError{std::move(description), span, false, {}};
    return {};
  }
  const Node& node(uint32_t i) const { return ast_.nodes[i]; }

  Frag tr(uint32_t i) {
    Frag f = tr_node(i);
    largest_fragment = std::max<uint64_t>(largest_fragment, f.text.size());
    return f;
  }

  Frag tr_node(uint32_t i) {
    if (failed()) return {};
    const Node& n = node(i);
    switch (n.kind) {
      case NodeKind::Empty: return {};
      case NodeKind::Flags: apply(n.flags); return {};
      case NodeKind::Literal: return literal(n);
      case NodeKind::Dot: return dot(n);
      case NodeKind::Assertion: return assertion(i, n);
      case NodeKind::Perl:
      case NodeKind::Unicode:
      case NodeKind::Bracketed: return klass(i);
      case NodeKind::Repetition: return repetition(n);
      case NodeKind::Group: {
        const uint8_t saved = flags_;
        apply(n.flags);
        Frag f = tr(n.kids[0]);
        flags_ = saved;
        if (!f.pending && f.prec != Prec::Atom) {
          f.text = atom_text(f);
          f.prec = Prec::Atom;
        }
        return f;
      }
      case NodeKind::Alternation: return alternation(n);
      case NodeKind::Concat: return concat(n);
      default: return {};
    }
  }

  void apply(const FlagChange& c) { flags_ = static_cast<uint8_t>((flags_ | c.on) & ~c.off); }

  static uint8_t char_bits(uint32_t c, bool need_unicode) {
    uint8_t b = 0;
    b |= (c < 0x80 && is_ascii_word(c)) ? kWordA : kNonWordA;
    if (c < 0x80) {
      b |= is_ascii_word(c) ? kWordU : kNonWordU;
    } else if (need_unicode) {
      b |= is_unicode_word(c) ? kWordU : kNonWordU;
    } else {
      b |= kWordU | kNonWordU;
    }
    return b;
  }

  // Whether the tree holds word assertions at all (only then is the Unicode \w test needed).
  bool looks_present() {
    if (!looks_checked_) {
      looks_checked_ = true;
      for (const Node& n : ast_.nodes) {
        if (n.kind == NodeKind::Assertion && n.sub >= static_cast<uint8_t>(AssertKind::WordBoundary)) looks_ = true;
      }
    }
    return looks_;
  }

  Frag leaf(std::string text, uint8_t bits) {
    Frag f;
    f.text = std::move(text);
    f.first = f.last = bits;
    f.nullable = false;
    f.width = 1;
    f.insts = 1;
    return f;
  }

  Frag literal(const Node& n) {
    const uint32_t c = n.c;
    std::string text;
    if (!has(kFlagUni)) {
      if (n.hex_byte && c >= 0x80) return fail(n.span, "pattern can match invalid UTF-8 (a byte escape with Unicode mode off)");
      if (has(kFlagI) && c < 0x80 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) {
        RangeSet pair(c & ~0x20u, c & ~0x20u);
        pair.add(c | 0x20, c | 0x20);
        if (auto spelled = case_pair_text(pair)) {
          text = std::move(*spelled);
        } else {
          text = {'[', static_cast<char>(c | 0x20), static_cast<char>(c & ~0x20u), ']'};
        }
      } else {
        append_literal(text, c);
      }
    } else if (has(kFlagI) && (c >= 0x80 || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'))) {
      text = "(?i:";
      append_literal(text, c);
      text += ")";
    } else {
      append_literal(text, c);
    }
    return leaf(std::move(text), char_bits(c, looks_present()));
  }

  Frag dot(const Node& n) {
    if (!has(kFlagUni)) return fail(n.span, "pattern can match invalid UTF-8 (. with Unicode mode off)");
    if (has(kFlagS)) return leaf("(?s:.)", kAnyChar);
    return leaf(has(kFlagR) ? "[^\\x{A}\\x{D}]" : "[^\\x{A}]", kAnyChar);
  }

  Frag assertion(uint32_t i, const Node& n) {
    const auto k = static_cast<AssertKind>(n.sub);
    Frag f;
    switch (k) {
      case AssertKind::StartLine: f.text = has(kFlagM) ? "(?m:^)" : "^"; return f;
      case AssertKind::EndLine: f.text = has(kFlagM) ? "(?m:$)" : "\\z"; return f;
      case AssertKind::StartText: f.text = "\\A"; return f;
      case AssertKind::EndText: f.text = "\\z"; return f;
      default: break;
    }
    const bool uni = has(kFlagUni);
    const bool native = !uni && (k == AssertKind::WordBoundary || k == AssertKind::NotWordBoundary);
    if (i == lead_candidate && !native) {
      lead_found = true;
      lead_kind = k;
      lead_unicode = uni;
      return f;
    }
    if (i == trail_candidate && !native) {
      trail_found = true;
      trail_kind = k;
      trail_unicode = uni;
      return f;
    }
    if (native) {
      f.text = k == AssertKind::WordBoundary ? "\\b" : "\\B";
      return f;
    }
    f.pending = true;
    f.look = k;
    f.look_unicode = uni;
    return f;
  }

  // ---- classes ----
  std::optional<ByteBits> ascii_bits(uint32_t i) {
    const Node& n = node(i);
    const bool fold = has(kFlagI);
    auto byte_of = [&](uint32_t c, bool hex_byte) -> std::optional<uint32_t> {
      if (hex_byte && c >= 0x80) {
        fail(n.span, "pattern can match invalid UTF-8 (a byte escape with Unicode mode off)");
        return std::nullopt;
      }
      if (c >= 0x80) {
        fail(n.span, "Unicode is not allowed here (a non-ASCII class member with Unicode mode off)");
        return std::nullopt;
      }
      return c;
    };
    auto check_negated = [&](ByteBits b, bool negated) -> std::optional<ByteBits> {
      if (fold) fold_bits(b);
      if (negated) {
        fail(n.span, "pattern can match invalid UTF-8 (a negated class with Unicode mode off)");
        return std::nullopt;
      }
      return b;
    };
    switch (n.kind) {
      case NodeKind::ClassEmpty: return ByteBits();
      case NodeKind::ClassLiteral: {
        auto c = byte_of(n.c, n.hex_byte);
        if (!c) return std::nullopt;
        ByteBits b;
        b.set(*c);
        if (fold) fold_bits(b);
        return b;
      }
      case NodeKind::ClassRange: {
        auto lo = byte_of(n.c, n.hex_byte);
        if (!lo) return std::nullopt;
        auto hi = byte_of(n.c2, n.hex_byte2);
        if (!hi) return std::nullopt;
        ByteBits b;
        for (uint32_t c = *lo; c <= *hi; ++c) b.set(c);
        if (fold) fold_bits(b);
        return b;
      }
      case NodeKind::ClassAscii: return check_negated(ascii_class_bits(static_cast<AsciiKind>(n.sub)), n.negated);
      case NodeKind::Perl: return check_negated(perl_bits(static_cast<PerlKind>(n.sub)), n.negated);
      case NodeKind::Unicode:
        fail(n.span, "Unicode is not allowed here (a Unicode class with Unicode mode off)");
        return std::nullopt;
      case NodeKind::Bracketed: {
        auto inner = ascii_bits(n.kids[0]);
        if (!inner) return std::nullopt;
        return check_negated(*inner, n.negated);
      }
      case NodeKind::ClassUnion: {
        ByteBits b;
        for (uint32_t k : n.kids) {
          auto x = ascii_bits(k);
          if (!x) return std::nullopt;
          b |= *x;
        }
        return b;
      }
      case NodeKind::ClassOp: {
        auto l = ascii_bits(n.kids[0]);
        if (!l) return std::nullopt;
        auto r = ascii_bits(n.kids[1]);
        if (!r) return std::nullopt;
        switch (static_cast<ClassOpKind>(n.sub)) {
          case ClassOpKind::Intersection: return *l & *r;
          case ClassOpKind::Difference: return *l & ~*r;
          case ClassOpKind::SymmetricDifference: return *l ^ *r;
        }
        return std::nullopt;
      }
      default: return std::nullopt;
    }
  }

  std::optional<CExpr> formula(uint32_t i, ClassAlgebra& algebra) {
    auto f = formula_of(i, algebra);
    if (f && algebra.exhausted()) {
      fail(node(i).span, std::string(kTooComplex));
      return std::nullopt;
    }
    return f;
  }

  std::optional<CExpr> formula_of(uint32_t i, ClassAlgebra& algebra) {
    const Node& n = node(i);
    auto neg = [&](CExpr e) { return n.negated ? algebra.negate(std::move(e)) : std::move(e); };
    auto ranges = [&](RangeSet r) { return CExpr::of(std::move(r)); };
    switch (n.kind) {
      case NodeKind::ClassEmpty: return CExpr::of(RangeSet());
      case NodeKind::ClassLiteral: return ranges(RangeSet(n.c, n.c));
      case NodeKind::ClassRange: return ranges(RangeSet(n.c, n.c2));
      case NodeKind::ClassAscii: return neg(ranges(bits_to_ranges(ascii_class_bits(static_cast<AsciiKind>(n.sub)))));
      case NodeKind::Perl: return neg(perl_formula(static_cast<PerlKind>(n.sub)));
      case NodeKind::Unicode: {
        const PropertyLookup p = lookup_property(static_cast<UnicodeForm>(n.sub), n.name, n.value);
        if (!p.ok) {
          fail(n.span, p.error);
          return std::nullopt;
        }
        return neg(property_formula(p, algebra));
      }
      case NodeKind::Bracketed: {
        auto inner = formula(n.kids[0], algebra);
        if (!inner) return std::nullopt;
        return neg(std::move(*inner));
      }
      case NodeKind::ClassUnion: {
        std::vector<CExpr> xs;
        for (uint32_t k : n.kids) {
          auto x = formula(k, algebra);
          if (!x) return std::nullopt;
          xs.push_back(std::move(*x));
        }
        return algebra.unite(std::move(xs));
      }
      case NodeKind::ClassOp: {
        auto l = formula(n.kids[0], algebra);
        if (!l) return std::nullopt;
        auto r = formula(n.kids[1], algebra);
        if (!r) return std::nullopt;
        switch (static_cast<ClassOpKind>(n.sub)) {
          case ClassOpKind::Intersection: return algebra.intersect(*l, *r);
          case ClassOpKind::Difference: return algebra.intersect(*l, algebra.negate(std::move(*r)));
          case ClassOpKind::SymmetricDifference: {
            CExpr a = algebra.intersect(*l, algebra.negate(*r));
            CExpr b = algebra.intersect(algebra.negate(std::move(*l)), *r);
            std::vector<CExpr> both;
            both.push_back(std::move(a));
            both.push_back(std::move(b));
            return algebra.unite(std::move(both));
          }
        }
        return std::nullopt;
      }
      default: return std::nullopt;
    }
  }

  // Word-ness of the characters a plain (union, not negated) formula holds; anything else
  // may hold both kinds.
  static uint8_t formula_bits(const CExpr& e) {
    RangeSet ranges;
    std::vector<std::string> props;
    if (!collect_plain(e, ranges, props) || holds_opaque(e)) return kAnyChar;
    uint8_t bits = 0;
    for (const CodeRange& r : ranges.ranges()) {
      for (uint32_t c = r.lo; c <= std::min<uint32_t>(r.hi, 0x7F); ++c) {
        bits |= is_ascii_word(c) ? (kWordA | kWordU) : (kNonWordA | kNonWordU);
      }
      if (r.hi >= 0x80) {
        bits |= kNonWordA;
        const uint8_t u = unicode_word_overlap(std::max<uint32_t>(r.lo, 0x80), r.hi);
        if (u & 1) bits |= kWordU;
        if (u & 2) bits |= kNonWordU;
      }
    }
    static const std::set<std::string> kWordProps = {"L",  "Lu", "Ll", "Lt", "Lm", "Lo", "M",
                                                     "Mn", "Mc", "Me", "Nd", "Nl", "Pc"};
    static const std::set<std::string> kNonWordProps = {"Pd", "Ps", "Pe", "Pi", "Pf", "Po", "Sm",
                                                        "Sc", "Sk", "Zs", "Zl", "Zp", "Z",  "Cc", "Co"};
    for (const std::string& p : props) {
      if (kWordProps.count(p) != 0) {
        bits |= kWordU | kWordA | kNonWordA;
      } else if (kNonWordProps.count(p) != 0) {
        bits |= kNonWordU | kNonWordA;
      } else {
        bits |= kAnyChar;
      }
    }
    return bits;
  }

  static uint8_t bits_of_ascii_set(const ByteBits& b) {
    uint8_t out = 0;
    for (uint32_t c = 0; c < 128; ++c) {
      if (!b.test(c)) continue;
      out |= is_ascii_word(c) ? (kWordA | kWordU) : (kNonWordA | kNonWordU);
    }
    return out;
  }

  Frag klass(uint32_t i) {
    const Node& n = node(i);
    if (!has(kFlagUni)) {
      auto bits = ascii_bits(i);
      if (!bits) return {};
      return leaf(ranges_class(bits_to_ranges(*bits)), bits_of_ascii_set(*bits));
    }
    ClassAlgebra algebra(has(kFlagI), class_work);
    auto f = formula(i, algebra);
    if (!f) return {};
    std::string text = class_text(*f, has(kFlagI));
    uint8_t bits = kAnyChar;
    if (looks_present()) bits = formula_bits(*f);
    if (n.kind == NodeKind::Perl) {
      switch (static_cast<PerlKind>(n.sub)) {
        case PerlKind::Word: bits = n.negated ? kNonWordU | kNonWordA : kWordU | kWordA | kNonWordA; break;
        case PerlKind::Digit: bits = n.negated ? kAnyChar : kWordU | kWordA | kNonWordA; break;
        case PerlKind::Space: bits = n.negated ? kAnyChar : kNonWordU | kNonWordA; break;
      }
    }
    return leaf(std::move(text), bits);
  }

  // ---- structure ----
  Frag concat(const Node& n) {
    std::vector<Frag> items;
    items.reserve(n.kids.size());
    for (uint32_t k : n.kids) {
      items.push_back(tr(k));
      if (failed()) return {};
    }
    for (size_t j = 0; j < items.size(); ++j) {
      if (!items[j].pending) continue;
      Neighbour prev, next;
      for (size_t m = j; m-- > 0;) {
        if (items[m].pending) break;
        prev.bits |= items[m].last;
        if (!items[m].nullable) {
          prev.known = true;
          break;
        }
      }
      for (size_t m = j + 1; m < items.size(); ++m) {
        if (items[m].pending) break;
        next.bits |= items[m].first;
        if (!items[m].nullable) {
          next.known = true;
          break;
        }
      }
      resolve(items[j], prev, next);
    }
    Frag out;
    size_t pieces = 0;
    bool first_open = true;
    for (const Frag& f : items) {
      if (first_open) out.first |= f.first;
      if (!f.nullable) first_open = false;
    }
    bool last_open = true;
    for (size_t j = items.size(); j-- > 0;) {
      if (last_open) out.last |= items[j].last;
      if (!items[j].nullable) last_open = false;
    }
    out.nullable = true;
    for (const Frag& f : items) {
      out.width = (out.width < 0 || f.width < 0) ? -1 : out.width + f.width;
      out.nullable = out.nullable && f.nullable;
      out.product = std::max(out.product, f.product);
      out.insts = saturating_add(out.insts, f.insts);
      if (f.text.empty()) continue;
      ++pieces;
      out.text += f.prec == Prec::Alt ? "(?:" + f.text + ")" : f.text;
      out.prec = f.prec == Prec::Alt ? Prec::Atom : f.prec;
    }
    if (pieces > 1) out.prec = Prec::Concat;
    return out;
  }

  Frag alternation(const Node& n) {
    Frag out;
    out.nullable = false;
    bool first = true;
    for (uint32_t k : n.kids) {
      Frag f = tr(k);
      if (failed()) return {};
      resolve(f);
      out.width = first ? f.width : (out.width == f.width ? out.width : -1);
      if (!first) out.text += "|";
      first = false;
      out.text += f.text;
      out.first |= f.first;
      out.last |= f.last;
      out.nullable = out.nullable || f.nullable;
      out.product = std::max(out.product, f.product);
      // RE2 may merge branches into one class or share their common prefix, but the
      // instructions of each branch's own path remain.
      out.insts = std::max(out.insts, f.insts);
    }
    out.prec = Prec::Alt;
    return out;
  }

  Frag repetition(const Node& n) {
    Frag body = tr(n.kids[0]);
    if (failed()) return {};
    resolve(body);
    const bool greedy = n.greedy != has(kFlagU);
    const std::string lazy = greedy ? "" : "?";
    Frag out;
    out.first = body.first;
    out.last = body.last;
    out.nullable = n.min == 0 || body.nullable;
    out.product = body.product;
    out.width = (!n.unbounded && n.min == n.max && body.width >= 0) ? body.width * n.min : -1;
    if (body.width == 0) out.width = 0;
    if (!n.unbounded && n.max == 0) {  // x{0} matches the empty text
      out.first = out.last = 0;
      out.width = 0;
      return out;
    }
    const std::string b = atom_text(body);
    out.prec = Prec::Repeat;
    out.insts = repetition_insts(body.insts, n.min, n.max, n.unbounded);
    if (n.unbounded && n.min == 0) {
      out.text = b + "*" + lazy;
      return out;
    }
    if (n.unbounded && n.min == 1) {
      out.text = b + "+" + lazy;
      return out;
    }
    if (!n.unbounded && n.min == 0 && n.max == 1) {
      out.text = b + "?" + lazy;
      return out;
    }
    const uint64_t top = n.unbounded ? n.min : n.max;
    if (top <= 1000 && uint64_t{body.product} * top <= 1000) {
      out.text = b + "{" + std::to_string(n.min);
      if (n.unbounded) {
        out.text += ",";
      } else if (n.max != n.min) {
        out.text += "," + std::to_string(n.max);
      }
      out.text += "}" + lazy;
      out.product = static_cast<uint32_t>(body.product * std::max<uint64_t>(top, 1));
      return out;
    }
    return expand(out, b, body.product, body.insts, body.width >= 0, n.min, n.max, n.unbounded, greedy);
  }

  // A lower bound on RE2's instructions for x{min,max} (or x{min,}) when x needs `body` at
  // least: RE2 makes a copy of x per count, and each optional copy or loop adds a branch.
  static uint64_t repetition_insts(uint64_t body, uint32_t min, uint32_t max, bool unbounded) {
    if (body == 0) return 0;
    if (unbounded) return saturating_add(saturating_mul(std::max<uint32_t>(min, 1), body), 1);
    return saturating_add(saturating_mul(min, body), saturating_mul(uint64_t{max} - min, saturating_add(body, 1)));
  }

  // Counted repetition beyond RE2's limits (a count above 1000, or a nested product above
  // 1000): copies in chunks that RE2 accepts. The optional part chains greedy blocks. A lazy
  // optional part chains lazy blocks too when every match of the body has one length (each
  // count then reaches one position, so the blocks try the counts in the same order); for
  // other bodies chaining would change which match is preferred, so lazy copies nest, up to
  // kMaxLazyNesting levels (RE2 handles deep nesting in quadratic time); copies beyond that
  // are chained, an approximation. The program size is estimated first, so no oversized
  // text is ever generated.
  Frag expand(Frag out, const std::string& b, uint32_t body_product, uint64_t body_insts, bool fixed_width,
              uint32_t min, uint32_t max, bool unbounded, bool greedy) {
    // RE2's compile time grows with the square of the number of optional items, so an
    // optional copy counts at least kOptionalCopyCost instructions: at most about 10000 of
    // them, compiled in well under a second.
    const uint64_t optional = unbounded ? 1 : uint64_t{max} - min;
    auto estimate_with = [&](uint64_t per_copy) {
      return saturating_add(saturating_mul(min, per_copy), saturating_mul(optional, std::max(per_copy, kOptionalCopyCost)));
    };
    // The body's own lower bound decides first, without compiling it: nested counts refuse
    // at the first level that is certain to pass the limit.
    if (estimate_with(std::max<uint64_t>(1, body_insts)) > kMaxProgramSize) {
      size_exceeded = true;
      return {};
    }
    static const uint64_t base = re2_program_size("");  // RE2's own instructions around any pattern
    const uint64_t one = re2_program_size(b);
    const uint64_t per_copy = std::max<uint64_t>(1, one > base ? one - base : 1);
    if (estimate_with(per_copy) > kMaxProgramSize) {
      size_exceeded = true;
      return {};
    }
    const uint32_t k = std::max<uint32_t>(1, 1000 / std::max<uint32_t>(1, body_product));
    auto chunk = [&](uint64_t count, bool may_skip) {
      if (count == 1) return may_skip ? b + "?" : b;
      return b + (may_skip ? "{0," : "{") + std::to_string(count) + "}";
    };
    std::string text;
    for (uint64_t left = min; left > 0;) {
      const uint64_t c = std::min<uint64_t>(left, k);
      text += chunk(c, false);
      left -= c;
    }
    if (unbounded) {
      text += b + "*" + (greedy ? "" : "?");
    } else if (max > min) {
      const uint64_t extra = uint64_t{max} - min;
      const std::string lazy = greedy ? "" : "?";
      const uint64_t nested_copies = (greedy || fixed_width) ? 0 : std::min<uint64_t>(extra, kMaxLazyNesting + k);
      for (uint64_t left = extra - nested_copies; left > 0;) {
        const uint64_t c = std::min<uint64_t>(left, k);
        text += chunk(c, true) + lazy;
        left -= c;
      }
      if (nested_copies > 0) {
        const uint64_t inner = std::min<uint64_t>(nested_copies, k);
        const uint64_t depth = nested_copies - inner;
        std::string nested;
        nested.reserve(depth * (b.size() + 6) + b.size() + 16);
        for (uint64_t d = 0; d < depth; ++d) nested += "(?:" + b;
        nested += chunk(inner, true) + "?";
        for (uint64_t d = 0; d < depth; ++d) nested += ")??";
        text += nested;
      }
    }
    out.text = std::move(text);
    out.prec = Prec::Concat;
    out.product = static_cast<uint32_t>(std::min<uint64_t>(1000, uint64_t{body_product} * k));
    return out;
  }

  const Ast& ast_;
  uint8_t flags_ = 0;
  bool looks_checked_ = false;
  bool looks_ = false;
};

bool is_word_assertion(const Node& n) {
  return n.kind == NodeKind::Assertion && n.sub >= static_cast<uint8_t>(AssertKind::WordBoundary);
}

bool is_positional(const Node& n) {
  return n.kind == NodeKind::Flags || n.kind == NodeKind::Empty ||
         (n.kind == NodeKind::Assertion && n.sub < static_cast<uint8_t>(AssertKind::WordBoundary));
}

// The word assertion that every match evaluates first, at its start (following groups and
// first items of concatenations, past flags and anchors), if any.
uint32_t leading_assertion(const Ast& ast) {
  uint32_t i = ast.root;
  for (int guard = 0; guard < 1000; ++guard) {
    const Node& n = ast.nodes[i];
    if (is_word_assertion(n)) return i;
    if (n.kind == NodeKind::Group) {
      i = n.kids[0];
      continue;
    }
    if (n.kind != NodeKind::Concat) return UINT32_MAX;
    uint32_t next = UINT32_MAX;
    for (uint32_t k : n.kids) {
      if (is_word_assertion(ast.nodes[k]) || !is_positional(ast.nodes[k])) {
        next = k;
        break;
      }
    }
    if (next == UINT32_MAX) return UINT32_MAX;
    i = next;
  }
  return UINT32_MAX;
}

// The word assertion that every match evaluates last, at its end.
uint32_t trailing_assertion(const Ast& ast) {
  uint32_t i = ast.root;
  for (int guard = 0; guard < 1000; ++guard) {
    const Node& n = ast.nodes[i];
    if (is_word_assertion(n)) return i;
    if (n.kind == NodeKind::Group) {
      i = n.kids[0];
      continue;
    }
    if (n.kind != NodeKind::Concat) return UINT32_MAX;
    uint32_t next = UINT32_MAX;
    for (size_t j = n.kids.size(); j-- > 0;) {
      const Node& k = ast.nodes[n.kids[j]];
      if (k.kind == NodeKind::Flags || k.kind == NodeKind::Empty) continue;
      next = n.kids[j];
      break;
    }
    if (next == UINT32_MAX) return UINT32_MAX;
    i = next;
  }
  return UINT32_MAX;
}

bool single_bracket_class(const Ast& ast) {
  const uint32_t len = static_cast<uint32_t>(ast.chars.size());
  const Node* root = &ast.nodes[ast.root];
  uint32_t group_start = 0;
  if (root->kind == NodeKind::Concat && root->kids.size() == 2 &&
      ast.nodes[root->kids[0]].kind == NodeKind::Assertion && ast.nodes[root->kids[0]].span.start == 0) {
    root = &ast.nodes[root->kids[1]];
    group_start = 1;
  }
  if (root->kind != NodeKind::Group || root->span.start != group_start || root->span.end != len) return false;
  const Node& inner = ast.nodes[root->kids[0]];
  return inner.kind == NodeKind::Bracketed && inner.span.start == group_start + 3 && inner.span.end + 1 == len;
}

}  // namespace

Emission emit(const Ast& ast, bool unicode) {
  Emission out;
  out.single_class = single_bracket_class(ast);
  const uint32_t lead = leading_assertion(ast);
  uint32_t trail = trailing_assertion(ast);
  if (trail == lead) trail = UINT32_MAX;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Translator t(ast, unicode);
    t.lead_candidate = lead;
    t.trail_candidate = trail;
    Frag f = t.run();
    out.class_work += t.class_work;
    out.largest_fragment = std::max(out.largest_fragment, t.largest_fragment);
    if (t.size_exceeded) {
      out.size_exceeded = true;
      return out;
    }
    if (t.error) {
      out.error = *t.error;
      return out;
    }
    out.lead = t.lead_found;
    out.lead_kind = t.lead_kind;
    out.lead_unicode = t.lead_unicode;
    out.trim = false;
    if (!t.trail_found) {
      out.re2 = std::move(f.text);
      out.ok = true;
      return out;
    }
    // Fold the trailing assertion into one look-ahead character when the last character of
    // every match is known to be a word character or known not to be.
    const bool uni = t.trail_unicode;
    const uint8_t w = uni ? kWordU : kWordA;
    const uint8_t nw = uni ? kNonWordU : kNonWordA;
    const bool last_w = !f.nullable && (f.last & w) && !(f.last & nw);
    const bool last_n = !f.nullable && (f.last & nw) && !(f.last & w);
    const std::string word = uni ? "[" + std::string(kUnicodeWordClass) + "]" : "[0-9A-Z_a-z]";
    const std::string non_word = uni ? "(?:[^" + std::string(kUnicodeWordClass) + "]|\\z)" : "(?:[^0-9A-Z_a-z]|\\z)";
    std::optional<std::string> next;  // the look-ahead; "" for none needed
    bool never = false;
    switch (t.trail_kind) {
      case AssertKind::WordBoundary:
        if (last_w) next = non_word;
        if (last_n) next = word;
        break;
      case AssertKind::NotWordBoundary:
        if (last_w) next = word;
        if (last_n) next = non_word;
        break;
      case AssertKind::WordEnd:
        if (last_w) next = non_word;
        if (last_n) never = true;
        break;
      case AssertKind::WordStart:
        if (last_w) never = true;
        if (last_n) next = word;
        break;
      case AssertKind::WordStartHalf:
        if (last_w) never = true;
        if (last_n) next = "";
        break;
      case AssertKind::WordEndHalf: next = non_word; break;
      default: break;
    }
    if (never) {
      out.re2 = std::string(kNever);
      out.lead = false;
      out.ok = true;
      return out;
    }
    if (next) {
      if (next->empty()) {
        out.re2 = std::move(f.text);
      } else {
        out.re2 = "(" + f.text + ")" + *next;
        out.trim = true;
      }
      out.ok = true;
      return out;
    }
    trail = UINT32_MAX;  // not decidable from the pattern: translate it as an inner assertion
  }
  return out;
}

}  // namespace vantorel::regex
