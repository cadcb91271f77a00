"""The demo: the Windows downloader fetching its setup archive from a local nginx under Wine.

Builds nothing itself (scripts/demo.sh does); serves a demo archive slowly enough to watch the
bar move, runs the program, takes a screenshot while the download runs, and tells what
happened: archive fetched, extracted, installer started elevated and finished, folder removed.
With --tls the server speaks HTTPS with a certificate for "localhost" from a test authority made
here, trusted through the host's store only while the program runs (the secure program, built
with the "https" scheme for localhost, checks it with Windows' own TLS). The archive is signed
with --archive-key (scripts/sign-archive.sh), the key the program was built with.
"""

import argparse
import contextlib
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import localrun
import testca
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
    parser.add_argument("--tls", action="store_true", help="serve HTTPS (the secure program)")
    parser.add_argument("--archive-key", required=True,
                        help="the P-256 key the archive is signed with (the program's)")
    args = parser.parse_args()
    # A stop by signal still takes the test authority out of the host's store.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    display = localrun.ensure_display()
    work = localrun.fresh_folder(Path(args.work).resolve())
    app = work / "app"
    app.mkdir()
    exe = app / "Plenwick-setup_x64-stable.exe"
    exe.write_bytes(Path(args.exe).read_bytes())
    archive = work / "www" / "periodic" / "Archive_x64-stable.zip"
    files = localrun.make_archive(archive, args.installer, exit_code=0, delay_ms=3000,
                                  payload_bytes=4_000_000)
    subprocess.run(["bash", str(localrun.HERE.parent / "scripts" / "sign-archive.sh"),
                    args.archive_key, str(archive)], check=True, stdout=subprocess.DEVNULL)
    signature = dict(line.split(": ", 1) for line in
                     archive.with_name(archive.name + ".sig").read_text().splitlines())
    setup = app / SETUP_FOLDER
    wine = localrun.Wine(args.prefix)
    tool = localrun.WinTool(wine, args.wintool)
    authority = None
    tls = None
    if args.tls:
        authority = testca.TestAuthority(work / "ca", "Plenwick Demo Authority")
        tls = authority.issue("localhost", ["localhost"])
    server = localrun.DistServer(work / "nginx", args.port, work / "www", args.rate, tls=tls)

    url = (f"https://localhost:{args.port}/periodic/" if args.tls
           else f"http://127.0.0.1:{args.port}/periodic/")
    print(f"== distribution server: {url} "
          f"(nginx, {args.rate}/s), archive {archive.stat().st_size} bytes, "
          f"{len(files)} files")
    if authority:
        print(f"== its certificate: for localhost, issued by '{authority.name}', made for this "
              "demo and trusted through the host's store only while the program runs")
    print(f"== archive signed (ECDSA P-256) with key {signature['key'][:16]}..., made for this run; "
          "the program is built with its public half")
    wine.ensure()
    server.start()
    trust = authority.trusted_on_host() if authority else contextlib.nullcontext()
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
        with trust:
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
        if authority:
            print("== test authority removed from the host's store again")
    finally:
        stop.set()
        watcher.join()
        server.stop()
        wine.kill()
        if display:
            display.terminate()

    served = server.requests_with_protocols()
    requests = [request for request, _ in served]
    report_file = app / "install-report.txt"
    report = {}
    if report_file.exists():
        report = dict(line.split("=", 1) for line in report_file.read_text().splitlines()
                      if "=" in line)
    print("== requests served: " + (", ".join(
        f"{request} ({protocol or 'plain HTTP'})" for request, protocol in served) or "none"))
    signature_checked = (f"GET /periodic/{archive.name}.sig" in requests and
                         requests.index(f"GET /periodic/{archive.name}.sig") <
                         requests.index(f"GET /periodic/{archive.name}")
                         if f"GET /periodic/{archive.name}" in requests else False)
    print("== signature check: " + (
        f"{archive.name}.sig fetched after the size probe, the archive's {signature['size']} "
        f"bytes matched its SHA-256 and the signature before anything was extracted"
        if signature_checked and report else "did not happen as planned"))
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
                           "GET /periodic/Archive_x64-stable.zip.sig",
                           "GET /periodic/Archive_x64-stable.zip"]
          and all(bool(protocol) == args.tls for _, protocol in served))
    print("== the whole road of one archive worked" if ok else "!! the demo did not go as planned")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
