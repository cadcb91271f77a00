#!/usr/bin/env bash
# Measures the Windows program where its users run it (here under Wine) and writes the figures
# into the "Windows program" section of docs/performance.md:
#   - the real program, built for nginx on loopback, downloading and unpacking a stored archive
#     of about $MIB MiB: its download phase (nginx's own time for the GET, and the status line
#     from "Downloading..." to "Extracting...") and its extraction phase (status line from
#     "Extracting..." to "Initiating installation procedure..."), with the CPU time of its
#     process and of the wineserver;
#   - in the same rounds, the same program built without archive keys, which fetches no
#     signature and checks nothing: what the archive check costs (the archive is signed with the
#     build's local archive key);
#   - in the same rounds, a plain WinSock loop built here (bench/windows/WinsockRecvLoop.cpp:
#     32768-byte recv into memory of the body's length) under the same Wine, with a select
#     before each recv and without, timed by nginx the same way.
# The programs are timed from outside: the shipped program has no timing of its own.
# Not part of CI; installs what it needs. Builds its own Windows tree for the bench port.
# Usage: bench/run-windows.sh
#   ROUNDS=3, MIB=300, PORT=18475, WBUILD=build/windows-bench, WORK=$WBUILD/bench-windows
#   BASELINE=<git revision>  also builds that revision's program for the same port and measures
#                            it in the same rounds as "before" (e.g. the commit before a change)
#   FILE_BACKED=1            also measures the program built to hold at most 1 MiB in memory,
#                            which takes the archive through a temporary file
#   DOC=docs/performance.md  the page whose "Windows program" section is replaced
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
ROUNDS=${ROUNDS:-3}
MIB=${MIB:-300}
PORT=${PORT:-18475}
WBUILD=${WBUILD:-$ROOT/build/windows-bench}
WORK=${WORK:-$WBUILD/bench-windows}
DOC=${DOC:-$ROOT/docs/performance.md}
BASELINE=${BASELINE:-}
started=$(date +%s)
note() { echo "[$(($(date +%s) - started))s] $*" >&2; }

ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" time
ensure_display
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

# --- the programs -------------------------------------------------------------------------------
source "$ROOT/bench/windows/build_windows.sh"
note "building the Windows program for port $PORT and the reference loop ($WBUILD)"
BENCH_OPTION=ON build_windows "$ROOT" "$WBUILD" plenwick_setup_local test_installer wintool \
  winsock_recv_loop plenwick_setup_local_unchecked ${FILE_BACKED:+plenwick_setup_local_small_memory}
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
programs+=(--program "without the archive check=$WBUILD/local-unchecked/Plenwick-setup_x64-stable.exe")
if [ -n "${FILE_BACKED:-}" ]; then
  programs+=(--program "after, through a temporary file ($commit)=$WBUILD/local-small-memory/Plenwick-setup_x64-stable.exe")
fi

# --- the runs -----------------------------------------------------------------------------------
note "$ROUNDS rounds with a $MIB MiB archive"
mkdir -p "$WORK"
python3 "$ROOT/bench/windows/windows_program_bench.py" --work "$WORK" --port "$PORT" \
  --prefix "$WBUILD/wineprefix-bench" --wintool "$WBUILD/tools/wintool/wintool.exe" \
  --reference "$WBUILD/bench/windows/winsock_recv_loop.exe" \
  --installer "$WBUILD/tools/installer/Install.exe" --mib "$MIB" --rounds "$ROUNDS" \
  --screenshots "$WORK/shots" --archive-key "$archive_key" "${programs[@]}" >"$WORK/result.json"
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

# --- the report ---------------------------------------------------------------------------------
note "writing the Windows program section of $DOC"
section=$WORK/section.md
python3 - "$WORK/result.json" >"$section" <<PY
import json, statistics, sys
data = json.load(open(sys.argv[1]))
n = data["archive_bytes"]
mib = 1 << 20
res = data["results"]
med = lambda rows, key: statistics.median(r[key] for r in rows)
select_s = med(res["winsock-select"], "server_s")
plain_s = med(res["winsock-plain"], "server_s")
print("## Windows program")
print()
print("Measured by \`bench/run-windows.sh\` in one run: medians of %d rounds, the subjects in" % data["rounds"])
print("rotating order within a round.")
print()
print("- Date: $(date -u '+%Y-%m-%d %H:%M UTC')")
print("- Commit: $commit")
print("- Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"
      " load average $load_start at the start and $load_end at the end (the machine is shared:"
      " compare ratios)")
print("- $(wine --version 2>/dev/null), $(nginx -v 2>&1 | cut -d' ' -f3), Xvfb display")
print()
print("Archive: %d bytes (%.0f MiB), stored, served by nginx (sendfile) from the page cache on" % (n, n / mib))
print("127.0.0.1. The program is the shipped one built for the local server, started in a fresh")
print("folder; it downloads, unpacks, starts the test installer (which exits with 0) and removes")
print("the folder. It is timed from outside: the GET by nginx's \`\$request_time\`, the phases by")
print("its status line as the user sees it (\`wintool watch\`, read every 5 ms): download from")
print('"Downloading..." to "Extracting...", extraction from "Extracting..." to "Initiating')
print('installation procedure...". The reference loop (\`bench/windows/WinsockRecvLoop.cpp\`,')
print("32768-byte \`recv\` into memory of the body's length, with or without a \`select\` of 10 ms")
print("slices before each) runs under the same Wine and is timed by nginx the same way. CPU: the")
print("program's process (user + system, GNU time) and the wineserver of the run's prefix.")
print()
# The select loop's time of the same round over the subject's: less exposed to the load of the
# shared machine, which changes from round to round, than a ratio of medians.
def round_ratio(rows):
    return statistics.median(a["server_s"] / b["server_s"] for a, b in zip(res["winsock-select"], rows))
def cpu(rows):
    ws = [r["wineserver_cpu_s"] for r in rows if r.get("wineserver_cpu_s") is not None]
    return "%.2f s | %s" % (med(rows, "cpu_s"), "%.2f s" % statistics.median(ws) if ws else "n/a")
print("| Subject | GET, nginx's time | Throughput | Ratio to the select loop (medians) | Ratio in the same round (median) | Download phase (status line) | Extraction phase (status line) | Process CPU | wineserver CPU |")
print("|---|---|---|---|---|---|---|---|---|")
for name, rows in res.items():
    s = med(rows, "server_s")
    if name.startswith("winsock"):
        label = {"winsock-select": "WinSock loop, select before each recv",
                 "winsock-plain": "WinSock loop, plain recv"}[name]
        print("| %s | %.3f s | %.0f MiB/s | %.2f× | %.2f× | | | %s |" % (
            label, s, n / mib / s, select_s / s, round_ratio(rows), cpu(rows)))
    else:
        print("| program, %s | %.3f s | %.0f MiB/s | %.2f× | %.2f× | %.3f s (%.0f MiB/s) | %.3f s | %s |" % (
            name, s, n / mib / s, select_s / s, round_ratio(rows), med(rows, "download_s"),
            n / mib / med(rows, "download_s"), med(rows, "extract_s"), cpu(rows)))
print()
after = [k for k in res if k.startswith("after")][0]
ratio = min(select_s / med(res[after], "server_s"), round_ratio(res[after]))
print("Target: the program's download ≥ 0.8× the select loop under the same Wine: %.2f× (the lower" % ratio)
print("of the two ratios), %s." % ("met" if ratio >= 0.8 else "missed"))
print("The select loop against the plain loop: %.2f× (what the \`select\` before each \`recv\` costs under Wine)." % (plain_s / select_s))
if "without the archive check" in res:
    bare = res["without the archive check"]
    def phase_ratio(key):
        return statistics.median(a[key] / b[key] for a, b in zip(res[after], bare))
    print()
    print("The archive check under Wine (the signature fetched after the probe, the archive's SHA-256")
    print("by CNG before it is opened, which the status line counts to the download phase): with /")
    print("without, in the same round (median): download phase %.2f×, whole process %.2f×; medians" % (
        phase_ratio("download_s"), phase_ratio("process_s")))
    print("%.3f s against %.3f s (download phase) and %.2f s against %.2f s (whole process)." % (
        med(res[after], "download_s"), med(bare, "download_s"), med(res[after], "process_s"),
        med(bare, "process_s")))
print()
print("Every round, in seconds (nginx's time for the GET):")
print()
for name, rows in res.items():
    print("- %s: %s" % (name, ", ".join("%.3f" % r["server_s"] for r in rows)))
PY

# Replaces the section (up to the next "## " heading), or puts it before the notes.
python3 - "$DOC" "$section" <<'PY'
import sys
doc, section = open(sys.argv[1]).read().split("\n"), open(sys.argv[2]).read().rstrip("\n").split("\n")
try:
    start = doc.index("## Windows program")
    end = next((i for i in range(start + 1, len(doc)) if doc[i].startswith("## ")), len(doc))
    doc[start:end] = section + [""]
except ValueError:
    at = doc.index("## Findings and changes") if "## Findings and changes" in doc else len(doc)
    doc[at:at] = section + [""]
open(sys.argv[1], "w").write("\n".join(doc))
PY
cat "$section"
note "done; screenshots in $WORK/shots"
