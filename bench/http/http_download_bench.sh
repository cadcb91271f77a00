#!/usr/bin/env bash
# Head + Get of an N-byte archive (default 1 GiB) from nginx on loopback into a memory stream,
# against `curl -s -o /dev/null` (and curl into a file on tmpfs) of the same URL, side by side
# in one run. Reports median throughputs, their ratio, and the driver's peak resident memory
# against N + 16 MiB.
# Usage: bench/http/http_download_bench.sh [rounds] [bytes]   (after building the native preset)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
ROUNDS=${1:-5}
BYTES=${2:-1073741824}
BUILD=${BUILD:-$ROOT/build/native}
DRIVER=${DRIVER:-$BUILD/bench/http/http_download_bench}
WORK=${WORK:-$BUILD/bench-http}
PORT=${PORT:-18473}
TMPFS=${TMPFS:-/dev/shm}

[ -x "$DRIVER" ] || { echo "build the native preset first ($DRIVER missing)" >&2; exit 1; }
mkdir -p "$WORK/root/periodic"
FILE=$WORK/root/periodic/Archive_bench.zip
if [ ! -f "$FILE" ] || [ "$(stat -c %s "$FILE")" != "$BYTES" ]; then
  echo "making the $BYTES-byte archive once (in $WORK)"
  head -c "$BYTES" /dev/urandom >"$FILE"
fi
cat "$FILE" >/dev/null  # into the page cache
"$ROOT/tools/distserver/distserver.sh" start "$WORK/state" "$PORT" "$WORK/root" 0
trap '"$ROOT/tools/distserver/distserver.sh" stop "$WORK/state"; rm -f "$TMPFS/plenwick-bench.out"' EXIT
URL=http://127.0.0.1:$PORT/periodic/Archive_bench.zip

seconds_of() { /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1; }

ours=() curl_null=() curl_tmpfs=() rss=()
for r in $(seq "$ROUNDS"); do
  read -r s n kib _ < <("$DRIVER" "$URL")
  ours+=("$s"); rss+=("$kib")
  t=$(curl -s -o /dev/null -w '%{time_total}' "$URL"); curl_null+=("$t")
  t=$(curl -s -o "$TMPFS/plenwick-bench.out" -w '%{time_total}' "$URL"); curl_tmpfs+=("$t")
  rm -f "$TMPFS/plenwick-bench.out"
  echo "round $r: ours ${s}s (peak RSS ${kib} KiB), curl>/dev/null ${curl_null[-1]}s, curl>tmpfs ${curl_tmpfs[-1]}s"
done
mo=$(printf '%s\n' "${ours[@]}" | median)
mn=$(printf '%s\n' "${curl_null[@]}" | median)
mt=$(printf '%s\n' "${curl_tmpfs[@]}" | median)
peak=$(printf '%s\n' "${rss[@]}" | sort -g | tail -1)
awk -v b="$BYTES" -v o="$mo" -v n="$mn" -v t="$mt" -v p="$peak" 'BEGIN {
  mib = 1048576
  printf "median throughput: ours %.0f MiB/s, curl -o /dev/null %.0f MiB/s, curl -o tmpfs %.0f MiB/s\n", b/o/mib, b/n/mib, b/t/mib
  printf "ratio ours/curl(/dev/null): %.2f (target >= 0.90); ours/curl(tmpfs): %.2f\n", n/o, t/o
  printf "peak RSS: %.1f MiB = N + %.1f MiB (target <= N + 16 MiB)\n", p*1024/mib, (p*1024-b)/mib
}'
