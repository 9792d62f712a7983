// The front end of the regular-expression dialect: the syntax tree of a pattern, the parser
// that builds it (with the dialect's validation rules and the nesting limit), and the layout
// of error texts. No RE2 here: the tree is translated to RE2 text by regex_emit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::regex {

// A range of character positions [start, end) in the parsed text (characters, not bytes).
struct Span {
  uint32_t start = 0;
  uint32_t end = 0;
};

// Flags of the dialect, one bit each.
enum Flag : uint8_t {
  kFlagI = 1,   // case-insensitive
  kFlagM = 2,   // multi-line ^ $
  kFlagS = 4,   // . matches \n
  kFlagU = 8,   // swap greed
  kFlagX = 16,  // verbose (a parse-time flag)
  kFlagR = 32,  // CRLF line ends
  kFlagUni = 64,  // Unicode mode
};

struct FlagChange {
  uint8_t on = 0;
  uint8_t off = 0;
};

enum class NodeKind : uint8_t {
  Empty, Flags, Literal, Dot, Assertion, Perl, Unicode, Bracketed, Repetition, Group, Alternation, Concat,
  // items of a bracket class
  ClassEmpty, ClassLiteral, ClassRange, ClassAscii, ClassUnion, ClassOp,
};

enum class AssertKind : uint8_t {
  StartLine, EndLine, StartText, EndText,
  WordBoundary, NotWordBoundary,
  WordStart,      // \< and \b{start}
  WordEnd,        // \> and \b{end}
  WordStartHalf,  // \b{start-half}
  WordEndHalf,    // \b{end-half}
};

enum class PerlKind : uint8_t { Digit, Space, Word };
enum class ClassOpKind : uint8_t { Intersection, Difference, SymmetricDifference };
enum class AsciiKind : uint8_t {
  Alnum, Alpha, Ascii, Blank, Cntrl, Digit, Graph, Lower, Print, Punct, Space, Upper, Word, Xdigit
};
enum class UnicodeForm : uint8_t { OneLetter, Named, NamedValue };

// One node of the tree. Children are indices into the owning Ast's node array, so a tree of
// any depth is released without recursion.
struct Node {
  NodeKind kind = NodeKind::Empty;
  Span span;
  bool negated = false;   // Perl, Unicode, Bracketed, ClassAscii
  bool greedy = true;     // Repetition
  bool hex_byte = false;  // Literal/ClassLiteral written as \xHH (two digits): a byte when Unicode is off
  bool hex_byte2 = false; // the same for the end of a ClassRange
  uint8_t sub = 0;        // AssertKind, PerlKind, AsciiKind, ClassOpKind or UnicodeForm
  uint32_t c = 0;         // Literal / ClassLiteral code point, ClassRange start
  uint32_t c2 = 0;        // ClassRange end
  uint32_t min = 0;       // Repetition
  uint32_t max = 0;       // Repetition, when bounded
  bool unbounded = false; // Repetition
  FlagChange flags;       // Flags, and Group (non-capturing with flags)
  std::string name;       // Unicode class name (or property name of a NamedValue)
  std::string value;      // Unicode NamedValue value
  std::vector<uint32_t> kids;  // Repetition/Group/Bracketed: 1; Concat/Alternation/ClassUnion: n; ClassOp: 2
};

struct Ast {
  std::vector<Node> nodes;
  uint32_t root = 0;
  std::vector<uint32_t> chars;    // the parsed text as code points
  std::vector<uint32_t> offsets;  // byte offset of each character, plus one entry for the end
};

// A located error of the parser or the translator.
struct SyntaxError {
  std::string description;  // our own short wording
  Span span;
  bool has_aux = false;     // a second span (the first occurrence of a duplicate)
  Span aux;
};

struct ParseResult {
  bool ok = false;
  Ast ast;
  SyntaxError error;  // when !ok
};

// The nesting limit on the parsed tree.
inline constexpr uint32_t kNestLimit = 250;

// Parses `text` (a wrapped pattern) with the dialect's grammar, then checks the nesting
// limit. `text` must be valid UTF-8 (a caller with other bytes gets an error).
[[nodiscard]] ParseResult parse(std::string_view text);

// Provided by the table unit (regex_tables): whether `c` is alphabetic (L, Nl, M and
// the circled letters; RE2 has no table of the marks that are alphabetic, so every mark
// counts), or, unless `first`, alphabetic or numeric (N). ASCII: letters, and digits unless
// `first`.
[[nodiscard]] bool is_group_name_char(uint32_t c, bool first);

// The error text: "regex parse error:", the text indented (or with numbered lines when it
// holds a line feed), carets under the span in character columns, "error: <description>".
[[nodiscard]] std::string format_error(std::string_view text, const SyntaxError& error);

}  // namespace vantorel::regex
