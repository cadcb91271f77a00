#!/usr/bin/env bash
# Screenshots of the downloader's window in every language at 96 and 144 pixels per inch, into
# docs/screenshots/ (tools/screenshots.py), from the Windows build in build/windows.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
ensure_locales
[ -f build/windows/CMakeCache.txt ] || configure_and_build windows
cmake --build build/windows -j "$JOBS" --target plenwick_setup_local wintool >/dev/null
python3 tools/screenshots.py build/windows docs/screenshots
