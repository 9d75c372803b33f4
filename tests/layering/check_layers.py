#!/usr/bin/env python3
"""Fails, naming file and line, when a source folder includes a folder it may not.

Usage: check_layers.py <source root>
Reads every `#include "folder/..."` line of the program's folders; includes
without a folder (a file beside the includer, a system header) are not checked.
"""
import pathlib
import re
import sys

# The allowed directions, the one place they are written down. The simulation
# stack, lowest first: each layer may include itself and every layer before it.
#   diag        result-code names; depends on nothing, so it sits at the very
#               bottom (foundation's file errors print their names)
#   foundation  math, buffers, strings, files, clock, log
#   content     the content builder's generators and the aircraft file: the
#               programs build the aircraft's model from the file at load
#   assets      the data side of content: model files, the compiler, fonts' tables
#   sim         the frame clock's values and the key table
#   physics     entities and the world step (draws only through a sink)
#   aircraft    the aircraft simulation, no presentation
#   air         moving air: wind, turbulence, gusts, thermals (effect records)
#   flightrec   recorded flights: their file, recorder and replay
#   render      drawing, the scene and the aircraft's drawing
#   app         the program: frame timer, input pass, window
STACK = ["diag", "foundation", "content", "assets", "sim", "physics", "aircraft", "air", "flightrec", "render", "app"]
# platform/ (SDL, GL, the device) stands beside the stack on its two lowest
# layers; only the drawing layer and above may use it.
PLATFORM_BELOW = ["diag", "foundation"]
PLATFORM_USERS = ["render", "app", "tools"]
# Outside the program: tools may use every folder (gldemo shares the GL tests'
# context helper).
EXTRA = {"tools": STACK + ["tests"]}


def allowed_map():
    allowed = {}
    for i, layer in enumerate(STACK):
        allowed[layer] = set(STACK[: i + 1])
    allowed["platform"] = set(PLATFORM_BELOW)
    for folder, below in EXTRA.items():
        allowed[folder] = set(below)
    for folder in allowed:
        allowed[folder].add(folder)
    for user in PLATFORM_USERS:
        allowed[user].add("platform")
    return allowed


INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    allowed = allowed_map()
    known = set(allowed)
    problems = []
    checked = 0
    for folder in sorted(known):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".inc") or not path.is_file():
                continue
            checked += 1
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m or m.group(1) not in known and m.group(1) != "tests":
                    continue
                target = m.group(1)
                if target not in allowed[folder]:
                    problems.append(f"{path.relative_to(root)}:{number}: {folder}/ may not include "
                                    f"{target}/ ({line.strip()})")
    for p in problems:
        print(p)
    if checked == 0:
        print(f"no sources found under {root}")
        return 1
    print(f"{checked} files checked, {len(problems)} upward includes")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
