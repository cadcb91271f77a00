"""End-to-end runs of the Windows downloader when connections break: retries and resumes.

nginx serves the archive on a port of its own; the program's port (PLENWICK_E2E_PORT) belongs to a
forwarder that cuts the connections where the scenario says (tools/cutting_forwarder.py) and writes
down the requests with their Range and If-Range. What the window shows (its status line and its
progress bar) is read from the real window by wintool.exe's watch. The programs of these runs keep
the product's pace: a second before the first retry, then twice as long each time (each up to a
fifth longer). Each archive is signed, and its signature is asked for (and served whole) before the
archive.

Configured by the environment (set by CTest) as e2e_test.py.
"""

import re
import sys
import threading
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import e2e_test  # noqa: E402
import localrun  # noqa: E402
from cutting_forwarder import CuttingForwarder  # noqa: E402
from e2e_test import (PORT, SMALL_MEMORY_EXE, USER_CLOSED, Run, assert_logged,  # noqa: E402
                      read_log, wine_path)
from localrun import MAIN_CAPTION  # noqa: E402

ARCHIVE = "Archive_x64-stable.zip"
TARGET = "/periodic/" + ARCHIVE
SIGNATURE = f"GET {TARGET}.sig"


def setUpModule():
    e2e_test.setUpModule()


def tearDownModule():
    e2e_test.tearDownModule()


def countdown(attempt, seconds):
    return f"Connection lost. Retrying in {seconds} s (attempt {attempt} of 5)..."


class RetryEndToEnd(unittest.TestCase):
    def start_run(self, **options):
        """The scenario's run (options as Run's), with nginx elsewhere: the program's port is
        the forwarder's."""
        self.run_ = Run(self, **options)
        self.run_.server = localrun.DistServer(self.run_.root / "nginx", localrun.free_port(),
                                               self.run_.root / "www")
        self.addCleanup(self.run_.finish)
        return self.run_

    def forwarder(self, **options):
        forwarder = CuttingForwarder(("127.0.0.1", self.run_.server.port), listen_port=PORT,
                                     **options)
        self.addCleanup(forwarder.stop)
        return forwarder

    def start_watched(self, arguments=""):
        """Starts the program (with arguments) with its window watched (status line and bar);
        returns the path of what the watch writes."""
        path = self.run_.root / "watch.txt"
        watch = self.run_.tool.watch(MAIN_CAPTION, 120000, path, bar=True)
        self.addCleanup(lambda: watch.wait(30))
        self.run_.start(arguments)
        return path, watch

    def assert_resumed(self, forwarder, cuts):
        """Each retry continued where the cut fell, vouched for by nginx's tag of the archive;
        returns where each continued."""
        requests = forwarder.stats()["requests"]
        self.assertEqual(len(requests), 3 + cuts, requests)
        self.assertEqual(requests[:3], [f"HEAD {TARGET}", SIGNATURE, f"GET {TARGET}"])
        starts = []
        for request in requests[3:]:
            fields = dict(part.split("=", 1) for part in request.split(" ")[2:])
            self.assertTrue(request.startswith(f"GET {TARGET} "), request)
            self.assertTrue(fields["Range"].startswith("bytes="), request)
            self.assertTrue(fields["If-Range"].startswith('"'), request)
            starts.append(int(fields["Range"][len("bytes="):-1]))
        self.assertEqual(starts, sorted(starts))
        self.assertEqual([status for _, status in self.run_.server.requests_with_statuses()],
                         [200, 200, 200] + [206] * cuts)
        return starts

    def assert_retries_logged(self, log, starts):
        """The log has each retry (its attempt, wait and cause) and each resume (its offset and
        that the validator held), in the order they came, and the run's exit code."""
        events = read_log(self, log)
        cut = r"after: The server closed the connection after \d+ of \d+ bytes\.$"
        expected = []
        for attempt, start in enumerate(starts, 2):
            expected += [rf"^Retry {attempt} of 5 in \d+ ms, {cut}",
                         rf"^Resuming \S+{re.escape(TARGET)} from byte {start}, if its "
                         r'validator is still "',
                         rf"^Resumed from byte {start}: the validator held "
                         rf"\(Content-Range: bytes {start}-\d+/\d+\)$"]
        assert_logged(self, events, *expected, r"^Exit code 0: ")
        self.assertEqual(len([e for e in events if e.startswith("Retry ")]), len(starts),
                         "\n".join(events))

    def test_a_download_cut_three_times_resumes_and_installs(self):
        run = self.start_run()
        run.archive(ARCHIVE, exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        forwarder = self.forwarder(cuts=[500_000, 500_000, 500_000])
        log = run.root / "setup.log"
        path, watch = self.start_watched(f'/log "{wine_path(log)}"')
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        watch.wait(30)
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assert_retries_logged(log, self.assert_resumed(forwarder, 3))

        seen = localrun.read_watch(path)
        texts = [value for kind, value in seen if kind == "text"]
        for attempt in (2, 3, 4):
            self.assertIn(countdown(attempt, 1), texts)
        # After each wait the download goes on, and the bar never goes back.
        after = [texts[i + 1] for i, text in enumerate(texts[:-1]) if text.startswith("Conn")
                 and not texts[i + 1].startswith("Conn")]
        self.assertEqual(after, ["Downloading..."] * 3)
        positions = [value for kind, value in seen if kind == "position"]
        self.assertGreater(len(positions), 3)
        self.assertEqual(positions, sorted(positions), "the bar went back")

    def test_countdown_shows_and_a_close_during_it_ends_at_once(self):
        # Every connection is cut: the waits grow to 4 s and then 8 s, and the window is closed
        # with 4 s of the last one still to go.
        run = self.start_run()
        run.archive(ARCHIVE, exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        forwarder = self.forwarder(every=150_000)
        closing = countdown(5, 4)
        answered = []
        closer = threading.Thread(target=lambda: answered.append(
            run.tool.close_on(MAIN_CAPTION, closing, 300, 120000)))
        closer.start()
        try:
            path, watch = self.start_watched()
        finally:
            closer.join()
        self.assertIsNotNone(answered[0], f'"{closing}" never showed')
        self.assertTrue(answered[0], "the window did not answer during the countdown")
        run.shot("countdown-closed")
        self.assertEqual(run.wait(15), USER_CLOSED, "the program did not end after the close")
        watch.wait(30)
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was left on disk")
        self.assertIsNone(run.report, "the installer ran")

        texts = [value for kind, value in localrun.read_watch(path) if kind == "text"]
        # A countdown a second at a time, read from the window itself.
        self.assertLess(texts.index(countdown(4, 2)), texts.index(countdown(4, 1)))
        # The close ended the wait: it counted no further, and no fifth attempt was made.
        self.assertNotIn(countdown(5, 3), texts)
        self.assertEqual(texts[-1], closing)
        # The size probe, the signature, and four attempts of the archive.
        self.assertEqual(len(forwarder.stats()["requests"]), 6)

    def test_a_size_probe_refused_for_head_still_installs(self):
        # nginx refuses HEAD for this archive; the first byte's answer tells the size.
        run = self.start_run()
        run.exe.rename(run.exe.with_name("Plenwick-develop_x64-nohead.exe"))
        run.exe = run.exe.with_name("Plenwick-develop_x64-nohead.exe")
        run.archive("Archive_x64-nohead.zip", exit_code=0)
        run.server.start()
        forwarder = self.forwarder()
        run.start()
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        self.assertIsNotNone(run.report, "the installer never ran")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        target = "/periodic/Archive_x64-nohead.zip"
        self.assertEqual(forwarder.stats()["requests"],
                         [f"HEAD {target}", f"GET {target} Range=bytes=0-0", f"GET {target}.sig",
                          f"GET {target}"])
        self.assertEqual([status for _, status in run.server.requests_with_statuses()],
                         [405, 206, 200, 200])

    def test_a_quiet_download_into_a_temporary_file_cut_twice_resumes_and_installs(self):
        # The program that holds at most 1 MiB in memory: the archive goes to a temporary file,
        # which each retry continues; the signature's check reads the file whole. A quiet run
        # retries as a window run does, showing nothing.
        run = self.start_run(program=SMALL_MEMORY_EXE)
        run.archive(ARCHIVE, exit_code=0, payload_bytes=3_000_000)
        temp = run.root / "temp"
        temp.mkdir()
        run.server.start()
        self.enterContext(localrun.user_temp_folder(run.wine, run.root, temp))
        forwarder = self.forwarder(cuts=[1_500_000, 1_000_000])
        log = run.root / "setup.log"
        run.start(f'/quiet /log "{wine_path(log)}"')
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        self.assertEqual(run.windows, [], "a window showed")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(list(temp.iterdir()), [], "the temporary file stayed")
        self.assert_retries_logged(log, self.assert_resumed(forwarder, 2))


if __name__ == "__main__":
    unittest.main()
