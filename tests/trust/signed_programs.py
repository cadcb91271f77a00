"""The Authenticode programs of the publisher tests, around one test program (Windows, Wine).

Usage: signed_programs.py --work DIR --probe PROGRAM.exe -- RUNNER... TEST.exe

Makes a code-signing authority (trusted through the host's store while the test runs, as Wine's
chain engine reads it) and another one nobody trusts, and signs copies of the probe program:

  own.exe          O=Plenwick Software, CN=Plenwick Software (the "running program")
  same.exe         the same publisher
  other.exe        O=Other Software, CN=Other Software, by the same authority
  other-name.exe   O=Plenwick Software, CN=Plenwick Updates, by the same authority
  changed.exe      same.exe with one byte changed after signing
  untrusted.exe    the same publisher's names, by the authority nobody trusts
  expired.exe      the same publisher's names, by the trusted authority, with a certificate
                   that expired before signing and no time stamp
  unsigned.exe     the probe as it is

The test program finds them in the folder PLENWICK_SIGNED_PROGRAMS names.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import codesign  # noqa: E402
import testca  # noqa: E402
from tls_test_server import runner_arguments  # noqa: E402

PUBLISHER = ("Plenwick Software", "Plenwick Software")


def make_programs(work, probe):
    """The signed programs in work/programs; returns (that folder, the trusted authority)."""
    programs = work / "programs"
    if programs.exists():
        shutil.rmtree(programs)
    programs.mkdir(parents=True)
    trusted = testca.TestAuthority(work / "trusted-ca", "Plenwick Code Signing Test Authority")
    nobody = testca.TestAuthority(work / "untrusted-ca", "Nobody's Code Signing Authority")
    _, key, chain = trusted.issue_code_signing("plenwick", *PUBLISHER)
    _, other_key, other_chain = trusted.issue_code_signing("other", "Other Software",
                                                           "Other Software")
    _, name_key, name_chain = trusted.issue_code_signing("updates", "Plenwick Software",
                                                         "Plenwick Updates")
    _, nobody_key, nobody_chain = nobody.issue_code_signing("plenwick", *PUBLISHER)
    _, expired_key, expired_chain = trusted.issue_code_signing("expired", *PUBLISHER,
                                                               valid_days=(-3, -1))
    codesign.sign(probe, programs / "own.exe", chain, key)
    codesign.sign(probe, programs / "same.exe", chain, key)
    codesign.sign(probe, programs / "other.exe", other_chain, other_key)
    codesign.sign(probe, programs / "other-name.exe", name_chain, name_key)
    codesign.changed_after_signing(programs / "same.exe", programs / "changed.exe")
    codesign.sign(probe, programs / "untrusted.exe", nobody_chain, nobody_key)
    codesign.sign(probe, programs / "expired.exe", expired_chain, expired_key)
    shutil.copy(probe, programs / "unsigned.exe")
    return programs, trusted


def main():
    import argparse
    pre = argparse.ArgumentParser(add_help=False)
    pre.add_argument("--probe", required=True)
    known, rest = pre.parse_known_args()
    sys.argv = [sys.argv[0]] + rest
    args, program = runner_arguments(__doc__)
    work = Path(args.work).resolve()
    programs, authority = make_programs(work, Path(known.probe))
    env = dict(os.environ,
               PLENWICK_SIGNED_PROGRAMS="Z:" + str(programs).replace("/", "\\"))
    with authority.trusted_on_host():
        return subprocess.run(program, env=env, check=False).returncode


if __name__ == "__main__":
    sys.exit(main())
