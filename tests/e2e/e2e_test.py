"""End-to-end runs of the Windows downloader under Wine against a local nginx.

Each scenario works in a fresh folder: the program copied there under the scenario's name,
the distribution server's document root, the server's state and the screenshots. What the
program shows is read from its real windows by wintool.exe.

The secure program (built with the "https" scheme for localhost) runs against the same nginx
serving TLS with a certificate from a test authority made for the scenario (tools/testca.py),
trusted through the host's store only while the program runs.

The program built to hold at most 1 MiB of an archive in memory takes larger archives through a
temporary file; the user's temporary folder is set to one of the scenario's while it runs.

Configured by the environment (set by CTest): PLENWICK_E2E_EXE, PLENWICK_E2E_SMALL_MEMORY_EXE,
PLENWICK_E2E_SECURE_EXE, PLENWICK_E2E_INSTALLER, PLENWICK_E2E_WINTOOL, PLENWICK_E2E_PORT,
PLENWICK_E2E_SECURE_PORT, PLENWICK_E2E_WORK, PLENWICK_E2E_PREFIX.
"""

import os
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
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
PROBE_FAILURE = ("Could not download files from distribution server.\r\n\r\n"
                 "Downloader will now exit.")

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
                 secure=False, program=None, rate="0"):
        self.root = localrun.fresh_folder(WORK / test.id().rsplit(".", 1)[-1])
        self.app = self.root / "app"
        self.app.mkdir()
        self.exe = self.app / exe_name
        shutil.copy(program or (SECURE_EXE if secure else EXE), self.exe)
        self.cwd = self.root / "cwd" if separate_cwd else self.app
        self.cwd.mkdir(exist_ok=True)
        self.www = self.root / "www" / "periodic"
        self.www.mkdir(parents=True)
        self.authority = None
        tls = None
        if secure:
            # The server's certificate for "localhost", from an authority of this run's own.
            self.authority = testca.TestAuthority(self.root / "ca")
            tls = self.authority.issue("server", ["localhost"])
        self.server = localrun.DistServer(self.root / "nginx", SECURE_PORT if secure else PORT,
                                          self.root / "www", rate=rate, tls=tls)
        self.wine = localrun.Wine(PREFIX)
        self.tool = localrun.WinTool(self.wine, WINTOOL)
        self.process = None

    def archive(self, name, **options):
        return localrun.make_archive(self.www / name, INSTALLER, **options)

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
        return dict(line.split("=", 1) for line in path.read_text().splitlines() if "=" in line)

    def start(self):
        self.process = self.wine.start(self.exe, cwd=self.cwd)

    def wait(self, timeout):
        """The program's exit code, or None when it is still running after timeout seconds."""
        try:
            return self.process.wait(timeout=timeout)
        except Exception:
            return None

    def shot(self, name):
        path = self.root / f"{name}.png"
        localrun.screenshot(path)
        return path

    def finish(self):
        if self.process and self.process.poll() is None:
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
        self.assertEqual(run.server.requests(), ["HEAD /periodic/Archive_x64-stable.zip",
                                                 "GET /periodic/Archive_x64-stable.zip"])

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
            self.assertEqual(run.wait(120), 0, f"the program did not end by itself ({code})")
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
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
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
        self.assertEqual(run.wait(30), 0, "the program did not end after the close")
        self.assertIsNone(run.report, "the installer ran")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")

    def test_development_build_fetches_its_own_archive(self):
        run = self.start_run(exe_name="Plenwick-develop_x64-nightly.exe")
        run.archive("Archive_x64-nightly.zip", exit_code=0)
        run.server.start()
        run.start()
        self.assertEqual(run.wait(120), 0)
        self.assertIsNotNone(run.report, "the installer never ran")
        self.assertFalse(run.setup_folder.exists())
        self.assertEqual(run.server.requests(), ["HEAD /periodic/Archive_x64-nightly.zip",
                                                 "GET /periodic/Archive_x64-nightly.zip"])

    def test_error_status_on_get_shows_the_status_line(self):
        # The server answers HEAD with the size of this archive and GET with 404.
        run = self.start_run(exe_name="Plenwick-develop_x64-get404.exe")
        run.archive("Archive_x64-get404.zip")
        run.server.start()
        run.start()
        seen = run.tool.dialog("Plenwick-develop_x64-get404", 60000)
        self.assertIsNotNone(seen, "no error box under the application title")
        texts, buttons = seen
        self.assertEqual(texts, ["HTTP/1.1 404 Not Found."])
        self.assertEqual(buttons, ["OK"])
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.wait(2), "the program ended although the window was open")
        self.assertIsNotNone(run.tool.find(MAIN_CAPTION, 5000), "the window did not stay")
        run.shot("window-after-error")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), 0, "closing the window did not end the program")
        self.assertIsNone(run.report)

    def test_damaged_archive_shows_the_error_and_runs_no_installer(self):
        # The installer and the files before the damaged one are extracted; the damaged entry
        # fails its CRC-32, the folder is removed and the failure is shown.
        run = self.start_run()
        run.archive("Archive_x64-stable.zip", payload_bytes=300_000)
        flip_a_stored_byte(run.www / "Archive_x64-stable.zip", "data/assets/blob.bin")
        run.server.start()
        run.start()
        self.assertIsNotNone(run.tool.find("Plenwick-setup_x64-stable", 60000), "no error box")
        run.shot("damaged-archive")
        seen = run.tool.dialog("Plenwick-setup_x64-stable", 10000)
        self.assertIsNotNone(seen, "no error box under the application title")
        texts, buttons = seen
        self.assertEqual(texts, ['Entry "data/assets/blob.bin" does not match its CRC-32.'])
        self.assertEqual(buttons, ["OK"])
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.wait(2), "the program ended although the window was open")
        self.assertIsNotNone(run.tool.find(MAIN_CAPTION, 5000), "the window did not stay")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), 0, "closing the window did not end the program")
        self.assertIsNone(run.report, "the installer ran")
        self.assertEqual(run.server.requests(), ["HEAD /periodic/Archive_x64-stable.zip",
                                                 "GET /periodic/Archive_x64-stable.zip"])

    def test_size_probe_failure_with_the_server_down(self):
        run = self.start_run()
        run.start()
        seen = run.tool.dialog("Error", 60000)
        self.assertIsNotNone(seen, "no size-probe failure dialog")
        texts, buttons = seen
        self.assertIn(PROBE_FAILURE, texts)
        self.assertEqual(buttons, ["OK"])
        self.assertEqual(run.wait(30), 0, "the program did not end after the dialog")
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
        self.assertEqual(run.wait(30), 0, "the program did not end after the close")
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
        self.assertEqual(seen[0], [f'The setup folder "{wine_path(run.setup_folder)}" is a link; '
                                   "it was left untouched."])
        run.shot("setup-folder-is-a-link")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), 0, "closing the window did not end the program")
        self.assertTrue(run.setup_folder.is_symlink())
        self.assertEqual([p.name for p in target.iterdir()], ["keep.txt"])
        self.assertEqual(run.server.requests(), ["HEAD /periodic/Archive_x64-stable.zip"])
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
        self.assertEqual(seen[0], [f'The old setup folder "{wine_path(run.setup_folder)}" '
                                   "could not be removed."])
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), 0, "closing the window did not end the program")
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
        self.assertEqual(seen, (["File not found."], ["OK"]))
        self.assertEqual(run.wait(30), 0, "the program did not end after the message")

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
            self.assertEqual(run.wait(15), 0, "the program did not end after the close")
            self.assertTrue(server.client_closed.wait(5), "the connection stayed open")
        finally:
            server.stop()
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was left on disk")
        return server

    def test_close_while_the_server_is_silent_during_the_probe(self):
        server = self.silent_server_run([], lambda run, srv: len(srv.requests) == 1)
        self.assertEqual(server.requests, ["HEAD /periodic/Archive_x64-stable.zip"])

    def test_close_while_the_server_is_silent_during_the_body(self):
        length = 1_000_000
        head = f"HTTP/1.1 200 OK\r\nContent-Length: {length}\r\n\r\n".encode()
        server = self.silent_server_run(
            [head, head + os.urandom(100_000)],
            lambda run, srv: len(srv.requests) == 2 and run.setup_folder.exists())
        self.assertEqual(server.requests, ["HEAD /periodic/Archive_x64-stable.zip",
                                           "GET /periodic/Archive_x64-stable.zip"])

    def test_close_while_the_server_drips_the_body(self):
        # A byte every 5 ms fills a 32 KiB block in almost three minutes; the window must answer
        # the close long before.
        length = 1_000_000
        head = f"HTTP/1.1 200 OK\r\nContent-Length: {length}\r\n\r\n".encode()
        server = self.silent_server_run(
            [head, head + os.urandom(100_000)],
            lambda run, srv: len(srv.requests) == 2 and run.setup_folder.exists(), drip=True)
        self.assertEqual(server.requests, ["HEAD /periodic/Archive_x64-stable.zip",
                                           "GET /periodic/Archive_x64-stable.zip"])

    def test_https_success(self):
        run = self.start_run(secure=True)
        run.archive("Archive_x64-stable.zip", exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        with run.authority.trusted_on_host():
            run.start()
            self.assertIsNotNone(run.tool.find(MAIN_CAPTION, 60000), "the window never showed")
            run.shot("window")
            self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report["elevated"], "yes")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        served = run.server.requests_with_protocols()
        self.assertEqual([request for request, _ in served],
                         ["HEAD /periodic/Archive_x64-stable.zip",
                          "GET /periodic/Archive_x64-stable.zip"])
        for _, protocol in served:
            self.assertIn(protocol, ("TLSv1.2", "TLSv1.3"))

    def test_https_with_an_untrusted_certificate_fails_the_size_probe(self):
        # The authority of this run is not trusted: the server could be anyone.
        run = self.start_run(secure=True)
        run.archive("Archive_x64-stable.zip")
        run.server.start()
        run.start()
        seen = run.tool.dialog("Error", 60000)
        self.assertIsNotNone(seen, "no size-probe failure dialog")
        texts, buttons = seen
        self.assertIn(PROBE_FAILURE, texts)
        self.assertEqual(run.wait(30), 0, "the program did not end after the dialog")
        self.assertEqual(run.server.requests(), [], "a request reached the server")
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was written to disk")

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
        self.assertTrue(localrun.wait_until(lambda: any(temp.iterdir()), 60, interval=0.01),
                        "no temporary file appeared")
        return run, temp, [p.name for p in temp.iterdir()]

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
        self.assertEqual(list(temp.iterdir()), [], "the temporary file stayed")

    def test_close_while_downloading_into_a_temporary_file(self):
        run, temp, _ = self.download_into_a_temporary_file("256k")
        localrun.wait_until(lambda: False, 1.0)
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), 0, "the program did not end after the close")
        self.assertEqual(list(temp.iterdir()), [], "the temporary file stayed")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertIsNone(run.report, "the installer ran")

    def test_kill_while_downloading_into_a_temporary_file(self):
        # As the task manager ends it: the system removes the file with the process.
        run, temp, _ = self.download_into_a_temporary_file("256k")
        localrun.wait_until(lambda: False, 1.0)
        run.process.kill()
        run.process.wait(30)
        self.assertTrue(localrun.wait_until(lambda: not any(temp.iterdir()), 30),
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
        self.assertEqual(buttons, ["OK"])
        self.assertEqual(len(texts), 1)
        self.assertRegex(texts[0], r"^Setup needs \d+\.\d MB free on [A-Z]:.*, but only "
                                   r"1[56]\.\d MB are free\.$")
        self.assertTrue(run.tool.close(MAIN_CAPTION))
        self.assertEqual(run.wait(30), 0, "closing the window did not end the program")
        self.assertEqual(list(disk.iterdir()), [], "something was written there")
        self.assertIsNone(run.report, "the installer ran")
        return run, texts[0]

    def test_a_full_disk_is_told_before_the_extraction(self):
        run, text = self.full_disk_run(temporary=False)
        # The files (about 3.3 MB in whole clusters) and the margin of 64 MiB.
        self.assertTrue(text.startswith("Setup needs 67."), text)
        self.assertEqual(run.server.requests(), ["HEAD /periodic/Archive_x64-stable.zip",
                                                 "GET /periodic/Archive_x64-stable.zip"])

    def test_a_full_temporary_volume_is_told_before_the_download(self):
        run, text = self.full_disk_run(temporary=True)
        self.assertTrue(text.startswith("Setup needs 67."), text)
        self.assertEqual(run.server.requests(), ["HEAD /periodic/Archive_x64-stable.zip"])


if __name__ == "__main__":
    unittest.main()
