#!/usr/bin/env python3
"""Writes the extraction benchmark's input tree (~150 MB, always the same bytes) below a folder:
a third incompressible (random), a third text, a third binary-like (skewed byte values that
compress to about half), each as a few large files, some medium ones and many small ones.
Usage: make_bench_tree.py <folder>
"""
import os
import random
import sys

MB = 1 << 20


def random_bytes(rng, size):
    return rng.randbytes(size)


def text_bytes(rng, size):
    words = [w.encode() for w in (
        "the setup archive holds every file of the suite with its folders and the installer "
        "reads them from disk after the downloader has unpacked the archive into its folder "
        "configuration resource library module plugin component version release").split()]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choices(words, k=12)) + b"\n"
    return bytes(out[:size])


def binary_bytes(rng, size):
    # Skewed byte values with few repeats: entropy coding helps, string matching hardly.
    weights = [2.0 ** (-(i % 64) / 8.0) for i in range(256)]
    return bytes(rng.choices(range(256), weights=weights, k=size))


def main():
    root = sys.argv[1]
    rng = random.Random(150)
    kinds = [("random", random_bytes), ("text", text_bytes), ("binary", binary_bytes)]
    plans = {
        "random": [8 * MB] * 3 + [1 * MB] * 24 + [20 * 1024] * 100,
        "text": [10 * MB] * 2 + [1 * MB] * 20 + [20 * 1024] * 500,
        "binary": [10 * MB] * 2 + [1 * MB] * 20 + [20 * 1024] * 500,
    }
    total = 0
    for kind, make in kinds:
        for i, size in enumerate(plans[kind]):
            folder = os.path.join(root, kind, "group%02d" % (i % 10))
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "%s%04d.dat" % (kind, i)), "wb") as f:
                f.write(make(rng, size))
            total += size
    print("%d bytes in %d files" % (total, sum(len(p) for p in plans.values())))


if __name__ == "__main__":
    main()
