"""Module-level timings of the methods' hot roads, with the C++ heap allocations per call.

Run from the repository root after a build with -DVANTOREL_BUILD_BENCH=ON:

    LD_PRELOAD=build/libvantorel_alloc_count.so PYTHONPATH=build/python \
        python3 bench/module_bench.py [name-filter]

Each case prints the best time per call over a few rounds and, when the counting library
is preloaded, the calls of the global operator new per method call (the module's own C++
code and RE2 allocate through it; the interpreter's objects do not). Without the preload
the allocation column is left empty.
"""

import ctypes
import random
import sys
import time

import vantorel as v


def allocation_counter():
    try:
        fn = ctypes.CDLL(None).vantorel_bench_allocations
    except AttributeError:
        return None
    fn.restype = ctypes.c_uint64
    fn.argtypes = []
    return fn


ALLOCATIONS = allocation_counter()


def measure(fn, calls):
    """Best seconds per call over five rounds, and operator-new calls per call."""
    fn()
    best = float("inf")
    allocs = None
    for _ in range(5):
        before = ALLOCATIONS() if ALLOCATIONS else 0
        start = time.perf_counter()
        for _ in range(calls):
            fn()
        elapsed = time.perf_counter() - start
        if ALLOCATIONS:
            allocs = (ALLOCATIONS() - before) / calls
        best = min(best, elapsed / calls)
    return best, allocs


def raising(fn):
    def call():
        try:
            fn()
        except ValueError:
            pass
    return call


def words_text(size):
    """Words drawn at random (fixed seed), so the text has no period."""
    rng = random.Random(99)
    words = ["if", "else", "gamma", "delta", "x1", "ifx", "xif", "word", "a", "bb"]
    out = []
    n = 0
    while n < size:
        w = rng.choice(words)
        out.append(w)
        n += len(w) + 1
    return " ".join(out)[:size]


PLAIN = words_text(100_000)
PERIODIC = ("if gamma delta word " * 5000)[:100_000]
LINES = "\n".join(PLAIN[i:i + 40] for i in range(0, len(PLAIN), 40))
SMALL = "  gamma delta"

alphas = v.alphas()
lit = v.Literal("gamma")
kw = v.Keyword("gamma")
word = v.Word(alphas)
rx = v.Regex("[a-z]+")
seq = v.Literal("gamma") + v.Word(alphas)
alt = v.Literal("x") | v.Literal("y") | v.Word(alphas)
sup = v.Suppress(v.Literal("gamma"))
opt = v.Optional(v.Literal("gamma"))
cl = v.CaselessLiteral("GAMMA")
ch = v.Char("abc")
qs = v.QuotedString()
grp = v.Group(v.Literal("gamma"))
lineend = v.LineEnd()

# Inputs that every batch element above matches at byte 0, with a shorter match than the
# input (so Word and Regex make new strings) and two tokens for the sequence.
strs = ["gamma" + "abcdefghij"[i % 10] * (1 + i // 10) + str(i) for i in range(64)]
uniform = [strs[0]] * 10_000
period = (strs[:10] * 1000)
distinct = [f"gamma{'xyz'[i % 3]}{i}" for i in range(10_000)]
few = [strs[i % 7] for i in range(10_000)]
few[-1] = strs[9]  # breaks the period: the identity road

CASES = [
    # parse_string: the fast paths and the generic road.
    ("parse_string Literal hit", lambda: lit.parse_string(SMALL), 200_000),
    ("parse_string Literal miss", raising(lambda: lit.parse_string("  delta")), 100_000),
    ("parse_string Keyword hit", lambda: kw.parse_string(SMALL), 200_000),
    ("parse_string Keyword miss", raising(lambda: kw.parse_string("  gammax")), 100_000),
    ("parse_string Word", lambda: word.parse_string(SMALL), 200_000),
    ("parse_string Word miss", raising(lambda: word.parse_string("  1")), 100_000),
    ("parse_string Regex", lambda: rx.parse_string(SMALL), 200_000),
    ("parse_string Suppress", lambda: sup.parse_string(SMALL), 200_000),
    ("parse_string Optional", lambda: opt.parse_string(SMALL), 200_000),
    ("parse_string MatchFirst", lambda: alt.parse_string(SMALL), 200_000),
    ("parse_string And", lambda: seq.parse_string(SMALL), 200_000),
    ("parse_string And miss", raising(lambda: seq.parse_string("  gamma 1")), 100_000),
    ("parse_string CaselessLiteral (generic)", lambda: cl.parse_string(SMALL), 200_000),
    ("parse_string generic miss", raising(lambda: cl.parse_string("  delta")), 100_000),
    # matches
    ("matches Literal", lambda: lit.matches(" gamma "), 200_000),
    ("matches Word", lambda: word.matches(" gamma "), 200_000),
    ("matches And", lambda: seq.matches(SMALL), 200_000),
    ("matches Regex", lambda: rx.matches(" gamma "), 200_000),
    # search_string over 100 kB
    ("search_string Literal plain", lambda: lit.search_string(PLAIN), 200),
    ("search_string Keyword plain", lambda: kw.search_string(PLAIN), 200),
    ("search_string Word plain", lambda: word.search_string(PLAIN), 50),
    ("search_string Regex plain", lambda: rx.search_string(PLAIN), 20),
    ("search_string Char plain", lambda: ch.search_string(PLAIN), 50),
    ("search_string And plain", lambda: seq.search_string(PLAIN), 50),
    ("search_string Group plain", lambda: grp.search_string(PLAIN), 50),
    ("search_string QuotedString plain", lambda: qs.search_string(PLAIN), 50),
    ("_search_string_flat Word plain", lambda: word._search_string_flat(PLAIN), 50),
    ("_search_string_flat Word periodic", lambda: word._search_string_flat(PERIODIC), 50),
    # search_string_count over 100 kB
    ("count Literal plain", lambda: lit.search_string_count(PLAIN), 500),
    ("count Literal periodic", lambda: lit.search_string_count(PERIODIC), 5000),
    ("count Keyword plain", lambda: kw.search_string_count(PLAIN), 500),
    ("count Word plain", lambda: word.search_string_count(PLAIN), 500),
    ("count Word periodic", lambda: word.search_string_count(PERIODIC), 5000),
    ("count Char plain", lambda: ch.search_string_count(PLAIN), 500),
    ("count LineEnd lines of 40 bytes", lambda: lineend.search_string_count(LINES), 2000),
    ("count Regex plain", lambda: rx.search_string_count(PLAIN), 50),
    ("count And plain", lambda: seq.search_string_count(PLAIN), 100),
    ("count CaselessLiteral plain", lambda: cl.search_string_count(PLAIN), 100),
    # transform_string over 100 kB
    ("transform Literal plain", lambda: lit.transform_string(PLAIN, "G"), 500),
    ("transform Word plain", lambda: word.transform_string(PLAIN, "W"), 100),
    ("transform Regex plain", lambda: rx.transform_string(PLAIN, "R"), 20),
    ("transform Char plain", lambda: ch.transform_string(PLAIN, "C"), 100),
    ("transform And plain", lambda: seq.transform_string(PLAIN, "S"), 50),
    # parse_batch over 10,000 inputs
    ("parse_batch generic uniform", lambda: cl.parse_batch(uniform), 2000),
    ("parse_batch generic period", lambda: cl.parse_batch(period), 1000),
    ("parse_batch generic distinct", lambda: cl.parse_batch(distinct), 100),
    ("parse_batch Literal distinct", lambda: lit.parse_batch(distinct), 500),
    ("parse_batch Word period", lambda: word.parse_batch(period), 1000),
    ("parse_batch Word identity", lambda: word.parse_batch(few), 500),
    ("parse_batch Word distinct", lambda: word.parse_batch(distinct), 100),
    ("parse_batch Regex identity", lambda: rx.parse_batch(few), 500),
    ("parse_batch And uniform", lambda: seq.parse_batch(uniform), 2000),
    ("parse_batch And period", lambda: seq.parse_batch(period), 1000),
    ("parse_batch And identity", lambda: seq.parse_batch(few), 500),
    ("parse_batch And distinct", lambda: seq.parse_batch(distinct), 100),
    # parse_batch_count over 10,000 inputs
    ("parse_batch_count generic uniform", lambda: cl.parse_batch_count(uniform), 5000),
    ("parse_batch_count generic identity", lambda: cl.parse_batch_count(few), 500),
    ("parse_batch_count generic distinct", lambda: cl.parse_batch_count(distinct), 200),
    ("parse_batch_count Literal distinct", lambda: lit.parse_batch_count(distinct), 500),
    ("parse_batch_count Keyword identity", lambda: kw.parse_batch_count(few), 500),
    ("parse_batch_count Word identity", lambda: word.parse_batch_count(few), 500),
    ("parse_batch_count Regex distinct", lambda: rx.parse_batch_count(distinct), 100),
    ("parse_batch_count And identity", lambda: seq.parse_batch_count(few), 500),
]


def main(argv):
    pattern = argv[1] if len(argv) > 1 else ""
    print(f"{'case':45} {'time/call':>12} {'allocs/call':>12}")
    for name, fn, calls in CASES:
        if pattern not in name:
            continue
        seconds, allocs = measure(fn, calls)
        if seconds < 1e-6:
            shown = f"{seconds * 1e9:8.1f} ns"
        elif seconds < 1e-3:
            shown = f"{seconds * 1e6:8.2f} us"
        else:
            shown = f"{seconds * 1e3:8.2f} ms"
        count = "" if allocs is None else f"{allocs:.2f}"
        print(f"{name:45} {shown:>12} {count:>12}")


if __name__ == "__main__":
    main(sys.argv)
