"""Runs the Windows downloader under Wine against the local distribution server.

Shared by the demo (scripts/demo.sh) and the end-to-end tests (tests/e2e): a private X display
when there is none, a Wine prefix of our own that shows every window in a Wine desktop (so
title bars are drawn without a window manager), nginx with a configuration of ours, archives
made from the test installer, screenshots, and the window inspector (wintool.exe).
"""

import contextlib
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
MAIN_CAPTION = "Plenwick Suite Setup - Web Downloader"
SETUP_FOLDER = "Plenwick Setup (64-bit)"
DESKTOP = "800x600"  # the Wine desktop every window of our prefix lives in


def ensure_display():
    """Starts a private Xvfb when DISPLAY is unset; returns its process or None."""
    if os.environ.get("DISPLAY"):
        return None
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        number = pipe.readline().strip()
    os.environ["DISPLAY"] = ":" + number
    return proc


class Wine:
    """A Wine prefix of our own whose windows live in an 800x600 Wine desktop."""

    def __init__(self, prefix):
        self.prefix = Path(prefix)
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def ensure(self):
        marker = self.prefix / "plenwick-desktop"
        if marker.exists():
            return
        self.prefix.mkdir(parents=True, exist_ok=True)
        subprocess.run(["wineboot", "-i"], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for key, name, value in [
                (r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
                (r"HKCU\Software\Wine\Explorer\Desktops", "Default", DESKTOP)]:
            subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"],
                           env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, check=False)
        marker.write_text("yes\n")

    def start(self, exe, args=(), cwd=None):
        return subprocess.Popen(["wine", str(exe), *args], cwd=cwd, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, exe, args=(), timeout=120):
        # Output goes through a file, not a pipe: Wine's helper processes that a call may
        # start (the desktop, services) inherit its output and would hold a pipe open.
        with tempfile.TemporaryFile() as out:
            done = subprocess.run(["wine", str(exe), *args], env=self.env, stdout=out,
                                  stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            return done.returncode, out.read().decode("utf-8", errors="replace")

    def kill(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)

    def registry_values(self, key):
        """{name: (type, text)} of the values directly under key, as "reg query" shows them
        (a REG_DWORD as "0x1")."""
        rc, out = self.run("reg", ["query", key])
        values = {}
        if rc != 0:
            return values
        for line in out.splitlines():
            match = re.match(r"^    (.+?)    (REG_\w+)    ?(.*)$", line.rstrip("\r"))
            if match:
                values[match.group(1)] = (match.group(2), match.group(3))
        return values

    def import_registry(self, key, values, folder):
        """Sets the values under key in one import: {name: int (a REG_DWORD), Expandable (a
        REG_EXPAND_SZ), str (a REG_SZ) or None (removed)}; the import file is written in
        folder."""
        lines = ["REGEDIT4", "", f"[{key}]"]
        for name, value in values.items():
            if value is None:
                data = "-"
            elif isinstance(value, Expandable):
                data = "hex(2):" + ",".join(f"{b:02x}" for b in (value + "\0").encode("utf-16-le"))
            elif isinstance(value, int):
                data = f"dword:{value:08x}"
            else:
                data = '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
            lines.append(f'"{name}"={data}')
        path = Path(folder) / "settings.reg"
        path.write_text("\r\n".join(lines) + "\r\n")
        rc, _ = self.run("regedit", ["/S", "Z:" + str(path.resolve()).replace("/", "\\")])
        if rc != 0:
            raise RuntimeError(f"regedit could not import {path}")


INTERNET_SETTINGS = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
USER_ENVIRONMENT = r"HKEY_CURRENT_USER\Environment"


class Expandable(str):
    """A registry text with %variables% (REG_EXPAND_SZ)."""


@contextlib.contextmanager
def registry_settings(wine, key, folder, **values):
    """The values under key for the block (see Wine.import_registry); afterwards every value set
    is as it was before, or gone again, however the block ends."""
    before = wine.registry_values(key)
    wine.import_registry(key, values, folder)
    try:
        yield
    finally:
        restore = {}
        for name in values:
            kind, text = before.get(name, (None, None))
            if kind == "REG_DWORD":
                restore[name] = int(text, 16)
            elif kind == "REG_EXPAND_SZ":
                restore[name] = Expandable(text)
            elif kind is not None:
                restore[name] = text
            else:
                restore[name] = None
        wine.import_registry(key, restore, folder)


def internet_settings(wine, folder, **values):
    """The current user's internet settings of the prefix (ProxyEnable=1,
    ProxyServer="127.0.0.1:3128", ProxyOverride=...) for the block, put back afterwards."""
    return registry_settings(wine, INTERNET_SETTINGS, folder, **values)


def user_temp_folder(wine, folder, path):
    """The current user's temporary folder (TEMP and TMP) is the host's path for the block, as
    programs started in it see it; put back afterwards."""
    windows = "Z:" + str(Path(path).resolve()).replace("/", "\\")
    return registry_settings(wine, USER_ENVIRONMENT, folder, TEMP=windows, TMP=windows)


def _unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"r": "\r", "n": "\n"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


class WinTool:
    """The window inspector, run inside the same Wine prefix as the program."""

    def __init__(self, wine, exe):
        self.wine = wine
        self.exe = exe

    def find(self, caption, timeout_ms):
        """Waits for a visible window; returns a dict of what wintool saw, or None."""
        rc, out = self.wine.run(self.exe, ["find", caption, str(timeout_ms)],
                                timeout=timeout_ms / 1000 + 60)
        if rc != 0:
            return None
        info = {"children": [], "rects": []}
        for line in out.splitlines():
            key, _, value = line.strip().partition("=")
            if key == "child":
                info["children"].append(_unescape(value))
            elif key == "rect":
                # class, (left, top, width, height) in the client area
                cls, box = value.split("|")
                info["rects"].append((cls, tuple(int(v) for v in box.split(","))))
            else:
                info[key] = value
        return info

    def dialog(self, caption, timeout_ms, button="OK"):
        """Waits for a dialog, returns (texts, buttons) and presses the button labelled so (OK
        by default); None on time-out or when there is no such button."""
        rc, out = self.wine.run(self.exe, ["dialog", caption, str(timeout_ms), button],
                                timeout=timeout_ms / 1000 + 60)
        if rc != 0:
            return None
        texts, buttons = [], []
        for line in out.splitlines():
            key, _, value = line.rstrip("\r\n").partition("=")
            if key == "text":
                texts.append(_unescape(value))
            elif key == "button":
                buttons.append(_unescape(value))
        return texts, buttons

    def close(self, caption):
        rc, _ = self.wine.run(self.exe, ["close", caption])
        return rc == 0

    def close_on(self, caption, text, delay_ms, timeout_ms):
        """Waits until the window's status line shows text, then delay_ms more; asks the window
        to close and returns whether it answered a message just before (None on time-out)."""
        rc, out = self.wine.run(self.exe, ["closeon", caption, text, str(delay_ms),
                                           str(timeout_ms)], timeout=timeout_ms / 1000 + 60)
        if rc != 0:
            return None
        return "answered=yes" in out

    def watch(self, caption, timeout_ms, out_path, bar=False):
        """Starts watching the window in the background (see read_watch): its status line's
        texts, and with bar its progress bar's positions, written to out_path until the window
        hides. Returns the process."""
        with open(out_path, "w") as out:
            return subprocess.Popen(
                ["wine", str(self.exe), "watch", caption, str(timeout_ms)] + (["bar"] if bar else []),
                env=self.wine.env, stdout=out, stderr=subprocess.DEVNULL)

    def credentials(self, caption, timeout_ms, user, password, remember, ok=True):
        """Waits for the system's credential dialog with the caption, answers it (OK or
        Cancel) and returns the texts it showed; None when it did not come."""
        rc, out = self.wine.run(self.exe, ["credentials", caption, str(timeout_ms), user,
                                           password, "1" if remember else "0",
                                           "ok" if ok else "cancel"],
                                timeout=timeout_ms / 1000 + 60)
        if rc != 0:
            return None
        return [_unescape(line.rstrip("\r\n").partition("=")[2]) for line in out.splitlines()
                if line.startswith("text=")]

    def cred_write(self, target, user, password):
        rc, _ = self.wine.run(self.exe, ["credwrite", target, user, password])
        return rc == 0

    def cred_read(self, target):
        """(user, password) kept in the Credential Manager under target, or None."""
        rc, out = self.wine.run(self.exe, ["credread", target])
        if rc != 0:
            return None
        values = dict(_unescape(line.rstrip("\r\n")).split("=", 1)
                      for line in out.splitlines() if "=" in line)
        return values.get("user"), values.get("password")

    def cred_delete(self, target):
        rc, _ = self.wine.run(self.exe, ["creddelete", target])
        return rc == 0

    def version(self, program):
        """The program's version resource as Windows reads it ({name: value}), or None."""
        rc, out = self.wine.run(self.exe, ["version", str(program)])
        if rc != 0:
            return None
        return dict(_unescape(line.rstrip("\r\n")).split("=", 1)
                    for line in out.splitlines() if "=" in line)


class WatchedRun:
    """The program run through the window inspector ("wintool run"), which passes it exactly the
    command line given, records every window it shows, and reads its whole exit code (a Unix
    parent gets only the low 8 bits of a Windows program's). Started at once; the test may act
    on the program meanwhile."""

    def __init__(self, wine, wintool, command_line, cwd, timeout_ms=240000):
        self._wine = wine
        handle, self._out = tempfile.mkstemp(prefix="wintool-run-")
        with os.fdopen(handle, "wb") as out:
            self._process = subprocess.Popen(
                ["wine", str(wintool), "run", str(timeout_ms), command_line], cwd=cwd,
                env=wine.env, stdout=out, stderr=subprocess.DEVNULL)
        self.windows = []
        self.exit_code = None

    def _lines(self):
        if not Path(self._out).exists():
            return []
        text = Path(self._out).read_bytes().decode("utf-8", errors="replace")
        return [line.rstrip("\r").partition("=")[::2] for line in text.splitlines()]

    def wait(self, timeout):
        """The program's exit code once it has ended (None when it has not within timeout
        seconds); windows then lists the captions of the windows it showed."""
        try:
            self._process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        if not Path(self._out).exists():
            return self.exit_code  # read at an earlier wait
        self.windows = []
        for key, value in self._lines():
            if key == "window":
                self.windows.append(_unescape(value))
            elif key == "exitcode":
                self.exit_code = int(value)
        Path(self._out).unlink(missing_ok=True)
        return self.exit_code

    def running(self):
        return self._process.poll() is None

    def kill(self):
        """Ends the program itself, as the task manager does (the inspector then reports its
        end)."""
        pids = [value for key, value in self._lines() if key == "pid"]
        if pids and self._process.poll() is None:
            subprocess.run(["wine", "taskkill", "/F", "/PID", pids[0]], env=self._wine.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        try:
            self._process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self._process.kill()


class DistServer:
    """nginx on 127.0.0.1:<port> serving <root>, started and stopped by our own script; with
    tls=(certificate file, key file) it serves HTTPS instead of HTTP."""

    def __init__(self, state, port, root, rate="0", tls=None):
        self.state = Path(state)
        self.port = port
        self.root = Path(root)
        self.rate = rate
        self.tls = tls

    def start(self):
        tls = [str(p) for p in self.tls] if self.tls else []
        subprocess.run([str(HERE / "distserver" / "distserver.sh"), "start", str(self.state),
                        str(self.port), str(self.root), self.rate, *tls], check=True)

    def stop(self):
        subprocess.run([str(HERE / "distserver" / "distserver.sh"), "stop", str(self.state)],
                       check=False)

    def requests(self):
        """The request lines served so far, e.g. "HEAD /periodic/Archive_x64-stable.zip"."""
        return [request for request, _ in self.requests_with_protocols()]

    def requests_with_statuses(self):
        """(request line, status code) of each request served so far."""
        log = self.state / "access.log"
        if not log.exists():
            return []
        served = []
        for line in log.read_text(errors="replace").splitlines():
            quoted = line.split('"')
            if len(quoted) >= 3:
                served.append((quoted[1].rsplit(" ", 1)[0], int(quoted[2].split()[0])))
        return served

    def requests_with_bytes_sent(self):
        """(request line, body bytes nginx got out to the socket) of each request served so
        far."""
        log = self.state / "access.log"
        if not log.exists():
            return []
        served = []
        for line in log.read_text(errors="replace").splitlines():
            quoted = line.split('"')
            if len(quoted) >= 3:
                served.append((quoted[1].rsplit(" ", 1)[0], int(quoted[2].split()[1])))
        return served

    def requests_with_protocols(self):
        """(request line, TLS protocol such as "TLSv1.2" or "" for plain HTTP) of each request
        served so far."""
        log = self.state / "access.log"
        if not log.exists():
            return []
        served = []
        for line in log.read_text(errors="replace").splitlines():
            quoted = line.split('"')
            if len(quoted) >= 4:
                protocol = quoted[3] if quoted[3] != "-" else ""
                served.append((quoted[1].rsplit(" ", 1)[0], protocol))
        return served

    def received_credentials(self):
        """The requests that reached the server with a Proxy-Authorization or Authorization
        header, as "request|proxy-authorization|authorization" lines."""
        log = self.state / "credentials.log"
        if not log.exists():
            return []
        return [line for line in log.read_text(errors="replace").splitlines()
                if line.rsplit("|", 2)[1:] != ["-", "-"]]

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()


def make_archive(path, installer, exit_code=0, delay_ms=0, payload_bytes=200_000,
                 with_installer=True, leave_behind=(), stored_bytes=0, small_files=0):
    """Writes a setup archive: Install.exe at its root, its exit code and delay files, what it
    is to leave behind (lines of leave-behind.txt), and a small tree of data files (one
    incompressible; with stored_bytes also a large one, stored; then small_files tiny ones, which
    take a while to create). Returns {entry name: bytes} of the files."""
    files = {}
    if with_installer:
        files["Install.exe"] = Path(installer).read_bytes()
    files["exitcode.txt"] = f"{exit_code}\n".encode()
    if delay_ms:
        files["delay-ms.txt"] = f"{delay_ms}\n".encode()
    if leave_behind:
        files["leave-behind.txt"] = "".join(line + "\r\n" for line in leave_behind).encode()
    files["data/readme.txt"] = ("Plenwick Suite\r\n" * 500).encode()
    files["data/assets/blob.bin"] = os.urandom(payload_bytes)
    if stored_bytes:
        files["data/large.bin"] = os.urandom(stored_bytes)
    for i in range(small_files):
        files[f"data/small/{i // 100:03}/{i:05}.txt"] = f"small file {i}\r\n".encode()
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files.items():
            archive.writestr(name, data, compress_type=zipfile.ZIP_STORED
                             if name == "data/large.bin" else zipfile.ZIP_DEFLATED)
    return files


def read_watch(path):
    """What a watch saw, in order: ("text", status line), ("position", bar position) and
    ("hidden", None) entries."""
    seen = []
    for line in Path(path).read_text().splitlines():
        _, _, what = line.partition(" ")
        if what == "hidden":
            seen.append(("hidden", None))
        else:
            kind, _, value = what.partition("=")
            seen.append((kind, _unescape(value) if kind == "text" else int(value)))
    return seen


def free_port():
    """A loopback port the system hands out now."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def screenshot(path):
    """Saves the Wine desktop (the top left of the screen) as a PNG; True when it worked."""
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    done = subprocess.run(["import", "-window", "root", "-crop", DESKTOP + "+0+0", "+repage",
                           str(path)], check=False,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return done.returncode == 0


def wait_until(condition, timeout, interval=0.05):
    """Polls condition until it is true or timeout seconds pass; returns its last value."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def fresh_folder(path):
    path = Path(path)
    if path.exists():
        shutil.rmtree(path)
    path.mkdir(parents=True)
    return path
