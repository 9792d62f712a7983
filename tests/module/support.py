"""Helpers shared by the module tests."""
import sys
import sysconfig
import unittest

import vantorel

# True on an interpreter built without the global interpreter lock (--disable-gil).
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))


class ModuleTestCase(unittest.TestCase):
    def assertRaisesText(self, exc_type, text, fn, *args, **kwargs):
        """fn(*args, **kwargs) raises exactly exc_type with exactly this text."""
        with self.assertRaises(exc_type) as caught:
            fn(*args, **kwargs)
        self.assertIs(type(caught.exception), exc_type)
        self.assertEqual(str(caught.exception), text)
        return caught.exception

    def run_error_table(self, cases):
        """Each (call, exception type, text) raises exactly that."""
        for i, (call, exc_type, text) in enumerate(cases):
            with self.subTest(i=i, text=text):
                self.assertRaisesText(exc_type, text, call)

    def assertParseFails(self, element, text, pos, message):
        """The generic road fails at byte `pos` with the element's `message`."""
        self.assertRaisesText(ValueError, f"ParseException at position {pos}: {message}",
                              element.parse_string, text)

    def assertPlainTokens(self, result):
        """A result holds only plain lists and strs, all the way down."""
        self.assertIs(type(result), list)
        for item in result:
            if type(item) is list:
                self.assertPlainTokens(item)
            else:
                self.assertIs(type(item), str)

    def assertRefcountsStable(self, objects, call, rounds=10000):
        """Running call() `rounds` times leaves the reference count of every object as it was."""
        call()  # warm caches the interpreter keeps on first use
        before = [sys.getrefcount(o) for o in objects]
        for _ in range(rounds):
            call()
        after = [sys.getrefcount(o) for o in objects]
        self.assertEqual(before, after)


def fresh(s):
    """A new str object equal to s (s of two or more characters: shorter strs may be
    shared singletons of the interpreter)."""
    t = "".join([s[:1], s[1:]]) if len(s) > 1 else s
    assert len(s) < 2 or t is not s
    return t
