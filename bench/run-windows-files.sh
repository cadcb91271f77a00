#!/usr/bin/env bash
# Measures the Windows program's extraction of many small files where its users run it (here
# under Wine) and writes the figures into the "Windows program: many small files" section of
# docs/performance.md: the real program, built for nginx on loopback, downloading and unpacking
# an archive of 20,000 small files in 2,000 folders (bench/zip/make_many_files.py), its
# extraction phase timed by its status line; in the same rounds, a plain loop built here
# (bench/windows/ManyFilesLoop.cpp) writing the same tree under the same Wine.
# Not part of CI; installs what it needs. Builds its own Windows tree for the bench port.
# Usage: bench/run-windows-files.sh
#   ROUNDS=5, PORT=18476, WBUILD=build/windows-bench, WORK=$WBUILD/bench-windows-files
#   BASELINE=<git revision>  also builds that revision's program and measures it in the same
#                            rounds as "before"
#   DOC=docs/performance.md  the page whose section is replaced
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
ROUNDS=${ROUNDS:-5}
PORT=${PORT:-18476}
WBUILD=${WBUILD:-$ROOT/build/windows-bench}
WORK=${WORK:-$WBUILD/bench-windows-files}
DOC=${DOC:-$ROOT/docs/performance.md}
BASELINE=${BASELINE:-}
started=$(date +%s)
note() { echo "[$(($(date +%s) - started))s] $*" >&2; }

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" time
ensure_display
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

source "$ROOT/bench/windows/build_windows.sh"
note "building the Windows program for port $PORT and the reference loop ($WBUILD)"
BENCH_OPTION=ON build_windows "$ROOT" "$WBUILD" plenwick_setup_local test_installer wintool \
  many_files_loop
archive_key=$(sed -n 's/^PLENWICK_LOCAL_ARCHIVE_KEY:FILEPATH=//p' "$WBUILD/CMakeCache.txt")
programs=()
commit=$(git -C "$ROOT" rev-parse --short HEAD)
git -C "$ROOT" diff --quiet HEAD -- src 2>/dev/null || commit="$commit (with uncommitted changes)"
if [ -n "$BASELINE" ]; then
  base=$(git -C "$ROOT" rev-parse --short "$BASELINE")
  note "building the program of $base as the baseline"
  rm -rf "$WORK/baseline-src"
  mkdir -p "$WORK/baseline-src"
  git -C "$ROOT" archive "$base" | tar -x -C "$WORK/baseline-src"
  BENCH_OPTION=OFF build_windows "$WORK/baseline-src" "$WORK/baseline-build" plenwick_setup_local
  programs+=(--program "before ($base)=$WORK/baseline-build/local/Plenwick-setup_x64-stable.exe")
fi
programs+=(--program "after ($commit)=$WBUILD/local/Plenwick-setup_x64-stable.exe")

note "$ROUNDS rounds"
mkdir -p "$WORK"
python3 "$ROOT/bench/windows/many_files_bench.py" --work "$WORK" --port "$PORT" \
  --prefix "$WBUILD/wineprefix-bench" --wintool "$WBUILD/tools/wintool/wintool.exe" \
  --reference "$WBUILD/bench/windows/many_files_loop.exe" \
  --installer "$WBUILD/tools/installer/Install.exe" --rounds "$ROUNDS" \
  --archive-key "$archive_key" "${programs[@]}" >"$WORK/result.json"
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

note "writing the many-small-files section of $DOC"
section=$WORK/section.md
python3 - "$WORK/result.json" >"$section" <<PY
import json, statistics, sys
data = json.load(open(sys.argv[1]))
res = data["results"]
med = lambda rows: statistics.median(r["extract_s"] for r in rows)
loop = med(res["loop"])
def round_ratio(rows):
    return statistics.median(a["extract_s"] / b["extract_s"] for a, b in zip(rows, res["loop"]))
print("## Windows program: many small files")
print()
print("Measured by \`bench/run-windows-files.sh\` in one run: medians of %d rounds, the subjects" % data["rounds"])
print("in rotating order within a round.")
print()
print("- Date: $(date -u '+%Y-%m-%d %H:%M UTC')")
print("- Commit: $commit")
print("- Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"
      " load average $load_start at the start and $load_end at the end (the machine is shared:"
      " compare ratios)")
print("- $(wine --version 2>/dev/null), $(nginx -v 2>&1 | cut -d' ' -f3), Xvfb display")
print()
print("Archive: %d bytes, 20,000 files of 200 to 4,000 bytes (deflated) in 2,000 folders, with the" % data["archive_bytes"])
print("test installer (\`bench/zip/make_many_files.py\`). The program is the shipped one built for")
print("the local server; its extraction phase is timed by its status line as the user sees it")
print('(\`wintool watch\`, read every 5 ms), from "Extracting..." to "Initiating installation')
print('procedure...": reading, checking and writing the entries. The reference loop')
print("(\`bench/windows/ManyFilesLoop.cpp\`) writes the same tree under the same Wine from memory,")
print("one \`CreateDirectoryW\` per folder and \`CreateFileW\`, one \`WriteFile\` and \`CloseHandle\` per")
print("file, timed by its own clock.")
print()
print("| Subject | Extraction | Per file | Ratio to the loop (medians) | Ratio in the same round (median) |")
print("|---|---|---|---|---|")
for name, rows in res.items():
    m = med(rows)
    if name == "loop":
        print("| reference loop | %.3f s | %.0f µs | 1.00× | 1.00× |" % (m, m / 20000 * 1e6))
    else:
        print("| program, %s | %.3f s | %.0f µs | %.2f× | %.2f× |" % (name, m, m / 20000 * 1e6,
              m / loop, round_ratio(rows)))
print()
after = [k for k in res if k.startswith("after")][0]
ratio = max(med(res[after]) / loop, round_ratio(res[after]))
print("Target: the program's extraction ≤ 1.3× the loop under the same Wine: %.2f× (the higher of" % ratio)
print("the two ratios), %s." % ("met" if ratio <= 1.3 else "missed"))
print()
print("Every round, in seconds:")
print()
for name, rows in res.items():
    print("- %s: %s" % (name, ", ".join("%.3f" % r["extract_s"] for r in rows)))
PY

# Replaces the section (up to the next "## " heading), or puts it before the notes.
python3 - "$DOC" "$section" <<'PY'
import sys
doc, section = open(sys.argv[1]).read().split("\n"), open(sys.argv[2]).read().rstrip("\n").split("\n")
heading = section[0]
try:
    start = doc.index(heading)
    end = next((i for i in range(start + 1, len(doc)) if doc[i].startswith("## ")), len(doc))
    doc[start:end] = section + [""]
except ValueError:
    at = doc.index("## Findings and changes") if "## Findings and changes" in doc else len(doc)
    doc[at:at] = section + [""]
open(sys.argv[1], "w").write("\n".join(doc))
PY
cat "$section"
note "done"
