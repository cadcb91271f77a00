"""The Windows downloader in the user's language and at the screen's density, under Wine.

Each scenario starts the program with the locale of a language (LANG, which Wine turns into the
user's display language) and the prefix at a density (LogPixels), against a server that holds the
size probe's connection: the window stays at its second status text while the window inspector
(wintool.exe) reads its caption, its status line, and its controls' places and fonts. Then the
server answers 404, the probe fails without another attempt, and the inspector reads the failure
dialog in the same language, tries again, and closes the second. A command line the program cannot
read shows the usage in the language. Every expected text comes from the program's text table
(src/base/texts/Texts.txt); the log stays English whatever the user's language.

Configured by the environment (set by CTest): PLENWICK_E2E_EXE, PLENWICK_E2E_WINTOOL,
PLENWICK_E2E_PORT, PLENWICK_E2E_WORK, PLENWICK_E2E_PREFIX.
"""

import os
import shutil
import sys
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import languagerun  # noqa: E402
import localrun  # noqa: E402
import texttable  # noqa: E402

EXE = Path(os.environ.get("PLENWICK_E2E_EXE", ""))
WINTOOL = Path(os.environ.get("PLENWICK_E2E_WINTOOL", ""))
PORT = int(os.environ.get("PLENWICK_E2E_PORT", "47631"))
WORK = Path(os.environ.get("PLENWICK_E2E_WORK", "e2e-runs"))
PREFIX = Path(os.environ.get("PLENWICK_E2E_PREFIX", "wineprefix-e2e"))

_display = None
_, TEXTS = texttable.read()

# The program's own exit codes (README).
PROBE_FAILED = 20001
BAD_COMMAND_LINE = 87
USER_CLOSED = 1602


def wine_path(path):
    """The path as the program under Wine sees it (the host's root is drive Z:)."""
    return "Z:" + str(path).replace("/", "\\")


def log_events(path):
    """The log's lines without their time stamps; empty while there is no log."""
    if not path.exists():
        return []
    return [line[24:] for line in path.read_bytes().decode("utf-8").split("\r\n")[:-1]]


def setUpModule():
    global _display
    _display = localrun.ensure_display()
    localrun.Wine(PREFIX).ensure()


def tearDownModule():
    localrun.Wine(PREFIX).kill()
    if _display:
        _display.terminate()


class LanguageEndToEnd(unittest.TestCase):
    def check_window_and_dialog(self, tag, pixels_per_inch):
        folder = localrun.fresh_folder(WORK / self.id().rsplit(".", 1)[-1])
        exe = folder / "Plenwick-setup_x64-stable.exe"
        shutil.copy(EXE, exe)
        wine = languagerun.in_language(localrun.Wine(PREFIX), tag)
        tool = localrun.WinTool(wine, WINTOOL)
        text = {name: TEXTS[name][tag] for name in TEXTS}
        expected = languagerun.expected_layout(pixels_per_inch)
        log = folder / "run.log"
        with languagerun.screen_density(wine, folder, pixels_per_inch), \
                languagerun.HoldingServer(PORT) as server:
            program = localrun.WatchedRun(
                wine, WINTOOL, f'"{wine_path(exe)}" /log "{wine_path(log)}"', folder)
            try:
                seen = tool.find(text["RSMainCaption"], 60000)
                self.assertIsNotNone(seen, "no window captioned " + text["RSMainCaption"])
                localrun.wait_until(
                    lambda: text["RSStatusChecking"] in str(
                        tool.find(text["RSMainCaption"], 0)), 20)
                seen = tool.find(text["RSMainCaption"], 0)
                localrun.screenshot(folder / f"window-{tag}-{pixels_per_inch}.png")
                self.assertIn("Static|" + text["RSStatusChecking"], seen["children"])

                # Every control scaled with the density; the window at least its design size.
                width, height = (int(v) for v in seen["client"].split("x"))
                self.assertGreaterEqual(width, expected["width"])
                self.assertLessEqual(width, 2 * expected["width"])
                self.assertGreaterEqual(height, expected["height"])
                rects = {cls.lower(): box for cls, box in seen["rects"]}
                left, top, line_width, line = rects["static"]
                self.assertEqual((left, top, line_width), (0, 0, width))
                # The status line is as high as its font at the density, a few pixels more
                # than the design's 13 where the font's line is taller.
                self.assertGreaterEqual(line, expected["line"])
                self.assertLessEqual(line, expected["line"] + expected["margin"] // 2)
                left, top, bar_width, bar = rects["msctls_progress32"]
                self.assertEqual((left, top, bar_width, bar),
                                 (0, line + expected["margin"], width, expected["bar"]))
                self.assertLessEqual(top + bar, height, "the bar is cut")
                if top + bar < expected["height"]:
                    self.assertEqual(height, expected["height"], "grown with no need")

                # The failure's dialog in the language, with its own buttons: the expander of the
                # details, Try again, and the system's Close, whatever its label.
                server.release()
                dialog = tool.dialog(text["RSCaptionError"], 60000, text["RSTryAgain"])
                self.assertIsNotNone(dialog, "no dialog captioned " + text["RSCaptionError"])
                texts, buttons = dialog
                self.assertIn(text["RSProbeFailureTryAgain"], texts)
                # Beside Try again, which does not exit, no word says that it exits.
                exits = text["RSProbeFailure"].split("\r\n\r\n")[-1]
                self.assertFalse(any(exits in shown for shown in texts), texts)
                self.assertEqual(buttons[:2], [text["RSDetails"], text["RSTryAgain"]])
                self.assertEqual(len(buttons), 3, buttons)
                localrun.wait_until(lambda: "Trying again" in log_events(log), 30)
                dialog = tool.dialog(text["RSCaptionError"], 60000, buttons[2].replace("&", ""))
                self.assertIsNotNone(dialog, "no dialog after trying again")
                self.assertIn(text["RSProbeFailureTryAgain"], dialog[0])
                self.assertEqual(program.wait(60), PROBE_FAILED)
            finally:
                if program.running():
                    program.kill()
                wine.kill()
        # What the user read in their language, support staff read in English.
        self.assertIn("The user asked to try again", log_events(log))
        self.assertIn(f"Exit code {PROBE_FAILED}: size probe failed "
                      f"(The distribution server could not be reached.)", log_events(log))

    def test_german_at_96_pixels_per_inch(self):
        self.check_window_and_dialog("de", 96)

    def test_japanese_at_144_pixels_per_inch(self):
        self.check_window_and_dialog("ja", 144)

    def test_russian_at_192_pixels_per_inch(self):
        self.check_window_and_dialog("ru", 192)

    def test_a_countdown_wider_than_the_window_widens_it_in_place(self):
        # A server that asks to come back in 12 s: the German countdown is wider than any status
        # text the window was sized for, and the window grows for it without moving.
        folder = localrun.fresh_folder(WORK / self.id().rsplit(".", 1)[-1])
        exe = folder / "Plenwick-setup_x64-stable.exe"
        shutil.copy(EXE, exe)
        wine = languagerun.in_language(localrun.Wine(PREFIX), "de")
        tool = localrun.WinTool(wine, WINTOOL)
        caption = TEXTS["RSMainCaption"]["de"]
        countdown = TEXTS["RSRetryServerBusy"]["de"].replace("%d", "{}", 3)
        busy = (b"HTTP/1.1 503 Service Unavailable\r\nRetry-After: 12\r\n"
                b"Content-Length: 0\r\nConnection: close\r\n\r\n")
        with languagerun.HoldingServer(PORT, answer=busy) as server:
            server.release()
            program = localrun.WatchedRun(wine, WINTOOL, f'"{wine_path(exe)}"', folder)
            try:
                before = tool.find(caption, 60000)
                self.assertIsNotNone(before, "no window captioned " + caption)
                self.assertTrue(localrun.wait_until(
                    lambda: countdown.format(10, 2, 5) in str(tool.find(caption, 0)), 30),
                    "no countdown")
                during = tool.find(caption, 0)
                width = int(before["client"].split("x")[0])
                grown = int(during["client"].split("x")[0])
                self.assertEqual(width, languagerun.expected_layout(96)["width"])
                self.assertGreater(grown, width, "the countdown was cut")
                self.assertEqual(during["window"].split(",")[:2], before["window"].split(",")[:2],
                                 "the window moved")
                rects = {cls.lower(): box for cls, box in during["rects"]}
                self.assertEqual(rects["static"][2], grown)
                self.assertTrue(tool.close(caption))
                self.assertEqual(program.wait(30), USER_CLOSED)
            finally:
                if program.running():
                    program.kill()
                wine.kill()

    def test_usage_in_polish_with_the_log_in_english(self):
        folder = localrun.fresh_folder(WORK / self.id().rsplit(".", 1)[-1])
        exe = folder / "Plenwick-setup_x64-stable.exe"
        shutil.copy(EXE, exe)
        wine = languagerun.in_language(localrun.Wine(PREFIX), "pl")
        tool = localrun.WinTool(wine, WINTOOL)
        text = {name: TEXTS[name]["pl"] for name in TEXTS}
        log = folder / "run.log"
        program = localrun.WatchedRun(
            wine, WINTOOL, f'"{wine_path(exe)}" /silent /log "{wine_path(log)}"', folder)
        try:
            dialog = tool.dialog(text["RSUsageCaption"], 60000)
            self.assertIsNotNone(dialog, "no usage captioned " + text["RSUsageCaption"])
            shown = dialog[0][0]
            self.assertEqual(program.wait(60), BAD_COMMAND_LINE)
        finally:
            if program.running():
                program.kill()
            wine.kill()
        # The fault, then the usage with its table of exit codes: the words the language's, the
        # switches, file names and codes as they are.
        usage_start = text["RSUsage"].split("%s")[0]
        self.assertTrue(shown.startswith(text["RSUnknownSwitch"].replace("%s", "/silent") +
                                         "\r\n\r\n" + usage_start +
                                         "Plenwick-setup_x64-stable.exe [/quiet | /passive]"),
                        shown)
        for line in text["RSUsage"].split("\r\n")[2:8]:
            self.assertIn("\r\n" + line + "\r\n", shown)
        for row in (f"20001\t{text['RSExitProbeFailed']}", f"87\t{text['RSExitBadCommandLine']}",
                    f"{text['RSUsageOtherCode']}\t{text['RSExitInstallerCode']}"):
            self.assertIn("\r\n" + row + "\r\n", shown)
        # The log has it all in English.
        events = log_events(log)
        self.assertIn('The command line cannot be read: The switch "/silent" is not known.',
                      events)
        usage = [e for e in events if e.startswith("Usage: Plenwick-setup_x64-stable.exe [/quiet")]
        self.assertEqual(len(usage), 1, events)
        # One event, one line: the log writes tabs and line breaks as single spaces.
        self.assertIn(" 20001 The distribution server could not be reached. ", usage[0])
        self.assertIn(" other The installer's own exit code, passed on. ", usage[0])
        self.assertIn(f"Exit code {BAD_COMMAND_LINE}: bad command line "
                      f"(The command line could not be read.)", events)


if __name__ == "__main__":
    unittest.main()
