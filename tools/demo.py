"""The demo: the Windows downloader fetching its setup archive from a local nginx under Wine.

Builds nothing itself (scripts/demo.sh does); serves a demo archive slowly enough to watch the
bar move, runs the program, takes a screenshot while the download runs, and tells what
happened: archive fetched, extracted, installer started elevated and finished, folder removed.
"""

import argparse
import sys
import threading
import time
from pathlib import Path

import localrun
from localrun import MAIN_CAPTION, SETUP_FOLDER


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--wintool", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--port", type=int, default=47631)
    parser.add_argument("--rate", default="768k", help="nginx limit_rate of the download")
    args = parser.parse_args()

    display = localrun.ensure_display()
    work = localrun.fresh_folder(Path(args.work).resolve())
    app = work / "app"
    app.mkdir()
    exe = app / "Plenwick-setup_x64-stable.exe"
    exe.write_bytes(Path(args.exe).read_bytes())
    archive = work / "www" / "periodic" / "Archive_x64-stable.zip"
    files = localrun.make_archive(archive, args.installer, exit_code=0, delay_ms=3000,
                                  payload_bytes=4_000_000)
    setup = app / SETUP_FOLDER
    wine = localrun.Wine(args.prefix)
    tool = localrun.WinTool(wine, args.wintool)
    server = localrun.DistServer(work / "nginx", args.port, work / "www", args.rate)

    print(f"== distribution server: http://127.0.0.1:{args.port}/periodic/ "
          f"(nginx, {args.rate}/s), archive {archive.stat().st_size} bytes, "
          f"{len(files)} files")
    wine.ensure()
    server.start()
    extracted = set()
    stop = threading.Event()

    def watch():
        while not stop.is_set():
            if setup.is_dir():
                extracted.update(str(p.relative_to(setup)).replace("\\", "/")
                                 for p in setup.rglob("*") if p.is_file())
            stop.wait(0.02)

    watcher = threading.Thread(target=watch)
    watcher.start()
    shot = work / "downloading.png"
    try:
        started = time.monotonic()
        process = wine.start(exe, cwd=app)
        print("== downloader started under Wine")
        if tool.find(MAIN_CAPTION, 60000) is None:
            print("!! the window did not appear")
        if localrun.wait_until(setup.exists, 60):
            time.sleep(2.0)
            localrun.screenshot(shot)
            print(f"== screenshot while the archive downloads: {shot}")
        code = process.wait(timeout=300)
        elapsed = time.monotonic() - started
    finally:
        stop.set()
        watcher.join()
        server.stop()
        wine.kill()
        if display:
            display.terminate()

    requests = server.requests()
    report_file = app / "install-report.txt"
    report = {}
    if report_file.exists():
        report = dict(line.split("=", 1) for line in report_file.read_text().splitlines()
                      if "=" in line)
    print(f"== requests served: {', '.join(requests) or 'none'}")
    print(f"== files seen in '{SETUP_FOLDER}\\': {len(extracted & set(files))} of {len(files)}"
          f" ({', '.join(sorted(extracted)) or 'none'})")
    if report:
        print(f"== installer ran: {report.get('path')} (elevated: {report.get('elevated')}), "
              f"exit code {report.get('exitcode')}, finished: {report.get('finished', 'no')}")
    else:
        print("== installer did not run")
    print(f"== setup folder {'still there' if setup.exists() else 'removed'}")
    print(f"== downloader ended with exit code {code} after {elapsed:.1f} s")
    ok = (code == 0 and report.get("finished") == "yes" and not setup.exists()
          and set(files) <= extracted
          and requests == ["HEAD /periodic/Archive_x64-stable.zip",
                           "GET /periodic/Archive_x64-stable.zip"])
    print("== the whole road of one archive worked" if ok else "!! the demo did not go as planned")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
