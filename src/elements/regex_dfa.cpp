// The byte DFA: a priority NFA over bytes built from the parsed pattern (each character set
// spelled as its UTF-8 byte sequences), then the subset construction that RE2's own DFA
// performs for leftmost-first matching: a state is the ordered list of the NFA threads
// still alive, highest priority first, cut after the first thread that has matched (the
// threads behind it can only give matches of lower priority). A run remembers the last
// position at which the state held a match; the threads ahead of that match are the only
// ones that can give a better one, so the last match seen before the state dies is the
// leftmost-first match.
#include "elements/regex_dfa.hpp"


#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "elements/byte_set.hpp"
#include "elements/regex_class.hpp"
#include "elements/regex_tables.hpp"

namespace vantorel::regex {

namespace {

constexpr uint32_t kMaxInsts = 4096;        // NFA instructions; a larger pattern is left to RE2
constexpr uint64_t kMaxWork = uint64_t{1} << 22;  // closure steps of the subset construction

struct Inst {
  enum Op : uint8_t { Bytes, Split, Match };
  Op op = Match;
  uint32_t set = 0;   // Bytes: index of its byte set
  uint32_t out = 0;   // Bytes: the next instruction; Split: the preferred one
  uint32_t out1 = 0;  // Split: the other one
};

// One UTF-8 byte sequence of a range of code points: byte k lies in [lo[k], hi[k]].
struct Sequence {
  uint32_t length = 0;
  uint8_t lo[4] = {};
  uint8_t hi[4] = {};
};

uint32_t utf8_length(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

void encode(uint32_t c, uint8_t* out) {
  std::string s;
  append_utf8(s, c);
  std::memcpy(out, s.data(), s.size());
}

// The byte sequences of the code points [lo, hi] (lo >= 0x80), in order: the range is split
// until each part has one length and, at every byte, either a single value or the whole
// span of continuation values below the bytes before it, so each part is one sequence of
// byte ranges.
void utf8_sequences(uint32_t lo, uint32_t hi, std::vector<Sequence>& out) {
  std::vector<std::pair<uint32_t, uint32_t>> stack{{lo, hi}};
  while (!stack.empty()) {
    auto [s, e] = stack.back();
    stack.pop_back();
    if (s > e) continue;
    bool split = false;
    for (uint32_t max : {0x7Fu, 0x7FFu, 0xFFFFu}) {
      if (s <= max && max < e) {
        stack.emplace_back(max + 1, e);
        stack.emplace_back(s, max);
        split = true;
        break;
      }
    }
    if (split) continue;
    const uint32_t n = utf8_length(s);
    for (uint32_t i = 1; i < n && !split; ++i) {
      const uint32_t m = (1u << (6 * i)) - 1;
      if ((s & ~m) == (e & ~m)) continue;
      if ((s & m) != 0) {
        stack.emplace_back((s | m) + 1, e);
        stack.emplace_back(s, s | m);
        split = true;
      } else if ((e & m) != m) {
        stack.emplace_back(e & ~m, e);
        stack.emplace_back(s, (e & ~m) - 1);
        split = true;
      }
    }
    if (split) continue;
    Sequence seq;
    seq.length = n;
    encode(s, seq.lo);
    encode(e, seq.hi);
    out.push_back(seq);
  }
}

// The NFA of a pattern, built back to front: each node is built with the instruction that
// follows it, so a repetition's copies are plain copies. Flags are worked out first, front
// to back, as the translation reads them.
class NfaBuilder {
 public:
  NfaBuilder(const Ast& ast, uint8_t flags) : ast_(ast), flags_(ast.nodes.size(), 0), sets_(ast.nodes.size()) {
    initial_ = flags;
  }

  bool ok = true;
  std::vector<Inst> insts;
  std::vector<ByteSet> byte_sets;

  // The start of the NFA of `node`, followed by a match.
  uint32_t run(uint32_t node) {
    uint8_t f = initial_;
    assign_flags(node, f);
    insts.push_back({Inst::Match, 0, 0, 0});
    return ok ? build(node, 0) : 0;
  }

 private:
  const Node& node(uint32_t i) const { return ast_.nodes[i]; }

  // Records the flags in effect at every node, in the translation's order: a flag item
  // changes the flags for what follows it up to the end of its group, across alternatives.
  void assign_flags(uint32_t i, uint8_t& f) {
    flags_[i] = f;
    const Node& n = node(i);
    auto apply = [&f](const FlagChange& c) { f = static_cast<uint8_t>((f | c.on) & ~c.off); };
    switch (n.kind) {
      case NodeKind::Flags: apply(n.flags); break;
      case NodeKind::Group: {
        const uint8_t saved = f;
        apply(n.flags);
        assign_flags(n.kids[0], f);
        f = saved;
        break;
      }
      case NodeKind::Repetition:
      case NodeKind::Concat:
      case NodeKind::Alternation:
        for (uint32_t k : n.kids) assign_flags(k, f);
        break;
      default: break;
    }
  }

  uint32_t emit(Inst inst) {
    if (insts.size() >= kMaxInsts) {
      ok = false;
      return 0;
    }
    insts.push_back(inst);
    return static_cast<uint32_t>(insts.size() - 1);
  }
  uint32_t split(uint32_t preferred, uint32_t other) { return emit({Inst::Split, 0, preferred, other}); }
  uint32_t bytes(const ByteSet& set, uint32_t next) {
    byte_sets.push_back(set);
    return emit({Inst::Bytes, static_cast<uint32_t>(byte_sets.size() - 1), next, 0});
  }

  // Whether `i` can match the empty text.
  bool nullable(uint32_t i) const {
    const Node& n = node(i);
    switch (n.kind) {
      case NodeKind::Empty:
      case NodeKind::Flags:
      case NodeKind::Assertion: return true;
      case NodeKind::Group: return nullable(n.kids[0]);
      case NodeKind::Repetition: return n.min == 0 || nullable(n.kids[0]);
      case NodeKind::Concat:
        return std::all_of(n.kids.begin(), n.kids.end(), [this](uint32_t k) { return nullable(k); });
      case NodeKind::Alternation:
        return std::any_of(n.kids.begin(), n.kids.end(), [this](uint32_t k) { return nullable(k); });
      default: return false;
    }
  }

  // The characters one character node matches, as the translation spells them.
  const RangeSet* members(uint32_t i) {
    if (sets_[i]) return &*sets_[i];
    const Node& n = node(i);
    const uint8_t f = flags_[i];
    const bool unicode = (f & kFlagUni) != 0;
    RangeSet s;
    if (n.kind == NodeKind::Literal) {
      const uint32_t c = n.c;
      const bool ascii_letter = c < 0x80 && (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
      if ((f & kFlagI) != 0 && unicode && (c >= 0x80 || ascii_letter)) {
        uint64_t links = 0;
        s = RangeSet::of_list(case_fold_closure({{c, c}}, &links));
      } else if ((f & kFlagI) != 0 && ascii_letter) {
        s = RangeSet(c | 0x20, c | 0x20);
        s.add(c & ~0x20u, c & ~0x20u);
      } else {
        s = RangeSet(c, c);
      }
    } else if (n.kind == NodeKind::Dot) {
      if (!unicode) return nullptr;  // the translation refuses it
      s = RangeSet::all();
      if ((f & kFlagS) == 0) {
        RangeSet ends(0xA, 0xA);
        if ((f & kFlagR) != 0) ends.add(0xD, 0xD);
        s = s.intersect(ends.complement());
      }
    } else {
      uint64_t work = 0;
      ClassMembers m = class_members(ast_, i, f, work);
      if (!m.ok) return nullptr;
      s = std::move(m.members);
    }
    sets_[i] = std::move(s);
    return &*sets_[i];
  }

  // One character of `set`, then `next`: the ASCII members as one byte set, and each UTF-8
  // sequence of the other members as a chain of byte sets, tried in turn (they are
  // disjoint, so their order does not matter).
  uint32_t character(const RangeSet& set, uint32_t next) {
    ByteSet ascii;
    std::vector<Sequence> seqs;
    for (const CodePointRange& r : set.ranges()) {
      for (uint32_t c = r.lo; c <= std::min<uint32_t>(r.hi, 0x7F); ++c) ascii.insert(c);
      if (r.hi >= 0x80) utf8_sequences(std::max<uint32_t>(r.lo, 0x80), r.hi, seqs);
      if (seqs.size() > kMaxInsts) {
        ok = false;
        return 0;
      }
    }
    std::vector<uint32_t> starts;
    if (!ascii.empty() || seqs.empty()) starts.push_back(bytes(ascii, next));
    for (const Sequence& q : seqs) {
      uint32_t at = next;
      for (uint32_t k = q.length; k-- > 0;) {
        ByteSet b;
        for (uint32_t v = q.lo[k]; v <= q.hi[k]; ++v) b.insert(v);
        at = bytes(b, at);
      }
      starts.push_back(at);
      if (!ok) return 0;
    }
    uint32_t start = starts.back();
    for (size_t k = starts.size() - 1; k-- > 0;) start = split(starts[k], start);
    return start;
  }

  uint32_t build(uint32_t i, uint32_t next) {
    if (!ok) return 0;
    const Node& n = node(i);
    switch (n.kind) {
      case NodeKind::Empty:
      case NodeKind::Flags: return next;
      case NodeKind::Group: return build(n.kids[0], next);
      case NodeKind::Concat:
        for (size_t k = n.kids.size(); k-- > 0;) next = build(n.kids[k], next);
        return next;
      case NodeKind::Alternation: {
        std::vector<uint32_t> starts;
        for (uint32_t k : n.kids) starts.push_back(build(k, next));
        if (!ok) return 0;
        uint32_t start = starts.back();
        for (size_t k = starts.size() - 1; k-- > 0;) start = split(starts[k], start);
        return start;
      }
      case NodeKind::Repetition: return repetition(n, next);
      case NodeKind::Literal:
      case NodeKind::Dot:
      case NodeKind::Perl:
      case NodeKind::Unicode:
      case NodeKind::Bracketed: {
        const RangeSet* s = members(i);
        if (s == nullptr) {
          ok = false;
          return 0;
        }
        return character(*s, next);
      }
      default:  // assertions: RE2 alone
        ok = false;
        return 0;
    }
  }

  // x{min,max}: min copies, then the optional copies nested as (x(x(x)?)?)?; x{min,}: min - 1
  // copies and x+ (or x*). The order of preference is RE2's. A loop over a part that can
  // match the empty text is left to RE2, which orders its iterations in its own way.
  uint32_t repetition(const Node& n, uint32_t next) {
    const uint32_t body = n.kids[0];
    const bool greedy = n.greedy != ((flags_[body] & kFlagU) != 0);
    if (!n.unbounded && n.max == 0) return next;
    if (n.unbounded) {
      if (nullable(body)) {
        ok = false;
        return 0;
      }
      // The loop: a split that either runs the body again or leaves.
      const uint32_t loop = split(0, 0);
      const uint32_t start = build(body, loop);
      if (!ok) return 0;
      insts[loop].out = greedy ? start : next;
      insts[loop].out1 = greedy ? next : start;
      uint32_t at = n.min == 0 ? loop : start;
      for (uint32_t k = 1; k < n.min && ok; ++k) at = build(body, at);
      return at;
    }
    uint32_t at = next;
    for (uint32_t k = n.min; k < n.max && ok; ++k) {
      const uint32_t copy = build(body, at);
      at = greedy ? split(copy, next) : split(next, copy);
    }
    for (uint32_t k = 0; k < n.min && ok; ++k) at = build(body, at);
    return at;
  }

  const Ast& ast_;
  uint8_t initial_ = 0;
  std::vector<uint8_t> flags_;
  std::vector<std::optional<RangeSet>> sets_;
};

}  // namespace

// The subset construction over the NFA, with the work bounded (states and closure steps).
class DfaBuilder {
 public:
  DfaBuilder(const std::vector<Inst>& insts, const std::vector<ByteSet>& sets)
      : insts_(insts), sets_(sets), seen_(insts.size(), 0) {}

  std::unique_ptr<ByteDfa> run(uint32_t start) {
    std::unique_ptr<ByteDfa> dfa(new ByteDfa());
    byte_classes(*dfa);
    const uint32_t k = dfa->classes_;
    std::vector<uint8_t> representative(k, 0);
    for (int b = 255; b >= 0; --b) representative[dfa->byte_class_[b]] = static_cast<uint8_t>(b);

    lists_.push_back({});  // the dead state
    ids_.emplace(std::vector<uint32_t>{}, 0);
    std::vector<uint32_t> first;
    step({start}, -1, first);
    dfa->start_ = intern(first);
    for (uint32_t s = 0; s < lists_.size() && ok_; ++s) {
      for (uint32_t c = 0; c < k && ok_; ++c) {
        std::vector<uint32_t> to;
        if (s != 0) step(lists_[s], representative[c], to);
        const uint32_t id = intern(to);
        dfa->next_.resize(std::max<size_t>(dfa->next_.size(), (size_t{s} + 1) * k), 0);
        dfa->next_[size_t{s} * k + c] = static_cast<uint16_t>(id);
      }
    }
    if (!ok_) return nullptr;
    dfa->next_.resize(lists_.size() * k, 0);
    dfa->accepting_.resize(lists_.size(), 0);
    for (size_t s = 0; s < lists_.size(); ++s) {
      dfa->accepting_[s] = !lists_[s].empty() && insts_[lists_[s].back()].op == Inst::Match;
    }
    dfa->step_.resize(dfa->next_.size());
    for (size_t i = 0; i < dfa->next_.size(); ++i) {
      const uint32_t to = dfa->next_[i];
      dfa->step_[i] = to * k | (dfa->accepting_[to] != 0 ? ByteDfa::kAcceptBit : 0);
    }
    first_bytes(*dfa);
    return dfa;
  }

 private:
  // Bytes that every byte set holds or lacks alike share a class.
  void byte_classes(ByteDfa& dfa) const {
    uint32_t count = 1;
    for (const ByteSet& set : sets_) {
      std::vector<int> renamed(size_t{count} * 2, -1);
      uint32_t next = 0;
      for (int b = 0; b < 256; ++b) {
        int& slot = renamed[size_t{dfa.byte_class_[b]} * 2 + (set.contains(static_cast<unsigned>(b)) ? 1 : 0)];
        if (slot < 0) slot = static_cast<int>(next++);
        dfa.byte_class_[b] = static_cast<uint8_t>(slot);
      }
      count = next;
    }
    dfa.classes_ = count;
  }

  // The threads after reading `byte` (or, for -1, the threads at the start from `from`), in
  // order of priority; stops at the first match, cutting every thread behind it.
  void step(const std::vector<uint32_t>& from, int byte, std::vector<uint32_t>& out) {
    ++epoch_;
    for (uint32_t pc : from) {
      if (byte < 0) {
        if (closure(pc, out)) return;
        continue;
      }
      const Inst& in = insts_[pc];
      if (in.op != Inst::Bytes || !sets_[in.set].contains(static_cast<unsigned>(byte))) continue;
      if (closure(in.out, out)) return;
    }
  }

  // Appends the threads that `pc` leads to without reading a byte, in order of priority;
  // true once a match has been appended.
  bool closure(uint32_t pc, std::vector<uint32_t>& out) {
    stack_.assign(1, pc);
    while (!stack_.empty()) {
      const uint32_t at = stack_.back();
      stack_.pop_back();
      if (seen_[at] == epoch_) continue;
      seen_[at] = epoch_;
      if (++work_ > kMaxWork) {
        ok_ = false;
        return true;
      }
      const Inst& in = insts_[at];
      switch (in.op) {
        case Inst::Split:
          stack_.push_back(in.out1);
          stack_.push_back(in.out);
          break;
        case Inst::Bytes: out.push_back(at); break;
        case Inst::Match: out.push_back(at); return true;
      }
    }
    return false;
  }

  uint32_t intern(const std::vector<uint32_t>& list) {
    auto it = ids_.find(list);
    if (it != ids_.end()) return it->second;
    if (lists_.size() >= ByteDfa::kMaxStates) {
      ok_ = false;
      return 0;
    }
    const auto id = static_cast<uint32_t>(lists_.size());
    lists_.push_back(list);
    ids_.emplace(list, id);
    return id;
  }

  // The bytes that leave the start state alive, with the finder that looks for them.
  static void first_bytes(ByteDfa& dfa) {
    ByteSet set;
    for (unsigned b = 0; b < 256; ++b) {
      if (dfa.next_[size_t{dfa.start_} * dfa.classes_ + dfa.byte_class_[b]] != ByteDfa::kDead) set.insert(b);
    }
    dfa.first_bytes_ = ByteFinder(set);
  }

  const std::vector<Inst>& insts_;
  const std::vector<ByteSet>& sets_;
  std::vector<uint32_t> seen_;  // the epoch in which an instruction was last reached
  uint32_t epoch_ = 0;
  std::vector<uint32_t> stack_;
  uint64_t work_ = 0;
  bool ok_ = true;
  std::vector<std::vector<uint32_t>> lists_;  // state -> its threads
  std::map<std::vector<uint32_t>, uint32_t> ids_;
};

std::unique_ptr<const ByteDfa> ByteDfa::build(const Ast& ast, uint32_t node, uint8_t flags) {
  NfaBuilder nfa(ast, flags);
  const uint32_t start = nfa.run(node);
  if (!nfa.ok) return nullptr;
  return DfaBuilder(nfa.insts, nfa.byte_sets).run(start);
}

}  // namespace vantorel::regex
