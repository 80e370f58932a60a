#!/usr/bin/env python3
"""Checks that Windows files start on Windows XP SP3: reads each file's PE headers and
import tables and fails when the machine is not i386, the subsystem version is above
5.01, a DLL is not one of Windows' own, or a function is not on the reviewed list.

usage: check_pe_imports.py LIST [--max-size BYTES] FILE [[--max-size BYTES] FILE ...]
       (--max-size applies to the one file named after it)
"""
import struct
import sys

I386 = 0x14C
PE32 = 0x10B
MAX_SUBSYSTEM = (5, 1)


class BadFile(Exception):
    pass


def read_list(path):
    """The reviewed list: `[DLL]` headings, one function per line, `#` comments."""
    allowed = {}
    dll = None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("[") and line.endswith("]"):
                dll = line[1:-1].strip().lower()
                if dll in allowed:
                    raise BadFile(f"{path}:{number}: {dll} is listed twice")
                allowed[dll] = set()
            elif dll is None:
                raise BadFile(f"{path}:{number}: a function before any [DLL] heading")
            elif line in allowed[dll]:
                raise BadFile(f"{path}:{number}: {line} is listed twice under {dll}")
            else:
                allowed[dll].add(line)
    return allowed


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise BadFile("not a Windows executable (no MZ header)")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise BadFile("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        if self.machine != I386:
            raise BadFile(f"machine {self.machine:#x}, not i386 ({I386:#x})")
        optional = pe + 24
        self.magic = self.u16(optional)
        if self.magic != PE32:
            raise BadFile(f"optional header magic {self.magic:#x}, not PE32")
        self.subsystem_version = (self.u16(optional + 48), self.u16(optional + 50))
        directories = self.u32(optional + 92)
        self.directory = [struct.unpack_from("<II", self.data, optional + 96 + 8 * i) for i in range(directories)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, vaddr, rsize, raw, *_ = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), raw, rsize))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for vaddr, size, raw, rsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rsize:
                    raise BadFile(f"RVA {rva:#x} lies in a section's uninitialised part")
                return raw + rva - vaddr
        raise BadFile(f"RVA {rva:#x} lies in no section")

    def text(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("ascii")

    def names(self, thunks_rva):
        """The functions a thunk table imports: names, or `#N` for an ordinal."""
        found = []
        at = self.offset(thunks_rva)
        while True:
            thunk = self.u32(at)
            if thunk == 0:
                return found
            found.append(f"#{thunk & 0xFFFF}" if thunk & 0x80000000 else self.text(thunk + 2))
            at += 4

    def imports(self):
        """(dll, function) for the import table and the delay-load table alike."""
        result = []
        if len(self.directory) > 1 and self.directory[1][0]:
            at = self.offset(self.directory[1][0])
            while True:
                lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
                if name == 0:
                    break
                dll = self.text(name)
                result += [(dll, f) for f in self.names(lookup or first)]
                at += 20
        if len(self.directory) > 13 and self.directory[13][0]:
            at = self.offset(self.directory[13][0])
            while True:
                _, name, _, _, names, *_ = struct.unpack_from("<IIIIIIII", self.data, at)
                if name == 0:
                    break
                dll = self.text(name)
                result += [(dll, f) for f in self.names(names)]
                at += 32
        return result


def check(path, allowed, max_size):
    problems = []
    try:
        pe = PeFile(path)
    except (BadFile, struct.error, ValueError, IndexError) as e:
        return [str(e)]
    if pe.subsystem_version > MAX_SUBSYSTEM:
        problems.append("subsystem version %d.%02d is above 5.01" % pe.subsystem_version)
    try:
        imports = pe.imports()
    except (BadFile, struct.error, ValueError, IndexError) as e:
        return problems + [f"import table cannot be read: {e}"]
    for dll, function in imports:
        known = allowed.get(dll.lower())
        if known is None:
            problems.append(f"imports {dll}, which is not on the list of Windows' own DLLs")
        elif function not in known:
            problems.append(f"imports {dll}!{function}, which is not on the reviewed list")
    if max_size is not None and len(pe.data) > max_size:
        problems.append(f"is {len(pe.data)} bytes, more than {max_size}")
    return sorted(set(problems))


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        allowed = read_list(argv[1])
    except (OSError, BadFile) as e:
        print(f"the reviewed list cannot be read: {e}", file=sys.stderr)
        return 2
    failed = False
    max_size = None
    files = argv[2:]
    i = 0
    while i < len(files):
        if files[i] == "--max-size":
            max_size = int(files[i + 1])
            i += 2
            continue
        path = files[i]
        i += 1
        problems = check(path, allowed, max_size)
        max_size = None
        if problems:
            failed = True
            print(f"FAIL {path}:")
            for p in problems:
                print(f"  {p}")
        else:
            print(f"ok   {path}: i386, subsystem 5.01 or lower, every import reviewed for Windows XP SP3")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
