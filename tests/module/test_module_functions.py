"""one_of and the character-set functions."""
import unittest

import vantorel as v
from support import ModuleTestCase

CHARACTER_SETS = {
    "alphas_lower": "abcdefghijklmnopqrstuvwxyz",
    "alphas_upper": "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
    "alphas": "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz",
    "nums": "0123456789",
    "alphanums": "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
    "hexnums": "0123456789abcdefABCDEF",
    "printables": "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                  + "".join(chr(b) for b in range(33, 127) if not chr(b).isalnum()),
}

WHITE_SPACE = ("\t\n\x0b\x0c\r \x85\xa0\u1680" + "".join(chr(c) for c in range(0x2000, 0x200b))
               + "\u2028\u2029\u202f\u205f\u3000")


class CharacterSetTest(ModuleTestCase):
    def test_contents_and_fresh_objects(self):
        for name, content in CHARACTER_SETS.items():
            with self.subTest(name):
                f = getattr(v, name)
                self.assertEqual(f(), content)
                self.assertIsNot(f(), f())
                self.assertEqual(f.__text_signature__, "()")
                self.assertIsNone(f.__doc__)
        self.assertEqual(len(v.printables()), 94)
        self.assertTrue(v.printables().startswith("0123456789") and v.printables().endswith("~"))


class OneOfTest(ModuleTestCase):
    def test_signature_and_docstring(self):
        self.assertEqual(v.one_of.__text_signature__, "(strs)")
        self.assertEqual(v.one_of.__doc__,
                         "Create a MatchFirst from a space-separated string of literal alternatives.\n"
                         'Equivalent to merlak.one_of("+ - * /").')

    def test_alternatives_in_text_order_first_success_wins(self):
        grammar = v.one_of("a ab")
        self.assertIs(type(grammar), v.MatchFirst)
        self.assertEqual(grammar.parse_string("ab"), ["a"])
        self.assertEqual(v.one_of("ab a").parse_string("ab"), ["ab"])
        self.assertEqual(v.one_of("x x").parse_string(" x"), ["x"])
        self.assertEqual(v.one_of("+ - * /").parse_string("  / 2"), ["/"])

    def test_splits_at_every_white_space_character(self):
        self.assertEqual(len(WHITE_SPACE), 25)
        for sep in WHITE_SPACE:
            with self.subTest(sep=hex(ord(sep))):
                grammar = v.one_of(f"{sep}ab{sep}{sep}cd{sep}")
                self.assertEqual(grammar.parse_string("cd"), ["cd"])
                self.assertEqual(grammar.parse_string("ab"), ["ab"])

    def test_zero_width_space_stays_inside_its_word(self):
        grammar = v.one_of("a\u200bb c")
        self.assertEqual(grammar.parse_string("a\u200bb"), ["a\u200bb"])
        with self.assertRaises(ValueError):
            grammar.parse_string("a")

    def test_no_words(self):
        for text in ("", "   ", " \t\n ", "\u3000\xa0"):
            with self.subTest(text=text):
                self.assertRaisesText(ValueError, "one_of requires at least one string", v.one_of, text)

    def test_each_call_builds_a_new_object(self):
        self.assertIsNot(v.one_of("a"), v.one_of("a"))


if __name__ == "__main__":
    unittest.main()
