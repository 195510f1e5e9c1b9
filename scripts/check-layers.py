#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails when an include points from a lower layer of the source tree to a
higher one.

The layers, bottom to top:
  0  base/                                       the ground every part uses
  1  probes/ store/ history/ metrics/ graph/ channels/   the parts, beside each other
  2  app/                                        engine, program host, dialogs' rules, platform
  3  qt/ win/ service/ reg/                      the front ends and the programs beside them
A file may include files of its own layer and of the layers below. The
programs of the top layer stay apart: none includes another's files. Two
parts of one layer do not include each other both ways. Tests, benchmarks
and resources are outside the layers.

Usage: check-layers.py [SOURCE_DIR]
"""
import os
import re
import sys

LAYERS = {
    "base": 0,
    "probes": 1, "store": 1, "history": 1, "metrics": 1, "graph": 1, "channels": 1,
    "app": 2,
    "qt": 3, "win": 3, "service": 3, "reg": 3,
}
TOP = 3
SUFFIXES = (".h", ".hpp", ".cpp", ".c", ".rc", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def part_of(path):
    """The top folder of a root-relative path when it is in a layer."""
    top = path.split("/", 1)[0]
    return top if top in LAYERS and "/" in path else None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    faults = []
    edges = {}
    for top in sorted(LAYERS):
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SUFFIXES):
                    continue
                full = os.path.join(folder, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                here = part_of(rel)
                with open(full, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        found = INCLUDE.match(line)
                        if not found or "/" not in found.group(1):
                            continue
                        target = found.group(1)
                        beside = os.path.normpath(os.path.join(os.path.dirname(rel), target)).replace(os.sep, "/")
                        if not os.path.exists(os.path.join(root, target)) and os.path.exists(os.path.join(root, beside)):
                            target = beside
                        there = part_of(target)
                        if there is None or there == here:
                            continue
                        edges.setdefault((here, there), f"{rel}:{number}")
                        if LAYERS[there] > LAYERS[here]:
                            faults.append(f"{rel}:{number}: {here}/ (layer {LAYERS[here]}) includes {target}"
                                          f" of {there}/ (layer {LAYERS[there]})")
                        elif LAYERS[there] == LAYERS[here] == TOP:
                            faults.append(f"{rel}:{number}: the program {here}/ includes {target} of {there}/")
    for (here, there), where in sorted(edges.items()):
        if here < there and LAYERS[here] == LAYERS[there] < TOP and (there, here) in edges:
            faults.append(f"{where}: {here}/ and {there}/ include each other (also {edges[(there, here)]})")
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) against the layers", file=sys.stderr)
        return 1
    print("every include points to its own layer or one below")
    return 0


if __name__ == "__main__":
    sys.exit(main())
