#!/usr/bin/env python3
"""Writes the many-small-files benchmark's archive (always the same bytes): 20,000 files of 200
to 4,000 bytes of text, ten in each of 2,000 folders (100 below each of 20), deflated; with
--installer, the test installer (exit code 0) at its root too, for the Windows program. With
--pack, also the same tree in a flat file for the Windows reference loop
(bench/windows/ManyFilesLoop.cpp): "PWPK", the folder count (u32) and each folder (u16 length,
UTF-8 path with "\\" separators, parents first), then the file count (u32) and each file (u16
length, path, u32 size, bytes); all little-endian.
Usage: make_many_files.py <archive.zip> [--pack <tree.pack>] [--installer <Install.exe>]
"""
import argparse
import random
import struct
import zipfile

PARENTS = 20
CHILDREN = 100
FILES_PER_FOLDER = 10
WORDS = ("setup suite module library resource plugin version release component folder "
         "install archive file data settings").split()


def tree():
    """(folders, files): folders parents first; files as (path, bytes)."""
    rng = random.Random(20000)
    folders, files = ["suite"], []
    for p in range(PARENTS):
        parent = "suite\\part%02d" % p
        folders.append(parent)
        for c in range(CHILDREN):
            folder = "%s\\group%03d" % (parent, c)
            folders.append(folder)
            for f in range(FILES_PER_FOLDER):
                size = rng.randint(200, 4000)
                text = bytearray()
                while len(text) < size:
                    text += (" ".join(rng.choices(WORDS, k=10)) + "\r\n").encode()
                files.append(("%s\\file%02d.txt" % (folder, f), bytes(text[:size])))
    return folders, files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("archive")
    parser.add_argument("--pack")
    parser.add_argument("--installer")
    args = parser.parse_args()
    folders, files = tree()
    with zipfile.ZipFile(args.archive, "w", zipfile.ZIP_DEFLATED) as archive:
        if args.installer:
            with open(args.installer, "rb") as f:
                archive.writestr("Install.exe", f.read())
            archive.writestr("exitcode.txt", "0\n")
        for path, data in files:
            archive.writestr(path.replace("\\", "/"), data)
    if args.pack:
        with open(args.pack, "wb") as out:
            out.write(b"PWPK" + struct.pack("<I", len(folders)))
            for folder in folders:
                name = folder.encode()
                out.write(struct.pack("<H", len(name)) + name)
            out.write(struct.pack("<I", len(files)))
            for path, data in files:
                name = path.encode()
                out.write(struct.pack("<H", len(name)) + name + struct.pack("<I", len(data)) + data)
    print("%d files in %d folders, %d bytes" % (len(files), len(folders),
                                                sum(len(d) for _, d in files)))


if __name__ == "__main__":
    main()
