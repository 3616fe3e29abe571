#!/usr/bin/env python3
"""Fails when a folder includes a header of a folder above it.

The layers, low to high: qef (the loader, which includes nothing of ours) ->
base -> prefs -> options -> scene -> import (what the importers share) ->
process and the importers -> convert -> the command line, the Python module,
the widgets, the window and the viewer. Each folder may include its own headers and those of the folders it
lists below; the build runs this check, so an upward include does not build.
"""
import pathlib
import re
import sys

BELOW = {
    "qef": [],
    "base": [],
    "prefs": ["base"],
    "options": ["base", "prefs"],
    "scene": ["base", "prefs", "options"],
    "import": ["base", "prefs", "options", "scene"],
    "process": ["base", "prefs", "options", "scene"],
    "collada": ["base", "prefs", "options", "scene", "import"],
    "gltf": ["base", "prefs", "options", "scene", "import"],
    "convert": ["base", "prefs", "options", "scene", "import", "process", "collada", "gltf"],
    "cli": ["base", "prefs", "options", "scene", "import", "process", "collada", "gltf", "convert"],
    "python": ["base", "prefs", "options", "scene", "import", "process", "collada", "gltf", "convert"],
    "gui": ["base", "prefs", "options", "scene"],
    "viewer": ["base", "prefs", "options", "scene", "gui"],
    "app": ["base", "prefs", "options", "scene", "import", "process", "collada", "gltf", "convert", "gui", "viewer"],
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/')


# Every layer may use the loader.
for _layer, _below in BELOW.items():
    if _layer != "qef":
        _below.insert(0, "qef")


def main(root):
    root = pathlib.Path(root)
    faults = []
    for layer, below in BELOW.items():
        allowed = set(below) | {layer}
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if m and m.group(1) in BELOW and m.group(1) not in allowed:
                    faults.append(f"{path.relative_to(root)}:{number}: {layer}/ may not include {m.group(1)}/ "
                                  f"(it sits above {layer}/)")
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent))
