#!/usr/bin/env python3
"""Dates the packaged programs and DLLs at the source's date: the time in the PE file
header and in the export table, where a linker writes the time of the build, and the
checksum made again over the new bytes. The build links them with no time at all.

usage: stamp_pe.py SOURCE_DATE_EPOCH FILE...
"""
import array
import struct
import sys

PE32, PE32_PLUS = 0x10B, 0x20B
EXPORTS = 0


def checksum(data, at):
    """The PE checksum: a 16-bit one's complement sum of the file, its own field read as 0,
    plus the file's length."""
    words = array.array("H")
    words.frombytes(bytes(data[:at]) + b"\0\0\0\0" + bytes(data[at + 4:]) + b"\0" * (len(data) % 2))
    if sys.byteorder == "big":
        words.byteswap()
    total = sum(words)
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def stamped(data, date):
    """`data`, a PE file, dated `date`. Raises ValueError if it is not one."""
    out = bytearray(data)
    if out[:2] != b"MZ":
        raise ValueError("not a Windows executable")
    pe = struct.unpack_from("<I", out, 0x3C)[0]
    if out[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, _, _, _, optional_size = struct.unpack_from("<HIIIH", out, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", out, optional)[0]
    if magic not in (PE32, PE32_PLUS):
        raise ValueError(f"optional header magic {magic:#x}")
    struct.pack_into("<I", out, pe + 8, date)

    directories_at = optional + (92 if magic == PE32 else 108)
    if struct.unpack_from("<I", out, directories_at)[0] > EXPORTS:
        rva, size = struct.unpack_from("<II", out, directories_at + 4 + 8 * EXPORTS)
        table = optional + optional_size
        for i in range(sections if size else 0):
            _, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", out, table + 40 * i)
            if vaddr <= rva < vaddr + max(vsize, rsize):
                struct.pack_into("<I", out, raw + rva - vaddr + 4, date)
                break

    sum_at = optional + 64
    if struct.unpack_from("<I", out, sum_at)[0]:  # a file without a checksum keeps none
        struct.pack_into("<I", out, sum_at, checksum(out, sum_at))
    return bytes(out)


def main():
    if len(sys.argv) < 3 or not sys.argv[1].isdigit():
        sys.exit(__doc__)
    date = int(sys.argv[1])
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            data = f.read()
        try:
            data = stamped(data, date)
        except (ValueError, struct.error) as e:
            sys.exit(f"stamp_pe.py: {path}: {e}")
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
