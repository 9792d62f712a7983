"""No reference is leaked or over-released: loops of succeeding and failing calls leave
the reference counts of their arguments, results and cached strings as they were."""
import sys
import unittest

import vantorel as v
from support import ModuleTestCase


class RefcountTest(ModuleTestCase):
    def test_successful_and_failing_parses(self):
        text_ok, text_bad = "".join(["  A", "B cd"]), "".join(["x", "y"])
        element = v.CaselessLiteral("ab")

        def call():
            element.parse_string(text_ok)
            try:
                element.parse_string(text_bad)
            except ValueError:
                pass

        self.assertRefcountsStable([element, text_ok, text_bad], call)

    def test_literal_and_keyword_cached_strings(self):
        lit, kw = v.Literal("ab"), v.Keyword("if")
        cached = [lit.parse_string("ab")[0], kw.parse_string("if")[0]]

        def call():
            lit.parse_string("ab")
            kw.parse_string("if")
            for e, t in ((lit, "x"), (kw, "iff")):
                try:
                    e.parse_string(t)
                except ValueError:
                    pass

        self.assertRefcountsStable([lit, kw] + cached, call)

    def test_argument_errors(self):
        element = v.CaselessLiteral("a")
        arg_int, arg_tuple, arg_bad = 123456789, ("a",), "a\udcff"
        keyword_value = "".join(["k", "w"])

        def call():
            for f in (lambda: element.parse_string(arg_int),
                      lambda: element.parse_string(arg_bad),
                      lambda: element.parse_string(arg_int, arg_int),
                      lambda: element.parse_string(s=keyword_value, t=keyword_value),
                      lambda: element.parse_string(keyword_value, s=keyword_value),
                      lambda: element.parse_batch(arg_tuple),
                      lambda: v.Literal(arg_int),
                      lambda: v.Word(keyword_value, arg_int),
                      lambda: v.QuotedString(keyword_value, None, arg_int),
                      lambda: v.Exactly(element, keyword_value),
                      lambda: v.one_of(arg_tuple)):
                try:
                    f()
                except (TypeError, UnicodeEncodeError):
                    pass

        self.assertRefcountsStable([element, arg_int, arg_tuple, arg_bad, keyword_value], call)

    def test_constructors_and_module_functions(self):
        text = "".join(["a", "b c"])

        def call():
            v.Literal(text)
            v.Keyword(text)
            v.CaselessLiteral(text)
            v.CaselessKeyword(text)
            v.Char(text)
            v.Word(text, text).parse_string(text)
            v.QuotedString(text, text, True, False)
            v.one_of(text).parse_string(text)
            v.Empty()
            v.rest_of_line().parse_string(text)
            v.alphas()
            try:
                v.one_of("  ")
            except ValueError:
                pass

        self.assertRefcountsStable([text, v.Literal, v.MatchFirst, v.Empty], call)

    def test_objects_are_freed(self):
        # Every instance made and dropped is freed: the class's count comes back.
        for cls, args in ((v.Literal, ("a",)), (v.Keyword, ("a",)), (v.CaselessLiteral, ("a",)),
                          (v.Empty, ())):
            with self.subTest(cls.__name__):
                self.assertRefcountsStable([cls], lambda: cls(*args), rounds=1000)
                before = sys.getrefcount(cls)
                kept = [cls(*args) for _ in range(100)]
                self.assertEqual(sys.getrefcount(cls), before + 100)
                del kept
                self.assertEqual(sys.getrefcount(cls), before)


if __name__ == "__main__":
    unittest.main()
