"""The call frame: argument extraction, its error texts and their order, conversions."""
import sys
import unittest

import vantorel as v
from support import ModuleTestCase

LONE_SURROGATE = "a\udcffb"


class StrSub(str):
    def __str__(self):
        return "not used"


class ListSub(list):
    pass


def numpy_type(name, **attrs):
    """A type that reports itself as numpy's boolean scalar by module and name."""
    return type(name, (), {"__module__": "numpy", **attrs})


class CallShapeErrorsTest(ModuleTestCase):
    def test_error_texts(self):
        lit = v.Literal("a")
        cases = [
            # (call, exception type, exact text)
            (lambda: lit.parse_string(), TypeError,
             "Literal.parse_string() missing 1 required positional argument: 's'"),
            (lambda: lit.transform_string(), TypeError,
             "Literal.transform_string() missing 2 required positional arguments: 's' and 'replacement'"),
            (lambda: lit.transform_string("x"), TypeError,
             "Literal.transform_string() missing 1 required positional argument: 'replacement'"),
            (lambda: lit.transform_string(replacement="x"), TypeError,
             "Literal.transform_string() missing 1 required positional argument: 's'"),
            (lambda: lit.parse_string("x", "y"), TypeError,
             "Literal.parse_string() takes 1 positional arguments but 2 were given"),
            (lambda: v.Empty(1), TypeError,
             "Empty.__new__() takes 0 positional arguments but 1 was given"),
            (lambda: v.Empty(x=1), TypeError,
             "Empty.__new__() got an unexpected keyword argument 'x'"),
            (lambda: v.Word("a", "b", "c"), TypeError,
             "Word.__new__() takes from 1 to 2 positional arguments but 3 were given"),
            (lambda: v.QuotedString("a", "b", True, True, 5), TypeError,
             "QuotedString.__new__() takes from 0 to 4 positional arguments but 5 were given"),
            (lambda: v.Literal("a", s="b"), TypeError,
             "Literal.__new__() got multiple values for argument 's'"),
            (lambda: lit.parse_string("x", "y", t=1), TypeError,
             "Literal.parse_string() takes 1 positional arguments but 2 were given"),
            (lambda: lit.parse_string(t=1), TypeError,
             "Literal.parse_string() got an unexpected keyword argument 't'"),
            (lambda: lit.parse_string("x", t=1, s=2), TypeError,
             "Literal.parse_string() got an unexpected keyword argument 't'"),
            (lambda: lit.parse_string("x", s="y", t=1), TypeError,
             "Literal.parse_string() got multiple values for argument 's'"),
            (lambda: v.one_of(), TypeError,
             "one_of() missing 1 required positional argument: 'strs'"),
            (lambda: v.one_of("a", "b"), TypeError,
             "one_of() takes 1 positional arguments but 2 were given"),
            (lambda: v.Forward().set(), TypeError,
             "Forward.set() missing 1 required positional argument: 'expr'"),
            (lambda: v.Exactly(), TypeError,
             "Exactly.__new__() missing 2 required positional arguments: 'expr' and 'count'"),
            (lambda: v.Word(), TypeError,
             "Word.__new__() missing 1 required positional argument: 'init_chars'"),
            (lambda: v.Word(body_chars="a"), TypeError,
             "Word.__new__() missing 1 required positional argument: 'init_chars'"),
            (lambda: lit.parse_batch(), TypeError,
             "Literal.parse_batch() missing 1 required positional argument: 'inputs'"),
            (lambda: v.Word("a")._search_string_flat("x", "y"), TypeError,
             "Word._search_string_flat() takes 1 positional arguments but 2 were given"),
            (lambda: v.Regex(), TypeError,
             "Regex.__new__() missing 1 required positional argument: 'pattern'"),
        ]
        self.run_error_table(cases)

    def test_unexpected_keyword_that_is_not_utf8_is_named_as_given(self):
        with self.assertRaises(TypeError) as caught:
            v.Literal("a").parse_string(**{LONE_SURROGATE: 1})
        self.assertEqual(str(caught.exception),
                         f"Literal.parse_string() got an unexpected keyword argument '{LONE_SURROGATE}'")

    def test_interpreter_rejects_arguments_of_character_sets(self):
        with self.assertRaises(TypeError):
            v.alphas(1)


class ConversionErrorsTest(ModuleTestCase):
    def test_error_texts(self):
        lit = v.CaselessLiteral("a")
        bad_bool_type = numpy_type("bool_")
        raising_bool_type = numpy_type("bool", __bool__=lambda self: 1 / 0)
        cases = [
            (lambda: lit.parse_string(5), TypeError,
             "argument 's': 'int' object is not an instance of 'str'"),
            (lambda: lit.parse_string(None), TypeError,
             "argument 's': 'None' is not an instance of 'str'"),
            (lambda: lit.parse_string(b"a"), TypeError,
             "argument 's': 'bytes' object is not an instance of 'str'"),
            (lambda: lit.transform_string(5, 6), TypeError,
             "argument 's': 'int' object is not an instance of 'str'"),
            (lambda: lit.transform_string("a", None), TypeError,
             "argument 'replacement': 'None' is not an instance of 'str'"),
            (lambda: lit.parse_batch(("a",)), TypeError,
             "argument 'inputs': 'tuple' object is not an instance of 'list'"),
            (lambda: lit.parse_batch_count(None), TypeError,
             "argument 'inputs': 'None' is not an instance of 'list'"),
            (lambda: v.MatchFirst((v.Literal("a"),)), TypeError,
             "argument 'exprs': 'tuple' object is not an instance of 'list'"),
            (lambda: v.Literal(5), TypeError,
             "argument 's': 'int' object is not an instance of 'str'"),
            (lambda: v.Word("a", 5), TypeError,
             "argument 'body_chars': 'int' object is not an instance of 'str'"),
            (lambda: v.Word(None), TypeError,
             "argument 'init_chars': 'None' is not an instance of 'str'"),
            (lambda: v.QuotedString(quote_char=None), TypeError,
             "argument 'quote_char': 'None' is not an instance of 'str'"),
            (lambda: v.QuotedString(esc_char=3), TypeError,
             "argument 'esc_char': 'int' object is not an instance of 'str'"),
            (lambda: v.QuotedString(multiline=1), TypeError,
             "argument 'multiline': 'int' object is not an instance of 'bool'"),
            (lambda: v.QuotedString(unquote=None), TypeError,
             "argument 'unquote': 'None' is not an instance of 'bool'"),
            (lambda: v.QuotedString(multiline=bad_bool_type()), TypeError,
             "argument 'multiline': object of type '<class 'numpy.bool_'>' does not define a "
             "'__bool__' conversion"),
            (lambda: v.QuotedString(unquote=numpy_type("int8", __bool__=lambda s: True)()), TypeError,
             "argument 'unquote': 'int8' object is not an instance of 'bool'"),
            (lambda: v.Regex(5), TypeError,
             "argument 'pattern': 'int' object is not an instance of 'str'"),
            (lambda: v.one_of(["a"]), TypeError,
             "argument 'strs': 'list' object is not an instance of 'str'"),
            (lambda: v.Exactly(v.Literal("a"), "2"), TypeError,
             "argument 'count': 'str' object cannot be interpreted as an integer"),
            (lambda: v.Exactly(5, "2"), TypeError,
             "argument 'count': 'str' object cannot be interpreted as an integer"),
            (lambda: v.Exactly(v.Literal("a"), 1.5), TypeError,
             "argument 'count': 'float' object cannot be interpreted as an integer"),
        ]
        self.run_error_table(cases)
        with self.assertRaises(ZeroDivisionError):
            v.QuotedString(multiline=raising_bool_type())

    def test_interpreter_errors_pass_through_unchanged(self):
        lit = v.CaselessLiteral("a")
        for call in (lambda: lit.parse_string(LONE_SURROGATE),
                     lambda: lit.transform_string(LONE_SURROGATE, 6),
                     lambda: v.Literal(LONE_SURROGATE),
                     lambda: v.one_of(LONE_SURROGATE)):
            with self.subTest(call=call):
                with self.assertRaises(UnicodeEncodeError):
                    call()
        for count in (-1, 2 ** 64, -(2 ** 70)):
            with self.subTest(count=count):
                with self.assertRaises(OverflowError) as caught:
                    v.Exactly(v.Literal("a"), count)
                self.assertIs(type(caught.exception), OverflowError)
                self.assertFalse(str(caught.exception).startswith("argument"))

    def test_type_error_keeps_its_cause_when_prefixed(self):
        class Index:
            def __index__(self):
                try:
                    raise KeyError("inner")
                except KeyError as e:
                    raise TypeError("no index here") from e

        with self.assertRaises(TypeError) as caught:
            v.Exactly(v.Literal("a"), Index())
        self.assertEqual(str(caught.exception), "argument 'count': no index here")
        self.assertIsInstance(caught.exception.__cause__, KeyError)

    def test_subclass_of_type_error_is_not_prefixed(self):
        class MyTypeError(TypeError):
            pass

        class Index:
            def __index__(self):
                raise MyTypeError("mine")

        with self.assertRaises(MyTypeError) as caught:
            v.Exactly(v.Literal("a"), Index())
        self.assertEqual(str(caught.exception), "mine")

    def test_subclasses_of_str_and_list_are_accepted_with_their_own_characters(self):
        self.assertEqual(v.CaselessLiteral("ab").parse_string(StrSub("AB")), ["ab"])
        self.assertEqual(v.CaselessLiteral(StrSub("ab")).parse_string("ab"), ["ab"])
        self.assertEqual(v.CaselessLiteral("a").parse_batch(ListSub(["a"])), [["a"]])

    def test_keywords_are_accepted_everywhere(self):
        self.assertEqual(v.CaselessLiteral(s="a").parse_string(s="a"), ["a"])
        self.assertEqual(v.Char(s="x").parse_string(s=" x"), ["x"])
        self.assertEqual(v.one_of(strs="a b").parse_string(s="b"), ["b"])

    def test_flags_take_the_value_of_bool_and_numpy_booleans(self):
        true_type = numpy_type("bool_", __bool__=lambda self: True)
        false_type = numpy_type("bool", __bool__=lambda self: False)
        for flag, value in ((True, True), (False, False), (true_type(), True), (false_type(), False)):
            with self.subTest(flag=flag):
                q = v.QuotedString(multiline=flag, unquote=flag)
                # multiline lets a line feed stand inside; unquote drops the quotes.
                self.assertEqual(q.matches('"a\nb"'), value)
                self.assertEqual(q.parse_string('"ab"'), ["ab"] if value else ['"ab"'])

    def test_count_takes_the_value_of_int_bool_and_index(self):
        class Index:
            def __index__(self):
                return 3

        a = v.Literal("a")
        for count, text, tokens in ((0, "a", []), (True, "a a", ["a"]), (Index(), "a a a a", ["a", "a", "a"])):
            with self.subTest(count=count):
                self.assertEqual(v.Exactly(a, count).parse_string(text), tokens)
        # The largest count is a count: it asks for that many repetitions.
        self.assertFalse(v.Exactly(a, 2 ** 64 - 1).matches("a a"))


class BorrowTest(ModuleTestCase):
    def test_errors_leave_nothing_behind(self):
        lit = v.CaselessLiteral("a")
        calls = [lambda: lit.parse_string(5), lambda: lit.parse_string(), lambda: lit.parse_string("b"),
                 lambda: lit.transform_string("a", None), lambda: lit.parse_string(LONE_SURROGATE)]
        for call in calls:
            with self.subTest(call=call):
                with self.assertRaises(Exception):
                    call()
                # The object stays usable: its borrow was given back.
                self.assertEqual(lit.parse_string("a"), ["a"])


if __name__ == "__main__":
    unittest.main()
