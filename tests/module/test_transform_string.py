"""transform_string(s, replacement): the generic scan road, the Word, Literal and Regex
roads against it, zero-width and end-of-text rules, whitespace skipped by combinators,
whole characters around hits inside multi-byte characters, and the stack-guard stop."""
import itertools
import random
import re
import sys
import unittest

import vantorel as v
from support import ModuleTestCase

L = v.Literal


def texts_over(alphabet, longest):
    return ["".join(t) for k in range(longest + 1) for t in itertools.product(alphabet, repeat=k)]


class GenericRoadTest(ModuleTestCase):
    def test_cases(self):
        cases = [
            (L("a") + L("b"), "x a b", "Z", "xZ"),  # the whitespace before a belongs to the span
            (L("a") + L("b"), "a b a b", "Z", "ZZ"),
            (L("a") + L("b"), "ab  ", "Z", "Z  "),  # whitespace after the last child stays
            (v.ZeroOrMore(L("a")), "b aa", "X", "bX"),
            (v.OneOrMore(L("a")), "a a b a", "X", "X bX"),
            (v.Exactly(L("a"), 2), "a a a", "X", "X a"),
            (v.Char("ab"), "aab", "-", "---"),
            (v.Keyword("if"), "if x ifx if", "K", "K x ifx K"),
            (v.Keyword("if"), "xif", "K", "xK"),  # the byte before a keyword is never examined
            (v.CaselessLiteral("ab"), "xAbaB", "-", "x--"),
            (v.CaselessKeyword("if"), "IF iFx", "K", "K iFx"),
            (v.SkipTo(L("b")), "aab", "X", "Xb"),
            (v.SkipTo(v.StringEnd()), "ab", "X", "X"),  # non-empty: from 0 to the end
            (v.Regex("(?:)") + v.Empty(), "a  b", "X", "aXb"),  # a span of skipped whitespace alone
            (v.QuotedString(), 'say "hi" now', "Q", "say Q now"),
            (v.LineEnd(), "a\nb\n", "X", "aXbX"),
            (v.LineEnd(), "ab", "X", "ab"),
            (v.rest_of_line(), "ab\ncd", "R", "R\nR"),
            (v.Optional(L("a")), "bab", "X", "bXb"),
            (v.MatchFirst([L("a"), L("ab")]), "ab", "X", "Xb"),
            (v.Group(L("a") + L("b")), "z a b", "G", "zG"),
            (v.Suppress(L("a")), "banana", "", "bnn"),
            (v.Combine(L("a") + L("b")), "a b ab", "C", "a b C"),
            (v.Char("a"), "aXa", "é€", "é€Xé€"),  # the replacement's bytes go in unchanged
            (v.Char("x"), "axb", "$0\\1{}", "a$0\\1{}b"),
        ]
        for element, text, replacement, expected in cases:
            with self.subTest(element=type(element).__name__, text=text):
                self.assertEqual(element.transform_string(text, replacement), expected)

    def test_zero_width_and_end_of_text_are_never_replaced(self):
        f = v.Forward()
        for element in (v.Empty(), v.LineStart(), v.StringStart(), v.StringEnd(), v.NoMatch(), f,
                        v.ZeroOrMore(L("q")), v.Optional(L("q")), v.SkipTo(L("q")), v.Group(v.Regex("(?:)"))):
            for text in ("", "ab", "a\nb\n", "  "):
                with self.subTest(element=type(element).__name__, text=text):
                    self.assertEqual(element.transform_string(text, "X"), text)
        f <<= L("b")
        self.assertEqual(f.transform_string("abc", "X"), "aXc")

    def test_empty_text_tries_nothing(self):
        for element in (L(""), v.Empty(), v.LineEnd(), v.StringEnd(), v.Word("a"), v.Optional(L("a")),
                        v.Regex("a")):
            with self.subTest(element=type(element).__name__):
                self.assertEqual(element.transform_string("", "X"), "")

    def test_result_is_always_a_new_str(self):
        text = "no match in this text"
        for element in (L("q"), L(""), v.Word("q"), v.Regex("q"), v.Char("q"), v.Empty()):
            with self.subTest(element=type(element).__name__):
                result = element.transform_string(text, "X")
                self.assertEqual(result, text)
                self.assertIsNot(result, text)
                self.assertIs(type(result), str)


class WholeCharacterTest(ModuleTestCase):
    def test_hits_inside_characters(self):
        # Char('é') holds the bytes C3 and A9: its hit at the C3 of 'é' ends inside the
        # character and is widened to all of it; the hit at A9 starts inside one and is not
        # replaced. Word('©') holds the member A9, which only ever occurs inside characters.
        cases = [
            (v.Char("é"), "é", "X"),
            (v.Char("é"), "aéb", "aXb"),
            (v.Char("é"), "©", "©"),  # C2 A9: the hit at A9 starts inside '©'
            (v.Word("©"), "é©", "é©"),
            (v.Word("Ã"), "éa", "Xa"),  # member C3 (Ã) starts 'é'; widened over A9
            # Members A9 and C3: the hit at the A9 of '©' runs over 'é'; it starts inside a
            # character, so it is not replaced, and the scan goes on after it.
            (v.Word("©Ã"), "©é", "©é"),
            (v.Word("©Ã"), "©aé", "©aX"),
            (v.Char("é") + v.Char("é"), "é", "X"),
            (v.QuotedString("é"), "éxé", "éxé"),  # a quote byte >= 128 never matches
        ]
        for element, text, expected in cases:
            with self.subTest(element=type(element).__name__, text=text):
                self.assertEqual(element.transform_string(text, "X"), expected)

    def test_every_result_is_whole_characters(self):
        # Each match becomes one "-" (the matches search_string reports), and what stays is
        # the text's own characters: none is cut, so the result holds nothing else.
        alphabet = ["a", " ", "é", "©"]
        grammars = [v.Char("é"), v.Char("©a"), v.Word("©Ã"), v.Word("a", "©"), v.Combine(v.Char("é") + v.Char("a")),
                    v.SkipTo(v.Char("©")), v.OneOrMore(v.Char("é©"))]
        for g in grammars:
            with self.subTest(grammar=type(g).__name__):
                for text in texts_over(alphabet, 4):
                    result = g.transform_string(text, "-")
                    self.assertEqual(result.count("-"), len(g.search_string(text)), text)
                    self.assertLessEqual(set(result), set(alphabet) | {"-"}, text)


class ShortcutRoadsTest(ModuleTestCase):
    def test_word_and_literal_equal_the_generic_road(self):
        # Group and Suppress take the generic road over their child's try_match_at.
        leaves = [v.Word("ab"), v.Word("a", "b"), v.Word("a", ""), v.Word("é"), v.Word("Ãa", "©a"),
                  L("a"), L("ab"), L("aa"), L("é"), L(" a")]
        texts = texts_over(["a", "b", " ", "é"], 5)
        for leaf in leaves:
            plain = v.Group(leaf)
            with self.subTest(leaf=type(leaf).__name__):
                for text in texts:
                    for replacement in ("", "XY"):
                        self.assertEqual(leaf.transform_string(text, replacement),
                                         plain.transform_string(text, replacement), text)

    def test_regex_equals_the_generic_road_without_empty_matches_or_assertions(self):
        patterns = ["ab+", "a|ab", "[ab]", "b", ".", "é+", "[^a]"]
        texts = texts_over(["a", "b", " ", "é"], 4)
        for pattern in patterns:
            regex = v.Regex(pattern)
            plain = v.Group(regex)
            with self.subTest(pattern=pattern):
                for text in texts:
                    self.assertEqual(regex.transform_string(text, "-"), plain.transform_string(text, "-"), text)

    def test_literal_cases(self):
        cases = [(L("ab"), "abab", "X", "XX"), (L("aa"), "aaa", "X", "Xa"), (L(""), "abc", "X", "abc"),
                 (L(""), "", "X", ""), (L("a"), "banana", "", "bnn"), (L("ab"), "aB Ab", "X", "aB Ab"),
                 (L("é"), "aéé", "e", "aee"), (L("abc"), "ab", "X", "ab")]
        for element, text, replacement, expected in cases:
            with self.subTest(text=text):
                self.assertEqual(element.transform_string(text, replacement), expected)


class StrKindsTest(ModuleTestCase):
    """The result is written into the new str's code units: it is the str the interpreter
    makes of the same characters, in the same storage (one, two or four bytes per character,
    ASCII or not), whatever the widths of the text and of the replacement, also where every
    widest character of the text is replaced and where the result outgrows the text."""

    def assertSameStr(self, result, expected, *context):
        self.assertIs(type(result), str, context)
        self.assertEqual(result, expected, context)
        self.assertEqual(result.isascii(), expected.isascii(), context)
        # The str the interpreter makes of the UTF-8 bytes: the interpreter's own result may
        # be the text itself, which holds its UTF-8 copy as well.
        fresh = expected.encode().decode()
        self.assertEqual(sys.getsizeof(result), sys.getsizeof(fresh), context)  # same storage

    def test_every_road_against_the_interpreters_own_result(self):
        rng = random.Random(7)
        alphabet = ["a", "b", " ", "\t", "é", "ÿ", "Ł", "東", "😀"]
        replacements = ["", "-", "XYZ", "é", "Ł", "😀", "a😀"]
        # Each element with the same replacement done by the interpreter.
        roads = [
            (L("a"), lambda t, r: t.replace("a", r)),
            (L("ab"), lambda t, r: t.replace("ab", r)),
            (L("é"), lambda t, r: t.replace("é", r)),
            (L("Ł"), lambda t, r: t.replace("Ł", r)),
            (L("😀"), lambda t, r: t.replace("😀", r)),
            (v.Word("ab"), lambda t, r: re.sub("[ab]+", lambda m: r, t)),
            (v.Char("ab "), lambda t, r: re.sub("[ab ]", lambda m: r, t)),
            (v.Regex("[^ab]+"), lambda t, r: re.sub("[^ab]+", lambda m: r, t)),
            (v.Group(L("😀")), lambda t, r: t.replace("😀", r)),
            (v.one_of("a é Ł 😀"), lambda t, r: re.sub("a|é|Ł|😀", lambda m: r, t)),
        ]
        for _ in range(400):
            text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(60)))
            if rng.random() < 0.1:
                text *= 50  # long enough to make the result outgrow the text
            replacement = rng.choice(replacements)
            for element, interpreter in roads:
                result = element.transform_string(text, replacement)
                if len(text) > 1:
                    self.assertIsNot(result, text)
                self.assertSameStr(result, interpreter(text, replacement), type(element).__name__, text, replacement)

    def test_results_of_megabytes(self):
        # Results large enough to be written into memory paged in huge pages, with and
        # without replacements, from one- and two-byte texts.
        for text in ["ab ERROR cd\n" * 400_000, "ab ERROR cé Ł\n" * 400_000]:
            for element, old, new in [(L("ERROR"), "ERROR", "E"), (L("Ł"), "Ł", "ŁŁ"), (L("zz"), "zz", "-")]:
                with self.subTest(text=text[:14], old=old):
                    self.assertSameStr(element.transform_string(text, new), text.replace(old, new))

    def test_widest_characters_all_replaced(self):
        cases = [
            (L("😀"), "a😀b", "-", "a-b"),  # four bytes per character down to ASCII
            (L("😀"), "é😀", "", "é"),  # down to one byte per character, not ASCII
            (L("Ł"), "aŁŁb", "é", "aééb"),
            (L("é"), "aé", "b", "ab"),  # one byte per character, down to ASCII
            (L("é"), "é", "", ""),  # the interpreter's shared empty str
            (L("Ł"), "Łx", "", "x"),  # a shared one-character str
            (v.Char("a"), "a", "é", "é"),
        ]
        for element, text, replacement, expected in cases:
            with self.subTest(text=text, replacement=replacement):
                self.assertSameStr(element.transform_string(text, replacement), expected)


class RegexRoadTest(ModuleTestCase):
    def test_cases(self):
        cases = [
            ("a*", "baaac", "-", "-b-c-"),  # the empty match at 4, where aaa ended, is not reported
            ("a*", "", "R", "R"),
            ("", "ab", "-", "-a-b-"),
            ("", "é", "-", "-é-"),  # no empty match inside a character
            ("x", "axb", "$0", "a$0b"),
            ("$", "ab", "!", "ab!"),
            ("^", "ab", "!", "!ab"),
            ("^a", "aa", "X", "Xa"),  # the anchor sees the whole text
            ("\\s+", "a \t b\v", "_", "a_b_"),  # the expression decides, not the mode shortcut
            ("[ab]", "abc", "-", "--c"),
            ("\\bb", "ab b", "X", "ab X"),
            ("é", "aé", "e", "ae"),
            ("q", "no q here", "", "no  here"),
        ]
        for pattern, text, replacement, expected in cases:
            with self.subTest(pattern=pattern, text=text):
                self.assertEqual(v.Regex(pattern).transform_string(text, replacement), expected)


class FrameAndGuardTest(ModuleTestCase):
    def test_arguments(self):
        x = v.Word("a")
        self.assertEqual(x.transform_string(replacement="-", s="a b"), "- b")
        self.run_error_table([
            (lambda: x.transform_string("a", None), TypeError,
             "argument 'replacement': 'None' is not an instance of 'str'"),
            (lambda: v.Empty().transform_string(5, 6), TypeError,
             "argument 's': 'int' object is not an instance of 'str'"),
        ])
        with self.assertRaises(UnicodeEncodeError):
            v.Empty().transform_string("a", "\ud800")

    def test_a_stopped_scan_raises_instead_of_rewriting_part_of_the_text(self):
        expr = v.Forward()
        atom = v.Word("0123456789") | v.Group(v.Suppress(L("(")) + expr + v.Suppress(L(")")))
        expr <<= atom + v.ZeroOrMore(v.one_of("+ - * /") + atom)
        # The whitespace a sequence skips before its first child belongs to the match, so the
        # space before each match is replaced too.
        self.assertEqual(expr.transform_string("x (1 + 2) y 3", "E"), "xEyE")
        deep = "(" * 100_000 + "1" + ")" * 100_000
        for grammar in (expr, v.Group(expr), v.Optional(expr)):
            with self.subTest(grammar=type(grammar).__name__):
                with self.assertRaises(ValueError) as caught:
                    grammar.transform_string(deep, "E")
                self.assertRegex(str(caught.exception),
                                 r"^ParseException at position \d+: Grammar nesting too deep for the stack$")

    def test_reference_counts_stay_put(self):
        text, replacement = "a b aa", "-"
        for x in (L("a"), v.Word("a"), v.Regex("a*"), v.Char("a"), v.Combine(L("a"))):
            with self.subTest(cls=type(x).__name__):
                self.assertRefcountsStable([x, text, replacement], lambda: x.transform_string(text, replacement),
                                           rounds=2000)


if __name__ == "__main__":
    unittest.main()
