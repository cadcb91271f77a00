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

# openssl: the build checks the archive keys and makes the local runs' archive key.
BUILD_PACKAGES=(cmake make g++ zlib1g-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64 libz-mingw-w64-dev binutils-mingw-w64-x86-64 openssl)
# openssl and ca-certificates: the TLS runs make a test authority and trust it for a run;
# tinyproxy: the proxy of the proxy tests and end-to-end runs (started and stopped by them);
# osslsigncode: the publisher tests and runs sign programs with a throwaway authority;
# winbind: its ntlm_auth is what Wine's NTLM package runs (no daemon needed).
# locales and fonts-noto-cjk: the language runs and screenshots start Wine in each of the
# program's languages (ensure_locales), and Chinese, Japanese and Korean need a font that has them.
# iproute2: the end-to-end runs bring up the loopback of their network namespaces.
RUN_PACKAGES=(wine wine64 xvfb xauth x11-utils imagemagick nginx-light zip unzip python3
  openssl ca-certificates tinyproxy osslsigncode winbind locales fonts-noto-cjk iproute2)
# clang-format: the test run checks the C++ files' formatting.
CHECK_PACKAGES=(clang clang-format libclang-rt-14-dev valgrind libarchive-tools p7zip-full)
RELEASE_PACKAGES=(osslsigncode openssl git)
# What the benchmarks run beside their own drivers: the tools they are measured against (curl,
# wget, unzip, bsdtar, 7z), zip for their archives, GNU time, the local servers (nginx,
# tinyproxy), openssl for the test authority and keys, git for the commit the page names, procps
# for the machine's memory, and gnuplot (with its cairo terminals) for the page's plot.
BENCH_PACKAGES=(curl wget zip unzip libarchive-tools p7zip-full time nginx-light tinyproxy python3
  openssl git procps gnuplot-nox)

# The locales of the program's languages (Wine takes the user's display language from LANG);
# generates those that are missing.
PROGRAM_LOCALES=(en_US de_DE fr_FR es_ES it_IT pt_BR pl_PL ru_RU ja_JP zh_CN ko_KR)
ensure_locales() {
  local missing=() l
  for l in "${PROGRAM_LOCALES[@]}"; do
    locale -a 2>/dev/null | grep -qix "$l.utf-\?8" || missing+=("$l.UTF-8")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "generating the locales ${missing[*]}"
  local sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  for l in "${missing[@]}"; do
    grep -q "^$l UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$l UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
  done
  $sudo locale-gen >/dev/null
}

# Numbers on standard input, separated by blanks or line ends: their median, their largest, and
# the ratio of two numbers with two decimals (the benchmark scripts' statistics).
median() {
  tr ' ' '\n' | grep . | sort -g |
    awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}
maxof() { tr ' ' '\n' | grep . | sort -g | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The benchmarks' mixed archives (bench/run-all.sh, bench/app/road_trust_bench.sh): an archive of
# about <MiB> MiB at <out> (bench/make_sized_archive.py), made once from the extraction
# benchmark's ~150 MB tree, whose archive is made once at <build>/bench-zip/bench.zip and
# unpacked once into <work>/tree.
bench_sized_archive() {  # <build> <work> <MiB> <out>
  local build=$1 work=$2 mib=$3 out=$4
  local benchzip=$build/bench-zip/bench.zip
  [ -f "$out" ] && return 0
  if [ ! -f "$benchzip" ]; then
    log "making the ~150 MB mixed tree and its archive once"
    mkdir -p "$(dirname "$benchzip")"
    rm -rf "$work/make"
    python3 "$ROOT/bench/zip/make_bench_tree.py" "$work/make" >/dev/null
    (cd "$work/make" && zip -q -r -X "$benchzip" .)
    rm -rf "$work/make"
  fi
  if [ ! -d "$work/tree" ]; then
    unzip -qo "$benchzip" -d "$work/tree.part" && mv "$work/tree.part" "$work/tree"
  fi
  log "making the ${mib} MiB archive once"
  mkdir -p "$(dirname "$out")"
  python3 "$ROOT/bench/make_sized_archive.py" "$benchzip" "$work/tree" $((mib * 1048576)) \
    "$out" >/dev/null
}

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

# GoogleTest for the Windows tests. Debian packages its sources only (libgtest-dev), so they are
# built once with the MinGW cross compiler and installed into a prefix of the build folder
# (MINGW_GTEST_PREFIX), where the Windows build's find_package(GTest) looks for them; nothing
# outside the build folder is written.
MINGW_GTEST_PREFIX="$ROOT/build/mingw-gtest"
ensure_mingw_gtest() {
  [ -f "$MINGW_GTEST_PREFIX/lib/cmake/GTest/GTestConfig.cmake" ] && return 0
  log "building GoogleTest for MinGW"
  local work="$ROOT/build/mingw-gtest-work"
  rm -rf "$work"
  mkdir -p "$work"
  if ! { cmake -S /usr/src/googletest -B "$work" \
           -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
           -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_INSTALL_PREFIX="$MINGW_GTEST_PREFIX" \
           -DBUILD_GMOCK=ON -DCMAKE_CXX_FLAGS=-w &&
         cmake --build "$work" -j "$JOBS" && cmake --install "$work"; } >"$work.log" 2>&1; then
    tail -n 30 "$work.log"
    rm -rf "$work" "$work.log" "$MINGW_GTEST_PREFIX"
    echo "GoogleTest could not be built for MinGW" >&2
    return 1
  fi
  rm -rf "$work" "$work.log"
}

configure_and_build() {  # <preset> [extra cmake args...]
  local preset=$1
  shift
  [ "$preset" != windows ] || ensure_mingw_gtest
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
