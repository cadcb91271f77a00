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
# Leaks are reported at exit and fail the test; undefined behaviour stops at the first report.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The 5 GiB road (label "large") runs once, in the plain native suite.
ctest --test-dir build/asan -j "$JOBS" --output-on-failure --timeout 900 -LE large
unset ASAN_OPTIONS UBSAN_OPTIONS

log "valgrind memcheck"
configure_and_build native
ran=0
for name in ${PLENWICK_VALGRIND_TESTS:-net_tests http_tests http_client_tests http_proxy_client_tests}; do
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
