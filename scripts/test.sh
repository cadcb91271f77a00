#!/usr/bin/env bash
# Runs every test: the formatting check; native unit and integration tests; the same suite under
# ASan + UBSan and the socket tests under valgrind; every fuzz target for a bounded time; then the
# Windows tests and the end-to-end runs under Wine against a local nginx; then the release, built,
# compared with the test build's program, signed with a throwaway certificate and checked. Both
# builds treat warnings as errors.
#
#   JOBS                 parallel compiles and native tests, default the core count
#   PLENWICK_WINE_JOBS   Windows tests side by side, default twice JOBS: the end-to-end scenarios
#                        run in network namespaces of their own and mostly wait
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

# Minutes and seconds since the run began, at each part: where CI's time goes.
elapsed() { printf '%d min %02d s' $((SECONDS / 60)) $((SECONDS % 60)); }
minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }

# Each part's name and time, printed at the end, also when a part fails.
part_names=()
part_seconds=()
part_began=
part() {  # <name>: ends the running part and begins the next
  part_done
  log "$1 (at $(elapsed))"
  part_names+=("$1")
  part_began=$SECONDS
}
part_done() {
  [ -n "$part_began" ] || return 0
  part_seconds+=($((SECONDS - part_began)))
  part_began=
}
# At the end, however the run ends: the parts' times, and the private display stopped.
on_exit() {
  local status=$?
  summary "$status"
  [ -z "${XVFB_PID:-}" ] || kill "$XVFB_PID" 2>/dev/null || true
}
summary() {  # <exit status>
  local status=$1
  part_done
  local i
  log "times of the parts"
  for i in "${!part_names[@]}"; do
    printf '   %-52s %s\n' "${part_names[$i]}" "$(minutes "${part_seconds[$i]:-0}")"
  done
  if [ "$status" -eq 0 ]; then
    log "all tests passed in $(elapsed)"
  else
    log "FAILED in part \"${part_names[-1]:-set-up}\" after $(elapsed)"
  fi
}
trap on_exit EXIT

part "packages"
ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${CHECK_PACKAGES[@]}" \
  "${RELEASE_PACKAGES[@]}"

part "formatting"
bash scripts/check-format.sh

part "native build and tests"
# The benchmarks are not run here, so they are not built either.
configure_and_build native -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DPLENWICK_BUILD_BENCH=OFF
ctest --test-dir build/native -j "$JOBS" --output-on-failure --timeout 600

part "sanitizers"
bash scripts/sanitize.sh

part "fuzzing"
# Half a minute per fuzz target here, which keeps the whole run within CI's time; scripts/fuzz.sh
# on its own gives each a minute.
PLENWICK_FUZZ_SECONDS=${PLENWICK_FUZZ_SECONDS:-30} bash scripts/fuzz.sh

part "Windows build"
ensure_display
trap on_exit EXIT  # ensure_display set a trap of its own, which on_exit does too
ensure_locales
# Built in another time zone and locale than the release check's build, which compares its
# program with this build's local one (scripts/release-check.sh).
TZ=Pacific/Chatham LC_ALL=C.UTF-8 \
  configure_and_build windows -DPLENWICK_BUILD_TESTS=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

part "Windows tests and end-to-end runs under Wine"
ctest --test-dir build/windows -j "${PLENWICK_WINE_JOBS:-$((JOBS * 2))}" --output-on-failure \
  --timeout 900

part "release check"
bash scripts/release-check.sh
