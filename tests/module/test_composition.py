"""Building grammars from Python: element conversion, the combinator constructors, the
+ | <<= operators with their flattening, Forward.set and re-targeting, and recursive and
hostile grammars. Shapes are observed through parse_string: And's fast path gives a
direct Normal child the input's matched text, while a nested And or MatchFirst (Complex)
gives its parse_impl tokens, so CaselessLiteral children show whether a list was flattened."""
import gc
import random
import re
import unittest

import vantorel as v
from support import ModuleTestCase

A, B, C, D = (v.CaselessLiteral(x) for x in "abcd")


class ConversionTest(ModuleTestCase):
    def test_one_child_constructors_refuse_non_elements(self):
        for cls in (v.Optional, v.ZeroOrMore, v.OneOrMore, v.Group, v.Suppress, v.Combine, v.SkipTo):
            for bad in ("x", None, 5, [v.Literal("a")], v.Literal):
                with self.subTest(cls=cls.__name__, bad=bad):
                    self.assertRaisesText(ValueError, "Unsupported parser element type", cls, bad)

    def test_every_class_converts_and_keeps_its_own_kind(self):
        # A Literal child stays a Literal (its cached str comes back through Group), and
        # each of the 26 classes is accepted as a child.
        lit = v.Literal("ab")
        self.assertEqual(v.Group(lit).parse_string("ab"), [["ab"]])
        f = v.Forward()
        f <<= v.Literal("z")
        samples = [v.Literal("a"), v.CaselessLiteral("a"), v.Keyword("a"), v.CaselessKeyword("a"), v.Word("a"),
                   v.Char("a"), v.QuotedString(), v.Empty(), v.NoMatch(), v.LineStart(), v.LineEnd(),
                   v.StringStart(), v.StringEnd(), v.rest_of_line(), v.Literal("a") + v.Literal("b"),
                   v.MatchFirst([]), v.Optional(v.Empty()), v.ZeroOrMore(v.Empty()), v.OneOrMore(v.Empty()),
                   v.Exactly(v.Empty(), 1), v.Group(v.Empty()), v.Suppress(v.Empty()), v.Combine(v.Empty()),
                   v.SkipTo(v.Empty()), f]
        for element in samples:
            with self.subTest(type(element).__name__):
                self.assertIs(type(v.Optional(element)), v.Optional)

    def test_exactly_converts_count_first(self):
        self.run_error_table([
            (lambda: v.Exactly("a", -1), OverflowError, "can't convert negative int to unsigned"),
            (lambda: v.Exactly("a", 1), ValueError, "Unsupported parser element type"),
            (lambda: v.Exactly(None, 2 ** 64), OverflowError, "int too big to convert"),
        ])
        self.assertEqual(v.Exactly(v.Literal("a"), True).parse_string("a a"), ["a"])
        self.assertEqual(v.Exactly(v.Literal("a"), 0).parse_string("x"), [])


class MatchFirstConstructorTest(ModuleTestCase):
    def test_items_become_alternatives_in_order(self):
        a, ab = v.Literal("a"), v.Literal("ab")
        self.assertEqual(v.MatchFirst([a, ab]).parse_string("ab"), ["a"])
        self.assertEqual(v.MatchFirst([ab, a]).parse_string("ab"), ["ab"])
        self.assertEqual(v.MatchFirst([v.MatchFirst([v.Literal("x"), a]), ab]).parse_string("a"), ["a"])
        self.assertEqual(v.MatchFirst([a, a]).parse_string("a"), ["a"])

    def test_list_subclass_is_accepted(self):
        class L(list):
            pass
        self.assertEqual(v.MatchFirst(L([v.Literal("q")])).parse_string("q"), ["q"])

    def test_errors(self):
        a = v.Literal("a")
        self.run_error_table([
            (lambda: v.MatchFirst([a, "b"]), ValueError, "Unsupported expression type at index 1"),
            (lambda: v.MatchFirst(["x", 5]), ValueError, "Unsupported expression type at index 0"),
            (lambda: v.MatchFirst([a] * 11 + [None]), ValueError, "Unsupported expression type at index 11"),
            (lambda: v.MatchFirst((a,)), TypeError, "argument 'exprs': 'tuple' object is not an instance of 'list'"),
            (lambda: v.MatchFirst([]).parse_string("a"), ValueError, "No match found"),
        ])


class OperatorShapeTest(ModuleTestCase):
    def test_shapes_table(self):
        cases = [
            # (grammar builder, text, tokens): matched text for direct children, the
            # defined (lower-case) text for children inside a nested combinator.
            (lambda: A + B + C, "A B C", ["A", "B", "C"]),
            (lambda: A + (B + C), "A B C", ["A", "B", "C"]),
            (lambda: (A + B) + (C + D), "A B C D", ["A", "B", "C", "D"]),
            (lambda: (A | B) + C, "B C", ["b", "C"]),
            (lambda: A + (B | C), "A C", ["A", "c"]),
            (lambda: A | (B + C), "B C", ["b", "c"]),
            (lambda: A | B | C, "C", ["c"]),
            (lambda: A | (B | C), "C", ["c"]),
            (lambda: C | (A + B), "A B", ["a", "b"]),
            (lambda: A + A, "A a", ["A", "a"]),
            (lambda: v.MatchFirst([]) | A, "A", ["a"]),
            (lambda: A | v.MatchFirst([]), "A", ["a"]),
            (lambda: v.one_of("x y") | v.one_of("z"), "z", ["z"]),
            # The left operand is one entry whatever its class (only And.__add__ and
            # MatchFirst.__or__ flatten on the left).
            (lambda: v.Group(A + B) + C, "A B C", [["a", "b"], "C"]),
            (lambda: v.Optional(A) + B, "A B", ["A", "B"]),
        ]
        for i, (build, text, tokens) in enumerate(cases):
            with self.subTest(i=i, text=text):
                self.assertEqual(build().parse_string(text), tokens)

    def test_results_are_new_objects_and_operands_unchanged(self):
        ab, cd = A + B, C + D
        whole = ab + cd
        self.assertIs(type(whole), v.And)
        self.assertIsNot(whole, ab)
        self.assertEqual(whole.parse_string("a b c d"), ["a", "b", "c", "d"])
        self.assertEqual(ab.parse_string("a b c d"), ["a", "b"])
        self.assertEqual(cd.parse_string("c d"), ["c", "d"])
        alt = A | B
        self.assertIs(type(alt | C), v.MatchFirst)
        self.assertRaisesText(ValueError, "No match found", alt.parse_string, "c")

    def test_non_element_operands(self):
        a = v.Literal("a")
        self.run_error_table([
            (lambda: a + "s", ValueError, "Unsupported operand type for +"),
            (lambda: (a + a) + 5, ValueError, "Unsupported operand type for +"),
            (lambda: v.MatchFirst([]) + None, ValueError, "Unsupported operand type for +"),
            (lambda: a | None, ValueError, "Unsupported operand type for |"),
            (lambda: v.MatchFirst([a]) | [a], ValueError, "Unsupported operand type for |"),
            (lambda: 5 + a, TypeError, "unsupported operand type(s) for +: 'int' and 'builtins.Literal'"),
            (lambda: None | a, TypeError, "unsupported operand type(s) for |: 'NoneType' and 'builtins.Literal'"),
            (lambda: "s" + a, TypeError, 'can only concatenate str (not "builtins.Literal") to str'),
            (lambda: (a + a) | a, TypeError, "unsupported operand type(s) for |: 'builtins.And' and 'builtins.Literal'"),
            (lambda: v.Forward() << a, TypeError,
             "unsupported operand type(s) for <<: 'builtins.Forward' and 'builtins.Literal'"),
        ])

    def test_slots_answer_not_implemented_for_a_foreign_left_operand(self):
        # x.__radd__(y) runs x's + slot as y + x: the left operand is not of x's class, so
        # the slot answers NotImplemented, never treating its right operand as the element.
        a, w = v.Literal("a"), v.Word("x")
        for x in (a, w, a + a, v.MatchFirst([]), v.Forward(), v.Group(a)):
            for other in (5, None, "s", w if x is not w else a):
                with self.subTest(x=type(x).__name__, other=other):
                    self.assertIs(x.__radd__(other), NotImplemented)
                    if type(x) is not v.And:
                        self.assertIs(x.__ror__(other), NotImplemented)
        self.assertNotIn("__or__", v.And.__dict__)

    def test_long_chain_is_one_flat_list(self):
        # 3000 terms flattened into one And: parsing them is one level deep.
        grammar = v.Literal("x")
        for _ in range(2999):
            grammar = grammar + v.Literal("x")
        self.assertEqual(len(grammar.parse_string("x" * 3000)), 3000)
        alternatives = v.Literal("0")
        for i in range(1, 3000):
            alternatives = alternatives | v.Literal(f"<{i}>")
        self.assertEqual(alternatives.parse_string("<2999>"), ["<2999>"])


class ForwardTest(ModuleTestCase):
    def test_ilshift_returns_the_forward_and_set_returns_none(self):
        f = v.Forward()
        g = f
        f <<= v.Literal("a")
        self.assertIs(f, g)
        self.assertIs(type(f), v.Forward)
        self.assertIsNone(f.set(v.Literal("b")))
        self.assertEqual(f.parse_string("b"), ["b"])

    def test_unset_and_bad_targets(self):
        f = v.Forward()
        self.assertParseFails(f, "  x", 2, "Forward not initialized")
        f <<= v.Literal("a")

        def bad_ilshift():
            nonlocal f
            f <<= "s"

        self.run_error_table([
            (bad_ilshift, ValueError, "Unsupported parser element type"),
            (lambda: f.set(None), ValueError, "Unsupported parser element type"),
            (lambda: f.set(), TypeError, "Forward.set() missing 1 required positional argument: 'expr'"),
            (lambda: f.set(expr=f, x=1), TypeError, "Forward.set() got an unexpected keyword argument 'x'"),
        ])
        self.assertEqual(f.parse_string("a"), ["a"])  # the old target stayed

    def test_retargeting_is_seen_by_grammars_built_before_and_after(self):
        f = v.Forward()
        before = v.Literal("x") + f
        inside = v.Group(f)
        f <<= v.Literal("a")
        self.assertEqual(before.parse_string("x a"), ["x", "a"])
        f <<= v.Literal("b")
        after = f + v.Literal("y")
        self.assertEqual(before.parse_string("x b"), ["x", "b"])
        self.assertEqual(inside.parse_string("b"), [["b"]])
        self.assertEqual(after.parse_string("b y"), ["b", "y"])
        self.assertRaisesText(ValueError, "ParseException at position 2: Expected 'b'", before.parse_string, "x a")

    def test_children_outlive_their_python_objects(self):
        x = v.Literal("a")
        group = v.Group(x)
        seq = x + v.Literal("b")
        del x
        gc.collect()
        self.assertEqual(group.parse_string("a"), [["a"]])
        self.assertEqual(seq.parse_string("ab"), ["a", "b"])


def flatten(tokens):
    for token in tokens:
        if type(token) is list:
            yield from flatten(token)
        else:
            yield token


class RecursiveGrammarTest(ModuleTestCase):
    def setUp(self):
        self.expr = v.Forward()
        atom = v.Word("0123456789") | v.Group(v.Suppress(v.Literal("(")) + self.expr + v.Suppress(v.Literal(")")))
        self.expr <<= atom + v.ZeroOrMore(v.one_of("+ - * /") + atom)

    def test_nested_input(self):
        self.assertEqual(self.expr.parse_string("1 + (2 * (3 - 4)) / 5"),
                         ["1", "+", ["2", "*", ["3", "-", "4"]], "/", "5"])
        self.assertEqual(self.expr.parse_string("(((7)))"), [[[["7"]]]])
        self.assertPlainTokens(self.expr.parse_string("((1+2)*(3+4))"))

    def test_every_road_gives_the_same_tokens(self):
        # Expressions long enough that their tokens outgrow any storage held in place; the
        # generic road, the And and MatchFirst fast paths and the batch road all parse the
        # one Forward, and each result is its own plain lists and strs.
        rng = random.Random(11)

        def expression(depth):
            parts = []
            for i in range(rng.randint(1, 4) if depth else rng.randint(40, 120)):
                if i:
                    parts.append(rng.choice("+-*/"))
                if depth < 3 and rng.random() < 0.25:
                    parts.append("(" + expression(depth + 1) + ")")
                else:
                    parts.append(str(rng.randrange(10 ** rng.randint(1, 6))))
            return " ".join(parts)

        texts = [expression(0) for _ in range(20)]
        roads = (self.expr.parse_string, (v.Empty() + self.expr).parse_string,
                 v.MatchFirst([v.Literal("x"), self.expr]).parse_string)
        batch = self.expr.parse_batch(texts)
        for text, entry in zip(texts, batch):
            first = self.expr.parse_string(text)
            self.assertPlainTokens(first)
            self.assertEqual(list(flatten(first)), re.findall(r"[0-9]+|[-+*/]", text))
            for road in roads:
                with self.subTest(text=text[:20], road=road):
                    self.assertEqual(road(text), first)
            self.assertEqual(entry, first)
            self.assertIsNot(self.expr.parse_string(text), first)

    def test_tokens_beyond_ascii(self):
        # Tokens of an element's own text and tokens cut from the input, with and without
        # characters beyond ASCII.
        item = v.one_of("\u00e9 ab \u0100\u00e9 a") | v.QuotedString('"')
        grammar = v.Forward()
        grammar <<= v.Group(item + v.ZeroOrMore(v.Suppress(v.Literal(",")) + item))
        text = '\u00e9, ab, "h\u00e9llo", \u0100\u00e9, "", a, "xy"'
        expected = [["\u00e9", "ab", "h\u00e9llo", "\u0100\u00e9", "", "a", "xy"]]
        self.assertEqual(grammar.parse_string(text), expected)
        self.assertEqual(grammar.parse_batch([text]), [expected])

    def test_deep_nesting_raises_value_error(self):
        deep = "(" * 100_000 + "1" + ")" * 100_000
        with self.assertRaises(ValueError) as caught:
            self.expr.parse_string(deep)
        self.assertRegex(str(caught.exception),
                         r"^ParseException at position \d+: Grammar nesting too deep for the stack$")
        self.assertEqual(self.expr.parse_string("(1)"), [["1"]])  # still usable afterwards

    def test_stack_guard_stop_is_final_on_the_fast_paths(self):
        # Running out of stack is never turned into a success: not into Optional's empty
        # list, not into a later alternative of MatchFirst, not into Suppress's empty list.
        deep = "(" * 100_000 + "1" + ")" * 100_000
        for grammar in (v.Optional(self.expr), v.Suppress(self.expr), v.MatchFirst([self.expr, v.Literal("(")]),
                        self.expr | v.Literal("("), v.Literal("(") + self.expr, v.Literal("(") + v.Suppress(self.expr)):
            with self.subTest(grammar=type(grammar).__name__):
                with self.assertRaises(ValueError) as caught:
                    grammar.parse_string(deep)
                self.assertIn(": Grammar nesting too deep for the stack", str(caught.exception))

    def test_deeply_nested_elements_parse_and_free(self):
        element = v.Literal("a")
        for _ in range(100_000):
            element = v.Group(element)

        def nesting(result):
            """The number of one-item lists around 'a', counted without recursion."""
            depth = 0
            while isinstance(result, list) and len(result) == 1:
                result, depth = result[0], depth + 1
            return depth if result == "a" else None

        # Each road either runs out of stack on the way down (the guard's ValueError) or
        # parses the whole chain, whose result of 100,001 nested lists is made and freed
        # without recursion. Optional and Suppress ask their child's try_match_at first,
        # which may match where the compiler made the delegation a tail call.
        for grammar, depths in ((element, {100_001}), (v.Optional(element), {0, 100_001}), (v.Suppress(element), {0})):
            with self.subTest(type(grammar).__name__):
                try:
                    result = grammar.parse_string("a")
                except ValueError as e:
                    self.assertIn("Grammar nesting too deep for the stack", str(e))
                else:
                    self.assertIn(0 if result == [] else nesting(result), depths)
                    del result
        del element  # releasing 100,000 levels must not overflow the stack

    def test_left_recursion(self):
        a, b = v.Literal("a"), v.Literal("b")
        f = v.Forward()
        f <<= f
        self.assertParseFails(f, "a", 0, "Left recursion: Forward entered again at the same position")
        # `f <<= f + a | b` groups as (f + a) | b, and And has no | slot: the interpreter's
        # TypeError. The same grammar written with MatchFirst runs into the guard instead.
        with self.assertRaises(TypeError):
            f <<= f + a | b
        g = v.Forward()
        g <<= v.MatchFirst([g + a, b])
        self.assertEqual(g.parse_string("b a"), ["b"])
        self.assertParseFails(g, "a", 0, "Expected 'b'")
        h = v.Forward()
        h <<= b | h + a
        self.assertEqual(h.parse_string("b a"), ["b"])


if __name__ == "__main__":
    unittest.main()
