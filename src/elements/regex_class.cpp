// The class algebra: ASCII classes as byte sets (Unicode off), Unicode classes as explicit
// ranges taken from the generated Unicode tables (Unicode on), each spelled as RE2 text or
// given as its members. RE2 never sees a property name or a (?i) here, so its own tables
// decide nothing.
#include "elements/regex_class.hpp"

#include <algorithm>
#include <bitset>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "elements/regex_properties.hpp"
#include "elements/regex_ranges.hpp"
#include "elements/regex_tables.hpp"

namespace vantorel::regex {

namespace {

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

// One end of a range inside an RE2 class. Characters beyond ASCII stand as their UTF-8 bytes
// (a property's class is hundreds of ranges, and RE2 reads raw characters faster than
// escapes), except the surrogates, which have no UTF-8 form; ASCII ones as in a literal, so
// that no character with a meaning inside a class stands bare.
void append_class_char(std::string& out, uint32_t c) {
  if (c >= 0x80 && (c < 0xD800 || c > 0xDFFF)) {
    append_utf8(out, c);
  } else {
    append_literal(out, c);
  }
}

void append_ranges(std::string& out, const RangeSet& s) {
  for (const CodePointRange& r : s.ranges()) {
    append_class_char(out, r.lo);
    if (r.hi != r.lo) {
      out.push_back('-');
      append_class_char(out, r.hi);
    }
  }
}

// RE2 reads a class of exactly an ASCII letter and its other case as that letter under
// case folding, and merges such a letter badly with the other branches of an alternation:
// it adds the letter's whole folding orbit ([kK]|x would match KELVIN SIGN, [sS]|x LONG S),
// and when an earlier branch already holds the lower-case letter it adds nothing, so that
// [a-c]|[Aa] does not match A. Every such pair is spelled as an alternation of its two
// letters, which RE2 turns into a plain class of two members.
std::optional<std::string> case_pair_text(const RangeSet& s) {
  const RangeList& r = s.ranges();
  if (r.size() != 2 || r[0].lo != r[0].hi || r[1].lo != r[1].hi) return std::nullopt;
  const uint32_t upper = r[0].lo;
  if (upper < 'A' || upper > 'Z' || r[1].lo != (upper | 0x20)) return std::nullopt;
  return std::string("(?:") + static_cast<char>(upper) + "|" + static_cast<char>(upper | 0x20) + ")";
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

// ---- Unicode classes (Unicode on) ------------------------------------------------------

// A class's members as explicit ranges, and whether they are closed under case folding yet.
struct Members {
  RangeSet set;
  bool closed = false;
};

// Evaluation of classes under one case-folding setting. Under (?i) every operand is folded
// before it is negated or combined, as the dialect folds each item; a union folds once, at
// the end. It counts its work, the ranges that each operation reads (and the folding links
// it walks), and refuses an operation that would take the count past kMaxClassWork: every
// operation is linear, so only very long patterns can get there.
class ClassAlgebra {
 public:
  ClassAlgebra(bool fold, uint64_t& work) : fold_(fold), work_(work) {}

  [[nodiscard]] bool exhausted() const { return exhausted_; }

  // The members of static sets (a property, or \w \d \s), copied.
  Members of(std::span<const ValueSet> sets) {
    if (sets.size() == 1) return of(sets[0].members);
    uint64_t n = 0;
    for (const ValueSet& v : sets) n += v.members.size();
    if (!charge(n)) return {};
    RangeList all;
    all.reserve(n);
    for (const ValueSet& v : sets) all.insert(all.end(), v.members.begin(), v.members.end());
    sort_and_merge(all);
    return {RangeSet::of_list(std::move(all))};
  }
  Members of(std::span<const CodePointRange> members, bool closed = false) {
    if (!charge(members.size())) return {};
    return {RangeSet::of_span(members), closed};
  }

  Members negate(const Members& x) {
    const RangeSet r = value(x);
    if (!charge(r.size())) return {};
    return {r.complement(), fold_};
  }

  Members unite(const std::vector<Members>& xs) {
    uint64_t n = 0;
    bool closed = true;
    for (const Members& x : xs) {
      n += x.set.size();
      closed = closed && x.closed;
    }
    if (!charge(n)) return {};
    RangeSet r;
    r.add_all(xs, [](const Members& x) -> const RangeSet& { return x.set; });
    return {std::move(r), closed};
  }

  Members intersect(const Members& a, const Members& b) {
    const RangeSet x = value(a);
    const RangeSet y = value(b);
    if (!charge(x.size() + y.size())) return {};
    return {x.intersect(y), fold_};
  }

  // `x` folded under (?i), so that it can be read more than once without folding again.
  Members closed(const Members& x) { return {value(x), fold_ || x.closed}; }

  // The members of `x`, folded under (?i).
  RangeSet value(const Members& x) {
    if (!fold_ || x.closed) return x.set;
    if (!charge(x.set.size())) return x.set;
    uint64_t links = 0;
    RangeSet out = RangeSet::of_list(case_fold_closure(x.set.ranges(), &links));
    charge(links + out.size());
    return out;
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

  bool fold_;
  uint64_t& work_;
  bool exhausted_ = false;
};

// The dialect's Perl classes. They are closed under case folding (a test checks it on the
// generated data), and the dialect does not fold them.
Members perl_members(PerlKind k, ClassAlgebra& algebra) {
  switch (k) {
    case PerlKind::Digit: return algebra.of(digit_members(), true);
    case PerlKind::Space: return algebra.of(space_members(), true);
    case PerlKind::Word: break;
  }
  return algebra.of(word_members(), true);
}

// ---- class translation --------------------------------------------------------------------

// Evaluates one class node of the tree; the first error met is kept.
class ClassTranslator {
 public:
  ClassTranslator(const Ast& ast, uint8_t flags, uint64_t& work) : ast_(ast), flags_(flags), work_(work) {}

  // The class's members: the ASCII set with Unicode off, the evaluated set with it on.
  ClassMembers evaluate(uint32_t i) {
    ClassMembers out;
    if (!has(kFlagUni)) {
      auto bits = ascii_bits(i);
      if (!bits) return failure<ClassMembers>();
      out.members = bits_to_ranges(*bits);
      out.ok = true;
      return out;
    }
    ClassAlgebra algebra(has(kFlagI), work_);
    auto m = members(i, algebra);
    if (!m) return failure<ClassMembers>();
    out.members = algebra.value(*m);
    if (algebra.exhausted()) {
      fail(node(i).span, ErrorCode::ClassTooComplex);
      return failure<ClassMembers>();
    }
    out.ok = true;
    return out;
  }

  ClassTranslation run(uint32_t i) {
    ClassMembers m = evaluate(i);
    if (!m.ok) return failure<ClassTranslation>();
    ClassTranslation out;
    out.text = ranges_class(m.members);
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

  std::optional<Members> members(uint32_t i, ClassAlgebra& algebra) {
    auto m = members_of(i, algebra);
    if (m && algebra.exhausted()) {
      fail(node(i).span, ErrorCode::ClassTooComplex);
      return std::nullopt;
    }
    return m;
  }

  std::optional<Members> members_of(uint32_t i, ClassAlgebra& algebra) {
    const Node& n = node(i);
    auto neg = [&](Members m) { return n.negated ? algebra.negate(m) : std::move(m); };
    switch (n.kind) {
      case NodeKind::ClassEmpty: return Members{};
      case NodeKind::ClassLiteral: return Members{RangeSet(n.c, n.c)};
      case NodeKind::ClassRange: return Members{RangeSet(n.c, n.c2)};
      case NodeKind::ClassAscii: return neg({bits_to_ranges(ascii_class_bits(static_cast<AsciiKind>(n.sub)))});
      case NodeKind::Perl: return neg(perl_members(static_cast<PerlKind>(n.sub), algebra));
      case NodeKind::Unicode: {
        const PropertyLookup p = lookup_property(static_cast<UnicodeForm>(n.sub), n.name, n.value);
        if (!p.ok) {
          fail(n.span, p.error);
          return std::nullopt;
        }
        return neg(algebra.of(p.sets));
      }
      case NodeKind::Bracketed: {
        auto inner = members(n.kids[0], algebra);
        if (!inner) return std::nullopt;
        return neg(std::move(*inner));
      }
      case NodeKind::ClassUnion: {
        std::vector<Members> xs;
        for (uint32_t k : n.kids) {
          auto x = members(k, algebra);
          if (!x) return std::nullopt;
          xs.push_back(std::move(*x));
        }
        return algebra.unite(xs);
      }
      case NodeKind::ClassOp: {
        auto l = members(n.kids[0], algebra);
        if (!l) return std::nullopt;
        auto r = members(n.kids[1], algebra);
        if (!r) return std::nullopt;
        switch (static_cast<ClassOpKind>(n.sub)) {
          case ClassOpKind::Intersection: return algebra.intersect(*l, *r);
          case ClassOpKind::Difference: return algebra.intersect(*l, algebra.negate(*r));
          case ClassOpKind::SymmetricDifference: {
            // Each operand is read twice: fold it once.
            const Members a = algebra.closed(*l);
            const Members b = algebra.closed(*r);
            return algebra.unite({algebra.intersect(a, algebra.negate(b)), algebra.intersect(algebra.negate(a), b)});
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
  return *case_pair_text(pair);
}

std::string set_class_text(const RangeSet& s) { return ranges_class(s); }

std::string case_insensitive_char_text(uint32_t c) {
  uint64_t links = 0;
  return ranges_class(RangeSet::of_list(case_fold_closure({{c, c}}, &links)));
}

ClassTranslation translate_class(const Ast& ast, uint32_t node, uint8_t flags, uint64_t& work) {
  return ClassTranslator(ast, flags, work).run(node);
}

ClassMembers class_members(const Ast& ast, uint32_t node, uint8_t flags, uint64_t& work) {
  return ClassTranslator(ast, flags, work).evaluate(node);
}

}  // namespace vantorel::regex
