#!/usr/bin/env python3
"""Makes a ZIP archive of mixed files of about a given size from the extraction benchmark's tree
(random, text and binary-like files of several sizes): the tree's files are taken in a fixed
mixed order, again under copyN/ folders when one pass is not enough, until their compressed sizes
(as zip stored them in the benchmark archive) come within 5% of the target. The archive is made by zip, as
the extraction benchmark's own. Files in the staging folder are hard links into the tree.
Usage: make_sized_archive.py <bench.zip> <tree folder (its files)> <target bytes> <out.zip>
"""
import os
import random
import shutil
import subprocess
import sys
import zipfile


def main():
    source, tree, target, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    with zipfile.ZipFile(source) as z:
        entries = [(i.filename, i.compress_size) for i in z.infolist() if not i.is_dir()]
    random.Random(7).shuffle(entries)
    stage = out + ".stage"
    shutil.rmtree(stage, ignore_errors=True)
    # Within 5% of the target: files that would overshoot it further are passed over.
    total, copy, added = 0, 0, True
    while total < target * 0.95 and added:
        added = False
        for name, packed in entries:
            if total >= target * 0.95:
                break
            if total + packed > target * 1.05:
                continue
            added = True
            dest = os.path.join(stage, "copy%02d" % copy, name)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            os.link(os.path.join(tree, name), dest)
            total += packed
        copy += 1
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(["zip", "-q", "-r", "-X", os.path.abspath(out), "."], cwd=stage, check=True)
    shutil.rmtree(stage)
    print("%s: %d bytes" % (out, os.path.getsize(out)))


if __name__ == "__main__":
    main()
