"""The leaf constructors, observed through parse_string."""
import unittest

import vantorel as v
from support import ModuleTestCase


class GenericParseStringTest(ModuleTestCase):
    def test_successes(self):
        cases = [
            # (element, text, tokens)
            (v.CaselessLiteral("ab"), "  AB cd", ["ab"]),
            (v.CaselessLiteral("Ab"), "  aB cd", ["Ab"]),
            (v.CaselessLiteral("ÉA"), "Éa", ["ÉA"]),
            (v.CaselessLiteral(""), "xyz", [""]),
            (v.CaselessKeyword("IF"), "if(", ["IF"]),
            (v.CaselessKeyword("if"), "IF x", ["if"]),
            (v.Char("ab"), " b", ["b"]),
            (v.Char("é"), "é", ["é"]),
            (v.Empty(), "abc", []),
            (v.Empty(), "", []),
            (v.StringStart(), "x", []),
            (v.StringEnd(), "   ", []),
            (v.LineStart(), "x", []),
            (v.LineEnd(), "", ["\n"]),
            (v.rest_of_line(), "  ab\ncd", ["  ab"]),
            (v.rest_of_line(), "", [""]),
        ]
        for element, text, tokens in cases:
            with self.subTest(element=type(element).__name__, text=text):
                result = element.parse_string(text)
                self.assertEqual(result, tokens)
                self.assertPlainTokens(result)

    def test_failures_carry_byte_positions_and_messages(self):
        cases = [
            (v.CaselessLiteral("AbC"), "  x", 2, "Expected 'AbC' (caseless)"),
            (v.CaselessKeyword("IF"), "iffy", 0, "Expected keyword 'IF' (caseless)"),
            (v.CaselessKeyword(""), "a", 0, "Expected keyword '' (caseless)"),
            (v.Char("ab"), "c", 0, "Expected one of 'ab'"),
            (v.Char(""), " a", 1, "Expected one of ''"),
            (v.Char("é"), "xé", 0, "Expected one of 'é'"),
            (v.NoMatch(), "  x", 2, "NoMatch will never match"),
            (v.NoMatch(), "", 0, "NoMatch will never match"),
            (v.StringEnd(), "x", 0, "Expected end of string"),
            (v.StringEnd(), "\x0c", 0, "Expected end of string"),
            (v.StringStart(), "  x", 2, "Expected start of string"),
            (v.CaselessLiteral("b"), "éx", 0, "Expected 'b' (caseless)"),
            (v.CaselessLiteral("b"), " é", 1, "Expected 'b' (caseless)"),
        ]
        for element, text, pos, message in cases:
            with self.subTest(element=type(element).__name__, text=text):
                self.assertParseFails(element, text, pos, message)

    def test_each_call_returns_new_objects(self):
        element = v.CaselessLiteral("Ab")
        first, second = element.parse_string("ab"), element.parse_string("ab")
        self.assertIsNot(first, second)
        self.assertEqual(first, second)


class LiteralKindsTest(ModuleTestCase):
    def test_literal_and_keyword_tokens(self):
        cases = [
            (v.Literal("ab"), "  ab cd", ["ab"]),
            (v.Literal(""), "x", [""]),
            (v.Literal("é"), "éx", ["é"]),
            (v.Keyword("if"), " if x", ["if"]),
            (v.Keyword(""), "", [""]),
            (v.Keyword("if"), "if+", ["if"]),
        ]
        for element, text, tokens in cases:
            with self.subTest(element=type(element).__name__, text=text):
                self.assertEqual(element.parse_string(text), tokens)

    def test_literal_and_keyword_refuse(self):
        for element, text in ((v.Literal("ab"), "a"), (v.Literal("ab"), "ba"), (v.Keyword("if"), "iffy"),
                              (v.Keyword("if"), "i"), (v.Keyword(""), "x")):
            with self.subTest(element=type(element).__name__, text=text):
                with self.assertRaises(ValueError):
                    element.parse_string(text)

    def test_cached_string_is_not_the_argument(self):
        s = "".join(["a", "b"])
        lit = v.Literal(s)
        self.assertIsNot(lit.parse_string("ab")[0], s)


class WordTest(ModuleTestCase):
    def test_words(self):
        cases = [
            (v.Word("ab"), "  abba c", ["abba"]),
            (v.Word("a", "b"), "abbba", ["abbb"]),
            (v.Word("a", None), "aaa", ["aaa"]),
            (v.Word("a", ""), "aaa", ["a"]),
            (v.Word("aĀ"), "aa", ["aa"]),
            (v.Word(init_chars="x", body_chars="y"), "xyy", ["xyy"]),
        ]
        for element, text, tokens in cases:
            with self.subTest(text=text):
                self.assertEqual(element.parse_string(text), tokens)

    def test_refusals(self):
        for element, text in ((v.Word("a"), "b"), (v.Word(""), "a"), (v.Word("a"), ""), (v.Word("aĀ"), "Ā")):
            with self.subTest(text=text):
                with self.assertRaises(ValueError):
                    element.parse_string(text)


class QuotedStringTest(ModuleTestCase):
    def test_quoted_strings(self):
        cases = [
            (v.QuotedString(), ' "ab" c', ["ab"]),
            (v.QuotedString(unquote=False), '"ab"', ['"ab"']),
            (v.QuotedString("'"), "'x'", ["x"]),
            (v.QuotedString(""), '"x"', ["x"]),
            (v.QuotedString("ab"), "axa", ["x"]),
            (v.QuotedString("'", "\\"), "'a\\'b'", ["a'b"]),
            (v.QuotedString(esc_char=""), '"a"', ["a"]),
            (v.QuotedString(esc_char=None), '"a"', ["a"]),
        ]
        for element, text, tokens in cases:
            with self.subTest(text=text):
                self.assertEqual(element.parse_string(text), tokens)

    def test_messages_show_the_quote_as_passed(self):
        cases = [
            (v.QuotedString(), 'x', "Expected quoted string starting with '\"'"),
            (v.QuotedString(""), 'x', "Expected quoted string starting with ''"),
            (v.QuotedString("ab"), 'x', "Expected quoted string starting with 'ab'"),
        ]
        for element, text, message in cases:
            with self.subTest(message=message):
                self.assertParseFails(element, text, 0, message)

    def test_multiline_flag(self):
        self.assertParseFails(v.QuotedString(), '"a\nb"', 0, "Expected quoted string starting with '\"'")
        self.assertEqual(v.QuotedString(multiline=True).parse_string('"a\nb"'), ["a\nb"])


class FieldlessConstructorsTest(ModuleTestCase):
    def test_distinct_instances(self):
        for cls in (v.Empty, v.NoMatch, v.LineStart, v.LineEnd, v.StringStart, v.StringEnd, v.rest_of_line):
            with self.subTest(cls.__name__):
                a, b = cls(), cls()
                self.assertIs(type(a), cls)
                self.assertIsNot(a, b)


if __name__ == "__main__":
    unittest.main()
