#!/usr/bin/env bash
# The main job: builds the Windows downloader and runs it under Wine, showing its window.
# With a display it runs there until the user closes it; without one it runs on a private X
# server inside a Wine desktop, saves a screenshot to build/demo/window.png and stops.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
log "building the Windows program"
# Only the program: the build folder and its settings stay those of scripts/test.sh.
mkdir -p build
if ! { cmake --preset windows && cmake --build build/windows -j "$JOBS" --target plenwick_setup; } \
    >build/demo-build.log 2>&1; then
  tail -n 60 build/demo-build.log
  echo "build failed; full log: build/demo-build.log" >&2
  exit 1
fi
exe=build/windows/src/app/Plenwick-setup_x64-stable.exe
if [ ! -f "$exe" ]; then
  echo "the Windows program was not built: $exe" >&2
  exit 1
fi
prefix="$ROOT/build/windows/wineprefix"

if [ -n "${DISPLAY:-}" ]; then
  log "running $exe under Wine"
  cmake/wine-run.sh "$prefix" "$exe"
  exit 0
fi

ensure_display
mkdir -p build/demo
log "running $exe under Wine on a private display"
cmake/wine-run.sh "$prefix" explorer /desktop=demo,800x600 "$exe" &
wine_pid=$!
# Wait for the Wine desktop to appear (the first run also sets up the Wine prefix).
for _ in $(seq 1 120); do
  xwininfo -root -tree 2>/dev/null | grep -q 'Wine desktop' && break
  sleep 1
done
sleep 5
import -window root -crop 800x600+0+0 +repage build/demo/window.png
log "screenshot of the window: build/demo/window.png"
WINEPREFIX="$prefix" wineserver -k || true
wait "$wine_pid" 2>/dev/null || true
