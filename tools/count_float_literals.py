#!/usr/bin/env python3
"""Counts unnamed floating-point literals in C++ sources.

Rule: a floating-point literal is a number written with a decimal point or an exponent (`3.5f`, `2.`,
`1e-3`). Comments, strings and character literals are ignored. Not counted:
  - the self-explanatory values 0, 0.5, 1 and 2 (any sign, any spelling: `0.0f`, `1.`, `2.0`);
  - literals in a line that names them: a `constexpr` declaration at namespace, class or function scope
    (`constexpr float kFrontHub = 167.9992f;`), including the lines of a brace list that such a
    declaration opens, a `const` table (`const TurnFriction turnFriction[kRows] = {...}`: the table and
    its fields name the values), a `const` declaration whose initialiser is one literal (`const float kX = 3.0f;`),
    or a designated initialiser (`.wheelRadius = {0.36f, 0.36f},`).
Prints, per file and in total, the unnamed literals, the lines and the literals per 100 lines.

Usage: tools/count_float_literals.py [--exclude NAME ...] [--list] DIR_OR_FILE...
"""
import argparse
import re
import sys

from source_files import source_files

FLOAT = re.compile(
    r"(?<![\w.])((?:\d+\.\d*|\.\d+)(?:[eE][-+]?\d+)?|\d+[eE][-+]?\d+)[fFlL]?(?![\w.])")
TRIVIAL = {0.0, 0.5, 1.0, 2.0}
# A constexpr declaration, or a const one whose initialiser is a lone literal.
NAMING = re.compile(r"^\s*\.\w+\s*=|^\s*(?:static\s+|inline\s+)*(?:constexpr\b[^(]*[={]"
                    r"|const\s+[\w:]+\s+[\w:]+(?:\[[^\]]*\])+\s*=\s*\{"
                    r"|const\s+[\w:]+\s+\w+\s*=\s*-?(?:\d+\.\d*|\.\d+|\d+)(?:[eE][-+]?\d+)?[fF]?\s*;)")


def strip(text):
    """Blanks comments, strings and character literals, keeping line breaks."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(" ")
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def count(path, listing):
    with open(path, encoding="utf-8") as f:
        raw = f.read()
    lines = strip(raw).split("\n")
    unnamed = 0
    depth = 0  # brace depth inside a naming declaration's initialiser list
    for number, line in enumerate(lines, 1):
        named = depth > 0 or bool(NAMING.match(line))
        if depth > 0 or NAMING.match(line):
            depth += line.count("{") - line.count("}")
            depth = max(depth, 0)
        if named:
            continue
        for m in FLOAT.finditer(line):
            if float(m.group(1)) in TRIVIAL:
                continue
            unnamed += 1
            if listing:
                print(f"{path}:{number}: {m.group(0)}")
    return unnamed, raw.count("\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("paths", nargs="+")
    ap.add_argument("--exclude", action="append", default=[], help="file name prefix to leave out")
    ap.add_argument("--list", action="store_true", help="print every unnamed literal")
    ap.add_argument("--quiet", action="store_true", help="only the total")
    args = ap.parse_args()
    files = source_files(args.paths, args.exclude)
    total_lits = total_lines = 0
    for f in files:
        lits, lines = count(f, args.list)
        total_lits += lits
        total_lines += lines
        if not args.quiet and not args.list:
            print(f"{lits:5d} {lines:6d} {100.0 * lits / max(lines, 1):6.1f}  {f}")
    print(f"{total_lits:5d} {total_lines:6d} {100.0 * total_lits / max(total_lines, 1):6.1f}  total"
          " (unnamed float literals, lines, per 100 lines)")


if __name__ == "__main__":
    sys.exit(main())
