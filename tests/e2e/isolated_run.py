"""Runs one end-to-end scenario in a slot of its own, so that scenarios can run side by side.

The local programs have the distribution server's port compiled in, so two scenarios at once
would both need it. With --isolate the scenario runs in a network namespace of its own (as root:
`unshare --net`, its loopback brought up), where that port and the proxies' ports after it are
free whatever runs beside it. Each running scenario also needs:

  - a Wine prefix of its own: one wineserver serves a prefix, and it opens the program's sockets
    in the namespace it was started in. A slot's prefix is a copy of one initialised template
    (`wineboot -i` is slow), made again when the template changes; a slot is taken with a lock
    and kept by one scenario at a time, and no wineserver of its prefix outlives the scenario;
  - an X display of its own: the scenarios take screenshots of the screen. DISPLAY is removed,
    so the scenario starts a private Xvfb (tools/localrun.py).

The hosts file and the host's certificate store stay shared; their helpers lock them and touch
only their own entries.

    isolated_run.py --slots DIR --template PREFIX --count N [--isolate] -- COMMAND...

The command gets the slot's prefix as PLENWICK_E2E_PREFIX; the exit code is the command's.
"""

import argparse
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import localrun  # noqa: E402

# The file that localrun.Wine.ensure leaves in an initialised prefix.
READY = "plenwick-desktop"


def locked(path, blocking=True):
    """An open file holding an exclusive lock on path, or None when it is taken and not
    blocking."""
    handle = open(path, "a")
    try:
        fcntl.flock(handle, fcntl.LOCK_EX | (0 if blocking else fcntl.LOCK_NB))
    except BlockingIOError:
        handle.close()
        return None
    return handle


def stop_wine(prefix):
    """Ends the prefix's wineserver and every program of it, and waits until it is gone."""
    if not (prefix / "system.reg").exists():
        return
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all")
    subprocess.run(["wineserver", "-k"], env=env, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ensure_template(slots, template):
    """The template prefix, initialised once (under a lock, for every slot); returns its
    stamp, which changes whenever it is made again."""
    with locked(slots / "template.lock"):
        ready = template / READY
        if not ready.exists():
            saved = os.environ.get("DISPLAY")
            display = localrun.ensure_display()
            try:
                localrun.Wine(template).ensure()
            finally:
                if display:
                    display.terminate()
                    display.wait()
                    if saved is None:
                        os.environ.pop("DISPLAY", None)
            stop_wine(template)
        return str(ready.stat().st_mtime_ns)


def take_slot(slots, count):
    """(number, lock) of the first free slot; waits while all are taken."""
    while True:
        for number in range(count):
            lock = locked(slots / f"slot-{number}.lock", blocking=False)
            if lock:
                return number, lock
        time.sleep(0.2)


# Wine's own libraries and programs in a prefix (about 700 MB of its files), which no run writes:
# the slots share them as hard links. Everything else (the registry, ini files, profiles) is a
# copy of the slot's own.
SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".acm", ".ocx", ".cpl", ".tlb", ".ax", ".ds",
                   ".nls", ".msstyles", ".mui", ".vxd", ".dll16", ".exe16", ".com"}


def copy_prefix(template, target):
    for folder, subfolders, files in os.walk(template):
        here = Path(folder)
        there = target / here.relative_to(template)
        there.mkdir(parents=True, exist_ok=True)
        shutil.copystat(here, there)
        for name in subfolders + files:
            source = here / name
            if source.is_symlink():
                os.symlink(os.readlink(source), there / name)
            elif name in files and source.suffix.lower() in SHARED_SUFFIXES:
                os.link(source, there / name)
            elif name in files:
                shutil.copy2(source, there / name)
        # Links to folders were made above; os.walk does not enter them.
        subfolders[:] = [name for name in subfolders if not (here / name).is_symlink()]


def prepare_prefix(slot, template, stamp):
    """The slot's prefix: a copy of the template, made again when the template has changed."""
    prefix = slot / "prefix"
    made = slot / "template-stamp"
    stop_wine(prefix)
    if prefix.exists() and made.exists() and made.read_text() == stamp:
        return prefix
    if prefix.exists():
        shutil.rmtree(prefix)
    slot.mkdir(parents=True, exist_ok=True)
    partial = slot / "prefix.partial"
    if partial.exists():
        shutil.rmtree(partial)
    copy_prefix(template, partial)
    partial.rename(prefix)
    made.write_text(stamp)
    return prefix


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--slots", type=Path, required=True)
    parser.add_argument("--template", type=Path, required=True)
    parser.add_argument("--count", type=int, default=1)
    parser.add_argument("--isolate", action="store_true")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()

    slots = args.slots.resolve()
    slots.mkdir(parents=True, exist_ok=True)
    stamp = ensure_template(slots, args.template.resolve())
    number, lock = take_slot(slots, max(1, args.count))
    prefix = prepare_prefix(slots / f"slot-{number}", args.template.resolve(), stamp)

    env = dict(os.environ, PLENWICK_E2E_PREFIX=str(prefix))
    env.pop("DISPLAY", None)
    command = args.command
    if args.isolate:
        command = ["unshare", "--net", "--", "sh", "-c", 'ip link set lo up && exec "$@"', "sh",
                   *command]
    process = subprocess.Popen(command, env=env)
    # A test run that times out or is stopped ends the scenario too, not only this runner.
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda number, _: process.send_signal(number))
    try:
        code = process.wait()
    finally:
        stop_wine(prefix)
        lock.close()
    return code


if __name__ == "__main__":
    sys.exit(main())
