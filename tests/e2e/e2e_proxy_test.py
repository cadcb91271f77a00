"""End-to-end runs of the Windows downloader through the proxy of the user's internet settings.

The programs are built for a distribution host that is a name (PLENWICK_E2E_NAMED_HOST), given
to the machine's hosts file for the run only; the proxy is set in the current user's internet
settings of the runs' Wine prefix, and put back afterwards. tinyproxy stands in for the
company's proxy, and tools/ntlm_proxy.py for one that asks who the user is (NTLM or Basic, for
the user "alice" with the password "s3cret pass"). Ports: the distribution server's
(PLENWICK_E2E_PORT) and its TLS side's (PLENWICK_E2E_SECURE_PORT), then the proxy, a proxy that
demands credentials, a port where nothing listens and the NTLM proxy, on the four ports after
those.

Under Wine the signed-in user's NTLM handshake cannot complete (no cached credentials), so the
runs through the NTLM proxy use credentials kept in the Credential Manager (written by the
window inspector) or typed into the system's credential dialog (answered by it). The secure run's certificate names the
distribution host, from a test authority trusted through the host's store for the run.

Configured by the environment (set by CTest) as e2e_test.py, and PLENWICK_E2E_NAMED_EXE,
PLENWICK_E2E_NAMED_SECURE_EXE, PLENWICK_E2E_NAMED_HOST.
"""

import base64
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
from localrun import MAIN_CAPTION  # noqa: E402
from ntlm_proxy import NtlmProxy  # noqa: E402
from tinyproxy import TinyProxy  # noqa: E402

NAMED_EXE = Path(os.environ.get("PLENWICK_E2E_NAMED_EXE", ""))
NAMED_SECURE_EXE = Path(os.environ.get("PLENWICK_E2E_NAMED_SECURE_EXE", ""))
NAMED_HOST = os.environ.get("PLENWICK_E2E_NAMED_HOST", f"dist-{PORT}.plenwick.test")
PROXY_PORT = PORT + 2
AUTH_PROXY_PORT = PORT + 3
DEAD_PORT = PORT + 4
NTLM_PORT = PORT + 5
USER, PASSWORD = "alice", "s3cret pass"
# The Credential Manager's names for the NTLM proxy's credentials: for NTLM and Negotiate, and
# for Basic.
CREDENTIAL_TARGET = f"Plenwick Suite Setup/proxy/127.0.0.1:{NTLM_PORT}"
BASIC_TARGET = f"Plenwick Suite Setup/proxy-basic/127.0.0.1:{NTLM_PORT}"
UNENCRYPTED = f"Password sent unencrypted to the proxy 127.0.0.1:{NTLM_PORT}."
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
    """The size probe's failure through a proxy, beside "Try again" (no word of exiting)."""
    return "Could not download files from distribution server.\r\n\r\n" + proxy_message


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
        # Whatever the scenario, no credential ever reaches the distribution server.
        self.assertEqual(self.run_.server.received_credentials(), [])

    def proxy(self, port, **options):
        """tinyproxy on the port, for the test's time."""
        return self.stack.enter_context(
            TinyProxy(self.run_.root / f"proxy-{port}", port, **options))

    def ntlm_proxy(self, **options):
        """tools/ntlm_proxy.py on NTLM_PORT for the test's time; the user's internet settings
        send everything through it, and no credentials are kept for it to begin with."""
        proxy = self.stack.enter_context(
            NtlmProxy(NTLM_PORT, user=USER, password=PASSWORD, **options))
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{NTLM_PORT}")
        for target in (CREDENTIAL_TARGET, BASIC_TARGET):
            self.run_.tool.cred_delete(target)
            self.stack.callback(self.run_.tool.cred_delete, target)
        return proxy

    def basic_sent(self, proxy):
        """The proxy's verdicts on the Basic credentials it received."""
        return [event.rpartition(" | Basic ")[2] for event in proxy.events
                if " | Basic " in event]

    def assert_signed_in(self, proxy):
        """Every leg on the connection of its challenge, and the proxy let the requests
        through; nothing of the credentials reached the distribution server."""
        self.assertEqual(proxy.violations, [])
        self.assertTrue(any(event.endswith(" ok") for event in proxy.events), proxy.events)
        self.assertEqual(self.run_.server.received_credentials(), [])

    def answer_prompt(self, remember, ok=True, port=NTLM_PORT, login=(USER, PASSWORD)):
        """Answers the system's credential dialog, which names the proxy on the port; returns
        the texts it showed."""
        texts = self.run_.tool.credentials(MAIN_CAPTION, 60000, *login, remember, ok)
        self.run_.shot("credentials")
        self.assertIsNotNone(texts, "no credential dialog")
        self.assertTrue(any(f"127.0.0.1:{port}" in text for text in texts), texts)
        return texts

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
        seen = run.tool.dialog("Error", 10000, "Close")
        self.assertIsNotNone(seen, "the dialog went away")
        self.assertEqual(probe_failure(proxy_message), seen[0][0])
        self.assertEqual(run.wait(30), e2e_test.PROBE_FAILED,
                         "the program did not end after the dialog")
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

    def test_proxy_demanding_credentials_asks_and_cancel_shows_its_answer(self):
        run = self.run_
        run.archive(ARCHIVE)
        run.server.start()
        self.proxy(AUTH_PROXY_PORT, basic_auth=("plenwick", "secret"))
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{AUTH_PROXY_PORT}")
        run.start()
        self.answer_prompt(remember=False, ok=False, port=AUTH_PROXY_PORT)
        self.assert_probe_failure(
            f"The proxy server 127.0.0.1:{AUTH_PROXY_PORT} asks for a user name and password: "
            "HTTP/1.0 407 Proxy Authentication Required.")

    def test_proxy_demanding_credentials_takes_the_users_answer(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        # tinyproxy's configuration takes no blank in a password.
        proxy = self.proxy(AUTH_PROXY_PORT, basic_auth=("plenwick", "secret"))
        self.settings(ProxyEnable=1, ProxyServer=f"127.0.0.1:{AUTH_PROXY_PORT}")
        run.start()
        self.answer_prompt(remember=False, port=AUTH_PROXY_PORT, login=("plenwick", "secret"))
        self.assert_installed()
        self.assertEqual(run.server.received_credentials(), [])
        url = f"http://{NAMED_HOST}:{PORT}/periodic/{ARCHIVE}"
        self.assertEqual(proxy.requests()[-3:], [f"HEAD {url} HTTP/1.1", f"GET {url}.sig HTTP/1.1",
                                                 f"GET {url} HTTP/1.1"])

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

    def test_ntlm_proxy_with_stored_credentials(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        proxy = self.ntlm_proxy(schemes=("NTLM",))
        self.assertTrue(run.tool.cred_write(CREDENTIAL_TARGET, USER, PASSWORD))
        run.start()
        self.assert_installed()
        self.assert_signed_in(proxy)

    def test_ntlm_proxy_tunnels_https_with_stored_credentials(self):
        run = self.run_
        shutil.copy(NAMED_SECURE_EXE, run.exe)
        authority = testca.TestAuthority(run.root / "ca")
        run.server = localrun.DistServer(run.root / "nginx", SECURE_PORT, run.root / "www",
                                         tls=authority.issue("server", [NAMED_HOST]))
        run.archive(ARCHIVE, exit_code=0, payload_bytes=2_000_000)
        run.server.start()
        proxy = self.ntlm_proxy(schemes=("NTLM",))
        self.assertTrue(run.tool.cred_write(CREDENTIAL_TARGET, USER, PASSWORD))
        self.stack.enter_context(authority.trusted_on_host())
        run.start()
        self.assert_installed()
        self.assert_signed_in(proxy)
        self.assertTrue(all(" CONNECT " in event for event in proxy.events), proxy.events)

    def test_wrong_stored_password_leads_to_the_prompt_and_remember_keeps_the_answer(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        proxy = self.ntlm_proxy(schemes=("NTLM",))
        self.assertTrue(run.tool.cred_write(CREDENTIAL_TARGET, USER, "old password"))
        run.start()
        self.answer_prompt(remember=True)
        self.assert_installed()
        self.assert_signed_in(proxy)
        self.assertEqual(run.tool.cred_read(CREDENTIAL_TARGET), (USER, PASSWORD))

        # A second run asks nothing: the kept credentials serve it (a dialog would hold it).
        for report in (run.app / "install-report.txt", run.cwd / "install-report.txt"):
            report.unlink(missing_ok=True)
        run.start()
        self.assertEqual(run.wait(120), 0, "the second run did not end by itself")
        self.assertEqual(run.report.get("finished"), "yes")
        self.assertEqual(proxy.violations, [])

    def test_cancel_at_the_prompt_shows_the_proxys_answer(self):
        run = self.run_
        run.archive(ARCHIVE)
        run.server.start()
        self.ntlm_proxy(schemes=("NTLM", "Basic"))
        run.start()
        self.answer_prompt(remember=False, ok=False)
        self.assert_probe_failure(
            f"The proxy server 127.0.0.1:{NTLM_PORT} asks for a user name and password: "
            "HTTP/1.1 407 Proxy Authentication Required.")
        self.assertIsNone(run.tool.cred_read(CREDENTIAL_TARGET))

    def test_basic_proxy_through_the_prompt(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        proxy = self.ntlm_proxy(schemes=("Basic",))
        run.start()
        self.assertIn(UNENCRYPTED, self.answer_prompt(remember=False))
        self.assert_installed()
        self.assert_signed_in(proxy)
        # Basic goes with every request; nothing but the typed password.
        self.assertEqual(set(self.basic_sent(proxy)), {"ok"})
        for target in (CREDENTIAL_TARGET, BASIC_TARGET):
            self.assertIsNone(run.tool.cred_read(target), "kept without being asked to")

    def test_basic_only_proxy_never_gets_the_password_kept_for_ntlm(self):
        # The right password, kept for NTLM: were it sent with Basic, the proxy would let the
        # run through without a prompt. The prompt comes instead, says what Basic does with
        # the password, and what the user asks to keep is kept for Basic alone.
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        proxy = self.ntlm_proxy(schemes=("Basic",))
        self.assertTrue(run.tool.cred_write(CREDENTIAL_TARGET, USER, PASSWORD))
        run.start()
        self.assertIn(UNENCRYPTED, self.answer_prompt(remember=True))
        self.assert_installed()
        self.assert_signed_in(proxy)
        self.assertEqual(set(self.basic_sent(proxy)), {"ok"})
        self.assertEqual(run.tool.cred_read(BASIC_TARGET), (USER, PASSWORD))
        self.assertEqual(run.tool.cred_read(CREDENTIAL_TARGET), (USER, PASSWORD))

    def test_quiet_run_gives_basic_nothing_kept_for_ntlm(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        proxy = self.ntlm_proxy(schemes=("Basic",))
        self.assertTrue(run.tool.cred_write(CREDENTIAL_TARGET, USER, PASSWORD))
        run.start("/quiet")
        self.assertEqual(run.wait(120), e2e_test.PROBE_FAILED, "the program did not end by itself")
        self.assertEqual(run.windows, [], "a window (the credential dialog?) showed")
        self.assertEqual(self.basic_sent(proxy), [])
        self.assertTrue(proxy.events, "the proxy was never asked")
        self.assertEqual(run.server.requests(), [], "a request reached the server")

    def test_quiet_run_signs_in_with_kept_credentials_and_logs_no_secret(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        proxy = self.ntlm_proxy(schemes=("Basic",))
        self.assertTrue(run.tool.cred_write(BASIC_TARGET, USER, PASSWORD))
        log = run.root / "setup.log"
        run.start(f'/quiet /log "{e2e_test.wine_path(log)}"')
        self.assert_installed()
        self.assertEqual(run.windows, [], "a window showed")
        self.assert_signed_in(proxy)
        events = e2e_test.read_log(self, log)
        proxy_text = f"127.0.0.1:{NTLM_PORT}"
        e2e_test.assert_logged(
            self, events,
            f"^Proxy for http://{NAMED_HOST}:{PORT}/periodic/{ARCHIVE}: {proxy_text} ",
            f"^Received: HTTP/1.1 407 ",
            f"^Signing in to the proxy {proxy_text} with Basic and the credentials kept for it$",
            f"^Signed in to the proxy {proxy_text} with Basic and the credentials kept for it$",
            "^Exit code 0: ")
        text = "\n".join(events)
        basic = base64.b64encode(f"{USER}:{PASSWORD}".encode()).decode()
        for secret in (PASSWORD, basic, "s3cret", "Authorization"):
            self.assertNotIn(secret, text)

    def test_quiet_run_asks_nobody_for_the_proxys_credentials(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        self.ntlm_proxy(schemes=("Basic",))
        run.start("/quiet")
        self.assertEqual(run.wait(120), e2e_test.PROBE_FAILED, "the program did not end by itself")
        self.assertEqual(run.windows, [], "a window (the credential dialog?) showed")
        self.assertEqual(run.server.requests(), [], "a request reached the server")

    def test_proxy_closing_between_legs_gets_the_handshake_once_more(self):
        run = self.run_
        run.archive(ARCHIVE, exit_code=0)
        run.server.start()
        # The first connection ends after the signed-in user's first leg, the second after the
        # kept credentials' first leg: the handshake starts again on the third.
        proxy = self.ntlm_proxy(schemes=("NTLM",), close_between_legs=2)
        self.assertTrue(run.tool.cred_write(CREDENTIAL_TARGET, USER, PASSWORD))
        run.start()
        self.assert_installed()
        self.assert_signed_in(proxy)

    def test_proxy_always_closing_between_legs_is_named(self):
        run = self.run_
        run.archive(ARCHIVE)
        run.server.start()
        self.ntlm_proxy(schemes=("NTLM",), close_between_legs=-1)
        self.assertTrue(run.tool.cred_write(CREDENTIAL_TARGET, USER, PASSWORD))
        run.start()
        self.assert_probe_failure(
            f"The proxy server 127.0.0.1:{NTLM_PORT} closed the connection in the middle of the "
            "NTLM sign-in, also when it was started again: HTTP/1.1 407 Proxy Authentication "
            "Required.")


if __name__ == "__main__":
    unittest.main()
