#!/usr/bin/env bash
# Measures the downloader's performance figures in one run, side by side with the tools a user
# would pick instead, and writes docs/performance.md and its plot docs/performance.png:
#   1. download: Head + Get of a 1 GiB archive from nginx on loopback into memory, against
#      `curl -s -o /dev/null` and `wget -q -O /dev/null` (throughput, CPU time, peak memory);
#      the same over HTTPS (nginx with TLS on PORT + 1, a certificate for localhost from a test
#      authority made for the run, which OpenSSL and curl are pointed at), against curl;
#   2. extraction: ExtractAll of the ~150 MB mixed tree's archive held in memory, against
#      `unzip -qo`, `bsdtar -xf` and `7z x` of the same archive from a cached file;
#   3. the whole road natively (size probe, download, extraction, folder removal) of a 200 MB
#      archive, against `curl -o a.zip URL && unzip -qo a.zip -d dir && rm -rf dir a.zip`;
#   4. scaling of download and extraction over 1 MiB, 10 MiB, 100 MiB and 1 GiB archives;
#   5. the Windows program's size, and the CPU use of the installer wait over 10 seconds;
#   6. the body read through the I/O handler against plain recv (bench/net).
# The Windows program under Wine has a script of its own (bench/run-windows.sh), and so have the
# retries and resume (bench/app/resume_bench.sh); their sections of the page are kept.
# Not part of CI. The inputs are made once and kept in the build folder (about 3 GB of disk).
# Installs what it runs first (BENCH_PACKAGES of scripts/lib.sh, gnuplot for the plot among them),
# so that no missing tool stops it after minutes of measuring.
# Usage: bench/run-all.sh   (ROUNDS=3 by default; BUILD=build/native, WBUILD=build/windows)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
ROUNDS=${ROUNDS:-3}
BUILD=${BUILD:-$ROOT/build/native}
WBUILD=${WBUILD:-$ROOT/build/windows}
WORK=${WORK:-$BUILD/bench-all}
PORT=${PORT:-18474}
TLS_PORT=${TLS_PORT:-$((PORT + 1))}
DOC=${DOC:-$ROOT/docs/performance.md}
PLOT=${PLOT:-$ROOT/docs/performance.png}
MIB=1048576
# curl into a file on tmpfs holds the body in memory too, as the downloader does.
SHM=${TMPFS:-/dev/shm}/plenwick-bench.out
started=$(date +%s)

# --- drivers and inputs -----------------------------------------------------------------------
[ -d "$BUILD" ] || cmake --preset native >/dev/null
cmake --build "$BUILD" -j2 --target http_download_bench zip_extract_bench road_bench \
  installer_wait_bench net_bench >/dev/null
DL=$BUILD/bench/http/http_download_bench
EX=$BUILD/bench/zip/zip_extract_bench
ROAD=$BUILD/bench/app/road_bench
WAIT=$BUILD/bench/app/installer_wait_bench
NET=$BUILD/bench/net/net_bench

mkdir -p "$WORK/root/periodic"
BENCHZIP=$BUILD/bench-zip/bench.zip  # the extraction benchmark's archive, shared with it
archive() { echo "$WORK/root/periodic/Archive_$1.zip"; }
for size in 1 10 100 200 1024; do
  bench_sized_archive "$BUILD" "$WORK" "$size" "$(archive "$size")"
done
bytes_of() { stat -c %s "$1"; }
for f in "$BENCHZIP" "$WORK"/root/periodic/*.zip; do cat "$f" >/dev/null; done  # page cache

"$ROOT/tools/distserver/distserver.sh" start "$WORK/state" "$PORT" "$WORK/root" 0
# The HTTPS side: a test authority of this run and nginx serving the same files with TLS.
read -r TLS_CERT TLS_KEY < <(python3 -c "import sys; sys.path.insert(0, '$ROOT/tools'); import testca
print(*testca.TestAuthority('$WORK/ca').issue('server', ['localhost']))")
CA_FILE=$WORK/ca/ca.pem
"$ROOT/tools/distserver/distserver.sh" start "$WORK/tls-state" "$TLS_PORT" "$WORK/root" 0 \
  "$TLS_CERT" "$TLS_KEY"
cleanup() {
  "$ROOT/tools/distserver/distserver.sh" stop "$WORK/state" || true
  "$ROOT/tools/distserver/distserver.sh" stop "$WORK/tls-state" || true
  rm -rf "$WORK/out" "$WORK/road" "$SHM"
}
trap cleanup EXIT
url() { echo "http://127.0.0.1:$PORT/periodic/Archive_$1.zip"; }

# --- helpers ----------------------------------------------------------------------------------
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
now() { date +%s.%N; }
# Runs a command and prints "<wall s> <user + system s> <peak RSS KiB>" (GNU time; 10 ms steps).
# Runs a command under GNU time and prints "<process wall s> <user + system s> <peak RSS KiB>
# <first word the command printed>" (GNU time counts in 10 ms steps).
timed() {
  local out
  out=$(/usr/bin/time -o "$WORK/time.txt" -f "%e %U %S %M" "$@")
  echo "$(awk '{print $1, $2 + $3, $4}' "$WORK/time.txt") ${out%% *}"
}
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }
fresh() { rm -rf "$1" && mkdir -p "$1" && sync; }

# --- 1. download ------------------------------------------------------------------------------
log "1. download of the 1 GiB archive"
N=$(bytes_of "$(archive 1024)")
U=$(url 1024)
declare -A dl_wall dl_proc dl_cpu dl_rss
tools=(ours curl wget curlshm)
for ((r = 0; r < ROUNDS; r++)); do
  for ((k = 0; k < 4; k++)); do
    t=${tools[$(((r + k) % 4))]}
    case $t in
      ours) line=$(timed "$DL" "$U") ;;
      curl) line=$(timed curl -s -o /dev/null -w '%{time_total}' "$U") ;;
      wget) line=$(timed wget -q -O /dev/null "$U") ;;
      curlshm) line=$(timed curl -s -o "$SHM" -w '%{time_total}' "$U") && rm -f "$SHM" ;;
    esac
    read -r w c m own <<<"$line"
    # The transfer as the tool times it (wget does not: its whole process).
    dl_wall[$t]+="${own:-$w} " dl_proc[$t]+="$w " dl_cpu[$t]+="$c " dl_rss[$t]+="$m "
  done
done
declare -A DW DP DC DR
for t in "${tools[@]}"; do
  DW[$t]=$(echo "${dl_wall[$t]}" | median)
  DP[$t]=$(echo "${dl_proc[$t]}" | median)
  DC[$t]=$(echo "${dl_cpu[$t]}" | median)
  DR[$t]=$(echo "${dl_rss[$t]}" | maxof)
done

# --- 1b. HTTPS download -----------------------------------------------------------------------
log "1b. HTTPS download of the 1 GiB archive"
TU=https://localhost:$TLS_PORT/periodic/Archive_1024.zip
declare -A tl_wall tl_proc tl_cpu tl_rss
ttools=(ours curl curlshm)
for ((r = 0; r < ROUNDS; r++)); do
  for ((k = 0; k < 3; k++)); do
    t=${ttools[$(((r + k) % 3))]}
    case $t in
      ours) line=$(timed env SSL_CERT_FILE="$CA_FILE" "$DL" "$TU") ;;
      curl) line=$(timed curl -s --cacert "$CA_FILE" -o /dev/null -w '%{time_total}' "$TU") ;;
      curlshm) line=$(timed curl -s --cacert "$CA_FILE" -o "$SHM" -w '%{time_total}' "$TU") &&
        rm -f "$SHM" ;;
    esac
    read -r w c m own <<<"$line"
    tl_wall[$t]+="${own:-$w} " tl_proc[$t]+="$w " tl_cpu[$t]+="$c " tl_rss[$t]+="$m "
  done
done
declare -A TW TP TC TR
for t in "${ttools[@]}"; do
  TW[$t]=$(echo "${tl_wall[$t]}" | median)
  TP[$t]=$(echo "${tl_proc[$t]}" | median)
  TC[$t]=$(echo "${tl_cpu[$t]}" | median)
  TR[$t]=$(echo "${tl_rss[$t]}" | maxof)
done

# --- 2. extraction ----------------------------------------------------------------------------
log "2. extraction of the mixed tree's archive"
XB=$(bytes_of "$BENCHZIP")
XU=$(unzip -Zt "$BENCHZIP" | awk '{print $3}')
declare -A ex_wall
xtools=(ours unzip bsdtar 7z)
extract_once() {  # tool archive -> "<wall> <cpu>"
  local tool=$1 zip=$2 out=$WORK/out/$1 TIMEFORMAT='%R %U %S' t line
  fresh "$out"
  case $tool in
    ours)
      line=$("$EX" "$zip" "$out")
      echo "$(echo "$line" | field extract_seconds) $(echo "$line" | field extract_cpu_seconds)"
      return ;;
    unzip) t=$({ time unzip -qo "$zip" -d "$out" >/dev/null; } 2>&1) ;;
    bsdtar) t=$({ time bsdtar -xf "$zip" -C "$out" >/dev/null; } 2>&1) ;;
    7z) t=$({ time 7z x -y -bd -o"$out" "$zip" >/dev/null; } 2>&1) ;;
  esac
  echo "$t" | awk '{print $1, $2 + $3}'
}
for ((r = 0; r < ROUNDS; r++)); do
  for ((k = 0; k < 4; k++)); do
    t=${xtools[$(((r + k) % 4))]}
    line=$(extract_once "$t" "$BENCHZIP")
    read -r w c <<<"$line"
    ex_wall[$t]+="$w "
  done
  if [ "$r" -eq 0 ]; then
    diff -r "$WORK/out/unzip" "$WORK/out/ours" >/dev/null ||
      { echo "ExtractAll's output differs from unzip's" >&2; exit 1; }
  fi
done
declare -A XW
for t in "${xtools[@]}"; do XW[$t]=$(echo "${ex_wall[$t]}" | median); done
fastest=unzip
for t in bsdtar 7z; do
  awk -v a="${XW[$t]}" -v b="${XW[$fastest]}" 'BEGIN { exit !(a < b) }' && fastest=$t
done
rm -rf "$WORK/out"

# --- 3. whole road ----------------------------------------------------------------------------
log "3. whole road of the 200 MiB archive"
RB=$(bytes_of "$(archive 200)")
RU=$(url 200)
road_ours=() road_shell=()
mkdir -p "$WORK/road"
for ((r = 0; r < ROUNDS; r++)); do
  for k in 0 1; do
    sync
    if [ $(((r + k) % 2)) -eq 0 ]; then
      s=$(now)
      (cd "$WORK/road" && "$ROAD" "$RU" >/dev/null)
      road_ours+=("$(calc %.3f "$(now) - $s")")
    else
      s=$(now)
      (cd "$WORK/road" &&
        curl -s -o a.zip "$RU" && unzip -qo a.zip -d dir && rm -rf dir a.zip)
      road_shell+=("$(calc %.3f "$(now) - $s")")
    fi
  done
done
[ -z "$(ls -A "$WORK/road")" ] || { echo "the road left files behind" >&2; exit 1; }
RO=$(echo "${road_ours[*]}" | median)
RS=$(echo "${road_shell[*]}" | median)

# --- 4. scaling -------------------------------------------------------------------------------
log "4. scaling over 1 MiB .. 1 GiB"
sizes=(1 10 100 1024)
DAT=$WORK/scaling.dat
# All downloads first, then all extractions: on this kind of virtual machine the fresh memory a
# process gets right after gigabytes of file writes is much slower to fault in, which would
# charge the extraction runs' writes to the next download.
declare -A sod scd soe sue
for size in "${sizes[@]}"; do
  u=$(url "$size") rounds=$ROUNDS
  [ "$size" -le 10 ] && rounds=$((ROUNDS * 3))
  for ((r = 0; r < rounds; r++)); do
    sod[$size]+="$("$DL" "$u" | awk '{print $1}') "
    scd[$size]+="$(curl -s -o /dev/null -w '%{time_total}' "$u") "
  done
done
for size in "${sizes[@]}"; do
  f=$(archive "$size") rounds=$ROUNDS
  [ "$size" -le 10 ] && rounds=$((ROUNDS * 3))
  for ((r = 0; r < rounds; r++)); do
    line=$(extract_once ours "$f") && soe[$size]+="${line%% *} "
    line=$(extract_once unzip "$f") && sue[$size]+="${line%% *} "
  done
done
echo "# MiB bytes ours_dl_s curl_dl_s ours_ex_s unzip_ex_s" >"$DAT"
for size in "${sizes[@]}"; do
  echo "$size $(bytes_of "$(archive "$size")") $(echo "${sod[$size]}" | median)" \
    "$(echo "${scd[$size]}" | median) $(echo "${soe[$size]}" | median)" \
    "$(echo "${sue[$size]}" | median)" >>"$DAT"
done
rm -rf "$WORK/out"

# --- 5. footprint -----------------------------------------------------------------------------
log "5. footprint: Windows program and installer wait"
EXE=$WBUILD/src/app/Plenwick-setup_x64-stable.exe
if [ -f "$EXE" ]; then
  exe_size=$(bytes_of "$EXE")
  if x86_64-w64-mingw32-objdump -h "$EXE" | grep -q '\.debug'; then stripped=no; else stripped=yes; fi
  rsrc=$(x86_64-w64-mingw32-objdump -h "$EXE" | awk '$2 == ".rsrc" {print $3}')
  rsrc=$((16#${rsrc:-0}))
else
  exe_size="" stripped="" rsrc=""
fi
wait_line=$("$WAIT" 10)
WPCT=$(echo "$wait_line" | field core_percent)
WCPU=$(echo "$wait_line" | field cpu_seconds)
WSEC=$(echo "$wait_line" | field wait_seconds)
WPASSES=$(echo "$wait_line" | field passes)

# --- 6. body read against plain recv ---------------------------------------------------------
log "6. body read through the I/O handler against plain recv"
net_json=$WORK/net.json
"$NET" --benchmark_format=json >"$net_json" 2>/dev/null
net_rows=$(python3 - "$net_json" <<'PY'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    args = dict(p.split(":") for p in b["name"].split("/")[1:3])
    chunk = "32768-byte recv" if args["recv_chunk"] == "32768" else "recv of all that is left"
    wait = "active" if args["responsive"] == "1" else "off"
    print("| %s | %s | %.0f MiB/s | %.0f MiB/s | %.2f |" % (
        chunk, wait, b["ReadStream_MiB/s"], b["recv_MiB/s"], b["ratio"]))
PY
)

# --- report -----------------------------------------------------------------------------------
log "writing $DOC and $PLOT"
# The Windows program's sections are measured by bench/run-windows.sh and
# bench/run-windows-files.sh; they are kept as they stand.
windows_section=
[ -f "$DOC" ] && windows_section=$(awk '/^## Windows program/ { f = 1; print; next }
  f && /^## / { f = 0 } f' "$DOC")
# So is the section of bench/app/resume_bench.sh.
resume_section=
[ -f "$DOC" ] && resume_section=$(awk '/^## 7\. Broken connections/ { f = 1; print; next }
  f && /^## / { f = 0 } f' "$DOC")
gnuplot <<EOF
set terminal pngcairo size 900,620 font "sans,10"
set output "$PLOT"
set title "Throughput against archive size (MiB/s of archive bytes; median of runs)"
set logscale x 2
set logscale y 10
set xlabel "archive size (MiB)"
set ylabel "MiB/s (log scale)"
set key outside below
set grid
set xtics ("1" 1, "10" 10, "100" 100, "1024" 1024)
plot "$DAT" using 1:(\$2/$MIB/\$3) with linespoints lw 2 title "downloader: Head + Get into memory", \
     "$DAT" using 1:(\$2/$MIB/\$4) with linespoints lw 2 title "curl -s -o /dev/null", \
     "$DAT" using 1:(\$2/$MIB/\$5) with linespoints lw 2 title "downloader: ExtractAll from memory", \
     "$DAT" using 1:(\$2/$MIB/\$6) with linespoints lw 2 title "unzip -qo"
EOF

verdict() { awk -v v="$1" -v t="$2" "BEGIN { print (v $3 t) ? \"met\" : \"missed\" }"; }
commit=$(git -C "$ROOT" rev-parse --short HEAD)
git -C "$ROOT" diff --quiet HEAD -- src bench 2>/dev/null || commit="$commit (with uncommitted changes)"
tput_ours=$(calc %.0f "$N / $MIB / ${DW[ours]}")
tput_curl=$(calc %.0f "$N / $MIB / ${DW[curl]}")
tput_wget=$(calc %.0f "$N / $MIB / ${DW[wget]}")
dl_ratio=$(calc %.2f "${DW[curl]} / ${DW[ours]}")
tls_ours=$(calc %.0f "$N / $MIB / ${TW[ours]}")
tls_curl=$(calc %.0f "$N / $MIB / ${TW[curl]}")
tls_ratio=$(calc %.2f "${TW[curl]} / ${TW[ours]}")
{
  echo "# Performance"
  echo
  echo "Measured by \`bench/run-all.sh\` in one run; the numbers are as measured, medians of"
  echo "$ROUNDS rounds unless said otherwise (tools run in rotating order within a round)."
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Commit: $commit"
  echo "- Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "$(free -g | awk '/^Mem:/ {print $2}') GiB memory, kernel $(uname -r); load average at the" \
    "start $(cut -d' ' -f1-3 /proc/loadavg) (the machine is shared: compare ratios)"
  echo "- Tools: $(curl --version | head -1 | cut -d' ' -f1-2), $(wget --version | head -1 | cut -d' ' -f1-3)," \
    "$(unzip -v | head -1 | cut -d' ' -f1-2), $(bsdtar --version | cut -d' ' -f1-2)," \
    "$(7z | grep -m1 -o '7-Zip[^:]*' | cut -d' ' -f1-2), $(nginx -v 2>&1 | cut -d' ' -f3)"
  echo
  echo "## Summary"
  echo
  echo "| Figure | Downloader | Reference | Ratio | Target | |"
  echo "|---|---|---|---|---|---|"
  echo "| 1. Download 1 GiB, throughput | $tput_ours MiB/s | curl $tput_curl MiB/s | $dl_ratio× curl | ≥ 0.9× curl | $(verdict "$dl_ratio" 0.9 '>=') |"
  echo "| 1. Download 1 GiB, peak memory | $(calc %.1f "${DR[ours]} * 1024 / $MIB") MiB = N + $(calc %.1f "(${DR[ours]} * 1024 - $N) / $MIB") MiB | | | ≤ N + 16 MiB | $(verdict "$(calc %.0f "${DR[ours]} * 1024 - $N")" $((16 * MIB)) '<=') |"
  echo "| 1b. HTTPS download 1 GiB, throughput | $tls_ours MiB/s | curl $tls_curl MiB/s | $tls_ratio× curl | ≥ 0.9× curl | $(verdict "$tls_ratio" 0.9 '>=') |"
  echo "| 1b. HTTPS download 1 GiB, peak memory | $(calc %.1f "${TR[ours]} * 1024 / $MIB") MiB = N + $(calc %.1f "(${TR[ours]} * 1024 - $N) / $MIB") MiB | | | ≤ N + 16 MiB | $(verdict "$(calc %.0f "${TR[ours]} * 1024 - $N")" $((16 * MIB)) '<=') |"
  echo "| 2. Extraction, wall time | $(calc %.3f "${XW[ours]}") s | fastest: $fastest $(calc %.3f "${XW[$fastest]}") s | $(calc %.2f "${XW[ours]} / ${XW[$fastest]}")× | ≤ 1.0× | $(verdict "$(calc %.4f "${XW[ours]} / ${XW[$fastest]}")" 1.0 '<=') |"
  echo "| 3. Whole road 200 MiB, wall time | $RO s | curl && unzip && rm: $RS s | $(calc %.2f "$RO / $RS")× | ≤ 1.0× | $(verdict "$(calc %.4f "$RO / $RS")" 1.0 '<=') |"
  if [ -n "$exe_size" ]; then
    echo "| 5. Windows program size | $exe_size bytes ($(calc %.2f "$exe_size / $MIB") MiB, stripped: $stripped) | | | ≤ 1 MiB | $(verdict "$exe_size" "$MIB" '<=') |"
  else
    echo "| 5. Windows program size | not built ($EXE) | | | ≤ 1 MiB | |"
  fi
  echo "| 5. CPU while waiting for the installer | $WPCT % of one core | | | < 1 % | $(verdict "$WPCT" 1 '<') |"
  echo
  echo "## 1. Download: Head + Get of a 1 GiB archive from nginx on loopback"
  echo
  echo "Archive: $N bytes (N), served by nginx (sendfile) from the page cache on 127.0.0.1."
  echo "The downloader's driver (\`bench/http/HTTPDownloadBench.cpp\`) makes the program's two"
  echo "requests on one client and keeps the body in a memory stream; curl and wget discard it."
  echo "Transfer: Head + Get as the driver times them, curl's own \`time_total\`, and for wget (which"
  echo "has no timer of its own) its whole process. Whole-process wall time, CPU time (user +"
  echo "system) and peak RSS by GNU time; the whole process of the downloader's driver includes"
  echo "handing its 1 GiB back to the system at exit. Peak RSS is the largest of the rounds."
  echo
  echo "| Tool | Transfer | Throughput | Whole process | CPU time | Peak RSS |"
  echo "|---|---|---|---|---|---|"
  for t in "${tools[@]}"; do
    case $t in
      ours) name="downloader (Head + Get into memory)" ;;
      curl) name="curl -s -o /dev/null" ;;
      wget) name="wget -q -O /dev/null" ;;
      curlshm) name="curl -s -o (file on tmpfs, for reference)" ;;
    esac
    echo "| $name | $(calc %.3f "${DW[$t]}") s | $(calc %.0f "$N / $MIB / ${DW[$t]}") MiB/s | $(calc %.2f "${DP[$t]}") s | $(calc %.2f "${DC[$t]}") s | $(calc %.1f "${DR[$t]} / 1024") MiB |"
  done
  echo
  echo "Throughput ratio: $dl_ratio× curl, $(calc %.2f "${DW[wget]} / ${DW[ours]}")× wget," \
    "$(calc %.2f "${DW[curlshm]} / ${DW[ours]}")× curl writing into tmpfs."
  echo "CPU time ratio: $(calc %.2f "${DC[ours]} / ${DC[curl]}")× curl's, $(calc %.2f "${DC[ours]} / ${DC[wget]}")× wget's."
  echo
  echo "## 1b. The same download over HTTPS"
  echo
  echo "The same archive from nginx with TLS (TLS 1.3, the certificate for localhost from a test"
  echo "authority made for the run) on 127.0.0.1. The downloader's driver runs over the program's"
  echo "TLS handler (OpenSSL natively, trusting the authority through \`SSL_CERT_FILE\`); curl is"
  echo "given the authority with \`--cacert\`. nginx encrypts (no sendfile), the clients decrypt."
  echo
  echo "| Tool | Transfer | Throughput | Whole process | CPU time | Peak RSS |"
  echo "|---|---|---|---|---|---|"
  for t in "${ttools[@]}"; do
    case $t in
      ours) name="downloader (Head + Get into memory)" ;;
      curl) name="curl -s -o /dev/null" ;;
      curlshm) name="curl -s -o (file on tmpfs, for reference)" ;;
    esac
    echo "| $name | $(calc %.3f "${TW[$t]}") s | $(calc %.0f "$N / $MIB / ${TW[$t]}") MiB/s | $(calc %.2f "${TP[$t]}") s | $(calc %.2f "${TC[$t]}") s | $(calc %.1f "${TR[$t]} / 1024") MiB |"
  done
  echo
  echo "Throughput ratio: $tls_ratio× curl, $(calc %.2f "${TW[curlshm]} / ${TW[ours]}")× curl writing into tmpfs;" \
    "HTTPS against plain HTTP: downloader $(calc %.2f "${DW[ours]} / ${TW[ours]}")×, curl $(calc %.2f "${DW[curl]} / ${TW[curl]}")×."
  echo "CPU time ratio: $(calc %.2f "${TC[ours]} / ${TC[curl]}")× curl's."
  echo
  echo "## 2. Extraction of a mixed archive"
  echo
  echo "Archive: $(calc %.1f "$XB / $MIB") MiB holding $(calc %.1f "$XU / $MIB") MiB in $(unzip -Z1 "$BENCHZIP" | grep -vc '/$') files (random, text and"
  echo "binary-like data; large, medium and many small files; \`bench/zip/make_bench_tree.py\`)."
  echo "The downloader's \`ExtractAll\` reads it from memory (\`bench/zip/ZipExtractBench.cpp\`, timing"
  echo "Open + ExtractAll + Close); the others read the same archive from a cached file. Each run"
  echo "writes into an emptied folder, after a \`sync\`."
  echo
  echo "| Tool | Wall | Ratio downloader / tool |"
  echo "|---|---|---|"
  for t in "${xtools[@]}"; do
    case $t in ours) name="downloader ExtractAll (in memory)" ;; unzip) name="unzip -qo" ;; bsdtar) name="bsdtar -xf" ;; 7z) name="7z x" ;; esac
    echo "| $name | $(calc %.3f "${XW[$t]}") s | $(calc %.2f "${XW[ours]} / ${XW[$t]}") |"
  done
  echo
  echo "## 3. Whole road, natively"
  echo
  echo "Archive: $(calc %.1f "$RB / $MIB") MiB from nginx on loopback. The downloader's road"
  echo "(\`bench/app/RoadBench.cpp\`): \`Head\`, \`Get\` into a memory stream, \`Open\` +"
  echo "\`ExtractAll\` into the setup folder below the current directory + \`Close\`, and removal of"
  echo "the folder, with responsive waiting active as in the window. Against the shell pipeline"
  echo "\`curl -s -o a.zip URL && unzip -qo a.zip -d dir && rm -rf dir a.zip\`. Both timed as whole"
  echo "processes."
  echo
  echo "| Road | Wall |"
  echo "|---|---|"
  echo "| downloader | $RO s |"
  echo "| curl && unzip && rm | $RS s |"
  echo
  echo "Ratio: $(calc %.2f "$RO / $RS")×."
  echo
  echo "## 4. Scaling"
  echo
  echo "Mixed archives of about 1 MiB, 10 MiB, 100 MiB and 1 GiB (\`bench/make_sized_archive.py\`)."
  echo "Download: the downloader's Head + Get as timed by its driver, curl's own \`time_total\`."
  echo "Extraction: \`ExtractAll\` from memory as timed by its driver, \`unzip -qo\` as a whole process"
  echo "(so its start-up weighs on the smallest archive). Medians of $((ROUNDS * 3)) runs up to 10 MiB,"
  echo "$ROUNDS above; all downloads run before all extractions (see the notes on fresh memory)."
  echo "Cost per MiB should stay flat if cost grows linearly with size."
  echo
  echo "| Archive | Download: downloader | curl | Extraction: downloader | unzip |"
  echo "|---|---|---|---|---|"
  grep -v '^#' "$DAT" | while read -r size b od cd oe ue; do
    cell() { echo "$(calc %.4f "$1") s ($(calc %.0f "$b / $MIB / $1") MiB/s)"; }
    echo "| $(calc %.1f "$b / $MIB") MiB | $(cell "$od") | $(cell "$cd") | $(cell "$oe") | $(cell "$ue") |"
  done
  echo
  read -r _ b100 od100 _ oe100 _ < <(grep '^100 ' "$DAT")
  read -r _ b1g od1g _ oe1g _ < <(grep '^1024 ' "$DAT")
  echo "Cost per byte at 1 GiB relative to 100 MiB: download $(calc %.2f "($od1g / $b1g) / ($od100 / $b100)")×," \
    "extraction $(calc %.2f "($oe1g / $b1g) / ($oe100 / $b100)")× (1.00 = linear; quadratic copying would show ~10×)."
  echo
  echo "![Throughput against archive size](performance.png)"
  echo
  echo "## 5. Footprint of the Windows program"
  echo
  if [ -n "$exe_size" ]; then
    echo "\`$(basename "$EXE")\` (windows preset, MinSizeRel, statically linked, resources included:"
    echo "icon, manifest and version, .rsrc $rsrc bytes): $exe_size bytes, stripped: $stripped."
  else
    echo "The Windows program was not built ($EXE); build the windows preset first."
  fi
  echo
  echo "CPU use while waiting for the installer, measured natively on the same loop"
  echo "(\`bench/app/InstallerWaitBench.cpp\`: process messages, sleep 10 ms, ask for the exit code;"
  echo "POSIX platform of the program) around a child that runs 10 s: $WCPU s of CPU in $WSEC s"
  echo "over $WPASSES passes = $WPCT % of one core."
  echo
  echo "## 6. Body read through the I/O handler against plain recv"
  echo
  echo "\`bench/net/ReadStreamBench.cpp\` (Google Benchmark): a loopback peer sends 1 GiB; it is read"
  echo "once by \`ReadStream\` into a memory stream (32768-byte receives and work events) and once by"
  echo "plain \`recv\` into a buffer of the full size, alternately, 6 times each."
  echo
  echo "| Plain read | Responsive waiting | ReadStream | Plain recv | Ratio |"
  echo "|---|---|---|---|---|"
  echo "$net_rows"
  if [ -n "$resume_section" ]; then
    echo
    echo "$resume_section"
  fi
  if [ -n "$windows_section" ]; then
    echo
    echo "$windows_section"
  fi
  if [ -f "$ROOT/bench/performance-notes.md" ]; then
    echo
    cat "$ROOT/bench/performance-notes.md"
  fi
} >"$DOC"
log "done in $(($(date +%s) - started)) s"
