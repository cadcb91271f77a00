#!/usr/bin/env bash
# Runs every test: native unit and integration tests, then the Windows tests under Wine.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${CHECK_PACKAGES[@]}"

log "native build and tests"
configure_and_build native
ctest --test-dir build/native -j "$JOBS" --output-on-failure --timeout 600

log "Windows build and tests under Wine"
ensure_display
configure_and_build windows -DPLENWICK_BUILD_TESTS=ON
ctest --test-dir build/windows -j "$JOBS" --output-on-failure --timeout 900

log "all tests passed"
