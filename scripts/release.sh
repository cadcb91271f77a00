#!/usr/bin/env bash
# Makes a release of the Windows downloader that a vendor can ship:
#
#   scripts/release.sh [--host HOST[:PORT]] [--scheme http|https] [--archive-keys FILE]
#                      [--out DIR]
#
# --archive-keys FILE: the vendor's PEM P-256 public keys (one or more, for rotation) built into
# the program, which then runs only archives signed by one of them (scripts/sign-archive.sh). An
# "http" build needs them; an "https" build without them ships with a warning.
#
# 1. builds the product twice from the commit, each time from a fresh copy of the sources in
#    a folder of its own, one after the other, and stops unless both are the same bytes;
# 2. signs it with Authenticode (SHA-256, and an RFC 3161 time stamp when a time-stamp server
#    is named);
# 3. verifies the signature, and that the signed file is the build plus its signature;
# 4. writes the signed program, its SHA-256 sum and a .buildinfo (commit, toolchain, the
#    unsigned program's sum: how to rebuild and compare it) into DIR (default dist/).
#
# Nothing is written into DIR unless every step passed.
#
#   PLENWICK_SIGN_PKCS12       PKCS#12 file with the code-signing certificate, its chain and key
#   PLENWICK_SIGN_PASSWORD     its password (set it empty for a file without one); taken out of
#                              the environment at once, it reaches only the signing tools
#   PLENWICK_TIMESTAMP_URL     RFC 3161 time-stamp server (optional)
#   PLENWICK_SIGN_CAFILE       CA certificates the signature is verified against
#                              (default: osslsigncode's, the system's certificate bundle)
#   PLENWICK_TIMESTAMP_CAFILE  CA certificates of the time-stamp server (default: the same)
#   PLENWICK_RELEASE_ALLOW_DIRTY=1  build uncommitted changes too (for checks, never a release)
#   PLENWICK_RELEASE_SECOND_BUILD   a program built elsewhere from the same sources and settings,
#                              compared in place of the second build (the test run's check)
set -euo pipefail
# The signing password leaves the environment before any other program starts: compilers, CMake
# and whatever they run would inherit it from there and could read it. It stays in this shell
# and reaches openssl and osslsigncode only through pipes.
password_given=${PLENWICK_SIGN_PASSWORD+set}
sign_password=${PLENWICK_SIGN_PASSWORD-}
export -n sign_password
unset PLENWICK_SIGN_PASSWORD
source "$(dirname "$0")/lib.sh"

host=
scheme=http
archive_keys=
out="$ROOT/dist"
usage() {
  echo "usage: $0 [--host HOST[:PORT]] [--scheme http|https] [--archive-keys FILE] [--out DIR]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --host) [ $# -ge 2 ] || usage; host=$2; shift 2 ;;
    --scheme) [ $# -ge 2 ] || usage; scheme=$2; shift 2 ;;
    --archive-keys) [ $# -ge 2 ] || usage; archive_keys=$2; shift 2 ;;
    --out) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
    *) usage ;;
  esac
done
fail() {
  echo "release: $*" >&2
  echo "release: nothing was shipped" >&2
  exit 1
}
case "$scheme" in
  http | https) ;;
  *) fail "the scheme is \"$scheme\"; use http or https" ;;
esac

# What the program runs elevated must be the vendor's: over plain HTTP only the archive's
# signature can tell.
if [ -z "$archive_keys" ]; then
  [ "$scheme" = https ] ||
    fail "an http build without archive keys would run whatever the network sends;" \
      "give the vendor's public keys with --archive-keys FILE"
  log "WARNING: no archive keys: the program will trust whatever the distribution server sends"
else
  [ -f "$archive_keys" ] && [ -r "$archive_keys" ] ||
    fail "the archive keys $archive_keys (--archive-keys) cannot be read"
  grep -q -- "-----BEGIN PUBLIC KEY-----" "$archive_keys" ||
    fail "$archive_keys holds no PEM public key (openssl pkey -in KEY -pubout)"
  archive_keys=$(realpath -m -- "$archive_keys")
fi

# No certificate, no release: an unsigned program is never shipped by accident.
[ -n "${PLENWICK_SIGN_PKCS12:-}" ] ||
  fail "no code-signing certificate: set PLENWICK_SIGN_PKCS12 to a PKCS#12 file with the" \
    "certificate and its key, and PLENWICK_SIGN_PASSWORD to its password"
[ -f "$PLENWICK_SIGN_PKCS12" ] && [ -r "$PLENWICK_SIGN_PKCS12" ] ||
  fail "the code-signing certificate $PLENWICK_SIGN_PKCS12 (PLENWICK_SIGN_PKCS12) cannot be read"
[ -n "$password_given" ] ||
  fail "PLENWICK_SIGN_PASSWORD is not set: give the password of $PLENWICK_SIGN_PKCS12" \
    "(empty for a file without one)"
# Paths given relative to where the script was started.
pkcs12=$(realpath -m -- "$PLENWICK_SIGN_PKCS12")
out=$(realpath -m -- "$out")
for var in PLENWICK_SIGN_CAFILE PLENWICK_TIMESTAMP_CAFILE; do
  [ -n "${!var:-}" ] && export "$var=$(realpath -m -- "${!var}")"
done
cd "$ROOT"

# Only what the Windows product's build needs, and the signing tools.
ensure_packages cmake make g++-mingw-w64-x86-64 libz-mingw-w64-dev binutils-mingw-w64-x86-64 \
  "${RELEASE_PACKAGES[@]}"

# The certificate is checked before anything is built, not after minutes of building.
password_line() { printf '%s\n' "$sign_password"; }  # one line, for openssl's fd:
p12() {  # [openssl pkcs12 options...]: reads the file, also in the legacy encryption
  openssl pkcs12 -in "$pkcs12" -passin fd:3 "$@" 2>/dev/null 3< <(password_line) ||
    openssl pkcs12 -legacy -in "$pkcs12" -passin fd:3 "$@" 2>/dev/null 3< <(password_line)
}
p12 -noout || fail "cannot open $pkcs12 with the password in PLENWICK_SIGN_PASSWORD"
p12 -nocerts -nodes | openssl pkey -noout 2>/dev/null ||
  fail "$pkcs12 holds no private key"
leaf=$(p12 -nokeys -clcerts | openssl x509 2>/dev/null) || fail "$pkcs12 holds no certificate"
openssl x509 -noout -ext extendedKeyUsage <<<"$leaf" 2>/dev/null | grep -q "Code Signing" ||
  fail "the certificate in $pkcs12 is not for code signing (no Code Signing key usage)"
openssl x509 -noout -checkend 0 <<<"$leaf" >/dev/null ||
  fail "the certificate in $pkcs12 has expired"
signer=$(openssl x509 -noout -subject -nameopt RFC2253 <<<"$leaf")
signer=${signer#subject=}

# The release is built from a commit, so anyone can build the same bytes from it.
git -C "$ROOT" rev-parse --git-dir >/dev/null 2>&1 ||
  fail "$ROOT is not a git checkout: a release is built from a commit"
commit=$(git -C "$ROOT" rev-parse HEAD)
changes=$(git -C "$ROOT" status --porcelain --untracked-files=normal)
if [ -n "$changes" ]; then
  [ "${PLENWICK_RELEASE_ALLOW_DIRTY:-}" = 1 ] ||
    fail "uncommitted changes; commit them or stash them first:"$'\n'"$changes"
  log "WARNING: building uncommitted changes: this is a check, not a release of $commit"
fi
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct)

work=$(mktemp -d "${TMPDIR:-/tmp}/plenwick-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
exe_name=Plenwick-setup_x64-stable.exe
cmake_args=(-DPLENWICK_BUILD_TESTS=OFF -DPLENWICK_DIST_SCHEME="$scheme")
[ -n "$host" ] && cmake_args+=(-DPLENWICK_DIST_HOST="$host")
[ -n "$archive_keys" ] && cmake_args+=(-DPLENWICK_ARCHIVE_KEYS="$archive_keys")

# Copies the sources as they are in the work tree (the commit, when nothing is uncommitted)
# into a folder and builds the product there; prints the path of the program.
logs="$ROOT/build/release"
mkdir -p "$logs"
build_copy() {  # <folder> <name for messages>
  local src=$1/plenwick
  local logfile=$logs/$2-build.log
  mkdir -p "$src"
  git -C "$ROOT" ls-files -z --cached --others --exclude-standard |
    (cd "$ROOT" && tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$src"
  if ! (cd "$src" && cmake --preset windows "${cmake_args[@]}" &&
        cmake --build build/windows -j "$JOBS" --target plenwick_setup) >"$logfile" 2>&1; then
    grep -E 'CMake Error|error:' -A 3 "$logfile" | head -n 40 >&2 || tail -n 40 "$logfile" >&2
    fail "the $2 build failed; its log: $logfile"
  fi
  echo "$src/build/windows/src/app/$exe_name"
}

log "release of $commit, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
log "first build"
first=$(TZ=UTC LC_ALL=C build_copy "$work/one" first)
host=$(sed -n 's/^PLENWICK_DIST_HOST:STRING=//p' "$work/one/plenwick/build/windows/CMakeCache.txt")
log "built for ${scheme}://$host/"
# The second build differs in everything that must not matter: folder (and its length), time,
# time zone and locale.
if [ -n "${PLENWICK_RELEASE_SECOND_BUILD:-}" ]; then
  # The test run has built the same program from the same sources already, in its own folder
  # and time zone: that build is compared instead of a second one here.
  [ -f "$PLENWICK_RELEASE_SECOND_BUILD" ] ||
    fail "PLENWICK_RELEASE_SECOND_BUILD names no file: $PLENWICK_RELEASE_SECOND_BUILD"
  log "second build: $PLENWICK_RELEASE_SECOND_BUILD, built elsewhere"
  second=$PLENWICK_RELEASE_SECOND_BUILD
else
  log "second build, in another folder"
  second=$(TZ=Pacific/Chatham LC_ALL=C.UTF-8 build_copy "$work/second-build-elsewhere" second)
fi
if ! cmp -s "$first" "$second"; then
  cmp -l "$first" "$second" | head -n 10 >&2 || true
  fail "the two builds differ ($(cmp -l "$first" "$second" | wc -l) bytes): not reproducible"
fi
unsigned_sum=$(sha256sum "$first" | cut -d' ' -f1)
log "reproducible: both builds are $(stat -c %s "$first") bytes, SHA-256 $unsigned_sum"

log "signing as $signer"
signed="$work/signed/$exe_name"
mkdir -p "$work/signed"
sign_args=(sign -pkcs12 "$pkcs12" -h sha256 -n "Plenwick Suite Setup")
[ -n "${PLENWICK_TIMESTAMP_URL:-}" ] && sign_args+=(-ts "$PLENWICK_TIMESTAMP_URL")
# The password goes through a pipe, not the command line, where every user could read it, nor
# the environment. (osslsigncode cannot read an empty one from a file.)
if [ -n "$sign_password" ]; then
  osslsigncode "${sign_args[@]}" -readpass <(printf '%s' "$sign_password") \
    -in "$first" -out "$signed" >"$logs/sign.log" 2>&1 || {
    cat "$logs/sign.log" >&2
    fail "signing failed"
  }
else
  osslsigncode "${sign_args[@]}" -pass "" -in "$first" -out "$signed" >"$logs/sign.log" 2>&1 ||
    {
      cat "$logs/sign.log" >&2
      fail "signing failed"
    }
fi

log "verifying"
verify_args=(verify -in "$signed")
[ -n "${PLENWICK_SIGN_CAFILE:-}" ] && verify_args+=(-CAfile "$PLENWICK_SIGN_CAFILE")
[ -n "${PLENWICK_TIMESTAMP_CAFILE:-}" ] && verify_args+=(-TSA-CAfile "$PLENWICK_TIMESTAMP_CAFILE")
if ! osslsigncode "${verify_args[@]}" >"$logs/verify.log" 2>&1; then
  cat "$logs/verify.log" >&2
  fail "the signature does not verify"
fi
grep -q '^Message digest algorithm *: SHA256' "$logs/verify.log" ||
  fail "the signature's digest is not SHA-256"
if [ -n "${PLENWICK_TIMESTAMP_URL:-}" ]; then
  grep -q 'Timestamp Server Signature verification: ok' "$logs/verify.log" ||
    fail "the signature carries no verified time stamp"
fi
# What is shipped is exactly the reproducible build plus a signature.
osslsigncode remove-signature -in "$signed" -out "$work/stripped.exe" >/dev/null 2>&1 &&
  cmp -s "$work/stripped.exe" "$first" ||
  fail "the signed program without its signature is not the build"

chmod 0755 "$signed"
(cd "$work/signed" && sha256sum "$exe_name" >"$exe_name.sha256")
# What anyone needs to build the same bytes and compare them with the signed program.
{
  echo "commit: $commit"
  [ -z "$changes" ] || echo "uncommitted-changes: yes, not to be shipped"
  echo "source-date-epoch: $SOURCE_DATE_EPOCH"
  echo "distribution: ${scheme}://$host/"
  if [ -n "$archive_keys" ]; then
    echo "archive-keys-sha256: $(sha256sum "$archive_keys" | cut -d' ' -f1)"
  else
    echo "archive-keys: none"
  fi
  echo "unsigned-size: $(stat -c %s "$first")"
  echo "unsigned-sha256: $unsigned_sum"
  echo "configure: cmake --preset windows ${cmake_args[*]}"
  echo "build: cmake --build build/windows --target plenwick_setup"
  echo "toolchain:"
  dpkg-query -W -f='  ${Package} ${Version}\n' cmake gcc-mingw-w64-x86-64-posix \
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev \
    libz-mingw-w64-dev 2>/dev/null || true
} >"$work/signed/${exe_name%.exe}.buildinfo"
mkdir -p "$out"
mv -f "$work/signed/${exe_name%.exe}.buildinfo" "$work/signed/$exe_name.sha256" \
  "$work/signed/$exe_name" "$out/"
log "shipped $out/$exe_name: $(stat -c %s "$out/$exe_name") bytes, SHA-256 $(cut -d' ' -f1 "$out/$exe_name.sha256")"
log "unsigned build (what anyone rebuilds from $commit): SHA-256 $unsigned_sum"
