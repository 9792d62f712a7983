// The second pass of the translation, for patterns with assertions that RE2 cannot spell:
// word assertions other than ASCII \b and \B, and ^ and $ in CRLF mode. Each of them is a
// test on the kinds of the two characters around a position, so the pass follows the kind
// of the previous character and the kinds still allowed for the next one through the
// pattern (a product with a small automaton), and spells each assertion by restricting the
// characters the pattern consumes around it. The characters outside the match are read by
// consuming one more character on each side, which the adapter then takes off the match.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "elements/regex_ast.hpp"

namespace vantorel::regex {

// How tightly an RE2 text binds, for wrapping it where it is used.
enum class Prec : uint8_t { Atom, Repeat, Concat, Alt };

// An RE2 text and what an enclosing construct needs to know of it.
struct Fragment {
  std::string text;
  Prec prec = Prec::Atom;
  uint32_t product = 1;  // largest product of repetition counts on a path (RE2 allows 1000)
  uint64_t insts = 0;    // a lower bound on the RE2 instructions the text compiles to
};

// The text as one atom: wrapped in (?:...) unless it is one already.
[[nodiscard]] std::string atom_text(const Fragment& f);

// What the first pass leaves for the second, per node of the tree: the flags in effect at
// the node and, for the nodes that hold no context assertion, the node's RE2 text.
struct PassOne {
  std::vector<uint8_t> flags;
  std::vector<Fragment> texts;
  std::vector<uint8_t> has_text;
};

// Whether the assertion `n`, under `flags`, reads the characters around it in a way RE2
// cannot: a word assertion other than ASCII \b and \B, or ^ and $ with both m and R.
[[nodiscard]] bool is_context_assertion(const Node& n, uint8_t flags);

struct ContextTranslation {
  bool ok = false;
  bool size_exceeded = false;  // the failure is the size limit (no SyntaxError then)
  SyntaxError error;           // when !ok && !size_exceeded
  std::string re2;             // the RE2 text
  // The text consumes the character before the match, unless capture group 1 (the start
  // marker) takes part: the match then starts at the start of the text. Every other capture
  // group marks a match that consumed the character after its end.
  bool prefix = false;
  bool start_marker = false;
  // Every match consumes the character after its end, unless it ends at the text's end (and
  // then a capture group tells).
  bool suffix = false;
  // With a start marker: the same text without the alternative for a match at the text's
  // start, for searches that begin after it (RE2's \A would hold where such a search's
  // first consumed character begins, when that is the text's first character).
  std::string re2_later;
  // Whether the text keeps the dialect's preference between matches everywhere (false only
  // for the repetitions named in the README; the set of texts matched is always the same).
  bool exact = true;
  uint64_t class_work = 0;  // ranges read by class evaluation
};

// Translates a parsed wrapped pattern that holds context assertions (is_context_assertion),
// from the first pass's texts and flags. Fails only on the size limit and on a class whose
// evaluation would pass the work budget.
[[nodiscard]] ContextTranslation translate_context(const Ast& ast, const PassOne& pass_one);

}  // namespace vantorel::regex
