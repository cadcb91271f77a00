#!/usr/bin/env bash
# Checks the release as a vendor makes it (tests/release/release_test.py): a throwaway
# code-signing authority, one run of scripts/release.sh for the local distribution server with
# the local runs' archive key (two builds compared, signed, time-stamped, verified), the signature
# broken by any one changed byte, and the signed program run end to end under Wine. Takes the
# end-to-end tools and the test build's local program from build/windows, building what is
# missing there; that local program, the same program built in another folder, stands in for the
# release script's second build (one product build less in the test run).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}"
ensure_mingw_gtest

log "release check: the end-to-end tools"
mkdir -p build
if ! { { [ -f build/windows/CMakeCache.txt ] || cmake --preset windows -DPLENWICK_BUILD_TESTS=ON; } &&
       cmake --build build/windows -j "$JOBS" --target plenwick_setup_local test_installer wintool
     } >build/release-check-tools.log 2>&1; then
  tail -n 60 build/release-check-tools.log
  echo "build failed; full log: build/release-check-tools.log" >&2
  exit 1
fi
port=$(sed -n 's/^PLENWICK_LOCAL_PORT:STRING=//p' build/windows/CMakeCache.txt)
# The release is built with the local runs' archive key, so that it is the same program as the
# test build's local one and its runs can sign their archives.
archive_key=$(sed -n 's/^PLENWICK_LOCAL_ARCHIVE_KEY:FILEPATH=//p' build/windows/CMakeCache.txt)
archive_keys=$(sed -n 's/^PLENWICK_LOCAL_ARCHIVE_KEYS:INTERNAL=//p' build/windows/CMakeCache.txt)

log "release check: two builds, signing, verification, the signed program under Wine"
ensure_display
PLENWICK_RELEASE_WORK="$ROOT/build/release-check" \
PLENWICK_LOCAL_PORT="${port:-47631}" \
PLENWICK_RELEASE_ARCHIVE_KEYS="$archive_keys" \
PLENWICK_E2E_ARCHIVE_KEY="$archive_key" \
PLENWICK_RELEASE_LOCAL_EXE="$ROOT/build/windows/local/Plenwick-setup_x64-stable.exe" \
PLENWICK_RELEASE_SECOND_BUILD="$ROOT/build/windows/local/Plenwick-setup_x64-stable.exe" \
PLENWICK_E2E_INSTALLER="$ROOT/build/windows/tools/installer/Install.exe" \
PLENWICK_E2E_WINTOOL="$ROOT/build/windows/tools/wintool/wintool.exe" \
PLENWICK_E2E_PREFIX="$ROOT/build/windows/wineprefix-e2e" \
  python3 tests/release/release_test.py -v
