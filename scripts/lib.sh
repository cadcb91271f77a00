# Shared shell helpers of the project's scripts. Source it; do not run it.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

log() { printf '== %s\n' "$*"; }

# Installs the Debian packages that are missing, quietly; nothing when all are there.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  local sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  if [ -z "${PLENWICK_APT_UPDATED:-}" ]; then
    $sudo apt-get update -qq >/dev/null
    export PLENWICK_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake make g++ zlib1g-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64 libz-mingw-w64-dev binutils-mingw-w64-x86-64)
# openssl and ca-certificates: the TLS runs make a test authority and trust it for a run;
# tinyproxy: the proxy of the proxy tests and end-to-end runs (started and stopped by them).
RUN_PACKAGES=(wine wine64 xvfb xauth x11-utils imagemagick nginx-light zip unzip python3
  openssl ca-certificates tinyproxy)
CHECK_PACKAGES=(clang libclang-rt-14-dev valgrind libarchive-tools p7zip-full)
RELEASE_PACKAGES=(osslsigncode openssl git)

# Starts a private X server when there is no display (Wine draws its windows there).
ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local n
  read -r n <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$n"
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
}

configure_and_build() {  # <preset> [extra cmake args...]
  local preset=$1
  shift
  local logfile="$ROOT/build/$preset.log"
  mkdir -p "$ROOT/build"
  if ! { cmake --preset "$preset" "$@" && cmake --build "$ROOT/build/$preset" -j "$JOBS"; } \
      >"$logfile" 2>&1; then
    tail -n 60 "$logfile"
    echo "build '$preset' failed; full log: $logfile" >&2
    return 1
  fi
  grep -E 'warning:' "$logfile" | sort -u | head -n 20 || true
}
