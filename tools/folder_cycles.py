#!/usr/bin/env python3
"""Counts the include cycles between the game code's folders.

Every folder under the game code's top folders (src/game, src/world, src/bike, src/audio, src/race,
src/frontend, src/app) is a node; a quoted include from a file in one folder of a header in another is an
edge. Prints, for the sub-folders and for the top folders: the folder pairs that include each other, the
knots (strongly connected groups of more than one folder) and the number of simple cycles.
Usage: tools/folder_cycles.py [repository root]
"""
import os
import re
import sys

GAME_TOPS = ("game", "world", "bike", "audio", "race", "frontend", "app")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def edges(root, top_only):
    src = os.path.join(root, "src")
    graph = {}
    for top in GAME_TOPS:
        for dirpath, _, files in os.walk(os.path.join(src, top)):
            for name in files:
                if not name.endswith((".h", ".cpp", ".c")):
                    continue
                rel = os.path.relpath(os.path.join(dirpath, name), src)
                here = rel.split("/")[0] if top_only else os.path.dirname(rel)
                graph.setdefault(here, set())
                with open(os.path.join(dirpath, name), encoding="utf-8", errors="replace") as f:
                    for line in f:
                        m = INCLUDE.match(line)
                        if not m or m.group(1).split("/")[0] not in GAME_TOPS:
                            continue
                        there = m.group(1).split("/")[0] if top_only else os.path.dirname(m.group(1))
                        if there != here:
                            graph[here].add(there)
    return graph


def knots(graph):
    index, low, stack, on, out = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in graph.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                out.append(sorted(group))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return out


def simple_cycles(graph, cap=10_000_000):
    """Counts simple cycles, each once (started from its smallest node); stops at cap."""
    nodes = sorted(graph)
    count = 0
    for start in nodes:
        stack = [(start, iter(sorted(w for w in graph.get(start, ()) if w >= start)))]
        path = {start}
        while stack:
            v, it = stack[-1]
            for w in it:
                if w == start:
                    count += 1
                    if count >= cap:
                        return count, True
                elif w not in path:
                    path.add(w)
                    stack.append((w, iter(sorted(x for x in graph.get(w, ()) if x >= start))))
                    break
            else:
                stack.pop()
                path.discard(v)
    return count, False


def report(title, graph):
    pairs = sorted({tuple(sorted((a, b))) for a in graph for b in graph[a] if a in graph.get(b, ())})
    groups = knots(graph)
    cycles, capped = simple_cycles(graph)
    print(f"{title}: {len(graph)} folders, {sum(len(v) for v in graph.values())} folder-to-folder edges")
    print(f"  folder pairs including each other: {len(pairs)}")
    for a, b in pairs:
        print(f"    {a} <-> {b}")
    print(f"  knots: {len(groups)}" + "".join(f"\n    {len(g)} folders: {' '.join(g)}" for g in groups))
    print(f"  simple cycles: {cycles}{'+ (stopped counting)' if capped else ''}")


root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
report("sub-folders", edges(root, top_only=False))
report("top folders", edges(root, top_only=True))
