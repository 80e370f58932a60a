#!/usr/bin/env python3
"""Checks that nothing of the tests ships: reads the strings of each file (ANSI and UTF-16)
and fails on an environment variable of the project other than those documented, which
name files, and on the words of a fault switch (a server told to stall or die).

usage: check_shipped_strings.py FILE...
"""
import re
import sys

# The variables that the shipped servers read and the read-mes document.
DOCUMENTED = {"OMBREVALE_DEMO_INVENTORY", "OMBREVALE_QEMU_MACHINES", "OMBREVALE_HYPERV_HOSTS"}
VARIABLE = re.compile(r"OMBREVALE_[A-Z0-9_]+")
# "fault" and "stall" as words or parts of names ("SERVER_FAULT", "FaultyBackend"), not
# inside another word ("default", "install").
FAULT_WORDS = re.compile(r"(?<![A-Za-z])(fault|stall)", re.IGNORECASE)

ANSI = re.compile(rb"[\x20-\x7e]{4,}")
UTF16 = re.compile(rb"(?:[\x20-\x7e]\x00){4,}")


def strings(data):
    for match in ANSI.finditer(data):
        yield "ANSI", match.group().decode("ascii")
    for match in UTF16.finditer(data):
        yield "UTF-16", match.group().decode("utf-16-le")


def problems(path):
    with open(path, "rb") as f:
        data = f.read()
    found = set()
    for form, text in strings(data):
        for name in VARIABLE.findall(text):
            if name not in DOCUMENTED:
                found.add(f"{path}: {form} string \"{text}\" names the variable {name}")
        if FAULT_WORDS.search(text):
            found.add(f"{path}: {form} string \"{text}\" speaks of a fault switch")
    return sorted(found)


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    found = [p for path in argv[1:] for p in problems(path)]
    for problem in found:
        print(problem)
    if found:
        return 1
    print(f"{len(argv) - 1} files: nothing of the tests in their strings")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
