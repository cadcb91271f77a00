# Builds targets of a source tree with the windows preset for the benchmark's port ($PORT), with
# or without the benchmarks ($BENCH_OPTION ON or OFF), into a folder; the log goes beside it.
# Sourced by bench/run-windows.sh and bench/run-windows-files.sh.
build_windows() {  # <source tree> <build folder> <targets...>
  local src=$1 dir=$2
  shift 2
  mkdir -p "$dir"
  if ! { (cd "$src" && cmake --preset windows -B "$dir" -DPLENWICK_LOCAL_PORT="$PORT" \
            -DPLENWICK_BUILD_TESTS=OFF -DPLENWICK_BUILD_BENCH="$BENCH_OPTION" ${CMAKE_EXTRA:-}) &&
         cmake --build "$dir" -j "$JOBS" --target "$@"; } >"$dir.log" 2>&1; then
    tail -n 40 "$dir.log"
    echo "build in $dir failed; full log: $dir.log" >&2
    exit 1
  fi
}
