#!/usr/bin/env python3
"""The folders' layers: a folder includes only from itself and from folders ranked below it.

usage: check_layers.py ROOT          check every source folder under ROOT
       check_layers.py --folders     print the ranked folders, one a line (for the build)

Prints each include that breaks the rule and exits 1; a source folder missing from the
table below is refused too, so that a new folder takes its place in the layers on purpose.
Includes without a folder ("demohost_idl.h") are headers generated into the folder's own
build and are not checked; neither is tests/, which may use every layer.
"""
import os
import re
import sys

# Low to high. The program: base, then the interfaces (views, automation) and the support
# library, then the handlers' logic (drives, images), then the application. The automation
# servers: base, then what both servers share (hostcore: the COM objects and server process,
# image files), then each server on it, the demo host and the QEMU bridge, neither using
# the other. resources/ holds the identifiers shared by the resource script and C++.
RANKS = {
    "base": 0,
    "resources": 0,
    "views": 1,
    "automation": 1,
    "support": 1,
    "hostcore": 1,
    "drives": 2,
    "images": 2,
    "demohost": 2,
    "app": 3,
    "qemuhost": 2,
    "hypervhost": 2,
}

# Folders that are no layer of the program: tests, build scripts, build trees.
UNRANKED = {"tests", "cmake", "scripts", "build"}

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".rc", ".rc.in", ".idl")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def source_files(folder):
    for directory, _, files in os.walk(folder):
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(directory, name)


def check(root):
    problems = []
    checked = 0
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder)
        if folder.startswith(".") or folder in UNRANKED or not os.path.isdir(path):
            continue
        files = list(source_files(path))
        if not files:
            continue
        if folder not in RANKS:
            problems.append(f"{folder}/: a source folder that is not in the rank table of {__file__}")
            continue
        rank = RANKS[folder]
        for file in files:
            checked += 1
            relative = os.path.relpath(file, root).replace(os.sep, "/")
            with open(file, encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match or "/" not in match.group(1):
                        continue
                    included = match.group(1)
                    other = included.split("/", 1)[0]
                    if other == folder:
                        continue
                    where = f"{relative}:{number} includes {included}"
                    if other not in RANKS:
                        problems.append(f"{where}: {other}/ is not a layer that {folder}/ may use")
                    elif RANKS[other] >= rank:
                        problems.append(
                            f"{where}: {other}/ (rank {RANKS[other]}) is not below {folder}/ (rank {rank})")
    return checked, problems


def main(argv):
    if argv[1:] == ["--folders"]:
        print("\n".join(sorted(RANKS)))
        return 0
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    checked, problems = check(argv[1])
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) against the layers", file=sys.stderr)
        return 1
    print(f"{checked} files: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
