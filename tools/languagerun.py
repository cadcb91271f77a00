"""Shows the Windows downloader in a language and at a screen density, under Wine: shared by
the end-to-end language runs (tests/e2e/e2e_language_test.py) and the screenshot script
(scripts/screenshots.sh).

The display language follows the locale Wine starts with (LANG); the density is the prefix's
LogPixels. A server that takes the size probe's connection and holds it keeps the window at
"Checking files to download..." for as long as needed; its answer then (a 404) fails the probe
at once, so the program shows its failure dialog.
"""

import contextlib
import socket
import threading

import localrun
import texttable

DESKTOP_KEY = r"HKEY_CURRENT_USER\Control Panel\Desktop"


@contextlib.contextmanager
def screen_density(wine, folder, pixels_per_inch):
    """The prefix at that density for the block (96 is Wine's own when none is set); the
    setting is removed again however the block ends. Wine is restarted on both sides, since a
    running Wine keeps the density it started with."""
    wine.kill()
    wine.import_registry(DESKTOP_KEY, {"LogPixels": pixels_per_inch}, folder)
    try:
        yield
    finally:
        wine.kill()
        wine.import_registry(DESKTOP_KEY, {"LogPixels": None}, folder)
        wine.kill()


def in_language(wine, tag):
    """The same prefix with Wine started in the language of the table's tag."""
    speaking = localrun.Wine(wine.prefix)
    for name in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
        speaking.env.pop(name, None)
    speaking.env["LANG"] = texttable.LOCALES[tag]
    return speaking


class HoldingServer:
    """Listens on 127.0.0.1:<port> and takes every connection, answering nothing until
    release(); from then on every request, held or new, is answered at once with answer (by
    default a 404, which fails the size probe without another attempt). The listener closes
    when the block ends."""

    NOT_FOUND = b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"

    def __init__(self, port, answer=NOT_FOUND):
        self.answer = answer
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(8)
        self.held = []
        self.lock = threading.Lock()
        self.released = False
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                if not self.released:
                    self.held.append(connection)
                    continue
            self._answer(connection)

    def _answer(self, connection):
        # The request is read first: a close with unread bytes would reset the connection
        # before the client read the answer.
        try:
            connection.settimeout(5)
            connection.recv(65536)
            connection.sendall(self.answer)
            connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        finally:
            connection.close()

    def release(self):
        with self.lock:
            self.released = True
            held, self.held = self.held, []
        for connection in held:
            self._answer(connection)

    def stop(self):
        self.release()
        # A close alone would leave the socket listening while the thread waits in accept.
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        self.thread.join()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def expected_layout(pixels_per_inch):
    """The design sizes at a density, rounded as the window rounds them: client width and
    height, the status line's least height, the bar's margin and height."""
    def scale(value):
        return (value * pixels_per_inch + 48) // 96
    return {"width": scale(313), "height": scale(41), "line": scale(13), "margin": scale(8),
            "bar": scale(17)}

