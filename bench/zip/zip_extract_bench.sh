#!/usr/bin/env bash
# Times ExtractAll of a ~150 MB archive held in memory against `unzip -qo` and `bsdtar -xf`
# extracting the same archive from a cached file, side by side in one run, and reports the
# medians and ratios, and how much memory extraction took beyond the archive itself.
# Usage: bench/zip/zip_extract_bench.sh [rounds]   (after building the native preset)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
ROUNDS=${1:-5}
BUILD=${BUILD:-$ROOT/build/native}
DRIVER=$BUILD/bench/zip/zip_extract_bench
WORK=${WORK:-$BUILD/bench-zip}
ARCHIVE=$WORK/bench.zip

[ -x "$DRIVER" ] || { echo "build the native preset first ($DRIVER missing)" >&2; exit 1; }
mkdir -p "$WORK"
if [ ! -f "$ARCHIVE" ]; then
  echo "making the benchmark archive once (in $WORK)"
  rm -rf "$WORK/tree"
  python3 "$ROOT/bench/zip/make_bench_tree.py" "$WORK/tree"
  (cd "$WORK/tree" && zip -q -r -X "$ARCHIVE" .)
  rm -rf "$WORK/tree"
fi
ls -l "$ARCHIVE" | awk '{printf "archive: %.1f MB\n", $5 / 1048576}'
cat "$ARCHIVE" >/dev/null  # into the page cache

now() { date +%s.%N; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a - b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
out() { echo "$WORK/out-$1"; }
prepare() {  # removes the last output and flushes written pages, outside the timing
  rm -rf "$(out "$1")"
  mkdir -p "$(out "$1")"
  sync
}

declare -A times
ours_rss=0
run() {
  local tool=$1 t0 t1 line
  prepare "$tool"
  case $tool in
    unzip)
      t0=$(now); unzip -qo "$ARCHIVE" -d "$(out unzip)"; t1=$(now)
      times[unzip]+="$(minus "$t1" "$t0") " ;;
    bsdtar)
      t0=$(now); bsdtar -xf "$ARCHIVE" -C "$(out bsdtar)"; t1=$(now)
      times[bsdtar]+="$(minus "$t1" "$t0") " ;;
    ours)
      line=$("$DRIVER" "$ARCHIVE" "$(out ours)")
      times[ours]+="$(echo "$line" | sed -n 's/.*extract_seconds=\([0-9.]*\).*/\1/p') "
      ours_rss=$(echo "$line" | sed -n 's/.*rss_growth_kib=\([0-9]*\).*/\1/p') ;;
  esac
}

tools=(unzip bsdtar ours)
for ((r = 0; r < ROUNDS; r++)); do
  # Rotate the order so that no tool always runs right after the same other one.
  for ((k = 0; k < 3; k++)); do
    run "${tools[$(((r + k) % 3))]}"
  done
  if [ "$r" -eq 0 ]; then
    diff -r "$(out unzip)" "$(out ours)" >/dev/null || { echo "output differs from unzip's" >&2; exit 1; }
  fi
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
mu=$(echo "${times[unzip]}" | median)
mb=$(echo "${times[bsdtar]}" | median)
mo=$(echo "${times[ours]}" | median)
printf 'rounds: %d (median wall time)\n' "$ROUNDS"
printf '  unzip -qo        %.3f s\n' "$mu"
printf '  bsdtar -xf       %.3f s\n' "$mb"
printf '  ExtractAll       %.3f s   (archive in memory)\n' "$mo"
printf 'ratio to unzip:   %s\n' "$(ratio "$mo" "$mu")"
printf 'ratio to bsdtar:  %s\n' "$(ratio "$mo" "$mb")"
printf 'peak memory growth during extraction: %d KiB\n' "$ours_rss"
rm -rf "$(out unzip)" "$(out bsdtar)" "$(out ours)"
