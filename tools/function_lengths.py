#!/usr/bin/env python3
"""Lists the functions of C++ sources longer than a limit, longest first.

A function is a definition at namespace level, as clang-format leaves it: a signature that starts at
column 0 (with any `template <...>` lines above it) and ends in `{`, on the same line or on an indented
line below it (a signature that wraps, a constructor's initializer list), that is not a namespace, class,
struct, enum or union, up to the `}` at column 0 that closes it. Its length is the number of lines from the
signature's first line to the closing brace, both included. Lambdas and member functions defined inside a
class body count as part of what holds them.

Usage: tools/function_lengths.py [--over N] [--top N] [--exclude PREFIX] DIR_OR_FILE...
       tools/function_lengths.py --self-test
"""
import argparse
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from source_files import source_files  # noqa: E402

NOT_FUNCTION = re.compile(r"^(?:namespace|class|struct|enum|union|extern)\b|^(?:static\s+)?(?:const\w*\s+)?"
                          r"[\w:<>,\s*&]+\s*=\s*\{?$|=\s*\{$")


def at_column_0(line):
    return bool(line) and not line[0].isspace()


def is_comment_or_directive(line):
    return line.lstrip().startswith(("//", "/*", "*", "#"))


def ends_statement(line):
    """A line that closes what came before it: a declaration, a block, a label or access specifier."""
    return line.rstrip().endswith((";", "{", "}", ":"))


def signature_start(lines, i):
    """The line at column 0 where the statement that the line i (ending in `{`) ends starts, or None when
    the line opens no function: a block inside a body or a class, or a closing brace."""
    head = i
    if not at_column_0(lines[i]):
        # A wrapped signature: indented lines, none of which closes a statement, below a line at column 0.
        head = i - 1
        while head >= 0 and lines[head] and not at_column_0(lines[head]):
            if ends_statement(lines[head]) or is_comment_or_directive(lines[head]):
                return None
            head -= 1
        if head < 0 or not lines[head] or ends_statement(lines[head]) or is_comment_or_directive(lines[head]):
            return None
    elif lines[i].startswith("}"):
        return None
    return head


def signature_head(lines, start):
    """The first line of the signature starting at `start`, with the lines at column 0 above it that belong
    to it (template <...>, a return type on its own line)."""
    head = start
    while head > 0 and at_column_0(lines[head - 1]) and not ends_statement(lines[head - 1]) and \
            not is_comment_or_directive(lines[head - 1]):
        head -= 1
    return head


def functions(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.rstrip().endswith("{") and not is_comment_or_directive(line):
            start = signature_start(lines, i)
            signature = " ".join(l.strip() for l in lines[start:i + 1]) if start is not None else ""
            if start is not None and not NOT_FUNCTION.search(signature):
                head = signature_head(lines, start)
                j = i + 1
                while j < len(lines) and not lines[j].startswith("}"):
                    j += 1
                found.append((j - head + 1, path, head + 1, lines[head].strip()[:90]))
                i = j + 1
                continue
        i += 1
    return found


SELF_TEST = """\
namespace n {

template <typename T>
int Short(T a) {
    return a;
}

RasterBands::Fit RasterBands::Claim(PrimKind kind, const DrawState& st,
                                    int count, Claimed* c) {
    if (count) {
        return 1;
    }
    return 0;
}

CStats::CStats()
    : a(0),
      b{},
      c(nullptr) {
    racerCount += 1;
}

class Holder {
public:
    Holder(int a,
           int b) {
        x = a;
    }
    int x;
};

const int kTable[] = {
    1, 2,
};

enum Kind {
    kA,
};

template <int N>
struct Table {
    int at(int i) const {
        return i;
    }
};

}  // namespace n
"""


def self_test():
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "sample.cpp")
        with open(path, "w", encoding="utf-8") as f:
            f.write(SELF_TEST)
        got = sorted((line, length) for length, _, line, _ in functions(path))
    want = [(3, 4), (8, 7), (16, 6)]  # Short (from its template line), Claim, the constructor
    if got != want:
        print(f"function_lengths self-test: found (line, length) {got}, expected {want}")
        return 1
    print("function_lengths self-test: ok (wrapped signatures and initializer lists are found)")
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("paths", nargs="*")
    ap.add_argument("--over", type=int, default=60)
    ap.add_argument("--top", type=int, default=0, help="list only the N longest, whatever their length")
    ap.add_argument("--exclude", action="append", default=[], help="file name prefix to leave out")
    ap.add_argument("--self-test", action="store_true")
    args = ap.parse_args()
    if args.self_test:
        return self_test()
    if not args.paths:
        ap.error("give at least one directory or file")
    files = source_files(args.paths, args.exclude)
    found = sorted((fn for f in files for fn in functions(f)), reverse=True)
    shown = found[:args.top] if args.top > 0 else [fn for fn in found if fn[0] > args.over]
    for length, path, line, name in shown:
        print(f"{length:4d}  {path}:{line}  {name}")
    if found:
        length, path, line, name = found[0]
        print(f"longest: {length} lines, {path}:{line}; {sum(1 for f in found if f[0] > args.over)} over {args.over}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
