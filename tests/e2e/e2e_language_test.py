"""The Windows downloader in the user's language and at the screen's density, under Wine.

Each scenario starts the program with the locale of a language (LANG, which Wine turns into the
user's display language) and the prefix at a density (LogPixels), against a server that holds
the size probe's connection: the window stays at its second status text while the window
inspector (wintool.exe) reads its caption, its status line, and its controls' places and fonts.
Then the server closes the connection, the probe fails, and the inspector reads the failure
dialog in the same language and presses its button. Every expected text comes from the program's
text table (src/base/texts/Texts.txt).

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
        with languagerun.screen_density(wine, folder, pixels_per_inch), \
                languagerun.HoldingServer(PORT) as server:
            program = wine.start(exe, cwd=folder)
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

                server.release()
                dialog = tool.dialog(text["RSCaptionError"], 60000)
                self.assertIsNotNone(dialog, "no dialog captioned " + text["RSCaptionError"])
                texts, _ = dialog
                self.assertIn(text["RSProbeFailure"], texts)
                self.assertEqual(program.wait(60), 0)
            finally:
                if program.poll() is None:
                    program.kill()
                wine.kill()

    def test_german_at_96_pixels_per_inch(self):
        self.check_window_and_dialog("de", 96)

    def test_japanese_at_144_pixels_per_inch(self):
        self.check_window_and_dialog("ja", 144)

    def test_russian_at_192_pixels_per_inch(self):
        self.check_window_and_dialog("ru", 192)


if __name__ == "__main__":
    unittest.main()
