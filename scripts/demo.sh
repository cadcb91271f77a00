#!/usr/bin/env bash
# The main job: builds the Windows downloader and runs it under Wine.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
log "building the Windows program"
configure_and_build windows -DPLENWICK_BUILD_TESTS=OFF
exe=$(find build/windows -maxdepth 3 -name 'Plenwick*.exe' | head -n 1)
if [ -z "$exe" ]; then
  echo "the Windows program is not built yet" >&2
  exit 1
fi
ensure_display
log "running $exe under Wine"
cmake/wine-run.sh "$ROOT/build/windows/wineprefix" "$exe"
