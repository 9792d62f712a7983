"""Many threads at once: shared grammars of every class under all methods, a Forward
re-targeted while others parse through it, grammars built and dropped around shared
sub-elements, batch calls on lists that another thread changes, a constructor's keyword
dictionary that another thread changes, and one element used as receiver and as argument
at once. Every result is compared with the one the same call gives on a single thread.
The work is bounded by iteration counts; threads start together at a barrier. On a
free-threaded interpreter the calls really run in parallel and the rounds are more; on
the standard build the same scenarios run with fewer rounds."""
import ctypes
import random
import sys
import threading
import traceback
import unittest

import vantorel as v
from support import ModuleTestCase, fresh
from test_batch import TEXTS as BATCH_TEXTS
from test_batch import elements as batch_elements

FREE_THREADED = not getattr(sys, "_is_gil_enabled", lambda: True)()
ROUNDS = 12 if FREE_THREADED else 2  # multiplies every loop below
THREADS = 8


def outcome(fn, *args):
    """What a call gives: ('ok', result) or ('error', exception type name, text)."""
    try:
        return ("ok", fn(*args))
    except Exception as e:  # noqa: BLE001 - the exception is the outcome being compared
        return ("error", type(e).__name__, str(e))


def run_together(workers):
    """Runs each callable on a thread of its own, all released at once by a barrier;
    returns the tracebacks of those that raised."""
    barrier = threading.Barrier(len(workers))
    errors = []

    def run(work):
        barrier.wait()
        try:
            work()
        except BaseException:  # noqa: BLE001 - reported to the test
            errors.append(traceback.format_exc())

    threads = [threading.Thread(target=run, args=(w,)) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return errors


def every_class():
    """One element of each of the 26 classes, a recursive Forward among them, by class name."""
    expr = v.Forward()
    number = v.Regex(r"\d+(?:\.\d+)?")
    name = v.Word(v.alphas(), v.alphanums())
    atom = v.MatchFirst([number, name, v.Group(v.Suppress(v.Literal("(")) + expr + v.Suppress(v.Literal(")")))])
    expr <<= atom + v.ZeroOrMore(v.one_of("+ - * /") + atom)
    return {
        "Literal": v.Literal("ab"), "CaselessLiteral": v.CaselessLiteral("ab"), "Keyword": v.Keyword("if"),
        "CaselessKeyword": v.CaselessKeyword("if"), "Word": name, "Char": v.Char("abc"), "Regex": number,
        "QuotedString": v.QuotedString("'", esc_char="\\"), "Empty": v.Empty(), "NoMatch": v.NoMatch(),
        "LineStart": v.LineStart(), "LineEnd": v.LineEnd(), "StringStart": v.StringStart(),
        "StringEnd": v.StringEnd(), "rest_of_line": v.rest_of_line(), "And": name + number, "MatchFirst": atom,
        "Optional": v.Optional(name), "ZeroOrMore": v.ZeroOrMore(name), "OneOrMore": v.OneOrMore(number),
        "Exactly": v.Exactly(name, 2), "Group": v.Group(name + number), "Suppress": v.Suppress(v.Literal("(")),
        "Combine": v.Combine(name + number), "SkipTo": v.SkipTo(v.Literal(";")), "Forward": expr,
    }


TEXTS = ["ab if x1 2.5", "(1 + (2 - x)) * 3;", "  'q\\'s' ab\nif(ab) ;", "", "IF ab12 34", "abc abc abc abc "]


def call_table(elements):
    """Every method of every element over the texts and over lists of every identity
    pattern, as (label, function, arguments)."""
    strs = [fresh(t) if len(t) > 1 else t for t in TEXTS]
    lists = {"distinct": list(strs), "uniform": [strs[1]] * 40, "period": strs[:3] * 20}
    calls = []
    for cls, e in elements.items():
        for t in strs:
            calls += [((cls, "parse_string", t), e.parse_string, (t,)), ((cls, "matches", t), e.matches, (t,)),
                      ((cls, "search_string", t), e.search_string, (t,)),
                      ((cls, "search_string_count", t), e.search_string_count, (t,)),
                      ((cls, "transform_string", t), e.transform_string, (t, "#"))]
            if cls == "Word":
                calls.append(((cls, "_search_string_flat", t), e._search_string_flat, (t,)))
        for shape, items in lists.items():
            calls += [((cls, "parse_batch", shape), e.parse_batch, (items,)),
                      ((cls, "parse_batch_count", shape), e.parse_batch_count, (items,))]
    return calls


class SharedGrammarsTest(ModuleTestCase):
    def test_every_class_and_method_from_many_threads(self):
        elements = every_class()
        self.assertEqual({type(e).__name__ for e in elements.values()}, set(elements))
        calls = call_table(elements)
        expected = [outcome(fn, *args) for _, fn, args in calls]

        def work(offset):
            def run():
                for r in range(ROUNDS):
                    for i in range(len(calls)):
                        j = (i + offset * len(calls) // THREADS + r) % len(calls)  # each its own start
                        label, fn, args = calls[j]
                        got = outcome(fn, *args)
                        if got != expected[j]:
                            raise AssertionError(f"{label}: {got!r} != {expected[j]!r}")
            return run

        self.assertEqual(run_together([work(t) for t in range(THREADS)]), [])


class RetargetedForwardTest(ModuleTestCase):
    def test_each_result_is_that_of_one_target(self):
        """Each evaluation of the Forward (one match, its recursion included) sees one
        target whole: the second target reaches the Forward again, under the read hold of
        the outer entry, and a mixture would give tokens neither target gives. Calls made
        of one evaluation (parse_string, matches, a batch of one object) equal one target's
        result; a batch over distinct inputs evaluates each input on its own, so each entry
        is one target's. Both targets match exactly the same spans of the scanned text
        (no whitespace before a match, where only the sequence would skip it), so its
        search, count and replacement equal one target's result too, whichever targets
        the scan's evaluations saw."""
        f = v.Forward()
        flat = v.Regex(r"a+(?:1b)+")
        nested = v.Group(v.Literal("a") + v.Optional(f) + v.Literal("1b"))
        around = v.Suppress(v.Literal("<")) + f + v.Suppress(v.Literal(">"))
        texts = ["aa1b1b", "a1b", "zz_aaa1b1b1b_zz", "x"]
        batch = [fresh(t) for t in texts]
        calls = []
        for e in (f, around):
            calls += [(e.parse_string, ("<aa1b1b>" if e is around else "aa1b1b",)), (e.matches, ("a1b",)),
                      (e.parse_batch, ([batch[0]] * 9,)), (e.parse_batch_count, (batch,))]
        calls += [(f.search_string, (texts[2],)), (f.search_string_count, (texts[2],)),
                  (f.transform_string, (texts[2], "#"))]
        per_target = []
        for target in (flat, nested):
            f <<= target
            per_target.append([outcome(fn, *args) for fn, args in calls])
        self.assertNotEqual(per_target[0][0], per_target[1][0])
        # A batch over distinct inputs evaluates each input on its own: each entry is one
        # of the targets' entries for that input.
        entries = []
        for target in (flat, nested):
            f <<= target
            entries.append(f.parse_batch(batch))

        def retarget():
            nonlocal f  # f <<= x binds f again (to the same object)
            for i in range(200 * ROUNDS):
                if i % 2:
                    f <<= nested
                else:
                    f.set(flat)

        def parse():
            for _ in range(30 * ROUNDS):
                for j, (fn, args) in enumerate(calls):
                    got = outcome(fn, *args)
                    if got not in (per_target[0][j], per_target[1][j]):
                        raise AssertionError(f"{fn.__qualname__}{args!r}: {got!r}")
                result = f.parse_batch(batch)
                for i, entry in enumerate(result):
                    if entry not in (entries[0][i], entries[1][i]):
                        raise AssertionError(f"parse_batch entry {i}: {entry!r}")

        self.assertEqual(run_together([retarget] + [parse] * (THREADS - 1)), [])


class RetargetedBetweenScanAndParseTest(ModuleTestCase):
    def test_a_search_entry_is_one_target_match_never_an_empty_list(self):
        """search_string scans first and parses each span afterwards; a Forward re-targeted
        in between can leave spans that the new target does not match at all. Each entry is
        judged on its own: it is a match of one target, and such a span gives no entry
        (never an empty list standing for no match). Each round re-targets once, while the
        searches of that round run, so a search sees at most one change."""
        f = v.Forward()
        targets = [v.Literal("a") + v.Literal("b"), v.Literal("c") + v.Literal("d")]
        text = "ab cd " * 5000
        allowed = [["a", "b"], ["c", "d"]]
        rounds = 20 * ROUNDS
        round_start = threading.Barrier(THREADS)
        wrong = []

        def retarget():
            for i in range(rounds):
                round_start.wait()
                f.set(targets[(i + 1) % 2])

        def search():
            for _ in range(rounds):
                round_start.wait()
                wrong.extend(entry for entry in f.search_string(text) if entry not in allowed)

        f <<= targets[0]
        self.assertEqual(run_together([retarget] + [search] * (THREADS - 1)), [])
        self.assertEqual(wrong, [])


class BuildAndDropTest(ModuleTestCase):
    def test_grammars_that_share_elements_with_grammars_in_use(self):
        expr = v.Forward()
        number, name = v.Regex(r"\d+"), v.Word(v.alphas())
        lparen, rparen = v.Suppress(v.Literal("(")), v.Suppress(v.Literal(")"))
        expr <<= (number | name | v.Group(lparen + expr + rparen)) + v.ZeroOrMore(v.one_of("+ -") + expr)
        text = "(1 + (a - 2)) + b"

        variants = [
            lambda: expr + v.Optional(v.Literal(";")),
            lambda: v.MatchFirst([number, name, expr]),
            lambda: v.Group(expr) | name,
            lambda: v.Combine(lparen + number) + v.SkipTo(name) + expr,
            lambda: v.Exactly(v.OneOrMore(number | name | lparen | rparen | v.one_of("+ -")), 1),
            lambda: forward_to(expr + v.ZeroOrMore(number)),
        ]
        expected = [outcome(make().parse_string, text) for make in variants]
        in_use = expr + v.StringEnd()
        in_use_result = outcome(in_use.parse_string, text)
        self.assertEqual(in_use_result[0], "ok")

        def build(offset):
            def run():
                for i in range(40 * ROUNDS):
                    k = (i + offset) % len(variants)
                    g = variants[k]()
                    got = outcome(g.parse_string, text)
                    del g
                    if got != expected[k]:
                        raise AssertionError(f"variant {k}: {got!r} != {expected[k]!r}")
            return run

        def use():
            for _ in range(60 * ROUNDS):
                got = outcome(in_use.parse_string, text)
                if got != in_use_result:
                    raise AssertionError(f"{got!r} != {in_use_result!r}")

        self.assertEqual(run_together([build(t) for t in range(THREADS // 2)] + [use] * (THREADS // 2)), [])


def forward_to(target):
    f = v.Forward()
    f.set(target)
    return f


class ListsChangedDuringBatchCallsTest(ModuleTestCase):
    def test_each_result_is_that_of_one_state_of_the_list(self):
        """One thread changes a list (item replacement, slice assignment, append, pop, whole
        uniform and periodic contents) and records every state it leaves the list in, as
        copies of the texts with the pattern of identities among the items (which decides
        the shape of And's result): the list's items themselves are freed as they go. The
        other threads run the batch methods of every class over the list; each result must
        equal what a single thread gets for one of the states the list passed through
        during the call."""
        elements = batch_elements()
        methods = [m for e in elements for m in (e.parse_batch, e.parse_batch_count)]
        rng = random.Random(9)
        shared = [fresh(t) if len(t) > 1 else t for t in BATCH_TEXTS] * 3
        states = []
        records = []

        def record():
            """The list's state: for each item a copy of its text and the index of the first
            item that is the same object."""
            first = {}
            states.append(tuple((s.encode(), first.setdefault(id(s), i)) for i, s in enumerate(shared)))

        def rebuild(state):
            """A list in that state, of new objects."""
            items = []
            for i, (text, same_as) in enumerate(state):
                t = text.decode()
                items.append(items[same_as] if same_as != i else fresh(t) if len(t) > 1 else t)
            return items

        record()

        def item():
            t = rng.choice(BATCH_TEXTS)
            return fresh(t) if len(t) > 1 else t

        def mutate():
            for i in range(150 * ROUNDS):
                op = i % 6
                if op == 0:
                    shared[rng.randrange(len(shared))] = item()
                elif op == 1:
                    a = rng.randrange(len(shared))
                    shared[a:a + rng.randint(0, 4)] = [item() for _ in range(rng.randint(0, 4))]
                elif op == 2:
                    shared.append(item())
                elif op == 3 and len(shared) > 1:
                    shared.pop(rng.randrange(len(shared)))
                elif op == 4:
                    shared[:] = [item()] * rng.randint(1, 60)
                else:
                    shared[:] = [item() for _ in range(rng.randint(1, 5))] * rng.randint(2, 20)
                if not shared:
                    shared.append(item())
                record()

        def run(offset):
            def work():
                for i in range(40 * ROUNDS):
                    k = (i * 7 + offset) % len(methods)
                    before = len(states) - 1  # the list is in this state or a later one
                    got = outcome(methods[k], shared)
                    records.append((k, before, len(states), got))
            return work

        self.assertEqual(run_together([mutate] + [run(t) for t in range(THREADS - 1)]), [])
        expected = {}

        def result_for(k, s):
            if (k, s) not in expected:
                expected[(k, s)] = outcome(methods[k], rebuild(states[s]))
            return expected[(k, s)]

        for k, lo, hi, got in records:
            self.assertEqual(got[0], "ok", got)
            candidates = range(lo, min(hi, len(states) - 1) + 1)
            if not any(got == result_for(k, s) for s in candidates):
                self.fail(f"{methods[k].__qualname__}: {got!r} is the result of no state from {lo} to {hi}")


class ReceiverAndArgumentTest(ModuleTestCase):
    def test_one_element_as_receiver_and_as_argument_at_once(self):
        w = v.Word(v.alphas())
        lit = v.Literal("ab")
        f = forward_to(w)
        inputs = [fresh("abc"), fresh("ab1"), fresh("12")]

        def receive():
            for _ in range(100 * ROUNDS):
                checks = [(w.parse_string("abc"), ["abc"]), (lit.parse_batch(inputs), [["ab"], ["ab"], []]),
                          (w.parse_batch(inputs), ["abc", "ab"]), (f.parse_string("xyz"), ["xyz"]),
                          (lit.search_string_count("ab ab"), 2)]
                for got, want in checks:
                    if got != want:
                        raise AssertionError(f"{got!r} != {want!r}")

        def pass_as_argument():
            nonlocal f  # f <<= x binds f again (to the same object)
            for _ in range(100 * ROUNDS):
                checks = [((w + w).parse_string("ab cd"), ["ab", "cd"]),
                          (v.MatchFirst([lit, w, f]).parse_string("abz"), ["ab"]),
                          ((v.Group(w) | lit).parse_batch_count(inputs), 2),
                          (v.Optional(lit + w).parse_string("ab cd"), ["ab", "cd"])]
                f.set(w)  # the same target again: f keeps matching as w does
                f <<= w
                for got, want in checks:
                    if got != want:
                        raise AssertionError(f"{got!r} != {want!r}")

        self.assertEqual(run_together([receive, pass_as_argument] * (THREADS // 2)), [])


class CallerOwnedKeywordsTest(ModuleTestCase):
    def test_a_keyword_dictionary_another_thread_changes(self):
        """A C caller may hand a constructor its own keyword dictionary; here another thread
        replaces its value (freeing the one before) and adds and removes a second key. The
        element built is the one of a state the dictionary was in."""
        call = ctypes.pythonapi.PyObject_Call
        call.restype = ctypes.py_object
        call.argtypes = [ctypes.py_object] * 3
        quotes = ["##", "%%"]
        kwargs = {"quote_char": fresh(quotes[0])}
        texts = ["##x##", "%%y%%"]
        results = {q: [outcome(v.QuotedString(q).parse_string, t) for t in texts] for q in quotes}

        def change():
            for i in range(300 * ROUNDS):
                kwargs["quote_char"] = fresh(quotes[i % 2])
                if i % 3 == 0:
                    kwargs["esc_char"] = None
                else:
                    kwargs.pop("esc_char", None)

        def construct():
            for _ in range(100 * ROUNDS):
                e = call(v.QuotedString, (), kwargs)
                got = [outcome(e.parse_string, t) for t in texts]
                if got not in results.values():
                    raise AssertionError(repr(got))

        self.assertEqual(run_together([change] + [construct] * (THREADS - 1)), [])


if __name__ == "__main__":
    unittest.main()
