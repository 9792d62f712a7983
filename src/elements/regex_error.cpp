// Error texts: one description per error code, and the layout that shows the pattern with
// carets under the offending characters.
#include "elements/regex_error.hpp"

#include <algorithm>
#include <vector>

#include "elements/regex_parse.hpp"

namespace vantorel::regex {

std::string_view error_description(ErrorCode code) noexcept {
  switch (code) {
    case ErrorCode::InvalidUtf8: return "the pattern is not valid UTF-8";
    case ErrorCode::LookAround: return "look-around (look-ahead and look-behind) is not supported";
    case ErrorCode::UnclosedGroup: return "unclosed group";
    case ErrorCode::UnopenedGroup: return "unopened group";
    case ErrorCode::MissingRepetitionOperand: return "repetition operator without an expression to repeat";
    case ErrorCode::InvalidGroupNameChar: return "invalid character in a capture group name";
    case ErrorCode::UnclosedGroupName: return "unclosed capture group name";
    case ErrorCode::EmptyGroupName: return "empty capture group name";
    case ErrorCode::DuplicateGroupName: return "duplicate capture group name";
    case ErrorCode::RepeatedFlagNegation: return "flag negation operator repeated";
    case ErrorCode::UnrecognizedFlag: return "unrecognized flag";
    case ErrorCode::DuplicateFlag: return "duplicate flag";
    case ErrorCode::UnclosedFlags: return "expected a flag or the end of the flag group, found the end of the pattern";
    case ErrorCode::DanglingFlagNegation: return "flag negation operator without a flag after it";
    case ErrorCode::DecimalTooLarge: return "decimal number too large (the limit is 4294967295)";
    case ErrorCode::DecimalExpected: return "repetition count expects a decimal number";
    case ErrorCode::UnclosedCountedRepetition: return "unclosed counted repetition";
    case ErrorCode::InvalidRepetitionRange: return "invalid repetition range: the minimum is greater than the maximum";
    case ErrorCode::IncompleteEscape: return "incomplete escape sequence at the end of the pattern";
    case ErrorCode::Backreference: return "backreferences are not supported";
    case ErrorCode::UnrecognizedEscape: return "unrecognized escape sequence";
    case ErrorCode::IncompleteSpecialWordBoundary:
      return "incomplete special word boundary or repetition at the end of the pattern";
    case ErrorCode::UnclosedSpecialWordBoundary: return "unclosed special word boundary";
    case ErrorCode::UnrecognizedSpecialWordBoundary:
      return "unrecognized special word boundary (expected start, end, start-half or end-half)";
    case ErrorCode::InvalidHexDigit: return "invalid hexadecimal digit";
    case ErrorCode::EmptyHexEscape: return "empty hexadecimal escape";
    case ErrorCode::HexNotScalarValue: return "hexadecimal escape is not a Unicode scalar value";
    case ErrorCode::InvalidUnicodeClass: return "invalid Unicode class";
    case ErrorCode::UnclosedClass: return "unclosed character class";
    case ErrorCode::EscapeNotAllowedInClass: return "this escape sequence is not allowed inside a character class";
    case ErrorCode::InvalidRangeBoundary: return "invalid range boundary: it must be a literal character";
    case ErrorCode::InvalidClassRange: return "invalid character class range: the start is greater than the end";
    case ErrorCode::NestLimitExceeded: return "nesting of parentheses and brackets exceeds the limit of 250";
    case ErrorCode::ByteEscapeWithoutUnicode:
      return "pattern can match invalid UTF-8 (a byte escape with Unicode mode off)";
    case ErrorCode::DotWithoutUnicode: return "pattern can match invalid UTF-8 (. with Unicode mode off)";
    case ErrorCode::NegatedClassWithoutUnicode:
      return "pattern can match invalid UTF-8 (a negated class with Unicode mode off)";
    case ErrorCode::NonAsciiMemberWithoutUnicode:
      return "Unicode is not allowed here (a non-ASCII class member with Unicode mode off)";
    case ErrorCode::UnicodeClassWithoutUnicode:
      return "Unicode is not allowed here (a Unicode class with Unicode mode off)";
    case ErrorCode::PropertyNotFound: return "Unicode property not found";
    case ErrorCode::PropertyValueNotFound: return "Unicode property value not found";
    case ErrorCode::ClassTooComplex: return "character class too complex (its set operations expand too far)";
  }
  return "unknown error";
}

std::string format_unlocated_error(std::string_view text, std::string_view description) {
  std::string out = "regex parse error:\n    ";
  out += text;
  out += "\nerror: ";
  out += description;
  return out;
}

std::string format_error(std::string_view text, const SyntaxError& error) {
  const std::string_view description = error_description(error.code);
  std::vector<uint32_t> chars, offsets;
  if (!decode_pattern(text, chars, offsets)) return format_unlocated_error(text, description);
  // Lines and columns of character positions: a position after a line feed starts a new line.
  std::vector<uint32_t> line_starts{0};
  for (uint32_t i = 0; i < chars.size(); ++i) {
    if (chars[i] == '\n') line_starts.push_back(i + 1);
  }
  auto line_of = [&](uint32_t p) {
    return static_cast<uint32_t>(std::upper_bound(line_starts.begin(), line_starts.end(), p) - line_starts.begin() - 1);
  };
  auto column_of = [&](uint32_t p) { return p - line_starts[line_of(p)]; };  // 0-based
  const bool multi = line_starts.size() > 1;
  std::vector<Span> spans{error.span};
  if (error.has_aux) spans.push_back(error.aux);
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
  const size_t line_count = line_starts.size();
  const size_t width = multi ? std::to_string(line_count).size() : 0;
  const size_t pad = multi ? 2 + width : 4;
  const std::string divider(79, '~');
  std::string out = "regex parse error:\n";
  if (multi) out += divider + "\n";
  for (uint32_t k = 0; k < line_count; ++k) {
    const uint32_t first = line_starts[k];
    const uint32_t last = k + 1 < line_count ? line_starts[k + 1] - 1 : static_cast<uint32_t>(chars.size());
    if (multi) {
      const std::string num = std::to_string(k + 1);
      out += std::string(width - num.size(), ' ') + num + ": ";
    } else {
      out += "    ";
    }
    out.append(text.substr(offsets[first], offsets[last] - offsets[first]));
    out += "\n";
    std::string notes(pad, ' ');
    size_t col = 0;
    bool any = false;
    for (const Span& s : spans) {
      if (line_of(s.start) != line_of(s.end) || line_of(s.start) != k) continue;
      for (const size_t start_col = column_of(s.start); col < start_col; ++col) notes.push_back(' ');
      const size_t len = std::max<size_t>(1, s.end - s.start);
      notes.append(len, '^');
      col += len;
      any = true;
    }
    if (any) out += notes + "\n";
  }
  if (multi) {
    out += divider + "\n";
    for (const Span& s : spans) {
      if (line_of(s.start) == line_of(s.end)) continue;
      out += "on line " + std::to_string(line_of(s.start) + 1) + " (column " + std::to_string(column_of(s.start) + 1) +
             ") through line " + std::to_string(line_of(s.end) + 1) + " (column " + std::to_string(column_of(s.end)) +
             ")\n";
    }
  }
  out += "error: ";
  out += description;
  return out;
}

}  // namespace vantorel::regex
