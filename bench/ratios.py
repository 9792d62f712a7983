"""Ratio benchmark: each workload beside the Python a user would write for it.

Run from the repository root after `bash scripts/test.sh` has built build/release:

    bash bench/ratios.sh [--quick] [--only NAME[,NAME...]] [--markdown] [--gc]

Every row runs one operation of the module and its plain-Python equivalent on the same input,
in one process and one thread, and prints the best of five times of each and the speedup
(Python's time divided by ours; below 1x the plain Python is faster). Before timing, each row
computes both results once and checks that they are the same (same count, same list, same
text), so both sides do the same work; a row whose results differ prints MISMATCH and the run
exits with status 1. The cyclic garbage collector is off while a call is timed (as in
`timeit`), unless --gc keeps it on (as programs usually run), and the result is released after
the clock stops.

The inputs are generated from fixed seeds, so every run measures the same data:
- log: a 50 MB log text of about 358,000 lines; about 2 % of its words are non-ASCII, so the
  interpreter stores it with two bytes per character. Its UTF-8 form, which the module reads,
  is made by the interpreter on the first call and kept with the str; the timed calls reuse it.
- ascii: the same text without the non-ASCII words.
- distinct: 1,000,000 words of the log, each its own str object.
- 16 texts: 1,000,000 distinct str objects, each equal to one of 16 texts.
- exprs: 20,000 arithmetic expressions, about 236 characters and 81 tokens each, parentheses
  nested up to three deep.
The Regex construction rows time one construction; they have no Python side.

--quick shrinks every input twentyfold (a smoke run; its ratios are not the reference ones),
--only runs the rows whose names contain one of the given texts, --markdown prints the table
in Markdown.
"""

import argparse
import gc
import os
import platform
import random
import re
import sys
import time

import vantorel as v

REPEAT = 5

# ---------------------------------------------------------------------------------------------
# Inputs

LEVELS = ("INFO",) * 10 + ("DEBUG",) * 5 + ("WARN",) * 3 + ("ERROR",) * 2 + ("FATAL",)
COMPONENTS = (
    "auth.session", "auth.token", "db.pool", "db.query", "http.server", "http.client",
    "cache.lru", "queue.worker", "billing.invoice", "search.index", "storage.blob", "sched",
)
USERS = ("alice", "bob", "carol", "dave", "erin", "frank", "grace", "heidi", "mallory")
METHODS = ("GET", "POST", "PUT", "DELETE")
PATHS = ("/api/login", "/api/orders", "/static/app.js", "/index.html", "/api/search", "/health")
MESSAGE_WORDS = (
    "request", "completed", "started", "failed", "retrying", "upstream", "timeout", "after",
    "cache", "miss", "hit", "for", "key", "user", "session", "expired", "renewed", "query",
    "took", "longer", "than", "expected", "rows", "returned", "queued", "job", "worker",
    "idle", "busy", "invalid", "token", "signature", "payload", "too", "large", "the", "a",
    "on", "in", "with", "from", "to", "error", "warning", "closing", "opening", "stream",
)
PHRASES = (
    "connection reset by peer", "connection refused", "connection established",
    "connection reset", "connection closed by client",
)
# Words beyond ASCII; those with characters above U+00FF (Łódź, Δέλτα, ...) make the
# interpreter store the whole log with two bytes per character.
NON_ASCII_WORDS = (
    "Łódź", "Δέλτα", "привет", "東京", "naïve", "café", "Zürich", "résumé", "Straße",
    "Ærø", "Gdańsk", "señal", "søren", "Ελλάδα", "данные",
)
NON_ASCII_RATE = 0.055  # per message word: about 2 % of all the words of the log


def log_lines(rng, count):
    """Yields pairs of a log line and the same line without its non-ASCII words."""
    for i in range(count):
        second = i * 86400 // count
        stamp = (f"2024-03-{1 + i * 28 // count:02d} {second // 3600:02d}:"
                 f"{second // 60 % 60:02d}:{second % 60:02d}.{rng.randrange(1000):03d}")
        fields = [stamp, rng.choice(LEVELS), f"[{rng.choice(COMPONENTS)}]"]
        r = rng.random()
        if r < 0.35:
            fields.append(f"ip={rng.randrange(1, 255)}.{rng.randrange(256)}."
                          f"{rng.randrange(256)}.{rng.randrange(1, 255)}")
            fields.append(f"method={rng.choice(METHODS)} path={rng.choice(PATHS)}")
            fields.append(f"status={rng.choice((200, 200, 200, 201, 204, 301, 404, 500))}")
        elif r < 0.7:
            fields.append(f"user={rng.choice(USERS)} id=0x{rng.getrandbits(32):08x}")
            fields.append(f"retries={rng.randrange(13)}")
        else:
            fields.append(f"req={rng.getrandbits(64):016x} bytes={rng.randrange(1, 65536)}")
        fields.append(f"took={rng.randrange(400)}.{rng.randrange(100):02d}ms")
        prefix = " ".join(fields)
        words = [rng.choice(NON_ASCII_WORDS) if rng.random() < NON_ASCII_RATE
                 else rng.choice(MESSAGE_WORDS) for _ in range(rng.randint(2, 8))]
        if rng.random() < 0.08:
            words.insert(rng.randrange(len(words) + 1), rng.choice(PHRASES))
        ascii_words = [w for w in words if w.isascii()]
        suffix = f' agent="curl/8.{rng.randrange(10)}"' if rng.random() < 0.2 else ""
        yield (f'{prefix} msg="{" ".join(words)}"{suffix}',
               f'{prefix} msg="{" ".join(ascii_words)}"{suffix}')


def make_texts(lines):
    pairs = list(log_lines(random.Random(20240317), lines))
    log = "\n".join(p[0] for p in pairs) + "\n"
    ascii_text = "\n".join(p[1] for p in pairs) + "\n"
    return log, ascii_text


def make_distinct(log, count):
    """The first `count` words of the log of two characters or more, each its own object
    (the interpreter shares the strs of one character, so those are left out)."""
    words = [w for w in log[:count * 20].split() if len(w) >= 2][:count]
    assert len(words) == count, "log too short for the distinct list"
    return words


SIXTEEN = (
    "ERROR", "INFO", "user=alice", "retries=12", "3.75ms", "10.2.33.147", "0x3fa2c1d9",
    "[auth.session]", "took=3.75ms", '"connection', "2024-03-17", "12:34:56.789", "WARN",
    "bytes=4096", "Zürich", "Łódź",
)


def make_sixteen(count):
    """`count` distinct objects, each equal to one of SIXTEEN (a slice of a longer str is
    a new object)."""
    rng = random.Random(16)
    padded = [t + " " for t in SIXTEEN]
    return [padded[rng.randrange(16)][:-1] for _ in range(count)]


def number_text(rng):
    r = rng.random()
    if r < 0.55:
        return str(rng.randint(1, 999))
    if r < 0.85:
        return f"{rng.randint(0, 99)}.{rng.randint(0, 99):02d}"
    return str(rng.randint(1000, 99999))


GROUP_RATE = (0.30, 0.25, 0.20)  # chance that an operand is a parenthesised group, per depth


def expression_text(rng, depth=0):
    n = rng.randint(9, 19) if depth == 0 else rng.randint(2, 4)
    parts = []
    for i in range(n):
        if i:
            parts.append(rng.choice("+-*/"))
        if depth < 3 and rng.random() < GROUP_RATE[depth]:
            parts.append("(" + expression_text(rng, depth + 1) + ")")
        else:
            parts.append(number_text(rng))
    return " ".join(parts)


def make_exprs(count):
    rng = random.Random(236)
    return [expression_text(rng) for _ in range(count)]


class Inputs:
    """Builds each input on first use, so --only builds only what its rows need."""

    def __init__(self, scale):
        self.lines = 358_000 // scale
        self.items = 1_000_000 // scale
        self.expr_count = 20_000 // scale
        self._made = {}

    def __getitem__(self, name):
        if name not in self._made:
            self._made[name] = self._make(name)
        return self._made[name]

    def _make(self, name):
        if name in ("log", "ascii"):
            self._made["log"], self._made["ascii"] = make_texts(self.lines)
            return self._made[name]
        if name == "distinct":
            items = make_distinct(self["log"], self.items)
        elif name == "16 texts":
            items = make_sixteen(self.items)
        else:
            return make_exprs(self.expr_count)
        assert len(set(map(id, items))) == len(items), f"{name}: items are not distinct objects"
        return items

    def describe(self, name):
        data = self[name]
        if isinstance(data, str):
            words = data.split()
            non_ascii = sum(not w.isascii() for w in words)
            width = (sys.getsizeof(data) - sys.getsizeof("")) // max(len(data), 1)
            return (f"{name}: {len(data.encode()) / 1e6:.1f} MB UTF-8, {data.count(chr(10)):,} "
                    f"lines, {100 * non_ascii / len(words):.2f} % non-ASCII words, "
                    f"{width} byte(s) per character")
        if name == "exprs":
            tokens = sum(len(ARITH_TOKEN.findall(e)) for e in data)
            return (f"exprs: {len(data):,} expressions, mean {sum(map(len, data)) / len(data):.0f} "
                    f"characters and {tokens / len(data):.0f} tokens")
        return f"{name}: {len(data):,} distinct objects, {len(set(data)):,} distinct texts"


# ---------------------------------------------------------------------------------------------
# The arithmetic grammar, and the recursive-descent parser a user would write for it

NUMBER = r"[0-9]+(?:\.[0-9]+)?"


def arithmetic_grammar():
    expr = v.Forward()
    operand = v.Regex(NUMBER) | v.Group(v.Suppress(v.Literal("(")) + expr
                                        + v.Suppress(v.Literal(")")))
    expr <<= operand + v.ZeroOrMore(v.one_of("+ - * /") + operand)
    return expr


ARITH_TOKEN = re.compile(NUMBER + r"|[-+*/()]")
OPERATORS = frozenset("+-*/")


def parse_arithmetic(text):
    """Parses `text` into nested lists: operands and operators in order, a list per group."""
    tokens = ARITH_TOKEN.findall(text)
    out = []
    end = _expression(tokens, 0, out)
    if end != len(tokens):
        raise ValueError(f"unexpected {tokens[end]!r}")
    return out


def _expression(tokens, i, out):
    i = _operand(tokens, i, out)
    while i < len(tokens) and tokens[i] in OPERATORS:
        out.append(tokens[i])
        i = _operand(tokens, i + 1, out)
    return i


def _operand(tokens, i, out):
    if i >= len(tokens):
        raise ValueError("unexpected end of expression")
    token = tokens[i]
    if token == "(":
        group = []
        i = _expression(tokens, i + 1, group)
        if i >= len(tokens) or tokens[i] != ")":
            raise ValueError("expected ')'")
        out.append(group)
        return i + 1
    if token in OPERATORS or token == ")":
        raise ValueError(f"unexpected {token!r}")
    out.append(token)
    return i + 1


# ---------------------------------------------------------------------------------------------
# Rows


class Row:
    """One workload: our call, the Python call, and how to tell that both computed the same."""

    def __init__(self, name, operation, python_text, data, ours, python=None, same=None):
        self.name = name
        self.operation = operation
        self.python_text = python_text
        self.data = data
        self.ours = ours
        self.python = python
        self.same = same or (lambda a, b: a == b)


def flat(search_result):
    """The texts of a search_string result, which holds one one-item list per match."""
    assert all(len(entry) == 1 for entry in search_result)
    return [entry[0] for entry in search_result]


def make_rows():
    error = v.Literal("ERROR")
    levels = v.one_of("ERROR WARN FATAL")
    levels_re = re.compile("ERROR|WARN|FATAL")
    quoted = v.QuotedString('"')
    quoted_re = re.compile(r'"[^"\n]*"')
    reset = v.Literal("connection reset")
    number = v.Regex(NUMBER)
    number_re = re.compile(NUMBER)
    quoted_rx = v.Regex(r'"[^"\n]*"')
    word = v.Word(v.alphas())
    word_re = re.compile("[A-Za-z]+")
    arith = arithmetic_grammar()

    def count(pattern):
        return lambda s: sum(1 for _ in pattern.finditer(s))

    def match_loop(pattern):
        return lambda items: [m[0] for m in map(pattern.match, items) if m]

    rows = [
        Row("transform-literal-ascii", "`Literal('ERROR').transform_string(s, 'E')`",
            "`s.replace('ERROR', 'E')`", "ascii",
            lambda s: error.transform_string(s, "E"), lambda s: s.replace("ERROR", "E")),
        Row("transform-literal-log", "`Literal('ERROR').transform_string(s, 'E')`",
            "`s.replace('ERROR', 'E')`", "log",
            lambda s: error.transform_string(s, "E"), lambda s: s.replace("ERROR", "E")),
        Row("count-one-of", "`one_of('ERROR WARN FATAL').search_string_count(s)`",
            "`len(re.findall('ERROR|WARN|FATAL', s))`", "log",
            levels.search_string_count, lambda s: len(levels_re.findall(s))),
        Row("count-quoted", "`QuotedString('\"').search_string_count(s)`",
            "`sum(1 for _ in re.finditer(r'\"[^\"\\n]*\"', s))`", "log",
            quoted.search_string_count, count(quoted_re)),
        Row("search-quoted", "`QuotedString('\"').search_string(s)`",
            "`re.findall(r'\"[^\"\\n]*\"', s)`", "log",
            quoted.search_string, quoted_re.findall, lambda a, b: flat(a) == b),
        Row("count-long-literal", "`Literal('connection reset').search_string_count(s)`",
            "`s.count('connection reset')`", "log",
            reset.search_string_count, lambda s: s.count("connection reset")),
        Row("count-regex-number", f"`Regex(r'{NUMBER}').search_string_count(s)`",
            "`sum(1 for _ in re.finditer(p, s))`, same pattern", "log",
            number.search_string_count, count(number_re)),
        Row("search-regex-number", f"`Regex(r'{NUMBER}').search_string(s)`",
            "`re.findall(p, s)`, same pattern", "log",
            number.search_string, number_re.findall, lambda a, b: flat(a) == b),
        Row("transform-regex-quoted",
            "`Regex(r'\"[^\"\\n]*\"').transform_string(s, '\"?\"')`",
            "`re.sub(p, '\"?\"', s)`, same pattern", "log",
            lambda s: quoted_rx.transform_string(s, '"?"'), lambda s: quoted_re.sub('"?"', s)),
        Row("batch-word-distinct", "`Word(alphas()).parse_batch(L)`",
            "`[m[0] for m in map(p.match, L) if m]`, p = `[A-Za-z]+`", "distinct",
            word.parse_batch, match_loop(word_re)),
        Row("batch-word-16", "`Word(alphas()).parse_batch(L)`",
            "`[m[0] for m in map(p.match, L) if m]`, p = `[A-Za-z]+`", "16 texts",
            word.parse_batch, match_loop(word_re)),
        Row("batch-regex-distinct", f"`Regex(r'{NUMBER}').parse_batch(L)`",
            "`[m[0] for m in map(p.match, L) if m]`, same pattern", "distinct",
            number.parse_batch, match_loop(number_re)),
        Row("batch-regex-16", f"`Regex(r'{NUMBER}').parse_batch(L)`",
            "`[m[0] for m in map(p.match, L) if m]`, same pattern", "16 texts",
            number.parse_batch, match_loop(number_re)),
        Row("arith-parse-string", "arithmetic `Forward` grammar: `parse_string` in a loop",
            "recursive descent over `re` tokens, in a loop", "exprs",
            lambda exprs: [arith.parse_string(e) for e in exprs],
            lambda exprs: [parse_arithmetic(e) for e in exprs]),
        Row("arith-parse-batch", "arithmetic `Forward` grammar: `parse_batch(exprs)`",
            "recursive descent over `re` tokens, in a loop", "exprs",
            arith.parse_batch, lambda exprs: [parse_arithmetic(e) for e in exprs]),
        Row("construct-regex-letters", "`Regex(r'\\pL{50}')` construction", None, None,
            lambda _: v.Regex(r"\pL{50}"),
            same=lambda rx, _: rx.matches("é" * 50) and not rx.matches("é" * 49 + "1")),
        Row("construct-regex-dot", "`Regex('^.{1,2500}')` construction", None, None,
            lambda _: v.Regex("^.{1,2500}"),
            same=lambda rx, _: rx.parse_string("x" * 3000) == ["x" * 2500]),
    ]
    return rows


# ---------------------------------------------------------------------------------------------
# Timing and output


def timed(fn, data, keep_gc=False):
    """Seconds of one call of fn(data), with the cyclic collector off unless `keep_gc`; the
    result is released after the clock stops."""
    if not keep_gc:
        gc.disable()
    try:
        start = time.perf_counter()
        result = fn(data)
        elapsed = time.perf_counter() - start
    finally:
        gc.enable()
    del result
    return elapsed


def run_row(row, inputs, keep_gc=False):
    """Checks the row once, then returns the best of REPEAT times of ours and of Python's
    (None for a row without a Python side), or None when the two results differ."""
    data = inputs[row.data] if row.data else None
    ours = row.ours(data)
    theirs = row.python(data) if row.python else None
    if not row.same(ours, theirs):
        return None
    del ours, theirs
    best_ours = best_python = float("inf")
    for _ in range(REPEAT):
        # Alternate the two sides so that a change in the machine's load hits both.
        best_ours = min(best_ours, timed(row.ours, data, keep_gc))
        if row.python:
            best_python = min(best_python, timed(row.python, data, keep_gc))
    return best_ours, best_python if row.python else None


def milliseconds(seconds):
    ms = seconds * 1e3
    return f"{ms:.0f} ms" if ms >= 100 else f"{ms:.1f} ms" if ms >= 1 else f"{ms:.3f} ms"


def machine():
    model = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return (f"{model}, {os.cpu_count()} logical CPUs; Python {platform.python_version()}; "
            f"vantorel {v.__version__} from {os.path.dirname(v.__file__)}")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="inputs twenty times smaller (a smoke run)")
    parser.add_argument("--only", metavar="NAME[,NAME...]",
                        help="run only the rows whose names contain one of these texts")
    parser.add_argument("--markdown", action="store_true", help="print the table in Markdown")
    parser.add_argument("--gc", action="store_true",
                        help="keep the cyclic garbage collector on during the timed calls")
    args = parser.parse_args(argv)

    rows = make_rows()
    if args.only:
        wanted = [w for w in args.only.split(",") if w]
        rows = [r for r in rows if any(w in r.name for w in wanted)]
        if not rows:
            names = ", ".join(r.name for r in make_rows())
            parser.error(f"no row matches --only {args.only}; the rows are: {names}")
    inputs = Inputs(20 if args.quick else 1)

    print(f"# {machine()}")
    print(f"# best of {REPEAT}, one thread; speedup = Python's time / ours"
          + ("; --quick inputs" if args.quick else "")
          + ("; cyclic collector on" if args.gc else "; cyclic collector off while timing"))
    for name in dict.fromkeys(r.data for r in rows if r.data):
        print(f"# {inputs.describe(name)}")
    print()

    if args.markdown:
        print("| operation | input | Python a user would write | vantorel | Python | speedup |")
        print("|---|---|---|---|---|---|")
    else:
        print(f"{'row':<25} {'input':<9} {'vantorel':>10} {'Python':>10} {'speedup':>8}  "
              "operation  |  Python")
    failed = []
    for row in rows:
        result = run_row(row, inputs, args.gc)
        if result is None:
            failed.append(row.name)
            cells = ("MISMATCH", "", "")
        else:
            ours, python = result
            if python is None:
                cells = (milliseconds(ours), "—", "—")
            else:
                cells = (milliseconds(ours), milliseconds(python), f"{python / ours:.2f}×")
        python_text = row.python_text or "—"
        if args.markdown:
            print("| " + " | ".join(c.replace("|", "\\|") for c in (
                row.operation, row.data or "—", python_text, *cells)) + " |")
        else:
            print(f"{row.name:<25} {row.data or '—':<9} {cells[0]:>10} {cells[1]:>10} "
                  f"{cells[2]:>8}  {row.operation}  |  {python_text}".replace("`", ""),
                  flush=True)
    if failed:
        print(f"\nMISMATCH (the two sides computed different results): {', '.join(failed)}",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
