#!/usr/bin/env python3
"""Draws the downloader's icon and writes it as a Windows icon file with nine images:
48, 32 and 16 pixels square, each in 16 colours, 256 colours and 32-bit colour.

The drawing (a blue tile with a white arrow pointing down into a tray) is rendered by
ImageMagick; the palettes, masks and the file layout are built here, so the result does not
depend on how a given ImageMagick version writes icon files.

Usage: make-icon.py OUTPUT.ico
"""
import os
import struct
import subprocess
import sys
import tempfile

SIZES = (48, 32, 16)
DEPTHS = (4, 8, 32)

# The drawing, on a 256-pixel canvas.
DRAW = [
    "-fill", "#1f5fae", "-draw", "roundrectangle 12,12 243,243 44,44",
    "-fill", "#3b7fd4", "-draw", "roundrectangle 28,28 227,140 32,32",
    "-fill", "white", "-draw", "polygon 128,206 60,132 100,132 100,44 156,44 156,132 196,132",
    "-fill", "white", "-draw", "rectangle 56,214 200,230",
]

# The standard 16-colour palette of the platform.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def magick(args, size):
    out = subprocess.run(["convert", *args, "-depth", "8", "RGBA:-"], check=True,
                         stdout=subprocess.PIPE).stdout
    if len(out) != size * size * 4:
        sys.exit(f"unexpected image data from ImageMagick for {size}x{size}")
    return [tuple(out[i:i + 4]) for i in range(0, len(out), 4)]


def render(size, vga_palette):
    """The drawing at one size: as RGBA, reduced to the 16 standard colours, and to 256."""
    base = ["-size", "256x256", "xc:none", *DRAW, "-resize", f"{size}x{size}"]
    rgba = magick(base, size)
    # Colour reductions work on the drawing over black (transparent parts are masked out).
    flat = base + ["-background", "black", "-alpha", "remove", "-alpha", "off"]
    colours16 = magick(flat + ["-dither", "None", "-remap", vga_palette], size)
    colours256 = magick(flat + ["-dither", "None", "-colors", "256"], size)
    return rgba, colours16, colours256


def write_vga_palette(path):
    args = ["convert", "-size", "16x1", "xc:black"]
    for i, (r, g, b) in enumerate(VGA16):
        args += ["-fill", f"rgb({r},{g},{b})", "-draw", f"point {i},0"]
    subprocess.run(args + [path], check=True)


def rows_bottom_up(pixels, size):
    return [pixels[y * size:(y + 1) * size] for y in range(size - 1, -1, -1)]


def pad4(b):
    return b + b"\0" * (-len(b) % 4)


def and_mask(rgba, size):
    out = b""
    for row in rows_bottom_up(rgba, size):
        bits = 0
        data = bytearray()
        for x, px in enumerate(row):
            bits = (bits << 1) | (1 if px[3] < 128 else 0)
            if x % 8 == 7:
                data.append(bits)
                bits = 0
        if size % 8:
            data.append(bits << (8 - size % 8))
        out += pad4(bytes(data))
    return out


def dib(size, depth, rgba, reduced):
    if depth == 32:
        palette = b""
        xor = b"".join(bytes((b, g, r, a)) for row in rows_bottom_up(rgba, size)
                       for (r, g, b, a) in row)
    else:
        colours = VGA16 if depth == 4 else sorted({px[:3] for px in reduced})
        if len(colours) > (1 << depth):
            sys.exit(f"{len(colours)} colours do not fit {depth} bits")
        colours = list(colours) + [(0, 0, 0)] * ((1 << depth) - len(colours))
        index = {c: i for i, c in enumerate(colours)}
        palette = b"".join(bytes((b, g, r, 0)) for (r, g, b) in colours)
        xor = b""
        for row, alpha_row in zip(rows_bottom_up(reduced, size), rows_bottom_up(rgba, size)):
            idx = [0 if a[3] < 128 else index[px[:3]] for px, a in zip(row, alpha_row)]
            if depth == 8:
                xor += pad4(bytes(idx))
            else:
                xor += pad4(bytes((idx[i] << 4) | (idx[i + 1] if i + 1 < size else 0)
                                  for i in range(0, size, 2)))
    mask = and_mask(rgba, size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + palette + xor + mask


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = []
    with tempfile.TemporaryDirectory() as tmp:
        vga_palette = os.path.join(tmp, "vga16.png")
        write_vga_palette(vga_palette)
        rendered = {size: render(size, vga_palette) for size in SIZES}
    for size in SIZES:
        rgba, c16, c256 = rendered[size]
        for depth in DEPTHS:
            images.append((size, depth, dib(size, depth, rgba, {4: c16, 8: c256, 32: None}[depth])))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, depth, data in images:
        colour_count = 16 if depth == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, depth, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
