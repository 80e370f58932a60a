#!/usr/bin/env python3
"""Runs widl, then gives the type library that it wrote (-T <file>) a fixed date. widl puts
the time it ran into every type library, as text ("Created by WIDL version 7.0 at <date>")
and as a number, so that two builds of one source would differ; both become the time 0.

usage: widl_fixed_date.py <widl> <widl's arguments>...
"""
import re
import struct
import subprocess
import sys
import time

FIXED = b"Thu Jan  1 00:00:00 1970"  # as ctime() writes the time 0


def main():
    widl, arguments = sys.argv[1], sys.argv[2:]
    code = subprocess.call([widl] + arguments)
    if code or "-T" not in arguments:
        return code
    path = arguments[arguments.index("-T") + 1]
    with open(path, "rb") as f:
        data = f.read()
    found = re.search(rb"Created by WIDL version [^\n]* at (\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})\n", data)
    # The same moment as custom data of type VT_UI4; the text is in local time, as widl wrote it.
    moment = found and struct.pack("<HI", 0x13, int(time.mktime(time.strptime(found.group(1).decode(),
                                                                              "%a %b %d %H:%M:%S %Y"))))
    if not found or data.count(moment) != 1:
        print(f"widl_fixed_date.py: {path} does not hold widl's date as this script knows it", file=sys.stderr)
        return 1
    with open(path, "wb") as f:
        f.write(data.replace(moment, struct.pack("<HI", 0x13, 0)).replace(found.group(1), FIXED))
    return 0


if __name__ == "__main__":
    sys.exit(main())
