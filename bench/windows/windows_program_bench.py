#!/usr/bin/env python3
"""Runs the Windows program under Wine against nginx on loopback, side by side in one run with a
plain WinSock loop in the same Wine, and prints one JSON object of what it measured.

Every round runs, in rotating order: each program given by --program (the program built for
the local server, copied into a fresh folder under its shipped name), and the reference loop
with and without a select before each recv. Measured from outside the program:
  - the server's own time for each GET ($request_time in nginx's log: from reading the request
    to handing the last byte to the socket), for the programs and the reference alike;
  - the program's phases as the user sees them: the times at which its status line first shows
    "Downloading...", "Extracting..." and "Initiating installation procedure..." (wintool
    watch, polling every 5 ms);
  - CPU time of the program's process (GNU time) and of the prefix's wineserver (/proc).

With --archive-key the archive is signed with that key (scripts/sign-archive.sh), for programs
built with it; programs built without keys fetch no signature and take the same archive.

Usage: windows_program_bench.py --work DIR --port N --prefix DIR --wintool EXE --reference EXE
         --installer EXE --program NAME=EXE [--program NAME=EXE ...] [--mib 300] [--rounds 3]
         [--screenshots DIR] [--archive-key KEY]
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import localrun  # noqa: E402
from localrun import MAIN_CAPTION, SETUP_FOLDER  # noqa: E402

ARCHIVE = "Archive_x64-stable.zip"
EXE_NAME = "Plenwick-setup_x64-stable.exe"
PART = 8 << 20  # size of each data file in the archive


def make_archive(path, installer, mib):
    """A stored archive of about mib MiB: the test installer (exit code 0) and random files."""
    if path.exists() and path.with_suffix(".mib").exists() and \
            path.with_suffix(".mib").read_text() == str(mib):
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    tmp = path.with_suffix(".part")
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_STORED) as z:
        z.writestr("Install.exe", Path(installer).read_bytes())
        z.writestr("exitcode.txt", "0\n")
        left, n = mib << 20, 0
        while left > 0:
            size = min(PART, left)
            z.writestr("data/part%03d.bin" % n, os.urandom(size))
            left -= size
            n += 1
    tmp.rename(path)
    path.with_suffix(".mib").write_text(str(mib))


def wineserver_cpu(prefix):
    """User + system seconds of the wineserver serving prefix, or None when none runs."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if not Path(f"/proc/{pid}/comm").read_text().startswith("wineserver"):
                continue
            env = Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
            if f"WINEPREFIX={prefix}".encode() not in env:
                continue
            fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except OSError:
            continue
    return None


def cpu_delta(before, after):
    return after - before if before is not None and after is not None else None


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = Path(args.work).resolve()
        self.prefix = Path(args.prefix).resolve()
        self.wine = localrun.Wine(self.prefix)
        self.server = localrun.DistServer(self.work / "nginx", args.port, self.work / "www")
        self.log = self.work / "nginx" / "access.log"
        self.log_lines = 0
        self.shot = set()  # programs whose first run was photographed

    def new_log_lines(self):
        lines = self.log.read_text(errors="replace").splitlines() if self.log.exists() else []
        fresh = lines[self.log_lines:]
        self.log_lines = len(lines)
        return fresh

    def get_time(self, lines):
        """nginx's $request_time and bytes sent of the one GET of the archive among lines (its
        signature's GET aside)."""
        gets = [ln for ln in lines if f'"GET /periodic/{ARCHIVE} ' in ln]
        if len(gets) != 1:
            raise RuntimeError("expected one GET in the log, got: %r" % lines)
        fields = gets[0].split()
        # The log format ends in: status, bytes sent, "TLS protocol", $request_time, $msec.
        status = int(gets[0].split('"')[2].split()[0])
        sent = int(gets[0].split('"')[2].split()[1])
        if status != 200:
            raise RuntimeError("GET answered %d" % status)
        return float(fields[-2]), sent

    def run_reference(self, mode):
        times = self.work / "reference.time"
        server_before = wineserver_cpu(self.prefix)
        # Output through a file: Wine's helpers would hold a pipe open.
        with tempfile.TemporaryFile() as output:
            code = subprocess.run(["/usr/bin/time", "-o", str(times), "-f", "%e %U %S", "wine",
                                   str(self.args.reference), str(self.args.port),
                                   "/periodic/" + ARCHIVE, mode], env=self.wine.env,
                                  stdout=output, stderr=subprocess.DEVNULL,
                                  timeout=600).returncode
            output.seek(0)
            out = output.read().decode(errors="replace")
        server_after = wineserver_cpu(self.prefix)
        if code != 0:
            raise RuntimeError("reference loop (%s) failed: %s" % (mode, out))
        own = dict(kv.split("=", 1) for kv in out.split())
        server, sent = self.get_time(self.new_log_lines())
        _, user, system = (float(x) for x in times.read_text().split()[-3:])
        return {"server_s": server, "own_s": float(own["seconds"]), "bytes": int(own["bytes"]),
                "cpu_s": user + system, "wineserver_cpu_s": cpu_delta(server_before, server_after),
                "sent": sent}

    def run_program(self, name, exe):
        folder = localrun.fresh_folder(self.work / "run" / name)
        shutil.copy(exe, folder / EXE_NAME)
        watch_out = folder.parent / (name + ".watch")
        with open(watch_out, "w") as out:
            watch = subprocess.Popen(["wine", str(self.args.wintool), "watch", MAIN_CAPTION,
                                      "900000"], env=self.wine.env, stdout=out,
                                     stderr=subprocess.DEVNULL)
        time.sleep(1.0)  # the watcher is up before the window can appear
        times = folder.parent / (name + ".time")
        server_before = wineserver_cpu(self.prefix)
        program = subprocess.Popen(["/usr/bin/time", "-o", str(times), "-f", "%e %U %S", "wine",
                                    str(folder / EXE_NAME)], cwd=folder, env=self.wine.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.args.screenshots and name not in self.shot:
            self.shot.add(name)
            threading.Thread(target=self.shoot_while_downloading, args=(name, watch_out),
                             daemon=True).start()
        code = program.wait(timeout=900)
        server_after = wineserver_cpu(self.prefix)
        watch.wait(timeout=60)
        if code != 0:
            raise RuntimeError("%s ended with %d" % (name, code))
        report = folder / "install-report.txt"
        if not report.exists() or (folder / SETUP_FOLDER).exists():
            raise RuntimeError("%s: the installer did not run or the folder stayed" % name)
        seen = {}
        for line in watch_out.read_text().splitlines():
            stamp, _, what = line.partition(" ")
            seen.setdefault(what, float(stamp.split("=", 1)[1]))
        downloading = seen["text=Downloading..."]
        extracting = seen["text=Extracting..."]
        # The last status can be shown for less than a poll before the window hides.
        installing = seen.get("text=Initiating installation procedure...", seen["hidden"])
        server, sent = self.get_time(self.new_log_lines())
        wall, user, system = (float(x) for x in times.read_text().split()[-3:])
        shutil.rmtree(folder)
        return {"server_s": server, "download_s": extracting - downloading,
                "extract_s": installing - extracting, "process_s": wall, "cpu_s": user + system,
                "wineserver_cpu_s": cpu_delta(server_before, server_after),
                "sent": sent}

    def shoot_while_downloading(self, name, watch_out):
        """Screenshots of a program's first run: mid-download and just after the download."""
        shots = Path(self.args.screenshots)
        stem = re.sub(r"[^A-Za-z0-9]+", "-", name).strip("-")
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            if watch_out.exists() and "Downloading..." in watch_out.read_text():
                break
            time.sleep(0.05)
        time.sleep(self.args.shot_delay)
        localrun.screenshot(shots / f"{stem}-downloading.png")
        while time.monotonic() < deadline:
            if watch_out.exists() and "Extracting..." in watch_out.read_text():
                break
            time.sleep(0.01)
        localrun.screenshot(shots / f"{stem}-downloaded.png")

    def sign(self, archive):
        """With --archive-key, writes the archive's signature beside it (for programs built
        with that key)."""
        if self.args.archive_key:
            subprocess.run(["bash", str(Path(__file__).resolve().parents[2] / "scripts" /
                                        "sign-archive.sh"), self.args.archive_key, str(archive)],
                           check=True, stdout=subprocess.DEVNULL)

    def run(self):
        make_archive(self.work / "www" / "periodic" / ARCHIVE, self.args.installer,
                     self.args.mib)
        self.sign(self.work / "www" / "periodic" / ARCHIVE)
        archive_bytes = (self.work / "www" / "periodic" / ARCHIVE).stat().st_size
        with open(self.work / "www" / "periodic" / ARCHIVE, "rb") as f:  # into the page cache
            while f.read(1 << 24):
                pass
        self.wine.ensure()
        # One wineserver for the whole run, so its CPU time can be read across each program run.
        subprocess.run(["wineserver", "-p"], env=self.wine.env, check=False)
        programs = [p.split("=", 1) for p in self.args.program]
        subjects = [("program", n, e) for n, e in programs] + \
                   [("reference", "winsock-select", "select"),
                    ("reference", "winsock-plain", "plain")]
        results = {name: [] for _, name, _ in subjects}
        self.server.start()
        try:
            self.new_log_lines()
            # A first untimed pass of the reference warms up the prefix and the server.
            self.run_reference("plain")
            for r in range(self.args.rounds):
                for k in range(len(subjects)):
                    kind, name, what = subjects[(r + k) % len(subjects)]
                    if kind == "program":
                        row = self.run_program(name, what)
                    else:
                        row = self.run_reference(what)
                    if row["sent"] != archive_bytes and row["sent"] < archive_bytes:
                        raise RuntimeError("%s: short body (%d bytes)" % (name, row["sent"]))
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
    parser.add_argument("--mib", type=int, default=300)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--screenshots")
    parser.add_argument("--archive-key")
    parser.add_argument("--shot-delay", type=float, default=1.0)
    Bench(parser.parse_args()).run()


if __name__ == "__main__":
    main()
