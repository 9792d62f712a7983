// The context pass. A state says what is known at a point of a match: the kind of the
// character before it (or the start of the text) and the kinds still allowed for the
// character after it (or the end of the text), which an assertion narrows. The pattern is
// translated in continuation-passing style: a node's text is followed by the text of the
// rest of the pattern in each state the node can end in. Where every such state leads to
// the same text, the node keeps one text followed by it; where they differ, the rest is
// carried into the node's alternatives, and a character class is split into the kinds of
// character that lead to different rests. Carrying a rest into alternatives keeps the
// order of preference (it is (a|b)c = ac|bc), so the result keeps the dialect's leftmost-
// first matches. Repetitions whose iterations end in different states are solved as a
// small system of equations (see loop()).
#include "elements/regex_context.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include "elements/fatal.hpp"
#include "elements/regex_assertions.hpp"
#include "elements/regex_class.hpp"
#include "elements/regex_repeat.hpp"
#include "elements/regex_tables.hpp"

namespace vantorel::regex {

std::string atom_text(const Fragment& f) {
  if (f.prec == Prec::Atom && !f.text.empty()) return f.text;
  return "(?:" + f.text + ")";
}

bool is_context_assertion(const Node& n, uint8_t flags) {
  if (n.kind != NodeKind::Assertion) return false;
  const auto k = static_cast<AssertKind>(n.sub);
  if (k == AssertKind::StartLine || k == AssertKind::EndLine) return (flags & kFlagM) != 0 && (flags & kFlagR) != 0;
  if (!is_word_assertion(n)) return false;
  // RE2's own \b and \B are the dialect's in ASCII mode.
  return (flags & kFlagUni) != 0 || (k != AssertKind::WordBoundary && k != AssertKind::NotWordBoundary);
}

namespace {

// ---- kinds of character and states ---------------------------------------------------------

constexpr int kMaxKinds = 6;     // the edge and at most five kinds of character
constexpr uint8_t kAnyPrev = 7;  // the kind before is unknown, and nothing that follows reads it

struct Kinds {
  int count = 1;  // kind 0 is the edge
  std::array<CharKind, kMaxKinds> kind{};
  std::array<RangeSet, kMaxKinds> members;  // the characters of kinds 1 to count - 1
  [[nodiscard]] uint8_t all() const { return static_cast<uint8_t>((1u << count) - 1); }
};

RangeSet ascii_word_set() {
  RangeSet s('0', '9');
  s.add('A', 'Z');
  s.add('_', '_');
  s.add('a', 'z');
  return s;
}

Kinds kinds_for(bool crlf, bool word_ascii, bool word_unicode) {
  Kinds k;
  auto add = [&k](CharKind c, RangeSet s) {
    k.kind[k.count] = c;
    k.members[k.count] = std::move(s);
    ++k.count;
  };
  k.kind[0] = CharKind::Edge;
  if (crlf) {
    add(CharKind::LineFeed, RangeSet(0xA, 0xA));
    add(CharKind::CarriageReturn, RangeSet(0xD, 0xD));
  }
  const RangeSet ascii_word = ascii_word_set();
  if (word_ascii) add(CharKind::WordAscii, ascii_word);
  if (word_unicode) {
    const RangeSet word = RangeSet::of_span(word_members());
    if (word_ascii) {
      add(CharKind::WordOther, word.intersect(ascii_word.complement()));
    } else {
      add(CharKind::Word, word);
    }
  }
  RangeSet taken;
  taken.add_all(std::vector<int>{1, 2, 3, 4, 5}, [&k](int i) -> const RangeSet& { return k.members[i]; });
  add(CharKind::Other, taken.complement());
  return k;
}

struct State {
  uint8_t c = 0;          // the kind of the character before (0: the start of the text)
  uint8_t n = 0;          // the kinds allowed for the character after (bit 0: the end of the text)
  bool consumed = false;  // a character was consumed since the innermost repetition's iteration began
  [[nodiscard]] uint16_t key() const { return static_cast<uint16_t>(c | (n << 3) | (consumed ? 0x200u : 0u)); }
  [[nodiscard]] bool same_place(State o) const { return c == o.c && n == o.n; }
};
bool operator==(State a, State b) { return a.key() == b.key(); }

using States = std::vector<State>;  // a small set
void add_state(States& s, State t) {
  if (std::find(s.begin(), s.end(), t) == s.end()) s.push_back(t);
}

// ---- pieces of text -------------------------------------------------------------------------

// RE2 text, or the knowledge that nothing matches.
struct Piece {
  bool fail = false;
  Fragment f;
};

Piece never() {
  Piece p;
  p.fail = true;
  return p;
}

Piece text_piece(std::string text, uint64_t insts) {
  Piece p;
  p.f.text = std::move(text);
  p.f.insts = insts;
  return p;
}

bool same(const Piece& a, const Piece& b) { return a.fail == b.fail && (a.fail || a.f.text == b.f.text); }

// The kinds of `mask` (bits 1 to count - 1) grouped by the text `text(kind)` each leads to,
// in the order of their first kind; a kind whose text never matches is left out.
template <class Text>
std::vector<std::pair<uint8_t, const Piece*>> group_kinds(int count, uint8_t mask, Text text) {
  std::vector<std::pair<uint8_t, const Piece*>> groups;
  for (int q = 1; q < count; ++q) {
    if (!(mask & (1u << q))) continue;
    const Piece& to = text(q);
    if (to.fail) continue;
    auto g = std::find_if(groups.begin(), groups.end(), [&](const auto& x) { return same(*x.second, to); });
    if (g != groups.end()) {
      g->first |= static_cast<uint8_t>(1u << q);
    } else {
      groups.emplace_back(static_cast<uint8_t>(1u << q), &to);
    }
  }
  return groups;
}

// ---- continuations --------------------------------------------------------------------------

// The text of the rest of a pattern, as a function of the state it is entered in;
// computed once per state. A rest that no assertion of its reads the kind before (or the
// consumed mark) sees every state with that part set to one value.
class Cont {
 public:
  Cont(bool reads_prev, bool reads_consumed) : reads_prev_(reads_prev), reads_consumed_(reads_consumed) {}
  Cont(const Cont&) = delete;
  Cont& operator=(const Cont&) = delete;
  virtual ~Cont() = default;

  [[nodiscard]] State canonical(State s) const {
    if (!reads_prev_) s.c = kAnyPrev;
    if (!reads_consumed_) s.consumed = false;
    return s;
  }
  // The references stay valid: the memo never moves its values.
  const Piece& at(State s) {
    s = canonical(s);
    auto it = memo_.find(s.key());
    if (it != memo_.end()) return it->second;
    Piece p = compute(s);
    return memo_.emplace(s.key(), std::move(p)).first->second;
  }
  [[nodiscard]] bool reads_prev() const { return reads_prev_; }
  [[nodiscard]] bool reads_consumed() const { return reads_consumed_; }
  [[nodiscard]] virtual bool hole() const { return false; }

 protected:
  virtual Piece compute(State s) = 0;

 private:
  bool reads_prev_;
  bool reads_consumed_;
  std::unordered_map<uint16_t, Piece> memo_;
};

// The end of a node's own text: the empty rest.
class HoleCont final : public Cont {
 public:
  HoleCont() : Cont(false, false) {}
  [[nodiscard]] bool hole() const override { return true; }

 protected:
  Piece compute(State) override { return {}; }
};

class FuncCont final : public Cont {
 public:
  FuncCont(std::function<Piece(State)> f, bool reads_prev, bool reads_consumed)
      : Cont(reads_prev, reads_consumed), f_(std::move(f)) {}

 protected:
  Piece compute(State s) override { return f_(s); }

 private:
  std::function<Piece(State)> f_;
};

// ---- the translator -------------------------------------------------------------------------

// Beyond these the translation is refused with the size limit: a text whose copies of the
// rest multiply (a pattern built to blow up), or one nested too deeply to translate on the
// stack.
constexpr uint64_t kMaxTextBytes = uint64_t{16} << 20;
constexpr int kMaxDepth = 1000;

struct Leaf {
  bool ready = false;
  RangeSet members;
  uint8_t kinds = 0;  // the kinds of character it holds (bits 1 and up)
  std::map<uint8_t, Piece> texts;
};

class Translator {
 public:
  Translator(const Ast& ast, const PassOne& pass_one, Kinds kinds)
      : ast_(ast), pass_one_(pass_one), kinds_(std::move(kinds)), size_(ast.nodes.size()) {
    nullable_.assign(size_, -1);
    reads_prev_.assign(size_, -1);
    width_.assign(size_, -2);
    has_ctx_.assign(size_, -1);
    leaves_.resize(size_);
  }

  [[nodiscard]] bool aborted() const { return size_exceeded || error.has_value(); }
  [[nodiscard]] const Kinds& kinds() const { return kinds_; }
  [[nodiscard]] uint8_t all() const { return kinds_.all(); }

  std::optional<SyntaxError> error;
  bool size_exceeded = false;
  bool exact = true;
  uint64_t class_work = 0;

  // A rest made of `f`, owned by the translator (so that no rest outlives what it calls).
  Cont& func(std::function<Piece(State)> f, bool reads_prev, bool reads_consumed) {
    conts_.push_back(std::make_unique<FuncCont>(std::move(f), reads_prev, reads_consumed));
    return *conts_.back();
  }

  // a then b. The estimate of every text is checked before the text is made: a text over
  // the size limit is never built (the translation ends with the size limit).
  Piece seq(const Piece& a, const Piece& b) {
    if (a.fail || b.fail || aborted()) return never();
    if (a.f.text.empty()) return b;
    if (b.f.text.empty()) return a;
    if (!fits(saturating_add(a.f.insts, b.f.insts), a.f.text.size() + b.f.text.size())) return never();
    auto part = [](const Fragment& f) { return f.prec == Prec::Alt ? "(?:" + f.text + ")" : f.text; };
    Piece out;
    out.f.text = part(a.f) + part(b.f);
    out.f.prec = Prec::Concat;
    out.f.product = std::max(a.f.product, b.f.product);
    out.f.insts = saturating_add(a.f.insts, b.f.insts);
    return out;
  }

  // The alternatives in order, leaving out those that never match. The alternatives this
  // pass makes are mostly copies followed by different rests, which RE2 keeps apart: their
  // instructions add up.
  Piece alt(const std::vector<const Piece*>& parts) {
    std::vector<const Piece*> live;
    uint64_t insts = 0;
    uint64_t bytes = 0;
    for (const Piece* p : parts) {
      if (p->fail) continue;
      live.push_back(p);
      insts = saturating_add(insts, p->f.insts);
      bytes += p->f.text.size() + 1;
    }
    if (live.empty() || aborted()) return never();
    if (live.size() == 1) return *live[0];
    if (!fits(insts, bytes)) return never();
    Piece out;
    out.f.prec = Prec::Alt;
    out.f.insts = insts;
    out.f.text.reserve(bytes);
    for (size_t m = 0; m < live.size(); ++m) {
      if (m > 0) out.f.text += "|";
      out.f.text += live[m]->f.text;
      out.f.product = std::max(out.f.product, live[m]->f.product);
    }
    return out;
  }

  // The alternatives of a repetition in the order of its greed.
  Piece ordered(const Piece& more, const Piece& stop, bool greedy) {
    return greedy ? alt({&more, &stop}) : alt({&stop, &more});
  }

  bool fits(uint64_t insts, uint64_t bytes) {
    if (insts <= kMaxProgramSize && bytes <= kMaxTextBytes) return true;
    size_exceeded = true;
    return false;
  }

  bool reads_prev(uint32_t i);

  // The text of node `i` entered in state `s`, followed by the rest `k`.
  Piece emit(uint32_t i, State s, Cont& k) {
    if (aborted()) return never();
    if (++depth_ > kMaxDepth) {
      size_exceeded = true;
      --depth_;
      return never();
    }
    Piece out = emit_checked(i, s, k);
    --depth_;
    return aborted() ? never() : out;
  }

  // One character of the kinds `mask` (bit 0, the end, excluded), and of the set `within`:
  // surrogates, which no text holds, are left out.
  Piece kinds_piece(uint8_t mask, const RangeSet* within = nullptr) {
    std::vector<const RangeSet*> parts;
    for (int k = 1; k < kinds_.count; ++k) {
      if (mask & (1u << k)) parts.push_back(&kinds_.members[k]);
    }
    RangeSet set;
    set.add_all(parts, [](const RangeSet* p) -> const RangeSet& { return *p; });
    if (within != nullptr) set = set.intersect(*within);
    static const RangeSet no_surrogates = RangeSet(0xD800, 0xDFFF).complement();
    set = set.intersect(no_surrogates);
    class_work += set.size();
    return text_piece(set_class_text(set), class_insts(set.size()));
  }

  // The instructions of a class of `ranges` ranges: RE2 shares none between copies of a
  // class (four \w cost four times one), so a text full of split classes costs the sum of
  // theirs, and RE2 compiles a Unicode class to about 7/4 instructions per range (\w: 770
  // ranges, 1397 instructions).
  static uint64_t class_insts(uint64_t ranges) { return std::max<uint64_t>(1, ranges * 7 / 4); }
  std::string kinds_text(uint8_t mask) { return kinds_piece(mask).f.text; }

 private:
  const Node& node(uint32_t i) const { return ast_.nodes[i]; }
  uint8_t flags(uint32_t i) const { return pass_one_.flags[i]; }

  bool nullable(uint32_t i);
  int64_t width(uint32_t i);
  bool has_ctx(uint32_t i);

  Piece emit_checked(uint32_t i, State s, Cont& k) {
    if (k.hole()) return direct(i, s);
    const States& ex = exits(i, s);
    if (ex.empty()) return never();
    // One text after every state the node can end in: the node keeps its own text.
    const Piece& first = k.at(ex[0]);
    bool uniform = true;
    for (size_t m = 1; m < ex.size() && uniform; ++m) uniform = same(k.at(ex[m]), first);
    if (uniform) return first.fail ? never() : seq(direct(i, s), first);
    return structural(i, s, k);
  }

  // The node's own text in state `s`: its first pass's text when it holds no context
  // assertion and nothing restricts its first character.
  Piece direct(uint32_t i, State s) {
    if (!has_ctx(i) && s.n == all() && pass_one_.has_text[i]) {
      Piece p;
      p.f = pass_one_.texts[i];
      return p;
    }
    State key = s;
    key.consumed = false;
    if (!reads_prev(i)) key.c = kAnyPrev;
    const uint64_t memo = (uint64_t{i} << 16) | key.key();
    auto it = direct_.find(memo);
    if (it != direct_.end()) return it->second;
    Piece p = structural(i, s, hole_);
    if (aborted()) return never();
    direct_.emplace(memo, p);
    return p;
  }

  const States& exits(uint32_t i, State s);
  State step(uint32_t i, State s);
  Piece structural(uint32_t i, State s, Cont& k);
  Piece concat_from(uint32_t i, size_t j, State s, Cont& k);
  Cont& rest(uint32_t i, size_t j, Cont& k);
  State rest_canonical(uint32_t i, size_t j, const Cont& k, State t);
  enum : int8_t { kReads = 1, kReadsIfRest = 2, kConsumedIfRest = 4 };
  const std::vector<int8_t>& rest_reads(uint32_t i);
  std::pair<bool, bool> rest_reads(uint32_t i, size_t j, const Cont& k);  // reads the kind before, the mark
  Piece leaf(uint32_t i, State s, Cont& k);
  const Leaf& leaf_info(uint32_t i);
  Piece leaf_text(uint32_t i, uint8_t mask);
  Piece alternation(uint32_t i, State s, Cont& k);
  Piece repetition(uint32_t i, State s, Cont& k);
  Piece repeat_piece(const Piece& body, uint32_t min, uint32_t max, bool unbounded, bool greedy, int64_t width);
  Piece unroll(uint32_t x, State s, Cont& k, uint32_t min, uint32_t max, bool unbounded, bool greedy);
  Piece loop(uint32_t x, State s, Cont& k, bool plus, bool greedy);
  std::vector<Piece> solve(uint32_t x, const States& heads, bool greedy, const std::function<State(State)>& head_of,
                           Cont& stops);
  bool holds_loop(uint32_t i);
  bool keeps_order(uint32_t x, State u, const std::function<State(State)>& head_of);
  struct First {
    uint8_t kinds = 0;  // the kinds the first character consumed can have
    States empty;       // the states the node ends in without consuming
  };
  First first(uint32_t i, State s);
  First first_of(const std::vector<uint32_t>& items, size_t from, State s);
  bool one_path(uint32_t i, uint8_t follow);
  std::optional<State> single_head(uint32_t x, State s0, bool count_empty, const Cont& k);
  bool body_is_uniform(uint32_t x, State s);

  const Ast& ast_;
  const PassOne& pass_one_;
  Kinds kinds_;
  size_t size_;
  std::vector<int8_t> nullable_;
  std::vector<int8_t> reads_prev_;
  std::vector<int64_t> width_;
  std::vector<int8_t> has_ctx_;
  std::vector<Leaf> leaves_;
  std::unordered_map<uint64_t, States> exits_;
  std::unordered_map<uint64_t, Piece> direct_;
  std::map<std::tuple<uint32_t, size_t, const Cont*>, Cont*> rests_;
  std::unordered_map<uint32_t, std::vector<int8_t>> rest_reads_;
  std::vector<std::unique_ptr<Cont>> conts_;
  HoleCont hole_;
  int depth_ = 0;
};

bool is_leaf_kind(NodeKind k) {
  return k == NodeKind::Literal || k == NodeKind::Dot || k == NodeKind::Perl || k == NodeKind::Unicode ||
         k == NodeKind::Bracketed;
}

// Native anchors that test the start of the text: \A, and ^ outside multi-line mode.
bool is_start_anchor(const Node& n, uint8_t flags) {
  const auto k = static_cast<AssertKind>(n.sub);
  return k == AssertKind::StartText || (k == AssertKind::StartLine && (flags & kFlagM) == 0);
}
bool is_end_anchor(const Node& n, uint8_t flags) {
  const auto k = static_cast<AssertKind>(n.sub);
  return k == AssertKind::EndText || (k == AssertKind::EndLine && (flags & kFlagM) == 0);
}

// The assertions whose effect the state follows: the context assertions, and the text
// anchors, which hold only at the edge kind. RE2 tests the others (multi-line ^ and $ outside
// CRLF mode, ASCII \b and \B) itself, wherever they stand.
bool is_followed(const Node& n, uint8_t flags) {
  return is_context_assertion(n, flags) || is_start_anchor(n, flags) || is_end_anchor(n, flags);
}

bool Translator::nullable(uint32_t i) {
  if (nullable_[i] >= 0) return nullable_[i] != 0;
  const Node& n = node(i);
  bool v = true;
  switch (n.kind) {
    case NodeKind::Group: v = nullable(n.kids[0]); break;
    case NodeKind::Concat:
      for (uint32_t k : n.kids) v = v && nullable(k);
      break;
    case NodeKind::Alternation:
      v = false;
      for (uint32_t k : n.kids) v = v || nullable(k);
      break;
    case NodeKind::Repetition: v = n.min == 0 || nullable(n.kids[0]); break;
    default: v = !is_leaf_kind(n.kind); break;
  }
  nullable_[i] = v ? 1 : 0;
  return v;
}

// Whether the node, before it consumes a character, can reach an assertion that reads the
// kind of the character before it.
bool Translator::reads_prev(uint32_t i) {
  if (reads_prev_[i] >= 0) return reads_prev_[i] != 0;
  const Node& n = node(i);
  bool v = false;
  switch (n.kind) {
    case NodeKind::Assertion: v = is_context_assertion(n, flags(i)) || is_start_anchor(n, flags(i)); break;
    case NodeKind::Group: v = reads_prev(n.kids[0]); break;
    case NodeKind::Concat:
      for (uint32_t k : n.kids) {
        if (reads_prev(k)) {
          v = true;
          break;
        }
        if (!nullable(k)) break;
      }
      break;
    case NodeKind::Alternation:
      for (uint32_t k : n.kids) v = v || reads_prev(k);
      break;
    case NodeKind::Repetition: v = (n.unbounded || n.max > 0) && reads_prev(n.kids[0]); break;
    default: break;
  }
  reads_prev_[i] = v ? 1 : 0;
  return v;
}

// Characters in every match of the node, or -1 when matches differ in length.
int64_t Translator::width(uint32_t i) {
  if (width_[i] > -2) return width_[i];
  const Node& n = node(i);
  int64_t w = 0;
  switch (n.kind) {
    case NodeKind::Group: w = width(n.kids[0]); break;
    case NodeKind::Concat:
      for (uint32_t k : n.kids) {
        const int64_t x = width(k);
        w = (w < 0 || x < 0) ? -1 : std::min<int64_t>(w + x, INT32_MAX);
      }
      break;
    case NodeKind::Alternation:
      for (size_t m = 0; m < n.kids.size(); ++m) {
        const int64_t x = width(n.kids[m]);
        w = m == 0 ? x : (w == x ? w : -1);
      }
      break;
    case NodeKind::Repetition: {
      const int64_t x = width(n.kids[0]);
      if (x == 0 || (!n.unbounded && n.max == 0)) {
        w = 0;
      } else {
        w = (!n.unbounded && n.min == n.max && x > 0) ? std::min<int64_t>(x * n.min, INT32_MAX) : -1;
      }
      break;
    }
    default: w = is_leaf_kind(n.kind) ? 1 : 0; break;
  }
  width_[i] = w;
  return w;
}

bool Translator::has_ctx(uint32_t i) {
  if (has_ctx_[i] >= 0) return has_ctx_[i] != 0;
  const Node& n = node(i);
  bool v = is_context_assertion(n, flags(i));
  if (n.kind == NodeKind::Group || n.kind == NodeKind::Concat || n.kind == NodeKind::Alternation ||
      n.kind == NodeKind::Repetition) {
    for (uint32_t k : n.kids) v = v || has_ctx(k);
  }
  has_ctx_[i] = v ? 1 : 0;
  return v;
}

// Whether the node holds a repetition without an upper bound.
bool Translator::holds_loop(uint32_t i) {
  const Node& n = node(i);
  if (n.kind == NodeKind::Repetition && n.unbounded) return true;
  if (n.kind != NodeKind::Group && n.kind != NodeKind::Concat && n.kind != NodeKind::Alternation &&
      n.kind != NodeKind::Repetition) {
    return false;
  }
  return std::any_of(n.kids.begin(), n.kids.end(), [this](uint32_t k) { return holds_loop(k); });
}

// The state after the assertion `i` (a context assertion, or a native text anchor).
State Translator::step(uint32_t i, State s) {
  const Node& n = node(i);
  if (is_start_anchor(n, flags(i))) {
    VANTOREL_CHECK(s.c != kAnyPrev, "a start anchor where the character before was not followed");
    if (s.c != 0) s.n = 0;
    return s;
  }
  if (is_end_anchor(n, flags(i))) {
    s.n &= 1;
    return s;
  }
  VANTOREL_CHECK(s.c != kAnyPrev, "an assertion where the character before was not followed");
  const auto k = static_cast<AssertKind>(n.sub);
  const bool unicode = (flags(i) & kFlagUni) != 0;
  uint8_t allowed = 0;
  for (int q = 0; q < kinds_.count; ++q) {
    if (assertion_holds(k, unicode, kinds_.kind[s.c], kinds_.kind[q])) allowed |= static_cast<uint8_t>(1u << q);
  }
  s.n &= allowed;
  return s;
}

// The states in which the node's matches can end, entered in `s` (an empty set: none).
const States& Translator::exits(uint32_t i, State s) {
  const uint64_t memo = (uint64_t{i} << 16) | s.key();
  auto it = exits_.find(memo);
  if (it != exits_.end()) return it->second;
  const Node& n = node(i);
  States out;
  auto after_all = [&](const States& from, uint32_t kid) {
    States next;
    for (State t : from) {
      for (State e : exits(kid, t)) add_state(next, e);
    }
    return next;
  };
  switch (n.kind) {
    case NodeKind::Empty:
    case NodeKind::Flags: out.push_back(s); break;
    case NodeKind::Assertion:
      if (is_followed(n, flags(i))) {
        const State t = step(i, s);
        if (t.n != 0) out.push_back(t);
      } else {
        out.push_back(s);  // RE2 tests it itself
      }
      break;
    case NodeKind::Group: out = exits(n.kids[0], s); break;
    case NodeKind::Concat: {
      out.push_back(s);
      for (uint32_t k : n.kids) {
        out = after_all(out, k);
        if (out.empty()) break;
      }
      break;
    }
    case NodeKind::Alternation:
      for (uint32_t k : n.kids) {
        for (State e : exits(k, s)) add_state(out, e);
      }
      break;
    case NodeKind::Repetition: {
      // Layers of iterations; once the minimum is reached, every layer reachable from there
      // (more than the maximum allows is harmless: the set only decides how much to split).
      const uint32_t x = n.kids[0];
      if (!n.unbounded && n.max == 0) {
        out.push_back(s);
        break;
      }
      States layer{s};
      std::map<std::vector<uint16_t>, uint32_t> seen;  // layer -> iteration count, to skip a cycle
      for (uint32_t count = 0; count < n.min && !layer.empty();) {
        layer = after_all(layer, x);
        ++count;
        std::vector<uint16_t> keys;
        for (State t : layer) keys.push_back(t.key());
        std::sort(keys.begin(), keys.end());
        auto [pos, fresh] = seen.emplace(std::move(keys), count);
        if (!fresh) {
          const uint32_t period = count - pos->second;
          count += (n.min - count) / period * period;
          seen.clear();
        }
      }
      out = layer;
      for (size_t m = 0; m < out.size(); ++m) {
        for (State e : exits(x, out[m])) add_state(out, e);
      }
      break;
    }
    default: {
      const Leaf& leaf = leaf_info(i);
      const uint8_t allowed = static_cast<uint8_t>(leaf.kinds & s.n);
      for (int q = 1; q < kinds_.count; ++q) {
        if (allowed & (1u << q)) out.push_back(State{static_cast<uint8_t>(q), all(), true});
      }
      break;
    }
  }
  return exits_.emplace(memo, std::move(out)).first->second;
}

Piece Translator::structural(uint32_t i, State s, Cont& k) {
  if (aborted()) return never();
  const Node& n = node(i);
  switch (n.kind) {
    case NodeKind::Empty:
    case NodeKind::Flags: return k.at(s);
    case NodeKind::Assertion: {
      if (is_followed(n, flags(i))) {
        const State t = step(i, s);
        return t.n == 0 ? never() : k.at(t);
      }
      const auto kind = static_cast<AssertKind>(n.sub);
      std::string text = is_word_assertion(n) ? (kind == AssertKind::WordBoundary ? "\\b" : "\\B")
                                              : anchor_text(kind, (flags(i) & kFlagM) != 0);
      return seq(text_piece(std::move(text), 0), k.at(s));
    }
    case NodeKind::Group: return emit(n.kids[0], s, k);
    case NodeKind::Concat: return concat_from(i, 0, s, k);
    case NodeKind::Alternation: return alternation(i, s, k);
    case NodeKind::Repetition: return repetition(i, s, k);
    default: return leaf(i, s, k);
  }
}

// Per item j of the concatenation i (and j = kids.size() for none), what the items from j on
// read of the state they are entered in: kReads, the kind before; kReadsIfRest, the kind
// before if the rest after the concatenation reads it (the items can all be empty without
// reading it); kConsumedIfRest, the consumed mark if the rest reads it (the items can all be
// empty).
const std::vector<int8_t>& Translator::rest_reads(uint32_t i) {
  auto it = rest_reads_.find(i);
  if (it != rest_reads_.end()) return it->second;
  const Node& n = node(i);
  std::vector<int8_t> r(n.kids.size() + 1, 0);
  r[n.kids.size()] = kReadsIfRest | kConsumedIfRest;
  for (size_t j = n.kids.size(); j-- > 0;) {
    const uint32_t kid = n.kids[j];
    if (reads_prev(kid)) {
      r[j] = kReads;
    } else if (!nullable(kid)) {
      r[j] = 0;
    } else {
      r[j] = static_cast<int8_t>(r[j + 1] & ~kConsumedIfRest);
    }
    if (nullable(kid)) r[j] = static_cast<int8_t>(r[j] | (r[j + 1] & kConsumedIfRest));
  }
  return rest_reads_.emplace(i, std::move(r)).first->second;
}

std::pair<bool, bool> Translator::rest_reads(uint32_t i, size_t j, const Cont& k) {
  const int8_t r = rest_reads(i)[j];
  return {(r & kReads) != 0 || ((r & kReadsIfRest) != 0 && k.reads_prev()),
          (r & kConsumedIfRest) != 0 && k.reads_consumed()};
}

State Translator::rest_canonical(uint32_t i, size_t j, const Cont& k, State t) {
  const auto [prev, consumed] = rest_reads(i, j, k);
  if (!prev) t.c = kAnyPrev;
  if (!consumed) t.consumed = false;
  return t;
}

Cont& Translator::rest(uint32_t i, size_t j, Cont& k) {
  auto key = std::make_tuple(i, j, static_cast<const Cont*>(&k));
  auto it = rests_.find(key);
  if (it != rests_.end()) return *it->second;
  const auto [prev, consumed] = rest_reads(i, j, k);
  Cont& c = func([this, i, j, &k](State s) { return concat_from(i, j, s, k); }, prev, consumed);
  rests_.emplace(key, &c);
  return c;
}

// The items of a concatenation from the j-th: one after the other while each ends in one
// state (as what follows tells states apart), then with the rest carried into the item.
Piece Translator::concat_from(uint32_t i, size_t j, State s, Cont& k) {
  const Node& n = node(i);
  Piece acc;
  State cur = s;
  for (; j < n.kids.size(); ++j) {
    const uint32_t kid = n.kids[j];
    const States& ex = exits(kid, cur);
    if (ex.empty()) return never();
    const State first = rest_canonical(i, j + 1, k, ex[0]);
    bool single = true;
    for (State t : ex) single = single && rest_canonical(i, j + 1, k, t) == first;
    if (!single) return seq(acc, emit(kid, cur, rest(i, j + 1, k)));
    acc = seq(acc, direct(kid, cur));
    if (acc.fail || aborted()) return never();
    cur = first;
  }
  return seq(acc, k.at(cur));
}

const Leaf& Translator::leaf_info(uint32_t i) {
  Leaf& leaf = leaves_[i];
  if (leaf.ready) return leaf;
  leaf.ready = true;
  const Node& n = node(i);
  const uint8_t f = flags(i);
  const bool unicode = (f & kFlagUni) != 0;
  const bool fold = (f & kFlagI) != 0;
  switch (n.kind) {
    case NodeKind::Literal: {
      // As the first pass spells it: (?i) folds ASCII letters with Unicode off, and letters and
      // everything beyond ASCII through the folding table with it on.
      const uint32_t c = n.c;
      const bool ascii_letter = c < 0x80 && (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
      if (fold && !unicode && ascii_letter) {
        leaf.members = RangeSet(c | 0x20, c | 0x20);
        leaf.members.add(c & ~0x20u, c & ~0x20u);
      } else if (fold && unicode && (c >= 0x80 || ascii_letter)) {
        uint64_t links = 0;
        leaf.members = RangeSet::of_list(case_fold_closure(RangeList{{c, c}}, &links));
        class_work += links;
      } else {
        leaf.members = RangeSet(c, c);
      }
      break;
    }
    case NodeKind::Dot: {
      RangeSet excluded;
      if ((f & kFlagS) == 0) excluded.add(0xA, 0xA);
      if ((f & kFlagS) == 0 && (f & kFlagR) != 0) excluded.add(0xD, 0xD);
      leaf.members = excluded.complement();
      break;
    }
    default: {
      ClassMembers m = class_members(ast_, i, f, class_work);
      if (!m.ok) {
        if (!error) error = m.error;
        return leaf;
      }
      leaf.members = std::move(m.members);
      break;
    }
  }
  for (int q = 1; q < kinds_.count; ++q) {
    class_work += leaf.members.size();
    if (!leaf.members.intersect(kinds_.members[q]).empty()) leaf.kinds |= static_cast<uint8_t>(1u << q);
  }
  return leaf;
}

// One character of the leaf, of the kinds `mask`: the first pass's text when that is all of
// the leaf, else its members of those kinds.
Piece Translator::leaf_text(uint32_t i, uint8_t mask) {
  Leaf& leaf = leaves_[i];
  mask &= leaf.kinds;
  if (mask == leaf.kinds) {
    Piece p;
    p.f = pass_one_.texts[i];
    p.f.insts = std::max<uint64_t>(p.f.insts, class_insts(leaf.members.size()));
    return p;
  }
  auto it = leaf.texts.find(mask);
  if (it != leaf.texts.end()) return it->second;
  Piece p = kinds_piece(mask, &leaf.members);
  leaf.texts.emplace(mask, p);
  return p;
}

// A character of the leaf, split by kind where the rest differs between kinds (the parts
// match different characters, so their order does not matter).
Piece Translator::leaf(uint32_t i, State s, Cont& k) {
  const Leaf& info = leaf_info(i);
  if (aborted()) return never();
  const uint8_t allowed = static_cast<uint8_t>(info.kinds & s.n & ~1u);
  if (allowed == 0) return never();
  const auto groups = group_kinds(kinds_.count, allowed, [&](int q) -> const Piece& {
    return k.at(State{static_cast<uint8_t>(q), all(), true});
  });
  std::vector<Piece> parts;
  for (const auto& [mask, after] : groups) parts.push_back(seq(leaf_text(i, mask), *after));
  std::vector<const Piece*> refs;
  for (const Piece& p : parts) refs.push_back(&p);
  return alt(refs);
}

// Branches that end in states with one rest share it: runs of them keep their own texts
// and are followed by it once; the others carry the rest into themselves.
Piece Translator::alternation(uint32_t i, State s, Cont& k) {
  const Node& n = node(i);
  std::vector<Piece> out;
  std::vector<Piece> run;
  const Piece* run_rest = nullptr;
  auto flush = [&] {
    if (run.empty()) return;
    std::vector<const Piece*> refs;
    for (const Piece& p : run) refs.push_back(&p);
    out.push_back(seq(alt(refs), *run_rest));
    run.clear();
  };
  for (uint32_t b : n.kids) {
    const States& ex = exits(b, s);
    if (ex.empty()) continue;
    const Piece* shared = &k.at(ex[0]);
    for (size_t m = 1; m < ex.size() && shared != nullptr; ++m) {
      if (!same(k.at(ex[m]), *shared)) shared = nullptr;
    }
    if (shared == nullptr) {
      flush();
      out.push_back(structural(b, s, k));
      continue;
    }
    if (shared->fail) continue;
    if (run_rest != nullptr && !same(*run_rest, *shared)) flush();
    run_rest = shared;
    run.push_back(direct(b, s));
  }
  flush();
  std::vector<const Piece*> refs;
  for (const Piece& p : out) refs.push_back(&p);
  return alt(refs);
}

Piece Translator::repeat_piece(const Piece& body, uint32_t min, uint32_t max, bool unbounded, bool greedy,
                               int64_t body_width) {
  if (!unbounded && max == 0) return {};
  if (body.fail) return min == 0 ? Piece{} : never();
  RepeatedText r = repeat(atom_text(body.f), body.f.product, body.f.insts, body_width >= 0, min, max, unbounded, greedy);
  if (r.size_exceeded) {
    size_exceeded = true;
    return never();
  }
  Piece p;
  p.f.text = std::move(r.text);
  p.f.prec = r.chained ? Prec::Concat : Prec::Repeat;
  p.f.product = r.product;
  p.f.insts = r.insts;
  return p;
}

// Whether the body has one text in every state the loop can begin an iteration in.
bool Translator::body_is_uniform(uint32_t x, State s) {
  States heads{State{s.c, s.n, false}};
  for (size_t m = 0; m < heads.size(); ++m) {
    for (State e : exits(x, heads[m])) add_state(heads, State{e.c, e.n, false});
  }
  const Piece first = direct(x, heads[0]);
  for (size_t m = 1; m < heads.size(); ++m) {
    if (!same(direct(x, heads[m]), first)) return false;
  }
  return true;
}

// The one state every iteration after the first begins in, when every iteration from it
// also ends in it (with `count_empty`, empty iterations count as iterations that continue).
std::optional<State> Translator::single_head(uint32_t x, State s0, bool count_empty, const Cont& k) {
  const bool prev_matters = reads_prev(x) || k.reads_prev();
  auto head_of = [prev_matters](State t) { return State{prev_matters ? t.c : kAnyPrev, t.n, false}; };
  std::optional<State> u;
  for (State e : exits(x, s0)) {
    if (!count_empty && !e.consumed) continue;
    const State h = head_of(e);
    if (u && !(*u == h)) return std::nullopt;
    u = h;
  }
  if (!u) return std::nullopt;
  for (State e : exits(x, *u)) {
    if (!head_of(e).same_place(*u)) return std::nullopt;
  }
  return u;
}

Piece Translator::repetition(uint32_t i, State s, Cont& k) {
  const Node& n = node(i);
  const uint32_t x = n.kids[0];
  const bool greedy = n.greedy != ((flags(i) & kFlagU) != 0);
  if (!n.unbounded && n.max == 0) return k.at(s);
  // One body text for every iteration (and, as emit checked, one rest after every end):
  // RE2 repeats it as it stands.
  if (k.hole() && body_is_uniform(x, s)) {
    return repeat_piece(direct(x, s), n.min, n.max, n.unbounded, greedy, width(x));
  }
  if (n.unbounded && n.min <= 1) return loop(x, s, k, n.min == 1, greedy);
  const State s0{s.c, s.n, false};
  // After the first iteration every iteration begins and ends in one state: the first, then
  // RE2's repetition of the body in that state (the rest cannot tell how much was consumed).
  if (!k.reads_consumed()) {
    if (std::optional<State> u = single_head(x, s0, true, k)) {
      const uint32_t more_min = n.min > 0 ? n.min - 1 : 0;
      const Piece more = repeat_piece(direct(x, *u), more_min, n.max - 1, n.unbounded, greedy, width(x));
      const Piece once = seq(direct(x, s0), seq(more, k.at(*u)));
      return n.min == 0 ? ordered(once, k.at(s), greedy) : once;
    }
  }
  return unroll(x, s, k, n.min, n.max, n.unbounded, greedy);
}

// x{min,max} as copies of the body, each followed by the rest of the copies; x{min,} as
// min - 1 copies followed by x+. Copies that end in one state are laid one after another.
Piece Translator::unroll(uint32_t x, State s, Cont& k, uint32_t min, uint32_t max, bool unbounded, bool greedy) {
  const uint32_t fixed = unbounded ? min - 1 : min;
  // (*copies)[j]: the copies from the j-th on, then the rest; made when first asked for.
  auto copies = std::make_shared<std::vector<Cont*>>(unbounded ? fixed + 1 : max + 1, nullptr);
  auto copy = std::make_shared<std::function<Cont&(uint32_t)>>();
  *copy = [this, x, &k, min, max, fixed, unbounded, greedy, copies,
           weak = std::weak_ptr<std::function<Cont&(uint32_t)>>(copy)](uint32_t j) -> Cont& {
    Cont*& slot = (*copies)[j];
    if (slot != nullptr) return *slot;
    if (unbounded && j == fixed) {
      slot = &func([this, x, &k, greedy](State t) { return loop(x, t, k, true, greedy); }, true, k.reads_consumed());
    } else if (!unbounded && j == max) {
      slot = &k;
    } else {
      auto next = weak.lock();
      slot = &func(
          [this, x, &k, j, min, greedy, next](State t) {
            const Piece more = emit(x, t, (*next)(j + 1));
            return j < min ? more : ordered(more, k.at(t), greedy);
          },
          true, true);
    }
    return *slot;
  };
  Piece acc;
  State cur = s;
  uint32_t j = 0;
  for (; j < fixed; ++j) {
    const States& ex = exits(x, cur);
    if (ex.size() != 1) break;
    acc = seq(acc, direct(x, cur));
    if (acc.fail || aborted()) return never();
    cur = ex[0];
  }
  return seq(acc, (*copy)(j).at(cur));
}

// x* or x+ (and its lazy forms), as the dialect and RE2 compile them: x+ is x followed by a
// loop node that goes back to x or stops; x* is (x+)?. The loop node is reached once per
// position, so after an iteration that consumed, an iteration that consumes nothing dies
// there (the node was reached at that position already), and the loop stops at the node's
// second branch; only an empty first iteration reaches the node afresh and stops at once.
//
// The loop node's state is the state the last iteration ended in (as far as the body and
// the rest tell states apart); what follows an iteration that consumed and ended in head h
// is tail_h = (iterations from h that consume, each followed by the tail of its end) | K_h.
// Three forms, from the smallest:
// - one head, and iterations from it that consume end in it again: RE2's repetition of
//   those iterations, then K;
// - the iterations that consume have one text from every head, and so has the last one
//   followed by its K: those iterations repeated, then the last one;
// - otherwise the heads are the unknowns of a system P_h = sum over h' of (iterations from h
//   ending in h') P_h' | (iterations from h, then the rest), solved by eliminating one head
//   after another with P = A P | B => P = A* B.
// The last two list every iteration that goes on before every one that stops. That is the
// dialect's order when every match of the body has one length (they then all end at one
// place); for a body of other lengths another of the matches can be preferred, which the
// README names.
Piece Translator::loop(uint32_t x, State s, Cont& k, bool plus, bool greedy) {
  const State s0{s.c, s.n, false};
  // Heads told apart by the kind before only where the body or the rest reads it.
  const bool prev_matters = reads_prev(x) || k.reads_prev();
  auto head_of = [prev_matters](State t) { return State{prev_matters ? t.c : kAnyPrev, t.n, false}; };
  States heads;
  for (State e : exits(x, s0)) {
    if (e.consumed) add_state(heads, head_of(e));
  }
  for (size_t m = 0; m < heads.size(); ++m) {
    for (State e : exits(x, heads[m])) {
      if (e.consumed) add_state(heads, head_of(e));
    }
  }
  // tails[h]: what may follow an iteration that consumed and ended in heads[h].
  std::vector<Piece> tails(heads.size());
  auto stop = [&k](State t) -> const Piece& { return k.at(State{t.c, t.n, true}); };
  Cont& consumed = func([](State t) { return t.consumed ? Piece{} : never(); }, false, true);
  Cont& stops = func([&k](State t) { return t.consumed ? Piece(k.at(State{t.c, t.n, true})) : never(); }, true, true);
  // From each head: the iterations that consume (an empty one ends the loop), and the last
  // iteration followed by the rest. A head from which no iteration consumes only stops.
  std::vector<Piece> bodies;
  std::vector<Piece> lasts;
  std::vector<size_t> live;
  for (size_t h = 0; h < heads.size(); ++h) {
    bodies.push_back(emit(x, heads[h], consumed));
    lasts.push_back(emit(x, heads[h], stops));
    if (!bodies[h].fail) live.push_back(h);
  }
  // Whether every iteration from `from` that consumes ends in a head of `to`.
  auto ends_in = [&](State from, const std::vector<size_t>& to) {
    for (State e : exits(x, from)) {
      if (!e.consumed) continue;
      const State h = head_of(e);
      if (std::none_of(to.begin(), to.end(), [&](size_t m) { return h.same_place(heads[m]); })) return false;
    }
    return true;
  };
  const bool one_head = live.size() == 1 && ends_in(heads[live[0]], live);
  // The iterations that go on: those that consume and end in a head from which the loop can
  // go on.
  auto live_heads = std::make_shared<States>();
  for (size_t h : live) live_heads->push_back(heads[h]);
  Cont& goes_on_from = func(
      [live_heads, head_of](State t) {
        if (!t.consumed) return never();
        const State h = head_of(t);
        const bool to_live = std::any_of(live_heads->begin(), live_heads->end(), [&](State m) { return h.same_place(m); });
        return to_live ? Piece{} : never();
      },
      true, true);
  std::vector<Piece> repeated(heads.size());
  bool one_body = !live.empty() && !one_head;
  for (size_t h : live) {
    repeated[h] = emit(x, heads[h], goes_on_from);
    one_body = one_body && same(repeated[h], repeated[live[0]]) && same(lasts[h], lasts[live[0]]);
  }
  // Whether the first iteration always consumes: it may then join the iterations after it
  // when its text is theirs.
  bool first_consumes = true;
  for (State e : exits(x, s0)) first_consumes = first_consumes && e.consumed;
  for (size_t h = 0; h < heads.size(); ++h) tails[h] = stop(heads[h]);
  if (one_head) {
    const size_t u = live[0];
    if (first_consumes && ends_in(s0, live) && same(emit(x, s0, consumed), bodies[u])) {
      // Every iteration, the first included, is the body and ends in the one head: body+, then K.
      const Piece once = seq(repeat_piece(bodies[u], 1, 0, true, greedy, width(x)), stop(heads[u]));
      return plus ? once : ordered(once, k.at(s), greedy);
    }
    tails[u] = seq(repeat_piece(bodies[u], 0, 0, true, greedy, width(x)), stop(heads[u]));
  } else if (one_body) {
    const size_t u = live[0];
    const Piece more = repeat_piece(repeated[u], 0, 0, true, greedy, width(x));
    const Piece goes_on = seq(more, lasts[u]);
    if (width(x) <= 0 && !keeps_order(x, heads[u], head_of)) exact = false;
    if (first_consumes && same(emit(x, s0, goes_on_from), repeated[u]) && same(emit(x, s0, stops), lasts[u])) {
      // The first iteration is one of the repeated ones: the loop is the repeated part.
      return plus ? goes_on : ordered(goes_on, k.at(s), greedy);
    }
    for (size_t h : live) tails[h] = ordered(goes_on, stop(heads[h]), greedy);
  } else if (!live.empty()) {
    std::vector<Piece> goes_on = solve(x, heads, greedy, head_of, stops);
    for (size_t h = 0; h < heads.size(); ++h) tails[h] = ordered(goes_on[h], stop(heads[h]), greedy);
    if (width(x) <= 0 && !(live.size() == 1 && keeps_order(x, heads[live[0]], head_of))) exact = false;
  }
  // RE2 cuts an iteration where a repetition inside the body was reached at the same place
  // by the iteration before; the forms above repeat the body as the pattern does, except the
  // first iteration and the last two forms, which copy it. Copies change that only for a body
  // that can be empty and holds a repetition of its own.
  if (nullable(x) && holds_loop(x)) exact = false;
  if (aborted()) return never();
  // The first iteration: after one that consumed, the loop goes on as above; after an empty
  // one it stops.
  auto shared_tails = std::make_shared<std::vector<Piece>>(std::move(tails));
  Cont& first = func(
      [&k, heads, shared_tails, s, head_of](State t) -> Piece {
        if (t.consumed) {
          const State h = head_of(t);
          for (size_t m = 0; m < heads.size(); ++m) {
            if (h.same_place(heads[m])) return (*shared_tails)[m];
          }
          VANTOREL_CHECK(false, "an iteration ending in no head of its loop");
        }
        return k.at(State{t.c, t.n, s.consumed});
      },
      true, true);
  const Piece once = emit(x, s0, first);
  if (plus) return once;
  return ordered(once, k.at(s), greedy);
}

// Whether the forms that list every iteration that goes on before every one that stops keep
// the dialect's order for a body of several lengths, when the loop goes on from one head `u`
// (the others only stop). They do when the body, from `u`, has at most one path that can go
// on and no path before it can match: each item of the body has one path that can be followed
// by what may come after it on a path that goes on (the items after it, then the next
// iteration), and an item with several lengths is a greedy run whose longest run, its first,
// is that path. Then the longest runs are the only way to go on and come first, as the dialect
// tries them. (?:\b\w+\b\s*)+ and (?mR)(?:^[a-z]{3}\r?)+ are of this form.
bool Translator::keeps_order(uint32_t x, State u, const std::function<State(State)>& head_of) {
  // The body's items, through groups and concatenations.
  std::vector<uint32_t> items;
  std::vector<uint32_t> todo{x};
  while (!todo.empty()) {
    const uint32_t i = todo.back();
    todo.pop_back();
    const Node& n = node(i);
    if (n.kind == NodeKind::Group || n.kind == NodeKind::Concat) {
      for (size_t k = n.kids.size(); k-- > 0;) todo.push_back(n.kids[k]);
    } else {
      items.push_back(i);
    }
  }
  States before{u};
  for (size_t k = 0; k < items.size(); ++k) {
    States after;
    for (State t : before) {
      for (State e : exits(items[k], t)) add_state(after, e);
    }
    uint8_t follow = 0;
    for (State t : after) {
      const First f = first_of(items, k + 1, t);
      follow |= f.kinds;
      for (State e : f.empty) follow |= static_cast<uint8_t>(first(x, head_of(e)).kinds & e.n);
    }
    const Node& n = node(items[k]);
    const bool lazy = n.kind == NodeKind::Repetition && n.greedy == ((flags(items[k]) & kFlagU) != 0);
    if (lazy || !one_path(items[k], static_cast<uint8_t>(follow & ~1u))) return false;
    before = std::move(after);
  }
  return true;
}

// Whether at most one path of the node can be followed by a character of the kinds `follow`.
bool Translator::one_path(uint32_t i, uint8_t follow) {
  const Node& n = node(i);
  switch (n.kind) {
    case NodeKind::Group: return one_path(n.kids[0], follow);
    case NodeKind::Concat:
    case NodeKind::Alternation: return false;
    case NodeKind::Repetition: {
      uint32_t body = n.kids[0];
      while (node(body).kind == NodeKind::Group) body = node(body).kids[0];
      if (!is_leaf_kind(node(body).kind)) return false;
      // A fixed count of one class has one path; a run of a class that cannot be followed by
      // a character of its own ends only where the class stops.
      return (!n.unbounded && n.min == n.max) || (leaf_info(body).kinds & follow) == 0;
    }
    default: return true;
  }
}

Translator::First Translator::first_of(const std::vector<uint32_t>& items, size_t from, State s) {
  First out;
  States cur{s};
  for (size_t k = from; k < items.size() && !cur.empty(); ++k) {
    States next;
    for (State t : cur) {
      const First f = first(items[k], t);
      out.kinds |= f.kinds;
      for (State e : f.empty) add_state(next, e);
    }
    cur = std::move(next);
  }
  out.empty = std::move(cur);
  return out;
}

// The kinds of the first character the node consumes, entered in `s`, and the states of its
// paths that consume none (a repetition is looked at for two iterations: enough to bound
// what it can consume first).
Translator::First Translator::first(uint32_t i, State s) {
  const Node& n = node(i);
  First out;
  switch (n.kind) {
    case NodeKind::Empty:
    case NodeKind::Flags: out.empty.push_back(s); break;
    case NodeKind::Assertion:
      out.empty = exits(i, s);
      break;
    case NodeKind::Group: out = first(n.kids[0], s); break;
    case NodeKind::Concat: out = first_of(n.kids, 0, s); break;
    case NodeKind::Alternation:
      for (uint32_t k : n.kids) {
        const First f = first(k, s);
        out.kinds |= f.kinds;
        for (State e : f.empty) add_state(out.empty, e);
      }
      break;
    case NodeKind::Repetition: {
      if (n.min == 0) out.empty.push_back(s);
      if (!n.unbounded && n.max == 0) break;
      const First once = first(n.kids[0], s);
      out.kinds = once.kinds;
      for (State e : once.empty) {
        add_state(out.empty, e);
        out.kinds |= first(n.kids[0], e).kinds;
      }
      break;
    }
    default: out.kinds = static_cast<uint8_t>(leaf_info(i).kinds & s.n); break;
  }
  return out;
}

// The loop from each head, by Gauss-Jordan elimination over regular expressions.
std::vector<Piece> Translator::solve(uint32_t x, const States& heads, bool greedy,
                                     const std::function<State(State)>& head_of, Cont& stops) {
  const size_t m = heads.size();
  std::vector<std::vector<Piece>> via(m, std::vector<Piece>(m));  // via[a][b]: iterations from a that end in b
  std::vector<Piece> out(m);                                     // iterations from a, then the rest
  for (size_t b = 0; b < m; ++b) {
    Cont& to_b = func(
        [head = heads[b], head_of](State t) {
          return t.consumed && head_of(t).same_place(head) ? Piece{} : never();
        },
        true, true);
    for (size_t a = 0; a < m; ++a) via[a][b] = emit(x, heads[a], to_b);
  }
  for (size_t a = 0; a < m; ++a) out[a] = emit(x, heads[a], stops);
  for (size_t h = 0; h < m && !aborted(); ++h) {
    // P_h = via[h][h] P_h | rest  =>  P_h = via[h][h]* rest
    const Piece self = repeat_piece(via[h][h], 0, 0, true, greedy, -1);
    via[h][h] = never();
    for (size_t b = 0; b < m; ++b) {
      if (!via[h][b].fail) via[h][b] = seq(self, via[h][b]);
    }
    out[h] = seq(self, out[h]);
    for (size_t r = 0; r < m; ++r) {
      if (r == h || via[r][h].fail) continue;
      const Piece into = via[r][h];
      via[r][h] = never();
      for (size_t b = 0; b < m; ++b) {
        if (b == h || via[h][b].fail) continue;
        const Piece added = seq(into, via[h][b]);
        via[r][b] = alt({&via[r][b], &added});
      }
      // Through h the loop goes on: before stopping at r when greedy, after it when lazy.
      const Piece added = seq(into, out[h]);
      out[r] = ordered(added, out[r], greedy);
    }
  }
  return out;
}

// One translation of the whole pattern. The end of a match is followed by a test of the
// character after it where an assertion still restricts it: that character (a kind still
// allowed) is consumed, or the text's end, and capture group () after the character marks
// the match to be shortened by it; `*tests_after` tells whether any end has such a test.
// With `consume_all`, the ends that need no test consume any character (or the text's end)
// all the same, so that every match that ends before the text's end has consumed one.
ContextTranslation assemble(const Ast& ast, const PassOne& pass_one, const Kinds& kinds, bool consume_all,
                            bool* tests_after) {
  Translator t(ast, pass_one, kinds);
  const uint8_t all = t.all();
  Cont& end = t.func(
      [&t, all, consume_all, tests_after](State s) -> Piece {
        if (s.n == all && !consume_all) return {};
        if (s.n != all) *tests_after = true;
        const uint8_t chars = static_cast<uint8_t>(s.n & ~1u);
        if (chars == 0) return text_piece("\\z", 0);
        Piece next = t.kinds_piece(chars);
        next.f.text += "()";
        if (s.n & 1) next.f.text = "(?:" + next.f.text + "|\\z)";
        return next;
      },
      false, false);
  ContextTranslation out;
  // One version of the pattern per kind of character before the match: the start of the
  // text, or a character of that kind, consumed first. Kinds with the same version share it.
  std::vector<Piece> versions;
  if (!t.reads_prev(ast.root)) {
    versions.push_back(t.emit(ast.root, State{kAnyPrev, all, false}, end));
  } else {
    // The distinct versions all go into one program: their sizes add up.
    uint64_t insts = 0;
    for (int c = 0; c < t.kinds().count && !t.aborted(); ++c) {
      versions.push_back(t.emit(ast.root, State{static_cast<uint8_t>(c), all, false}, end));
      const bool repeated = std::any_of(versions.begin(), versions.end() - 1,
                                        [&](const Piece& v) { return same(v, versions.back()); });
      if (!repeated) insts = saturating_add(insts, versions.back().f.insts);
      if (insts > kMaxProgramSize) t.size_exceeded = true;
    }
  }
  out.class_work = t.class_work;
  if (t.error) {
    out.error = *t.error;
    return out;
  }
  if (t.size_exceeded) {
    out.size_exceeded = true;
    return out;
  }
  out.exact = t.exact;
  out.ok = true;
  bool one = true;
  for (const Piece& v : versions) one = one && same(v, versions[0]);
  if (one) {
    out.re2 = versions[0].fail ? std::string(kNeverMatches) : versions[0].f.text;
    return out;
  }
  // The kinds before the match, grouped by their version.
  const auto groups =
      group_kinds(t.kinds().count, all, [&versions](int c) -> const Piece& { return versions[static_cast<size_t>(c)]; });
  const Piece& at_start = versions[0];
  auto wrapped = [](const Piece& p) { return p.f.prec == Prec::Alt ? "(?:" + p.f.text + ")" : p.f.text; };
  // The alternative for a match at the text's start comes first: it must win over a match
  // whose first consumed character is the text's first one, and its marker must be group 1.
  std::vector<std::string> alternatives;
  const std::string start = groups.empty() ? "\\A" : "\\A()";
  auto merged = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return same(at_start, *g.second); });
  if (!at_start.fail && merged != groups.end()) {
    alternatives.push_back("(?:" + start + "|" + t.kinds_text(merged->first) + ")" + wrapped(*merged->second));
  } else if (!at_start.fail) {
    alternatives.push_back(start + wrapped(at_start));
  }
  for (auto g = groups.begin(); g != groups.end(); ++g) {
    if (at_start.fail || g != merged) alternatives.push_back(t.kinds_text(g->first) + wrapped(*g->second));
  }
  if (alternatives.empty()) {
    out.re2 = std::string(kNeverMatches);
    return out;
  }
  out.prefix = !groups.empty();
  out.start_marker = out.prefix && !at_start.fail;
  for (size_t a = 0; a < alternatives.size(); ++a) out.re2 += (a == 0 ? "" : "|") + alternatives[a];
  if (out.start_marker) {
    for (size_t a = 0; a < groups.size(); ++a) {
      out.re2_later += (a == 0 ? "" : "|") + t.kinds_text(groups[a].first) + wrapped(*groups[a].second);
    }
  }
  return out;
}

}  // namespace

ContextTranslation translate_context(const Ast& ast, const PassOne& pass_one) {
  bool crlf = false;
  bool word_ascii = false;
  bool word_unicode = false;
  for (size_t i = 0; i < ast.nodes.size(); ++i) {
    const Node& n = ast.nodes[i];
    if (!is_context_assertion(n, pass_one.flags[i])) continue;
    if (!is_word_assertion(n)) {
      crlf = true;
    } else if ((pass_one.flags[i] & kFlagUni) != 0) {
      word_unicode = true;
    } else {
      word_ascii = true;
    }
  }
  const Kinds kinds = kinds_for(crlf, word_ascii, word_unicode);
  // A pattern whose ends test the character after them is translated again with every end
  // consuming one: the adapter then needs RE2's capture groups only for a match that reaches
  // the text's end (or starts at its start), and finds every other match with RE2's DFAs.
  bool tests_after = false;
  ContextTranslation out = assemble(ast, pass_one, kinds, false, &tests_after);
  if (out.ok && tests_after) {
    out = assemble(ast, pass_one, kinds, true, &tests_after);
    out.suffix = true;
  }
  return out;
}

}  // namespace vantorel::regex
