"""parse_batch and parse_batch_count of every class: every shortcut (uniform list, input
period, last-object reuse, identity caches) against one evaluation per input, the shapes
and sharing of results, matching at byte 0, the whole-character rule, items without a
text, lists changed between calls and reference counts over loops. Lists that other
threads change during a call: test_threads."""
import os
import random
import subprocess
import sys
import textwrap
import unittest

import vantorel as v
from support import ModuleTestCase, fresh


def forward_of(expr):
    f = v.Forward()
    f <<= expr
    return f


def elements():
    """One element (or more) of every class, chosen so that the pool below holds inputs
    that match and inputs that fail."""
    a, b = v.Literal("a"), v.Literal("b")
    return [
        v.Literal("ab"), v.Literal(""), v.CaselessLiteral("ab"), v.Keyword("if"), v.Keyword(""),
        v.CaselessKeyword("IF"), v.Word(v.alphas()), v.Word("a", "b"), v.Char("abx"), v.Regex("a[a-z]*"),
        v.Regex(r"\s*"), v.QuotedString(), v.Empty(), v.NoMatch(), v.LineStart(), v.LineEnd(),
        v.StringStart(), v.StringEnd(), v.rest_of_line(), a + b, a + v.Optional(v.Literal("x")) + v.Word("bc"),
        v.Literal("x") + v.Empty(), v.MatchFirst([v.Literal("x"), v.Word(v.nums())]), v.Optional(a),
        v.ZeroOrMore(v.Char("ab")), v.OneOrMore(v.Char("ab")), v.Exactly(v.Char("ab"), 2),
        v.Group(a + b), v.Suppress(a), v.Combine(a + b), v.SkipTo(b), forward_of(v.Word(v.alphas()) | v.Literal(" ")),
        v.Forward(),
    ]


TEXTS = ["ab", "abc", "a b", " ab", "x", "AB", "if", "if x", "ifx", '"q" r', "\nz", "12", "aé", "bab", "xx", "  "]


def pool():
    """Distinct str objects, plus the shared singletons '' and 'a'."""
    return [fresh(t) for t in TEXTS] + ["", "a"]


def shapes(p):
    """Input lists of every identity pattern, by name."""
    a, b, c, d = p[0], p[3], p[4], p[11]
    forty = [fresh(t + str(i)) for i in range(40) for t in ("ab",)]
    first_repeat_at_128 = [a] + [fresh("ab%d" % i) for i in range(127)] + [a, b]
    return {
        "empty": [],
        "one": [a],
        "uniform": [b] * 7,
        "uniform failing": [c] * 3,
        "period 2": [a, b] * 4,
        "period 3": [a, b, b] * 2,
        "period 127": [p[i % len(p)] if i else a for i in range(127)] * 2,
        "not a multiple": [a, b, a, b, a],
        "broken period": [a, b, a, b, c, d, a, b],
        "runs": [a, a, b, b, b, a, c, c],
        "distinct equal": [a, fresh(a), fresh(a)],
        "all of the pool": list(p),
        "forty twice in a row": [o for o in forty for _ in range(2)],
        "forty, then again": forty + forty[::-1] + forty,
        "first repeat at 128": first_repeat_at_128,
    }


def name(e):
    return type(e).__name__


def plain_parse_batch(e, inputs):
    """What one evaluation per input gives, in the shape of the element's parse_batch."""
    singles = [e.parse_batch([x]) for x in inputs]
    if name(e) in ("Word", "Regex"):
        return [t for r in singles for t in r]
    if name(e) == "And":
        if inputs and all(x is inputs[0] for x in inputs):
            return singles[0] * len(inputs)
        return [t for r in singles for t in (r[0] if r else [])]
    return [r[0] for r in singles]


class ShortcutsAgainstThePlainRoadTest(ModuleTestCase):
    def test_parse_batch_equals_one_evaluation_per_input(self):
        p = pool()
        for e in elements():
            for shape, inputs in shapes(p).items():
                with self.subTest(element=name(e), shape=shape):
                    result = e.parse_batch(inputs)
                    self.assertEqual(result, plain_parse_batch(e, inputs))
                    self.assertPlainTokens(result)

    def test_parse_batch_count_equals_one_count_per_input(self):
        p = pool()
        for e in elements():
            for shape, inputs in shapes(p).items():
                with self.subTest(element=name(e), shape=shape):
                    self.assertEqual(e.parse_batch_count(inputs), sum(e.parse_batch_count([x]) for x in inputs))

    def test_one_input_gives_what_parse_string_gives_without_leading_whitespace(self):
        # With no leading whitespace to skip, parse_string's generic road parses at byte 0
        # as the batch does. (Optional's parse_string pre-check and the other fast paths
        # give other shapes, so they are left to the other tests.)
        generic = {"CaselessLiteral", "CaselessKeyword", "Char", "QuotedString", "Empty", "NoMatch", "LineStart",
                   "LineEnd", "StringStart", "StringEnd", "rest_of_line", "MatchFirst", "ZeroOrMore", "OneOrMore",
                   "Exactly", "Group", "Combine", "SkipTo", "Forward"}
        for e in elements():
            if name(e) not in generic:
                continue
            for text in pool() + ["\n", "ab\n"]:
                if text[:1] in (" ", "\t", "\n", "\r"):
                    continue
                with self.subTest(element=name(e), text=text):
                    try:
                        expected = e.parse_string(text)
                    except ValueError:
                        expected = []
                    self.assertEqual(e.parse_batch([text]), [expected])


def input_period(inputs):
    """The period k of a list (the first repeat of item 0 within the first 128 items, when
    the whole list repeats its first k items), or None."""
    n = len(inputs)
    k = next((j for j in range(1, min(n, 128)) if inputs[j] is inputs[0]), None)
    if k is None or n % k or n < 2 * k or any(inputs[i] is not inputs[i - k] for i in range(k, n)):
        return None
    return k


def sharing_keys(e, inputs):
    """One key per result entry, in order: two entries are one object exactly when their
    keys are equal (strs of fewer than two characters aside, which the interpreter may
    share on its own)."""
    n = len(inputs)
    uniform = n > 0 and all(x is inputs[0] for x in inputs)
    k = input_period(inputs)
    if name(e) in ("Literal", "Keyword"):
        return [("hit" if e.parse_batch([x])[0] else "miss",) for x in inputs]
    if name(e) == "Suppress":
        return [("hit",) if e.parse_batch_count([x]) else ("miss", i) for i, x in enumerate(inputs)]
    if name(e) in ("Word", "Regex"):
        keys = []
        for i, x in enumerate(inputs):
            single = e.parse_batch([x])
            if single:
                if single[0] == x and type(x) is str:
                    keys.append(("input", id(x)))
                else:  # the identity road shares by object, the period road by period item
                    keys.append(("object", id(x)) if k is None else ("period item", i % k))
        return keys
    if name(e) == "And":
        if uniform:
            return [("entry",)] * len(e.parse_batch(inputs[:1]) * n)
        return [("text", t) for x in inputs for t in (e.parse_batch([x]) or [[]])[0]]  # equal texts share
    if uniform:
        return [("entry",)] * n
    if k is not None:
        return [("period item", i % k) for i in range(n)]
    # One entry per run of adjacent items that are one object, named by the run's first index.
    runs = []
    for i in range(n):
        runs.append(runs[-1] if i and inputs[i] is inputs[i - 1] else ("run", i))
    return runs


class Text(str):
    """A str subclass: batch calls read its characters like any str's."""


def random_lists(rng, pool, many):
    """Input lists of random identity patterns: items drawn from a small pool (repeats of one
    object and equal but distinct objects), uniform lists, periods with and without a broken
    tail, runs, and more distinct objects than the identity cache holds."""
    lists = []
    for _ in range(40):
        src = many if rng.random() < 0.3 else pool
        shape = rng.randrange(6)
        if shape == 0:
            items = [rng.choice(src) for _ in range(rng.randrange(60))]
        elif shape == 1:
            items = [rng.choice(src)] * rng.randrange(1, 40)
        elif shape in (2, 3):
            # Item 0 once per period; the others from a few objects, so that they repeat.
            head, *others = rng.sample(src, rng.randrange(2, 6))
            base = [head] + [rng.choice(others) for _ in range(rng.choice([0, 1, 2, 4, 30, 31, 32, 126, 127]))]
            items = base * rng.randrange(1, 4)
            tail = rng.randrange(4)
            if tail == 1:
                items.append(rng.choice(src))
            elif tail == 2:
                items[rng.randrange(len(items))] = rng.choice(src)
            elif tail == 3:
                items += base[:rng.randrange(len(base))]
        elif shape == 4:
            items = [o for o in rng.sample(many, rng.randrange(1, len(many))) for _ in range(rng.randrange(1, 3))]
        else:
            items = many + many[::-1]
        lists.append(items)
    return lists


class RandomListsTest(ModuleTestCase):
    """Randomized (fixed seed) lists over every class: each result equals one evaluation per
    input, its entries are shared exactly as the road it takes shares them, and each count
    is the sum of the one-input counts."""

    def test_random_lists_against_one_evaluation_per_input(self):
        rng = random.Random(20240611)
        extra = [v.Keyword("ab"), v.Word("\u00c3"), v.Char("é"), v.Regex(r"[a-z]+\d*"),
                 v.Suppress(v.Word(v.alphas())), v.Word(v.alphas()) + v.Optional(v.Literal(" ")) + v.Word(v.nums())]
        texts = TEXTS + ["", "a", "b", "é", "ab1", "a\x00b", "\U0001f600ab"]
        for _ in range(2):  # a new pool each round: objects at addresses freed by the last
            pool = [t if len(t) < 2 else fresh(t) for t in texts] + [fresh(t) for t in texts if len(t) > 1][::3]
            pool += [Text(t) for t in ("ab", "abc", "if", "")]
            many = [fresh(("ab%d" if i % 3 else "zz%d") % i) for i in range(45)]
            lists = random_lists(rng, pool, many)
            for e in elements() + extra:
                for inputs in lists:
                    with self.subTest(element=name(e), n=len(inputs), head=inputs[:4]):
                        result = e.parse_batch(inputs)
                        self.assertEqual(result, plain_parse_batch(e, inputs))
                        self.assertPlainTokens(result)
                        self.assertEqual(e.parse_batch_count(inputs), sum(e.parse_batch_count([x]) for x in inputs))
                        keys = sharing_keys(e, inputs)
                        self.assertEqual(len(keys), len(result))
                        first = {}
                        for key, entry in zip(keys, result):
                            first.setdefault(key, entry)
                            self.assertIs(entry, first[key])
                            if key[0] == "input":  # a whole-input match gives the input itself
                                self.assertEqual(id(entry), key[1])
                        distinct = [o for o in first.values() if not (type(o) is str and len(o) < 2)]
                        self.assertEqual(len({id(o) for o in distinct}), len(distinct))


class GenericParseBatchTest(ModuleTestCase):
    def test_entries_and_their_sharing(self):
        e = v.CaselessLiteral("ab")
        a, b, x, y = fresh("ab"), fresh("xy"), fresh("AB"), fresh("zz")
        self.assertEqual(e.parse_batch([]), [])
        self.assertIsNot(e.parse_batch([]), e.parse_batch([]))

        r = e.parse_batch([a, a, a])
        self.assertEqual(r, [["ab"]] * 3)
        r[0].append("!")
        self.assertEqual(r[2], ["ab", "!"])  # one list object

        r = e.parse_batch([a, b, a, b])
        self.assertIs(r[0], r[2])
        self.assertIs(r[1], r[3])
        self.assertIsNot(r[0], r[1])

        r = e.parse_batch([a, b, b, a, b, b])  # period 3: each period item on its own
        self.assertIsNot(r[1], r[2])
        self.assertIs(r[1], r[4])
        self.assertIs(r[2], r[5])

        for items in ([a, b, a, b, a], [a, b, a, b, x, y, a, b]):
            r = e.parse_batch(items)
            self.assertEqual(len({id(entry) for entry in r}), len(items))

        r = e.parse_batch([a, a, b])
        self.assertIs(r[0], r[1])
        self.assertIsNot(r[1], r[2])

        twin = fresh(a)
        r = e.parse_batch([a, twin])
        self.assertEqual(r[0], r[1])
        self.assertIsNot(r[0], r[1])

        late = [a] + [fresh("q%d" % i) for i in range(127)] + [a, a]
        r = e.parse_batch(late)
        self.assertIsNot(r[0], r[128])
        self.assertIs(r[128], r[129])

    def test_matching_is_at_byte_zero(self):
        cases = [
            (v.CaselessLiteral("ab"), " ab", []),
            (v.CaselessLiteral("ab"), "ABc", ["ab"]),
            (v.Empty(), "abc", []),
            (v.Group(v.Literal("a")), "a b", [["a"]]),
            (v.Group(v.Literal("a") + v.Literal("b")), "a b", [["a", "b"]]),
            (v.LineEnd(), "", ["\n"]),
            (v.StringStart(), " x", []),
            (v.rest_of_line(), "  ab\ncd", ["  ab"]),
            (v.Forward(), "abc", []),
            (v.OneOrMore(v.Optional(v.Literal("a"))), "b", []),  # parse_impl fails, try_match_at matches
        ]
        for element, text, entry in cases:
            with self.subTest(element=name(element), text=text):
                self.assertEqual(element.parse_batch([text]), [entry])


    def test_tokens_of_every_length_are_their_texts(self):
        # Every one-byte text, and texts of other lengths and widths, through the conversion
        # of the generic road.
        first, whole = forward_of(v.Regex("(?s).")), forward_of(v.Regex("(?s).*"))
        texts = [chr(i) + "x" for i in range(128)] + ["é", "€", "😀", "ab", "a é", "x" * 300, ""]
        texts += ["".join(chr(33 + (i * 7) % 94) for i in range(n)) for n in range(2, 40)]  # ASCII
        texts += ["a" * k + c + "b" * (n - k) for n in range(1, 18) for k in range(n + 1) for c in "é\x7f€"]
        for text, head, entry in zip(texts, first.parse_batch(texts), whole.parse_batch(texts)):
            with self.subTest(text=text):
                self.assertEqual(head, [text[:1]] if text else [])
                self.assertEqual(entry, [text])
                self.assertPlainTokens([head, entry])


class LiteralKeywordSuppressTest(ModuleTestCase):
    def test_literal_entries_are_the_hit_list_and_the_miss_list(self):
        lit = v.Literal("ab")
        items = [fresh("ab"), fresh("xy"), fresh("abc"), fresh("ab")]
        r = lit.parse_batch(items)
        self.assertEqual(r, [["ab"], [], ["ab"], ["ab"]])
        self.assertIs(r[0], r[2])
        self.assertIs(r[0], r[3])
        self.assertIs(r[0][0], lit.parse_string("ab")[0])  # the object's cached str
        self.assertIs(lit.parse_batch(["ab"])[0][0], r[0][0])
        self.assertEqual(lit.parse_batch([" ab", "a"]), [[], []])

    def test_failing_entries_are_one_list(self):
        for element in (v.Literal("ab"), v.Keyword("if")):
            with self.subTest(element=name(element)):
                r = element.parse_batch([fresh("no"), fresh("if"), fresh("ab"), fresh("zz")])
                failing = [entry for entry in r if not entry]
                failing[0].append("!")
                self.assertTrue(all(entry == ["!"] for entry in failing))

    def test_keyword_boundary_and_empty_texts(self):
        kw = v.Keyword("if")
        inputs = ["if", "if x", "if(", "ifx", "if_", "ifé"]
        self.assertEqual(kw.parse_batch(inputs), [["if"], ["if"], ["if"], [], [], ["if"]])
        self.assertEqual(v.Keyword("").parse_batch(["", " ", "a", "_"]), [[""], [""], [], []])
        self.assertEqual(v.Literal("").parse_batch(["", "xyz"]), [[""], [""]])
        uniform = kw.parse_batch([fresh("ifx")] * 4)
        self.assertEqual(len({id(entry) for entry in uniform}), 1)

    def test_suppress_shares_only_the_matching_entries(self):
        s = v.Suppress(v.Literal("a"))
        r = s.parse_batch([fresh("ab"), fresh("bb"), fresh("ac")])
        self.assertEqual(r, [[], [], []])
        self.assertIs(r[0], r[2])
        self.assertIsNot(r[0], r[1])
        self.assertEqual(s.parse_batch([]), [])


class WordRegexTest(ModuleTestCase):
    def test_flat_tokens_reuse_whole_inputs(self):
        w = v.Word(v.alphas())
        abc, twelve, ab1 = fresh("abc"), fresh("12"), fresh("ab1")
        r = w.parse_batch([abc, twelve, ab1])
        self.assertEqual(r, ["abc", "ab"])
        self.assertIs(r[0], abc)
        r = w.parse_batch([abc, twelve, abc, ab1, abc])
        self.assertEqual(r, ["abc", "abc", "ab", "abc"])
        self.assertTrue(all(t is abc for t in (r[0], r[1], r[3])))
        self.assertEqual(w.parse_batch([twelve] * 5), [])
        self.assertEqual(w.parse_batch([" ab"]), [])

    def test_repeated_objects_share_their_token(self):
        w = v.Word(v.alphas())
        a, b = fresh("ab1"), fresh("bc")
        r = w.parse_batch([a, b, a, b])  # period road
        self.assertEqual(r, ["ab", "bc", "ab", "bc"])
        self.assertIs(r[0], r[2])
        self.assertIs(r[1], b)
        r = w.parse_batch([a, b, b, a, a])  # identity road
        self.assertIs(r[0], r[3])
        twins = w.parse_batch([a, fresh(a)])
        self.assertIsNot(twins[0], twins[1])

    def test_regex_tokens_come_from_the_expression(self):
        self.assertEqual(v.Regex("a*").parse_batch(["b", ""]), ["", ""])
        self.assertEqual(v.Regex(r"\s+").parse_batch(["\x0b x", " \tx", "x"]), ["\x0b ", " \t"])
        self.assertEqual(v.Regex(r"\s+").parse_batch_count(["\x0b", "x", " "]), 2)
        self.assertEqual(v.Regex("[a-z]").parse_batch_count(["b", "B", ""]), 1)

    def test_a_whole_str_subclass_input_gives_a_plain_str(self):
        class Text(str):
            pass

        r = v.Word(v.alphas()).parse_batch([Text("abc"), Text("abc")])
        self.assertEqual(r, ["abc", "abc"])
        self.assertPlainTokens(r)

    def test_tokens_hold_whole_characters(self):
        # Member byte 0xC3 (the character U+00C3) starts é (C3 A9), whose A9 is no member:
        # the byte run stops inside é and is carried to its end.
        w = v.Word("\u00c3")
        self.assertEqual(w.parse_batch(["éx", "é"]), ["é", "é"])
        self.assertEqual(w.parse_batch_count(["éx", "x"]), 1)


class LongListsTest(ModuleTestCase):
    """Word and Regex remember every distinct object of a long list: lists of hundreds and
    thousands of items, with no repeat, a first repeat early or late, objects made at
    different times (far apart in memory) and the interpreter's shared strs, give the
    tokens and the sharing that one evaluation per object gives."""

    def test_long_lists_against_one_evaluation_per_input(self):
        rng = random.Random(512)
        words = ["abc", "ab1", "12", "a b", "x=1", "é", "Zürich", "", "a", "3.75ms", "10.2", "xyz"]
        old = [fresh(rng.choice(words)) for _ in range(300)]
        for e in (v.Word(v.alphas()), v.Regex(r"[0-9]+(?:\.[0-9]+)?"), v.Regex("[a-z]*")):
            for _ in range(12):
                n = rng.choice([511, 512, 700, 3000])
                items = [fresh(rng.choice(words)) for _ in range(n)]
                if rng.random() < 0.5:  # objects made long before, and shared ones
                    for _ in range(rng.randrange(1, 40)):
                        items[rng.randrange(n)] = rng.choice(old + ["", "a"])
                if rng.random() < 0.7:  # repeats from a random index on
                    start = rng.randrange(n)
                    for i in range(start, n):
                        if rng.random() < 0.2:
                            items[i] = items[rng.randrange(i)]
                with self.subTest(element=name(e), n=n):
                    result = e.parse_batch(items)
                    self.assertEqual(result, plain_parse_batch(e, items))
                    keys = sharing_keys(e, items)
                    first = {}
                    for key, entry in zip(keys, result):
                        self.assertIs(entry, first.setdefault(key, entry))
                        if key[0] == "input":
                            self.assertEqual(id(entry), key[1])
                    distinct = [o for o in first.values() if len(o) > 1]
                    self.assertEqual(len({id(o) for o in distinct}), len(distinct))


class AndParseBatchTest(ModuleTestCase):
    def setUp(self):
        self.ab = v.Literal("a") + v.Literal("b")

    def test_uniform_list_gives_one_shared_entry(self):
        s = fresh("ab")
        r = self.ab.parse_batch([s, s, s])
        self.assertEqual(r, [["a", "b"]] * 3)
        self.assertIs(r[0], r[2])
        failing = self.ab.parse_batch([fresh("xy")] * 3)
        self.assertEqual(failing, [[]] * 3)
        self.assertIs(failing[0], failing[1])
        self.assertEqual(self.ab.parse_batch(["a b"]), [[]])
        twice = v.Literal("ab") + v.Literal("ab")
        entry = twice.parse_batch([fresh("abab")] * 2)[0]
        self.assertEqual(entry, ["ab", "ab"])
        self.assertIsNot(entry[0], entry[1])  # no interning on this road
        zero_width = v.Optional(v.Literal("q")) + v.Empty()
        self.assertEqual(zero_width.parse_batch([fresh("xy")] * 3), [])
        self.assertEqual(zero_width.parse_batch(["xy"]), [])

    def test_flat_roads_intern_equal_texts(self):
        r = self.ab.parse_batch([fresh("ab"), fresh("cd"), fresh("ab")])
        self.assertEqual(r, ["a", "b", "a", "b"])
        self.assertIs(r[0], r[2])
        self.assertIs(r[1], r[3])
        flat = (v.Literal("ab") + v.Literal("ab")).parse_batch([fresh("abab"), fresh("abab")])
        self.assertTrue(all(t is flat[0] for t in flat))
        a_fail, b = fresh("ax"), fresh("ab")
        self.assertEqual(self.ab.parse_batch([a_fail, b, a_fail, b]), ["a", "b", "a", "b"])

    def test_tokens_are_matched_texts(self):
        e = v.Literal("a") + v.Suppress(v.Literal("b")) + v.CaselessLiteral("cd") + v.Group(v.Literal("e"))
        self.assertEqual(e.parse_batch(["abCDe", "abcde"]), ["a", "b", "CD", "e", "a", "b", "cd", "e"])
        self.assertEqual((v.Char("é") + v.Literal("x")).parse_batch(["éx", "éx!"]), ["é", "x", "é", "x"])

    def test_many_distinct_token_texts_stay_apart(self):
        e = v.Word(v.alphas()) + v.Word(v.nums())
        inputs = ["w%s%d" % ("abcdefghij"[i % 10] * (i // 10 + 1), i) for i in range(600)]
        r = e.parse_batch(inputs)
        self.assertEqual(r, [t for x in inputs for t in e.parse_batch([x])[0]])
        self.assertEqual(len(set(r)), 1200)


class CountTest(ModuleTestCase):
    def test_counts(self):
        a = fresh("ab")
        cases = [
            (v.Literal("ab"), [a] * 1000, 1000),
            (v.Literal("ab"), [a, a, fresh("xy"), fresh("ab")], 3),
            (v.Literal(""), ["", "x"], 2),
            (v.Keyword("if"), ["if", "if x", "if(", "ifx", "if_"], 3),
            (v.Keyword(""), ["", " ", "a", "1", "_"], 2),
            (v.MatchFirst([v.Literal("a")]), ["a", " a"], 1),
            (v.OneOrMore(v.Literal("a")), [" a", "b"], 1),
            (v.OneOrMore(v.Optional(v.Literal("a"))), ["b"], 1),  # its parse_batch entry is []
            (v.Regex(r"\s*"), ["", "x", " "], 3),  # the expression, not the whitespace-run shortcut
            (v.Exactly(v.Literal("a"), 0), ["", "b"], 2),
            (v.ZeroOrMore(v.Literal("a")), ["", "b"], 2),
            (v.rest_of_line(), ["", "\n"], 2),
            (v.LineEnd(), ["", "\nx", "x", " \n"], 2),
            (v.CaselessLiteral("ab"), ["ABc"], 1),
            (v.Group(v.Literal("a")), ["ab", "b"], 1),
            (v.Suppress(v.Literal("a")), ["ab", "b"], 1),
            (v.MatchFirst([]), ["", "a"], 0),
            (v.Forward(), ["", "a"], 0),
            (v.NoMatch(), [], 0),
            (v.StringEnd(), ["", "  ", "x"], 1),
            (v.LineStart(), ["", " x"], 2),
            (v.StringStart(), ["", " x"], 2),
            (v.Optional(v.Literal("q")), ["", "x"], 2),
            (v.Empty(), ["", "x"], 2),
            (v.Char("abc"), ["a", "cx", "", " a"], 2),
            (v.Word(v.alphas_lower()), ["a-", "-a"], 1),
            (v.Literal("a") + v.Literal("b"), ["a b", " ab", "a"], 2),
        ]
        for element, inputs, count in cases:
            with self.subTest(element=name(element), inputs=inputs[:5]):
                self.assertEqual(element.parse_batch_count(inputs), count)

    def test_forty_distinct_objects_beyond_the_identity_cache(self):
        objects = [fresh("ab%d" % i if i % 3 else "zz%d" % i) for i in range(40)]
        for element in (v.Literal("ab"), v.Keyword("ab"), v.CaselessLiteral("ab"), v.Word("a"), v.Regex("a"),
                        v.Literal("a") + v.Literal("b")):
            with self.subTest(element=name(element)):
                items = [o for o in objects for _ in range(2)]
                self.assertEqual(element.parse_batch_count(items),
                                 2 * sum(element.parse_batch_count([o]) for o in objects))


class InputsWithoutTextTest(ModuleTestCase):
    """An item that is not a str raises TypeError naming its index; a str without a UTF-8
    form raises the interpreter's UnicodeEncodeError; the first such item in list order
    decides, whatever road the call takes."""

    def test_every_class_raises_for_an_item_without_text(self):
        bad_lists = [
            ([fresh("ab"), 5], TypeError, "argument 'inputs': item 1: 'int' object is not an instance of 'str'"),
            ([5, 5, 5], TypeError, "argument 'inputs': item 0: 'int' object is not an instance of 'str'"),
            ([fresh("ab"), None] * 3, TypeError, "argument 'inputs': item 1: 'None' is not an instance of 'str'"),
            ([fresh("ab"), fresh("ab"), b"x"], TypeError,
             "argument 'inputs': item 2: 'bytes' object is not an instance of 'str'"),
            ([fresh("ab"), "a\udcff", 5], UnicodeEncodeError, None),
        ]
        for e in elements():
            for items, exc_type, text in bad_lists:
                for method in (e.parse_batch, e.parse_batch_count):
                    with self.subTest(element=name(e), method=method.__name__, items=items[:3]):
                        with self.assertRaises(exc_type) as caught:
                            method(items)
                        self.assertIs(type(caught.exception), exc_type)
                        if text is not None:
                            self.assertEqual(str(caught.exception), text)

    def test_a_list_subclass_is_read_in_place(self):
        class Lying(list):
            def __len__(self):
                return 1000

            def __getitem__(self, i):
                return 5

            def __iter__(self):
                return iter([5])

        items = Lying([fresh("ab"), fresh("xy")])
        self.assertEqual(v.Literal("ab").parse_batch(items), [["ab"], []])
        self.assertEqual(v.CaselessLiteral("ab").parse_batch_count(items), 1)
        self.assertEqual(v.Word(v.alphas()).parse_batch(items), ["ab", "xy"])


class NestingTooDeepTest(ModuleTestCase):
    def test_running_out_of_stack_raises_instead_of_answering_no_match(self):
        f = v.Forward()
        f <<= v.MatchFirst([v.Literal("(") + f + v.Literal(")"), v.Literal("x")])
        deep = "(" * 100000 + "x" + ")" * 100000
        for element in (f, v.Group(f), f + v.Empty(), v.MatchFirst([f]), v.Suppress(f)):
            for method in (element.parse_batch, element.parse_batch_count):
                with self.subTest(element=name(element), method=method.__name__):
                    with self.assertRaises(ValueError) as caught:
                        method(["x", deep])
                    self.assertRegex(str(caught.exception),
                                     r"^ParseException at position \d+: Grammar nesting too deep for the stack$")
        self.assertEqual(f.parse_batch(["((x))", "(x"]), [["(", "(", "x", ")", ")"], []])


class ChangingListsTest(ModuleTestCase):
    def test_results_follow_the_list_as_it_is_at_each_call(self):
        e, w = v.CaselessLiteral("ab"), v.Word(v.alphas())
        items = [fresh("ab"), fresh("12")] * 3
        self.assertEqual(e.parse_batch_count(items), 3)
        for i in range(len(items)):
            items[i] = fresh("12") if i % 2 == 0 else fresh("ab")  # new objects, maybe at old addresses
        self.assertEqual(e.parse_batch(items), [[], ["ab"]] * 3)
        self.assertEqual(e.parse_batch_count(items), 3)
        self.assertEqual(w.parse_batch(items), ["ab"] * 3)
        items.append(5)
        with self.assertRaises(TypeError):
            w.parse_batch(items)
        items.pop()
        self.assertEqual(w.parse_batch_count(items), 3)


class ExhaustedMemoryTest(ModuleTestCase):
    def test_a_token_str_that_cannot_be_made_raises_memory_error(self):
        """Word, Regex and And make their token strs themselves: when the interpreter cannot
        make one, the call raises MemoryError and the process goes on. Run in a child whose
        address space is capped a little above what it holds, so a 64 MiB token cannot fit."""
        if "asan" in os.environ.get("LD_PRELOAD", ""):
            self.skipTest("AddressSanitizer reports exhausted memory itself instead of failing the allocation")
        script = textwrap.dedent("""
            import resource
            import vantorel as v
            # 64 MiB of letters and a digit, made in one piece: a freed temporary of the same
            # size could stay with the allocator and take a token under the cap.
            big = "1".rjust((64 << 20) + 1, "a")  # every token below is a copy of its letters
            word, regex, seq = v.Word(v.alphas()), v.Regex("a+"), v.Word(v.alphas()) + v.Word(v.nums())
            cases = [(word, [big]), (word, [big, big]), (regex, [big, "x"]), (regex, [big, big]),
                     (seq, [big, big]), (seq, [big, "x"]), (seq, [big, "x"] * 2)]
            size = next(int(line.split()[1]) * 1024 for line in open("/proc/self/status")
                        if line.startswith("VmSize:"))
            try:
                resource.setrlimit(resource.RLIMIT_AS, (size + (32 << 20), size + (32 << 20)))
            except (ValueError, OSError):
                print("no limit")
                raise SystemExit
            for element, inputs in cases:
                try:
                    element.parse_batch(inputs)
                    print("result")
                except MemoryError:
                    print("MemoryError")
            print(word.parse_batch(["ab1"]), seq.parse_batch(["ab1", "x"]))
        """)
        env = dict(os.environ)
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.dirname(v.__file__), env.get("PYTHONPATH")]))
        # The free-threaded interpreter allocates with mimalloc, which reserves 1 GiB of address
        # space up front and would serve the tokens from it under the cap; with no reserve every
        # large block is a new mapping that the cap refuses.
        env["MIMALLOC_ARENA_RESERVE"] = "0"
        child = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=120)
        if child.stdout.strip() == "no limit":
            self.skipTest("the address space cannot be capped here")
        self.assertEqual(child.returncode, 0, child.stderr)
        self.assertEqual(child.stdout.split("\n"), ["MemoryError"] * 7 + ["['ab'] ['ab', '1']", ""])


class RefcountTest(ModuleTestCase):
    def test_loops_leave_reference_counts_unchanged(self):
        p = pool()
        lists = list(shapes(p).values())
        lit, kw = v.Literal("ab"), v.Keyword("if")
        cached = [lit.parse_string("ab")[0], kw.parse_string("if")[0]]
        every = elements() + [lit, kw]
        surrogate = "a\udcff"

        def call():
            for e in every:
                for items in lists:
                    e.parse_batch(items)
                    e.parse_batch_count(items)
                # Items without a text first, last, after cached objects and inside a period.
                for bad in ([p[0], 5], [p[0], surrogate], [p[0], p[1], p[0], p[1], p[2], 5], [p[0], 5] * 3):
                    for method in (e.parse_batch, e.parse_batch_count):
                        try:
                            method(bad)
                        except (TypeError, UnicodeEncodeError):
                            pass

        self.assertRefcountsStable(p + lists + every + cached + [surrogate], call, rounds=30)
        # New lists and strs that a call leaked would hold no object of the test: count the
        # interpreter's allocated blocks instead (a leak per call adds hundreds per round).
        call()
        blocks = sys.getallocatedblocks()
        for _ in range(30):
            call()
        self.assertLess(sys.getallocatedblocks() - blocks, 30)

    def test_result_objects_are_held_by_their_entries_alone(self):
        """Each entry holds one reference to its object and nothing else holds the objects a
        call made; an input that is an entry gains one reference per entry."""
        p = pool()

        def refs(o):
            return sys.getrefcount(o) - 2  # the argument and this frame's parameter

        def holders(lists):
            """id -> how many of these lists (each distinct list once) hold the object."""
            count = {}
            for lst in {id(lst): lst for lst in lists}.values():
                for o in lst:
                    count[id(o)] = count.get(id(o), 0) + 1
            return count

        baseline = refs(object())
        for e in elements() + [v.Keyword("if")]:
            for shape, inputs in shapes(p).items():
                with self.subTest(element=name(e), shape=shape):
                    before = {id(inputs[i]): refs(inputs[i]) - baseline for i in range(len(inputs))}
                    result = e.parse_batch(inputs)
                    outer = holders([result])
                    for i in range(len(result)):
                        if type(result[i]) is str and len(result[i]) < 2:
                            continue  # the interpreter's own shared strs
                        self.assertEqual(refs(result[i]) - baseline - before.get(id(result[i]), 0),
                                         outer[id(result[i])])
                    # The hit list of Literal and Keyword holds the object's cached str.
                    entries = [r for r in result if type(r) is list and name(e) not in ("Literal", "Keyword")]
                    inner = holders(entries)
                    for i in range(len(entries)):
                        for j in range(len(entries[i])):
                            if type(entries[i][j]) is str and len(entries[i][j]) >= 2:
                                self.assertEqual(refs(entries[i][j]) - baseline, inner[id(entries[i][j])])
                    del entries, result  # the next `before` must not count this result


if __name__ == "__main__":
    unittest.main()
