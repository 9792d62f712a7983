"""Exhausted memory inside a call raises MemoryError through the call and leaves the process
and the objects involved as they were: every allocation a call makes through the
interpreter is made to fail in turn (the interpreter's own fault injection, which counts
allocations and never reads a clock), and each call then either gives its usual result or
raises MemoryError."""
import unittest

import vantorel as v
from support import ModuleTestCase

try:
    import _testcapi
except ImportError:  # an interpreter built without its test modules
    _testcapi = None

L = v.Literal
WORDS = "alpha beta gamma alpha delta " * 3
ACCENTED = "é" + "".join(["ab", "cd"])  # a fresh str whose UTF-8 form is not made yet


def outcome(call):
    """The result of call(), or the type and text of what it raised."""
    try:
        return ("value", call())
    except Exception as e:  # noqa: BLE001 - every exception is compared
        return ("raised", type(e), str(e))


def calls():
    """(name, call) for roads that make Python objects, one or more per method."""
    word, rx, group = v.Word(v.alphas()), v.Regex("[a-z]+"), v.Group(L("a") + v.Word(v.alphas()))
    seq = L("alpha") + v.Word(v.alphas())
    distinct = [f"alpha{i}x" for i in range(40)]
    period = [WORDS, "beta x", "zz"] * 4
    return [
        ("Literal.parse_string", lambda: L("alpha").parse_string(WORDS)),
        ("Word.parse_string", lambda: word.parse_string(WORDS)),
        ("Regex.parse_string", lambda: rx.parse_string(WORDS)),
        ("And.parse_string", lambda: seq.parse_string(WORDS)),
        ("MatchFirst.parse_string", lambda: v.MatchFirst([L("x"), seq]).parse_string(WORDS)),
        ("Group.parse_string", lambda: group.parse_string("a bc")),
        ("parse_string failure", lambda: v.CaselessLiteral("zz").parse_string(WORDS)),
        ("parse_string of a text not yet in UTF-8", lambda: v.CaselessLiteral("é").parse_string(ACCENTED)),
        ("Literal.search_string", lambda: L("alpha").search_string(WORDS)),
        ("Keyword.search_string", lambda: v.Keyword("beta").search_string(WORDS)),
        ("Word.search_string", lambda: word.search_string(WORDS)),
        ("Regex.search_string", lambda: rx.search_string(WORDS)),
        ("Char.search_string", lambda: v.Char("ab").search_string(WORDS)),
        ("Group.search_string", lambda: group.search_string("a bc a de")),
        ("Word._search_string_flat", lambda: word._search_string_flat(WORDS)),
        ("Word._search_string_flat periodic", lambda: word._search_string_flat("ab cd " * 20 + "ef")),
        ("Empty.search_string_count", lambda: v.Empty().search_string_count("x" * 3000)),
        ("Char.transform_string", lambda: v.Char("a").transform_string(WORDS, "<A>")),
        ("Word.transform_string", lambda: word.transform_string(WORDS, "W")),
        ("Literal.transform_string", lambda: L("alpha").transform_string(WORDS, "A")),
        ("Regex.transform_string", lambda: rx.transform_string(WORDS, "R")),
        ("parse_batch generic", lambda: v.CaselessLiteral("alpha").parse_batch(distinct)),
        ("parse_batch generic period", lambda: group.parse_batch(period)),
        ("Literal.parse_batch", lambda: L("alpha").parse_batch(distinct)),
        ("Suppress.parse_batch", lambda: v.Suppress(L("alpha")).parse_batch(distinct + ["b"])),
        ("Word.parse_batch", lambda: word.parse_batch(distinct)),
        ("Regex.parse_batch", lambda: rx.parse_batch(period)),
        ("And.parse_batch uniform", lambda: seq.parse_batch([WORDS] * 5)),
        ("And.parse_batch period", lambda: seq.parse_batch(period)),
        ("And.parse_batch identity", lambda: seq.parse_batch(distinct + ["alpha beta"])),
        ("parse_batch_count", lambda: v.Empty().parse_batch_count(["a"] * 3000)),
        ("Literal()", lambda: L("a literal of its own").parse_string("a literal of its own")),
        ("Keyword()", lambda: v.Keyword("kw_of_its_own").parse_string("kw_of_its_own")),
        ("MatchFirst()", lambda: v.MatchFirst([L("a"), L("b")]).parse_string("b")),
        ("one_of", lambda: v.one_of("ab cd ef").parse_string("ef")),
        ("a + b | c", lambda: (L("a") + L("b") | L("c")).parse_string("c")),
    ]


def outcome_under_fault(call, first_failing):
    """outcome(call) with every allocation from the first_failing-th on made to fail. The
    code that runs while the allocations fail makes none of its own."""
    result = error = None
    _testcapi.set_nomemory(first_failing)
    try:
        result = call()
    except Exception as e:  # noqa: BLE001 - compared below, outside the fault
        error = e
    finally:
        _testcapi.remove_mem_hooks()
    if error is not None:
        return ("raised", type(error), str(error))
    return ("value", result)


@unittest.skipIf(_testcapi is None, "needs the interpreter's _testcapi")
class MemoryErrorTest(ModuleTestCase):
    def test_a_call_whose_allocations_fail_raises_memory_error(self):
        # From allocation k on, every allocation fails: the first failure is the call's k-th
        # allocation, and every later one (error paths included) fails too. Once k passes
        # the call's last allocation it gives its usual result.
        for name, call in calls():
            with self.subTest(call=name):
                expected = outcome(call)
                memory_errors = 0
                for k in range(1000):
                    got = outcome_under_fault(call, k)
                    if got == expected:
                        break
                    self.assertEqual(got[:2], ("raised", MemoryError), f"from allocation {k} on: {got}")
                    memory_errors += 1
                else:
                    self.fail("more than 1000 allocations")
                self.assertGreater(memory_errors, 0, "the call allocated nothing")
                self.assertEqual(outcome(call), expected, "the call after the failures")


if __name__ == "__main__":
    unittest.main()
