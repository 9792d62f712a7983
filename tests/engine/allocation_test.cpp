// What the roads allocate, counted: try_match_at allocates nothing (Combine aside) on every
// short text at every position, and a failure with a stored message or a literal kind's
// success allocates nothing either. This program replaces the global allocation functions
// to count them, so it runs apart from the other engine tests (whose new and delete stay
// the standard ones, checked by the sanitizers).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "elements/chars.hpp"
#include "elements/literals.hpp"
#include "elements/positional.hpp"
#include "support.hpp"

// ---- allocation counting ----------------------------------------------------------------
// While a thread counts, every operator new on it is counted. Everything is forwarded to
// malloc and free.
namespace {
thread_local bool t_counting = false;
thread_local uint64_t t_allocations = 0;
void* counted_alloc(std::size_t n) noexcept {
  if (t_counting) ++t_allocations;
  return std::malloc(n == 0 ? 1 : n);
}

// Counts the allocations of the calling thread while it lives.
class Counting {
 public:
  Counting() noexcept {
    t_allocations = 0;
    t_counting = true;
  }
  Counting(const Counting&) = delete;
  Counting& operator=(const Counting&) = delete;
  ~Counting() { t_counting = false; }
  [[nodiscard]] uint64_t allocations() const noexcept { return t_allocations; }
};
}  // namespace

#include "counting_operator_new.hpp"

namespace vantorel {
namespace {

using testing::lit;

const std::string kEAcute = "\xc3\xa9";

TEST(Allocations, TryMatchAtAllocatesNothingOnEveryShortText) {
  const std::vector<testing::Grammar> grammars = testing::small_grammars();
  const std::vector<std::string> texts = testing::short_texts();
  (void)stack_nearly_exhausted();  // the guard's first call reads the stack bounds
  for (const testing::Grammar& g : grammars) {
    if (g.allocates_in_match) continue;
    SCOPED_TRACE(g.name);
    int reported = 0;
    for (const std::string& text : texts) {
      for (uint64_t pos = 0; pos <= text.size(); ++pos) {
        uint64_t allocations = 0;
        {
          Counting counting;
          (void)g.element->try_match_at(text.data(), text.size(), pos);
          allocations = counting.allocations();
        }
        if (allocations != 0 && reported++ < 5) {
          ADD_FAILURE() << "text '" << text << "' at " << pos << ": " << allocations << " allocations";
        }
      }
    }
  }
}

// A failure that carries a stored message shares it, and a literal kind's success copies
// its cached results in place: neither allocates.
TEST(Allocations, StoredMessageFailuresAndLiteralSuccessesAllocateNothing) {
  struct Case {
    const char* name;
    ElementRef element;
    std::string text;
    bool ok;  // parse_impl at 0 and parse_from_start succeed
  };
  const Case cases[] = {
      {"Literal", lit("ab"), "ax", false},
      {"CaselessLiteral", new_caseless_literal_element("ab"), "ax", false},
      {"Keyword", new_keyword_element("ab"), "abc", false},
      {"CaselessKeyword", new_caseless_keyword_element("ab"), "AB_", false},
      {"Char", new_char_element("ab"), "x", false},
      {"Char inside a character", new_char_element(kEAcute), kEAcute.substr(1), false},
      {"Word", new_word_element("ab", nullptr), "x", false},
      {"QuotedString", new_quoted_string_element("\"", nullptr, false, true), "\"ab", false},
      {"rest_of_line", ElementRef::make<RestOfLineElement>(), kEAcute.substr(1), false},
      {"Literal", lit("ab"), "ab", true},
      {"CaselessLiteral", new_caseless_literal_element("ab"), "AB", true},
      {"Keyword", new_keyword_element("ab"), "ab+", true},
      {"CaselessKeyword", new_caseless_keyword_element("ab"), "aB", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " on '" + c.text + "'");
    ParseContext ctx{c.text.data(), c.text.size(), 1};
    uint64_t allocations = 0;
    {
      Counting counting;
      {
        const ParseOutcome o = c.element->parse_impl(ctx, 0);
        const StartOutcome s = c.element->parse_from_start(c.text.data(), c.text.size());
        EXPECT_EQ(o.ok, c.ok);
        EXPECT_EQ(s.ok, c.ok);
      }
      allocations = counting.allocations();
    }
    EXPECT_EQ(allocations, 0u);
  }
}

}  // namespace
}  // namespace vantorel
