// Helpers for the Regex tests: the matches of a pattern over a text as one string, and tables
// of such cases.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "elements/regex_adapter.hpp"
#include "elements/regex_element.hpp"

namespace vantorel::testing {

inline const RegexElement& regex_of(const RegexBuild& b) { return static_cast<const RegexElement&>(*b.element); }

// The matches of an expression over `text` as "s-e,s-e".
inline std::string spans_of(const regex::Expression& expression, std::string_view text) {
  regex::MatchIterator it(expression, text.data(), text.size());
  std::string out;
  uint64_t s;
  uint64_t e;
  while (it.next(&s, &e)) {
    if (!out.empty()) out += ",";
    out += std::to_string(s) + "-" + std::to_string(e);
  }
  return out;
}

// The matches of the unanchored expression of `pattern`, or "error: <text>".
inline std::string spans(std::string_view pattern, std::string_view text) {
  RegexBuild b = make_regex_element(pattern);
  if (!b.element) return "error: " + b.error;
  return spans_of(*regex_of(b).unanchored, text);
}

struct RegexCase {
  std::string pattern;
  std::string text;
  const char* expected;  // spans, or "error: <part of the last line>"
};

inline void run_cases(const std::vector<RegexCase>& cases) {
  for (const RegexCase& c : cases) {
    SCOPED_TRACE("pattern /" + c.pattern + "/ on '" + c.text + "'");
    const std::string got = spans(c.pattern, c.text);
    const std::string want = c.expected;
    if (want.rfind("error: ", 0) == 0) {
      ASSERT_EQ(got.rfind("error: ", 0), 0u) << got;
      const size_t last = got.rfind("error: ");
      EXPECT_NE(got.find(want.substr(7), last), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, want);
    }
  }
}

}  // namespace vantorel::testing
