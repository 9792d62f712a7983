// Assertions: the RE2 spelling of the anchors RE2 has, and the meaning of every assertion as
// a test on the kinds of the two characters around a position, which the context pass
// (regex_context) turns into restrictions on the characters a pattern consumes.
#pragma once

#include <cstdint>
#include <string>

#include "elements/regex_ast.hpp"

namespace vantorel::regex {

// The RE2 text of the line or text anchor `kind` (StartLine to EndText) outside CRLF mode;
// `multi_line` is the m flag. $ without it is the end of the text only.
[[nodiscard]] std::string anchor_text(AssertKind kind, bool multi_line);

// Whether `n` is a word assertion (not a line or text anchor).
[[nodiscard]] bool is_word_assertion(const Node& n);

// The kinds of character the context assertions of a pattern tell apart. Edge stands for
// the start or the end of the text. A pattern uses the few kinds its assertions need: line
// feed and carriage return for CRLF anchors; ASCII word characters for ASCII-mode word
// assertions, Unicode \w characters beyond ASCII besides them for Unicode-mode ones, or
// Word for all of \w when no ASCII-mode assertion needs the split; Other for the rest.
enum class CharKind : uint8_t { Edge, LineFeed, CarriageReturn, WordAscii, WordOther, Word, Other };

// Whether the assertion `kind` holds between a character of kind `before` and one of kind
// `after`. Word assertions test Unicode \w when `unicode`, ASCII word characters otherwise;
// StartLine and EndLine are the CRLF-mode line anchors: ^ holds at the start, after \n, and
// after a \r not followed by \n; $ at the end, before \r, and before a \n not after a \r.
[[nodiscard]] bool assertion_holds(AssertKind kind, bool unicode, CharKind before, CharKind after);

}  // namespace vantorel::regex
