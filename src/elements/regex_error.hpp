// Error texts of the regular-expression front end: the description of each error code and
// the layout of a located error. The stages report codes; these are the only texts.
#pragma once

#include <string>
#include <string_view>

#include "elements/regex_ast.hpp"

namespace vantorel::regex {

// The error of every pattern whose program passes the size limit.
inline constexpr std::string_view kSizeLimitMessage = "Compiled regex exceeds size limit of 10485760 bytes.";

// Our short wording of `code` (a static text).
[[nodiscard]] std::string_view error_description(ErrorCode code) noexcept;

// The located error text: "regex parse error:", the text indented (or with numbered lines
// when it holds a line feed), carets under the span in character columns, then
// "error: <description>". A text that is not valid UTF-8 is shown unmarked.
[[nodiscard]] std::string format_error(std::string_view text, const SyntaxError& error);

// An error without a place in the text: "regex parse error:", the text indented, then
// "error: <description>" (for a description that is not ours, such as RE2's).
[[nodiscard]] std::string format_unlocated_error(std::string_view text, std::string_view description);

}  // namespace vantorel::regex
