// Assertions: the anchors RE2 spells itself, and the two-character test behind every
// assertion the context pass has to spell by restricting characters.
#include "elements/regex_assertions.hpp"

namespace vantorel::regex {

namespace {

bool is_word(CharKind k, bool unicode) {
  return k == CharKind::WordAscii || (unicode && (k == CharKind::WordOther || k == CharKind::Word));
}

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

bool assertion_holds(AssertKind kind, bool unicode, CharKind before, CharKind after) {
  const bool b = is_word(before, unicode);
  const bool a = is_word(after, unicode);
  switch (kind) {
    case AssertKind::StartLine:
      return before == CharKind::Edge || before == CharKind::LineFeed ||
             (before == CharKind::CarriageReturn && after != CharKind::LineFeed);
    case AssertKind::EndLine:
      return after == CharKind::Edge || after == CharKind::CarriageReturn ||
             (after == CharKind::LineFeed && before != CharKind::CarriageReturn);
    case AssertKind::StartText: return before == CharKind::Edge;
    case AssertKind::EndText: return after == CharKind::Edge;
    case AssertKind::WordBoundary: return b != a;
    case AssertKind::NotWordBoundary: return b == a;
    case AssertKind::WordStart: return !b && a;
    case AssertKind::WordEnd: return b && !a;
    case AssertKind::WordStartHalf: return !b;
    case AssertKind::WordEndHalf: return !a;
  }
  return false;
}

}  // namespace vantorel::regex
