// Assertions that read the characters around them (CRLF-mode ^ and $, word assertions
// anywhere, in both modes): tables of the dialect's results, and random patterns checked on
// every road against a slow backtracking model of the dialect written here.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "elements/regex_compile.hpp"
#include "elements/regex_element.hpp"
#include "elements/regex_tables.hpp"
#include "elements/utf8.hpp"
#include "support.hpp"

namespace vantorel {
namespace {

using testing::regex_of;
using testing::spans;
using testing::spans_of;

void run_cases(const std::vector<testing::RegexCase>& cases) { testing::run_regex_cases(cases); }

// The ends of the anchored road at every position ("-" where it fails).
std::string anchored_ends(std::string_view pattern, std::string_view text) {
  RegexBuild b = make_regex_element(pattern);
  if (!b.element) return "error: " + b.error;
  std::string out;
  for (uint64_t pos = 0; pos <= text.size(); ++pos) {
    if (pos > 0) out += " ";
    const std::optional<uint64_t> end = testing::match_at(*b.element, text, pos);
    out += end ? std::to_string(*end) : "-";
  }
  return out;
}

const std::string kE = "\xC3\xA9";     // é: a word character beyond ASCII
const std::string kDot = "\xC2\xB7";   // ·: not a word character
const std::string kSnow = "\xE2\x98\x83";  // ☃: not a word character, three bytes

// ^ and $ in CRLF mode: a line ends at \n, at \r, and at \r\n taken as one.
TEST(RegexCrlf, LineAnchors) {
  run_cases({
      {"(?mR)^[a-z]+$", "abc\r\ndef\r\nxyz", "0-3,5-8,10-13"},
      {"(?mR)$", "abc\r\ndef\r\nxyz", "3-3,8-8,13-13"},
      {"(?mR)^", "abc\r\ndef\r\nxyz", "0-0,5-5,10-10"},
      {"(?mR)^", "\r\r\r", "0-0,1-1,2-2,3-3"},
      {"(?mR)$", "\r\r\r", "0-0,1-1,2-2,3-3"},
      {"(?mR)^", "\n\n", "0-0,1-1,2-2"},
      {"(?mR)^$", "\r\n\r\n", "0-0,2-2,4-4"},   // never between \r and \n
      {"(?mR)^$", "\n\r", "0-0,1-1,2-2"},       // \n then \r: two line ends
      {"(?mR)^", "", "0-0"},
      {"(?mR)$", "", "0-0"},
      {"(?mR)^$", "a\r", "2-2"},
      {"(?Rm:().$)", "ZZ\r", "1-2"},
      {"(?mR).+$", "ab\rcd\r\nef", "0-2,3-5,7-9"},
      {"(?mR)^.+", "ab\rcd\r\nef", "0-2,3-5,7-9"},
      {"(?mR)^" + kE + "$", kE + "\r\n" + kE, "0-2,4-6"},
      {"(?m)^", "a\r\nb", "0-0,3-3"},  // without R, \r is an ordinary character
      {"(?R)^a$", "a\r\n", ""},         // without m, ^ and $ are the text's edges
      {"(?R)^a", "a\r\n", "0-1"},
      {"(?R).", "a\rb\n", "0-1,2-3"},
      {"(?mR)x$|y", "x\ry\nx", "0-1,2-3,4-5"},  // in an alternation
      {"(?mR)(?:a|^)b", "b\rab\nb", "0-1,2-4,5-6"},
  });
}

// Anchors repeated and alternated, worked out by the dialect's rules: (?:^|a)+ takes ^ first
// where it holds (an empty iteration ends the repetition), else runs of a.
TEST(RegexCrlf, AnchorsInRepetitions) {
  run_cases({
      {"(?Rm)(?:^|a)+", "aa\r\naa", "0-0,1-2,4-4,5-6"},
      {"(?Rm)(?:^|a)+", "\raa", "0-0,1-1,2-3"},
      {"(?Rm)(?:a|^)+", "aa\r\naa", "0-2,4-6"},
      {"(?Rm)(?:^[a-z]{3}\r?)+", "abc\rdef\r\nghi", "0-8,9-12"},
      {"(?Rm)(?:^[a-z]{3}\r?)+", "abcdef\rghi\r", "0-3,7-11"},
      {"(?Rm)(?:^[a-z]{3}\r?)+", "abc\r\rdef", "0-4,5-8"},
      {"(?Rm)(?:[a-z]+$\r?\n?)+", "ab\r\ncd\nef", "0-9"},
      {"(?Rm)(?:$\r|x)+", "x\rx\r\n", "0-4"},
      {"(?Rm)(?:^.*$\n?)*", "ab\r\ncd\r\n", "0-2,3-3,4-6,7-7,8-8"},  // \n? cannot take the \r
      {"(?Rm)^a??$", "a\r\r", "0-1,2-2,3-3"},
      {"(?Rm)(?:^a){2}", "a", ""},
  });
  // The anchored road reads the text from its position on as a text of its own.
  EXPECT_EQ(anchored_ends("(?mR)^a$", "a\r\na"), "1 - - 4 -");
  EXPECT_EQ(anchored_ends("(?mR)$", "a\r\n\r"), "- 1 2 3 4");  // at 2 the \r before is not seen
}

// Word assertions between characters the pattern consumes, in both modes.
TEST(RegexWordAssertions, InsideThePattern) {
  run_cases({
      {"(?u)a\\b.", "a-ab", "0-2"},
      {"(?u)a\\B.", "a-ab", "2-4"},
      {"(?u).\\b.", "ab-" + kE + "c", "1-3"},
      {"(?u).\\B.", "ab-" + kE + "c", "0-2,3-6"},
      {"(?u)\\w+\\b.", kE + "t" + kE + " x", "0-6"},
      {"(?u).*\\bcaf" + kE + "\\b", "le caf" + kE + "s caf" + kE + " bu", "0-15"},
      {"(?u).*\\b", "ab c" + kDot, "0-4"},   // the last boundary, after c
      {"(?u)\\w*\\b\\W", "ab c", "0-3"},
      {"(?u)(?:\\b|x)" + kE, kE + "x" + kE + kE, "0-2,2-5"},
      {"(?u)(?:\\w\\b)+", "ab c d" + kE, "1-2,3-4,6-8"},
      {"(?u)\\<\\w+\\>(?:\\s+\\<\\w+\\>)*", kE + "a  b" + kDot + "c", "0-6,8-9"},
      {"(?u)\\w+?\\b", kE + "a b", "0-3,4-5"},  // lazy repetition stops at the first boundary
      {"(?u)\\w+?\\B", kE + "a b", "0-2"},
      {"(?u)(?:\\w|-)+\\b", "a-b- x", "0-3,5-6"},
      {"(?u)(?:" + kE + "|-)\\b{end}", kE + "- -" + kE, "0-2,5-7"},
      {"(?u)\\b{start-half}\\w", kE + "a " + kE, "0-2,4-6"},
      {"(?u)\\w\\b{end-half}", kE + "a " + kE, "2-3,4-6"},
      {"(?u)-\\b{start}", "--a -" + kE, "1-2,4-5"},
      {"\\bcaf" + kE + "\\b", "caf" + kE + " au", ""},  // ASCII mode: é is no word character
      {"\\<caf" + kE, "caf" + kE + " xcaf" + kE, "0-5"},
      {"(?-u)a\\>" + kE, "a" + kE, "0-3"},
      {"(?-u)\\w\\b{start-half}" + kE, "a" + kE, ""},
  });
}

// Edges of the text, lone characters, multi-byte characters on either side, and empty texts.
TEST(RegexWordAssertions, EdgesAndMultiByteNeighbours) {
  run_cases({
      {"(?u)\\b", "", ""},
      {"(?u)\\B", "", "0-0"},
      {"(?u)\\<", kE, "0-0"},
      {"(?u)\\>", kE, "2-2"},
      {"(?u)\\b", kE + kSnow + "a", "0-0,2-2,5-5,6-6"},
      {"(?u)\\B", kE + kSnow + "a", ""},
      {"(?u)\\B", kSnow + kSnow, "0-0,3-3,6-6"},
      {"(?u)\\b{end-half}", kE + " ", "2-2,3-3"},
      {"(?u)\\b{start-half}", kE + " ", "0-0,3-3"},
      {"(?u)\\b\\w", "a" + kE + "-" + kE, "0-1,4-6"},
      {"(?u)\\w\\b", "a" + kE + "-" + kE, "1-3,4-6"},
  });
  EXPECT_EQ(anchored_ends("(?u)\\b" + kE, kE + kE), "2 - 4 - -");  // each position is a text's start
  EXPECT_EQ(anchored_ends("(?u)" + kE + "\\b", kE + kE + "-"), "- - 4 - - -");
}

// ---- a slow model of the dialect ------------------------------------------------------------

// A pattern as a tree, rendered as the dialect's text, and compiled into a Thompson NFA the
// way the dialect compiles it (x* as (x+)? when x can match the empty text, x{n,m} as copies
// and nested optional copies). The model runs the NFA by backtracking in priority order and
// explores each state once per position, which is what a leftmost-first automaton does.
struct Pat {
  enum Kind { Char, Look, Seq, Alt, Rep } kind = Seq;
  std::string text;                      // Char, Look: the pattern text
  std::function<bool(uint32_t)> member;  // Char
  std::function<bool(int, int)> holds;   // Look: (code point before, after; -1 at an edge)
  std::vector<std::shared_ptr<Pat>> kids;
  uint32_t min = 0;
  uint32_t max = 0;  // Rep, when bounded
  bool unbounded = false;
  bool greedy = true;
};
using P = std::shared_ptr<Pat>;

bool word_u(int c) { return c >= 0 && regex::is_unicode_word(static_cast<uint32_t>(c)); }
bool word_a(int c) { return c >= 0 && c < 0x80 && is_ascii_word_byte(static_cast<unsigned char>(c)); }

std::string render(const Pat& p) {
  switch (p.kind) {
    case Pat::Char:
    case Pat::Look: return p.text;
    case Pat::Seq: {
      std::string out;
      for (const P& k : p.kids) out += k->kind == Pat::Alt ? "(?:" + render(*k) + ")" : render(*k);
      return out;
    }
    case Pat::Alt: {
      std::string out;
      for (size_t i = 0; i < p.kids.size(); ++i) out += (i ? "|" : "") + render(*p.kids[i]);
      return out;
    }
    case Pat::Rep: {
      std::string op = p.unbounded ? (p.min == 0 ? "*" : p.min == 1 ? "+" : "{" + std::to_string(p.min) + ",}")
                                   : "{" + std::to_string(p.min) + "," + std::to_string(p.max) + "}";
      if (!p.unbounded && p.min == 0 && p.max == 1) op = "?";
      return "(?:" + render(*p.kids[0]) + ")" + op + (p.greedy ? "" : "?");
    }
  }
  return "";
}

bool nullable(const Pat& p) {
  switch (p.kind) {
    case Pat::Char: return false;
    case Pat::Look: return true;
    case Pat::Seq:
      for (const P& k : p.kids) {
        if (!nullable(*k)) return false;
      }
      return true;
    case Pat::Alt:
      for (const P& k : p.kids) {
        if (nullable(*k)) return true;
      }
      return false;
    case Pat::Rep: return p.min == 0 || nullable(*p.kids[0]);
  }
  return false;
}

class Model {
 public:
  Model(const Pat& p, std::string text) : t_(std::move(text)) {
    for (uint64_t i = 0; i < t_.size();) {
      const DecodedChar d = decode_utf8_at(t_.data(), t_.size(), i);
      at_[i] = static_cast<int>(d.code_point);
      i += d.length;
      before_[i] = static_cast<int>(d.code_point);
    }
    const int match = add({State::Match});
    start_ = build(p, match);
  }

  // The leftmost-first match that starts at `s` (a character boundary).
  std::optional<uint64_t> match_at(uint64_t s) {
    visited_.assign(states_.size() * (t_.size() + 1), 0);
    return run(start_, s);
  }

  // The leftmost-first match starting at a character boundary at or after `from`.
  std::optional<std::pair<uint64_t, uint64_t>> find(uint64_t from) {
    for (uint64_t s = from; s <= t_.size(); ++s) {
      if (is_inside_character(t_.data(), t_.size(), s)) continue;
      if (auto e = match_at(s)) return std::make_pair(s, *e);
    }
    return std::nullopt;
  }

  std::string spans() {
    std::string out;
    uint64_t from = 0;
    std::optional<uint64_t> last_end;
    while (from <= t_.size()) {
      auto m = find(from);
      if (m && m->first == m->second && last_end == m->second) m = find(from + 1);
      if (!m) break;
      out += (out.empty() ? "" : ",") + std::to_string(m->first) + "-" + std::to_string(m->second);
      from = m->second;
      last_end = m->second;
    }
    return out;
  }

 private:
  struct State {
    enum Op { Match, Char, Look, Split } op;
    const Pat* pat = nullptr;
    int next = -1;
    std::vector<int> alts;  // Split, in priority order
  };
  int add(State s) {
    states_.push_back(std::move(s));
    return static_cast<int>(states_.size()) - 1;
  }
  // The states of `p` followed by `next`; returns the first.
  int build(const Pat& p, int next) {
    switch (p.kind) {
      case Pat::Char: return add({State::Char, &p, next, {}});
      case Pat::Look: return add({State::Look, &p, next, {}});
      case Pat::Seq:
        for (size_t i = p.kids.size(); i-- > 0;) next = build(*p.kids[i], next);
        return next;
      case Pat::Alt: {
        std::vector<int> alts;
        for (const P& k : p.kids) alts.push_back(build(*k, next));
        return add({State::Split, nullptr, -1, alts});
      }
      case Pat::Rep: break;
    }
    const Pat& x = *p.kids[0];
    auto order = [&p](int more, int stop) { return p.greedy ? std::vector<int>{more, stop} : std::vector<int>{stop, more}; };
    if (!p.unbounded) {
      int cur = next;
      for (uint32_t j = p.min; j < p.max; ++j) {
        const int u = add({State::Split, nullptr, -1, {}});
        const int body = build(x, cur);
        states_[u].alts = order(body, next);
        cur = u;
      }
      for (uint32_t j = 0; j < p.min; ++j) cur = build(x, cur);
      return cur;
    }
    // x+ loops back to a copy of x; x{n,} is n - 1 copies before it; x* is (x+)? when x can
    // match the empty text, else the loop alone.
    const int loop = add({State::Split, nullptr, -1, {}});
    const int last = build(x, loop);
    states_[loop].alts = order(last, next);
    if (p.min == 0) {
      if (!nullable(x)) return loop;
      return add({State::Split, nullptr, -1, order(last, next)});
    }
    int cur = last;
    for (uint32_t j = 1; j < p.min; ++j) cur = build(x, cur);
    return cur;
  }
  std::optional<uint64_t> run(int st, uint64_t pos) {
    char& seen = visited_[static_cast<size_t>(st) * (t_.size() + 1) + pos];
    if (seen) return std::nullopt;
    seen = 1;
    const State& s = states_[st];
    switch (s.op) {
      case State::Match: return pos;
      case State::Char:
        if (pos >= t_.size() || !s.pat->member(static_cast<uint32_t>(at_.at(pos)))) return std::nullopt;
        return run(s.next, pos + utf8_sequence_length(static_cast<unsigned char>(t_[pos])));
      case State::Look: {
        const int before = pos == 0 ? -1 : before_.at(pos);
        const int after = pos == t_.size() ? -1 : at_.at(pos);
        if (!s.pat->holds(before, after)) return std::nullopt;
        return run(s.next, pos);
      }
      case State::Split:
        for (int a : s.alts) {
          if (auto r = run(a, pos)) return r;
        }
        return std::nullopt;
    }
    return std::nullopt;
  }

  std::string t_;
  std::map<uint64_t, int> at_;      // code point starting at a boundary
  std::map<uint64_t, int> before_;  // code point ending at a boundary
  std::vector<State> states_;
  std::vector<char> visited_;
  int start_ = 0;
};

// ---- random patterns ------------------------------------------------------------------------

struct Mode {
  const char* flags;
  bool unicode;
  bool crlf;  // m and R
};

P leaf(std::string text, std::function<bool(uint32_t)> member) {
  auto p = std::make_shared<Pat>();
  p->kind = Pat::Char;
  p->text = std::move(text);
  p->member = std::move(member);
  return p;
}

P look(std::string text, std::function<bool(int, int)> holds) {
  auto p = std::make_shared<Pat>();
  p->kind = Pat::Look;
  p->text = std::move(text);
  p->holds = std::move(holds);
  return p;
}

std::vector<P> atoms(const Mode& m) {
  auto word = [u = m.unicode](int c) { return u ? word_u(c) : word_a(c); };
  std::vector<P> out = {
      leaf("a", [](uint32_t c) { return c == 'a'; }),
      leaf("b", [](uint32_t c) { return c == 'b'; }),
      leaf("-", [](uint32_t c) { return c == '-'; }),
      leaf(kE, [](uint32_t c) { return c == 0xE9; }),
      leaf("\\r", [](uint32_t c) { return c == '\r'; }),
      leaf("\\n", [](uint32_t c) { return c == '\n'; }),
      leaf("[ab]", [](uint32_t c) { return c == 'a' || c == 'b'; }),
      leaf("\\w", [word](uint32_t c) { return word(static_cast<int>(c)); }),
      leaf("\\s", [u = m.unicode](uint32_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || (u && c == 0x85); }),
      look("\\b", [word](int b, int a) { return word(b) != word(a); }),
      look("\\<", [word](int b, int a) { return !word(b) && word(a); }),
      look("\\>", [word](int b, int a) { return word(b) && !word(a); }),
      look("\\b{start-half}", [word](int b, int) { return !word(b); }),
      look("\\b{end-half}", [word](int, int a) { return !word(a); }),
      look("\\B", [word](int b, int a) { return word(b) == word(a); }),
      look("\\A", [](int b, int) { return b < 0; }),
      look("\\z", [](int, int a) { return a < 0; }),
  };
  if (m.unicode) {
    out.push_back(leaf(".", [crlf = m.crlf](uint32_t c) { return c != '\n' && !(crlf && c == '\r'); }));
    out.push_back(leaf("\\W", [word](uint32_t c) { return !word(static_cast<int>(c)); }));
    out.push_back(leaf("[^a]", [](uint32_t c) { return c != 'a'; }));
  }
  if (m.crlf) {
    out.push_back(look("^", [](int b, int a) { return b < 0 || b == '\n' || (b == '\r' && a != '\n'); }));
    out.push_back(look("$", [](int b, int a) { return a < 0 || a == '\r' || (a == '\n' && b != '\r'); }));
  }
  return out;
}

P random_pat(std::mt19937& rng, int depth, const std::vector<P>& leaves) {
  const unsigned r = rng() % 10;
  if (depth == 0 || r < 3) return leaves[rng() % leaves.size()];
  auto p = std::make_shared<Pat>();
  if (r < 6) {
    p->kind = Pat::Seq;
    for (unsigned n = 2 + rng() % 2; n > 0; --n) p->kids.push_back(random_pat(rng, depth - 1, leaves));
  } else if (r < 8) {
    p->kind = Pat::Alt;
    for (unsigned n = 2 + rng() % 2; n > 0; --n) p->kids.push_back(random_pat(rng, depth - 1, leaves));
  } else {
    p->kind = Pat::Rep;
    p->kids.push_back(random_pat(rng, depth - 1, leaves));
    static const uint32_t kCounts[][3] = {{0, 0, 1}, {1, 0, 1}, {2, 0, 1}, {0, 1, 0}, {0, 2, 0}, {1, 3, 0}, {2, 2, 0}};
    const auto& c = kCounts[rng() % std::size(kCounts)];
    p->min = c[0];
    p->max = c[1];
    p->unbounded = c[2] != 0;
    p->greedy = rng() % 3 != 0;
  }
  return p;
}

std::string random_text(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {"a", "b", "-", " ", kE, kDot, "\r", "\n", "\r\n", "_"};
  std::string t;
  for (unsigned n = rng() % 8; n > 0; --n) t += pieces[rng() % pieces.size()];
  return t;
}

// Whether the translation claims the dialect's preference order (see the README).
bool claims_exact(const std::string& pattern) {
  bool unicode = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const regex::CompileResult a = regex::compile("^(?:" + pattern + ")", unicode);
    const regex::CompileResult u = regex::compile("(?:" + pattern + ")", unicode);
    if (a.expression && u.expression) return a.exact && u.exact;
    unicode = true;
  }
  return false;
}

// Every road of a Regex against the model: the iteration over the text, the search from
// every position, and the anchored road at every position (on the text from there on).
TEST(RegexContext, EveryRoadAgreesWithTheModel) {
  const std::vector<Mode> modes = {{"(?u)", true, false}, {"(?-u)", false, false}, {"(?umR)", true, true},
                                   {"(?mR-u)", false, true}};
  std::mt19937 rng(20240611);
  int checked = 0;
  int inexact = 0;
  int refused = 0;
  constexpr int kRounds = 2000;
  for (int round = 0; round < kRounds; ++round) {
    const Mode& mode = modes[round % modes.size()];
    const std::vector<P> leaves = atoms(mode);
    const P pat = random_pat(rng, 3, leaves);
    const std::string pattern = mode.flags + render(*pat);
    RegexBuild b = make_regex_element(pattern);
    if (!b.element) {
      // Only the size limit refuses: a few random nestings multiply the split classes.
      ASSERT_EQ(b.error, "Compiled regex exceeds size limit of 10485760 bytes.") << pattern;
      ++refused;
      continue;
    }
    if (!claims_exact(pattern)) {
      ++inexact;
      continue;
    }
    const RegexElement& e = regex_of(b);
    for (int t = 0; t < 3; ++t) {
      const std::string text = random_text(rng);
      SCOPED_TRACE("pattern /" + pattern + "/ on '" + text + "'");
      Model model(*pat, text);
      ASSERT_EQ(spans_of(*e.unanchored, text), model.spans());
      for (uint64_t from = 0; from <= text.size(); ++from) {
        uint64_t s;
        uint64_t end;
        const bool found = e.unanchored->find(text.data(), text.size(), from, &s, &end);
        const auto want = model.find(from);
        ASSERT_EQ(found, want.has_value()) << "from " << from;
        if (found) {
          ASSERT_EQ(std::make_pair(s, end), *want) << "from " << from;
        }
      }
      for (uint64_t pos = 0; pos <= text.size(); ++pos) {
        if (is_inside_character(text.data(), text.size(), pos)) continue;
        Model own(*pat, text.substr(pos));
        const auto want = own.match_at(0);
        const std::optional<uint64_t> got = testing::match_at(e, text, pos);
        ASSERT_EQ(got, want ? std::optional<uint64_t>(pos + *want) : std::nullopt) << "at " << pos;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 5000);
  // Both are rare even among random patterns, which nest far more than patterns people write.
  EXPECT_LT(inexact, kRounds / 50);
  EXPECT_LT(refused, kRounds / 50);
}

}  // namespace
}  // namespace vantorel
