"""The release script checked as a vendor runs it, with a throwaway code-signing authority.

openssl makes the authority, a code-signing certificate, a time-stamp certificate and a TLS
server certificate; a time-stamp server of our own answers RFC 3161 requests on loopback. The
script is then run once for the local distribution server: it builds the product twice and
compares, signs, verifies and ships into a folder of this check. The shipped program must verify
against that authority only, fail to verify after any one changed byte, be the build plus its
signature, and still run the whole road under Wine, its archive signed. The refusals (no
certificate, a wrong password, a certificate not for code signing, uncommitted changes, a bad
scheme or host, an http build without archive keys) are checked without building.

Configured by the environment (set by scripts/release-check.sh): PLENWICK_RELEASE_WORK (a folder
of its own), PLENWICK_LOCAL_PORT, PLENWICK_RELEASE_ARCHIVE_KEYS (the public keys the release is
built with) and PLENWICK_E2E_ARCHIVE_KEY (the private key its runs sign archives with),
PLENWICK_E2E_INSTALLER, PLENWICK_E2E_WINTOOL, PLENWICK_E2E_PREFIX and, optionally,
PLENWICK_RELEASE_LOCAL_EXE (the local program of the test build, which must be the same bytes as
the release built for the same server and keys) and PLENWICK_RELEASE_SECOND_BUILD (that program
again, given to the release script in place of its second build).
"""

import hashlib
import http.server
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
RELEASE = ROOT / "scripts" / "release.sh"
EXE_NAME = "Plenwick-setup_x64-stable.exe"
WORK = Path(os.environ.get("PLENWICK_RELEASE_WORK", ROOT / "build" / "release-check"))
PORT = int(os.environ.get("PLENWICK_LOCAL_PORT", "47631"))
# The signing certificate's password: spaces, quotes, "$" and "\\" that a shell could mangle
# on its way to the signing tools, and distinctive enough to be found wherever it leaked.
PASSWORD = 's3cret pass "q" \'$HOME\' \\ end'
ARCHIVE_KEYS = os.environ.get("PLENWICK_RELEASE_ARCHIVE_KEYS", "")


def run(args, env=None, cwd=None, timeout=1800):
    return subprocess.run([str(a) for a in args], env=env, cwd=cwd, capture_output=True,
                          text=True, timeout=timeout)


def openssl(*args):
    done = run(["openssl", *args])
    if done.returncode != 0:
        raise RuntimeError(f"openssl {' '.join(map(str, args))}: {done.stderr}")


class Authority:
    """A throwaway CA in a folder, and certificates it issues."""

    def __init__(self, folder):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.cert = self.folder / "ca.pem"
        self.key = self.folder / "ca.key"
        self.serial = 1
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
                "-out", self.cert, "-days", "2", "-subj", "/CN=Plenwick Throwaway Signing CA",
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def issue(self, name, extended_usage):
        """Returns (certificate, key) for O=Plenwick Software, CN=<name>."""
        key, csr = self.folder / f"{name}.key", self.folder / f"{name}.csr"
        cert, ext = self.folder / f"{name}.pem", self.folder / f"{name}.ext"
        ext.write_text("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                       f"extendedKeyUsage={extended_usage}\n")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
                "-subj", f"/O=Plenwick Software/CN={name}")
        self.serial += 1
        openssl("x509", "-req", "-in", csr, "-CA", self.cert, "-CAkey", self.key,
                "-set_serial", str(self.serial), "-days", "2", "-out", cert, "-extfile", ext)
        return cert, key

    def pkcs12(self, name, extended_usage, password):
        cert, key = self.issue(name, extended_usage)
        path = self.folder / f"{name}.p12"
        openssl("pkcs12", "-export", "-out", path, "-inkey", key, "-in", cert,
                "-certfile", self.cert, "-passout", f"pass:{password}")
        return path


class TimeStampServer:
    """An RFC 3161 time-stamp server on loopback, answering through `openssl ts -reply`."""

    def __init__(self, folder, cert, key, chain):
        folder = Path(folder)
        config = folder / "tsa.cnf"
        config.write_text(
            "[tsa]\ndefault_tsa = plenwick\n[plenwick]\n"
            f"serial = {folder / 'tsa.serial'}\ncrypto_device = builtin\n"
            "signer_digest = sha256\ndefault_policy = 1.3.6.1.4.1.55555.1\n"
            "digests = sha1, sha256, sha384, sha512\naccuracy = secs:1\nordering = no\n"
            "tsa_name = yes\ness_cert_id_chain = no\ness_cert_id_alg = sha256\n")
        command = ["openssl", "ts", "-reply", "-config", str(config), "-signer", str(cert),
                   "-inkey", str(key), "-chain", str(chain)]

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                with tempfile.TemporaryDirectory() as scratch:
                    request, reply = Path(scratch) / "q.tsq", Path(scratch) / "r.tsr"
                    request.write_bytes(query)
                    done = subprocess.run(command + ["-queryfile", str(request),
                                                     "-out", str(reply)],
                                          capture_output=True)
                    body = reply.read_bytes() if done.returncode == 0 else b""
                self.send_response(200 if body else 500)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class BuildEnvironments:
    """Records the environment of every build process of a release: `cmake` on the PATH (the
    configure and build steps, and so make and everything it starts) and the compiler and linker
    launchers CMake takes from the environment (the processes at the bottom of that tree). Each
    record is the command line, then the environment, NUL-separated."""

    def __init__(self, folder):
        self.folder = Path(folder)
        self.records = self.folder / "records"
        self.bin = self.folder / "bin"
        for path in (self.records, self.bin):
            path.mkdir(parents=True, exist_ok=True)
        self.recorder = self.folder / "record-and-run"
        self.recorder.write_text(
            "#!/bin/sh\n"
            f'record=$(mktemp "{self.records}/env.XXXXXX") || exit 1\n'
            '{ printf \'%s\\n\' "$*" && env -0; } >"$record" || exit 1\n'
            'exec "$@"\n')
        real_cmake = shutil.which("cmake")
        if not real_cmake:
            raise RuntimeError("cmake is not on the PATH")
        (self.bin / "cmake").write_text(f'#!/bin/sh\nexec "{self.recorder}" "{real_cmake}" "$@"\n')
        for path in (self.recorder, self.bin / "cmake"):
            path.chmod(0o755)

    def env(self):
        launcher = str(self.recorder)
        return dict(PATH=f"{self.bin}{os.pathsep}{os.environ['PATH']}",
                    CMAKE_C_COMPILER_LAUNCHER=launcher, CMAKE_CXX_COMPILER_LAUNCHER=launcher,
                    CMAKE_C_LINKER_LAUNCHER=launcher, CMAKE_CXX_LINKER_LAUNCHER=launcher)

    def seen(self):
        """[(command line, {name: value})] of every process recorded."""
        found = []
        for record in sorted(self.records.iterdir()):
            command, _, environment = record.read_bytes().partition(b"\n")
            variables = dict(entry.split(b"=", 1) for entry in environment.split(b"\0")
                             if b"=" in entry)
            found.append((command.decode(errors="replace"),
                          {k.decode(errors="replace"): v.decode(errors="replace")
                           for k, v in variables.items()}))
        return found


def release_env(**values):
    """The environment for release.sh: ours without any signing variable, then values."""
    env = {k: v for k, v in os.environ.items() if not k.startswith(("PLENWICK_SIGN_",
                                                                    "PLENWICK_TIMESTAMP_"))}
    env["PLENWICK_RELEASE_ALLOW_DIRTY"] = "1"  # the check runs on any work tree
    env.update({k: str(v) for k, v in values.items() if v is not None})
    for k, v in values.items():
        if v is None:
            env.pop(k, None)
    return env


def sections(data):
    """{name: (file offset, size)} of a PE file's sections."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    found = {}
    for i in range(count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode()
        size, offset = struct.unpack_from("<II", data, entry + 16)
        found[name] = (offset, size)
    return found


def verify(path, *options):
    return run(["osslsigncode", "verify", "-in", path, *options])


class Fixture:
    """The authority and the certificates every test shares, made once."""
    folder = None
    authority = None
    signer = None
    tls = None
    tsa = None

    @classmethod
    def make(cls):
        if cls.folder:
            return
        if WORK.exists():
            shutil.rmtree(WORK)  # nothing of an earlier check may pass for this one's
        cls.folder = WORK / "pki"
        cls.authority = Authority(cls.folder)
        cls.signer = cls.authority.pkcs12("Plenwick Software", "codeSigning", PASSWORD)
        cls.tls = cls.authority.pkcs12("www.plenwick.test", "serverAuth", PASSWORD)
        cls.tsa = cls.authority.issue("Plenwick Time Stamps", "critical,timeStamping")


class Refusals(unittest.TestCase):
    """What the script refuses, before it builds anything; nothing lands in the output."""

    @classmethod
    def setUpClass(cls):
        Fixture.make()

    def refused(self, env, args=("--archive-keys", ARCHIVE_KEYS), cwd=ROOT, script=RELEASE):
        out = WORK / "refused-dist"
        if out.exists():
            shutil.rmtree(out)
        done = run(["bash", script, *args, "--out", out], env=env, cwd=cwd, timeout=600)
        self.assertNotEqual(done.returncode, 0, done.stdout)
        self.assertIn("nothing was shipped", done.stderr)
        self.assertFalse(out.exists(), "something was written into the output folder")
        return done.stderr

    def test_refusals(self):
        good = dict(PLENWICK_SIGN_PKCS12=Fixture.signer, PLENWICK_SIGN_PASSWORD=PASSWORD)
        keys = ("--archive-keys", ARCHIVE_KEYS)
        not_keys = Fixture.folder / "ca.pem"
        cases = [
            ("no certificate", {}, keys, "no code-signing certificate"),
            ("certificate file missing",
             dict(good, PLENWICK_SIGN_PKCS12=Fixture.folder / "missing.p12"), keys,
             "cannot be read"),
            ("password not set", dict(good, PLENWICK_SIGN_PASSWORD=None), keys,
             "PLENWICK_SIGN_PASSWORD is not set"),
            ("wrong password", dict(good, PLENWICK_SIGN_PASSWORD="s3cret"), keys,
             "cannot open"),
            ("empty password for a protected file", dict(good, PLENWICK_SIGN_PASSWORD=""), keys,
             "cannot open"),
            ("a TLS server certificate", dict(good, PLENWICK_SIGN_PKCS12=Fixture.tls), keys,
             "not for code signing"),
            ("a scheme the program has no handler for", good, keys + ("--scheme", "ftp"),
             'the scheme is "ftp"'),
            ("a host with a scheme in it", good,
             keys + ("--host", "http://download.plenwick.com"),
             'PLENWICK_DIST_HOST is "http://download.plenwick.com"'),
            ("an http build without archive keys", good, ("--scheme", "http"),
             "an http build without archive keys would run whatever the network sends"),
            ("archive keys that cannot be read", good,
             ("--archive-keys", Fixture.folder / "missing.pem"), "cannot be read"),
            ("archive keys that are no public keys", good, ("--archive-keys", not_keys),
             "holds no PEM public key"),
        ]
        for name, env, args, message in cases:
            with self.subTest(name):
                self.assertIn(message, self.refused(release_env(**env), args))

    def test_an_https_build_without_archive_keys_is_only_warned_about(self):
        # Past the keys to the build, which the host in this case stops at once.
        env = release_env(PLENWICK_SIGN_PKCS12=Fixture.signer, PLENWICK_SIGN_PASSWORD=PASSWORD)
        out = WORK / "refused-dist"
        done = run(["bash", RELEASE, "--scheme", "https", "--host", "bad host", "--out", out],
                   env=env, timeout=600)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("WARNING: no archive keys", done.stdout)
        self.assertIn('PLENWICK_DIST_HOST is "bad host"', done.stderr)
        self.assertFalse(out.exists())

    def test_uncommitted_changes_are_refused(self):
        # In a clone, with the script as it is in this work tree and one file not committed.
        clone = WORK / "clone"
        if clone.exists():
            shutil.rmtree(clone)
        done = run(["git", "clone", "-q", "--no-hardlinks", ROOT, clone])
        self.assertEqual(done.returncode, 0, done.stderr)
        for name in ("release.sh", "lib.sh"):
            shutil.copy(ROOT / "scripts" / name, clone / "scripts" / name)
        run(["git", "-C", clone, "add", "scripts"])
        run(["git", "-C", clone, "-c", "user.name=check", "-c", "user.email=check@localhost",
             "commit", "-q", "-m", "the scripts under check", "--allow-empty"])
        (clone / "local-notes.txt").write_text("not committed\n")
        env = release_env(PLENWICK_SIGN_PKCS12=Fixture.signer,
                          PLENWICK_SIGN_PASSWORD=PASSWORD,
                          PLENWICK_RELEASE_ALLOW_DIRTY=None)
        message = self.refused(env, cwd=clone, script=clone / "scripts" / "release.sh")
        self.assertIn("uncommitted changes", message)
        self.assertIn("local-notes.txt", message)


class SignedRelease(unittest.TestCase):
    """One release, built for the local distribution server and time-stamped by ours."""

    @classmethod
    def setUpClass(cls):
        Fixture.make()
        cls.dist = WORK / "dist"
        if cls.dist.exists():
            shutil.rmtree(cls.dist)
        tsa_cert, tsa_key = Fixture.tsa
        cls.tsa = TimeStampServer(Fixture.folder, tsa_cert, tsa_key, Fixture.authority.cert)
        cls.builds = BuildEnvironments(WORK / "build-environments")
        try:
            env = release_env(PLENWICK_SIGN_PKCS12=Fixture.signer,
                              PLENWICK_SIGN_PASSWORD=PASSWORD,
                              PLENWICK_TIMESTAMP_URL=cls.tsa.url,
                              PLENWICK_SIGN_CAFILE=Fixture.authority.cert,
                              PLENWICK_TIMESTAMP_CAFILE=Fixture.authority.cert,
                              **cls.builds.env())
            cls.done = run(["bash", RELEASE, "--host", f"127.0.0.1:{PORT}", "--scheme", "http",
                            "--archive-keys", ARCHIVE_KEYS, "--out", cls.dist], env=env)
        finally:
            cls.tsa.stop()
        (WORK / "release.log").write_text(cls.done.stdout + cls.done.stderr)
        if cls.done.returncode != 0:
            raise AssertionError("release.sh failed:\n" + cls.done.stdout[-3000:] +
                                 cls.done.stderr[-3000:])
        cls.exe = cls.dist / EXE_NAME
        print("\n" + "".join(line + "\n" for line in cls.done.stdout.splitlines()
                             if line.startswith("== ")), file=sys.stderr)

    def verified(self, path):
        return verify(path, "-CAfile", Fixture.authority.cert,
                      "-TSA-CAfile", Fixture.authority.cert)

    def buildinfo(self):
        text = (self.dist / EXE_NAME.replace(".exe", ".buildinfo")).read_text()
        return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)

    def test_ships_the_program_its_sum_and_how_it_was_built(self):
        self.assertEqual(sorted(p.name for p in self.dist.iterdir()),
                         sorted([EXE_NAME, EXE_NAME + ".sha256",
                                 EXE_NAME.replace(".exe", ".buildinfo")]))
        info = self.buildinfo()
        head = run(["git", "-C", ROOT, "log", "-1", "--format=%H %ct"]).stdout.split()
        self.assertEqual([info["commit"], info["source-date-epoch"]], head)
        self.assertEqual(info["distribution"], f"http://127.0.0.1:{PORT}/")
        self.assertEqual(info["archive-keys-sha256"],
                         hashlib.sha256(Path(ARCHIVE_KEYS).read_bytes()).hexdigest())
        digest = hashlib.sha256(self.exe.read_bytes()).hexdigest()
        self.assertEqual((self.dist / (EXE_NAME + ".sha256")).read_text(),
                         f"{digest}  {EXE_NAME}\n")
        self.assertTrue(os.access(self.exe, os.X_OK))

    def test_signature_verifies_against_the_authority_and_nothing_else(self):
        done = self.verified(self.exe)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("Signature verification: ok", done.stdout)
        self.assertRegex(done.stdout, r"Message digest algorithm\s*: SHA256")
        self.assertIn("Subject: /O=Plenwick Software/CN=Plenwick Software", done.stdout)
        self.assertIn("Timestamp Server Signature verification: ok", done.stdout)
        # The system's authorities know nothing of the throwaway one.
        self.assertNotEqual(verify(self.exe).returncode, 0)

    def test_no_build_process_sees_the_password(self):
        seen = self.builds.seen()
        commands = [command for command, _ in seen]
        # The records are the builds': CMake's steps and the cross compiler's runs, both builds
        # (one when the test run's build stands in for the second).
        self.assertTrue(any(c.split()[1:2] == ["--preset"] for c in commands), commands[:5])
        compiles = [c for c in commands if "mingw32-g" in c.split()[0]]
        self.assertTrue(any("/one/" in c for c in compiles), commands[:5])
        if not os.environ.get("PLENWICK_RELEASE_SECOND_BUILD"):
            self.assertTrue(any("/second-build-elsewhere/" in c for c in compiles), commands[:5])
        for command, variables in seen:
            with self.subTest(command[:120]):
                self.assertNotIn("PLENWICK_SIGN_PASSWORD", variables)
                leaked = [name for name, value in variables.items() if PASSWORD in value]
                self.assertEqual(leaked, [], "the password is in the environment")

    def test_one_changed_byte_breaks_the_signature(self):
        data = self.exe.read_bytes()
        text_offset, text_size = sections(data)[".text"]
        places = {
            "code": text_offset + text_size // 2,
            "version resource": data.index("Plenwick Software".encode("utf-16-le")),
            "manifest": data.index(b"asInvoker"),
            "DOS stub": data.index(b"This program cannot be run"),
        }
        for name, offset in places.items():
            with self.subTest(name):
                changed = bytearray(data)
                changed[offset] ^= 0x01
                path = WORK / "changed.exe"
                path.write_bytes(changed)
                done = self.verified(path)
                self.assertNotEqual(done.returncode, 0, f"a change in the {name} verified")
                self.assertIn("MISMATCH", done.stdout)

    def test_signed_program_is_the_reproducible_build_plus_a_signature(self):
        stripped = WORK / "stripped.exe"
        done = run(["osslsigncode", "remove-signature", "-in", self.exe, "-out", stripped])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(hashlib.sha256(stripped.read_bytes()).hexdigest(),
                         self.buildinfo()["unsigned-sha256"])
        self.assertEqual(stripped.stat().st_size, int(self.buildinfo()["unsigned-size"]))
        # A third build of the same program: the test build's, in the repository's folder,
        # configured with the tests and made at another time, with the same archive keys.
        local = os.environ.get("PLENWICK_RELEASE_LOCAL_EXE")
        if local:
            self.assertEqual(stripped.read_bytes(), Path(local).read_bytes(),
                             f"the release differs from the test build's {local}")

    def test_signed_program_runs_under_wine(self):
        # The throwaway signing authority is not trusted here, so the program cannot verify its
        # own signature and, rightly, starts no installer: its whole sequence to the installer
        # needs the authority trusted on the host and an installer of the same publisher (the
        # publisher runs of e2e_test.py show that with the local program).
        env = dict(os.environ, PLENWICK_E2E_EXE=str(self.exe), PLENWICK_E2E_PORT=str(PORT),
                   PLENWICK_E2E_WORK=str(WORK / "e2e"))
        done = run([sys.executable, ROOT / "tests" / "e2e" / "e2e_test.py",
                    "EndToEnd.test_version_resource"], env=env, timeout=600)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)


if __name__ == "__main__":
    unittest.main()
