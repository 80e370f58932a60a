#!/usr/bin/env python3
"""The folders' layers: which folders each source folder may use, held against the sources.

usage: check_layers.py ROOT [--readme FILE]   check every source folder under ROOT: its
                                              includes, "..." and <...> alike, and with
                                              --readme the layout table of FILE
       check_layers.py --table                print the table for the build, a folder a line:
                                              "folder stack use use ..."

Prints each breach and exits 1. The table is checked first: the program's stack and the
servers' stack use each other's folders nowhere, and no folder uses itself through others.
A source folder missing from the table is refused, so that a new folder takes its place on
purpose. The build holds each library's target_link_libraries against the same table
(cmake/Layers.cmake). Includes without a folder ("hosts_idl.h") are headers generated into
the folder's own build, and are not checked; neither is tests/, which may use every folder.
"""
import os
import re
import sys

# Each source folder: its stack, and the folders it may use besides itself. The stacks
# share only what is "shared". To add a folder, give it a line here (a new automation
# server: "servers", using "base" and "hostcore"), a row in README.md's layout table, and
# an add_subdirectory in the root CMakeLists.txt.
LAYERS = {
    # Shared by both stacks: the failure type and owners of handles, the resources' ids.
    "base": ("shared", []),
    "resources": ("shared", []),
    # The program: interfaces and support, then the handlers' logic, then the application.
    "views": ("program", ["base"]),
    "automation": ("program", ["base"]),
    "support": ("program", ["base", "resources"]),
    "drives": ("program", ["base", "views", "automation", "support"]),
    "images": ("program", ["base", "views", "automation", "support"]),
    "app": ("program", ["base", "resources", "views", "automation", "support", "drives", "images"]),
    # The automation servers: what they share, then each server on it, none using another.
    "hostcore": ("servers", ["base"]),
    "demohost": ("servers", ["base", "hostcore"]),
    "qemuhost": ("servers", ["base", "hostcore"]),
    "hypervhost": ("servers", ["base", "hostcore"]),
}

# Folders that are no layer: tests, build scripts and trees, the release, pictures.
NOT_LAYERS = {"tests", "cmake", "scripts", "build", "packaging", "docs"}

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".rc", ".rc.in", ".h.in", ".idl")
INCLUDE = re.compile(r'^\s*#\s*include\s*(["<])([^">]+)[">]')
README_ROW = re.compile(r"^\|\s*`([a-z0-9_]+)/`\s*\|([^|]*)\|")


def table_problems():
    problems = []
    for folder, (stack, uses) in LAYERS.items():
        for used in uses:
            if used not in LAYERS:
                problems.append(f"table: {folder}/ uses {used}/, which has no line of its own")
                continue
            other = LAYERS[used][0]
            if other != "shared" and other != stack:
                problems.append(f"table: {folder}/ ({stack}) uses {used}/ ({other}): the stacks share only "
                                "the shared folders")
            if stack == "shared" and other != "shared":
                problems.append(f"table: {folder}/ is shared but uses {used}/ ({other})")
    # Uses point one way: no folder reaches itself through the folders it uses.
    state = {}

    def visit(folder, path):
        if state.get(folder) == "done":
            return
        if state.get(folder) == "open":
            problems.append("table: the uses go round in a circle: " + " -> ".join(path + [folder]))
            return
        state[folder] = "open"
        for used in LAYERS.get(folder, ("", []))[1]:
            visit(used, path + [folder])
        state[folder] = "done"

    for folder in LAYERS:
        visit(folder, [])
    return problems


def source_files(folder):
    for directory, _, files in os.walk(folder):
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(directory, name)


def include_problems(root):
    problems = []
    checked = 0
    folders = [f for f in sorted(os.listdir(root))
               if not f.startswith(".") and f not in NOT_LAYERS and os.path.isdir(os.path.join(root, f))]
    for folder in folders:
        files = list(source_files(os.path.join(root, folder)))
        if not files:
            continue
        if folder not in LAYERS:
            problems.append(f"{folder}/: a source folder that has no line in the table of {__file__}")
            continue
        allowed = set(LAYERS[folder][1]) | {folder}
        for file in files:
            checked += 1
            relative = os.path.relpath(file, root).replace(os.sep, "/")
            with open(file, encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match or "/" not in match.group(2):
                        continue
                    quote, included = match.groups()
                    other = included.split("/", 1)[0]
                    # <wrl/client.h> and the like are the system's; <app/...> is ours.
                    if quote == "<" and other not in LAYERS and other not in folders:
                        continue
                    if other not in allowed:
                        problems.append(f"{relative}:{number} includes {included}: {folder}/ may not use {other}/")
    return checked, problems


def readme_problems(readme):
    """The layout table of the read-me: a row for each folder, naming the folders it uses."""
    rows = {}
    with open(readme, encoding="utf-8") as text:
        for line in text:
            match = README_ROW.match(line)
            if match:
                rows[match.group(1)] = sorted(re.findall(r"`([a-z0-9_]+)/?`", match.group(2)))
    problems = []
    for folder, (_, uses) in LAYERS.items():
        if folder not in rows:
            problems.append(f"{readme}: no row for {folder}/ in the layout table")
        elif rows[folder] != sorted(uses):
            shown = ", ".join(rows[folder]) or "nothing"
            problems.append(f"{readme}: {folder}/ uses {', '.join(sorted(uses)) or 'nothing'}, "
                            f"not {shown} as its row says")
    return problems


def main(argv):
    if argv[1:] == ["--table"]:
        for folder, (stack, uses) in LAYERS.items():
            print(" ".join([folder, stack] + uses))
        return 0
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--readme"):
        print(__doc__, file=sys.stderr)
        return 2
    problems = table_problems()
    checked, found = include_problems(argv[1])
    problems += found
    if len(argv) == 4:
        problems += readme_problems(argv[3])
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} breach(es) of the layers", file=sys.stderr)
        return 1
    print(f"{checked} files: every include is of a folder that its folder may use")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
