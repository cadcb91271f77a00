#!/usr/bin/env python3
"""Times the Windows program's extraction of an archive of many small files under Wine, side by
side in one run with a plain loop that writes the same tree in the same Wine, and prints one
JSON object of what it measured.

The archive is bench/zip/make_many_files.py's (20,000 files in 2,000 folders) with the test
installer at its root, signed with --archive-key for programs built with that key. Every round
runs, in rotating order: each program given by --program (copied into a fresh folder under its
shipped name; it downloads, extracts, starts the installer and removes the folder), timed as
windows_program_bench.py times it, from outside by its status line (extraction: from
"Extracting..." to "Initiating installation procedure..."); and the reference loop
(bench/windows/ManyFilesLoop.cpp: CreateDirectoryW per folder, CreateFileW, WriteFile and
CloseHandle per file, timed by its own clock) into a fresh folder.

Usage: many_files_bench.py --work DIR --port N --prefix DIR --wintool EXE --reference EXE
         --installer EXE --program NAME=EXE [--program NAME=EXE ...] [--rounds 5]
         [--archive-key KEY]
"""
import argparse
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import windows_program_bench as wpb  # noqa: E402

HERE = Path(__file__).resolve().parent


class FilesBench(wpb.Bench):
    def make_archive(self):
        archive = self.work / "www" / "periodic" / wpb.ARCHIVE
        pack = self.work / "tree.pack"
        archive.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run([sys.executable, str(HERE.parent / "zip" / "make_many_files.py"),
                        str(archive), "--pack", str(pack), "--installer", self.args.installer],
                       check=True, stdout=subprocess.DEVNULL)
        self.sign(archive)
        return archive, pack

    def run_reference(self, pack):
        out = wpb.localrun.fresh_folder(self.work / "run" / "loop")
        target = "Z:" + str(out).replace("/", "\\")
        with tempfile.TemporaryFile() as output:
            code = subprocess.run(["wine", str(self.args.reference), str(pack), target],
                                  env=self.wine.env, stdout=output, stderr=subprocess.DEVNULL,
                                  timeout=900).returncode
            output.seek(0)
            text = output.read().decode(errors="replace")
        if code != 0:
            raise RuntimeError("reference loop failed: %s" % text)
        own = dict(kv.split("=", 1) for kv in text.split())
        shutil.rmtree(out)
        return {"extract_s": float(own["seconds"]), "files": int(own["files"]),
                "folders": int(own["folders"])}

    def run(self):
        archive, pack = self.make_archive()
        archive_bytes = archive.stat().st_size
        self.wine.ensure()
        subprocess.run(["wineserver", "-p"], env=self.wine.env, check=False)
        programs = [p.split("=", 1) for p in self.args.program]
        subjects = [(n, e) for n, e in programs] + [("loop", None)]
        results = {name: [] for name, _ in subjects}
        self.server.start()
        try:
            self.new_log_lines()
            self.run_reference(pack)  # warms up the prefix
            for r in range(self.args.rounds):
                for k in range(len(subjects)):
                    name, exe = subjects[(r + k) % len(subjects)]
                    row = self.run_reference(pack) if exe is None else self.run_program(name, exe)
                    results[name].append(row)
                    print("round %d %s: %s" % (r + 1, name, json.dumps(row)), file=sys.stderr)
        finally:
            self.server.stop()
            subprocess.run(["wineserver", "-k"], env=self.wine.env, check=False)
        json.dump({"archive_bytes": archive_bytes, "rounds": self.args.rounds,
                   "results": results}, sys.stdout, indent=1)
        print()


def main():
    parser = argparse.ArgumentParser()
    for name in ("work", "prefix", "wintool", "reference", "installer"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--program", action="append", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--archive-key")
    args = parser.parse_args()
    args.screenshots = None
    FilesBench(args).run()


if __name__ == "__main__":
    main()
