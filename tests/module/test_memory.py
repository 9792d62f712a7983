"""Exhausted memory inside a call raises MemoryError through the call and leaves the process
and the objects involved as they were: every allocation a call makes through the
interpreter is made to fail in turn (the interpreter's own fault injection, which counts
allocations and never reads a clock), and each call then either gives its usual result or
raises MemoryError."""
import sys
import unittest

import vantorel as v
from support import FREE_THREADED, ModuleTestCase

try:
    import _testcapi
except ImportError:  # an interpreter built without its test modules
    _testcapi = None

L = v.Literal
WORDS = "alpha beta gamma alpha delta " * 3


def calls():
    """(name, function, arguments, view): roads that make Python objects, one or more per
    method. Only function(*arguments) runs while allocations fail: the arguments are made
    before, and view(result) turns the result into something to compare after."""
    word, rx, group = v.Word(v.alphas()), v.Regex("[a-z]+"), v.Group(L("a") + v.Word(v.alphas()))
    seq = L("alpha") + v.Word(v.alphas())
    distinct = [f"alpha{i}x" for i in range(40)]
    period = [WORDS, "beta x", "zz"] * 4
    accented = "é" + "".join(["ab", "cd"])  # a fresh str whose UTF-8 form is not made yet
    same = lambda result: result  # noqa: E731
    parsed = lambda text: lambda element: element.parse_string(text)  # noqa: E731
    return [
        ("Literal.parse_string", L("alpha").parse_string, (WORDS,), same),
        ("Word.parse_string", word.parse_string, (WORDS,), same),
        ("Regex.parse_string", rx.parse_string, (WORDS,), same),
        ("And.parse_string", seq.parse_string, (WORDS,), same),
        ("MatchFirst.parse_string", v.MatchFirst([L("x"), seq]).parse_string, (WORDS,), same),
        ("Group.parse_string", group.parse_string, ("a bc",), same),
        ("parse_string failure", v.CaselessLiteral("zz").parse_string, (WORDS,), same),
        ("parse_string of a text not yet in UTF-8", v.CaselessLiteral("é").parse_string, (accented,), same),
        ("Literal.search_string", L("alpha").search_string, (WORDS,), same),
        ("Keyword.search_string", v.Keyword("beta").search_string, (WORDS,), same),
        ("Word.search_string", word.search_string, (WORDS,), same),
        ("Regex.search_string", rx.search_string, (WORDS,), same),
        ("Char.search_string", v.Char("ab").search_string, (WORDS,), same),
        ("Group.search_string", group.search_string, ("a bc a de",), same),
        ("Word._search_string_flat", word._search_string_flat, (WORDS,), same),
        ("Word._search_string_flat periodic", word._search_string_flat, ("ab cd " * 20 + "ef",), same),
        ("Empty.search_string_count", v.Empty().search_string_count, ("x" * 3000,), same),
        ("Char.transform_string", v.Char("a").transform_string, (WORDS, "<A>"), same),
        ("Word.transform_string", word.transform_string, (WORDS, "W"), same),
        ("Literal.transform_string", L("alpha").transform_string, (WORDS, "A"), same),
        ("Regex.transform_string", rx.transform_string, (WORDS, "R"), same),
        ("parse_batch generic", v.CaselessLiteral("alpha").parse_batch, (distinct,), same),
        ("parse_batch generic period", group.parse_batch, (period,), same),
        ("Literal.parse_batch", L("alpha").parse_batch, (distinct,), same),
        ("Suppress.parse_batch", v.Suppress(L("alpha")).parse_batch, (distinct + ["b"],), same),
        ("Word.parse_batch", word.parse_batch, (distinct,), same),
        ("Regex.parse_batch", rx.parse_batch, (period,), same),
        ("And.parse_batch uniform", seq.parse_batch, ([WORDS] * 5,), same),
        ("And.parse_batch period", seq.parse_batch, (period,), same),
        ("And.parse_batch identity", seq.parse_batch, (distinct + ["alpha beta"],), same),
        ("parse_batch_count", v.Empty().parse_batch_count, (["a"] * 3000,), same),
        ("Literal()", L, ("a literal of its own",), parsed("a literal of its own")),
        ("Keyword()", v.Keyword, ("kw_of_its_own",), parsed("kw_of_its_own")),
        ("MatchFirst()", v.MatchFirst, ([L("a"), L("b")],), parsed("b")),
        ("one_of", v.one_of, ("ab cd ef",), parsed("ef")),
        ("a + b", L("a").__add__, (L("b"),), parsed("a b")),
        ("a | b", L("a").__or__, (L("b"),), parsed("b")),
    ]


def outcome(function, arguments, view, first_failing=None):
    """view(function(*arguments)), or the type and text of what the call raised; with
    first_failing, every allocation from the first_failing-th on fails during the call. The
    code that runs while allocations fail makes none of its own (a tuple of arguments is
    passed on as it is)."""
    result = error = None
    if first_failing is not None:
        _testcapi.set_nomemory(first_failing)
    try:
        result = function(*arguments)
    except Exception as e:  # noqa: BLE001 - compared below, outside the fault
        error = e
    finally:
        if first_failing is not None:
            _testcapi.remove_mem_hooks()
    if error is not None:
        return ("raised", type(error), str(error))
    return ("value", view(result))


@unittest.skipIf(_testcapi is None, "needs the interpreter's _testcapi")
# The free-threaded interpreter's own PyList_New (3.13.5) releases the stale items of a
# reused block when it cannot allocate a new list's item array: it cannot take this test.
@unittest.skipIf(FREE_THREADED, "PyList_New of the free-threaded 3.13 build fails unsafely without memory")
class MemoryErrorTest(ModuleTestCase):
    def test_a_call_whose_allocations_fail_raises_memory_error(self):
        # From allocation k on, every allocation fails: the first failure is the call's k-th
        # allocation, and every later one (error paths included) fails too. Once k passes
        # the call's last allocation it gives its usual result.
        for name, function, arguments, view in calls():
            with self.subTest(call=name):
                expected = outcome(function, arguments, view)
                held = [sys.getrefcount(a) for a in arguments]
                memory_errors = 0
                for k in range(1000):
                    got = outcome(function, arguments, view, k)
                    if got == expected:
                        break
                    self.assertEqual(got[:2], ("raised", MemoryError), f"from allocation {k} on: {got}")
                    memory_errors += 1
                else:
                    self.fail("more than 1000 allocations")
                self.assertGreater(memory_errors, 0, "the call allocated nothing")
                self.assertEqual(outcome(function, arguments, view), expected, "the call after the failures")
                self.assertEqual([sys.getrefcount(a) for a in arguments], held, "the arguments' references")


if __name__ == "__main__":
    unittest.main()
