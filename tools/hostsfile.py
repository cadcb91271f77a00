"""Host names for a run: a line of our own in the machine's hosts file (which Wine resolves
through, like every program), added for a block and removed again however it ends. Only that
line is touched (and a line of ours for the same name that a killed run left behind); other
runs on the machine may be adding and removing theirs at the same time.

    with host_entry("dist-47701.plenwick.test"):
        ...
"""

import contextlib
import fcntl
import os
import uuid
from pathlib import Path

HOSTS = Path("/etc/hosts")
# Runs of other builds edit the same file: one edit at a time.
LOCK = Path("/tmp/plenwick-hosts.lock")


@contextlib.contextmanager
def _locked():
    with open(LOCK, "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def _rewrite(change):
    # In place: the file may be mounted into the machine, which a rename would not reach.
    with _locked(), open(HOSTS, "r+") as hosts:
        lines = hosts.read().splitlines(keepends=True)
        hosts.seek(0)
        hosts.write("".join(change(lines)))
        hosts.truncate()


MARKER = "# plenwick-test "


def _left_behind(entry, name):
    """True for a line of ours for name whose run was killed before it could remove it."""
    fields = entry.split()
    if len(fields) < 5 or fields[1] != name or " ".join(fields[2:4]) + " " != MARKER:
        return False
    pid = fields[4].split("-", 1)[0]
    if not pid.isdigit():
        return False
    try:
        os.kill(int(pid), 0)
        return False
    except ProcessLookupError:
        return True
    except PermissionError:
        return False


@contextlib.contextmanager
def host_entry(name, address="127.0.0.1"):
    marker = f"{MARKER}{os.getpid()}-{uuid.uuid4().hex[:12]}"
    line = f"{address} {name} {marker}\n"

    def add(lines):
        lines = [entry for entry in lines if not _left_behind(entry, name)]
        if lines and not lines[-1].endswith("\n"):
            lines[-1] += "\n"
        return lines + [line]

    _rewrite(add)
    try:
        yield name
    finally:
        _rewrite(lambda lines: [entry for entry in lines if not entry.rstrip().endswith(marker)])
