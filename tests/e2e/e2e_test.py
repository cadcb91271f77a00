"""End-to-end runs of the Windows downloader under Wine against a local nginx.

Each scenario works in a fresh folder: the program copied there under the scenario's name,
the distribution server's document root, the server's state and the screenshots. What the
program shows is read from its real windows by wintool.exe.

The secure program (built with the "https" scheme for localhost) runs against the same nginx
serving TLS with a certificate from a test authority made for the scenario (tools/testca.py),
trusted through the host's store only while the program runs.

The programs are built with the public half of the local runs' archive key; each scenario signs
its archives with that key (scripts/sign-archive.sh), as the vendor does, and the program fetches
"<archive>.sig" after the size probe. The publisher scenarios sign the program itself and the
installers with osslsigncode, by a code-signing authority trusted through the host's store for
the run.

The program built to hold at most 1 MiB of an archive in memory takes larger archives through a
temporary file; the user's temporary folder is set to one of the scenario's while it runs.

Configured by the environment (set by CTest): PLENWICK_E2E_EXE, PLENWICK_E2E_SMALL_MEMORY_EXE,
PLENWICK_E2E_SECURE_EXE, PLENWICK_E2E_INSTALLER, PLENWICK_E2E_WINTOOL, PLENWICK_E2E_PORT,
PLENWICK_E2E_SECURE_PORT, PLENWICK_E2E_WORK, PLENWICK_E2E_PREFIX, PLENWICK_E2E_ARCHIVE_KEY.
"""

import http.server
import os
import re
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import codesign  # noqa: E402
import localrun  # noqa: E402
import testca  # noqa: E402
from localrun import MAIN_CAPTION, SETUP_FOLDER  # noqa: E402

EXE = Path(os.environ.get("PLENWICK_E2E_EXE", ""))
SMALL_MEMORY_EXE = Path(os.environ.get("PLENWICK_E2E_SMALL_MEMORY_EXE", ""))
SECURE_EXE = Path(os.environ.get("PLENWICK_E2E_SECURE_EXE", ""))
SECURE_PORT = int(os.environ.get("PLENWICK_E2E_SECURE_PORT", "47632"))
INSTALLER = Path(os.environ.get("PLENWICK_E2E_INSTALLER", ""))
WINTOOL = Path(os.environ.get("PLENWICK_E2E_WINTOOL", ""))
PORT = int(os.environ.get("PLENWICK_E2E_PORT", "47631"))
WORK = Path(os.environ.get("PLENWICK_E2E_WORK", "e2e-runs"))
PREFIX = Path(os.environ.get("PLENWICK_E2E_PREFIX", "wineprefix-e2e"))
ARCHIVE_KEY = Path(os.environ.get("PLENWICK_E2E_ARCHIVE_KEY", ""))
# The size probe's failure beside its "Try again" button, which does not exit: no word of exiting.
PROBE_FAILURE = "Could not download files from distribution server."
# The exit codes of the program's own outcomes (README).
USER_CLOSED = 1602
PROBE_FAILED = 20001
DOWNLOAD_FAILED = 20002
ARCHIVE_REFUSED = 20003
DISK_FAILURE = 20004
LAUNCH_FAILED = 20005
BAD_COMMAND_LINE = 87
# The buttons of a failure's dialog: where trying again may help, and where it may not.
RETRY_BUTTONS = ["Details", "Try again", "&Close"]
CLOSE_BUTTONS = ["Details", "OK"]
NOT_FROM_PUBLISHER = "The installer is not signed by the publisher of this program."
MISMATCH = "The setup archive does not match its signature; nothing was installed."


def sign_archive(path, key=None):
    """Writes <path>.sig, the archive's signature by the local runs' key (or another)."""
    done = subprocess.run(["bash", str(ROOT / "scripts" / "sign-archive.sh"),
                           str(key or ARCHIVE_KEY), str(path)], capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"sign-archive.sh: {done.stderr}")


def archive_requests(name):
    """The requests of a whole run for one archive: the size probe, its signature, the archive."""
    return [f"HEAD /periodic/{name}", f"GET /periodic/{name}.sig", f"GET /periodic/{name}"]


_display = None

# What the test installer is to leave in its folder (lines of its leave-behind.txt): names that
# end in spaces or dots, read-only files and folders, and a path of more than 400 characters.
DEEP_LEAF = "\\".join(chr(ord("a") + i) * 40 for i in range(8)) + "\\leaf "
LEFT_BEHIND = ["file log ", "file cache.", "folder temp. ", "file temp. \\inner ",
               "read-only-file settings.ini", "read-only-folder sealed", "file sealed\\kept.",
               "read-only-file " + DEEP_LEAF]


def flip_a_stored_byte(path, name):
    """Rewrites the archive with entry `name` stored, then flips one bit in the middle of its
    data, as a damaged transfer would: its CRC-32 no longer matches."""
    path = Path(path)
    with zipfile.ZipFile(path) as archive:
        entries = [(info.filename, archive.read(info)) for info in archive.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for entry, data in entries:
            archive.writestr(entry, data, compress_type=zipfile.ZIP_STORED
                             if entry == name else zipfile.ZIP_DEFLATED)
    with zipfile.ZipFile(path) as archive:
        info = archive.getinfo(name)
    raw = bytearray(path.read_bytes())
    name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
    raw[info.header_offset + 30 + name_length + extra_length + info.file_size // 2] ^= 0x01
    path.write_bytes(bytes(raw))


def info_zip(path, files):
    """Writes the archive with Info-ZIP's zip from files ({entry name: bytes}) laid out in a
    folder, as a build script on Linux or macOS makes it. zip sets the UTF-8 flag only where it
    can load the locale it asks for by name (en_US.UTF-8): an empty locale path keeps it from
    that, as on the build machines that lack it, whatever this machine has installed."""
    with tempfile.TemporaryDirectory() as tmp, tempfile.TemporaryDirectory() as no_locales:
        for name, data in files.items():
            (Path(tmp) / name).parent.mkdir(parents=True, exist_ok=True)
            (Path(tmp) / name).write_bytes(data)
        subprocess.run(["zip", "-q", "-r", str(path), "."], cwd=tmp, check=True,
                       env=dict(os.environ, LC_ALL="C.UTF-8", LOCPATH=no_locales))


def setUpModule():
    global _display
    _display = localrun.ensure_display()
    localrun.Wine(PREFIX).ensure()


def tearDownModule():
    localrun.Wine(PREFIX).kill()
    if _display:
        _display.terminate()


class Run:
    """One scenario's folders, server, program and window inspector."""

    def __init__(self, test, exe_name="Plenwick-setup_x64-stable.exe", separate_cwd=False,
                 secure=False, program=None, rate="0", app_name="app", cwd_name="cwd"):
        self.root = localrun.fresh_folder(WORK / test.id().rsplit(".", 1)[-1])
        self.app = self.root / app_name
        self.app.mkdir()
        self.exe = self.app / exe_name
        shutil.copy(program or (SECURE_EXE if secure else EXE), self.exe)
        self.cwd = self.root / cwd_name if separate_cwd else self.app
        self.cwd.mkdir(exist_ok=True)
        self.www = self.root / "www" / "periodic"
        self.www.mkdir(parents=True)
        self.authority = None
        self.tls = None
        if secure:
            # The server's certificate for "localhost", from an authority of this run's own.
            self.authority = testca.TestAuthority(self.root / "ca")
            self.tls = self.authority.issue("server", ["localhost"])
        self.port = SECURE_PORT if secure else PORT
        self.server = localrun.DistServer(self.root / "nginx", self.port, self.root / "www",
                                          rate=rate, tls=self.tls)
        self.wine = localrun.Wine(PREFIX)
        self.tool = localrun.WinTool(self.wine, WINTOOL)
        self.process = None

    def archive(self, name, installer=None, **options):
        """Writes the archive with the test installer (or another) and signs it."""
        files = localrun.make_archive(self.www / name, installer or INSTALLER, **options)
        sign_archive(self.www / name)
        return files

    @property
    def setup_folder(self):
        return self.cwd / SETUP_FOLDER

    @property
    def report(self):
        """What the test installer recorded, or None when it never ran."""
        path = self.app / "install-report.txt"
        if not path.exists():
            path = self.cwd / "install-report.txt"
        if not path.exists():
            return None
        return dict(line.split("=", 1) for line in path.read_text(encoding="utf-8").splitlines()
                    if "=" in line)

    def start(self, arguments=""):
        """Starts the program, with the arguments written after its name as they are, through
        the window inspector (localrun.WatchedRun: every window it shows, its whole exit code)."""
        command_line = f'"{wine_path(self.exe)}"' + (f" {arguments}" if arguments else "")
        self.process = localrun.WatchedRun(self.wine, WINTOOL, command_line, self.cwd)

    def wait(self, timeout):
        """The program's exit code, or None when it is still running after timeout seconds."""
        return self.process.wait(timeout)

    @property
    def windows(self):
        """The captions of the windows the program showed, once it has ended."""
        return self.process.windows

    def shot(self, name):
        path = self.root / f"{name}.png"
        localrun.screenshot(path)
        return path

    def finish(self):
        if self.process and self.process.running():
            self.tool.close(MAIN_CAPTION)
            if self.wait(20) is None:
                self.process.kill()
        self.server.stop()


class ScratchVolume:
    """A tmpfs of the given size mounted on a folder for the block (root only: mounted tells)."""

    def __init__(self, folder, size):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs",
                                       str(self.folder)], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL).returncode == 0

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.mounted:
            subprocess.run(["umount", "-l", str(self.folder)], check=False)


DEFAULT_LOG = re.compile(r"^Plenwick-setup-\d{8}-\d{6}(-\d+)?\.log$")


def held_files(folder):
    """What the folder holds but the run's default logs, which the user's temporary folder
    keeps on purpose."""
    return [p for p in Path(folder).iterdir() if not DEFAULT_LOG.match(p.name)]


def default_logs(folder):
    return sorted(p for p in Path(folder).iterdir() if DEFAULT_LOG.match(p.name))


def read_log(test, path):
    """The log's events, each line checked by the test for its time stamp and returned without
    it."""
    test.assertTrue(path.exists(), "no log was written")
    events = []
    for line in path.read_bytes().decode("utf-8").split("\r\n")[:-1]:
        test.assertRegex(line, r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ")
        events.append(line[24:])
    return events


def assert_logged(test, events, *expected):
    """Each expected pattern (a regular expression) matches one of the events, in this
    order."""
    at = 0
    for pattern in expected:
        found = next((i for i in range(at, len(events)) if re.search(pattern, events[i])),
                     None)
        test.assertIsNotNone(found, f"{pattern!r} not logged after event {at}:\n" +
                             "\n".join(events))
        at = found + 1


def peak_memory_kib(exe_name):
    """The most memory (resident, in KiB) the running program named so has held, or None when
    it is not running."""
    for proc in Path("/proc").iterdir():
        if not proc.name.isdigit():
            continue
        try:
            # The program itself, not a process that names it among its arguments.
            program = (proc / "cmdline").read_bytes().split(b"\0", 1)[0]
            if not program.replace(b"\\", b"/").endswith(b"/" + exe_name.encode()):
                continue
            status = (proc / "status").read_text()
        except OSError:
            continue
        found = re.search(r"^VmHWM:\s+(\d+) kB", status, re.MULTILINE)
        if found:
            return int(found.group(1))
    return None


def wine_path(path):
    """The path as the program under Wine sees it (the host's root is drive Z:)."""
    return "Z:" + str(path).replace("/", "\\")


class SilentServer:
    """A distribution server on 127.0.0.1:<port> that answers the first requests with the
    given bytes (HEAD, then GET) and then sends nothing more until the client closes; or, with
    drip, one more byte every 5 ms after the last reply, as a very slow link would."""

    def __init__(self, port, replies, drip=False):
        self.replies = list(replies)
        self.drip = drip
        self.requests = []
        self.client_closed = threading.Event()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(5)
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        try:
            conn, _ = self.listener.accept()
        except OSError:
            return  # stopped before a client came
        with conn:
            pending = b""
            try:
                for reply in self.replies + [None]:
                    while b"\r\n\r\n" not in pending:
                        data = conn.recv(65536)
                        if not data:
                            self.client_closed.set()
                            return
                        pending += data
                    head, _, pending = pending.partition(b"\r\n\r\n")
                    self.requests.append(head.split(b"\r\n", 1)[0].decode().rsplit(" ", 1)[0])
                    if reply is None:
                        break
                    conn.sendall(reply)
                    if self.drip and len(self.requests) == len(self.replies):
                        # Each byte on its own, as it is written.
                        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                        while True:
                            time.sleep(0.001)
                            conn.sendall(b"x")
                while conn.recv(65536):
                    pass
            except OSError:
                pass
            self.client_closed.set()

    def stop(self):
        self.listener.close()
        self.thread.join(10)


class ScriptedServer:
    """A distribution server of the test's own on 127.0.0.1:<port>: each connection runs
    script(conn, index) on a thread of its own, with conn a ScriptedConnection; with
    tls=(certificate file, key file) the connections speak TLS."""

    def __init__(self, port, script, tls=None):
        self.script = script
        self.requests = []
        self.context = None
        if tls:
            self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.context.load_cert_chain(*[str(p) for p in tls])
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(5)
        self.threads = []
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        index = 0
        while True:
            try:
                raw, _ = self.listener.accept()
            except OSError:
                return  # stopped
            thread = threading.Thread(target=self._serve, args=(raw, index), daemon=True)
            thread.start()
            self.threads.append(thread)
            index += 1

    def _serve(self, raw, index):
        try:
            conn = ScriptedConnection(self, raw)
            self.script(conn, index)
        except (OSError, ssl.SSLError):
            pass  # the client went away
        finally:
            raw.close()

    def stop(self):
        self.listener.close()
        self.thread.join(10)
        for thread in self.threads:
            thread.join(10)


class ScriptedConnection:
    """One connection of a ScriptedServer as its script sees it."""

    def __init__(self, server, raw):
        self.server = server
        self.raw = raw
        self.conn = server.context.wrap_socket(raw, server_side=True) if server.context else raw
        self.pending = b""
        self.head = ""

    def request(self):
        """The next request's line (its target without the version), or None when the client
        closed first; its whole head is kept in self.head."""
        while b"\r\n\r\n" not in self.pending:
            data = self.conn.recv(65536)
            if not data:
                return None
            self.pending += data
        head, _, self.pending = self.pending.partition(b"\r\n\r\n")
        self.head = head.decode(errors="replace")
        line = head.split(b"\r\n", 1)[0].decode().rsplit(" ", 1)[0]
        self.server.requests.append(line)
        return line

    def send(self, data):
        self.conn.sendall(data)

    def drip(self):
        """A byte every 10 ms, until the client closes."""
        while True:
            self.conn.sendall(b"x")
            time.sleep(0.01)

    def cut(self):
        """Closes the TCP connection under the TLS one: no goodbye goes out."""
        self.raw.shutdown(socket.SHUT_RDWR)


class SwappingServer:
    """A server on the path: answers on 127.0.0.1:<port> with the files below `root`, but with
    other bytes in place of one of them, as someone between the program and the distribution
    server would; the signature beside it stays the vendor's."""

    def __init__(self, port, root, swapped_path, swapped_bytes):
        self.requests = []
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def answer(self, with_body):
                outer.requests.append(f"{self.command} {self.path}")
                if self.path == swapped_path:
                    body = swapped_bytes
                else:
                    file = Path(root) / self.path.lstrip("/")
                    if not file.is_file():
                        self.send_error(404)
                        return
                    body = file.read_bytes()
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                if with_body:
                    self.wfile.write(body)

            def do_HEAD(self):
                self.answer(False)

            def do_GET(self):
                self.answer(True)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def same_size_archive(path, size, installer):
    """Writes another setup archive of exactly `size` bytes (its comment makes up the
    difference), holding the given installer."""
    localrun.make_archive(path, installer, exit_code=0, payload_bytes=250_000)
    missing = size - Path(path).stat().st_size
    if not 0 <= missing <= 65535:
        raise RuntimeError(f"the other archive is {missing} bytes off")
    with zipfile.ZipFile(path, "a") as archive:
        archive.comment = b"x" * missing
    if Path(path).stat().st_size != size:
        raise RuntimeError("the other archive did not come out at the size wanted")


class EndToEnd(unittest.TestCase):
    def setUp(self):
        self.run_ = None

    def tearDown(self):
        if self.run_:
            self.run_.finish()

    def start_run(self, **options):
        self.run_ = Run(self, **options)
        return self.run_

    def assert_extracted_tree(self, folder, files):
        for name, data in files.items():
            self.assertEqual((folder / name).read_bytes(), data, name)

    def test_success(self):
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        # The window shows only while the download runs, which on loopback can be over before
        # a window inspector started after the program is up: this one starts first.
        seen = []
        finder = threading.Thread(target=lambda: seen.append(run.tool.find(MAIN_CAPTION, 60000)))
        finder.start()
        try:
            run.start()
        finally:
            finder.join()
        self.assertIsNotNone(seen[0], "the window never showed")
        run.shot("window")
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report["path"].lower(),
                         ("z:" + str(run.app / SETUP_FOLDER / "Install.exe")
                          .replace("/", "\\")).lower())
        self.assertEqual(report["elevated"], "yes")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-stable.zip"))

    def test_version_resource(self):
        # Read by Windows itself, from the program as it is shipped (also once signed).
        run = self.start_run()
        self.assertEqual(run.tool.version(run.exe), {
            "fileversion": "1.0.0.0", "productversion": "1.0.0.0", "flagsmask": "0x3F",
            "flags": "0x0", "os": "0x4", "type": "1", "translation": "040904E4",
            "CompanyName": "Plenwick Software", "FileVersion": "1.0.0.0",
            "LegalCopyright": "Copyright (C) Plenwick Software. All rights reserved.",
            "ProductVersion": "1.0.0.0"})

    def test_installer_failure_keeps_the_setup_folder(self):
        # Any exit code but 0; 259 too, which is also what a running process reports: the
        # program must see that the installer has ended, not wait for it hidden for ever.
        run = self.start_run()
        run.server.start()
        for code in (3, 259):
            files = run.archive("Archive_x64-stable.zip", exit_code=code)
            run.start()
            # The installer's own code, passed on.
            self.assertEqual(run.wait(120), code, f"the program did not end by itself ({code})")
            self.assertEqual(run.report["exitcode"], str(code))
            self.assertEqual(run.report.get("finished"), "yes")
            self.assertTrue(run.setup_folder.is_dir(), "the setup folder was removed")
            self.assert_extracted_tree(run.setup_folder, files)

    def test_what_the_installer_leaves_behind_is_removed(self):
        # A failed installation keeps its folder, with everything the installer left there.
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=3, leave_behind=LEFT_BEHIND)
        run.server.start()
        run.start()
        self.assertEqual(run.wait(120), 3, "the program did not end by itself")
        for line in LEFT_BEHIND:
            left = run.setup_folder / line.split(" ", 1)[1].replace("\\", "/")
            self.assertTrue(left.exists(), f"the installer did not leave {left}")
        self.assertGreater(len(wine_path(run.setup_folder / DEEP_LEAF.replace("\\", "/"))), 400)
        # The next run removes that old folder before anything else, and after an installation
        # that succeeds the folder goes with whatever the installer left in it.
        run.archive("Archive_x64-stable.zip", exit_code=0, leave_behind=LEFT_BEHIND)
        run.start()
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        report = run.report
        self.assertEqual(report["exitcode"], "0")
        self.assertEqual(report["files"].split(","),
                         ["Install.exe", "data", "exitcode.txt", "leave-behind.txt"],
                         "the old folder was not removed first")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")

    def test_setup_folder_that_stays_after_the_installer_is_told(self):
        # A link appears in the folder while the installer runs; Wine cannot remove a link by
        # itself, so the folder stays, and the user is told rather than left to find it.
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0, delay_ms=4000)
        target = run.root / "precious"
        target.mkdir()
        (target / "keep.txt").write_text("keep")
        run.server.start()
        run.start()
        self.assertTrue(localrun.wait_until(lambda: run.report is not None, 60),
                        "the installer never started")
        (run.setup_folder / "linked").symlink_to(target, target_is_directory=True)
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 60000)
        self.assertIsNotNone(seen, "no error box under the application title")
        self.assertEqual(seen, ([f'The old setup folder "{wine_path(run.setup_folder)}" '
                                 "could not be removed."], ["OK"]))
        self.assertEqual(run.wait(30), 0, "the program did not end after the message")
        self.assertEqual(run.report.get("finished"), "yes")
        self.assertEqual((target / "keep.txt").read_text(), "keep")
        self.assertTrue((run.setup_folder / "linked").is_symlink())

    def test_close_while_extracting_a_large_archive(self):
        # Tens of megabytes stored and ten thousand small files take seconds to write: the
        # window answers meanwhile, and a close a second into it stops the extraction. The
        # folder goes, nothing is shown and nothing is launched.
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0, stored_bytes=48_000_000,
                    small_files=10_000)
        run.server.start()
        answered = []
        closer = threading.Thread(target=lambda: answered.append(
            run.tool.close_on(MAIN_CAPTION, "Extracting...", 1000, 120000)))
        closer.start()
        try:
            run.start()
            large = run.setup_folder / "data" / "large.bin"
            if localrun.wait_until(large.exists, 120, interval=0.01):
                run.shot("extracting")
        finally:
            closer.join()
        self.assertIsNotNone(answered[0], '"Extracting..." never showed')
        self.assertTrue(answered[0], "the window did not answer while extracting")
        self.assertEqual(run.wait(30), USER_CLOSED, "the program did not end after the close")
        self.assertIsNone(run.report, "the installer ran")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")

    def test_info_zip_names_extract_as_written(self):
        # Info-ZIP's zip stores the UTF-8 names of Linux and macOS without the UTF-8 flag, made
        # by Unix: they arrive as written, not read as code page 437 ("data/├╝µùÑµ£¼/...").
        run = self.start_run()
        files = {"Install.exe": INSTALLER.read_bytes(), "exitcode.txt": b"3\n",
                 "data/ü日本/naïve.txt": b"naive\r\n", "Ελληνικά/straße.bin": os.urandom(5000),
                 "plain/readme.txt": b"Plenwick Suite\r\n" * 100}
        archive = run.www / "Archive_x64-stable.zip"
        info_zip(archive, files)
        sign_archive(archive)
        with zipfile.ZipFile(archive) as z:
            self.assertEqual({(info.create_system, info.flag_bits & 0x800)
                              for info in z.infolist()}, {(3, 0)}, "not what zip makes")
        run.server.start()
        run.start()
        self.assertEqual(run.wait(120), 3, "the program did not end by itself")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        # As the installer's Windows sees them, and on the disk.
        self.assertEqual(sorted(report["tree"].split(",")), sorted(files))
        self.assertEqual(report["exitcode"], "3")
        self.assert_extracted_tree(run.setup_folder, files)

    def test_development_build_fetches_its_own_archive(self):
        run = self.start_run(exe_name="Plenwick-develop_x64-nightly.exe")
        run.archive("Archive_x64-nightly.zip", exit_code=0)
        run.server.start()
        run.start()
        self.assertEqual(run.wait(120), 0)
        self.assertIsNotNone(run.report, "the installer never ran")
        self.assertFalse(run.setup_folder.exists())
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-nightly.zip"))

    def test_error_status_on_get_shows_the_status_line(self):
        # The server answers HEAD with the size of this archive and GET with 404.
        run = self.start_run(exe_name="Plenwick-develop_x64-get404.exe")
        run.archive("Archive_x64-get404.zip")
        run.server.start()
        run.start()
        seen = run.tool.dialog("Plenwick-develop_x64-get404", 60000)
        self.assertIsNotNone(seen, "no error box under the application title")
        texts, buttons = seen
        self.assertEqual(texts[0], "HTTP/1.1 404 Not Found.")
        # Asking again for what is not there would not help.
        self.assertEqual(buttons, CLOSE_BUTTONS)
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.wait(2), "the program ended although the window was open")
        self.assertIsNotNone(run.tool.find(MAIN_CAPTION, 5000), "the window did not stay")
        run.shot("window-after-error")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), DOWNLOAD_FAILED,
                         "closing the window did not end the program")
        self.assertIsNone(run.report)

    def test_damaged_archive_shows_the_error_and_runs_no_installer(self):
        # The installer and the files before the damaged one are extracted; the damaged entry
        # fails its CRC-32, the folder is removed and the failure is shown.
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", payload_bytes=300_000)
        flip_a_stored_byte(run.www / "Archive_x64-stable.zip", "data/assets/blob.bin")
        # Signed as it is served: the damage happened before the vendor signed.
        sign_archive(run.www / "Archive_x64-stable.zip")
        run.server.start()
        run.start()
        self.assertIsNotNone(run.tool.find("Plenwick-setup_x64-stable", 60000), "no error box")
        run.shot("damaged-archive")
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 10000)
        self.assertIsNotNone(seen, "no error box under the application title")
        texts, buttons = seen
        self.assertEqual(texts[0], 'Entry "data/assets/blob.bin" does not match its CRC-32.')
        self.assertEqual(buttons, CLOSE_BUTTONS)
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.wait(2), "the program ended although the window was open")
        self.assertIsNotNone(run.tool.find(MAIN_CAPTION, 5000), "the window did not stay")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), ARCHIVE_REFUSED,
                         "closing the window did not end the program")
        self.assertIsNone(run.report, "the installer ran")
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-stable.zip"))

    def test_size_probe_failure_with_the_server_down(self):
        run = self.start_run()
        run.start()
        seen = run.tool.dialog("Error", 60000, "Close")
        self.assertIsNotNone(seen, "no size-probe failure dialog")
        texts, buttons = seen
        self.assertEqual(texts[0], PROBE_FAILURE)
        self.assertEqual(buttons, RETRY_BUTTONS)
        self.assertEqual(run.wait(30), PROBE_FAILED, "the program did not end after the dialog")
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was written to disk")

    def test_close_during_a_slow_download(self):
        # Served at 32 KiB/s, so the download is under way for many seconds.
        run = self.start_run(exe_name="Plenwick-develop_x64-slow.exe")
        run.archive("Archive_x64-slow.zip", payload_bytes=2_000_000)
        run.server.start()
        run.start()
        self.assertTrue(localrun.wait_until(lambda: run.setup_folder.exists(), 60),
                        "the download never started")
        localrun.wait_until(lambda: False, 1.5)
        run.shot("downloading")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), USER_CLOSED, "the program did not end after the close")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.report, "the installer ran")

    def test_current_directory_elsewhere(self):
        # The setup folder lies below the current directory, and the installer extracted there
        # is the one launched; a stale one in a setup folder beside the program is not.
        run = self.start_run(separate_cwd=True)
        run.archive("Archive_x64-stable.zip", exit_code=0)
        planted = run.app / SETUP_FOLDER
        planted.mkdir()
        shutil.copy(INSTALLER, planted / "Install.exe")
        (planted / "exitcode.txt").write_text("7\n")
        run.server.start()
        run.start()
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        self.assertFalse((run.app / "install-report.txt").exists(), "the planted installer ran")
        report = run.report
        self.assertIsNotNone(report, "the extracted installer never ran")
        self.assertEqual(report["path"].lower(),
                         wine_path(run.setup_folder / "Install.exe").lower())
        self.assertEqual(report["exitcode"], "0")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(sorted(p.name for p in planted.iterdir()), ["Install.exe", "exitcode.txt"],
                         "the folder beside the program was touched")

    def test_folders_named_in_any_language(self):
        # Users' folders carry their names and their language's words: the program, the current
        # directory, the setup folder below it and the log all live in such folders.
        run = self.start_run(separate_cwd=True, app_name="Jürgen Müller 下载",
                             cwd_name="Загрузки 다운로드 ダウンロード")
        run.archive("Archive_x64-stable.zip", exit_code=0)
        run.server.start()
        log = run.cwd / "Protokoll – état.log"
        run.start(f'/log "{wine_path(log)}"')
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report["path"].lower(),
                         wine_path(run.setup_folder / "Install.exe").lower())
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        assert_logged(self, read_log(self, log),
                      "(?i)^Setup folder " + re.escape(wine_path(run.setup_folder)) + " created$",
                      r"^Exit code 0: ")

    def test_old_setup_folder_is_removed_before_the_launch(self):
        # Nothing left in the setup folder from before (a planted DLL, an old installer) may
        # sit beside the installer when it starts elevated.
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0)
        run.setup_folder.mkdir()
        (run.setup_folder / "version.dll").write_bytes(b"MZ planted")
        (run.setup_folder / "Install.exe").write_bytes(b"MZ old installer")
        (run.setup_folder / "old-notes").mkdir()
        run.server.start()
        run.start()
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report["files"].split(","), ["Install.exe", "data", "exitcode.txt"])
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")

    def test_setup_folder_that_is_a_link_is_left_untouched(self):
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0)
        target = run.root / "elsewhere"
        target.mkdir()
        (target / "keep.txt").write_text("keep")
        run.setup_folder.symlink_to(target, target_is_directory=True)
        run.server.start()
        run.start()
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 60000)
        self.assertIsNotNone(seen, "no error box under the application title")
        self.assertEqual(seen[0][0], f'The setup folder "{wine_path(run.setup_folder)}" is a link; '
                                     "it was left untouched.")
        run.shot("setup-folder-is-a-link")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), DISK_FAILURE, "closing the window did not end the program")
        self.assertTrue(run.setup_folder.is_symlink())
        self.assertEqual([p.name for p in target.iterdir()], ["keep.txt"])
        self.assertEqual(run.server.requests(), ["HEAD /periodic/Archive_x64-stable.zip",
                                                 "GET /periodic/Archive_x64-stable.zip.sig"])
        self.assertIsNone(run.report)

    def test_link_inside_an_old_setup_folder_is_not_followed(self):
        # The shell's deletion followed such a link and deleted what it led to. Wine cannot
        # remove a link by itself, so the old folder stays and the run stops.
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0)
        target = run.root / "precious"
        (target / "inner").mkdir(parents=True)
        (target / "inner" / "keep.txt").write_text("keep")
        run.setup_folder.mkdir()
        (run.setup_folder / "old.txt").write_text("old")
        (run.setup_folder / "linked").symlink_to(target, target_is_directory=True)
        # Under the name of what it leads to: only where that really lies tells them apart.
        (run.setup_folder / "keep.txt").symlink_to(target / "inner" / "keep.txt")
        run.server.start()
        run.start()
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 60000)
        self.assertIsNotNone(seen, "no error box under the application title")
        self.assertEqual(seen[0][0], f'The old setup folder "{wine_path(run.setup_folder)}" '
                                     "could not be removed.")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), DISK_FAILURE, "closing the window did not end the program")
        self.assertEqual((target / "inner" / "keep.txt").read_text(), "keep")
        self.assertIsNone(run.report)

    def test_missing_installer_shows_the_systems_message(self):
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", with_installer=False)
        run.server.start()
        run.start()
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 60000)
        self.assertIsNotNone(seen, "no error box under the application title")
        # Shown once the folder is gone, in the system's words (Wine's here).
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed first")
        self.assertEqual(seen[0][0], "File not found.")
        self.assertEqual(seen[1], CLOSE_BUTTONS)
        self.assertEqual(run.wait(30), LAUNCH_FAILED, "the program did not end after the message")

    def silent_server_run(self, replies, started, drip=False):
        """Runs the program against a server that falls silent (or drips), closes the window
        once started() holds, and checks that the program ends at once, quietly and clean."""
        run = self.start_run()
        server = SilentServer(PORT, replies, drip)
        try:
            run.start()
            self.assertTrue(localrun.wait_until(lambda: started(run, server), 60),
                            "the program never reached the silent server")
            localrun.wait_until(lambda: False, 1.0)
            run.shot("waiting-for-a-silent-server")
            self.assertTrue(run.tool.close(MAIN_CAPTION))
            # No message, and no wait for the read time-out (120 s).
            self.assertEqual(run.wait(15), USER_CLOSED, "the program did not end after the close")
            self.assertTrue(server.client_closed.wait(5), "the connection stayed open")
        finally:
            server.stop()
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was left on disk")
        return server

    def test_close_while_the_server_is_silent_during_the_probe(self):
        server = self.silent_server_run([], lambda run, srv: len(srv.requests) == 1)
        self.assertEqual(server.requests, ["HEAD /periodic/Archive_x64-stable.zip"])

    def signed_body_replies(self, length):
        """The answers of a server that falls silent in the body of an archive of `length`
        bytes: the size probe's, the archive's signature, and the archive's first 100000 bytes."""
        body = os.urandom(length)
        scratch = WORK / "silent-archive" / "Archive_x64-stable.zip"
        scratch.parent.mkdir(parents=True, exist_ok=True)
        scratch.write_bytes(body)
        sign_archive(scratch)
        signature = scratch.with_name(scratch.name + ".sig").read_bytes()
        head = f"HTTP/1.1 200 OK\r\nContent-Length: {length}\r\n\r\n".encode()
        return [head,
                f"HTTP/1.1 200 OK\r\nContent-Length: {len(signature)}\r\n\r\n".encode() +
                signature,
                head + body[:100_000]]

    def test_close_while_the_server_is_silent_during_the_body(self):
        server = self.silent_server_run(
            self.signed_body_replies(1_000_000),
            lambda run, srv: len(srv.requests) == 3 and run.setup_folder.exists())
        self.assertEqual(server.requests, archive_requests("Archive_x64-stable.zip"))

    def test_close_while_the_server_drips_the_body(self):
        # A byte every 5 ms fills a 32 KiB block in almost three minutes; the window must answer
        # the close long before.
        server = self.silent_server_run(
            self.signed_body_replies(1_000_000),
            lambda run, srv: len(srv.requests) == 3 and run.setup_folder.exists(), drip=True)
        self.assertEqual(server.requests, archive_requests("Archive_x64-stable.zip"))

    def server_fault_run(self, get_answer, secure=False, every_time=False):
        """Runs the program against a server that answers the size probe with the archive's
        length, the signature's request with the archive's signature, and the download with
        get_answer(conn, head, archive), which ends the connection; the download asked for
        again gets the whole archive (every_time: get_answer again), and a mirror below
        /periodic/mirror/ serves the archive. Returns the run and the server."""
        run = self.start_run(secure=secure)
        run.archive("Archive_x64-stable.zip", exit_code=0, payload_bytes=300_000)
        archive = (run.www / "Archive_x64-stable.zip").read_bytes()
        signature = (run.www / "Archive_x64-stable.zip.sig").read_bytes()
        head = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(archive)
        answered = []

        def script(conn, index):
            while (line := conn.request()) is not None:
                if line.startswith("HEAD "):
                    conn.send(head)
                elif line.endswith(".sig"):
                    conn.send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(signature)
                              + signature)
                elif "/mirror/" in line or (answered and not every_time):
                    conn.send(head + archive)
                else:
                    answered.append(line)
                    get_answer(conn, head, archive)
                    return

        server = ScriptedServer(run.port, script, tls=run.tls)
        self.addCleanup(server.stop)
        return run, server

    def assert_fails_with(self, run, server, message, retry, gets=1):
        """The program shows message under its title (offering to try again when retry says),
        removes the folder and runs nothing."""
        self.assertIsNotNone(run.tool.find("Plenwick-setup_x64-stable", 60000), "no error box")
        run.shot("server-fault")
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 10000, "Close" if retry else "OK")
        self.assertIsNotNone(seen, "no error box under the application title")
        self.assertEqual(seen[0][0], message)
        self.assertEqual(seen[1], RETRY_BUTTONS if retry else CLOSE_BUTTONS)
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), DOWNLOAD_FAILED,
                         "closing the window did not end the program")
        self.assertIsNone(run.report, "the installer ran")
        self.assertEqual(server.requests, archive_requests("Archive_x64-stable.zip")
                         + ["GET /periodic/Archive_x64-stable.zip"] * (gets - 1))

    def assert_asked_again_and_installed(self, run, server):
        """The program asked for the download once more (the server then sent it whole), and
        installed what came."""
        self.assertEqual(run.wait(60), 0, "the program did not end by itself")
        self.assertIsNotNone(run.report, "the installer never ran")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(server.requests, archive_requests("Archive_x64-stable.zip")
                         + ["GET /periodic/Archive_x64-stable.zip"])

    # A download broken off is never taken as the whole: it is asked for again.
    def test_a_body_cut_off_by_the_server_is_asked_for_again(self):
        def answer(conn, head, archive):
            conn.send(head + archive[:100_000])
            conn.cut()

        run, server = self.server_fault_run(answer)
        run.start()
        self.assert_asked_again_and_installed(run, server)

    def test_a_header_block_cut_off_by_the_server_is_asked_for_again(self):
        def answer(conn, head, archive):
            conn.send(head[:-2])  # without the empty line that ends it
            conn.cut()

        run, server = self.server_fault_run(answer)
        run.start()
        self.assert_asked_again_and_installed(run, server)

    def test_a_secure_body_cut_off_without_the_goodbye_is_asked_for_again(self):
        # All of the archive arrives, but only the close could end it, and that close is not
        # the server's TLS goodbye: anyone on the way could have made it.
        def answer(conn, head, archive):
            conn.send(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + archive)
            conn.cut()

        run, server = self.server_fault_run(answer, secure=True)
        with run.authority.trusted_on_host():
            run.start()
            self.assert_asked_again_and_installed(run, server)

    def test_a_body_cut_off_every_time_fails_with_the_last_cut(self):
        # Five attempts, each cut: the last one's cause is shown.
        def answer(conn, head, archive):
            conn.send(head + archive[:100_000])
            conn.cut()

        run, server = self.server_fault_run(answer, every_time=True)
        run.start()
        archive_size = (run.www / "Archive_x64-stable.zip").stat().st_size
        self.assert_fails_with(run, server, "The server closed the connection after 100000 of "
                               f"{archive_size} bytes.", retry=True, gets=5)

    def test_an_error_whose_body_never_ends_is_shown_at_once(self):
        # The text drips for ever on a connection the server never closes: the error is shown
        # within seconds, not after the read time-out (120 s).
        def answer(conn, head, archive):
            conn.send(b"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n\r\nnot here")
            conn.drip()

        run, server = self.server_fault_run(answer)
        run.start()
        self.assert_fails_with(run, server, "HTTP/1.1 404 Not Found.", retry=False)

    def test_a_redirect_whose_body_never_ends_is_followed_at_once(self):
        def answer(conn, head, archive):
            conn.send(b"HTTP/1.1 302 Found\r\nLocation: /periodic/mirror/Archive_x64-stable.zip"
                      b"\r\n\r\nmoved")
            conn.drip()

        run, server = self.server_fault_run(answer)
        run.start()
        self.assertEqual(run.wait(60), 0, "the program did not end by itself")
        self.assertIsNotNone(run.report, "the installer never ran")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(server.requests, archive_requests("Archive_x64-stable.zip") +
                         ["GET /periodic/mirror/Archive_x64-stable.zip"])

    def test_https_success(self):
        run = self.start_run(secure=True)
        run.archive("Archive_x64-stable.zip", exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        log = run.root / "setup.log"
        with run.authority.trusted_on_host():
            run.start(f'/log "{wine_path(log)}"')
            self.assertIsNotNone(run.tool.find(MAIN_CAPTION, 60000), "the window never showed")
            run.shot("window")
            self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        # The session as support staff read it: its version and the server's certificate.
        assert_logged(self, read_log(self, log),
                      r"^Secure connection: TLS 1\.[23]; certificate of \"CN=localhost\", "
                      r"issued by \"CN=.*\", valid until 2\d{3}-",
                      r"^Exit code 0: ")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report["elevated"], "yes")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        served = run.server.requests_with_protocols()
        self.assertEqual([request for request, _ in served],
                         archive_requests("Archive_x64-stable.zip"))
        for _, protocol in served:
            self.assertIn(protocol, ("TLSv1.2", "TLSv1.3"))

    def test_https_with_an_untrusted_certificate_fails_the_size_probe(self):
        # The authority of this run is not trusted: the server could be anyone.
        run = self.start_run(secure=True)
        run.archive("Archive_x64-stable.zip")
        run.server.start()
        run.start()
        seen = run.tool.dialog("Error", 60000, "Close")
        self.assertIsNotNone(seen, "no size-probe failure dialog")
        texts, buttons = seen
        self.assertEqual(texts[0], PROBE_FAILURE)
        self.assertEqual(run.wait(30), PROBE_FAILED, "the program did not end after the dialog")
        self.assertEqual(run.server.requests(), [], "a request reached the server")
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was written to disk")

    def test_archive_swapped_on_the_way_is_refused(self):
        # Someone on the path serves another archive of the same size with the vendor's
        # signature: it is downloaded, found not to match, and nothing of it is written.
        run = self.start_run()
        name = "Archive_x64-stable.zip"
        run.archive(name, exit_code=0, payload_bytes=300_000)
        swapped = run.root / "swapped.zip"
        same_size_archive(swapped, (run.www / name).stat().st_size, INSTALLER)
        server = SwappingServer(PORT, run.root / "www", f"/periodic/{name}",
                                swapped.read_bytes())
        try:
            run.start()
            self.assertIsNotNone(run.tool.find("Plenwick-setup_x64-stable", 60000), "no error box")
            run.shot("swapped-archive")
            seen = run.tool.dialog("Plenwick-setup_x64-stable", 10000)
            self.assertIsNotNone(seen, "no error box under the application title")
            self.assertEqual(seen[0][0], MISMATCH)
            self.assertEqual(seen[1], CLOSE_BUTTONS)
            self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
            self.assertTrue(run.tool.close(MAIN_CAPTION))
            self.assertEqual(run.wait(30), ARCHIVE_REFUSED,
                             "closing the window did not end the program")
        finally:
            server.stop()
        self.assertEqual(server.requests, archive_requests(name))
        self.assertIsNone(run.report, "an installer ran")
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was left on disk")

    def publisher_run(self, installer, refused):
        """A run of the program signed by the publisher "Plenwick Software" (an authority made
        for the run, trusted through the host's store meanwhile) with the installer that
        installer(authority, folder) makes, in a signed archive. A refused run must show the
        refusal under the application title and remove the folder; any other must end by
        itself. Returns the run."""
        run = self.start_run()
        authority = testca.TestAuthority(run.root / "codesign-ca",
                                         "Plenwick Code Signing Test Authority")
        _, key, chain = authority.issue_code_signing("plenwick", "Plenwick Software",
                                                     "Plenwick Software")
        codesign.sign(EXE, run.exe, chain, key)
        run.archive("Archive_x64-stable.zip", exit_code=0,
                    installer=installer(authority, run.root))
        run.server.start()
        with authority.trusted_on_host():
            run.start()
            if refused:
                self.assertIsNotNone(run.tool.find("Plenwick-setup_x64-stable", 60000),
                                     "no error box")
                run.shot("refused")
                seen = run.tool.dialog("Plenwick-setup_x64-stable", 10000)
                self.assertEqual(seen[0][0], NOT_FROM_PUBLISHER)
                self.assertEqual(seen[1], CLOSE_BUTTONS)
                self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
                self.assertTrue(run.tool.close(MAIN_CAPTION))
                self.assertEqual(run.wait(30), ARCHIVE_REFUSED,
                                 "closing the window did not end the program")
            else:
                self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-stable.zip"))
        return run

    @staticmethod
    def signed_installer(authority, folder, stem, organisation, common_name):
        """The test installer signed by a certificate of the authority for the publisher."""
        _, key, chain = authority.issue_code_signing(stem, organisation, common_name)
        codesign.sign(INSTALLER, folder / f"Install-{stem}.exe", chain, key)
        return folder / f"Install-{stem}.exe"

    def assert_refused(self, installer):
        run = self.publisher_run(installer, refused=True)
        self.assertIsNone(run.report, "the installer ran")

    def test_signed_program_runs_its_own_publishers_installer_held_against_replacement(self):
        def same(authority, folder):
            return self.signed_installer(authority, folder, "same", "Plenwick Software",
                                         "Plenwick Software")
        run = self.publisher_run(same, refused=False)
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        # Held from the check on: nobody could rename or remove it to put another in its place.
        self.assertEqual(report["selfreplace"], "denied")
        # Which the system alone does not prevent for a running program: the same installer
        # started directly may be renamed while it runs.
        alone = localrun.fresh_folder(run.root / "alone" / "setup")
        shutil.copy(run.root / "Install-same.exe", alone / "Install.exe")
        run.wine.run(alone / "Install.exe")
        direct = dict(line.split("=", 1) for line in
                      (alone.parent / "install-report.txt").read_text().splitlines()
                      if "=" in line)
        self.assertEqual(direct["selfreplace"], "allowed")

    def test_signed_program_refuses_an_unsigned_installer(self):
        self.assert_refused(lambda authority, folder: INSTALLER)

    def test_signed_program_refuses_another_publishers_installer(self):
        def other(authority, folder):
            return self.signed_installer(authority, folder, "other", "Other Software",
                                         "Other Software")
        self.assert_refused(other)

    def test_signed_program_refuses_an_installer_changed_after_signing(self):
        def changed(authority, folder):
            signed = self.signed_installer(authority, folder, "same", "Plenwick Software",
                                           "Plenwick Software")
            codesign.changed_after_signing(signed, folder / "Install-changed.exe")
            return folder / "Install-changed.exe"
        self.assert_refused(changed)

    # --- archives past the memory limit, and disks without room ---------------------------

    def download_into_a_temporary_file(self, rate):
        """Starts the program that holds at most 1 MiB in memory on a 3 MB archive served at
        rate, with the user's temporary folder set to the scenario's, and waits until the
        temporary file is there. Returns the run, the folder and the names it held."""
        run = self.start_run(program=SMALL_MEMORY_EXE, rate=rate)
        run.archive("Archive_x64-stable.zip", exit_code=0, payload_bytes=3_000_000)
        temp = run.root / "temp"
        temp.mkdir()
        run.server.start()
        self.enterContext(localrun.user_temp_folder(run.wine, run.root, temp))
        run.start()
        self.assertTrue(localrun.wait_until(lambda: any(held_files(temp)), 60, interval=0.01),
                        "no temporary file appeared")
        return run, temp, [p.name for p in held_files(temp)]

    def test_archive_past_the_memory_limit_installs_from_a_temporary_file(self):
        # 3 MB at 1 MB/s: the file can be seen while the body arrives.
        run, temp, held = self.download_into_a_temporary_file("1m")
        self.assertEqual(len(held), 1)
        self.assertRegex(held[0], r"^plw[0-9A-Fa-f]+\.tmp$")
        run.shot("downloading-into-a-temporary-file")
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(held_files(temp), [], "the temporary file stayed")
        # Without /log, the log is the user's temporary folder's, named after the run's start.
        logs = default_logs(temp)
        self.assertEqual(len(logs), 1, logs)
        assert_logged(self, read_log(self, logs[0]), r"^Mode: normal$",
                           r"^The archive is held in a temporary file in ",
                           r"^Exit code 0: installer ended")

    def test_close_while_downloading_into_a_temporary_file(self):
        run, temp, _ = self.download_into_a_temporary_file("256k")
        localrun.wait_until(lambda: False, 1.0)
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), USER_CLOSED, "the program did not end after the close")
        self.assertEqual(held_files(temp), [], "the temporary file stayed")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.report, "the installer ran")

    def test_kill_while_downloading_into_a_temporary_file(self):
        # As the task manager ends it: the system removes the file with the process.
        run, temp, _ = self.download_into_a_temporary_file("256k")
        localrun.wait_until(lambda: False, 1.0)
        run.process.kill()
        run.process.wait(30)
        self.assertTrue(localrun.wait_until(lambda: not any(held_files(temp)), 30),
                        "the temporary file stayed after the kill")
        self.assertIsNone(run.report, "the installer ran")

    def full_disk_run(self, temporary):
        """A volume of 16 MiB, smaller than the margin alone, where the setup folder goes
        (temporary=False) or where the temporary file goes (True, with the program that holds at
        most 1 MiB in memory): the need is told before anything is written there."""
        run = self.start_run(separate_cwd=True, program=SMALL_MEMORY_EXE if temporary else None)
        run.archive("Archive_x64-stable.zip", exit_code=0, payload_bytes=3_000_000)
        disk = run.root / "temp" if temporary else run.cwd
        if not self.enterContext(ScratchVolume(disk, "16m")).mounted:
            self.skipTest("cannot mount a scratch tmpfs here (needs root)")
        if temporary:
            self.enterContext(localrun.user_temp_folder(run.wine, run.root, disk))
        run.server.start()
        run.start()
        self.assertIsNotNone(run.tool.find("Plenwick-setup_x64-stable", 60000), "no error box")
        localrun.wait_until(lambda: False, 0.5)  # painted
        run.shot("full-temporary-volume" if temporary else "full-disk")
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 10000)
        self.assertIsNotNone(seen, "no error box under the application title")
        texts, buttons = seen
        self.assertEqual(buttons, CLOSE_BUTTONS)
        self.assertRegex(texts[0], r"^Setup needs \d+\.\d MB free on [A-Z]:.*, but only "
                                   r"1[56]\.\d MB are free\.$")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), DISK_FAILURE, "closing the window did not end the program")
        self.assertEqual(held_files(disk), [], "something was written there")
        self.assertIsNone(run.report, "the installer ran")
        return run, texts[0]

    def test_a_full_disk_is_told_before_the_extraction(self):
        run, text = self.full_disk_run(temporary=False)
        # The files (about 3.3 MB in whole clusters) and the margin of 64 MiB.
        self.assertTrue(text.startswith("Setup needs 67."), text)
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-stable.zip"))

    def test_a_full_temporary_volume_is_told_before_the_download(self):
        run, text = self.full_disk_run(temporary=True)
        self.assertTrue(text.startswith("Setup needs 67."), text)
        # The signature is accepted first; the archive is never asked for.
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-stable.zip")[:2])


    # --- unattended runs, the command line, the log, Try again ------------------------------

    def test_quiet_run_installs_without_a_window_and_hands_on_the_installer_parameters(self):
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0)
        run.server.start()
        parameters = ["/S", "INSTALLDIR=C:\\Program Files\\Plenwick Suite\\", 'say "hi"', "",
                      "back\\slash\\\\", '\\"quoted\\"', "DBPASSWORD=s3cr3t-value",
                      "DBPASSWORD=correct horse battery", "--password", "hunter2",
                      "/PASSWORD:hunter2", "API_KEY=hunter2", "keyboard=us", "--"]
        log = run.root / "setup run.log"
        run.start(f'/QUIET -log "{wine_path(log)}" -- ' + subprocess.list2cmdline(parameters))
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        self.assertEqual(run.windows, [], "a window showed")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report.get("finished"), "yes")
        self.assertEqual([report.get(f"arg{i}") for i in range(1, int(report["argc"]) + 1)],
                         parameters, report.get("commandline"))
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")

        events = read_log(self, log)
        url = f"http://127.0.0.1:{PORT}/periodic/Archive_x64-stable.zip"
        size = (run.www / "Archive_x64-stable.zip").stat().st_size
        assert_logged(
            self,
            events,
            r"^Plenwick Suite Setup - Web Downloader \d+\.\d+\.\d+.*, Z:\\.*\\Plenwick-setup_x64-"
            r"stable\.exe$",
            r"^System: Windows ",
            r"^Command line: .*/QUIET -log ",
            r"^Mode: quiet$",
            r"^This program ",
            "^Archive: " + re.escape(url) + "$",
            "^Proxy for " + re.escape(url) + ": DIRECT",
            r"^Connecting to 127\.0\.0\.1",
            r"^Sent: HEAD /periodic/Archive_x64-stable\.zip HTTP/1\.1$",
            r"^Received: HTTP/1\.1 200 OK$",
            f"^Announced length of {re.escape(url)}: {size} bytes$",
            r"^Sent: GET /periodic/Archive_x64-stable\.zip\.sig HTTP/1\.1$",
            r"^Signature accepted: ",
            r"^Setup folder .* created$",
            r"^The archive is held in memory$",
            r"^Sent: GET /periodic/Archive_x64-stable\.zip HTTP/1\.1$",
            f"^Received {size} bytes of {re.escape(url)} in \\d+\\.\\d{{3}} s \\([0-9.]+ KiB/s\\)$",
            r"^The archive matches its signature$",
            r"^Extracted \d+ entries, \d+ bytes, into ",
            r"^Starting the installer .*\\Install\.exe with the parameters /S ",
            r"^The installer ended with exit code 0 after \d+\.\d{3} s$",
            r"^The setup folder .* is removed$",
            r"^Exit code 0: installer ended \(")
        for secret in ("s3cr3t-value", "horse battery", "hunter2"):
            self.assertNotIn(secret, "\n".join(events))
        # Both lines still show what was asked, each secret as [hidden].
        hidden = ("DBPASSWORD=[hidden] DBPASSWORD=[hidden] --password [hidden] "
                  "/PASSWORD:[hidden] API_KEY=[hidden] keyboard=us --")
        for start in ("Command line: ", "Starting the installer "):
            line = next((e for e in events if e.startswith(start)), "")
            self.assertTrue(line.endswith(" " + hidden), line)

    def test_quiet_failure_shows_nothing_and_ends_with_its_code(self):
        run = self.start_run()
        log = run.root / "setup.log"
        run.start(f"/quiet /log={wine_path(log)}")
        self.assertEqual(run.wait(120), PROBE_FAILED, "the program did not end by itself")
        self.assertEqual(run.windows, [], "a window showed")
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was written beside the program")
        assert_logged(self, read_log(self, log), r"^Mode: quiet$",
                           r"^Archive: http://127\.0\.0\.1:\d+/periodic/Archive_x64-stable\.zip$",
                           r"^Connecting to 127\.0\.0\.1",
                           r"^Error EIdSocketError: .*"
                           r"\(size probe failed, trying again may help\)$",
                           rf"^Exit code {PROBE_FAILED}: size probe failed \(")

    def test_passive_run_shows_its_window_and_no_dialog(self):
        def answer(conn, head, archive):
            conn.send(b"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here.")

        run, server = self.server_fault_run(answer)
        log = run.root / "setup.log"
        run.start(f'/passive /log "{wine_path(log)}"')
        self.assertEqual(run.wait(120), DOWNLOAD_FAILED, "the program did not end by itself")
        self.assertEqual(run.windows, [MAIN_CAPTION])
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.report, "the installer ran")
        assert_logged(self, read_log(self, log), r"^Mode: passive$",
                           r"^Received: HTTP/1\.1 404 Not Found$",
                           r"^Error EIdHTTPProtocolException: HTTP/1\.1 404 Not Found "
                           r"\(download failed\)$",
                           rf"^Exit code {DOWNLOAD_FAILED}: download failed \(")

    def test_bad_command_line_shows_the_usage_and_ends_with_87(self):
        run = self.start_run()
        run.start("/silent")
        seen = run.tool.dialog("Plenwick Suite Setup", 60000)
        self.assertIsNotNone(seen, "no usage")
        self.assertTrue(seen[0][0].startswith('The switch "/silent" is not known.'), seen[0])
        self.assertIn("Usage: Plenwick-setup_x64-stable.exe [/quiet | /passive]", seen[0][0])
        self.assertEqual(run.wait(30), BAD_COMMAND_LINE)
        self.assertEqual(run.windows, ["Plenwick Suite Setup"])
        # Quiet, the usage goes to the log alone.
        log = run.root / "quiet.log"
        run.start(f'/quiet /silent /log "{wine_path(log)}"')
        self.assertEqual(run.wait(60), BAD_COMMAND_LINE)
        self.assertEqual(run.windows, [])
        assert_logged(self, read_log(self, log),
                           r"^The command line cannot be read: "
                           r'The switch "/silent" is not known\.$',
                           r"^Usage: Plenwick-setup_x64-stable\.exe ",
                           rf"^Exit code {BAD_COMMAND_LINE}: bad command line")
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name])

    def test_try_again_after_the_server_comes_back_installs(self):
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0)
        run.start()
        self.assertIsNotNone(run.tool.find("Error", 60000), "no size-probe failure dialog")
        run.shot("server-down")
        run.server.start()
        seen = run.tool.dialog("Error", 10000, "Try again")
        self.assertIsNotNone(seen, "no Try again")
        self.assertEqual(seen[0][0], PROBE_FAILURE)
        self.assertEqual(seen[1], RETRY_BUTTONS)
        self.assertEqual(run.wait(120), 0, "the program did not install after trying again")
        self.assertEqual(run.report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-stable.zip"))

    def test_a_networks_sign_in_page_is_told_as_such(self):
        run = self.start_run()
        page = (b"<!DOCTYPE html><html><head><title>Welcome to the Guest Network</title></head>"
                b"<body><form>Accept the terms to go on</form></body></html>" + b" " * 6000)

        def script(conn, index):
            # A portal answers every address with its page.
            while (line := conn.request()) is not None:
                head = (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n"
                        b"\r\n" % len(page))
                conn.send(head if line.startswith("HEAD ") else head + page)

        server = ScriptedServer(run.port, script)
        self.addCleanup(server.stop)
        run.start()
        self.assertIsNotNone(run.tool.find("Plenwick-setup_x64-stable", 60000), "no error box")
        run.shot("sign-in-page")
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 10000, "Close")
        self.assertIsNotNone(seen, "no error box under the application title")
        self.assertEqual(seen[0][0], "The network returned a web page instead of the setup "
                                     "archive. You may need to sign in to the network first.")
        self.assertEqual(seen[1], RETRY_BUTTONS)
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), DOWNLOAD_FAILED)
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name])

    # A web page where the archive or its signature was expected, as long as it claims (64 MiB,
    # 4 GB): told by its first bytes, read no further, and the program stays small.
    WEB_PAGE = (b"<!DOCTYPE html><html><head><title>Welcome to the Guest Network</title></head>"
                b"<body><form>Accept the terms to go on</form></body></html>")

    def web_page_run(self, write_files, refused):
        """Runs the program that asks for Archive_x64-webpage.zip, which nginx serves as
        text/html, with the files write_files(www) made; the page comes in the place of
        `refused`. Returns the bytes nginx got out for it."""
        run = self.start_run(exe_name="Plenwick-develop_x64-webpage.exe")
        write_files(run)
        run.server.start()
        log = run.root / "setup.log"
        run.start(f'/log "{wine_path(log)}"')
        self.assertIsNotNone(run.tool.find("Plenwick-develop_x64-webpage", 60000), "no error box")
        # Read while the dialog waits: the whole run so far.
        peak = peak_memory_kib(run.exe.name)
        run.shot("web-page")
        seen = run.tool.dialog("Plenwick-develop_x64-webpage", 10000, "Close")
        self.assertIsNotNone(seen, "no error box under the application title")
        self.assertEqual(seen[0][0], "The network returned a web page instead of the setup "
                                     "archive. You may need to sign in to the network first.")
        self.assertEqual(seen[1], RETRY_BUTTONS)
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), DOWNLOAD_FAILED)
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name])
        self.assertIsNotNone(peak, "the program's memory could not be read")
        print(f"peak resident memory {peak} KiB", file=sys.stderr)
        self.assertLess(peak, 48 * 1024, "the program grew with the page")
        events = read_log(self, log)
        assert_logged(self, events, r"^Error EWebPageInstead: ")
        # What the program read of it: a block or two (the signature's own bound, 4096 bytes,
        # comes first in its place).
        read = [int(re.search(r"after (\d+) bytes$", e).group(1)) for e in events
                if e.startswith("A web page came instead of the file (Content-Type: text/html)")]
        print(f"the program read {read} bytes of the page", file=sys.stderr)
        self.assertTrue(all(n <= 256 * 1024 for n in read), read)
        sent = [bytes_sent for request, bytes_sent in run.server.requests_with_bytes_sent()
                if request == f"GET /periodic/{refused}"]
        self.assertEqual(len(sent), 1, run.server.requests())
        print(f"nginx got out {sent[0]} bytes of the page", file=sys.stderr)
        return run, sent[0]

    def test_a_web_page_of_64_mib_in_the_archives_place_is_refused_by_its_first_bytes(self):
        def files(run):
            page = run.www / "Archive_x64-webpage.zip"
            with page.open("wb") as out:
                out.write(self.WEB_PAGE)
                out.truncate(64 << 20)
            sign_archive(page)

        run, sent = self.web_page_run(files, "Archive_x64-webpage.zip")
        self.assertTrue(any(e.startswith("A web page came instead of the file")
                            for e in read_log(self, run.root / "setup.log")))
        # What the sockets' buffers took at most, not the page.
        self.assertLess(sent, 8 << 20)
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-webpage.zip"))

    def test_a_web_page_of_4_gb_in_the_signatures_place_is_refused_by_its_first_bytes(self):
        def files(run):
            run.archive("Archive_x64-webpage.zip", exit_code=0)
            # Sparse: its 4 GB cost no disk.
            with (run.www / "Archive_x64-webpage.zip.sig").open("wb") as out:
                out.write(self.WEB_PAGE)
                out.truncate(4_000_000_000)

        run, sent = self.web_page_run(files, "Archive_x64-webpage.zip.sig")
        self.assertLess(sent, 8 << 20)
        # Refused before the archive was asked for.
        self.assertEqual(run.server.requests(), archive_requests("Archive_x64-webpage.zip")[:2])

    # Answers made on the fly often leave the length out of HEAD: the first byte's answer tells
    # it, and the run installs.
    def test_a_size_probe_answered_without_a_length_asks_for_the_first_byte(self):
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", exit_code=0)
        archive = (run.www / "Archive_x64-stable.zip").read_bytes()
        signature = (run.www / "Archive_x64-stable.zip.sig").read_bytes()

        def script(conn, index):
            while (line := conn.request()) is not None:
                if line.startswith("HEAD "):
                    conn.send(b"HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\n\r\n")
                elif line.endswith(".sig"):
                    conn.send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(signature)
                              + signature)
                elif re.search(r"^Range: bytes=0-0$", conn.head, re.MULTILINE | re.IGNORECASE):
                    conn.send(b"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-0/%d\r\n"
                              b"Content-Length: 1\r\n\r\n" % len(archive) + archive[:1])
                else:
                    conn.send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(archive)
                              + archive)

        server = ScriptedServer(run.port, script)
        self.addCleanup(server.stop)
        log = run.root / "setup.log"
        run.start(f'/passive /log "{wine_path(log)}"')
        self.assertEqual(run.wait(120), 0, "the program did not install")
        self.assertIsNotNone(run.report, "the installer never ran")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(server.requests, ["HEAD /periodic/Archive_x64-stable.zip",
                                           "GET /periodic/Archive_x64-stable.zip"]
                         + archive_requests("Archive_x64-stable.zip")[1:])
        assert_logged(self, read_log(self, log),
                      r"^The answer to HEAD gave no length; asking with GET for the first byte$",
                      rf"^Announced length of .*: {len(archive)} bytes$",
                      r"^Exit code 0:")


if __name__ == "__main__":
    unittest.main()
