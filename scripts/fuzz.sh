#!/usr/bin/env bash
# Builds the fuzz targets (clang, ASan + UBSan) and runs every one for a bounded time, starting
# from its committed seed corpus. Fails when any target crashes, leaks, times out on an input or
# breaks one of its checks; the input is kept under build/fuzz/runs/<target>/.
#
#   scripts/fuzz.sh [target...]        (default: every fuzz_* target)
#   PLENWICK_FUZZ_SECONDS              time per target, default 60
#   PLENWICK_FUZZ_JOBS                 targets run side by side, default JOBS (the core count)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

seconds=${PLENWICK_FUZZ_SECONDS:-60}
jobs=${PLENWICK_FUZZ_JOBS:-$JOBS}

log "fuzz build"
configure_and_build fuzz

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for bin in build/fuzz/fuzz/fuzz_*; do
    [ -x "$bin" ] && targets+=("$(basename "$bin")")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets built" >&2; exit 1; }

runs="$ROOT/build/fuzz/runs"

# Runs one target; its output goes to runs/<target>/fuzz.log, its exit status to .../status.
run_target() {
  local name=$1
  local dir="$runs/$name"
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/tmp"
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$dir/")
  [ -f "fuzz/dict/$name.dict" ] && args+=(-dict="$ROOT/fuzz/dict/$name.dict")
  local status=0
  # New inputs go to the scratch corpus; the committed seeds stay as they are.
  TMPDIR="$dir/tmp" "$ROOT/build/fuzz/fuzz/$name" "${args[@]}" "$dir/corpus" \
    "$ROOT/fuzz/corpus/$name" >"$dir/fuzz.log" 2>&1 || status=$?
  echo "$status" >"$dir/status"
  rm -rf "$dir/tmp"
}

log "fuzzing ${#targets[@]} targets, ${seconds} s each, ${jobs} at a time"
running=0
for name in "${targets[@]}"; do
  [ -x "build/fuzz/fuzz/$name" ] || { echo "no fuzz target $name" >&2; exit 1; }
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$name" &
  running=$((running + 1))
done
wait

failed=0
printf '%-20s %12s %8s %8s %8s  %s\n' target executions cov ft corpus result
for name in "${targets[@]}"; do
  dir="$runs/$name"
  status=$(cat "$dir/status" 2>/dev/null || echo 1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/fuzz.log" | tail -n 1)
  # The last status line: "#N  DONE  cov: C ft: F corp: K/SIZE ...".
  line=$(grep -E '^#[0-9]+.*cov: ' "$dir/fuzz.log" | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$line")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$line")
  result=ok
  if [ "$status" != 0 ]; then
    result="FAILED (exit $status), log: $dir/fuzz.log"
    failed=1
  fi
  printf '%-20s %12s %8s %8s %8s  %s\n' "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
    "${corp:-?}" "$result"
done

if [ "$failed" -ne 0 ]; then
  for name in "${targets[@]}"; do
    dir="$runs/$name"
    [ "$(cat "$dir/status" 2>/dev/null || echo 1)" = 0 ] && continue
    echo "---- $name"
    grep -E -A 30 'ERROR|check failed|runtime error|Test unit written' "$dir/fuzz.log" | head -n 60
  done
  exit 1
fi
log "fuzzing passed"
