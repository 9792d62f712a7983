// The compilation pipeline: parse, translate, build, check the size; each failure becomes
// its error text here.
#include "elements/regex_compile.hpp"

#include "elements/regex_dfa.hpp"
#include "elements/regex_error.hpp"
#include "elements/regex_parse.hpp"
#include "elements/regex_translate.hpp"

namespace vantorel::regex {

namespace {

// Whether the wrapped pattern is its wrapper around exactly one bracket class: "^(?:[...])"
// or "(?:[...])", the class's span running from after "(?:" to before the final ")".
bool single_bracket_class(const Ast& ast) {
  const uint32_t len = static_cast<uint32_t>(ast.chars.size());
  const Node* root = &ast.nodes[ast.root];
  uint32_t group_start = 0;
  if (root->kind == NodeKind::Concat && root->kids.size() == 2 &&
      ast.nodes[root->kids[0]].kind == NodeKind::Assertion && ast.nodes[root->kids[0]].span.start == 0) {
    root = &ast.nodes[root->kids[1]];
    group_start = 1;
  }
  if (root->kind != NodeKind::Group || root->span.start != group_start || root->span.end != len) return false;
  const Node& inner = ast.nodes[root->kids[0]];
  return inner.kind == NodeKind::Bracketed && inner.span.start == group_start + 3 && inner.span.end + 1 == len;
}

// Whether the wrapped pattern is "(?:P)" with P inside the group: the root is the group and
// spans the whole text (a pattern such as "a)|(b" escapes it).
bool stays_in_group(const Ast& ast) {
  const Node& root = ast.nodes[ast.root];
  return root.kind == NodeKind::Group && root.span.start == 0 && root.span.end == ast.chars.size();
}

}  // namespace

CompileResult compile(std::string_view wrapped, bool unicode, bool build) {
  CompileResult out;
  const ParseResult parsed = parse(wrapped);
  if (!parsed.ok) {
    out.error = format_error(wrapped, parsed.error);
    return out;
  }
  Translation t = translate(parsed.ast, unicode);
  out.class_work = t.class_work;
  out.largest_fragment = t.largest_fragment;
  if (t.size_exceeded) {
    out.error = std::string(kSizeLimitMessage);
    return out;
  }
  if (!t.ok) {
    out.error = format_error(wrapped, t.error);
    return out;
  }
  if (!build) return out;
  const bool context = t.prefix || t.suffix || t.start_marker;
  // The anchored text nests one level deeper (its root is "^" and the group), so it is
  // served only when that level is still within the limit.
  const bool serves_anchored = !context && parsed.depth < kNestLimit && stays_in_group(parsed.ast);
  std::shared_ptr<const ByteDfa> dfa;
  if (serves_anchored) dfa = ByteDfa::build(parsed.ast, parsed.ast.root, unicode ? kFlagUni : 0);
  BuiltExpression built = build_expression(
      std::move(t.re2), MatchShape{t.prefix, t.start_marker, std::move(t.re2_later), t.suffix}, std::move(dfa));
  if (!built.expression) {
    // RE2 is handed only text it accepts, apart from its own size limit; should it refuse
    // anything else, its description is shown under the pattern.
    out.error = built.too_large ? std::string(kSizeLimitMessage) : format_unlocated_error(wrapped, built.re2_error);
    return out;
  }
  if (built.expression->program_size() > kMaxProgramSize) {
    out.error = std::string(kSizeLimitMessage);
    return out;
  }
  out.single_class = single_bracket_class(parsed.ast);
  out.serves_anchored = serves_anchored;
  out.exact = t.exact;
  out.expression = std::move(built.expression);
  return out;
}

}  // namespace vantorel::regex
