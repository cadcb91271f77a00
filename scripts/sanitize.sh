#!/usr/bin/env bash
# Runs the native test suite under AddressSanitizer + UndefinedBehaviorSanitizer (the `asan`
# preset), then the test programs that use real sockets under valgrind memcheck (on the plain
# native build). Any leak, invalid access or undefined behaviour fails the run.
#
#   PLENWICK_VALGRIND_TESTS   test programs for valgrind, default "net_tests http_tests
#                             http_client_tests http_proxy_client_tests"; programs that are not
#                             built (yet) are skipped
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

log "ASan + UBSan build and tests"
configure_and_build asan
# The asan test preset (CMakePresets.json): leaks are reported at exit and fail the test;
# undefined behaviour stops at the first report. The 5 GiB road (label "large") runs once, in the
# plain native suite.
ctest --preset asan -j "$JOBS"

log "valgrind memcheck"
# Only the programs valgrind runs are built, in the native tree as it is configured (the test
# run's has no benchmarks); a tree not yet configured gets the native preset.
[ -f build/native/CMakeCache.txt ] || cmake --preset native >build/native-configure.log
valgrind_tests=${PLENWICK_VALGRIND_TESTS:-net_tests http_tests http_client_tests \
  http_proxy_client_tests}
targets=$(cmake --build build/native --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
wanted=()
for name in $valgrind_tests; do
  grep -qx "$name" <<<"$targets" && wanted+=("$name")
done
if [ ${#wanted[@]} -gt 0 ] &&
  ! cmake --build build/native -j "$JOBS" --target "${wanted[@]}" >build/valgrind-build.log 2>&1
then
  tail -n 60 build/valgrind-build.log
  echo "build of ${wanted[*]} failed; full log: build/valgrind-build.log" >&2
  exit 1
fi
ran=0
for name in $valgrind_tests; do
  bin=$(find build/native/tests -maxdepth 3 -type f -name "$name" -perm -u+x | head -n 1)
  if [ -z "$bin" ]; then
    log "valgrind: $name is not built here, skipped"
    continue
  fi
  log "valgrind: $name"
  valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --track-fds=no --num-callers=30 \
    "$bin" --gtest_brief=1
  ran=$((ran + 1))
done
log "sanitizer runs passed ($ran program(s) under valgrind)"
