// The translator: walks the parsed tree with the current flags and produces RE2 text built
// only from constructs whose RE2 meaning is the dialect's. Unicode-off scopes reject what can
// match invalid UTF-8 or needs Unicode data (the caller then retries with Unicode on).
#include "elements/regex_translate.hpp"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "elements/regex_assertions.hpp"
#include "elements/regex_class.hpp"
#include "elements/regex_repeat.hpp"

namespace vantorel::regex {

namespace {

// How tightly a fragment's text binds, for wrapping it where it is used.
enum class Prec : uint8_t { Atom, Repeat, Concat, Alt };

// The translation of one node, with what its neighbours need to know of it.
struct Frag {
  std::string text;
  Prec prec = Prec::Atom;
  uint32_t product = 1;   // largest product of repetition counts on a path (RE2 allows 1000)
  uint64_t insts = 0;     // a lower bound on the RE2 instructions the text compiles to
  uint8_t first = 0;      // word bits of a first character
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

// Gives a pending word assertion its text, now that its neighbours are known.
void resolve(Frag& f, Neighbour prev = {}, Neighbour next = {}) {
  if (!f.pending) return;
  f.pending = false;
  f.text = word_assertion_text(f.look, f.look_unicode, prev, next);
  f.prec = Prec::Atom;
}

class Translator {
 public:
  Translator(const Ast& ast, bool unicode) : ast_(ast) { flags_ = unicode ? kFlagUni : 0; }

  // The edge assertions to take off the pattern (kNoNode: none), and what became of them.
  uint32_t lead_candidate = kNoNode;
  uint32_t trail_candidate = kNoNode;
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
  Frag fail(SyntaxError e) {
    if (!failed()) error = e;
    return {};
  }
  Frag fail(Span span, ErrorCode code) { return fail(SyntaxError{code, span, false, {}}); }
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

  // Whether the tree holds word assertions at all (only then is the Unicode \w test needed).
  bool looks_present() {
    if (!looks_checked_) {
      looks_checked_ = true;
      looks_ = std::any_of(ast_.nodes.begin(), ast_.nodes.end(), is_word_assertion);
    }
    return looks_;
  }

  static Frag leaf(std::string text, uint8_t bits) {
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
    const bool ascii_letter = c < 0x80 && (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
    std::string text;
    if (!has(kFlagUni)) {
      if (n.hex_byte && c >= 0x80) return fail(n.span, ErrorCode::ByteEscapeWithoutUnicode);
      if (has(kFlagI) && ascii_letter) {
        text = ascii_letter_either_case(c);
      } else {
        append_literal(text, c);
      }
    } else if (has(kFlagI) && (c >= 0x80 || ascii_letter)) {
      text = case_insensitive_char_text(c);
    } else {
      append_literal(text, c);
    }
    return leaf(std::move(text), char_word_bits(c, looks_present()));
  }

  Frag dot(const Node& n) {
    if (!has(kFlagUni)) return fail(n.span, ErrorCode::DotWithoutUnicode);
    if (has(kFlagS)) return leaf("(?s:.)", kAnyChar);
    return leaf(has(kFlagR) ? "[^\\x{A}\\x{D}]" : "[^\\x{A}]", kAnyChar);
  }

  Frag assertion(uint32_t i, const Node& n) {
    const auto k = static_cast<AssertKind>(n.sub);
    Frag f;
    if (!is_word_assertion(n)) {
      f.text = anchor_text(k, has(kFlagM));
      return f;
    }
    const bool uni = has(kFlagUni);
    // RE2's own \b and \B are the dialect's in ASCII mode.
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

  Frag klass(uint32_t i) {
    const bool want_word_bits = has(kFlagUni) && looks_present();
    ClassTranslation c = translate_class(ast_, i, flags_, want_word_bits, class_work);
    if (!c.ok) return fail(c.error);
    return leaf(std::move(c.text), c.word_bits);
  }

  // ---- structure ----
  Frag concat(const Node& n) {
    std::vector<Frag> items;
    items.reserve(n.kids.size());
    for (uint32_t k : n.kids) {
      items.push_back(tr(k));
      if (failed()) return {};
    }
    // A pending assertion is decided by the nearest items on each side, up to the first one
    // that is certain to consume a character.
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
    const bool greedy = n.greedy != has(kFlagU);
    RepeatedText r = repeat(atom_text(body), body.product, body.insts, body.width >= 0, n.min, n.max, n.unbounded,
                            greedy);
    if (r.size_exceeded) {
      size_exceeded = true;
      return {};
    }
    out.text = std::move(r.text);
    out.prec = r.chained ? Prec::Concat : Prec::Repeat;
    out.product = r.product;
    out.insts = r.insts;
    return out;
  }

  const Ast& ast_;
  uint8_t flags_ = 0;
  bool looks_checked_ = false;
  bool looks_ = false;
};

}  // namespace

Translation translate(const Ast& ast, bool unicode) {
  Translation out;
  const uint32_t lead = leading_word_assertion(ast);
  uint32_t trail = trailing_word_assertion(ast);
  if (trail == lead) trail = kNoNode;
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
    const TrailingFold fold = fold_trailing_assertion(t.trail_kind, t.trail_unicode, f.last, f.nullable);
    switch (fold.outcome) {
      case TrailingFold::Outcome::Never:
        out.re2 = std::string(kNeverMatches);
        out.lead = false;
        out.ok = true;
        return out;
      case TrailingFold::Outcome::Holds:
        out.re2 = std::move(f.text);
        out.ok = true;
        return out;
      case TrailingFold::Outcome::LookAhead:
        out.re2 = "(" + f.text + ")" + fold.look_ahead;
        out.trim = true;
        out.ok = true;
        return out;
      case TrailingFold::Outcome::Undecided:
        break;
    }
    trail = kNoNode;  // not decidable from the pattern: translate it as an inner assertion
  }
  return out;
}

}  // namespace vantorel::regex
