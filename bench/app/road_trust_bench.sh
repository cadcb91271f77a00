#!/usr/bin/env bash
# The archive check's cost on the whole road, natively: the road of a 200 MiB archive from nginx
# on loopback (bench/app/RoadBench.cpp: size probe, download into memory, extraction, removal of
# the folder) once as a program without archive keys takes it and once as one built with keys
# (the signature fetched and accepted after the probe, the archive's SHA-256 checked before it
# is opened), in alternating order, timed as whole processes. Writes the figures into the
# "Archive check" section of docs/performance.md.
# Not part of CI. The archive is the one bench/run-all.sh makes (made here when missing).
# Usage: bench/app/road_trust_bench.sh   (ROUNDS=7, BUILD=build/native, PORT=18476)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
ROUNDS=${ROUNDS:-7}
BUILD=${BUILD:-$ROOT/build/native}
WORK=${WORK:-$BUILD/bench-trust}
ALL=${ALL:-$BUILD/bench-all}
PORT=${PORT:-18476}
DOC=${DOC:-$ROOT/docs/performance.md}
MIB=1048576

[ -d "$BUILD" ] || cmake --preset native >/dev/null
cmake --build "$BUILD" -j2 --target road_bench >/dev/null
ROAD=$BUILD/bench/app/road_bench
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

# The 200 MiB archive of bench/run-all.sh.
archive=$ALL/root/periodic/Archive_200.zip
bench_sized_archive "$BUILD" "$ALL" 200 "$archive"

# Served from a folder of its own, signed with a key made for the run.
rm -rf "$WORK"
mkdir -p "$WORK/root/periodic" "$WORK/road"
served=$WORK/root/periodic/Archive_200.zip
ln "$archive" "$served" 2>/dev/null || cp "$archive" "$served"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$WORK/key.pem" 2>/dev/null
openssl pkey -in "$WORK/key.pem" -pubout -out "$WORK/keys.pem"
bash "$ROOT/scripts/sign-archive.sh" "$WORK/key.pem" "$served" >/dev/null
cat "$served" >/dev/null  # into the page cache
"$ROOT/tools/distserver/distserver.sh" start "$WORK/state" "$PORT" "$WORK/root" 0
trap '"$ROOT/tools/distserver/distserver.sh" stop "$WORK/state" || true' EXIT
url="http://127.0.0.1:$PORT/periodic/Archive_200.zip"

now() { date +%s.%N; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
without=() with=() checks=() signatures=() extract0=() extract1=()
log "$ROUNDS rounds of the 200 MiB road, without and with the archive check"
for ((r = 0; r < ROUNDS; r++)); do
  for k in 0 1; do
    sync
    s=$(now)
    if [ $(((r + k) % 2)) -eq 0 ]; then
      out=$(cd "$WORK/road" && "$ROAD" "$url")
      without+=("$(awk -v a="$(now)" -v b="$s" 'BEGIN { printf "%.3f", a - b }')")
      extract0+=("$(field extract "$out")")
    else
      out=$(cd "$WORK/road" && "$ROAD" "$url" "$WORK/keys.pem")
      with+=("$(awk -v a="$(now)" -v b="$s" 'BEGIN { printf "%.3f", a - b }')")
      checks+=("$(field check "$out")")
      signatures+=("$(field signature "$out")")
      extract1+=("$(field extract "$out")")
    fi
  done
done
[ -z "$(ls -A "$WORK/road")" ] || { echo "the road left files behind" >&2; exit 1; }
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
# Each round's with / without: less exposed to the load of the shared machine, which changes
# from round to round, than a ratio of medians.
paired=()
for ((r = 0; r < ROUNDS; r++)); do paired+=("$(ratio "${with[$r]}" "${without[$r]}")"); done
P=$(echo "${paired[*]}" | median)
W0=$(echo "${without[*]}" | median)
W1=$(echo "${with[*]}" | median)
C=$(echo "${checks[*]}" | median)
S=$(echo "${signatures[*]}" | median)
X0=$(echo "${extract0[*]}" | median)
X1=$(echo "${extract1[*]}" | median)
bytes=$(stat -c %s "$served")
ratio=$(ratio "$W1" "$W0")
verdict=$(awk -v r="$W1" -v b="$W0" -v p="$P" \
  'BEGIN { m = r / b; if (p > m) m = p; print (m <= 1.03) ? "met" : "missed" }')

section=$WORK/section.md
{
  echo "## Archive check on the whole road"
  echo
  echo "Measured by \`bench/app/road_trust_bench.sh\`: medians of $ROUNDS rounds, the two roads in"
  echo "alternating order; $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$ROOT" rev-parse --short HEAD),"
  echo "load average $load_start at the start and $load_end at the end (the machine is shared)."
  echo
  echo "Archive: $(awk -v b="$bytes" -v m=$MIB 'BEGIN { printf "%.1f", b / m }') MiB from nginx on loopback. The road of"
  echo "\`bench/app/RoadBench.cpp\` (size probe, download into memory, extraction into the setup"
  echo "folder, removal), as a program without archive keys takes it and as one built with a key:"
  echo "the signature fetched and accepted after the probe (one small GET and an ECDSA P-256"
  echo "verification), and the archive's length and SHA-256 checked after the download, read"
  echo "through the stream's interface in 256 KiB blocks (OpenSSL natively). Whole processes."
  echo
  echo "| Road | Wall | Signature (fetch + accept) | Archive check (SHA-256) | Extraction |"
  echo "|---|---|---|---|---|"
  echo "| without the check | $W0 s | | | $X0 s |"
  echo "| with the check | $W1 s | $S s | $C s ($(awk -v b="$bytes" -v c="$C" -v m=$MIB 'BEGIN { printf "%.0f", b / m / c }') MiB/s) | $X1 s |"
  echo
  echo "Ratio with / without: ${ratio}× of the medians, ${P}× in the same round (median); target"
  echo "≤ 1.03×: $verdict (the higher of the two). The check's time includes the first read of the"
  echo "freshly downloaded archive, which the extraction pays instead when there is no check: check"
  echo "less the extraction's saving, $(awk -v c="$C" -v a="$X0" -v b="$X1" 'BEGIN { printf "%.3f", c - (a - b) }') s, is"
  echo "$(awk -v c="$C" -v a="$X0" -v b="$X1" -v w="$W0" 'BEGIN { printf "%.1f", 100 * (c - (a - b)) / w }') % of the road without it. The hashing alone, on memory already read:"
  echo "\`bench/trust/ArchiveCheckBench.cpp\`."
  echo
  echo "Every round, in seconds: without $(echo "${without[*]}" | tr ' ' ','); with $(echo "${with[*]}" | tr ' ' ',')."
} >"$section"

# Replaces the section (up to the next "## " heading), or puts it before the Windows section.
python3 - "$DOC" "$section" <<'PY'
import sys
doc, section = open(sys.argv[1]).read().split("\n"), open(sys.argv[2]).read().rstrip("\n").split("\n")
title = "## Archive check on the whole road"
if title in doc:
    start = doc.index(title)
    end = next((i for i in range(start + 1, len(doc)) if doc[i].startswith("## ")), len(doc))
    doc[start:end] = section + [""]
else:
    at = next((i for i, line in enumerate(doc) if line.startswith("## 4.")), len(doc))
    doc[at:at] = section + [""]
open(sys.argv[1], "w").write("\n".join(doc))
PY
cat "$section"
