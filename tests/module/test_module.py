"""Start-up: the module's names, __all__, __version__ and a second import."""
import importlib
import importlib.util
import os
import subprocess
import sys
import unittest

import vantorel
from support import FREE_THREADED, ModuleTestCase

CLASS_NAMES = [
    "Literal", "Keyword", "Word", "Regex", "And", "MatchFirst", "ZeroOrMore", "OneOrMore",
    "Optional", "Group", "Suppress", "Forward", "Combine", "Exactly", "CaselessLiteral",
    "CaselessKeyword", "Char", "StringStart", "StringEnd", "LineStart", "LineEnd",
    "rest_of_line", "QuotedString", "Empty", "NoMatch", "SkipTo",
]
FUNCTION_NAMES = ["alphas", "alphanums", "nums", "printables", "hexnums", "alphas_upper",
                  "alphas_lower", "one_of"]
ALL = CLASS_NAMES + FUNCTION_NAMES + ["__version__"]


class ModuleStartUpTest(ModuleTestCase):
    def test_all_lists_the_35_names_in_order(self):
        self.assertEqual(vantorel.__all__, ALL)
        self.assertIs(type(vantorel.__all__), list)
        for name in ALL:
            self.assertTrue(hasattr(vantorel, name), name)

    def test_module_has_no_other_public_attributes(self):
        own = {n for n in vars(vantorel) if n not in
               {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__",
                "__all__", "__cached__"}}
        self.assertEqual(own, set(ALL))

    def test_version_and_docstring(self):
        self.assertEqual(vantorel.__version__, "0.2.0")
        self.assertEqual(vantorel.__doc__, "vantorel module")

    def test_functions_belong_to_the_module(self):
        for name in FUNCTION_NAMES:
            with self.subTest(name):
                f = getattr(vantorel, name)
                self.assertIs(f.__self__, vantorel)
                self.assertEqual(f.__module__, "vantorel")

    def test_reimport_shares_classes_but_not_functions(self):
        first = sys.modules.pop("vantorel")
        try:
            second = importlib.import_module("vantorel")
            self.assertIsNot(second, first)
            for name in CLASS_NAMES:
                self.assertIs(getattr(second, name), getattr(first, name), name)
            for name in FUNCTION_NAMES:
                self.assertIsNot(getattr(second, name), getattr(first, name), name)
            self.assertIsNot(second.__all__, first.__all__)
            self.assertEqual(second.__all__, ALL)
            self.assertEqual(second.Literal("a").parse_string("a"), ["a"])
        finally:
            sys.modules["vantorel"] = first

    def test_exec_appends_to_the_all_it_finds(self):
        # A module made from its import spec has not run its execution slot yet; whatever
        # __all__ it is given first is used, and one that is not a list fails the import.
        cases = [(["x"], None, ["x"] + ALL), (ListSub(), None, ALL),
                 (("x",), "'tuple' object is not an instance of 'list'", None),
                 (None, "'None' is not an instance of 'list'", None)]
        for preset, error, expected in cases:
            with self.subTest(preset=preset):
                module = importlib.util.module_from_spec(vantorel.__spec__)
                module.__all__ = preset
                if error is None:
                    vantorel.__spec__.loader.exec_module(module)
                    self.assertIs(module.__all__, preset)
                    self.assertEqual(module.__all__, expected)
                    self.assertIs(module.Literal, vantorel.Literal)
                else:
                    self.assertRaisesText(TypeError, error, vantorel.__spec__.loader.exec_module, module)


class ListSub(list):
    pass


if __name__ == "__main__":
    unittest.main()


@unittest.skipUnless(FREE_THREADED, "only a free-threaded interpreter can run without its lock")
class FreeThreadedImportTest(ModuleTestCase):
    def test_import_leaves_the_interpreter_lock_off(self):
        """The module declares that it does not need the interpreter lock, so importing it into
        a fresh free-threaded interpreter leaves the lock off, without a warning."""
        env = {k: val for k, val in os.environ.items() if k != "PYTHON_GIL"}
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.dirname(vantorel.__file__), env.get("PYTHONPATH")]))
        script = "import sys; import vantorel; print(sys._is_gil_enabled())"
        child = subprocess.run([sys.executable, "-W", "error", "-c", script], env=env,
                               capture_output=True, text=True, timeout=120)
        self.assertEqual((child.returncode, child.stdout, child.stderr), (0, "False\n", ""))
