#!/usr/bin/env python3
"""Keeps the layers of src/ one-way: reads every #include "folder/..." of every source file and
fails when a folder includes one it may not depend on (docs/architecture.md, "Folders").

Usage: check_layers.py <src folder>    checks the tree
       check_layers.py --self-test     shows that a wrong include in a small tree is caught
"""
import pathlib
import re
import sys
import tempfile

# What each folder may include besides itself; the program's folder (app) may include all.
ALLOWED = {
    "base": set(),
    "ui": {"base"},
    "net": {"base"},
    "http": {"net", "base"},
    "download": {"http", "net", "base"},
    "zip": {"base"},
    "trust": {"base"},
    "app": {"download", "http", "net", "zip", "trust", "ui", "base"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/', re.MULTILINE)
SOURCES = {".h", ".hpp", ".cpp", ".c", ".inc", ".rc"}


def violations(src):
    src = pathlib.Path(src)
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in SOURCES or not path.is_file():
            continue
        layer = path.relative_to(src).parts[0]
        if layer not in ALLOWED:
            found.append(f"{path}: the folder {layer} has no place in the layer order")
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for match in INCLUDE.finditer(text):
            target = match.group(1)
            if target == layer or target not in ALLOWED:
                continue
            if target not in ALLOWED[layer]:
                line = text.count("\n", 0, match.start()) + 1
                found.append(f"{path}:{line}: {layer} includes {target}")
    return found


def self_test():
    cases = [
        # (file, its text, the violation expected or None)
        ("download/Client.h", '#include "http/IdHTTP.h"\n#include "base/Bytes.h"\n', None),
        ("download/Client.cpp", '#include "download/Client.h"\n#include "ui/Form.h"\n',
         "download includes ui"),
        ("download/Report.h", '  #  include "app/Main.h"\n', "download includes app"),
        ("net/Socket.cpp", '#include "ui/Application.h"\n', "net includes ui"),
        ("http/Body.cpp", '#include "download/ResumeState.h"\n', "http includes download"),
        ("zip/Zip.cpp", '#include "trust/Sha256.h"\n', "zip includes trust"),
        ("app/Main.cpp", '#include "download/ArchiveStorage.h"\n#include "ui/Form.h"\n', None),
        ("app/platform/Launch.cpp", '#include "app/CommandLine.h"\n', None),
        ("tools/Helper.cpp", "", "no place in the layer order"),
    ]
    failures = 0
    for name, text, expected in cases:
        with tempfile.TemporaryDirectory() as folder:
            path = pathlib.Path(folder, name)
            path.parent.mkdir(parents=True)
            path.write_text(text)
            found = violations(folder)
        if expected is None and found:
            print(f"{name}: reported {found}, expected nothing")
            failures += 1
        elif expected is not None and not any(expected in line for line in found):
            print(f"{name}: expected \"{expected}\", reported {found}")
            failures += 1
    return 1 if failures else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    found = violations(sys.argv[1])
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
