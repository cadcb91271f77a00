#!/usr/bin/env bash
# Head + Get of an N-byte archive (default 256 MiB) through tinyproxy on loopback, plain HTTP and
# HTTPS (a CONNECT tunnel, TLS inside it), against curl through the same proxy and both of them
# directly, side by side in one run. Reports median throughputs and the ratios ours/curl through
# the proxy and through the proxy/directly.
# Usage: bench/http/proxy_download_bench.sh [rounds] [bytes]   (after building the native preset)
# Ports: PORT (nginx), PORT + 1 (nginx with TLS), PORT + 2 (tinyproxy).
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
ROUNDS=${1:-5}
BYTES=${2:-268435456}
BUILD=${BUILD:-$ROOT/build/native}
DRIVER=${DRIVER:-$BUILD/bench/http/http_download_bench}
WORK=${WORK:-$BUILD/bench-proxy}
PORT=${PORT:-18541}
TLS_PORT=$((PORT + 1))
PROXY_PORT=$((PORT + 2))

[ -x "$DRIVER" ] || { echo "build the native preset first ($DRIVER missing)" >&2; exit 1; }
mkdir -p "$WORK/root/periodic"
FILE=$WORK/root/periodic/Archive_bench.zip
if [ ! -f "$FILE" ] || [ "$(stat -c %s "$FILE")" != "$BYTES" ]; then
  echo "making the $BYTES-byte archive once (in $WORK)"
  head -c "$BYTES" /dev/urandom >"$FILE"
fi
cat "$FILE" >/dev/null  # into the page cache

# A test authority for the TLS side, trusted by OpenSSL and curl for this run only.
CA=$WORK/ca
python3 -c "
import sys
sys.path.insert(0, '$ROOT/tools')
import testca
testca.TestAuthority('$CA').issue('server', ['localhost'])
"
"$ROOT/tools/distserver/distserver.sh" start "$WORK/state" "$PORT" "$WORK/root" 0
"$ROOT/tools/distserver/distserver.sh" start "$WORK/tls-state" "$TLS_PORT" "$WORK/root" 0 \
  "$CA/server.pem" "$CA/server.key"
cat >"$WORK/tinyproxy.conf" <<CONF
Port $PROXY_PORT
Listen 127.0.0.1
Timeout 600
PidFile "$WORK/tinyproxy.pid"
LogFile "$WORK/tinyproxy.log"
LogLevel Warning
MaxClients 20
Allow 127.0.0.1
DisableViaHeader Yes
ConnectPort $TLS_PORT
CONF
tinyproxy -d -c "$WORK/tinyproxy.conf" &
PROXY_PID=$!
cleanup() {
  kill "$PROXY_PID" 2>/dev/null || true
  "$ROOT/tools/distserver/distserver.sh" stop "$WORK/state"
  "$ROOT/tools/distserver/distserver.sh" stop "$WORK/tls-state"
}
trap cleanup EXIT
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PROXY_PORT") 2>/dev/null && break
  sleep 0.1
done
export SSL_CERT_FILE=$CA/ca.pem
PROXY=http://127.0.0.1:$PROXY_PORT

for scheme in http https; do
  if [ "$scheme" = http ]; then URL=http://127.0.0.1:$PORT/periodic/Archive_bench.zip
  else URL=https://localhost:$TLS_PORT/periodic/Archive_bench.zip; fi
  ours=() ours_direct=() curl_proxy=() curl_direct=()
  for r in $(seq "$ROUNDS"); do
    read -r s _ _ < <(env -u no_proxy -u NO_PROXY http_proxy=$PROXY https_proxy=$PROXY "$DRIVER" "$URL")
    ours+=("$s")
    read -r s _ _ < <(env -u http_proxy -u https_proxy -u HTTPS_PROXY -u all_proxy -u ALL_PROXY "$DRIVER" "$URL")
    ours_direct+=("$s")
    curl_proxy+=("$(curl -s --cacert "$CA/ca.pem" --proxy "$PROXY" -o /dev/null -w '%{time_total}' "$URL")")
    curl_direct+=("$(curl -s --cacert "$CA/ca.pem" --noproxy '*' -o /dev/null -w '%{time_total}' "$URL")")
    echo "$scheme round $r: ours via proxy ${ours[-1]}s, direct ${ours_direct[-1]}s; curl via proxy ${curl_proxy[-1]}s, direct ${curl_direct[-1]}s"
  done
  mo=$(printf '%s\n' "${ours[@]}" | median)
  md=$(printf '%s\n' "${ours_direct[@]}" | median)
  mc=$(printf '%s\n' "${curl_proxy[@]}" | median)
  mcd=$(printf '%s\n' "${curl_direct[@]}" | median)
  awk -v s="$scheme" -v b="$BYTES" -v o="$mo" -v d="$md" -v c="$mc" -v cd="$mcd" 'BEGIN {
    mib = 1048576
    printf "%s median throughput: ours via proxy %.0f MiB/s, direct %.0f MiB/s; curl via proxy %.0f MiB/s, direct %.0f MiB/s\n", s, b/o/mib, b/d/mib, b/c/mib, b/cd/mib
    printf "%s ratios: ours/curl via proxy %.2f; via proxy/direct: ours %.2f, curl %.2f\n", s, c/o, d/o, cd/c
  }'
done
