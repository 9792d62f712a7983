// The syntax tree of a pattern of the regular-expression dialect, and the vocabulary that
// the front end's stages share: flags, node kinds, error codes and limits. Types only; the
// parser builds the tree (regex_parse), the translation reads it (regex_translate).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantorel::regex {

// A range of character positions [start, end) in the parsed text (characters, not bytes).
struct Span {
  uint32_t start = 0;
  uint32_t end = 0;
};

// Flags of the dialect, one bit each.
enum Flag : uint8_t {
  kFlagI = 1,     // case-insensitive
  kFlagM = 2,     // multi-line ^ $
  kFlagS = 4,     // . matches \n
  kFlagU = 8,     // swap greed
  kFlagX = 16,    // verbose (a parse-time flag)
  kFlagR = 32,    // CRLF line ends
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

// The line and text anchors come first; every kind from WordBoundary on is a word assertion.
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

// No node: what the tree walks return when they find nothing.
inline constexpr uint32_t kNoNode = UINT32_MAX;

struct Ast {
  std::vector<Node> nodes;
  uint32_t root = 0;
  std::vector<uint32_t> chars;    // the parsed text as code points
  std::vector<uint32_t> offsets;  // byte offset of each character, plus one entry for the end
};

// What is wrong with a pattern, one code per kind of error. The stages report codes; the
// texts are written once, in regex_error, and rendered where compilation ends.
enum class ErrorCode : uint8_t {
  // reading the text
  InvalidUtf8,
  // groups and flags
  LookAround, UnclosedGroup, UnopenedGroup, MissingRepetitionOperand, InvalidGroupNameChar,
  UnclosedGroupName, EmptyGroupName, DuplicateGroupName, RepeatedFlagNegation, UnrecognizedFlag,
  DuplicateFlag, UnclosedFlags, DanglingFlagNegation,
  // counted repetition
  DecimalTooLarge, DecimalExpected, UnclosedCountedRepetition, InvalidRepetitionRange,
  // escapes
  IncompleteEscape, Backreference, UnrecognizedEscape, IncompleteSpecialWordBoundary,
  UnclosedSpecialWordBoundary, UnrecognizedSpecialWordBoundary, InvalidHexDigit, EmptyHexEscape,
  HexNotScalarValue, InvalidUnicodeClass,
  // bracket classes
  UnclosedClass, EscapeNotAllowedInClass, InvalidRangeBoundary, InvalidClassRange,
  // the tree as a whole
  NestLimitExceeded,
  // translation
  ByteEscapeWithoutUnicode, DotWithoutUnicode, NegatedClassWithoutUnicode, NonAsciiMemberWithoutUnicode,
  UnicodeClassWithoutUnicode, PropertyNotFound, PropertyValueNotFound, ClassTooComplex,
};

// A located error of the parser or the translation.
struct SyntaxError {
  ErrorCode code = ErrorCode::InvalidUtf8;
  Span span;
  bool has_aux = false;  // a second span (the first occurrence of a duplicate)
  Span aux;
};

// The nesting limit on the parsed tree.
inline constexpr uint32_t kNestLimit = 250;

// The program-size ceiling: RE2 instructions of the unanchored program. It stands for the
// dialect's 10485760-byte limit on its own compiled form.
inline constexpr uint64_t kMaxProgramSize = 327680;

// The budget of class evaluation in one translation, in ranges read by set operations. Each
// operation is linear in its operands, so a pattern of a few thousand bytes uses a small part
// of it; a class whose next operation would pass it is refused (ClassTooComplex) before that
// operation runs.
inline constexpr uint64_t kMaxClassWork = uint64_t{1} << 25;

}  // namespace vantorel::regex
