#!/usr/bin/env python3
"""Lists the functions of C++ sources longer than a limit, longest first.

A function is a definition that clang-format leaves at column 0: a line at column 0 ending in `{` that
is not a namespace, class, struct, enum or union, up to the `}` at column 0 that closes it. Its length is
the number of lines from the opening line to the closing brace, both included. Lambdas and member
functions defined inside a class body count as part of what holds them.

Usage: tools/function_lengths.py [--over N] DIR_OR_FILE...
"""
import argparse
import re
import sys

from source_files import source_files

NOT_FUNCTION = re.compile(r"^(?:namespace|class|struct|enum|union|extern)\b|^(?:static\s+)?(?:const\w*\s+)?"
                          r"[\w:<>,\s*&]+\s*=\s*\{?$|=\s*\{$")


def functions(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if line and not line[0].isspace() and line.rstrip().endswith("{") and not line.startswith(("//", "#")) \
                and not NOT_FUNCTION.search(line.rstrip()):
            start = i
            # A signature may span several lines: take its first line as the name.
            head = start
            while head > 0 and lines[head - 1] and not lines[head - 1][0].isspace() and \
                    not lines[head - 1].rstrip().endswith((";", "}", "{")) and not lines[head - 1].startswith(("//", "#")):
                head -= 1
            j = i + 1
            while j < len(lines) and not lines[j].startswith("}"):
                j += 1
            found.append((j - head + 1, path, head + 1, lines[head].strip()[:90]))
            i = j + 1
        else:
            i += 1
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("paths", nargs="+")
    ap.add_argument("--over", type=int, default=60)
    ap.add_argument("--exclude", action="append", default=[], help="file name prefix to leave out")
    args = ap.parse_args()
    files = source_files(args.paths, args.exclude)
    found = sorted((fn for f in files for fn in functions(f)), reverse=True)
    for length, path, line, name in found:
        if length > args.over:
            print(f"{length:4d}  {path}:{line}  {name}")
    if found:
        length, path, line, name = found[0]
        print(f"longest: {length} lines, {path}:{line}; {sum(1 for f in found if f[0] > args.over)} over {args.over}")


if __name__ == "__main__":
    sys.exit(main())
