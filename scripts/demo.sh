#!/usr/bin/env bash
# The main job: the Windows downloader, built for a local distribution server (nginx on
# loopback), fetches its setup archive under Wine, unpacks it, runs the installer elevated and
# cleans up. Prints what happened and the path of a screenshot taken during the download.
# The secure program is shown: HTTPS, with the server's certificate (for "localhost", from a test
# authority the demo makes) checked by Windows' own TLS; the authority is trusted through the
# host's store only while the demo runs. The archive is signed with a key made for this run, and
# the program is built with that key: it fetches the signature beside the archive and checks the
# archive against it (Windows' CNG) before it extracts a byte.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
log "making an archive key for this run"
key_dir="$ROOT/build/demo-key"
rm -rf "$key_dir"
mkdir -p "$key_dir"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$key_dir/archive-key.pem" \
  2>/dev/null
log "building the Windows downloader for the local distribution server, with that key"
ensure_mingw_gtest
mkdir -p build
if ! { cmake --preset windows -DPLENWICK_LOCAL_ARCHIVE_KEY="$key_dir/archive-key.pem" &&
       cmake --build build/windows -j "$JOBS" --target plenwick_setup_local_secure test_installer \
         wintool
     } >build/demo-build.log 2>&1; then
  tail -n 60 build/demo-build.log
  echo "build failed; full log: build/demo-build.log" >&2
  exit 1
fi
port=$(sed -n 's/^PLENWICK_LOCAL_TLS_PORT:INTERNAL=//p' build/windows/CMakeCache.txt)
python3 tools/demo.py --tls \
  --exe build/windows/local-secure/Plenwick-setup_x64-stable.exe \
  --installer build/windows/tools/installer/Install.exe \
  --wintool build/windows/tools/wintool/wintool.exe \
  --work build/demo --prefix "$ROOT/build/windows/wineprefix-e2e" --port "${port:-47632}" \
  --archive-key "$key_dir/archive-key.pem"
