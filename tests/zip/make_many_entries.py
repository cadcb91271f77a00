#!/usr/bin/env python3
"""Writes an archive of 70001 entries with Python's zipfile: more than the end record's 16-bit
count can hold, so zipfile adds its Zip64 end record and locator. 70000 tiny files in 700
folders, stored and deflated in turn, then Install.exe last, as the setup archive has it. The
contents follow a rule that the test computes too.
Usage: make_many_entries.py <archive.zip>
"""
import os
import sys
import zipfile

COUNT = 70000


def content(i):
    return b"%d\n" % i


def installer():
    return bytes((i * 7 + i // 251) % 256 for i in range(100000))


def main():
    out = sys.argv[1]
    tmp = out + ".part"
    with zipfile.ZipFile(tmp, "w") as z:
        for i in range(COUNT):
            info = zipfile.ZipInfo("tree/d%03d/f%05d.txt" % (i // 100, i), (2024, 1, 2, 3, 4, 6))
            info.compress_type = zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED
            z.writestr(info, content(i))
        info = zipfile.ZipInfo("Install.exe", (2024, 1, 2, 3, 4, 6))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, installer())
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
