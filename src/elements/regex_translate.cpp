// The translator: walks the parsed tree with the current flags and produces RE2 text built
// only from constructs whose RE2 meaning is the dialect's. Unicode-off scopes reject what can
// match invalid UTF-8 or needs Unicode data (the caller then retries with Unicode on). A
// pattern with assertions RE2 cannot spell goes on to the context pass, which this pass
// hands the flags of every node and the texts of the parts without such assertions.
#include "elements/regex_translate.hpp"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "elements/regex_assertions.hpp"
#include "elements/regex_class.hpp"
#include "elements/regex_context.hpp"
#include "elements/regex_repeat.hpp"

namespace vantorel::regex {

namespace {

// The translation of one node, with what its parent needs to know of it.
struct Frag {
  Fragment f;
  int64_t width = 0;  // characters every match consumes, or -1 when matches differ in length
  bool ctx = false;   // holds a context assertion (the context pass spells the node)
};

class Translator {
 public:
  Translator(const Ast& ast, bool unicode) : ast_(ast) {
    flags_ = unicode ? kFlagUni : 0;
    pass_one.flags.assign(ast.nodes.size(), 0);
    pass_one.texts.resize(ast.nodes.size());
    pass_one.has_text.assign(ast.nodes.size(), 0);
  }

  std::optional<SyntaxError> error;
  bool size_exceeded = false;
  uint64_t class_work = 0;        // ranges read by class evaluation
  uint64_t largest_fragment = 0;  // bytes of the longest RE2 text made for one node
  PassOne pass_one;

  Frag run() { return tr(ast_.root); }

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
    pass_one.flags[i] = flags_;
    Frag f = tr_node(i);
    largest_fragment = std::max<uint64_t>(largest_fragment, f.f.text.size());
    return f;
  }

  // Keeps the text of a node without context assertions whose parent has one: the context
  // pass starts from it.
  void keep(uint32_t i, const Frag& f) {
    pass_one.texts[i] = f.f;
    pass_one.has_text[i] = 1;
  }

  Frag tr_node(uint32_t i) {
    if (failed()) return {};
    const Node& n = node(i);
    switch (n.kind) {
      case NodeKind::Empty: return {};
      case NodeKind::Flags: apply(n.flags); return {};
      case NodeKind::Literal: return kept(i, literal(n));
      case NodeKind::Dot: return kept(i, dot(n));
      case NodeKind::Assertion: return assertion(i, n);
      case NodeKind::Perl:
      case NodeKind::Unicode:
      case NodeKind::Bracketed: return kept(i, klass(i));
      case NodeKind::Repetition: return repetition(n);
      case NodeKind::Group: {
        const uint8_t saved = flags_;
        apply(n.flags);
        Frag f = tr(n.kids[0]);
        flags_ = saved;
        if (f.f.prec != Prec::Atom) {
          f.f.text = atom_text(f.f);
          f.f.prec = Prec::Atom;
        }
        return f;
      }
      case NodeKind::Alternation: return alternation(n);
      case NodeKind::Concat: return concat(n);
      default: return {};
    }
  }

  Frag kept(uint32_t i, Frag f) {
    if (!failed()) keep(i, f);
    return f;
  }

  void apply(const FlagChange& c) { flags_ = static_cast<uint8_t>((flags_ | c.on) & ~c.off); }

  static Frag leaf(std::string text) {
    Frag f;
    f.f.text = std::move(text);
    f.f.insts = 1;
    f.width = 1;
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
    return leaf(std::move(text));
  }

  Frag dot(const Node& n) {
    if (!has(kFlagUni)) return fail(n.span, ErrorCode::DotWithoutUnicode);
    if (has(kFlagS)) return leaf("(?s:.)");
    return leaf(has(kFlagR) ? "[^\\x{A}\\x{D}]" : "[^\\x{A}]");
  }

  // RE2 spells the anchors outside CRLF mode and ASCII \b and \B; the context pass spells
  // the rest.
  Frag assertion(uint32_t i, const Node& n) {
    Frag f;
    if (is_context_assertion(n, flags_)) {
      f.ctx = true;
      return f;
    }
    const auto k = static_cast<AssertKind>(n.sub);
    if (is_word_assertion(n)) {
      f.f.text = k == AssertKind::WordBoundary ? "\\b" : "\\B";
    } else {
      f.f.text = anchor_text(k, has(kFlagM));
    }
    keep(i, f);
    return f;
  }

  Frag klass(uint32_t i) {
    ClassTranslation c = translate_class(ast_, i, flags_, class_work);
    if (!c.ok) return fail(c.error);
    return leaf(std::move(c.text));
  }

  // ---- structure ----
  // Keeps the texts of the children without context assertions when some child has one.
  void keep_plain_kids(const Node& n, const std::vector<Frag>& kids) {
    const bool any = std::any_of(kids.begin(), kids.end(), [](const Frag& f) { return f.ctx; });
    if (!any || failed()) return;
    for (size_t j = 0; j < kids.size(); ++j) {
      if (!kids[j].ctx) keep(n.kids[j], kids[j]);
    }
  }

  Frag concat(const Node& n) {
    std::vector<Frag> items;
    items.reserve(n.kids.size());
    for (uint32_t k : n.kids) {
      items.push_back(tr(k));
      if (failed()) return {};
    }
    keep_plain_kids(n, items);
    Frag out;
    size_t pieces = 0;
    for (const Frag& f : items) {
      out.width = (out.width < 0 || f.width < 0) ? -1 : out.width + f.width;
      out.ctx = out.ctx || f.ctx;
      out.f.product = std::max(out.f.product, f.f.product);
      out.f.insts = saturating_add(out.f.insts, f.f.insts);
      if (f.f.text.empty()) continue;
      ++pieces;
      out.f.text += f.f.prec == Prec::Alt ? "(?:" + f.f.text + ")" : f.f.text;
      out.f.prec = f.f.prec == Prec::Alt ? Prec::Atom : f.f.prec;
    }
    if (pieces > 1) out.f.prec = Prec::Concat;
    return out;
  }

  Frag alternation(const Node& n) {
    std::vector<Frag> branches;
    branches.reserve(n.kids.size());
    for (uint32_t k : n.kids) {
      branches.push_back(tr(k));
      if (failed()) return {};
    }
    keep_plain_kids(n, branches);
    Frag out;
    for (size_t j = 0; j < branches.size(); ++j) {
      const Frag& f = branches[j];
      out.width = j == 0 ? f.width : (out.width == f.width ? out.width : -1);
      if (j > 0) out.f.text += "|";
      out.f.text += f.f.text;
      out.ctx = out.ctx || f.ctx;
      out.f.product = std::max(out.f.product, f.f.product);
      // RE2 may merge branches into one class or share their common prefix, but the
      // instructions of each branch's own path remain.
      out.f.insts = std::max(out.f.insts, f.f.insts);
    }
    out.f.prec = Prec::Alt;
    return out;
  }

  Frag repetition(const Node& n) {
    Frag body = tr(n.kids[0]);
    if (failed()) return {};
    keep_plain_kids(n, {body});
    Frag out;
    out.ctx = body.ctx;
    out.width = (!n.unbounded && n.min == n.max && body.width >= 0) ? body.width * n.min : -1;
    if (body.width == 0) out.width = 0;
    if (!n.unbounded && n.max == 0) {  // x{0} matches the empty text
      out.width = 0;
      return out;
    }
    const bool greedy = n.greedy != has(kFlagU);
    RepeatedText r = repeat(atom_text(body.f), body.f.product, body.f.insts, body.width >= 0, n.min, n.max,
                            n.unbounded, greedy);
    if (r.size_exceeded) {
      size_exceeded = true;
      return {};
    }
    out.f.text = std::move(r.text);
    out.f.prec = r.chained ? Prec::Concat : Prec::Repeat;
    out.f.product = r.product;
    out.f.insts = r.insts;
    return out;
  }

  const Ast& ast_;
  uint8_t flags_ = 0;
};

}  // namespace

Translation translate(const Ast& ast, bool unicode) {
  Translation out;
  Translator t(ast, unicode);
  Frag f = t.run();
  out.class_work = t.class_work;
  out.largest_fragment = t.largest_fragment;
  if (t.size_exceeded) {
    out.size_exceeded = true;
    return out;
  }
  if (t.error) {
    out.error = *t.error;
    return out;
  }
  // The instructions counted so far are a lower bound on RE2's program: past the limit, the
  // program is refused without being compiled.
  if (f.f.insts > kMaxProgramSize) {
    out.size_exceeded = true;
    return out;
  }
  if (!f.ctx) {
    out.re2 = std::move(f.f.text);
    out.ok = true;
    return out;
  }
  ContextTranslation c = translate_context(ast, t.pass_one);
  out.class_work += c.class_work;
  if (c.size_exceeded) {
    out.size_exceeded = true;
    return out;
  }
  if (!c.ok) {
    out.error = c.error;
    return out;
  }
  out.largest_fragment = std::max<uint64_t>(out.largest_fragment, c.re2.size());
  out.re2 = std::move(c.re2);
  out.prefix = c.prefix;
  out.start_marker = c.start_marker;
  out.re2_later = std::move(c.re2_later);
  out.suffix = c.suffix;
  out.exact = c.exact;
  out.ok = true;
  return out;
}

}  // namespace vantorel::regex
