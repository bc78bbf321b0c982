#!/usr/bin/env python3
"""Fails when a folder of src/ or tools/ includes a folder above it.

The order of the folders is read from the README (the indented line of
folder names joined by arrows): a folder may include only itself and the
folders before it. Includes are the quoted ones; a path that starts with a
folder of the order names that folder, a bare file name is the including
file's own folder, and a relative path is resolved from the including file.

Usage: check_includes.py [ROOT]   (ROOT: the source tree, default: here)
Exit status 0 when every include points down, 1 otherwise (each upward
include is printed as file:line), 2 when the order cannot be read.
"""
import os
import re
import sys

ARROW = "\u2192"
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")


def read_order(root):
    """The folder order from the README, or None."""
    try:
        with open(os.path.join(root, "README.md"), encoding="utf-8") as readme:
            lines = readme.read().splitlines()
    except OSError:
        return None
    for line in lines:
        if not line.startswith("    ") or ARROW not in line:
            continue
        names = [name.strip() for name in line.split(ARROW)]
        if len(names) > 1 and all(re.fullmatch(r"[a-z][a-z0-9_-]*", n) for n in names):
            return names
    return None


def folder_of(relative, order):
    """The folder of the order that a path below the root lies in."""
    parts = relative.replace(os.sep, "/").split("/")
    if len(parts) >= 3 and parts[0] == "src" and parts[1] in order:
        return parts[1]
    if parts[0] == "tools" and "tools" in order:
        return "tools"
    return None


def target_folder(root, source, include, order):
    """The folder an include of `source` points into, or None (not ours)."""
    first = include.split("/")[0]
    if first in order and "/" in include:
        return first
    here = os.path.dirname(os.path.join(root, source))
    resolved = os.path.normpath(os.path.join(here, include))
    relative = os.path.relpath(resolved, root)
    if relative.startswith(".."):
        return None
    return folder_of(relative, order)


def sources(root, order):
    for top in ("src", "tools"):
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames.sort()
            for name in sorted(filenames):
                if name.endswith(SOURCE_SUFFIXES):
                    relative = os.path.relpath(os.path.join(dirpath, name), root)
                    folder = folder_of(relative, order)
                    if folder:
                        yield relative.replace(os.sep, "/"), folder


def check(root):
    order = read_order(root)
    if not order:
        print("check_includes: no folder order (a line 'a %s b %s ...') in %s/README.md"
              % (ARROW, ARROW, root))
        return 2
    rank = {name: i for i, name in enumerate(order)}
    upward = []
    for source, folder in sources(root, order):
        with open(os.path.join(root, source), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                include = match.group(1)
                target = target_folder(root, source, include, order)
                if target is None or rank[target] <= rank[folder]:
                    continue
                upward.append("%s:%d: %s includes %s (%s is above %s)" % (
                    source, number, folder, include, target, folder))
    for where in upward:
        print("upward include: " + where)
    if upward:
        print("check_includes: %d upward include(s); the order is %s"
              % (len(upward), (" %s " % ARROW).join(order)))
        return 1
    print("check_includes: every include points down (%s)" % (" %s " % ARROW).join(order))
    return 0


if __name__ == "__main__":
    sys.exit(check(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")))
