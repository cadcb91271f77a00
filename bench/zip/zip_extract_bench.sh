#!/usr/bin/env bash
# Times ExtractAll of a ~150 MB archive (or the one ARCHIVE names) held in memory against
# `unzip -qo` and `bsdtar -xf` extracting the same archive from a cached file, side by side in
# one run, and reports the medians and ratios (wall time, and CPU time, which a busy machine
# disturbs less), and how much memory extraction took beyond the archive itself.
# With BEFORE=<another build's zip_extract_bench> that driver runs in the same rotation, so
# that a change is measured against the code before it side by side.
# Usage: bench/zip/zip_extract_bench.sh [rounds]   (after building the native preset)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
ROUNDS=${1:-5}
BUILD=${BUILD:-$ROOT/build/native}
DRIVER=$BUILD/bench/zip/zip_extract_bench
WORK=${WORK:-$BUILD/bench-zip}
ARCHIVE=${ARCHIVE:-$WORK/bench.zip}

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

out() { echo "$WORK/out-$1"; }

declare -A wall cpu
ours_rss=0
run() {
  local tool=$1 line
  # Remove the last output and flush written pages, outside the timing.
  rm -rf "$(out "$tool")"
  mkdir -p "$(out "$tool")"
  sync
  if [ "$tool" = ours ] || [ "$tool" = before ]; then
    local driver=$DRIVER
    [ "$tool" = before ] && driver=$BEFORE
    line=$("$driver" "$ARCHIVE" "$(out "$tool")")
    wall[$tool]+="$(echo "$line" | sed -n 's/.*extract_seconds=\([0-9.]*\).*/\1/p') "
    cpu[$tool]+="$(echo "$line" | sed -n 's/.*extract_cpu_seconds=\([0-9.]*\).*/\1/p') "
    if [ "$tool" = ours ]; then
      ours_rss=$(echo "$line" | sed -n 's/.*rss_growth_kib=\([0-9]*\).*/\1/p')
    fi
    return
  fi
  local TIMEFORMAT='%R %U %S' t
  if [ "$tool" = unzip ]; then
    t=$({ time unzip -qo "$ARCHIVE" -d "$(out unzip)" >/dev/null; } 2>&1)
  else
    t=$({ time bsdtar -xf "$ARCHIVE" -C "$(out bsdtar)" >/dev/null; } 2>&1)
  fi
  read -r w u s <<<"$t"
  wall[$tool]+="$w "
  cpu[$tool]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
}

tools=(unzip bsdtar ours)
if [ -n "${BEFORE:-}" ]; then tools+=(before); fi
n=${#tools[@]}
for ((r = 0; r < ROUNDS; r++)); do
  # Rotate the order so that no tool always runs right after the same other one.
  for ((k = 0; k < n; k++)); do
    run "${tools[$(((r + k) % n))]}"
  done
  if [ "$r" -eq 0 ]; then
    diff -r "$(out unzip)" "$(out ours)" >/dev/null || { echo "output differs from unzip's" >&2; exit 1; }
  fi
done

printf 'rounds: %d, medians        wall       cpu (user + sys)\n' "$ROUNDS"
declare -A wm cm
for t in "${tools[@]}"; do
  wm[$t]=$(echo "${wall[$t]}" | median)
  cm[$t]=$(echo "${cpu[$t]}" | median)
done
printf '  unzip -qo                %6.3f s   %6.3f s\n' "${wm[unzip]}" "${cm[unzip]}"
printf '  bsdtar -xf               %6.3f s   %6.3f s\n' "${wm[bsdtar]}" "${cm[bsdtar]}"
printf '  ExtractAll (in memory)   %6.3f s   %6.3f s\n' "${wm[ours]}" "${cm[ours]}"
if [ -n "${BEFORE:-}" ]; then
  printf '  ExtractAll before        %6.3f s   %6.3f s\n' "${wm[before]}" "${cm[before]}"
fi
printf 'ratio to unzip:            %6s     %6s\n' "$(ratio "${wm[ours]}" "${wm[unzip]}")" \
  "$(ratio "${cm[ours]}" "${cm[unzip]}")"
printf 'ratio to bsdtar:           %6s     %6s\n' "$(ratio "${wm[ours]}" "${wm[bsdtar]}")" \
  "$(ratio "${cm[ours]}" "${cm[bsdtar]}")"
if [ -n "${BEFORE:-}" ]; then
  printf 'ratio to before:           %6s     %6s\n' "$(ratio "${wm[ours]}" "${wm[before]}")" \
    "$(ratio "${cm[ours]}" "${cm[before]}")"
fi
printf 'peak memory growth during extraction: %d KiB\n' "$ours_rss"
rm -rf "$(out unzip)" "$(out bsdtar)" "$(out ours)" "$(out before)"
