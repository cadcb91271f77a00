#!/bin/sh
# Runs a Windows program under Wine with a prefix of the build's own.
# Usage: wine-run.sh <wine prefix> <program.exe> [arguments...]
# Starts a private Xvfb through xvfb-run when no display is set.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
) 9>"$WINEPREFIX.lock"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
fi
exec wine "$@"
