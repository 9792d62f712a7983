"""matches(s) of every class: the full-match rule (leading whitespace skipped, only
whitespace after the match), the prefix rule (a match at byte 0, whatever follows), the
fixed answers, the frame's errors, and the stack-guard stop."""
import itertools
import unittest

import vantorel as v
from support import ModuleTestCase

L = v.Literal


def recursive_expression():
    expr = v.Forward()
    atom = v.Word("0123456789") | v.Group(v.Suppress(L("(")) + expr + v.Suppress(L(")")))
    expr <<= atom + v.ZeroOrMore(v.one_of("+ - * /") + atom)
    return expr


class FullMatchRuleTest(ModuleTestCase):
    def test_cases(self):
        cases = [
            (L("ab"), "  ab  ", True), (L("ab"), "abc", False), (L("ab"), "ab c", False),
            (L("ab"), "ab\f", False), (L("ab"), "ab\v", False), (L("ab"), "", False),
            (L("ab"), "\t\r\nab\n", True),
            (L(""), "", True), (L(""), "   ", True), (L(""), "x", False),
            (v.Keyword("if"), " if ", True), (v.Keyword("if"), "if(", False), (v.Keyword("if"), "ifx", False),
            (v.Keyword(""), "  ", True), (v.Keyword(""), "(", False),
            (v.Word("ab"), "  abba ", True), (v.Word("ab"), "ab ba", False), (v.Word("ab"), "   ", False),
            (v.Regex("a+"), " aaa ", True), (v.Regex("a+"), "aab", False),
            (v.Regex(r"\s+"), "   ", False), (v.Regex(r"\s+"), "\f", True), (v.Regex(r"\s*"), "  ", False),
            (v.Regex("[ab]"), " a ", True), (v.Regex("[ab]"), "ab", False),
            (v.Regex(""), "  ", True), (v.Regex(""), "x", False), (v.Regex("^a"), "  a", True),
            (v.QuotedString(), ' "x" ', True), (v.QuotedString(), '"x', False), (v.QuotedString(), '"x"y', False),
            (L("a") + L("b"), " a b ", True), (L("a") + L("b"), "abc", False),
            (L("a") | L("ab"), "ab", False), (L("ab") | L("a"), "ab", True), (v.MatchFirst([]), "", False),
            (v.Optional(L("a")), "   ", True), (v.Optional(L("a")), "a", True), (v.Optional(L("a")), "b", False),
            (v.Group(L("a")), " a\n", True), (v.Group(L("a")), "ab", False),
            (v.Suppress(L("a")), " a ", True), (v.Suppress(L("a")), "b", False),
            (v.Exactly(L("a"), 2), "a a", True), (v.Exactly(L("a"), 2), "a a a", False),
            (v.Exactly(L("a"), 2), "a", False), (v.Exactly(L("a"), 0), " ", True), (v.Exactly(L("a"), 0), "a", False),
            (v.Exactly(v.Optional(L("a")), 1), "", False),
            (v.Word("Ã"), "é", False),  # the member byte C3 ends the word inside é: A9 follows
        ]
        for element, text, expected in cases:
            with self.subTest(element=type(element).__name__, text=text):
                self.assertIs(element.matches(text), expected)

    def test_forward_follows_its_target(self):
        f = v.Forward()
        seq = L("x") + f
        self.assertIs(f.matches(""), False)
        self.assertIs(seq.matches("x"), False)
        f <<= L("a")
        self.assertIs(f.matches(" a "), True)
        self.assertIs(seq.matches("x a"), True)
        f.set(L("b"))
        self.assertIs(seq.matches("x a"), False)
        self.assertIs(seq.matches("x b"), True)

    def test_trailing_test_agrees_with_string_end(self):
        # Under the full-match rule, x.matches(s) is the verdict of x followed by StringEnd
        # (which a sequence skips to over the same whitespace set), over every short text of a small
        # alphabet with whitespace, a form feed and a two-byte character.
        grammars = [L("a"), L("ab"), L(""), v.Keyword("a"), v.Word("ab"), v.Word("a", "b"), v.Regex("a+b?"),
                    v.Regex(r"\s+"), v.Regex("[ab]"), v.QuotedString("a"), L("a") + v.Optional(L("b")),
                    L("a") | L("ab"), v.Optional(L("b")), v.Group(v.Word("a")), v.Suppress(L("é")),
                    v.Exactly(L("a"), 2), v.Exactly(L("a"), 0)]
        alphabet = ["a", "b", " ", "\f", "é"]
        texts = ["".join(t) for k in range(4) for t in itertools.product(alphabet, repeat=k)]
        for g in grammars:
            with self.subTest(grammar=type(g).__name__):
                anchored = g + v.StringEnd()
                for text in texts:
                    self.assertIs(g.matches(text), anchored.matches(text), text)


class PrefixRuleTest(ModuleTestCase):
    def test_cases(self):
        cases = [
            (v.CaselessLiteral("ab"), "ABC", True), (v.CaselessLiteral("ab"), " AB", False),
            (v.CaselessLiteral(""), " anything", True),
            (v.CaselessKeyword("if"), "IF x", True), (v.CaselessKeyword("if"), "IFX", False),
            (v.Char("ab"), "bzz", True), (v.Char("ab"), " b", False), (v.Char("ab"), "", False),
            (v.OneOrMore(L("a")), "  a", True), (v.OneOrMore(L("a")), "b", False),
            (v.OneOrMore(v.Optional(L("a"))), "b", True),  # try_match_at takes a zero-width first repetition
            (v.OneOrMore(v.rest_of_line()), "  x", True),
            (v.Combine(L("a") + L("b")), "abc", True), (v.Combine(L("a") + L("b")), "a b", False),
            (v.Combine(L("a")), " a", False),
            (v.SkipTo(L("x")), "abcx", True), (v.SkipTo(L("x")), "abc", False),
            (v.SkipTo(v.StringEnd()), "abc", True), (v.SkipTo(L("x")), "", False),
            (v.LineEnd(), "", True), (v.LineEnd(), "\nabc", True), (v.LineEnd(), " \n", False),
            (v.StringEnd(), "", True), (v.StringEnd(), " ", False),
        ]
        for element, text, expected in cases:
            with self.subTest(element=type(element).__name__, text=text):
                self.assertIs(element.matches(text), expected)

    def test_fixed_answers(self):
        texts = ["", " ", "abc", "\n\n", "é", "  x\f"]
        for element in (v.Empty(), v.StringStart(), v.LineStart(), v.ZeroOrMore(L("a")), v.ZeroOrMore(v.NoMatch()),
                        v.rest_of_line()):
            for text in texts:
                with self.subTest(element=type(element).__name__, text=text):
                    self.assertIs(element.matches(text), True)
        for text in texts:
            self.assertIs(v.NoMatch().matches(text), False)

    def test_skip_to_tries_no_position_inside_a_character(self):
        # Char('©') holds the bytes C2 and A9; 'é' is C3 A9. SkipTo passes over the A9
        # inside 'é' (its skipped text must be whole characters), so it finds nothing.
        self.assertIs(v.SkipTo(v.Char("©")).matches("é"), False)
        self.assertIs(v.SkipTo(v.Char("©")).matches("é©"), True)


class MatchesFrameTest(ModuleTestCase):
    ALL = [L("a"), v.CaselessLiteral("a"), v.Keyword("a"), v.CaselessKeyword("a"), v.Word("a"), v.Char("a"),
           v.Regex("a"), v.QuotedString(), v.Empty(), v.NoMatch(), v.LineStart(), v.LineEnd(), v.StringStart(),
           v.StringEnd(), v.rest_of_line(), L("a") + L("b"), v.MatchFirst([L("a")]), v.Optional(L("a")),
           v.ZeroOrMore(L("a")), v.OneOrMore(L("a")), v.Exactly(L("a"), 1), v.Group(L("a")),
           v.Suppress(L("a")), v.Combine(L("a")), v.SkipTo(L("a")), v.Forward()]

    def test_every_class_checks_its_argument(self):
        self.assertEqual(len({type(x) for x in self.ALL}), 26)
        for x in self.ALL:
            name = type(x).__name__
            with self.subTest(cls=name):
                self.assertRaisesText(TypeError, "argument 's': 'int' object is not an instance of 'str'",
                                      x.matches, 5)
                self.assertRaisesText(TypeError, f"{name}.matches() missing 1 required positional argument: 's'",
                                      x.matches)
                # The UTF-8 view is made before the body runs, also for the fixed answers.
                with self.assertRaises(UnicodeEncodeError):
                    x.matches("\ud800")
                self.assertIn(x.matches(s="a"), (True, False))

    def test_answers_leave_reference_counts_alone(self):
        text = "  a  "
        for x in (L("a"), v.Word("a"), v.Regex("a"), v.Combine(L("a")), v.Empty()):
            with self.subTest(cls=type(x).__name__):
                self.assertRefcountsStable([x, text], lambda: x.matches(text), rounds=2000)


class StackGuardTest(ModuleTestCase):
    def test_a_stopped_match_raises_instead_of_answering(self):
        expr = recursive_expression()
        self.assertIs(expr.matches("1 + (2 * (3 - 4)) / 5"), True)
        self.assertIs(expr.matches("1 + (2"), False)
        deep = "(" * 100_000 + "1" + ")" * 100_000
        for grammar in (expr, v.Optional(expr), v.OneOrMore(expr), v.Combine(expr), v.SkipTo(expr),
                        L("(") + expr, expr | L("(")):
            with self.subTest(grammar=type(grammar).__name__):
                with self.assertRaises(ValueError) as caught:
                    grammar.matches(deep)
                self.assertRegex(str(caught.exception),
                                 r"^ParseException at position \d+: Grammar nesting too deep for the stack$")
        self.assertIs(expr.matches("(1)"), True)  # still usable afterwards


if __name__ == "__main__":
    unittest.main()
