"""A throwaway certificate authority for the TLS tests, the end-to-end runs and the demo.

Everything is made with the openssl command at run time in a folder of the caller's: the
authority's key and certificate, and server certificates it issues (for given names, with given
validity). Nothing here is kept in the repository.

Trusting the authority:
  - natively, OpenSSL reads it from the file that SSL_CERT_FILE names (`native_environment`);
    the system is not touched;
  - under Wine, the certificate chain engine trusts what the host's store holds, so
    `trusted_on_host` adds the authority under /usr/local/share/ca-certificates (a file name of
    its own, unique per run), runs update-ca-certificates, and removes exactly that file again
    when the block ends, whether it ends well or not.
"""

import contextlib
import datetime
import fcntl
import os
import shutil
import subprocess
import uuid
from pathlib import Path

HOST_STORE = Path("/usr/local/share/ca-certificates")
# Runs of other worktrees share the host's store: one update at a time.
HOST_STORE_LOCK = Path("/tmp/plenwick-ca-certificates.lock")


def _openssl(*args, cwd=None):
    subprocess.run(["openssl", *map(str, args)], check=True, cwd=cwd,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def _stamp(when):
    return when.strftime("%Y%m%d%H%M%SZ")


class TestAuthority:
    """A certificate authority of its own in `folder`, with a distinguishing `name`."""

    def __init__(self, folder, name="Plenwick Test Authority"):
        self.folder = Path(folder)
        # Unique per authority: runs side by side trust theirs in the same host store, and a
        # certificate without a key identifier is matched to its issuer by name, so two
        # authorities of one name would stand in for each other.
        self.name = f"{name} {uuid.uuid4().hex[:8]}"
        if self.folder.exists():
            shutil.rmtree(self.folder)
        (self.folder / "issued").mkdir(parents=True)
        self.key = self.folder / "ca.key"
        self.cert = self.folder / "ca.pem"
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3",
                 "-keyout", self.key, "-out", self.cert,
                 "-subj", f"/O=Plenwick tests/CN={self.name}",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        (self.folder / "index.txt").write_text("")
        (self.folder / "serial").write_text(f"{uuid.uuid4().int >> 64:016X}\n")
        (self.folder / "ca.cnf").write_text(
            "[ca]\ndefault_ca = test\n"
            "[test]\n"
            f"dir = {self.folder}\n"
            "database = $dir/index.txt\nnew_certs_dir = $dir/issued\nserial = $dir/serial\n"
            "default_md = sha256\npolicy = anything\nunique_subject = no\n"
            "copy_extensions = none\n"
            "[anything]\ncommonName = supplied\n")

    def issue(self, stem, names, valid_from=None, valid_until=None):
        """A server certificate for the DNS `names` (the first is also its common name), valid
        from `valid_from` to `valid_until` (UTC date-times; by default a day either side of
        now). Returns (certificate file, key file)."""
        now = datetime.datetime.now(datetime.timezone.utc)
        valid_from = valid_from or now - datetime.timedelta(days=1)
        valid_until = valid_until or now + datetime.timedelta(days=1)
        key = self.folder / f"{stem}.key"
        csr = self.folder / f"{stem}.csr"
        cert = self.folder / f"{stem}.pem"
        ext = self.folder / f"{stem}.ext"
        ext.write_text(
            "basicConstraints = critical,CA:FALSE\n"
            "keyUsage = critical,digitalSignature,keyEncipherment\n"
            "extendedKeyUsage = serverAuth\n"
            "subjectAltName = " + ",".join(f"DNS:{n}" for n in names) + "\n")
        _openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
                 "-subj", f"/CN={names[0]}")
        _openssl("ca", "-batch", "-notext", "-config", self.folder / "ca.cnf",
                 "-cert", self.cert, "-keyfile", self.key, "-in", csr, "-out", cert,
                 "-startdate", _stamp(valid_from), "-enddate", _stamp(valid_until),
                 "-extfile", ext)
        return cert, key

    def issue_code_signing(self, stem, organisation, common_name, valid_days=(-1, 1)):
        """A code-signing certificate for the subject O=<organisation>/CN=<common_name>, valid
        from and until the given days from now (a day either side by default). Returns (certificate file, key file, chain file: the certificate
        and the authority's, as a signing tool takes them)."""
        key = self.folder / f"{stem}.key"
        csr = self.folder / f"{stem}.csr"
        cert = self.folder / f"{stem}.pem"
        ext = self.folder / f"{stem}.ext"
        ext.write_text("basicConstraints = critical,CA:FALSE\n"
                       "keyUsage = critical,digitalSignature\n"
                       "extendedKeyUsage = codeSigning\n")
        _openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
                 "-subj", f"/O={organisation}/CN={common_name}")
        now = datetime.datetime.now(datetime.timezone.utc)
        (self.folder / "ca.cnf").write_text((self.folder / "ca.cnf").read_text().replace(
            "[anything]\ncommonName = supplied\n",
            "[anything]\norganizationName = optional\ncommonName = supplied\n"))
        _openssl("ca", "-batch", "-notext", "-config", self.folder / "ca.cnf",
                 "-cert", self.cert, "-keyfile", self.key, "-in", csr, "-out", cert,
                 "-startdate", _stamp(now + datetime.timedelta(days=valid_days[0])),
                 "-enddate", _stamp(now + datetime.timedelta(days=valid_days[1])),
                 "-extfile", ext)
        chain = self.folder / f"{stem}-chain.pem"
        chain.write_text(cert.read_text() + self.cert.read_text())
        return cert, key, chain

    def native_environment(self):
        """What the native programs need to trust this authority: OpenSSL's trust file."""
        return {"SSL_CERT_FILE": str(self.cert)}

    @contextlib.contextmanager
    def trusted_on_host(self):
        """Trusts the authority in the host's store (what Wine's chain engine reads) for the
        block; removes it again however the block ends."""
        target = HOST_STORE / f"plenwick-test-{os.getpid()}-{uuid.uuid4().hex[:12]}.crt"
        HOST_STORE.mkdir(parents=True, exist_ok=True)

        def add():
            _remove_abandoned_authorities()
            shutil.copyfile(self.cert, target)

        try:
            _change_host_store(add)
            yield target
        finally:
            _change_host_store(lambda: target.unlink(missing_ok=True))


def _remove_abandoned_authorities():
    """A run killed inside its block could not remove its authority; one whose process is gone
    is no longer wanted by anyone, and the host must not keep trusting it."""
    for stale in HOST_STORE.glob("plenwick-test-*-*.crt"):
        pid = stale.name.split("-")[2]
        if pid.isdigit() and not os.path.exists(f"/proc/{pid}"):
            stale.unlink(missing_ok=True)


def _change_host_store(change):
    """Changes the store's files and brings the system's bundle up to date, all under one lock:
    update-ca-certificates fails on a file another run is still writing or has just removed."""
    with open(HOST_STORE_LOCK, "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        change()
        subprocess.run(["update-ca-certificates"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
