"""Authenticode signatures for the tests: programs signed with osslsigncode by certificates of a
test authority (tools/testca.py), as a vendor signs its releases, and broken on purpose."""

import subprocess
from pathlib import Path


def sign(program, signed, chain, key):
    """Writes `signed`: `program` with an Authenticode signature (SHA-256) by the key, its
    certificate chain given as one PEM file."""
    Path(signed).unlink(missing_ok=True)
    done = subprocess.run(["osslsigncode", "sign", "-certs", str(chain), "-key", str(key),
                           "-h", "sha256", "-n", "Plenwick Suite Setup",
                           "-in", str(program), "-out", str(signed)],
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"osslsigncode could not sign {program}: {done.stdout}{done.stderr}")


def changed_after_signing(signed, changed):
    """Writes `changed`: the signed program with one byte of its code changed, the signature
    left as it was."""
    data = bytearray(Path(signed).read_bytes())
    # A byte well inside the first section's data, past the headers.
    data[len(data) // 3] ^= 0x01
    Path(changed).write_bytes(bytes(data))
