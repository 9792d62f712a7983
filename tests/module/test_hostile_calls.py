"""Calls that reach the classes by unusual roads end in exceptions, never in a crash;
concurrent calls on one object from several threads give correct results."""
import copy
import ctypes
import pickle
import threading
import unittest

import vantorel as v
from support import ModuleTestCase


class HostileCallsTest(ModuleTestCase):
    def test_bypassing_the_constructor_is_refused(self):
        for cls in (v.Literal, v.Keyword, v.Empty, v.And):
            with self.subTest(cls.__name__):
                with self.assertRaises(TypeError):
                    object.__new__(cls)
        with self.assertRaises(TypeError):
            v.Empty.__new__(v.Literal)

    def test_copying_and_pickling_are_refused(self):
        for element in (v.Literal("a"), v.Keyword("a"), v.CaselessLiteral("a")):
            with self.subTest(type(element).__name__):
                with self.assertRaises(TypeError):
                    copy.copy(element)
                with self.assertRaises(TypeError):
                    pickle.dumps(element)

    def test_unbound_methods_check_their_receiver(self):
        for receiver in (None, 5, "a", v.Keyword("a")):
            with self.subTest(receiver=receiver):
                with self.assertRaises(TypeError):
                    v.Literal.parse_string(receiver, "a")

    def test_text_with_nul_and_multibyte_characters(self):
        self.assertEqual(v.CaselessLiteral("a\0b").parse_string("A\0B"), ["a\0b"])
        self.assertParseFails(v.CaselessLiteral("x"), "\U0001F600", 0, "Expected 'x' (caseless)")
        self.assertParseFails(v.NoMatch(), " \u00e9", 1, "NoMatch will never match")


class CallerOwnedKeywordsTest(ModuleTestCase):
    """A C caller may hand a constructor its own keyword dictionary (_thread.start_new_thread
    does), and Python code run by a conversion may empty it during the call."""

    def test_arguments_outlive_their_removal_from_the_dictionary(self):
        call = ctypes.pythonapi.PyObject_Call
        call.restype = ctypes.py_object
        call.argtypes = [ctypes.py_object] * 3
        kwargs = {}

        class Flag:
            __module__ = "numpy"

            def __bool__(self):
                kwargs.clear()  # drops the dictionary's references to every argument
                return True

        Flag.__name__ = "bool_"
        # Large enough that its memory goes back to the system when freed: a text view
        # left pointing into it would fault.
        size = 40 << 20
        kwargs.update(quote_char="'" + "q" * size, multiline=Flag())
        element = call(v.QuotedString, (), kwargs)
        self.assertEqual(kwargs, {})
        with self.assertRaises(ValueError) as caught:
            element.parse_string("x")
        expected = "ParseException at position 0: Expected quoted string starting with ''" + "q" * size + "'"
        self.assertTrue(str(caught.exception) == expected)


class ThreadsTest(ModuleTestCase):
    def test_shared_object_under_concurrent_calls(self):
        element = v.CaselessLiteral("ab")
        errors = []

        def work():
            for i in range(2000):
                if element.parse_string(" AB") != ["ab"]:
                    errors.append("wrong result")
                try:
                    element.parse_string("x")
                    errors.append("no failure")
                except ValueError:
                    pass

        threads = [threading.Thread(target=work) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])
        self.assertEqual(element.parse_string("ab"), ["ab"])


if __name__ == "__main__":
    unittest.main()
