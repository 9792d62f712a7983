// Assertions: spelling the anchors; for word assertions, finding the ones at a pattern's
// edges, deciding inner ones from their neighbours' word-ness, folding a trailing one into a
// look-ahead character, and checking a leading one on the text at a match start.
#include "elements/regex_assertions.hpp"

#include "elements/regex_class.hpp"
#include "elements/regex_tables.hpp"
#include "elements/utf8.hpp"

namespace vantorel::regex {

namespace {

// A flag group, an empty item or a line or text anchor: it consumes nothing and is no word
// assertion.
bool is_positional(const Node& n) {
  return n.kind == NodeKind::Flags || n.kind == NodeKind::Empty ||
         (n.kind == NodeKind::Assertion && !is_word_assertion(n));
}

// Follows groups and concatenations from the root, in each concatenation to the item that
// `pick` chooses (kNoNode: none), and returns the word assertion reached, or kNoNode.
template <class Pick>
uint32_t walk_to_word_assertion(const Ast& ast, Pick pick) {
  uint32_t i = ast.root;
  for (int guard = 0; guard < 1000; ++guard) {
    const Node& n = ast.nodes[i];
    if (is_word_assertion(n)) return i;
    if (n.kind == NodeKind::Group) {
      i = n.kids[0];
      continue;
    }
    if (n.kind != NodeKind::Concat) return kNoNode;
    i = pick(n);
    if (i == kNoNode) return kNoNode;
  }
  return kNoNode;
}

// Whether bits say for certain: a word character, or a character that is not one.
struct Certain {
  bool word;
  bool non_word;
};
Certain certain(bool known, uint8_t bits, bool unicode) {
  const uint8_t w = unicode ? kWordU : kWordA;
  const uint8_t nw = unicode ? kNonWordU : kNonWordA;
  return {known && (bits & w) && !(bits & nw), known && (bits & nw) && !(bits & w)};
}

constexpr uint8_t kUnicodeArg = 0x80;

}  // namespace

std::string anchor_text(AssertKind kind, bool multi_line) {
  switch (kind) {
    case AssertKind::StartLine: return multi_line ? "(?m:^)" : "^";
    case AssertKind::EndLine: return multi_line ? "(?m:$)" : "\\z";
    case AssertKind::StartText: return "\\A";
    case AssertKind::EndText: return "\\z";
    default: return "";
  }
}

bool is_word_assertion(const Node& n) {
  return n.kind == NodeKind::Assertion && n.sub >= static_cast<uint8_t>(AssertKind::WordBoundary);
}

uint32_t leading_word_assertion(const Ast& ast) {
  return walk_to_word_assertion(ast, [&](const Node& n) {
    for (uint32_t k : n.kids) {
      if (is_word_assertion(ast.nodes[k]) || !is_positional(ast.nodes[k])) return k;
    }
    return kNoNode;
  });
}

uint32_t trailing_word_assertion(const Ast& ast) {
  return walk_to_word_assertion(ast, [&](const Node& n) {
    for (size_t j = n.kids.size(); j-- > 0;) {
      const Node& k = ast.nodes[n.kids[j]];
      if (k.kind == NodeKind::Flags || k.kind == NodeKind::Empty) continue;
      return n.kids[j];
    }
    return kNoNode;
  });
}

std::string word_assertion_text(AssertKind kind, bool unicode, Neighbour prev, Neighbour next) {
  const Certain p = certain(prev.known, prev.bits, unicode);
  const Certain x = certain(next.known, next.bits, unicode);
  const std::string never(kNeverMatches);
  switch (kind) {
    case AssertKind::WordBoundary:
      if ((p.word && x.word) || (p.non_word && x.non_word)) return never;
      if ((p.word && x.non_word) || (p.non_word && x.word)) return "";
      return "\\b";
    case AssertKind::NotWordBoundary:
      if ((p.word && x.word) || (p.non_word && x.non_word)) return "";
      if ((p.word && x.non_word) || (p.non_word && x.word)) return never;
      return "\\B";
    case AssertKind::WordStart:
      if (p.word || x.non_word) return never;
      if (p.non_word && x.word) return "";
      return "\\b";
    case AssertKind::WordEnd:
      if (p.non_word || x.word) return never;
      if (p.word && x.non_word) return "";
      return "\\b";
    case AssertKind::WordStartHalf:
      if (p.word) return never;
      if (p.non_word) return "";
      if (x.non_word) return "\\B";
      return "\\b";
    case AssertKind::WordEndHalf:
      if (x.word) return never;
      if (x.non_word) return "";
      if (p.non_word) return "\\B";
      return "\\b";
    default:
      return "";
  }
}

TrailingFold fold_trailing_assertion(AssertKind kind, bool unicode, uint8_t last_bits, bool nullable) {
  const Certain last = certain(!nullable, last_bits, unicode);
  const std::string word = unicode ? "[" + unicode_word_class_items() + "]" : "[0-9A-Z_a-z]";
  const std::string non_word = unicode ? "(?:[^" + unicode_word_class_items() + "]|\\z)" : "(?:[^0-9A-Z_a-z]|\\z)";
  TrailingFold out;
  auto then = [&out](const std::string& next) {
    out.outcome = TrailingFold::Outcome::LookAhead;
    out.look_ahead = next;
  };
  auto never = [&out] { out.outcome = TrailingFold::Outcome::Never; };
  switch (kind) {
    case AssertKind::WordBoundary:
      if (last.word) then(non_word);
      if (last.non_word) then(word);
      break;
    case AssertKind::NotWordBoundary:
      if (last.word) then(word);
      if (last.non_word) then(non_word);
      break;
    case AssertKind::WordEnd:
      if (last.word) then(non_word);
      if (last.non_word) never();
      break;
    case AssertKind::WordStart:
      if (last.word) never();
      if (last.non_word) then(word);
      break;
    case AssertKind::WordStartHalf:
      if (last.word) never();
      if (last.non_word) out.outcome = TrailingFold::Outcome::Holds;
      break;
    case AssertKind::WordEndHalf: then(non_word); break;
    default: break;
  }
  return out;
}

uint8_t leading_check_arg(AssertKind kind, bool unicode) {
  return static_cast<uint8_t>(static_cast<uint8_t>(kind) | (unicode ? kUnicodeArg : 0));
}

bool leading_assertion_holds(const char* text, uint64_t n, uint64_t p, uint8_t arg) noexcept {
  const auto kind = static_cast<AssertKind>(arg & ~kUnicodeArg);
  bool before;
  bool after;
  if ((arg & kUnicodeArg) != 0) {
    before = p > 0 && is_unicode_word(decode_utf8_before(text, n, p).code_point);
    after = p < n && is_unicode_word(decode_utf8_at(text, n, p).code_point);
  } else {
    before = p > 0 && is_ascii_word_byte(static_cast<unsigned char>(text[p - 1]));
    after = p < n && is_ascii_word_byte(static_cast<unsigned char>(text[p]));
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

}  // namespace vantorel::regex
