"""Screenshots of the downloader's window in every language of its text table at 96 and 144
pixels per inch, under Wine: docs/screenshots/window-<language>-<density>.png.

Usage: screenshots.py <Windows build folder> <output folder>

The program built for the local server (local/Plenwick-setup_x64-stable.exe) runs against a
server that holds its size probe, so each picture shows the window at "Checking files to
download..." in that language; the picture is the window, cut from the screen.
"""

import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import languagerun
import localrun
import texttable

DENSITIES = (96, 144)


def local_port(build):
    cache = (Path(build) / "CMakeCache.txt").read_text()
    return int(re.search(r"^PLENWICK_LOCAL_PORT:\w+=(\d+)$", cache, re.M).group(1))


def shoot(wine, tool, exe, folder, port, caption, status, path):
    with languagerun.HoldingServer(port):
        program = wine.start(exe, cwd=folder)
        try:
            seen = localrun.wait_until(
                lambda: (lambda s: s if s and any(status in c for c in s["children"]) else None)(
                    tool.find(caption, 2000)), 60)
            if not seen:
                raise RuntimeError(f"the window never showed {status!r}")
            left, top, width, height = (int(v) for v in seen["window"].split(","))
            path.parent.mkdir(parents=True, exist_ok=True)
            subprocess.run(["import", "-window", "root", "-crop",
                            f"{width}x{height}+{left}+{top}", "+repage", str(path)], check=True)
        finally:
            program.kill()
            wine.kill()


def main():
    build, out = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    languages, texts = texttable.read()
    display = localrun.ensure_display()
    base = localrun.Wine(build / "wineprefix-screenshots")
    base.ensure()
    port = local_port(build)
    try:
        with tempfile.TemporaryDirectory() as tmp:
            exe = Path(tmp) / "Plenwick-setup_x64-stable.exe"
            shutil.copy(build / "local" / "Plenwick-setup_x64-stable.exe", exe)
            tool_exe = build / "tools" / "wintool" / "wintool.exe"
            for density in DENSITIES:
                with languagerun.screen_density(base, tmp, density):
                    for tag, _, _ in languages:
                        wine = languagerun.in_language(base, tag)
                        path = out / f"window-{tag}-{density}.png"
                        shoot(wine, localrun.WinTool(wine, tool_exe), exe, tmp, port,
                              texts["RSMainCaption"][tag], texts["RSStatusChecking"][tag], path)
                        print(path)
    finally:
        base.kill()
        if display:
            display.terminate()


if __name__ == "__main__":
    main()
