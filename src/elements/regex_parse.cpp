// The parser of the regular-expression dialect. It reads the wrapped pattern character by
// character with two explicit stacks (groups and bracket classes), so no input nests the C++
// stack; verbose mode skips whitespace and comments at exactly the points the dialect does.
// After a successful parse the tree's depth is checked against the nesting limit.
#include "elements/regex_parse.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "elements/regex_tables.hpp"
#include "elements/utf8.hpp"

namespace vantorel::regex {

namespace {

bool is_hex(uint32_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
uint32_t hex_value(uint32_t c) {
  if (c <= '9') return c - '0';
  if (c >= 'a') return c - 'a' + 10;
  return c - 'A' + 10;
}

bool is_meta(uint32_t c) {
  switch (c) {
    case '\\': case '.': case '+': case '*': case '?': case '(': case ')': case '|': case '[': case ']':
    case '{': case '}': case '^': case '$': case '#': case '&': case '-': case '~':
      return true;
    default:
      return false;
  }
}

// An escape of an ASCII character that is neither a letter, a digit, '<' nor '>' stands for
// the character itself; letters and digits are reserved for escape sequences.
bool is_escapeable(uint32_t c) {
  if (is_meta(c)) return true;
  if (c >= 0x80) return false;
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return false;
  return c != '<' && c != '>';
}

class Parser {
 public:
  explicit Parser(Ast& ast) : ast_(ast), chars_(ast.chars) { add_leaf(NodeKind::Empty, {0, 0}); }

  uint32_t run() {
    ConcatB concat{{}, pos_};
    while (!error_) {
      bump_space();
      if (eof()) break;
      switch (ch()) {
        case '(': concat = push_group(std::move(concat)); break;
        case ')': concat = pop_group(std::move(concat)); break;
        case '|': concat = push_alternate(std::move(concat)); break;
        case '[': concat.items.push_back(parse_set_class()); break;
        case '?': concat = parse_uncounted_repetition(std::move(concat), 0, 1, false); break;
        case '*': concat = parse_uncounted_repetition(std::move(concat), 0, 0, true); break;
        case '+': concat = parse_uncounted_repetition(std::move(concat), 1, 0, true); break;
        case '{': concat = parse_counted_repetition(std::move(concat)); break;
        default: concat.items.push_back(parse_primitive()); break;
      }
    }
    if (error_) return 0;
    return pop_group_end(std::move(concat));
  }

  // The first error met, if any.
  [[nodiscard]] const std::optional<SyntaxError>& error() const { return error_; }

 private:
  struct ConcatB {
    std::vector<uint32_t> items;
    uint32_t start = 0;
  };
  struct GroupState {
    bool is_alternation = false;
    ConcatB concat;                 // group: the concatenation around the group
    uint32_t group = 0;             // group: the Group node being built
    bool ignore_whitespace = false; // group: the verbose state to restore at its end
    uint32_t alternation = 0;       // alternation: the Alternation node being built
  };
  struct ClassState {
    bool is_op = false;
    std::vector<uint32_t> union_items;  // open: the union of the enclosing class
    uint32_t union_start = 0;
    uint32_t set = 0;                   // open: the Bracketed node of this class
    uint8_t op = 0;                     // op: its kind
    uint32_t lhs = 0;                   // op: its left operand
  };

  // ---- characters ----
  [[nodiscard]] bool eof() const { return pos_ >= chars_.size(); }
  [[nodiscard]] uint32_t ch() const { return chars_[pos_]; }
  bool bump() {
    if (eof()) return false;
    ++pos_;
    return !eof();
  }
  bool bump_if(std::string_view prefix) {
    if (pos_ + prefix.size() > chars_.size()) return false;
    for (size_t k = 0; k < prefix.size(); ++k) {
      if (chars_[pos_ + k] != static_cast<unsigned char>(prefix[k])) return false;
    }
    pos_ += static_cast<uint32_t>(prefix.size());
    return true;
  }
  [[nodiscard]] bool starts_with(std::string_view prefix) const {
    if (pos_ + prefix.size() > chars_.size()) return false;
    for (size_t k = 0; k < prefix.size(); ++k) {
      if (chars_[pos_ + k] != static_cast<unsigned char>(prefix[k])) return false;
    }
    return true;
  }
  [[nodiscard]] std::optional<uint32_t> peek() const {
    if (pos_ + 1 >= chars_.size()) return std::nullopt;
    return chars_[pos_ + 1];
  }
  // The next character after the current one, skipping whitespace in verbose mode.
  [[nodiscard]] std::optional<uint32_t> peek_space() const {
    if (!ignore_ws_) return peek();
    if (eof()) return std::nullopt;
    uint32_t start = pos_ + 1;
    bool in_comment = false;
    for (uint32_t i = pos_ + 1; i < chars_.size(); ++i) {
      const uint32_t c = chars_[i];
      if (is_unicode_white_space(c)) continue;
      if (!in_comment && c == '#') {
        in_comment = true;
      } else if (in_comment && c == '\n') {
        in_comment = false;
      } else {
        start = i;
        break;
      }
    }
    if (start >= chars_.size()) return std::nullopt;
    return chars_[start];
  }
  // In verbose mode: skips whitespace and # comments (to the end of the line).
  void bump_space() {
    if (!ignore_ws_) return;
    while (!eof()) {
      if (is_unicode_white_space(ch())) {
        bump();
      } else if (ch() == '#') {
        bump();
        while (!eof()) {
          const uint32_t c = ch();
          bump();
          if (c == '\n') break;
        }
      } else {
        break;
      }
    }
  }
  bool bump_and_bump_space() {
    if (!bump()) return false;
    bump_space();
    return !eof();
  }
  [[nodiscard]] Span span_char() const { return {pos_, eof() ? pos_ : pos_ + 1}; }
  [[nodiscard]] Span here() const { return {pos_, pos_}; }

  // A failed step: the first error is kept and every step after it returns at once, with
  // this value standing for whatever it would have returned (node 0 is a spare Empty node).
  struct Failed {
    operator uint32_t() const { return 0; }
    template <class T>
    operator std::optional<T>() const {
      return std::nullopt;
    }
    operator FlagChange() const { return {}; }
    operator ConcatB() const { return {}; }
  };
  Failed fail(Span span, ErrorCode code) {
    if (!error_) error_ = SyntaxError{code, span, false, {}};
    return {};
  }
  Failed fail2(Span span, Span aux, ErrorCode code) {
    if (!error_) error_ = SyntaxError{code, span, true, aux};
    return {};
  }

  uint32_t add(Node node) {
    ast_.nodes.push_back(std::move(node));
    return static_cast<uint32_t>(ast_.nodes.size() - 1);
  }
  uint32_t add_leaf(NodeKind kind, Span span, uint8_t sub = 0) {
    Node n;
    n.kind = kind;
    n.span = span;
    n.sub = sub;
    return add(std::move(n));
  }
  Node& node(uint32_t i) { return ast_.nodes[i]; }

  uint32_t concat_into_ast(ConcatB& c, uint32_t end) {
    if (c.items.empty()) return add_leaf(NodeKind::Empty, {c.start, end});
    if (c.items.size() == 1) return c.items[0];
    Node n;
    n.kind = NodeKind::Concat;
    n.span = {c.start, end};
    n.kids = std::move(c.items);
    return add(std::move(n));
  }

  // ---- groups and alternation ----
  ConcatB push_alternate(ConcatB concat) {
    const uint32_t end = pos_;
    const uint32_t start = concat.start;
    const uint32_t branch = concat_into_ast(concat, end);
    if (!groups_.empty() && groups_.back().is_alternation) {
      node(groups_.back().alternation).kids.push_back(branch);
    } else {
      Node alt;
      alt.kind = NodeKind::Alternation;
      alt.span = {start, end};
      alt.kids.push_back(branch);
      GroupState st;
      st.is_alternation = true;
      st.alternation = add(std::move(alt));
      groups_.push_back(std::move(st));
    }
    bump();
    return ConcatB{{}, pos_};
  }

  ConcatB push_group(ConcatB concat) {
    const Span open = span_char();
    bump();
    bump_space();
    if (starts_with("?=") || starts_with("?!") || starts_with("?<=") || starts_with("?<!")) {
      return fail({open.start, span_char().end}, ErrorCode::LookAround);
    }
    const uint32_t inner = pos_;
    Node g;
    g.kind = NodeKind::Group;
    g.span = open;
    if (bump_if("?P<") || bump_if("?<")) {
      parse_capture_name();
      if (error_) return Failed{};
    } else if (bump_if("?")) {
      if (eof()) return fail(open, ErrorCode::UnclosedGroup);
      FlagChange flags = parse_flags();
      if (error_) return Failed{};
      const uint32_t end_char = ch();
      bump();
      if (end_char == ')') {
        // (?) is not an empty flag group: it reads as a repetition operator with nothing before it.
        if (flags.on == 0 && flags.off == 0 && !saw_flag_item_) return fail({inner, inner + 1}, ErrorCode::MissingRepetitionOperand);
        if (flags.on & kFlagX) ignore_ws_ = true;
        if (flags.off & kFlagX) ignore_ws_ = false;
        Node f;
        f.kind = NodeKind::Flags;
        f.span = {open.start, pos_};
        f.flags = flags;
        concat.items.push_back(add(std::move(f)));
        return concat;
      }
      g.flags = flags;
    }
    GroupState st;
    st.concat = std::move(concat);
    st.ignore_whitespace = ignore_ws_;
    if (g.flags.on & kFlagX) ignore_ws_ = true;
    if (g.flags.off & kFlagX) ignore_ws_ = false;
    st.group = add(std::move(g));
    groups_.push_back(std::move(st));
    return ConcatB{{}, pos_};
  }

  void parse_capture_name() {
    if (eof()) {
      fail(here(), ErrorCode::UnclosedGroup);
      return;
    }
    const uint32_t start = pos_;
    while (true) {
      if (ch() == '>') break;
      const uint32_t c = ch();
      const bool first = pos_ == start;
      const bool ok = c == '_' || is_group_name_char(c, first) || (!first && (c == '.' || c == '[' || c == ']'));
      if (!ok) {
        fail(span_char(), ErrorCode::InvalidGroupNameChar);
        return;
      }
      if (!bump()) break;
    }
    const uint32_t end = pos_;
    if (eof()) {
      fail({start, end}, ErrorCode::UnclosedGroupName);
      return;
    }
    bump();  // '>'
    if (end == start) {
      fail({start, start}, ErrorCode::EmptyGroupName);
      return;
    }
    std::vector<uint32_t> name(chars_.begin() + start, chars_.begin() + end);
    for (const auto& [prior, prior_span] : names_) {
      if (prior == name) {
        fail2({start, end}, prior_span, ErrorCode::DuplicateGroupName);
        return;
      }
    }
    names_.emplace_back(std::move(name), Span{start, end});
  }

  FlagChange parse_flags() {
    FlagChange flags;
    saw_flag_item_ = false;
    // Items in order, to find the first occurrence of a duplicate.
    std::vector<std::pair<uint32_t, Span>> items;  // flag char ('-' for the negation) and its span
    std::optional<Span> last_negation;
    bool negate = false;
    while (ch() != ':' && ch() != ')') {
      const uint32_t c = ch();
      if (c == '-') {
        last_negation = span_char();
        for (const auto& [k, sp] : items) {
          if (k == '-') return fail2(span_char(), sp, ErrorCode::RepeatedFlagNegation);
        }
        negate = true;
      } else {
        last_negation.reset();
        uint8_t bit = 0;
        switch (c) {
          case 'i': bit = kFlagI; break;
          case 'm': bit = kFlagM; break;
          case 's': bit = kFlagS; break;
          case 'U': bit = kFlagU; break;
          case 'u': bit = kFlagUni; break;
          case 'R': bit = kFlagR; break;
          case 'x': bit = kFlagX; break;
          default: return fail(span_char(), ErrorCode::UnrecognizedFlag);
        }
        for (const auto& [k, sp] : items) {
          if (k == c) return fail2(span_char(), sp, ErrorCode::DuplicateFlag);
        }
        if (negate) {
          flags.off |= bit;
        } else {
          flags.on |= bit;
        }
      }
      items.emplace_back(c, span_char());
      saw_flag_item_ = true;
      if (!bump()) return fail(here(), ErrorCode::UnclosedFlags);
    }
    if (last_negation) return fail(*last_negation, ErrorCode::DanglingFlagNegation);
    return flags;
  }

  ConcatB pop_group(ConcatB group_concat) {
    if (groups_.empty()) return fail(span_char(), ErrorCode::UnopenedGroup);
    std::optional<uint32_t> alt;
    if (groups_.back().is_alternation) {
      alt = groups_.back().alternation;
      groups_.pop_back();
      if (groups_.empty() || groups_.back().is_alternation) return fail(span_char(), ErrorCode::UnopenedGroup);
    }
    GroupState st = std::move(groups_.back());
    groups_.pop_back();
    ignore_ws_ = st.ignore_whitespace;
    const uint32_t concat_end = pos_;
    bump();
    const uint32_t content = concat_into_ast(group_concat, concat_end);
    uint32_t child = content;
    if (alt) {
      node(*alt).kids.push_back(content);
      node(*alt).span.end = concat_end;
      child = *alt;
    }
    node(st.group).span.end = pos_;
    node(st.group).kids.push_back(child);
    st.concat.items.push_back(st.group);
    return std::move(st.concat);
  }

  uint32_t pop_group_end(ConcatB concat) {
    const uint32_t end = pos_;
    uint32_t result;
    if (groups_.empty()) {
      result = concat_into_ast(concat, end);
    } else if (groups_.back().is_alternation) {
      const uint32_t alt = groups_.back().alternation;
      groups_.pop_back();
      // The branch is built first: building it can grow the node array under a reference.
      const uint32_t branch = concat_into_ast(concat, end);
      node(alt).kids.push_back(branch);
      node(alt).span.end = end;
      result = alt;
    } else {
      return fail(node(groups_.back().group).span, ErrorCode::UnclosedGroup);
    }
    if (!groups_.empty()) return fail(node(groups_.back().group).span, ErrorCode::UnclosedGroup);
    return result;
  }

  // ---- repetition ----
  uint32_t take_operand(ConcatB& concat) {
    if (concat.items.empty()) return fail(span_char(), ErrorCode::MissingRepetitionOperand);
    const uint32_t operand = concat.items.back();
    const NodeKind k = node(operand).kind;
    if (k == NodeKind::Empty || k == NodeKind::Flags) return fail(span_char(), ErrorCode::MissingRepetitionOperand);
    concat.items.pop_back();
    return operand;
  }

  ConcatB parse_uncounted_repetition(ConcatB concat, uint32_t min, uint32_t max, bool unbounded) {
    const uint32_t operand = take_operand(concat);
    if (error_) return Failed{};
    bool greedy = true;
    if (bump() && ch() == '?') {
      greedy = false;
      bump();
    }
    return push_repetition(std::move(concat), operand, min, max, unbounded, greedy);
  }

  // Appends the repetition of `operand` that ends here to `concat`.
  ConcatB push_repetition(ConcatB concat, uint32_t operand, uint32_t min, uint32_t max, bool unbounded, bool greedy) {
    Node r;
    r.kind = NodeKind::Repetition;
    r.span = {node(operand).span.start, pos_};
    r.min = min;
    r.max = max;
    r.unbounded = unbounded;
    r.greedy = greedy;
    r.kids.push_back(operand);
    concat.items.push_back(add(std::move(r)));
    return concat;
  }

  // A decimal with whitespace allowed around it (in every mode).
  uint32_t parse_decimal() {
    while (!eof() && is_unicode_white_space(ch())) bump();
    const uint32_t start = pos_;
    uint64_t value = 0;
    bool digits = false;
    bool overflow = false;
    while (!eof() && ch() >= '0' && ch() <= '9') {
      digits = true;
      value = value * 10 + (ch() - '0');
      if (value > 0xFFFFFFFFull) {
        overflow = true;
        value = 0xFFFFFFFFull + 1;
      }
      bump_and_bump_space();
    }
    const Span span{start, pos_};
    while (!eof() && is_unicode_white_space(ch())) bump_and_bump_space();
    if (!digits) return fail(span, ErrorCode::DecimalExpected);
    if (overflow) return fail(span, ErrorCode::DecimalTooLarge);
    return static_cast<uint32_t>(value);
  }

  ConcatB parse_counted_repetition(ConcatB concat) {
    const uint32_t start = pos_;
    const uint32_t operand = take_operand(concat);
    if (error_) return Failed{};
    if (!bump_and_bump_space()) return fail({start, pos_}, ErrorCode::UnclosedCountedRepetition);
    const uint32_t lo = parse_decimal();
    if (error_) return Failed{};
    uint32_t hi = lo;
    bool unbounded = false;
    if (eof()) return fail({start, pos_}, ErrorCode::UnclosedCountedRepetition);
    if (ch() == ',') {
      if (!bump_and_bump_space()) return fail({start, pos_}, ErrorCode::UnclosedCountedRepetition);
      if (ch() != '}') {
        hi = parse_decimal();
        if (error_) return Failed{};
      } else {
        unbounded = true;
      }
    }
    if (eof() || ch() != '}') return fail({start, pos_}, ErrorCode::UnclosedCountedRepetition);
    bool greedy = true;
    if (bump_and_bump_space() && ch() == '?') {
      greedy = false;
      bump_and_bump_space();
    }
    const Span op_span{start, pos_};
    if (!unbounded && lo > hi) return fail(op_span, ErrorCode::InvalidRepetitionRange);
    return push_repetition(std::move(concat), operand, lo, hi, unbounded, greedy);
  }

  // ---- primitives and escapes ----
  uint32_t parse_primitive() {
    const uint32_t c = ch();
    if (c == '\\') return parse_escape();
    const Span sp = span_char();
    bump();
    if (c == '.') return add_leaf(NodeKind::Dot, sp);
    if (c == '^') return add_leaf(NodeKind::Assertion, sp, static_cast<uint8_t>(AssertKind::StartLine));
    if (c == '$') return add_leaf(NodeKind::Assertion, sp, static_cast<uint8_t>(AssertKind::EndLine));
    Node n;
    n.kind = NodeKind::Literal;
    n.span = sp;
    n.c = c;
    return add(std::move(n));
  }

  uint32_t literal(Span span, uint32_t c, bool hex_byte = false) {
    Node n;
    n.kind = NodeKind::Literal;
    n.span = span;
    n.c = c;
    n.hex_byte = hex_byte;
    return add(std::move(n));
  }

  uint32_t parse_escape() {
    const uint32_t start = pos_;
    if (!bump()) return fail({start, pos_}, ErrorCode::IncompleteEscape);
    const uint32_t c = ch();
    if (c >= '0' && c <= '9') return fail({start, span_char().end}, ErrorCode::Backreference);
    if (c == 'x' || c == 'u' || c == 'U') {
      const uint32_t lit = parse_hex();
      if (error_) return Failed{};
      node(lit).span.start = start;
      return lit;
    }
    if (c == 'p' || c == 'P') {
      const uint32_t cls = parse_unicode_class();
      if (error_) return Failed{};
      node(cls).span.start = start;
      return cls;
    }
    if (c == 'd' || c == 's' || c == 'w' || c == 'D' || c == 'S' || c == 'W') {
      bump();
      Node n;
      n.kind = NodeKind::Perl;
      n.span = {start, pos_};
      n.negated = c < 'a';
      const uint32_t lower = c | 0x20u;
      n.sub = static_cast<uint8_t>(lower == 'd' ? PerlKind::Digit : lower == 's' ? PerlKind::Space : PerlKind::Word);
      return add(std::move(n));
    }
    bump();
    const Span span{start, pos_};
    if (is_escapeable(c)) return literal(span, c);
    auto assertion = [&](AssertKind k) { return add_leaf(NodeKind::Assertion, span, static_cast<uint8_t>(k)); };
    switch (c) {
      case 'a': return literal(span, 7);
      case 'f': return literal(span, 12);
      case 't': return literal(span, 9);
      case 'n': return literal(span, 10);
      case 'r': return literal(span, 13);
      case 'v': return literal(span, 11);
      case 'A': return assertion(AssertKind::StartText);
      case 'z': return assertion(AssertKind::EndText);
      case 'B': return assertion(AssertKind::NotWordBoundary);
      case '<': return assertion(AssertKind::WordStart);
      case '>': return assertion(AssertKind::WordEnd);
      case 'b': {
        AssertKind kind = AssertKind::WordBoundary;
        Span sp = span;
        if (!eof() && ch() == '{') {
          const std::optional<AssertKind> special = maybe_parse_special_word_boundary(start);
          if (error_) return Failed{};
          if (special) {
            kind = *special;
            sp.end = pos_;
          }
        }
        return add_leaf(NodeKind::Assertion, sp, static_cast<uint8_t>(kind));
      }
      default:
        return fail(span, ErrorCode::UnrecognizedEscape);
    }
  }

  std::optional<AssertKind> maybe_parse_special_word_boundary(uint32_t wb_start) {
    auto valid = [](uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-'; };
    const uint32_t start = pos_;
    if (!bump_and_bump_space()) return fail({wb_start, pos_}, ErrorCode::IncompleteSpecialWordBoundary);
    const uint32_t contents = pos_;
    if (!valid(ch())) {
      pos_ = start;  // not a special word boundary: a counted repetition of \b
      return std::nullopt;
    }
    std::string word;
    while (!eof() && valid(ch())) {
      word.push_back(static_cast<char>(ch()));
      bump_and_bump_space();
    }
    if (eof() || ch() != '}') return fail({start, pos_}, ErrorCode::UnclosedSpecialWordBoundary);
    const uint32_t end = pos_;
    bump();
    if (word == "start") return AssertKind::WordStart;
    if (word == "end") return AssertKind::WordEnd;
    if (word == "start-half") return AssertKind::WordStartHalf;
    if (word == "end-half") return AssertKind::WordEndHalf;
    return fail({contents, end}, ErrorCode::UnrecognizedSpecialWordBoundary);
  }

  uint32_t parse_hex() {
    const uint32_t kind = ch();
    const uint32_t digits = kind == 'x' ? 2 : kind == 'u' ? 4 : 8;
    if (!bump_and_bump_space()) return fail(here(), ErrorCode::IncompleteEscape);
    if (ch() == '{') {
      const uint32_t brace = pos_;
      const uint32_t start = pos_ + 1;
      uint64_t value = 0;
      bool any = false;
      while (bump_and_bump_space() && ch() != '}') {
        if (!is_hex(ch())) return fail(span_char(), ErrorCode::InvalidHexDigit);
        any = true;
        value = value * 16 + hex_value(ch());
        if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull + 1;
      }
      if (eof()) return fail({brace, pos_}, ErrorCode::IncompleteEscape);
      const uint32_t end = pos_;
      bump_and_bump_space();
      if (!any) return fail({brace, pos_}, ErrorCode::EmptyHexEscape);
      if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return fail({start, end}, ErrorCode::HexNotScalarValue);
      }
      return literal({start, pos_}, static_cast<uint32_t>(value));
    }
    const uint32_t start = pos_;
    uint64_t value = 0;
    for (uint32_t i = 0; i < digits; ++i) {
      if (i > 0 && !bump_and_bump_space()) return fail(here(), ErrorCode::IncompleteEscape);
      if (!is_hex(ch())) return fail(span_char(), ErrorCode::InvalidHexDigit);
      value = value * 16 + hex_value(ch());
    }
    bump_and_bump_space();
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return fail({start, pos_}, ErrorCode::HexNotScalarValue);
    }
    return literal({start, pos_}, static_cast<uint32_t>(value), kind == 'x');
  }

  uint32_t parse_unicode_class() {
    const bool negated = ch() == 'P';
    if (!bump_and_bump_space()) return fail(here(), ErrorCode::IncompleteEscape);
    Node n;
    n.kind = NodeKind::Unicode;
    n.negated = negated;
    if (ch() == '{') {
      const uint32_t start = pos_ + 1;
      std::string text;
      while (bump_and_bump_space() && ch() != '}') append_utf8(text, ch());
      if (eof()) return fail(here(), ErrorCode::IncompleteEscape);
      bump();
      size_t at;
      if ((at = text.find("!=")) != std::string::npos) {
        n.sub = static_cast<uint8_t>(UnicodeForm::NamedValue);
        n.negated = !n.negated;
        n.name = text.substr(0, at);
        n.value = text.substr(at + 2);
      } else if ((at = text.find(':')) != std::string::npos || (at = text.find('=')) != std::string::npos) {
        n.sub = static_cast<uint8_t>(UnicodeForm::NamedValue);
        n.name = text.substr(0, at);
        n.value = text.substr(at + 1);
      } else {
        n.sub = static_cast<uint8_t>(UnicodeForm::Named);
        n.name = std::move(text);
      }
      n.span = {start, pos_};
    } else {
      const uint32_t start = pos_;
      const uint32_t c = ch();
      if (c == '\\') return fail(span_char(), ErrorCode::InvalidUnicodeClass);
      bump_and_bump_space();
      n.sub = static_cast<uint8_t>(UnicodeForm::OneLetter);
      append_utf8(n.name, c);
      n.span = {start, pos_};
    }
    return add(std::move(n));
  }

  // ---- bracket classes ----
  Failed unclosed_class() {
    for (auto it = classes_.rbegin(); it != classes_.rend(); ++it) {
      if (!it->is_op) return fail(node(it->set).span, ErrorCode::UnclosedClass);
    }
    return fail(here(), ErrorCode::UnclosedClass);
  }

  uint32_t union_into_item(std::vector<uint32_t>& items, uint32_t start, uint32_t end) {
    if (items.empty()) return add_leaf(NodeKind::ClassEmpty, {start, end});
    if (items.size() == 1) return items[0];
    Node u;
    u.kind = NodeKind::ClassUnion;
    u.span = {start, end};
    u.kids = std::move(items);
    return add(std::move(u));
  }

  uint32_t parse_set_class() {
    std::vector<uint32_t> items;
    uint32_t union_start = pos_;
    while (!error_) {
      bump_space();
      if (eof()) return unclosed_class();
      const uint32_t c = ch();
      if (c == '[') {
        if (!classes_.empty()) {
          if (auto ascii = maybe_parse_ascii_class()) {
            items.push_back(*ascii);
            continue;
          }
        }
        push_class_open(items, union_start);
      } else if (c == ']') {
        if (auto done = pop_class(items, union_start)) return *done;
      } else if (c == '&' && peek() == '&') {
        pos_ += 2;
        push_class_op(ClassOpKind::Intersection, items, union_start);
      } else if (c == '-' && peek() == '-') {
        pos_ += 2;
        push_class_op(ClassOpKind::Difference, items, union_start);
      } else if (c == '~' && peek() == '~') {
        pos_ += 2;
        push_class_op(ClassOpKind::SymmetricDifference, items, union_start);
      } else {
        items.push_back(parse_set_class_range());
      }
    }
    return Failed{};
  }

  // The current character as a literal member of a class (the position does not move).
  uint32_t class_literal_here() {
    Node lit;
    lit.kind = NodeKind::ClassLiteral;
    lit.span = span_char();
    lit.c = ch();
    return add(std::move(lit));
  }

  void push_class_open(std::vector<uint32_t>& items, uint32_t& union_start) {
    const uint32_t start = pos_;
    if (!bump_and_bump_space()) {
      fail({start, pos_}, ErrorCode::UnclosedClass);
      return;
    }
    bool negated = false;
    if (ch() == '^') {
      negated = true;
      if (!bump_and_bump_space()) {
        fail({start, pos_}, ErrorCode::UnclosedClass);
        return;
      }
    }
    std::vector<uint32_t> nested;
    const uint32_t nested_start = pos_;
    // Leading '-' are literals, and so is a ']' that comes first.
    while (ch() == '-') {
      nested.push_back(class_literal_here());
      if (!bump_and_bump_space()) {
        fail({start, start}, ErrorCode::UnclosedClass);
        return;
      }
    }
    if (nested.empty() && ch() == ']') {
      nested.push_back(class_literal_here());
      if (!bump_and_bump_space()) {
        fail({start, pos_}, ErrorCode::UnclosedClass);
        return;
      }
    }
    Node set;
    set.kind = NodeKind::Bracketed;
    set.span = {start, pos_};
    set.negated = negated;
    ClassState st;
    st.union_items = std::move(items);
    st.union_start = union_start;
    st.set = add(std::move(set));
    classes_.push_back(std::move(st));
    items = std::move(nested);
    union_start = nested_start;
  }

  // Returns the finished class when the outermost one closes.
  std::optional<uint32_t> pop_class(std::vector<uint32_t>& items, uint32_t& union_start) {
    const uint32_t item = union_into_item(items, union_start, pos_);
    const uint32_t set_kind = pop_class_op(item);
    ClassState st = std::move(classes_.back());
    classes_.pop_back();
    bump();
    node(st.set).span.end = pos_;
    node(st.set).kids.push_back(set_kind);
    if (classes_.empty()) return st.set;
    items = std::move(st.union_items);
    union_start = st.union_start;
    items.push_back(st.set);
    return std::nullopt;
  }

  void push_class_op(ClassOpKind kind, std::vector<uint32_t>& items, uint32_t& union_start) {
    const uint32_t item = union_into_item(items, union_start, pos_);
    const uint32_t lhs = pop_class_op(item);
    ClassState st;
    st.is_op = true;
    st.op = static_cast<uint8_t>(kind);
    st.lhs = lhs;
    classes_.push_back(std::move(st));
    items.clear();
    union_start = pos_;
  }

  uint32_t pop_class_op(uint32_t rhs) {
    if (classes_.empty() || !classes_.back().is_op) return rhs;
    ClassState st = std::move(classes_.back());
    classes_.pop_back();
    Node op;
    op.kind = NodeKind::ClassOp;
    op.sub = st.op;
    op.span = {node(st.lhs).span.start, node(rhs).span.end};
    op.kids = {st.lhs, rhs};
    return add(std::move(op));
  }

  std::optional<uint32_t> maybe_parse_ascii_class() {
    const uint32_t start = pos_;
    auto back = [&]() -> std::optional<uint32_t> {
      pos_ = start;
      return std::nullopt;
    };
    if (!bump() || ch() != ':') return back();
    if (!bump()) return back();
    bool negated = false;
    if (ch() == '^') {
      negated = true;
      if (!bump()) return back();
    }
    const uint32_t name_start = pos_;
    while (ch() != ':' && bump()) {
    }
    if (eof()) return back();
    std::string name;
    for (uint32_t i = name_start; i < pos_; ++i) {
      if (chars_[i] >= 0x80) return back();
      name.push_back(static_cast<char>(chars_[i]));
    }
    if (!bump_if(":]")) return back();
    static constexpr std::string_view kNames[] = {"alnum", "alpha", "ascii", "blank", "cntrl", "digit", "graph",
                                                  "lower", "print", "punct", "space", "upper", "word", "xdigit"};
    for (size_t k = 0; k < std::size(kNames); ++k) {
      if (name == kNames[k]) {
        Node n;
        n.kind = NodeKind::ClassAscii;
        n.span = {start, pos_};
        n.negated = negated;
        n.sub = static_cast<uint8_t>(k);
        return add(std::move(n));
      }
    }
    return back();
  }

  // An item of a class (a literal or an escape), as a primitive.
  uint32_t parse_set_class_item() {
    if (ch() == '\\') return parse_escape();
    const Span sp = span_char();
    const uint32_t c = ch();
    bump();
    return literal(sp, c);
  }

  uint32_t as_class_item(uint32_t prim) {
    Node& n = node(prim);
    if (n.kind == NodeKind::Literal) {
      n.kind = NodeKind::ClassLiteral;
      return prim;
    }
    if (n.kind == NodeKind::Perl || n.kind == NodeKind::Unicode) return prim;
    return fail(n.span, ErrorCode::EscapeNotAllowedInClass);
  }

  uint32_t parse_set_class_range() {
    const uint32_t prim1 = parse_set_class_item();
    if (error_) return Failed{};
    bump_space();
    if (eof()) return unclosed_class();
    if (ch() != '-' || peek_space() == ']' || peek_space() == '-') return as_class_item(prim1);
    if (!bump_and_bump_space()) return unclosed_class();
    const uint32_t prim2 = parse_set_class_item();
    if (error_) return Failed{};
    const Span span{node(prim1).span.start, node(prim2).span.end};
    if (node(prim1).kind != NodeKind::Literal) return fail(node(prim1).span, ErrorCode::InvalidRangeBoundary);
    if (node(prim2).kind != NodeKind::Literal) return fail(node(prim2).span, ErrorCode::InvalidRangeBoundary);
    if (node(prim1).c > node(prim2).c) return fail(span, ErrorCode::InvalidClassRange);
    Node r;
    r.kind = NodeKind::ClassRange;
    r.span = span;
    r.c = node(prim1).c;
    r.hex_byte = node(prim1).hex_byte;
    r.c2 = node(prim2).c;
    r.hex_byte2 = node(prim2).hex_byte;
    return add(std::move(r));
  }

  Ast& ast_;
  const std::vector<uint32_t>& chars_;
  std::optional<SyntaxError> error_;
  uint32_t pos_ = 0;
  bool ignore_ws_ = false;
  bool saw_flag_item_ = false;
  std::vector<GroupState> groups_;
  std::vector<ClassState> classes_;
  std::vector<std::pair<std::vector<uint32_t>, Span>> names_;
};

// Depth check: +1 for every node but the leaves, counted as the dialect counts it.
class NestLimiter {
 public:
  explicit NestLimiter(const Ast& ast) : ast_(ast) {}
  uint32_t deepest = 0;  // the greatest depth counted so far
  std::optional<SyntaxError> check(uint32_t i, uint32_t depth) {
    const Node& n = ast_.nodes[i];
    switch (n.kind) {
      case NodeKind::Empty: case NodeKind::Flags: case NodeKind::Literal: case NodeKind::Dot:
      case NodeKind::Assertion: case NodeKind::Unicode: case NodeKind::Perl: case NodeKind::ClassEmpty:
      case NodeKind::ClassLiteral: case NodeKind::ClassRange: case NodeKind::ClassAscii:
        return std::nullopt;
      default:
        break;
    }
    if (depth + 1 > kNestLimit) {
      return SyntaxError{ErrorCode::NestLimitExceeded, n.span, false, {}};
    }
    deepest = std::max(deepest, depth + 1);
    for (uint32_t k : n.kids) {
      if (auto e = check(k, depth + 1)) return e;
    }
    return std::nullopt;
  }

 private:
  const Ast& ast_;
};


}  // namespace

bool decode_pattern(std::string_view text, std::vector<uint32_t>& chars, std::vector<uint32_t>& offsets) {
  uint64_t i = 0;
  while (i < text.size()) {
    const DecodedChar d = decode_utf8_strict(text.data(), text.size(), i);
    if (d.length == 0) return false;
    chars.push_back(d.code_point);
    offsets.push_back(static_cast<uint32_t>(i));
    i += d.length;
  }
  offsets.push_back(static_cast<uint32_t>(text.size()));
  return true;
}

ParseResult parse(std::string_view text) {
  ParseResult result;
  if (!decode_pattern(text, result.ast.chars, result.ast.offsets)) {
    result.ast.chars.clear();
    result.ast.offsets.clear();
    result.error = {ErrorCode::InvalidUtf8, {0, 0}, false, {}};
    return result;
  }
  Parser parser(result.ast);
  result.ast.root = parser.run();
  if (parser.error()) {
    result.error = *parser.error();
    return result;
  }
  NestLimiter limiter(result.ast);
  if (auto e = limiter.check(result.ast.root, 0)) {
    result.error = std::move(*e);
    return result;
  }
  result.depth = limiter.deepest;
  result.ok = true;
  return result;
}

}  // namespace vantorel::regex
