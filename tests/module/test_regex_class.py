"""The Regex class from Python: construction errors, its parse_string fast path, and
assertions that read the characters around them on every road."""
import unittest

import vantorel as v
from support import ModuleTestCase


class RegexConstructionTest(ModuleTestCase):
    def test_errors(self):
        self.run_error_table([
            (lambda: v.Regex(5), TypeError, "argument 'pattern': 'int' object is not an instance of 'str'"),
            (lambda: v.Regex(), TypeError, "Regex.__new__() missing 1 required positional argument: 'pattern'"),
        ])

    def test_invalid_pattern_is_a_value_error_showing_the_wrapped_pattern(self):
        for pattern in ("(", "a)", "[z-a]", "x{2,1}"):
            with self.subTest(pattern=pattern):
                with self.assertRaises(ValueError) as caught:
                    v.Regex(pattern)
                self.assertIs(type(caught.exception), ValueError)
                self.assertIn("^(?:", str(caught.exception))

    def test_set_operations_with_properties_and_folding(self):
        # A chain of symmetric differences with a property, and a folded difference of a
        # non-ASCII range: both build and mean what they say (β folds with Β and ϐ, µ with μ).
        chain = v.Regex(r"(?i)[\pL~~a~~b~~c~~d~~e~~f~~g~~h~~i]+")
        self.assertEqual(chain.search_string("aJé1Ik"), [["Jé"], ["k"]])
        greek = v.Regex("(?i)[α-ω--β]+")
        self.assertEqual(greek.search_string("αΑβΒϐγµ"), [["αΑ"], ["γµ"]])

    def test_unicode_properties(self):
        # Properties from the Unicode tables, through every kind of name; errors keep their texts.
        cases = [
            (r"\p{Emoji_Presentation}+", "a😀🫨b", [["😀🫨"]]),
            (r"\p{scx=Deva}+", "a।॥x", [["।॥"]]),
            (r"\p{gcb=RI}+", "x🇫🇷y", [["🇫🇷"]]),
            (r"\p{Word_Break=Hebrew_Letter}+", "aאבb", [["אב"]]),
            (r"[\p{Age=V6_0}&&\p{So}]", "😀☃", [["☃"]]),
            (r"(?i)\p{Lu}+", "aBc1", [["aBc"]]),
        ]
        for pattern, text, found in cases:
            with self.subTest(pattern=pattern):
                self.assertEqual(v.Regex(pattern).search_string(text), found)
        for pattern, message in ((r"\p{Bidi_M}", "Unicode property not found"),
                                 (r"\p{Age=16.0}", "Unicode property value not found")):
            with self.subTest(pattern=pattern):
                with self.assertRaises(ValueError) as caught:
                    v.Regex(pattern)
                self.assertTrue(str(caught.exception).endswith("error: " + message), str(caught.exception))

    def test_message_on_the_generic_roads(self):
        # Inside a Group the Regex is parsed by parse_impl: its stored message appears.
        self.assertParseFails(v.Group(v.Regex("a+")), " b", 1, "Expected match for /a+/")


class RegexFastPathTest(ModuleTestCase):
    def test_results(self):
        cases = [
            (v.Regex("a+"), "  aaab", ["aaa"]),
            (v.Regex(""), "xyz", [""]),
            (v.Regex(r"\s*"), "  x", [""]),  # the expression decides, after the leading skip
            (v.Regex("[abc]"), " b", ["b"]),
            (v.Regex("^a|b"), "b", ["b"]),
            (v.Regex(r"\bx"), "  x", ["x"]),
            (v.Regex("é+"), "ééx", ["éé"]),
            (v.Regex(r"\d+(?:\.\d+)?"), "3.25kg", ["3.25"]),
        ]
        for element, text, tokens in cases:
            with self.subTest(text=text, tokens=tokens):
                result = element.parse_string(text)
                self.assertEqual(result, tokens)
                self.assertPlainTokens(result)

    def test_failures(self):
        for element, text in ((v.Regex("b"), "ab"), (v.Regex("a+"), "   "), (v.Regex("a"), ""),
                              (v.Regex("^a|b"), "xb")):
            with self.subTest(text=text):
                self.assertRaisesText(ValueError, "Expected regex match", element.parse_string, text)

    def test_in_composed_grammars(self):
        number = v.Regex(r"\d+")
        self.assertEqual((v.Literal("n") + number).parse_string("n 42"), ["n", "42"])
        self.assertEqual((number | v.Literal("x")).parse_string("x"), ["x"])
        self.assertEqual(v.OneOrMore(number).parse_string("1 22 333"), ["1", "22", "333"])
        self.assertRaisesText(ValueError, "Expected match", (v.Literal("n") + number).parse_string, "n x")


    def test_reference_counts(self):
        element, ok, bad, pattern = v.Regex(r"\d+"), "".join([" 1", "23"]), "".join(["x", "1"]), "".join(["(", "a"])

        def call():
            element.parse_string(ok)
            for f in (lambda: element.parse_string(bad), lambda: v.Regex(pattern)):
                try:
                    f()
                except ValueError:
                    pass
            v.Regex(ok)

        self.assertRefcountsStable([element, ok, bad, pattern], call, rounds=2000)


if __name__ == "__main__":
    unittest.main()


class RegexContextAssertionTest(ModuleTestCase):
    """CRLF-mode ^ and $ and word assertions anywhere in a pattern: every road gives the
    dialect's matches (the searches see the whole text, the anchored roads the text from
    their position on)."""

    def test_searching_roads(self):
        cases = [
            (r"(?mR)^[a-z]+$", "abc\r\ndef\r\nxyz", ["abc", "def", "xyz"], "-\r\n-\r\n-"),
            (r"(?mR)$", "abc\r\ndef\r\nxyz", ["", "", ""], "abc-\r\ndef-\r\nxyz-"),
            (r"(?mR)^", "\r\r\r", ["", "", "", ""], "-\r-\r-\r-"),
            (r"(?mR)^.*$", "ab\rc\r\n", ["ab", "c", ""], "-\r-\r\n-"),
            (r"(?u)\bcafé\b", "café cafés café", ["café", "café"], "- cafés -"),
            (r"(?u)\w+\b.", "été, ça. où", ["été,", "ça."], "- - où"),
            (r"(?u).*\bé", "aé é·é", ["aé é·é"], "-"),
            (r"\<\w+\>", "ab é-cd", ["ab", "cd"], "- é--"),
        ]
        for pattern, text, found, replaced in cases:
            with self.subTest(pattern=pattern, text=text):
                element = v.Regex(pattern)
                result = element.search_string(text)
                self.assertEqual(result, [[t] for t in found])
                self.assertPlainTokens(result)
                self.assertEqual(element.search_string_count(text), len(found))
                self.assertEqual(element.transform_string(text, "-"), replaced)

    def test_anchored_roads_read_the_text_from_their_position(self):
        line = v.Regex(r"(?mR)^[a-z]+$")
        inputs = ["abc\r\n", "ab\r", "a\nb", "x", "\rx", "Ab"]
        self.assertEqual(line.parse_batch(inputs), ["abc", "ab", "a", "x"])
        self.assertEqual(line.parse_batch_count(inputs), 4)
        self.assertEqual(line.parse_string("  ab\rcd"), ["ab"])
        self.assertTrue(line.matches("ab\r\n"))
        self.assertFalse(line.matches("ab\rcd"))
        word = v.Regex(r"(?u)\b\w+\b")
        self.assertEqual(word.parse_string("  été x"), ["été"])
        # After a, the Regex runs on the text from b on: \b sees the start of a text there.
        self.assertEqual((v.Literal("a") + v.Regex(r"(?u)\bb")).parse_string("ab"), ["a", "b"])
        self.assertEqual(v.Regex(r"(?u)é\B").parse_batch(["éé", "é", "é-"]), ["é"])

