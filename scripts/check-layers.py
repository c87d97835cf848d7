#!/usr/bin/env python3
"""Checks that the library's areas include only their own rank and the ranks below it.

Every `#include "area/..."` in src/ and include/ is read. A file belongs to the area of its
directory right under src/ or include/. An include from a lower area into a higher one fails the
check unless it is on the allow-list (scripts/layers-allowed.txt), and so does an allow-list
entry that no longer occurs, so that the list only shrinks.

Allow-list lines read `<file> -> <included header>: <reason>`; blank lines and lines starting
with `#` are ignored.

Usage: scripts/check-layers.py [--root DIR] [--allowed FILE]
Exit status 0 when every include keeps to the order, 1 otherwise (each offence on stderr).
"""

import argparse
import os
import re
import sys

# The areas, lowest first. Areas of one rank may include each other.
LAYERS = [
    ["platform"],
    ["internal", "exception", "base"],
    ["thread"],
    ["pattern", "system", "file"],
    ["config"],
    ["log"],
    ["xml", "connection", "windows"],
    ["prefs", "service", "process", "library"],
    ["JVM", "jni"],
]

RANK = {area: rank for rank, areas in enumerate(LAYERS, start=1) for area in areas}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".inl")
TOP_DIRECTORIES = ("src", "include")


def source_files(root):
    """Yields (relative path, area) of each source file under src/ and include/."""
    for top in TOP_DIRECTORIES:
        base = os.path.join(root, top)
        for directory, subdirectories, files in os.walk(base):
            subdirectories.sort()
            relative = os.path.relpath(directory, root)
            parts = relative.split(os.sep)
            if len(parts) < 2:
                continue
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.join(relative, name).replace(os.sep, "/"), parts[1]


def upward_includes(root):
    """Yields (file, line number, area, included header) of each include into a higher area,
    and raises ValueError for a file in an area the order does not know."""
    for path, area in source_files(root):
        if area not in RANK:
            raise ValueError(f"{path}: area '{area}' has no place in the order of layers")
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            for number, text in enumerate(source, start=1):
                match = INCLUDE.match(text)
                if match is None:
                    continue
                target = match.group(1)
                if target in RANK and RANK[target] > RANK[area]:
                    yield path, number, target, f"{target}/{match.group(2)}"


def read_allowed(path):
    """The allow-list as a set of (file, included header); raises ValueError on a bad line."""
    allowed = set()
    with open(path, encoding="utf-8") as listing:
        for number, text in enumerate(listing, start=1):
            text = text.strip()
            if not text or text.startswith("#"):
                continue
            entry, separator, reason = text.partition(": ")
            source, arrow, header = entry.partition(" -> ")
            if not separator or not arrow or not reason.strip() or not header.strip():
                raise ValueError(f"{path}:{number}: expected '<file> -> <header>: <reason>'")
            allowed.add((source.strip(), header.strip()))
    return allowed


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.dirname(here))
    parser.add_argument("--allowed", default=os.path.join(here, "layers-allowed.txt"))
    options = parser.parse_args()

    try:
        allowed = read_allowed(options.allowed)
        found = list(upward_includes(options.root))
    except (OSError, ValueError) as error:
        print(f"check-layers: {error}", file=sys.stderr)
        return 1

    failures = []
    seen = set()
    for path, number, area, header in found:
        seen.add((path, header))
        if (path, header) not in allowed:
            failures.append(f'{path}:{number} → {area} ("{header}" is above this file\'s area)')
    for path, header in sorted(allowed - seen):
        failures.append(f"{path} -> {header}: allowed but no longer included; drop it from the list")

    for failure in failures:
        print(failure, file=sys.stderr)
    if failures:
        print(f"check-layers: {len(failures)} offence(s)", file=sys.stderr)
        return 1
    print(f"check-layers: ok ({len(seen)} allowed upward includes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
