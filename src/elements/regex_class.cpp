// The class algebra: ASCII classes as byte sets (Unicode off), Unicode classes as small
// formulas over explicit ranges and RE2's properties (Unicode on), each spelled as RE2 text
// or evaluated into its members.
#include "elements/regex_class.hpp"

#include <algorithm>
#include <bitset>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "elements/fatal.hpp"
#include "elements/regex_adapter.hpp"
#include "elements/regex_properties.hpp"
#include "elements/regex_ranges.hpp"
#include "elements/regex_tables.hpp"

namespace vantorel::regex {

namespace {

// ---- case folding -----------------------------------------------------------------------

// `s` closed under simple case folding. ASCII-only sets are folded here (each ASCII letter
// with its other case, k and s with KELVIN SIGN and LONG S); other sets through the folding
// table.
RangeSet folded(const RangeSet& s) {
  if (s.empty() || s.is_all()) return s;
  if (!s.ascii_only()) return RangeSet::of_list(case_fold_closure(s.ranges()));
  RangeList out = s.ranges();
  for (uint32_t c = 'a'; c <= 'z'; ++c) {
    if (s.contains(c) || s.contains(c - 32)) {
      out.push_back({c, c});
      out.push_back({c - 32, c - 32});
      if (c == 'k') out.push_back({0x212A, 0x212A});
      if (c == 's') out.push_back({0x17F, 0x17F});
    }
  }
  sort_and_merge(out);
  return RangeSet::of_list(std::move(out));
}

// ---- ASCII classes (Unicode off) ----------------------------------------------------------

using ByteBits = std::bitset<256>;

bool is_ascii_word(uint32_t c) { return c < 0x80 && is_ascii_word_byte(static_cast<unsigned char>(c)); }

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
    case AsciiKind::Word:
      for (uint32_t c = 0; c < 0x80; ++c) b.set(c, is_ascii_word(c));
      break;
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

void append_ranges(std::string& out, const RangeSet& s) {
  for (const CodePointRange& r : s.ranges()) {
    append_hex(out, r.lo);
    if (r.hi != r.lo) {
      out.push_back('-');
      append_hex(out, r.hi);
    }
  }
}

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
  if (s.empty()) return std::string(kNeverMatches);
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

// ---- class formulas (Unicode on) ------------------------------------------------------

// A class as a small formula. Properties stay symbolic while the class is a plain union (RE2
// spells those natively and folds them itself under (?i)); a negation stays symbolic only at
// the top. Every other combination is evaluated at once into explicit ranges, folding each
// operand first under (?i), since the dialect folds every item before negating or combining
// it. The formula therefore never holds more nodes than the class has items.
struct CExpr {
  enum Kind : uint8_t { Ranges, Prop, Not, Or } kind = Ranges;
  RangeSet ranges;
  bool closed = false;  // Ranges: already closed under case folding
  std::string prop;
  std::vector<CExpr> kids;

  static CExpr of(RangeSet r, bool closed = false) {
    CExpr e;
    e.ranges = std::move(r);
    e.closed = closed;
    return e;
  }
  static CExpr property(std::string name) {
    CExpr e;
    e.kind = Prop;
    e.prop = std::move(name);
    return e;
  }
};

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
      return CExpr::of(r.complement(), fold_);
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
      return CExpr::of(union_of(parts), fold_);
    }
    // The explicit ranges merge into one part, with one sort; properties stay symbolic.
    std::vector<CExpr> parts;
    std::vector<RangeSet> ranges;
    bool closed = true;
    for (CExpr& x : xs) {
      if (x.kind != CExpr::Ranges) {
        parts.push_back(std::move(x));
        continue;
      }
      closed = closed && x.closed;
      ranges.push_back(std::move(x.ranges));
    }
    if (!ranges.empty()) {
      CExpr merged = CExpr::of(union_of(ranges), closed);
      if (parts.empty()) return merged;
      parts.insert(parts.begin(), std::move(merged));
    }
    CExpr e;
    e.kind = CExpr::Or;
    e.kids = std::move(parts);
    return e;
  }

  CExpr intersect(const CExpr& a, const CExpr& b) {
    const RangeSet x = value(a);
    const RangeSet y = value(b);
    if (!charge(x.size() + y.size())) return CExpr::of(RangeSet());
    return CExpr::of(x.intersect(y), fold_);
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
    RangeSet out = folded(r);
    charge(out.size());
    return out;
  }
  RangeSet operand(const CExpr& x) { return fold_ && !x.closed ? fold(x.ranges) : x.ranges; }

  bool fold_;
  uint64_t& work_;
  bool exhausted_ = false;
  std::map<std::string, RangeSet, std::less<>> folded_props_;
};

RangeSet white_space_set() {
  RangeSet s;
  for (const CodePointRange& r : kUnicodeWhiteSpace) s.add(r.lo, r.hi);
  return s;
}

CExpr word_formula() {
  RangeSet extra;
  for (const CodePointRange& r : kExtraWordRanges) extra.add(r.lo, r.hi);
  CExpr e;
  e.kind = CExpr::Or;
  for (const std::string_view n : kWordCategories) e.kids.push_back(CExpr::property(std::string(n)));
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

void append_props(std::string& out, const std::vector<std::string>& props) {
  for (const std::string& p : props) {
    out += "\\p{";
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
    append_props(out, props);
    out += "]";
  }
  if (fold && !all_closed(*body)) return "(?i:" + out + ")";
  return out;
}

// ---- class translation --------------------------------------------------------------------

// Evaluates one class node of the tree; the first error met is kept.
class ClassTranslator {
 public:
  ClassTranslator(const Ast& ast, uint8_t flags, uint64_t& work) : ast_(ast), flags_(flags), work_(work) {}

  ClassTranslation run(uint32_t i) {
    ClassTranslation out;
    if (!has(kFlagUni)) {
      auto bits = ascii_bits(i);
      if (!bits) return failure<ClassTranslation>();
      out.text = ranges_class(bits_to_ranges(*bits));
      out.ok = true;
      return out;
    }
    ClassAlgebra algebra(has(kFlagI), work_);
    auto f = formula(i, algebra);
    if (!f) return failure<ClassTranslation>();
    out.text = class_text(*f, has(kFlagI));
    out.ok = true;
    return out;
  }

  // The members: the ASCII set, or the formula's value (folded under (?i), as RE2 folds the
  // text class_text spells).
  ClassMembers members(uint32_t i) {
    ClassMembers out;
    if (!has(kFlagUni)) {
      auto bits = ascii_bits(i);
      if (!bits) return failure<ClassMembers>();
      out.members = bits_to_ranges(*bits);
      out.ok = true;
      return out;
    }
    ClassAlgebra algebra(has(kFlagI), work_);
    auto f = formula(i, algebra);
    if (!f) return failure<ClassMembers>();
    out.members = algebra.value(*f);
    if (algebra.exhausted()) {
      fail(node(i).span, ErrorCode::ClassTooComplex);
      return failure<ClassMembers>();
    }
    out.ok = true;
    return out;
  }

 private:
  [[nodiscard]] bool has(uint8_t flag) const { return (flags_ & flag) != 0; }
  [[nodiscard]] const Node& node(uint32_t i) const { return ast_.nodes[i]; }
  void fail(Span span, ErrorCode code) {
    if (!error_) error_ = SyntaxError{code, span, false, {}};
  }
  template <class Result>
  Result failure() const {
    Result out;
    out.error = *error_;
    return out;
  }

  std::optional<ByteBits> ascii_bits(uint32_t i) {
    const Node& n = node(i);
    const bool fold = has(kFlagI);
    auto byte_of = [&](uint32_t c, bool hex_byte) -> std::optional<uint32_t> {
      if (hex_byte && c >= 0x80) {
        fail(n.span, ErrorCode::ByteEscapeWithoutUnicode);
        return std::nullopt;
      }
      if (c >= 0x80) {
        fail(n.span, ErrorCode::NonAsciiMemberWithoutUnicode);
        return std::nullopt;
      }
      return c;
    };
    auto check_negated = [&](ByteBits b, bool negated) -> std::optional<ByteBits> {
      if (fold) fold_bits(b);
      if (negated) {
        fail(n.span, ErrorCode::NegatedClassWithoutUnicode);
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
        fail(n.span, ErrorCode::UnicodeClassWithoutUnicode);
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
      fail(node(i).span, ErrorCode::ClassTooComplex);
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

  const Ast& ast_;
  uint8_t flags_;
  uint64_t& work_;
  std::optional<SyntaxError> error_;
};

}  // namespace

void append_literal(std::string& out, uint32_t c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
    out.push_back(static_cast<char>(c));
  } else {
    append_hex(out, c);
  }
}

std::string ascii_letter_either_case(uint32_t c) {
  RangeSet pair(c & ~0x20u, c & ~0x20u);
  pair.add(c | 0x20, c | 0x20);
  if (auto spelled = case_pair_text(pair)) return std::move(*spelled);
  return {'[', static_cast<char>(c | 0x20), static_cast<char>(c & ~0x20u), ']'};
}

std::string set_class_text(const RangeSet& s) { return ranges_class(s); }

ClassTranslation translate_class(const Ast& ast, uint32_t node, uint8_t flags, uint64_t& work) {
  return ClassTranslator(ast, flags, work).run(node);
}

ClassMembers class_members(const Ast& ast, uint32_t node, uint8_t flags, uint64_t& work) {
  return ClassTranslator(ast, flags, work).members(node);
}

}  // namespace vantorel::regex
