// The Regex element: matching in its three modes, and the factory that builds it from a
// pattern (the two wrapped texts, the mode, the Unicode decision and the stored message).
#include "elements/regex_element.hpp"

#include <string>
#include <utility>

#include "elements/regex_adapter.hpp"
#include "elements/regex_compile.hpp"
#include "elements/regex_error.hpp"
#include "elements/utf8.hpp"

namespace vantorel {

RegexElement::RegexElement(RegexMode mode_value, ByteSet class_set_value, std::unique_ptr<regex::Expression> anchored_value,
                           std::unique_ptr<regex::Expression> unanchored_value, SharedString message_value) noexcept
    : mode(mode_value),
      class_set(class_set_value),
      anchored(std::move(anchored_value)),
      unanchored(std::move(unanchored_value)),
      message(std::move(message_value)),
      first_bytes_(ByteSet::all()) {
  const regex::ByteDfa* dfa = anchored->dfa();
  if (dfa != nullptr && !dfa->matches_empty()) first_bytes_ = dfa->first_byte_set();
}

RegexElement::~RegexElement() = default;

namespace {

// The bytes of a whitespace run in mode 0 (the vertical tab is not one of them).
bool is_run_byte(unsigned char b) { return b == 9 || b == 10 || b == 12 || b == 13 || b == 32; }

// The end of the anchored expression's match on text[pos, n), run as a text of its own.
// A position inside a multi-byte character never starts a match: the expression is not run
// on a text that begins inside a character.
inline __attribute__((always_inline)) bool anchored_end(const RegexElement& e, const char* text, uint64_t n, uint64_t pos, uint64_t* end) noexcept {
  if (is_inside_character(text, n, pos)) return false;
  uint64_t offset;
  if (!e.anchored->match_prefix(text + pos, n - pos, &offset)) return false;
  *end = pos + offset;
  return true;
}

}  // namespace

// The end is pos plus the match's end offset, and the token is text[pos, end): both roads
// use the same end, also for a pattern that escapes its wrapper (whose match may begin
// after pos), and the token is what the drivers of a Normal kind take.
ParseOutcome RegexElement::parse_impl(ParseContext& ctx, uint64_t pos) const noexcept {
  uint64_t end;
  if (!anchored_end(*this, ctx.text, ctx.length, pos, &end)) return ParseOutcome::failure(message, pos);
  ParseResults results;
  results.push_back(Token::copy_of(std::string_view(ctx.text + pos, end - pos)));
  return ParseOutcome::success(end, std::move(results));
}

Match RegexElement::parse_into(ParseContext& ctx, uint64_t pos, FlatResults& out) const noexcept {
  uint64_t end;
  if (!anchored_end(*this, ctx.text, ctx.length, pos, &end)) return out.fail(message.view(), pos);
  out.push(std::string_view(ctx.text + pos, end - pos));
  return Match::at(end);
}

Match RegexElement::try_match_at(const char* text, uint64_t length, uint64_t pos) const noexcept {
  if (__builtin_expect(mode == RegexMode::General, 1)) {
    uint64_t end;
    if (!anchored_end(*this, text, length, pos, &end)) return Match::none();
    return Match::at(end);
  }
  if (mode == RegexMode::SingleByte) {
    if (pos < length && class_set.contains(static_cast<unsigned char>(text[pos]))) return Match::at(pos + 1);
    return Match::none();
  }
  if (pos >= length || !is_run_byte(static_cast<unsigned char>(text[pos]))) return Match::none();
  uint64_t e = pos + 1;
  while (e < length && is_run_byte(static_cast<unsigned char>(text[e]))) ++e;
  return Match::at(e);
}

RegexBuild make_regex_element(std::string_view pattern) noexcept {
  const std::string p(pattern);
  const std::string anchored_text = "^(?:" + p + ")";
  const std::string unanchored_text = "(?:" + p + ")";

  // Mode: the two whitespace-run patterns, or a candidate for the single-byte mode: [inner]
  // with no '[' inside and an inner text that is not empty once unescaped (it is empty only
  // when it is empty or a lone backslash).
  RegexMode mode = RegexMode::General;
  bool single_byte_candidate = false;
  if (p == "\\s+" || p == "\\s*") {
    mode = RegexMode::WhitespaceRun;
  } else if (p.size() >= 2 && p.front() == '[' && p.back() == ']') {
    const std::string_view inner = std::string_view(p).substr(1, p.size() - 2);
    single_byte_candidate = inner.find('[') == std::string_view::npos && !inner.empty() && inner != "\\";
  }

  // Unicode off for both texts first; if either fails, both are built with Unicode on.
  //
  // One RE2 program serves both roles when the pattern stays inside its group and reads no
  // context: "^(?:P)" is then "(?:P)" run anchored at the start, and the two texts build or
  // fail together (the anchored one's program is the unanchored one's without its search
  // loop, so the size limit decides the same). Only an error needs the anchored text's own
  // build, for its message.
  //
  // When the unanchored text passes the size limit, so does the anchored one, whose program
  // is the same but for the search loop's few instructions: its front end still runs, since
  // its own error (one more level of nesting) comes first, but its program is not built.
  auto both = [&](bool unicode, regex::CompileResult& a, regex::CompileResult& u) {
    u = regex::compile(unanchored_text, unicode);
    if (u.expression && u.serves_anchored) {
      a.expression = u.expression->anchored_view();
      return true;
    }
    const bool too_large = !u.expression && u.error == regex::kSizeLimitMessage;
    a = regex::compile(anchored_text, unicode, !too_large);
    if (too_large && a.error.empty()) a.error = u.error;
    return a.expression && u.expression;
  };
  regex::CompileResult a;
  regex::CompileResult u;
  const bool ascii = both(false, a, u);
  if (!ascii && !both(true, a, u)) {
    if (!a.expression) return {ElementRef(), std::move(a.error)};
    return {ElementRef(), std::move(u.error)};
  }

  // The single-byte mode only for a pattern that is exactly one bracket class built with
  // Unicode off: its members are then ASCII characters, each one byte, so testing one byte
  // against class_set gives the expression's verdict everywhere. class_set is read off the
  // compiled expression itself, one probe per ASCII byte. Every other class stays general.
  ByteSet class_set;
  if (single_byte_candidate && ascii && u.single_class) {
    mode = RegexMode::SingleByte;
    for (unsigned b = 0; b < 128; ++b) {
      const char c = static_cast<char>(b);
      uint64_t end;
      if (a.expression->match_prefix(&c, 1, &end) && end == 1) class_set.insert(b);
    }
  }
  ElementRef ref = ElementRef::make<RegexElement>(mode, class_set, std::move(a.expression), std::move(u.expression),
                                                  SharedString::make("Expected match for /" + p + "/"));
  return {std::move(ref), std::string()};
}

}  // namespace vantorel
