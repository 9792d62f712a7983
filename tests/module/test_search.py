"""search_string, search_string_count and Word._search_string_flat: the scan's results per
class, which objects a result shares, the whole-character rule, the stack-guard stop, and
every shortcut road (closed formulas, the And, Word, Keyword and Literal roads, the
periodic roads) against the plain road of the same operation."""
import random
import re
import unittest

import vantorel as v
from support import ModuleTestCase


def deep_grammar():
    expr = v.Forward()
    atom = v.Word("0123456789") | v.Group(v.Suppress(v.Literal("(")) + expr + v.Suppress(v.Literal(")")))
    expr <<= atom + v.ZeroOrMore(v.one_of("+ - * /") + atom)
    return expr


def periodic_texts(alphabet, max_block, count, seed):
    """Texts that repeat a random block over their whole length, with or without a tail."""
    rng = random.Random(seed)
    out = []
    for _ in range(count):
        block = "".join(rng.choice(alphabet) for _ in range(rng.randint(1, max_block)))
        n = rng.randint(4, 4 * max_block + 8)
        out.append((block * (n // len(block) + 1))[:n])
    return out


class SearchStringTest(ModuleTestCase):
    def test_results(self):
        a, b = v.Literal("a"), v.Literal("b")
        cases = [
            (v.Char("ab"), "", []),
            (v.Char("ab"), "aab", [["a"], ["a"], ["b"]]),
            (v.CaselessLiteral("ab"), "xAbaB", [["Ab"], ["aB"]]),  # the input's case
            (v.CaselessKeyword("if"), "IF x iFy if", [["IF"], ["if"]]),
            (v.QuotedString(), 'say "hi"', [['"hi"']]),  # quotes kept, whatever unquote says
            (v.QuotedString(unquote=False), 'say "hi"', [['"hi"']]),
            (v.rest_of_line(), "ab\ncd", [["ab"], ["cd"]]),
            (v.rest_of_line(), "\n\n", []),
            (v.LineEnd(), "a\nb\n", [["\n"], ["\n"]]),
            (v.LineEnd(), "ab", []),  # the end of the text is never tried
            (v.Empty(), "abc", []),
            (v.LineStart(), "a\nb", []),
            (v.StringStart(), "abc", []),
            (v.StringEnd(), "abc", []),
            (v.NoMatch(), "abc", []),
            (v.Forward(), "abc", []),
            (v.Optional(a), "bab", [["a"]]),
            (v.ZeroOrMore(a), "b aa", [["a", "a"]]),
            (v.Exactly(a, 2), " a a", [[" a a"]]),  # the skipped space belongs to the text
            (v.OneOrMore(a), "a aa", [["a", "a", "a"]]),
            # try_match_at takes the empty first repetition after the spaces, parse_impl does
            # not: the element still matches there, so its failed parse is an empty list.
            (v.OneOrMore(v.Optional(a)), "  b", [[]]),
            (a + b, "ab a b", [["a", "b"], ["a", "b"]]),  # the second match starts at the space
            (v.Suppress(a), "aXa", [[], []]),
            (v.Group(a), "aa", [[["a"]], [["a"]]]),
            (v.Combine(a + b), "ab a b", [["ab"]]),
            (v.SkipTo(v.Literal("ab")), "xxabyyab", [["xx"], ["byy"]]),
            (v.MatchFirst([v.Literal("x"), v.Group(b)]), "xbx", [["x"], [["b"]], ["x"]]),
            (v.Word("ab"), "ab x ab", [["ab"], ["ab"]]),
            (v.Word("ab", "b"), "aab", [["a"], ["ab"]]),
            (v.Regex("a*"), "baa", [[""], ["aa"]]),  # no empty match where aa ended
            (v.Regex("a*"), "", [[""]]),
            (v.Regex("b"), "", []),
            (v.Regex("\\bx"), "x xx", [["x"], ["x"]]),
            (v.Keyword("if"), "if x ifx if", [["if"], ["if"]]),
            (v.Keyword("if"), "xif", [["if"]]),  # the byte before a keyword is not examined
            (v.Keyword(""), "a b", []),  # only zero-width matches, which search_string drops
            (v.Keyword(""), "é", []),
            (v.Literal("ab"), "abab", [["ab"], ["ab"]]),
            (v.Literal(""), "abc", []),
            (v.Literal("aa"), "aaa", [["aa"]]),
        ]
        for element, text, expected in cases:
            with self.subTest(element=type(element).__name__, text=text):
                result = element.search_string(text)
                self.assertEqual(result, expected)
                self.assertPlainTokens(result)

    def test_matches_of_equal_text_share_one_str_but_not_one_list(self):
        for element, text in ((v.Char("ab"), "aab"), (v.Regex("a*"), "bcd"), (v.CaselessLiteral("x"), "xx")):
            with self.subTest(element=type(element).__name__):
                first, second = element.search_string(text)[:2]
                self.assertIsNot(first, second)
                self.assertIs(first[0], second[0])
        one, two = v.Char("a").search_string("a"), v.Char("a").search_string("a")
        self.assertIsNot(one, two)

    def test_many_distinct_texts_each_get_their_own_shared_object(self):
        words = [f"w{i}" for i in range(3000)]
        text = " ".join(words + words[::-1])
        for element in (v.Regex("w[0-9]+"), v.Combine(v.Literal("w") + v.Word("0123456789"))):
            with self.subTest(element=type(element).__name__):
                result = element.search_string(text)
                self.assertEqual([item[0] for item in result], text.split())
                for i in range(3000):
                    self.assertIs(result[i][0], result[-1 - i][0])
        result = v.Word("w0123456789").search_string(text)
        self.assertEqual([item[0] for item in result], text.split())
        self.assertTrue(all(result[i] is result[-1 - i] for i in range(3000)))

    def test_word_shares_one_list_per_distinct_word(self):
        result = v.Word("ab").search_string("ab x ab ba")
        self.assertIs(result[0], result[1])
        self.assertIsNot(result[0], result[2])

    def test_keyword_and_literal_repeat_one_list_holding_the_cached_str(self):
        for element, text, parsed in ((v.Keyword("if"), "if x ifx if", "if"), (v.Literal("ab"), "abab", "ab")):
            with self.subTest(element=type(element).__name__):
                result = element.search_string(text)
                self.assertEqual(len(result), 2)
                self.assertIs(result[0], result[1])
                self.assertIs(result[0][0], element.parse_string(parsed)[0])
                self.assertIsNot(element.search_string(text)[0], result[0])  # a new list every call

    def test_empty_results_are_new_lists(self):
        for element in (v.Keyword("if"), v.Literal("q"), v.Word("q"), v.Regex("q"), v.Char("q"), v.Literal("a") + v.Literal("q")):
            with self.subTest(element=type(element).__name__):
                first, second = element.search_string("abc"), element.search_string("abc")
                self.assertEqual(first, [])
                self.assertIsNot(first, second)


class SearchCountTest(ModuleTestCase):
    def test_counts(self):
        a = v.Literal("a")
        cases = [
            (v.Empty(), "abc", 3), (v.Empty(), "", 0),
            (v.StringEnd(), "abc", 0), (v.StringStart(), "abc", 1), (v.StringStart(), "", 0),
            (v.NoMatch(), "abc", 0),
            (v.LineStart(), "a\nb", 2), (v.LineStart(), "a\n", 1), (v.LineStart(), "", 0),
            (v.LineEnd(), "a\nb\n", 2), (v.LineEnd(), "abc", 0),
            (v.Char("ab"), "abcab", 4), (v.Char("é"), "é", 2),
            (v.Optional(v.Literal("ab")), "abxab", 3),
            (v.ZeroOrMore(a), "aab", 2), (v.OneOrMore(a), "aab", 1),
            (v.SkipTo(v.Literal("b")), "aab", 2),
            (v.Keyword("if"), "if x ifx xif", 2), (v.CaselessKeyword("IF"), "if x IF", 2),
            (v.Regex("a"), "banana", 3), (v.Regex(""), "ab", 3), (v.Regex("^a"), "aaa", 1),
            (v.Regex("a*"), "baa", 2), (v.Regex("$"), "ab", 1),
            (v.Word("a", "b"), "abab", 2), (v.Word("ab", "b"), "ab", 1), (v.Word("ab", "b"), "aab", 2),
            (v.Literal("ab"), "abababab", 4), (v.Literal("aa"), "aaaa", 2), (v.Literal("a"), "aaab", 3),
            (v.Literal("bb"), "babbbabbb", 2), (v.Literal("b"), "abcabcab", 3), (v.Literal("abc"), "abcabcab", 2),
            (v.Literal(""), "abc", 0),
            (v.Forward(), "abc", 0),
        ]
        for element, text, expected in cases:
            with self.subTest(element=type(element).__name__, text=text):
                count = element.search_string_count(text)
                self.assertIs(type(count), int)
                self.assertEqual(count, expected)

    def test_forward_counts_as_its_target(self):
        f = v.Forward()
        self.assertEqual(f.search_string_count("a a"), 0)
        f <<= v.Literal("a")
        self.assertEqual(f.search_string_count("a a"), 2)

    def test_counts_include_zero_width_hits_that_search_drops(self):
        element, text = v.Optional(v.Literal("ab")), "abxab"
        self.assertEqual(len(element.search_string(text)), 2)
        self.assertEqual(element.search_string_count(text), 3)


def one_of_each_class():
    """One element of each of the 26 classes, each matching with zero width at position 0
    where its class can: a road that tried position 0 of the empty text would find it."""
    fwd = v.Forward()
    fwd <<= v.Empty()
    return [v.Literal(""), v.CaselessLiteral(""), v.Keyword(""), v.CaselessKeyword(""), v.Word("a"), v.Char("a"),
            v.Regex("a"), v.QuotedString(), v.Empty(), v.NoMatch(), v.LineStart(), v.LineEnd(), v.StringStart(),
            v.StringEnd(), v.rest_of_line(), v.Empty() + v.Empty(), v.MatchFirst([v.Empty()]), v.Optional(v.Literal("a")),
            v.ZeroOrMore(v.Literal("a")), v.OneOrMore(v.Optional(v.Literal("a"))), v.Exactly(v.Literal("a"), 0),
            v.Group(v.Empty()), v.Suppress(v.Empty()), v.Combine(v.Empty()), v.SkipTo(v.StringEnd()), fwd]


class EmptyTextTest(ModuleTestCase):
    def test_the_empty_text_is_not_tried_by_any_class_but_regex(self):
        elements = one_of_each_class()
        self.assertEqual(len({type(x) for x in elements}), 26)
        for x in elements:
            with self.subTest(cls=type(x).__name__):
                first = x.search_string("")
                self.assertEqual(first, [])
                self.assertIsNot(first, x.search_string(""))
                self.assertEqual(x.search_string_count(""), 0)
                self.assertEqual(x.transform_string("", "X"), "")
        self.assertEqual(v.Word("a")._search_string_flat(""), [])
        # The library's iteration searches the empty text too.
        self.assertEqual(v.Regex("a*").search_string(""), [[""]])
        self.assertEqual(v.Regex("a*").search_string_count(""), 1)
        self.assertEqual(v.Regex("a*").transform_string("", "X"), "X")


class SearchFrameTest(ModuleTestCase):
    def test_every_class_checks_its_arguments(self):
        for x in one_of_each_class():
            name = type(x).__name__
            with self.subTest(cls=name):
                for method in ("search_string", "search_string_count"):
                    self.assertRaisesText(TypeError, "argument 's': 'int' object is not an instance of 'str'",
                                          getattr(x, method), 5)
                    self.assertRaisesText(TypeError, f"{name}.{method}() missing 1 required positional argument: 's'",
                                          getattr(x, method))
                    with self.assertRaises(UnicodeEncodeError):
                        getattr(x, method)("\ud800")
                self.assertRaisesText(TypeError, "argument 'replacement': 'int' object is not an instance of 'str'",
                                      x.transform_string, "a", 5)
                with self.assertRaises(UnicodeEncodeError):
                    x.transform_string("\ud800", 5)  # s is converted before replacement is looked at
                self.assertEqual(x.search_string(s=""), x.search_string(""))
        w = v.Word("a")
        self.assertRaisesText(TypeError, "argument 's': 'None' is not an instance of 'str'", w._search_string_flat, None)
        with self.assertRaises(UnicodeEncodeError):
            w._search_string_flat("\ud800")


TEXTS = ["", "a", "ab ab", "a\nb\n", "\n\nx\n", "aab\tb", " a a  b", "ifx if xif", "é aé", "ab" * 9 + "a",
         "\"q\" 'r'", "a,b;c", "  \n  "]


class ShortcutRoadsTest(ModuleTestCase):
    """Each class with a road of its own gives what the plain road gives for an equivalent
    element that goes through the generic driver (Group and Optional delegate try_match_at
    to their child unchanged; Optional's zero-width hits are dropped by search_string)."""

    def test_closed_and_own_counts_equal_the_scan(self):
        elements = [v.Empty(), v.NoMatch(), v.StringStart(), v.StringEnd(), v.LineStart(), v.LineEnd(),
                    v.Char("ab\n"), v.Char("é"), v.Keyword("if"), v.Keyword("x"), v.Keyword(""), v.Literal("ab"),
                    v.Literal("a"), v.Word("ab"), v.Word("a", "b"), v.Word("ab", "b"), v.Word("Ã")]
        for element in elements:
            for text in TEXTS + periodic_texts("ab \n", 5, 60, 1):
                with self.subTest(element=type(element).__name__, text=text):
                    self.assertEqual(element.search_string_count(text), v.Group(element).search_string_count(text))

    def test_leaf_search_roads_equal_the_generic_driver(self):
        elements = [v.Word("ab"), v.Word("a", "b"), v.Word("ab", "b"), v.Word(" "), v.Keyword("if"), v.Keyword("a"),
                    v.Keyword(""), v.Literal("ab"), v.Literal("a"), v.Literal("é"), v.Literal("")]
        for element in elements:
            for text in TEXTS + periodic_texts("ab é", 5, 60, 2):
                with self.subTest(element=type(element).__name__, text=text):
                    self.assertEqual(element.search_string(text), v.Optional(element).search_string(text))

    def test_and_road_equals_the_generic_driver(self):
        a, b = v.Literal("a"), v.Literal("b")
        elements = [a + b, a + v.Optional(b), v.Optional(a) + v.Optional(b), a + v.rest_of_line(),
                    v.Group(a) + v.Suppress(b) + v.Char("ab"), v.LineStart() + a, a + v.LineEnd()]
        for element in elements:
            for text in TEXTS + periodic_texts("ab \n", 4, 40, 3):
                with self.subTest(text=text):
                    self.assertEqual(element.search_string(text), v.MatchFirst([element]).search_string(text))
                    self.assertEqual(element.search_string_count(text), v.MatchFirst([element]).search_string_count(text))

    def test_and_road_equals_the_generic_driver_on_random_sequences(self):
        # Random sequences of leaves and small combinators, children that skip whitespace
        # and one that does not (rest_of_line), over short texts with whitespace and é.
        rng = random.Random(8)
        leaves = [lambda: v.Literal(rng.choice(["a", "b", "ab", "", "é"])), lambda: v.Char(rng.choice(["ab", "é", "\n"])),
                  lambda: v.Word(rng.choice(["ab", "Ã"])), lambda: v.Keyword("a"), lambda: v.Regex(rng.choice(["a*", "[ab]"])),
                  v.LineEnd, v.LineStart, v.rest_of_line, v.Empty, v.StringEnd]
        wrappers = [v.Optional, v.ZeroOrMore, v.OneOrMore, v.Group, v.Suppress, v.Combine, v.SkipTo,
                    lambda x: v.MatchFirst([x, v.Literal("b")])]

        def part():
            x = rng.choice(leaves)()
            return rng.choice(wrappers)(x) if rng.random() < 0.4 else x

        pieces = ["a", "b", " ", "\n", "é", "ab"]
        texts = ["".join(rng.choice(pieces) for _ in range(rng.randint(1, 7))) for _ in range(80)]
        for _ in range(150):
            seq = part() + part()
            if rng.random() < 0.5:
                seq = seq + part()
            plain = v.MatchFirst([seq])
            for text in texts:
                self.assertEqual(seq.search_string(text), plain.search_string(text), text)
                self.assertEqual(seq.search_string_count(text), plain.search_string_count(text), text)

    def test_literal_and_word_periodic_counts_equal_the_scan(self):
        texts = periodic_texts("ab ", 7, 300, 4) + ["ab " * 4, "a" * 10, " " * 8, "x" + "y" * 1099 + "x" + "y" * 1099]
        for element in (v.Literal("ab"), v.Literal("b"), v.Literal("aba"), v.Literal("b a"),
                        v.Word("ab"), v.Word("a"), v.Word("a", "b"), v.Word("ab", "b"), v.Word("b", "a ")):
            for text in texts:
                with self.subTest(element=type(element).__name__, text=text[:20]):
                    self.assertEqual(element.search_string_count(text), v.Group(element).search_string_count(text))

    def test_flat_search_equals_the_words_of_search_string_on_both_roads(self):
        words = [v.Word("ab"), v.Word("a", "b"), v.Word("ab", "b"), v.Word("b", "a "), v.Word(" "), v.Word("abcdefghij"),
                 v.Word("Ã"), v.Word("é", "é ")]
        texts = (TEXTS + periodic_texts("ab é", 7, 200, 5) + ["ab " * 4, "ab ab a", "abab", "a a bbbbb", " " * 6]
                 + periodic_texts("abcdefghij ", 120, 30, 6))
        for word in words:
            for text in texts:
                with self.subTest(text=text[:20]):
                    flat = word._search_string_flat(text)
                    self.assertEqual(flat, [item[0] for item in word.search_string(text)])
                    self.assertPlainTokens(flat)
                    by_text = {}
                    for s in flat:
                        self.assertIs(by_text.setdefault(s, s), s)  # equal words: one str object

    def test_flat_search_cases(self):
        w = v.Word("ab")
        result = w._search_string_flat("ab " * 4)
        self.assertEqual(result, ["ab"] * 4)
        self.assertTrue(all(s is result[0] for s in result))
        self.assertEqual(w._search_string_flat("ab ab a"), ["ab", "ab", "a"])
        self.assertEqual(w._search_string_flat("abab"), ["abab"])
        self.assertEqual(w._search_string_flat("a a bbbbb"), ["a", "a", "bbbbb"])
        self.assertEqual(w._search_string_flat("    "), [])
        self.assertEqual(w._search_string_flat(""), [])
        self.assertEqual(v.Word("ab", "a")._search_string_flat("ab"), ["a", "b"])
        # Long words sharing their first eight bytes and their length stay distinct.
        long_words = v.Word("abcdefghijkl")
        text = "abcdefghij abcdefghik " * 5
        self.assertEqual(long_words._search_string_flat(text), ["abcdefghij", "abcdefghik"] * 5)

    def test_flat_search_with_more_distinct_words_than_the_period_table_holds(self):
        words = [chr(ord("a") + i // 26) + chr(ord("a") + i % 26) for i in range(40)]
        block = " ".join(words) + " "
        for text in (block * 3, block * 3 + "ab"):
            with self.subTest(tail=len(text) % len(block)):
                self.assertEqual(v.Word("abcdefghijklmnopqrstuvwxyz")._search_string_flat(text), text.split())


def iteration_spans(pattern, text):
    """The successive non-overlapping leftmost-first matches of `pattern` (a compiled re)
    over `text`, by the iteration rule of the Regex roads: each search starts where the
    previous match ended, and an empty match ending where the previous match ended is not
    reported; the search then starts one character further. Offsets count characters, so
    no match can split one."""
    spans, start, last_end = [], 0, None
    while start <= len(text):
        m = pattern.search(text, start)
        if m and m.start() == m.end() == last_end:
            m = pattern.search(text, start + 1) if start < len(text) else None
        if not m:
            break
        spans.append((m.start(), m.end()))
        start = last_end = m.end()
    return spans


class RegexIterationTest(ModuleTestCase):
    # Patterns on which the standard re module (ASCII classes, as the Unicode-off build
    # gives them) chooses the same leftmost-first match at every position; many can match
    # the empty string, which is where the iteration rule matters.
    PATTERNS = ["a*", "", "a|ab", "ab|a", "b*a", "(?:a|b)*", "a?", "a*?", "(?:ab)*", "b|", "|b", "é*", "é|", "[aé]*",
                "[^a]", ".", "^", "^a*", "$", "a*$", r"\b", r"\ba*", r"a*\b", r"\w*", r"\bé", r"\s*", r"\s+", "[ab]",
                "(?m)^a*"]

    def test_search_count_and_transform_follow_the_iteration_rule(self):
        rng = random.Random(3)
        pieces = ["a", "b", " ", "\t", "é", "€", "ab", "_1"]
        texts = [""] + ["".join(rng.choice(pieces) for _ in range(rng.randint(1, 8))) for _ in range(400)]
        for source in self.PATTERNS:
            regex, model = v.Regex(source), re.compile(source, re.ASCII)
            with self.subTest(pattern=source):
                for text in texts:
                    spans = iteration_spans(model, text)
                    self.assertEqual(regex.search_string(text), [[text[a:b]] for a, b in spans], text)
                    self.assertEqual(regex.search_string_count(text), len(spans), text)
                    pieces_out, last = [], 0
                    for a, b in spans:
                        pieces_out += [text[last:a], "-"]
                        last = b
                    self.assertEqual(regex.transform_string(text, "-"), "".join(pieces_out) + text[last:], text)


class WholeCharacterTest(ModuleTestCase):
    """Sets holding bytes that occur inside multi-byte characters: search_string reports no
    match that starts inside a character and widens an end inside one to the character's
    end; counts cut no text and count every hit of the scan."""

    def test_hits_inside_characters(self):
        cases = [
            (v.Char("é"), "é", [["é"]], 2),  # 0xC3 widened to é; 0xA9 alone starts inside it
            (v.Word("Ã"), "éé", [["é"], ["é"]], 2),
            (v.Word("©"), "é", [], 1),  # 0xA9 only ever continues a character
            (v.Word("a", "Ã"), "aé", [["aé"]], 1),
            (v.Group(v.Char("é")), "é", [[["é"]]], 2),
            (v.OneOrMore(v.Char("©")), "aé", [], 1),
        ]
        for element, text, found, count in cases:
            with self.subTest(element=type(element).__name__, text=text):
                self.assertEqual(element.search_string(text), found)
                self.assertEqual(element.search_string_count(text), count)

    def test_every_result_is_made_of_whole_characters(self):
        pieces = ["a", "é", "©", "€", " ", "ñ"]
        rng = random.Random(7)
        texts = ["".join(rng.choice(pieces) for _ in range(rng.randint(0, 9))) for _ in range(300)]
        elements = [v.Char("é©"), v.Word("Ã©"), v.Word("a", "©Ã"), v.Char("\u00e2") + v.Char("©"),
                    v.OneOrMore(v.Char("é€")), v.Combine(v.Char("é") + v.Char("é")), v.SkipTo(v.Char("©"))]
        for element in elements:
            for text in texts:
                with self.subTest(text=text):
                    for entry in element.search_string(text):
                        self.assertPlainTokens(entry)
                    if isinstance(element, v.Word):
                        flat = element._search_string_flat(text)
                        self.assertEqual(flat, [e[0] for e in element.search_string(text)])
                        for word in flat:
                            self.assertIn(word, text)


class StackGuardTest(ModuleTestCase):
    def test_a_scan_stopped_by_the_stack_guard_reports_it(self):
        grammar = deep_grammar()
        deep = "(" * 100_000 + "1" + ")" * 100_000
        for method in (grammar.search_string, grammar.search_string_count, (v.Literal("(") + grammar).search_string):
            with self.subTest(method=method.__qualname__):
                self.assertRaisesText(ValueError, "ParseException at position 0: Grammar nesting too deep for the stack",
                                      method, deep)
        self.assertEqual(grammar.search_string("(1) 2"), [[["1"]], ["2"]])

    def test_a_stopped_call_releases_what_it_had_built(self):
        # Matches found before the stop (and, at a depth that the scan's matcher still
        # reaches but the parse of a match does not, the lists of earlier matches) are
        # released with the error: repeating the call leaves no objects behind.
        import gc
        import sys
        grammar = deep_grammar()
        parse_stops, scan_stops = ("(1) 2 x " * 5 + "(" * depth + "1" + ")" * depth for depth in (10_000, 100_000))
        calls = [lambda: v.Group(grammar).search_string(parse_stops), lambda: grammar.search_string(scan_stops),
                 lambda: (v.Literal("(") + grammar).search_string(scan_stops),
                 lambda: grammar.search_string_count(scan_stops), lambda: grammar.transform_string(scan_stops, "E")]

        def run(call):
            try:
                call()
            except ValueError:
                pass

        try:
            count = grammar.search_string_count(parse_stops)
        except ValueError:
            pass  # frames of this build are larger: the scan stops there too, as in the calls below
        else:
            self.assertEqual(count, 11)  # the scan's matcher gets through
        for i, call in enumerate(calls):
            with self.subTest(i=i):
                self.assertRaises(ValueError, call)
                gc.collect()
                before = sys.getallocatedblocks()
                for _ in range(40):
                    run(call)
                gc.collect()
                self.assertLess(sys.getallocatedblocks() - before, 20)


class SearchRefcountTest(ModuleTestCase):
    def test_loops_leave_reference_counts_unchanged(self):
        lit, kw, word = v.Literal("ab"), v.Keyword("if"), v.Word("ab")
        text = "ab if " * 3 + "ab"
        cached = (lit.parse_string("ab")[0], kw.parse_string("if")[0])
        calls = [lambda: lit.search_string(text), lambda: kw.search_string(text), lambda: word.search_string(text),
                 lambda: word._search_string_flat(text), lambda: word._search_string_flat("ab " * 8),
                 lambda: word._search_string_flat("ab " * 8 + "a"), lambda: v.Regex("a*").search_string(text),
                 lambda: (lit + kw).search_string(text), lambda: v.Group(lit).search_string(text),
                 lambda: lit.search_string_count(text)]
        for i, call in enumerate(calls):
            with self.subTest(i=i):
                self.assertRefcountsStable([lit, kw, word, text, *cached], call, rounds=2000)

    def test_flat_periodic_strings_hold_one_reference_per_entry(self):
        import sys
        result = v.Word("ab")._search_string_flat("xyz ab " * 10 + "ab")
        self.assertEqual(result, ["ab"] * 11)
        # the list's 11 entries, and the argument of getrefcount
        self.assertEqual(sys.getrefcount(result[0]), 11 + 1)
        del result


if __name__ == "__main__":
    unittest.main()
