"""End-to-end runs of the Windows downloader through the proxy of the user's internet settings.

The programs are built for a distribution host that is a name (PLENWICK_E2E_NAMED_HOST), given
to the machine's hosts file for the run only; the proxy is set in the current user's internet
settings of the runs' Wine prefix, and put back afterwards. tinyproxy stands in for the
company's proxy. Ports: the distribution server's (PLENWICK_E2E_PORT) and its TLS side's
(PLENWICK_E2E_SECURE_PORT), then the proxy, a proxy that demands credentials and a port where
nothing listens, on the three ports after those. The secure run's certificate names the
distribution host, from a test authority trusted through the host's store for the run.

Configured by the environment (set by CTest) as e2e_test.py, and PLENWICK_E2E_NAMED_EXE,
PLENWICK_E2E_NAMED_SECURE_EXE, PLENWICK_E2E_NAMED_HOST.
"""

import contextlib
import os
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import e2e_test  # noqa: E402
import hostsfile  # noqa: E402
import localrun  # noqa: E402
import testca  # noqa: E402
from e2e_test import PORT, SECURE_PORT, Run  # noqa: E402
from tinyproxy import TinyProxy  # noqa: E402

NAMED_EXE = Path(os.environ.get("PLENWICK_E2E_NAMED_EXE", ""))
NAMED_SECURE_EXE = Path(os.environ.get("PLENWICK_E2E_NAMED_SECURE_EXE", ""))
NAMED_HOST = os.environ.get("PLENWICK_E2E_NAMED_HOST", f"dist-{PORT}.plenwick.test")
PROXY_PORT = PORT + 2
AUTH_PROXY_PORT = PORT + 3
DEAD_PORT = PORT + 4
ARCHIVE = "Archive_x64-stable.zip"


def setUpModule():
    e2e_test.setUpModule()
    # No proxy to begin with, whatever a run killed with its settings in place left in the
    # runs' prefix.
    e2e_test.WORK.mkdir(parents=True, exist_ok=True)
    localrun.Wine(e2e_test.PREFIX).import_registry(
        localrun.INTERNET_SETTINGS, {"ProxyEnable": 0, "ProxyServer": None, "ProxyOverride": None},
        e2e_test.WORK)


def tearDownModule():
    e2e_test.tearDownModule()


def probe_failure(proxy_message):
    return ("Could not download files from distribution server.\r\n\r\n" + proxy_message +
            "\r\n\r\nDownloader will now exit.")


class ProxyEndToEnd(unittest.TestCase):
    def setUp(self):
        self.stack = contextlib.ExitStack()
        self.stack.enter_context(hostsfile.host_entry(NAMED_HOST))
        self.run_ = Run(self)
        # The program built for the named host, in place of the loopback one.
        shutil.copy(NAMED_EXE, self.run_.exe)
        self.stack.callback(self.run_.finish)

    def tearDown(self):
        self.stack.close()

    def proxy(self, port, **options):
        """tinyproxy on the port, for the test's time."""
        return self.stack.enter_context(
            TinyProxy(self.run_.root / f"proxy-{port}", port, **options))

    def settings(self, **values):
        """The user's internet settings for the test's time."""
        self.stack.enter_context(
            localrun.internet_settings(self.run_.wine, self.run_.root, **values))

    def assert_installed(self):
        run = self.run_
        self.assertEqual(run.wait(120), 0, "the program did not end by itself")
        report = run.report
        self.assertIsNotNone(report, "the installer never ran")
        self.assertEqual(report.get("finished"), "yes")
        self.assertFalse(run.setup_folder.exists(), "the setup folder was not removed")
        self.assertEqual(run.server.requests(), e2e_test.archive_requests(ARCHIVE))

    def assert_probe_failure(self, proxy_message):
        run = self.run_
        self.assertIsNotNone(run.tool.find("Error", 60000), "no size-probe failure dialog")
        run.shot("dialog")
        seen = run.tool.dialog("Error", 10000)
        self.assertIsNotNone(seen, "the dialog went away")
        self.assertIn(probe_failure(proxy_message), seen[0])
        self.assertEqual(run.wait(30), 0, "the program did not end after the dialog")
        self.assertEqual(run.server.requests(), [], "a request reached the server")
        self.assertEqual(sorted(p.name for p in run.cwd.iterdir()), [run.exe.name],
                         "something was written to disk")

    def test_proxy_carries_the_whole_road(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        proxy = self.proxy(PROXY_PORT)
        # "<local>" stands for names without a dot: the distribution host is none of them.
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{PROXY_PORT}",
                      ProxyOverride="<local>")
        run.start()
        self.assert_installed()
        url = f"http://{NAMED_HOST}:{PORT}/periodic/{ARCHIVE}"
        self.assertEqual(proxy.requests(), [f"HEAD {url} HTTP/1.1", f"GET {url}.sig HTTP/1.1",
                                            f"GET {url} HTTP/1.1"])

    def test_proxy_tunnels_https(self):
        run = self.run_
        shutil.copy(NAMED_SECURE_EXE, run.exe)
        # The certificate names the distribution host; the proxy is an address no certificate
        # names.
        authority = testca.TestAuthority(run.root / "ca")
        run.server = localrun.DistServer(run.root / "nginx", SECURE_PORT, run.root / "www",
                                         tls=authority.issue("server", [NAMED_HOST]))
        run.archive(ARCHIVE, exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        proxy = self.proxy(PROXY_PORT, connect_ports=[SECURE_PORT])
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{PROXY_PORT}")
        self.stack.enter_context(authority.trusted_on_host())
        run.start()
        self.assert_installed()
        tunnels = proxy.requests()
        self.assertTrue(tunnels, "the proxy saw no request")
        self.assertEqual(set(tunnels), {f"CONNECT {NAMED_HOST}:{SECURE_PORT} HTTP/1.1"})
        for _, protocol in run.server.requests_with_protocols():
            self.assertIn(protocol, ("TLSv1.2", "TLSv1.3"))

    def test_bypassed_host_connects_directly(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        # The proxy named would fail every request it got.
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{DEAD_PORT}",
                      ProxyOverride="intranet;*.plenwick.test")
        run.start()
        self.assert_installed()

    def test_proxy_demanding_credentials_shows_its_answer(self):
        run = self.run_
        run.archive(ARCHIVE)
        run.server.start()
        self.proxy(AUTH_PROXY_PORT, basic_auth=("plenwick", "secret"))
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{AUTH_PROXY_PORT}")
        run.start()
        self.assert_probe_failure(
            f"The proxy server 127.0.0.1:{AUTH_PROXY_PORT} asks for a user name and password: "
            "HTTP/1.0 407 Proxy Authentication Required.")

    def test_proxy_that_cannot_be_reached_shows_its_message(self):
        run = self.run_
        run.archive(ARCHIVE)
        run.server.start()
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{DEAD_PORT}")
        run.start()
        self.assert_probe_failure(
            f"The proxy server 127.0.0.1:{DEAD_PORT} could not be reached: "
            "Socket Error # 10061\r\nConnection refused.")

    def test_socks_proxy_is_named_not_gone_around(self):
        run = self.run_
        run.archive(ARCHIVE)
        run.server.start()
        # The system's clients send http through the SOCKS proxy when no HTTP proxy is set for
        # it; this program cannot, and says so rather than go direct. (Wine's WinINet does not
        # hand on a list of per-scheme entries whole: the SOCKS proxy alone.)
        self.settings(ProxyEnable=1, ProxyServer=f"socks=127.0.0.1:{DEAD_PORT}")
        run.start()
        self.assert_probe_failure(
            f'The internet settings name the proxy "socks=127.0.0.1:{DEAD_PORT}" for http '
            "addresses, which this program cannot use.")


if __name__ == "__main__":
    unittest.main()
