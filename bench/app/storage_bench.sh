#!/usr/bin/env bash
# An archive held in memory against one held in a temporary file (as the program holds an
# archive past its memory limit), natively, side by side in one run:
#   - download (Head + Get) of 100 MiB and of 1 GiB from nginx on loopback: the driver into
#     memory, the driver into a temporary file in the temporary folder, `curl -o` a file on
#     tmpfs (which holds the body in memory too) and `curl -o /dev/null`; throughput, CPU time
#     and peak memory;
#   - extraction of a mixed archive of about 1 GiB from memory and from a temporary file;
#   - the whole road of that archive file-backed (road_bench file): its peak memory.
# Each round runs the subjects in rotating order. Not part of CI; the inputs are made once and
# kept in the build folder (about 3 GB).
# Usage: bench/app/storage_bench.sh [rounds]   (after building the native preset)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
ROUNDS=${1:-5}
BUILD=${BUILD:-$ROOT/build/native}
WORK=${WORK:-$BUILD/bench-storage}
PORT=${PORT:-18477}
SHM=${TMPFS:-/dev/shm}/plenwick-storage-bench.out
MIB=1048576
DL=$BUILD/bench/http/http_download_bench
EX=$BUILD/bench/zip/zip_extract_bench
ROAD=$BUILD/bench/app/road_bench
for d in "$DL" "$EX" "$ROAD"; do
  [ -x "$d" ] || { echo "build the native preset first ($d missing)" >&2; exit 1; }
done

mkdir -p "$WORK/root/periodic"
for mib in 100 1024; do
  f=$WORK/root/periodic/body_$mib.zip
  [ -f "$f" ] || head -c $((mib * MIB)) /dev/urandom >"$f"
done
BENCHZIP=$BUILD/bench-zip/bench.zip  # the extraction benchmark's archive
MIXED=$WORK/root/periodic/mixed_1024.zip
if [ ! -f "$MIXED" ]; then
  if [ ! -f "$BENCHZIP" ]; then
    log "making the ~150 MB mixed tree and its archive once"
    mkdir -p "$(dirname "$BENCHZIP")"
    rm -rf "$WORK/make"
    python3 "$ROOT/bench/zip/make_bench_tree.py" "$WORK/make" >/dev/null
    (cd "$WORK/make" && zip -q -r -X "$BENCHZIP" .)
    rm -rf "$WORK/make"
  fi
  log "making the mixed 1 GiB archive once"
  rm -rf "$WORK/tree"
  unzip -qo "$BENCHZIP" -d "$WORK/tree"
  python3 "$ROOT/bench/make_sized_archive.py" "$BENCHZIP" "$WORK/tree" $((1024 * MIB)) "$MIXED" \
    >/dev/null
  rm -rf "$WORK/tree"
fi
for f in "$WORK"/root/periodic/*.zip; do cat "$f" >/dev/null; done  # page cache

"$ROOT/tools/distserver/distserver.sh" start "$WORK/state" "$PORT" "$WORK/root" 0
cleanup() {
  "$ROOT/tools/distserver/distserver.sh" stop "$WORK/state" || true
  rm -rf "$SHM" "$WORK/out" "$WORK/road"
}
trap cleanup EXIT
url() { echo "http://127.0.0.1:$PORT/periodic/$1.zip"; }

# "<transfer s> <CPU s> <peak RSS KiB>" of one download by one subject.
download() {
  local subject=$1 u=$2
  case $subject in
    memory | file)
      read -r s _ kib cpu < <("$DL" "$u" "$subject")
      echo "$s $cpu $kib"
      ;;
    curl-tmpfs | curl-null)
      local out=/dev/null
      [ "$subject" = curl-tmpfs ] && out=$SHM
      local s
      s=$(/usr/bin/time -o "$WORK/time.txt" -f "%U %S %M" curl -s -o "$out" -w '%{time_total}' "$u")
      rm -f "$SHM"
      echo "$s $(awk '{print $1 + $2, $3}' "$WORK/time.txt")"
      ;;
  esac
}

subjects=(memory file curl-tmpfs curl-null)
declare -A secs cpus rss
for mib in 100 1024; do
  u=$(url "body_$mib")
  for ((r = 0; r < ROUNDS; r++)); do
    for ((k = 0; k < ${#subjects[@]}; k++)); do
      t=${subjects[$(((r + k) % ${#subjects[@]}))]}
      read -r s c m < <(download "$t" "$u")
      secs[$mib,$t]+="$s " cpus[$mib,$t]+="$c " rss[$mib,$t]+="$m "
    done
  done
done

log "extraction of the mixed 1 GiB archive, from memory and from a temporary file"
declare -A ex_wall ex_cpu
for ((r = 0; r < ROUNDS; r++)); do
  for t in $( ((r % 2)) && echo "file memory" || echo "memory file"); do
    rm -rf "$WORK/out" && mkdir -p "$WORK/out" && sync
    line=$("$EX" "$MIXED" "$WORK/out" "$t")
    ex_wall[$t]+="$(echo "$line" | sed -n 's/.*extract_seconds=\([0-9.]*\).*/\1/p') "
    ex_cpu[$t]+="$(echo "$line" | sed -n 's/.*extract_cpu_seconds=\([0-9.]*\).*/\1/p') "
  done
done
rm -rf "$WORK/out"

log "the whole road of the mixed 1 GiB archive through a temporary file"
mkdir -p "$WORK/road"
road=$(cd "$WORK/road" && "$ROAD" "$(url mixed_1024)" file)
road_rss=$(echo "$road" | sed -n 's/.*peak_rss_kib=\([0-9]*\).*/\1/p')
road_s=$(echo "$road" | sed -n 's/.*road_seconds=\([0-9.]*\).*/\1/p')

printf '\nrounds: %d, medians; peak RSS the largest of the rounds\n' "$ROUNDS"
printf '%-10s %-12s %10s %12s %10s %12s\n' size subject transfer throughput CPU "peak RSS"
for mib in 100 1024; do
  for t in "${subjects[@]}"; do
    s=$(echo "${secs[$mib,$t]}" | median)
    c=$(echo "${cpus[$mib,$t]}" | median)
    m=$(echo "${rss[$mib,$t]}" | maxof)
    printf '%-10s %-12s %9.3fs %8.0f MiB/s %9.2fs %9.1f MiB\n' "$mib MiB" "$t" "$s" \
      "$(awk -v m="$mib" -v s="$s" 'BEGIN { print m / s }')" "$c" \
      "$(awk -v k="$m" 'BEGIN { print k / 1024 }')"
  done
  mem=$(echo "${secs[$mib,memory]}" | median)
  fil=$(echo "${secs[$mib,file]}" | median)
  shm=$(echo "${secs[$mib,curl-tmpfs]}" | median)
  printf '%s MiB: file/memory throughput %s (target >= 0.90), file/curl-tmpfs %s, memory/curl-tmpfs %s\n' \
    "$mib" "$(ratio "$mem" "$fil")" "$(ratio "$shm" "$fil")" "$(ratio "$shm" "$mem")"
done
wm=$(echo "${ex_wall[memory]}" | median) wf=$(echo "${ex_wall[file]}" | median)
cm=$(echo "${ex_cpu[memory]}" | median) cf=$(echo "${ex_cpu[file]}" | median)
printf 'extraction: memory %.3f s (CPU %.3f s), file %.3f s (CPU %.3f s): file/memory %s (target <= 1.10), CPU %s\n' \
  "$wm" "$cm" "$wf" "$cf" "$(ratio "$wf" "$wm")" "$(ratio "$cf" "$cm")"
printf 'whole road through a temporary file: %.3f s, peak RSS %.1f MiB for a %.1f MiB archive\n' \
  "$road_s" "$(awk -v k="$road_rss" 'BEGIN { print k / 1024 }')" \
  "$(awk -v b="$(stat -c %s "$MIXED")" 'BEGIN { print b / 1048576 }')"
