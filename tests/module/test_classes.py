"""The 26 class declarations: names, sizes, flags, docstrings and method tables."""
import unittest
import weakref

import vantorel as v
from support import FREE_THREADED, ModuleTestCase
from test_module import CLASS_NAMES

SIGNATURES = {
    "Literal": "(s)", "CaselessLiteral": "(s)", "Keyword": "(s)", "CaselessKeyword": "(s)",
    "Char": "(s)", "Word": "(init_chars, body_chars=None)", "Regex": "(pattern)",
    "QuotedString": '(quote_char="\\"", esc_char=None, multiline=False, unquote=True)',
    "Empty": "()", "NoMatch": "()", "LineStart": "()", "LineEnd": "()", "StringStart": "()",
    "StringEnd": "()", "rest_of_line": "()", "MatchFirst": "(exprs)", "Optional": "(expr)",
    "ZeroOrMore": "(expr)", "OneOrMore": "(expr)", "Exactly": "(expr, count)", "Group": "(expr)",
    "Suppress": "(expr)", "Combine": "(expr)", "SkipTo": "(expr)", "Forward": "()",
}

COMMON_ORDER = ["parse_string", "matches", "search_string_count", "search_string",
                "parse_batch_count", "parse_batch", "transform_string"]
METHOD_ORDER = {
    "Literal": ["parse_string", "matches", "parse_batch", "search_string", "search_string_count",
                "parse_batch_count", "transform_string"],
    "Regex": ["parse_string", "matches", "search_string_count", "search_string", "parse_batch",
              "parse_batch_count", "transform_string"],
    "Word": ["parse_string", "parse_batch", "parse_batch_count", "search_string_count", "matches",
             "search_string", "_search_string_flat", "transform_string"],
    "Forward": ["set"] + COMMON_ORDER,
}

METHOD_SIGNATURES = {
    "parse_string": "($self, s)", "matches": "($self, s)", "search_string": "($self, s)",
    "search_string_count": "($self, s)", "_search_string_flat": "($self, s)",
    "transform_string": "($self, s, replacement)", "parse_batch": "($self, inputs)",
    "parse_batch_count": "($self, inputs)", "set": "($self, expr)",
}

FREE_TEXTS = {
    ("Literal", "matches"): "Zero-allocation match check \u2014 skips leading whitespace, requires full match",
    ("Literal", "parse_batch"): "Full raw FFI batch parse \u2014 uniform detection + bulk INCREF, last-ptr fallback",
    ("Literal", "search_string"): "Search string \u2014 cycle-aware count + PySequence_Repeat for optimal list creation",
    ("Literal", "search_string_count"): "Count occurrences \u2014 cycle detection fast path + SIMD memchr fallback",
    ("Literal", "parse_batch_count"): "Full raw FFI count \u2014 uniform detection + last-ptr fallback",
    ("Literal", "transform_string"): "Replace all non-overlapping matches with replacement string.\n"
                                     "Uses SIMD-accelerated memchr::memmem for literal search.",
    ("Keyword", "parse_string"): "Fast keyword parse \u2014 uses try_match_at + cached PyString, zero allocation",
    ("Keyword", "search_string"): "Search string \u2014 count + PySequence_Repeat (same pattern as Literal)",
    ("Keyword", "parse_batch"): "Specialized parse_batch \u2014 cached PyString + last-pointer cache",
    ("Word", "parse_batch"): "Cyclic detection + hash-based cache fallback + bulk INCREF",
    ("Word", "parse_batch_count"): "Count word matches in batch \u2014 uniform + cycle + hash cache",
    ("Word", "search_string_count"): "Count word matches in large text \u2014 cycle detection + branchless scan",
    ("Word", "matches"): "Zero-allocation match check via try_match_at",
    ("Word", "search_string"): "Optimized Word search_string \u2014 O(1) byte-table scanning, dedup, list-of-lists output",
    ("Word", "_search_string_flat"): "UNUSED: Original optimized search_string (returns flat list).",
    ("Word", "transform_string"): "Specialized transform: uses 256-byte lookup tables for direct byte scanning.",
    ("Regex", "matches"): "Zero-allocation match check \u2014 skips leading whitespace, requires full match",
    ("Regex", "search_string_count"): "Count regex matches in text \u2014 uses find_iter for SIMD-accelerated search",
    ("Regex", "search_string"): "Optimized regex search \u2014 uses find_iter for SIMD-accelerated scanning",
    ("Regex", "parse_batch"): "Cyclic detection + hash-based cache fallback + bulk INCREF",
    ("Regex", "parse_batch_count"): "Count regex matches in batch \u2014 uniform + cycle + hash cache",
    ("Regex", "transform_string"): "Specialized: uses regex replace_all for efficient in-engine replacement.",
    ("And", "parse_string"): "Parse using parse_impl for correct multi-token handling.\n"
                             "Uses try_match_at fast path for Normal elements, parse_impl for Complex/Suppress/Group.",
    ("And", "matches"): "Zero-allocation match check using try_match_at (no ParseResults)",
    ("And", "search_string"): "Search string \u2014 uses parse_impl for correct multi-token results, returns list-of-lists",
    ("And", "parse_batch_count"): "Cyclic detection + hash-based pointer cache count",
    ("And", "parse_batch"): "Cyclic detection + hash-based cache fallback + indexed tokens",
    ("Forward", "set"): "Set the inner parser expression (equivalent to <<= in merlak).",
}
# One-line texts of our own wording.
OWN_WORDING = {("Literal", "parse_string"), ("Word", "parse_string"), ("Regex", "parse_string")}


class ClassDeclarationTest(ModuleTestCase):
    def test_names_and_module(self):
        for name in CLASS_NAMES:
            with self.subTest(name):
                cls = getattr(v, name)
                self.assertEqual(cls.__name__, name)
                self.assertEqual(cls.__qualname__, name)
                self.assertEqual(cls.__module__, "builtins")

    def test_basic_sizes(self):
        """Each instance is the object header and its fields: 48 bytes for Literal, 24 for
        Keyword, 16 for the others. With the standard header that makes 64, 40 and 32; the
        free-threaded header is larger, and only the header grows."""
        header = object.__basicsize__
        for name in CLASS_NAMES:
            with self.subTest(name):
                size = getattr(v, name).__basicsize__
                self.assertEqual(size, header + {"Literal": 48, "Keyword": 24}.get(name, 16))
                if not FREE_THREADED:
                    self.assertEqual(size, {"Literal": 64, "Keyword": 40}.get(name, 32))
                self.assertEqual(getattr(v, name).__itemsize__, 0)

    def test_flags(self):
        base_type, disallow, heap, immutable, gc = 1 << 10, 1 << 7, 1 << 9, 1 << 8, 1 << 14
        for name in CLASS_NAMES:
            with self.subTest(name):
                flags = getattr(v, name).__flags__
                self.assertEqual(bool(flags & disallow), name == "And")
                self.assertTrue(flags & heap)
                self.assertFalse(flags & (base_type | immutable | gc))
                self.assertEqual(getattr(v, name).__base__, object)

    def test_cannot_be_subclassed(self):
        for name in CLASS_NAMES:
            with self.subTest(name):
                with self.assertRaises(TypeError):
                    type("Sub", (getattr(v, name),), {})

    def test_class_attributes_can_be_set(self):
        v.Empty.some_attribute = 1
        self.assertEqual(v.Empty.some_attribute, 1)
        del v.Empty.some_attribute

    def test_and_cannot_be_called(self):
        with self.assertRaises(TypeError) as caught:
            v.And()
        self.assertIn("builtins.And", str(caught.exception))

    def test_class_docstrings_are_signatures(self):
        for name in CLASS_NAMES:
            with self.subTest(name):
                cls = getattr(v, name)
                if name == "And":
                    self.assertIsNone(cls.__doc__)
                    self.assertIsNone(cls.__text_signature__)
                else:
                    self.assertEqual(cls.__text_signature__, SIGNATURES[name])
                    self.assertIn(cls.__doc__, (None, ""))

    def test_method_order_and_docstrings(self):
        for name in CLASS_NAMES:
            cls = getattr(v, name)
            order = METHOD_ORDER.get(name, COMMON_ORDER)
            own = [k for k, m in vars(cls).items() if type(m).__name__ == "method_descriptor"]
            with self.subTest(name):
                self.assertEqual(own, order)
            for method in order:
                with self.subTest(cls=name, method=method):
                    m = getattr(cls, method)
                    self.assertEqual(m.__text_signature__, METHOD_SIGNATURES[method])
                    if (name, method) in OWN_WORDING:
                        self.assertIsInstance(m.__doc__, str)
                        self.assertNotIn("\n", m.__doc__)
                    else:
                        self.assertEqual(m.__doc__, FREE_TEXTS.get((name, method)))

    def test_slots_present_and_absent(self):
        # Every class has +; all but And have | and a constructor; only Forward has <<=.
        # No class defines repr, str, hash, comparison, call, iteration or attribute slots.
        absent = ["__repr__", "__str__", "__hash__", "__eq__", "__lt__", "__call__", "__iter__",
                  "__getattribute__", "__setattr__", "__init__", "__dict__", "__weakref__"]
        for name in CLASS_NAMES:
            with self.subTest(name):
                own = vars(getattr(v, name))
                self.assertIn("__add__", own)
                self.assertEqual("__or__" in own, name != "And")
                self.assertEqual("__new__" in own, name != "And")
                self.assertEqual("__ilshift__" in own, name == "Forward")
                self.assertEqual([k for k in absent if k in own], [])

    def test_instances_have_no_dict_or_weakref_and_compare_by_identity(self):
        a, b = v.Empty(), v.Empty()
        with self.assertRaises(AttributeError):
            a.x = 1
        with self.assertRaises(TypeError):
            weakref.ref(a)
        self.assertIsNot(a, b)
        self.assertNotEqual(a, b)
        self.assertEqual(a, a)
        self.assertIs(type(hash(a)), int)
        self.assertTrue(repr(a).startswith("<builtins.Empty object at "))


if __name__ == "__main__":
    unittest.main()
