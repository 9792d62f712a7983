"""The parse_string bodies of Literal, Keyword, Word, Regex, Suppress, MatchFirst and And,
and Optional's pre-check: their results (cached strs, matched text of Normal children),
their fixed error texts, the whole-character rule, and reference counts over loops."""
import sys
import unittest

import vantorel as v
from support import ModuleTestCase


class LeafFastPathTest(ModuleTestCase):
    def test_results(self):
        cases = [
            (v.Literal("ab"), "  ab cd", ["ab"]),
            (v.Literal(""), "", [""]),
            (v.Literal(""), "xyz", [""]),
            (v.Literal("é"), "\t\r\néx", ["é"]),
            (v.Keyword("if"), " if(x)", ["if"]),
            (v.Keyword("if"), "ifé", ["if"]),
            (v.Keyword(""), "+", [""]),
            (v.Word("ab"), "  abba cd", ["abba"]),
            (v.Word("a", "b"), "abba", ["abb"]),
            (v.Word("a", ""), "aaa", ["a"]),
            (v.Suppress(v.Literal("a")), " a b", []),
            (v.Suppress(v.Empty()), "", []),
        ]
        for element, text, tokens in cases:
            with self.subTest(element=type(element).__name__, text=text):
                result = element.parse_string(text)
                self.assertEqual(result, tokens)
                self.assertPlainTokens(result)

    def test_failure_texts_carry_no_position(self):
        self.run_error_table([
            (lambda: v.Literal("ab").parse_string("  aB"), ValueError, "Expected 'ab'"),
            (lambda: v.Literal("ab").parse_string("a"), ValueError, "Expected 'ab'"),
            (lambda: v.Literal("é").parse_string("e"), ValueError, "Expected 'é'"),
            (lambda: v.Keyword("if").parse_string("ifx"), ValueError, "Expected keyword"),
            (lambda: v.Keyword("if").parse_string("if_"), ValueError, "Expected keyword"),
            (lambda: v.Keyword("").parse_string("x"), ValueError, "Expected keyword"),
            (lambda: v.Word("ab").parse_string("x"), ValueError, "Expected word"),
            (lambda: v.Word("ab").parse_string("   "), ValueError, "Expected word"),
            (lambda: v.Word("ab").parse_string(""), ValueError, "Expected word"),
            (lambda: v.Suppress(v.Literal("a")).parse_string("b"), ValueError, "No match (suppressed)"),
            (lambda: v.Suppress(v.NoMatch()).parse_string(""), ValueError, "No match (suppressed)"),
        ])

    def test_literal_and_keyword_return_their_cached_str(self):
        for element, texts in ((v.Literal("ab"), ("ab", " ab ", "\nabc")), (v.Keyword("if"), ("if", "  if x")),
                               (v.Literal(""), ("", "xyz"))):
            with self.subTest(element=type(element).__name__):
                items = [element.parse_string(t)[0] for t in texts]
                for item in items[1:]:
                    self.assertIs(item, items[0])
                first, second = element.parse_string(texts[0]), element.parse_string(texts[0])
                self.assertIsNot(first, second)  # a new list every call
        x = v.Literal("ab")
        self.assertIs(x.parse_string("ab")[0], x.parse_string(" ab ")[0])
        self.assertIsNot(v.Literal("ab").parse_string("ab")[0], x.parse_string("ab")[0])

    def test_word_reads_bytes_and_extends_to_whole_characters(self):
        # Members >= 128 stand for U+0080..U+00FF and are tested against single bytes.
        # 'Ã' is the member 0xC3, the first byte of 'é' (C3 A9): the bytewise match ends
        # inside 'é' and is carried to the end of the character.
        self.assertEqual(v.Word("Ã").parse_string("é"), ["é"])
        self.assertEqual(v.Word("a", "Ã").parse_string("aéb"), ["aé"])
        self.assertEqual(v.Word("Ã©").parse_string("é!"), ["é"])
        self.assertRaisesText(ValueError, "Expected word", v.Word("é").parse_string, "é")


class MatchFirstFastPathTest(ModuleTestCase):
    def test_first_success_wins(self):
        self.assertEqual((v.Literal("a") | v.Literal("ab")).parse_string("ab"), ["a"])
        self.assertEqual((v.Literal("x") | v.Group(v.Literal("y"))).parse_string(" y"), [["y"]])
        self.assertEqual((v.NoMatch() | v.CaselessLiteral("q")).parse_string("Q"), ["q"])
        self.assertEqual((v.Literal("x") | (v.Literal("a") + v.Literal("b"))).parse_string("a b"), ["a", "b"])

    def test_no_alternative(self):
        self.run_error_table([
            (lambda: (v.Literal("x") | v.Keyword("y")).parse_string("z"), ValueError, "No match found"),
            (lambda: v.MatchFirst([]).parse_string("a"), ValueError, "No match found"),
            (lambda: v.MatchFirst([v.Literal("a") + v.Literal("b")]).parse_string("a c"), ValueError,
             "No match found"),
        ])


class AndFastPathTest(ModuleTestCase):
    def test_results(self):
        a, b, c = v.Literal("a"), v.Literal("b"), v.Literal("c")
        cases = [
            (lambda: a + b, "  a b c", ["a", "b"]),
            (lambda: v.CaselessLiteral("ab") + c, "AB c", ["AB", "c"]),
            (lambda: a + v.Exactly(b, 2), "a b b", ["a", "b b"]),
            (lambda: a + v.Suppress(b) + c, "a b c", ["a", "c"]),
            (lambda: a + v.ZeroOrMore(b), "a b b c", ["a", "b", "b"]),
            (lambda: a + v.LineEnd(), "a", ["a"]),
            (lambda: a + v.Optional(b + b), "a b b", ["a", "b b"]),
            (lambda: a + v.QuotedString(), 'a "q"', ["a", '"q"']),
            (lambda: a + v.Combine(b + c), "a bc", ["a", "bc"]),
            (lambda: a + v.Group(b), "a b", ["a", ["b"]]),
            (lambda: a + v.Empty() + b, "a b", ["a", "b"]),
            (lambda: a + v.rest_of_line(), "a  x y\nz", ["a", "  x y"]),
            (lambda: v.Combine(a + b) + c, "ab c", ["ab", "c"]),
            (lambda: a + a, "aa", ["a", "a"]),
        ]
        for i, (build, text, tokens) in enumerate(cases):
            with self.subTest(i=i, text=text):
                result = build().parse_string(text)
                self.assertEqual(result, tokens)
                self.assertPlainTokens(result)
        self.assertEqual(v.CaselessLiteral("ab").parse_string("AB"), ["ab"])  # the generic road differs

    def test_failure_texts(self):
        a, b = v.Literal("a"), v.Literal("b")
        self.run_error_table([
            (lambda: (a + b).parse_string("a x"), ValueError, "Expected match"),
            (lambda: (a + v.Suppress(b)).parse_string("a x"), ValueError, "Expected match"),
            (lambda: (a + v.Group(b)).parse_string("a x"), ValueError, "ParseException at position 2: Expected 'b'"),
            (lambda: (a + v.OneOrMore(b)).parse_string("a  x"), ValueError,
             "ParseException at position 3: Expected at least one match"),
            (lambda: (a + (b | v.Literal("c"))).parse_string("a x"), ValueError,
             "ParseException at position 2: Expected 'c'"),
            (lambda: (v.Forward() + a).parse_string(" a"), ValueError,
             "ParseException at position 1: Forward not initialized"),
        ])

    def test_normal_children_give_whole_characters(self):
        # Char('Ã') holds the bytes C3 and 83; it matches the first byte of 'é' (C3 A9).
        # The match is carried to the end of 'é', and the next child starts after it.
        char = v.Char("Ã")
        self.assertEqual((char + v.Literal("x")).parse_string("éx"), ["é", "x"])
        self.assertEqual((v.Suppress(char) + v.Literal("x")).parse_string("éx"), ["x"])
        self.assertEqual((v.Literal("a") + v.Word("Ã")).parse_string("a é"), ["a", "é"])
        self.assertEqual((v.Literal("a") + v.Optional(v.Word("Ã")) + v.Literal("!")).parse_string("aé!"),
                         ["a", "é", "!"])


class OptionalPrecheckTest(ModuleTestCase):
    def test_results(self):
        cases = [
            (v.Optional(v.Literal("x")), "  x", ["x"]),
            (v.Optional(v.Literal("x")), "y", []),
            (v.Optional(v.LineEnd()), "", []),
            (v.Optional(v.Group(v.Empty())), "a", []),
            (v.Optional(v.Group(v.Literal("a"))), "a", [["a"]]),
            (v.Optional(v.CaselessLiteral("ab")), "AB", ["ab"]),
            (v.Optional(v.Literal("a") + v.Literal("b")), "a b", ["a", "b"]),
        ]
        for element, text, tokens in cases:
            with self.subTest(text=text, tokens=tokens):
                self.assertEqual(element.parse_string(text), tokens)
        self.assertEqual(v.LineEnd().parse_string(""), ["\n"])


class FastPathRefcountTest(ModuleTestCase):
    def test_parse_loops(self):
        lit, kw = v.Literal("ab"), v.Keyword("if")
        cached = [lit.parse_string("ab")[0], kw.parse_string("if")[0]]
        grammar = v.Word("q") | (lit + v.Group(v.Word("xy")) + v.Suppress(kw)
                                 + v.Optional(v.CaselessLiteral("z")))
        calls = [
            (lit, "ab"), (lit, "x"), (kw, "if"), (kw, "iff"), (v.Word("a"), "aa"), (v.Word("a"), "b"),
            (v.Suppress(lit), "ab"), (v.Suppress(lit), "b"), (grammar, "ab xy if z"), (grammar, "q"),
            (grammar, "ab xy x"), (v.MatchFirst([]), "a"), (lit + v.Group(kw), "ab if"),
            (lit + v.Group(kw), "ab x"), (lit + kw, "ab x"), (v.Optional(lit), "ab"), (v.Optional(lit), "x"),
        ]
        texts = [t for _, t in calls]

        def call():
            for element, text in calls:
                try:
                    element.parse_string(text)
                except ValueError:
                    pass

        self.assertRefcountsStable([lit, kw, grammar] + cached + texts, call, rounds=2000)

    def test_operator_and_constructor_loops(self):
        a, b = v.Literal("a"), v.Word("b")
        ab, alt = a + b, a | b
        f = v.Forward()
        junk = "".join(["j", "unk"])

        def call():
            a + b
            ab + a
            a + ab
            ab + ab
            alt | a
            a | alt
            alt | alt
            v.MatchFirst([a, b, ab])
            v.Optional(ab)
            v.Exactly(alt, 3)
            f.set(a)
            g = f
            g <<= ab
            for bad in (lambda: a + junk, lambda: ab + junk, lambda: a | junk, lambda: alt | junk,
                        lambda: f.set(junk), lambda: v.MatchFirst([a, junk]), lambda: v.Group(junk)):
                try:
                    bad()
                except ValueError:
                    pass
            try:
                g <<= junk
            except ValueError:
                pass
            try:
                junk + a
            except TypeError:
                pass

        self.assertRefcountsStable([a, b, ab, alt, f, junk], call, rounds=2000)

    def test_combinators_are_freed(self):
        a = v.Literal("a")
        for make in (lambda: a + a, lambda: a | a, lambda: v.Group(a), lambda: v.MatchFirst([a]),
                     lambda: v.Forward()):
            cls = type(make())
            with self.subTest(cls.__name__):
                before = sys.getrefcount(cls)
                kept = [make() for _ in range(50)]
                self.assertEqual(sys.getrefcount(cls), before + 50)
                del kept
                self.assertEqual(sys.getrefcount(cls), before)


if __name__ == "__main__":
    unittest.main()
