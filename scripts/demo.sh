#!/usr/bin/env bash
# The main job: the Windows downloader, built for a local distribution server (nginx on
# loopback), fetches its setup archive under Wine, unpacks it, runs the installer elevated and
# cleans up. Prints what happened and the path of a screenshot taken during the download.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
log "building the Windows downloader for the local distribution server"
mkdir -p build
if ! { cmake --preset windows &&
       cmake --build build/windows -j "$JOBS" --target plenwick_setup_local test_installer wintool
     } >build/demo-build.log 2>&1; then
  tail -n 60 build/demo-build.log
  echo "build failed; full log: build/demo-build.log" >&2
  exit 1
fi
port=$(sed -n 's/^PLENWICK_LOCAL_PORT:STRING=//p' build/windows/CMakeCache.txt)
python3 tools/demo.py \
  --exe build/windows/local/Plenwick-setup_x64-stable.exe \
  --installer build/windows/tools/installer/Install.exe \
  --wintool build/windows/tools/wintool/wintool.exe \
  --work build/demo --prefix "$ROOT/build/windows/wineprefix-e2e" --port "${port:-47631}"
