#!/usr/bin/env python3
"""Writes CPack's zip again so that its bytes depend on what it holds and on the source
date only: entries in name order, each dated at the source date (UTC), with no owner,
permissions or access and change times of the build machine (CPack records them all).

usage: repack_zip.py ZIP SOURCE_DATE_EPOCH
"""
import os
import sys
import time
import zipfile


def main():
    path, source_date = sys.argv[1], int(sys.argv[2])
    date = time.gmtime(source_date)[:6]
    with zipfile.ZipFile(path) as z:
        entries = sorted((i.filename, z.read(i)) for i in z.infolist() if not i.is_dir())
    with zipfile.ZipFile(path + ".new", "w") as z:
        for name, data in entries:
            entry = zipfile.ZipInfo(name, date)
            entry.create_system = 0  # MS-DOS: attributes, not a Unix mode
            entry.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(entry, data, compresslevel=9)
    os.replace(path + ".new", path)


if __name__ == "__main__":
    main()
