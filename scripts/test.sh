#!/usr/bin/env bash
# Runs every test: native unit and integration tests; the same suite under ASan + UBSan and the
# socket tests under valgrind; every fuzz target for a bounded time; then the Windows tests and
# the end-to-end runs under Wine against a local nginx; then the release, built twice, signed
# with a throwaway certificate and checked.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

# Minutes and seconds since the run began, at each part: where CI's time goes.
elapsed() { printf '%d min %02d s' $((SECONDS / 60)) $((SECONDS % 60)); }

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${CHECK_PACKAGES[@]}" \
  "${RELEASE_PACKAGES[@]}"

log "native build and tests (at $(elapsed))"
configure_and_build native
ctest --test-dir build/native -j "$JOBS" --output-on-failure --timeout 600

log "sanitizers (at $(elapsed))"
bash scripts/sanitize.sh
log "fuzzing (at $(elapsed))"
# Half a minute per fuzz target here, which keeps the whole run within CI's time; scripts/fuzz.sh
# on its own gives each a minute.
PLENWICK_FUZZ_SECONDS=${PLENWICK_FUZZ_SECONDS:-30} bash scripts/fuzz.sh

log "Windows build, tests and end-to-end runs under Wine (at $(elapsed))"
ensure_display
ensure_locales
configure_and_build windows -DPLENWICK_BUILD_TESTS=ON
ctest --test-dir build/windows -j "$JOBS" --output-on-failure --timeout 900

log "release check (at $(elapsed))"
bash scripts/release-check.sh

log "all tests passed in $(elapsed)"
