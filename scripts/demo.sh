#!/usr/bin/env bash
# The main job: the Windows downloader, built for a local distribution server (nginx on
# loopback), fetches its setup archive under Wine, unpacks it, runs the installer elevated and
# cleans up. Prints what happened and the path of a screenshot taken during the download.
# The secure program is shown: HTTPS, with the server's certificate (for "localhost", from a test
# authority the demo makes) checked by Windows' own TLS; the authority is trusted through the
# host's store only while the demo runs. The archive is signed with a key made for this run, and
# the program is built with that key: it fetches the signature beside the archive and checks the
# archive against it (Windows' CNG) before it extracts a byte.
# PORT sets the local server's port (47631 by default; HTTPS on the next one).
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
# Only what the demo runs (the secure program, the test installer, the window tool), without the
# tests and so without GoogleTest for MinGW; in a folder of its own, so that the demo's key and
# options never reach the test command's build.
build=build/demo-windows
port=${PORT:-47631}
mkdir -p build
if ! { cmake --preset windows -B "$build" -DPLENWICK_BUILD_TESTS=OFF -DPLENWICK_LOCAL_PORT="$port" \
         -DPLENWICK_LOCAL_ARCHIVE_KEY="$key_dir/archive-key.pem" &&
       cmake --build "$build" -j "$JOBS" --target plenwick_setup_local_secure test_installer wintool
     } >build/demo-build.log 2>&1; then
  tail -n 60 build/demo-build.log
  echo "build failed; full log: build/demo-build.log" >&2
  exit 1
fi
tls_port=$(sed -n 's/^PLENWICK_LOCAL_TLS_PORT:INTERNAL=//p' "$build/CMakeCache.txt")
python3 tools/demo.py --tls \
  --exe "$build/local-secure/Plenwick-setup_x64-stable.exe" \
  --installer "$build/tools/installer/Install.exe" \
  --wintool "$build/tools/wintool/wintool.exe" \
  --work build/demo --prefix "$ROOT/$build/wineprefix" --port "${tls_port:-$((port + 1))}" \
  --archive-key "$key_dir/archive-key.pem"
