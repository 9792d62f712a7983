"""Parses a service configuration file and an access log with vantorel grammars.

The configuration values are arithmetic expressions, parsed by a recursive grammar built
with Forward and <<= and then evaluated; the log lines are parsed by a line grammar and
summarised. Run it with the module on PYTHONPATH: python3 examples/config_report.py
"""
import os
import sys

import vantorel as v

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- arithmetic: expr := term (('+'|'-') term)*, term := atom (('*'|'/') atom)* -----------
LPAREN = v.Suppress(v.Literal("("))
RPAREN = v.Suppress(v.Literal(")"))
number = v.Regex(r"\d+(?:\.\d+)?")
expr = v.Forward()
atom = number | v.Group(LPAREN + expr + RPAREN)
term = v.Group(atom + v.ZeroOrMore(v.one_of("* /") + atom))
expr <<= v.Group(term + v.ZeroOrMore(v.one_of("+ -") + term))
whole_expr = expr + v.StringEnd()


def evaluate_atom(atom_tokens):
    if isinstance(atom_tokens, str):
        return float(atom_tokens)
    return evaluate_sum(atom_tokens[0])  # a parenthesised expression


def evaluate_term(term_tokens):
    value = evaluate_atom(term_tokens[0])
    for op, operand in zip(term_tokens[1::2], term_tokens[2::2]):
        value = value * evaluate_atom(operand) if op == "*" else value / evaluate_atom(operand)
    return value


def evaluate_sum(sum_tokens):
    value = evaluate_term(sum_tokens[0])
    for op, operand in zip(sum_tokens[1::2], sum_tokens[2::2]):
        value = value + evaluate_term(operand) if op == "+" else value - evaluate_term(operand)
    return value


def evaluate(text):
    tokens = expr.parse_string(text)
    whole_expr.parse_string(text)  # raises unless the whole value is one expression
    return evaluate_sum(tokens[0])


# ---- configuration lines -------------------------------------------------------------------
name = v.Word(v.alphas(), v.alphanums() + "_")
section = v.Suppress(v.Literal("[")) + name + v.Suppress(v.Literal("]"))
assignment = name + v.Suppress(v.Literal("=")) + v.rest_of_line()
comment = v.Regex(r"#.*")


def read_config(path):
    settings = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip():
                continue
            if line.lstrip().startswith("#"):
                comment.parse_string(line)  # a comment line: checked, then ignored
                continue
            if line.lstrip().startswith("["):
                current = section.parse_string(line)[0]
                settings[current] = {}
                continue
            key, raw_value = assignment.parse_string(line)
            raw_value = raw_value.strip()
            try:
                value = evaluate(raw_value)
            except ValueError:
                value = raw_value  # not an expression: keep the text
            settings[current][key] = value
    return settings


# ---- access log lines ----------------------------------------------------------------------
log_line = (v.Regex(r"\d{4}-\d{2}-\d{2}") + v.Regex(r"\d{2}:\d{2}:\d{2}")
            + v.one_of("GET POST PUT DELETE") + v.Word(v.printables())
            + v.Word(v.nums()) + v.Word(v.nums()))


def read_log(path):
    requests, rejected = [], []
    with open(path, encoding="utf-8") as f:
        for number_, line in enumerate(f, 1):
            try:
                date, time, method, target, status, size = log_line.parse_string(line)
            except ValueError as e:
                rejected.append((number_, str(e)))
                continue
            requests.append((method, target, int(status), int(size)))
    return requests, rejected


def main():
    settings = read_config(os.path.join(HERE, "data", "service.conf"))
    print("configuration:")
    for sect, values in settings.items():
        for key, value in values.items():
            shown = f"{value:g}" if isinstance(value, float) else value
            print(f"  {sect}.{key} = {shown}")

    requests, rejected = read_log(os.path.join(HERE, "data", "access.log"))
    print(f"access log: {len(requests)} requests, {len(rejected)} rejected")
    by_status = {}
    for method, target, status, size in requests:
        by_status.setdefault(status, []).append(f"{method} {target}")
    for status in sorted(by_status):
        print(f"  {status}: {', '.join(by_status[status])}")
    print(f"  bytes sent: {sum(r[3] for r in requests)}")
    for number_, error in rejected:
        print(f"  line {number_} rejected: {error}")

    # Hostile input ends in an ordinary parse failure, never in a crash.
    deep = "(" * 100_000 + "1" + ")" * 100_000
    try:
        expr.parse_string(deep)
        print("deep nesting: parsed")
    except ValueError as e:
        print(f"deep nesting: ValueError: {e}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
