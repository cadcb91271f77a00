#!/usr/bin/env bash
# Starts and stops the local distribution server (nginx with a configuration of ours).
#   distserver.sh start <state-folder> <port> <document-root> [rate, e.g. 256k; 0 = unlimited]
#                       [certificate key: serve HTTPS with them instead of HTTP]
#   distserver.sh stop  <state-folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop <state> ..." >&2; exit 2; }
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

case "$cmd" in
  start)
    port=$3
    root=$(cd "$4" && pwd)
    rate=${5:-0}
    ssl="" tls=""
    if [ -n "${6:-}" ]; then
      cert=$(cd "$(dirname "$6")" && pwd)/$(basename "$6")
      key=$(cd "$(dirname "$7")" && pwd)/$(basename "$7")
      ssl=" ssl"
      tls="ssl_certificate $cert; ssl_certificate_key $key; ssl_protocols TLSv1.2 TLSv1.3;"
    fi
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    "$0" stop "$state" || true
    user=""
    [ "$(id -u)" -eq 0 ] && user="user root root;"
    sed -e "s#@STATE@#$state#g" -e "s#@PORT@#$port#g" -e "s#@ROOT@#$root#g" \
        -e "s#@RATE@#$rate#g" -e "s#@USER@#$user#g" -e "s#@SSL@#$ssl#g" -e "s#@TLS@#$tls#g" \
        "$here/nginx.conf.in" >"$state/nginx.conf"
    "$nginx_bin" -q -p "$state" -c "$state/nginx.conf" -e "$state/error.log"
    for _ in $(seq 50); do
      [ -s "$state/nginx.pid" ] && break
      sleep 0.1
    done
    [ -s "$state/nginx.pid" ] || { cat "$state/error.log" >&2; exit 1; }
    ;;
  stop)
    [ -s "$state/nginx.pid" ] || exit 0
    pid=$(cat "$state/nginx.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    rm -f "$state/nginx.pid"
    ;;
  *)
    echo "unknown command $cmd" >&2
    exit 2
    ;;
esac
