#!/usr/bin/env python3
"""Lists folder-level include cycles and includes that cross the tree's boundaries.

A folder and its subfolders count apart (engine/display and engine/display/commands are two
folders). Exits 1 when any is found, so the test command fails on a new one.

The engine's folders, top to bottom; a folder includes only folders below it:
    engine/job
    engine/page
    engine/band
    engine/display/optimiser
    engine/display/commands
    engine/display
    engine/display/stores
    engine/spool
    engine/services (and engine/services/cmm)
    engine/raster
    engine/stretch
    engine/common
"""
import os
import re
import subprocess
import sys
from collections import defaultdict

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def tracked_sources(root):
    out = subprocess.run(["git", "ls-files", "*.cpp", "*.h", "*.c"], cwd=root, capture_output=True, text=True,
                         check=True).stdout
    return [line for line in out.splitlines() if line]


def resolve(root, source, target):
    """The tracked path an include names: relative to the including file, else to the root."""
    beside = os.path.normpath(os.path.join(os.path.dirname(source), target))
    if os.path.exists(os.path.join(root, beside)):
        return beside
    if os.path.exists(os.path.join(root, target)):
        return os.path.normpath(target)
    return None


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.getcwd()
    edges = defaultdict(set)  # (from folder, to folder) -> example files
    problems = []
    for source in tracked_sources(root):
        with open(os.path.join(root, source), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for target in INCLUDE.findall(text):
            path = resolve(root, source, target)
            if path is None:
                continue
            if path.endswith((".cpp", ".c")) and source.startswith("fuzz/"):
                problems.append(f"{source} includes the source file {path}")
            if source.startswith("tools/") and path.startswith("tests/"):
                problems.append(f"{source} includes {path}: a tool includes nothing of tests/")
            if source.startswith(("bench/", "fuzz/")) and path.startswith("tests/") \
                    and not path.startswith("tests/support/"):
                problems.append(f"{source} includes {path}: only tests/support/ is shared with tests")
            if source.startswith("outmodule/") and path.startswith("engine/") \
                    and not path.startswith("engine/include/rastrel/"):
                problems.append(f"{source} includes {path}: the output module sees only engine/include/rastrel/")
            a, b = os.path.dirname(source), os.path.dirname(path)
            if a != b and a.startswith("engine/") and b.startswith("engine/"):
                edges[(a, b)].add(f"{source} -> {path}")
    for (a, b), files in sorted(edges.items()):
        if a < b and (b, a) in edges:
            problems.append(f"{a} and {b} include each other:\n    " + "\n    ".join(
                sorted(files)[:3] + sorted(edges[(b, a)])[:3]))
    # Longer cycles among engine folders.
    graph = defaultdict(set)
    for a, b in edges:
        graph[a].add(b)
    index, low, stack, on, sccs, counter = {}, {}, [], set(), [], [0]

    def strong(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in graph[v]:
            if w not in index:
                strong(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            if len(comp) > 2:
                sccs.append(sorted(comp))

    for v in sorted(list(graph)):
        if v not in index:
            strong(v)
    for comp in sccs:
        problems.append("engine folders in a cycle: " + ", ".join(comp))
    for p in problems:
        print(p)
    if problems:
        print(f"include_cycles: {len(problems)} problem(s)")
        return 1
    print("include_cycles: no folder cycles, no includes across the tree's boundaries")
    return 0


if __name__ == "__main__":
    sys.exit(main())
