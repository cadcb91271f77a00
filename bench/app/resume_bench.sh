#!/usr/bin/env bash
# A download whose connection breaks: an N MiB archive (default 300) from nginx on loopback
# through tools/cutting_forwarder.py, fetched by the download client as the program fetches it
# (bench/app/ResumeBench.cpp, the product's waits between attempts). Each round fetches it once
# through the forwarder uncut and once with the connections cut CUTS times (default 5) at random
# offsets of the archive. Reports the bytes the forwarder sent the client against the archive's
# size (target <= 1.01x: what came before a cut is kept) and the cut download's time against the
# uncut one plus the waits between attempts (target <= 1.05x), and writes them into
# docs/performance.md as its section "7. Broken connections" (bench/run-all.sh keeps it).
# The driver may make CUTS + 1 attempts, so that it survives every cut.
# Usage: bench/app/resume_bench.sh [rounds] [MiB]   (ROUNDS 3; SEED picks the cuts)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
ROUNDS=${1:-3}
SIZE_MIB=${2:-300}
CUTS=${CUTS:-5}
SEED=${SEED:-$RANDOM}
BUILD=${BUILD:-$ROOT/build/native}
DRIVER=${DRIVER:-$BUILD/bench/app/resume_bench}
WORK=${WORK:-$BUILD/bench-resume}
PORT=${PORT:-18477}
DOC=${DOC:-$ROOT/docs/performance.md}
BYTES=$((SIZE_MIB * 1048576))

cmake --build "$BUILD" -j2 --target resume_bench >/dev/null
mkdir -p "$WORK/root/periodic"
FILE=$WORK/root/periodic/Archive_resume.zip
if [ ! -f "$FILE" ] || [ "$(stat -c %s "$FILE")" != "$BYTES" ]; then
  log "making the $SIZE_MIB MiB archive once (in $WORK)"
  head -c "$BYTES" /dev/urandom >"$FILE"
fi
cat "$FILE" >/dev/null  # into the page cache
"$ROOT/tools/distserver/distserver.sh" start "$WORK/state" "$PORT" "$WORK/root" 0
FORWARDER=
stop_forwarder() {
  if [ -n "$FORWARDER" ]; then
    kill "$FORWARDER" 2>/dev/null || true
    wait "$FORWARDER" 2>/dev/null || true
    FORWARDER=
  fi
}
trap 'stop_forwarder; "$ROOT/tools/distserver/distserver.sh" stop "$WORK/state"' EXIT

# One fetch through a forwarder that cuts its connections after the given byte counts (empty:
# none). Prints the driver's line and "sent=<bytes the forwarder passed to the client>".
fetch() {
  rm -f "$WORK/stats.json" "$WORK/forwarder.out"
  python3 "$ROOT/tools/cutting_forwarder.py" --target "127.0.0.1:$PORT" --cuts "$1" \
    --stats "$WORK/stats.json" >"$WORK/forwarder.out" &
  FORWARDER=$!
  until grep -q '^listening' "$WORK/forwarder.out" 2>/dev/null; do sleep 0.05; done
  local port line
  port=$(awk '{print $2}' "$WORK/forwarder.out")
  line=$("$DRIVER" "http://127.0.0.1:$port/periodic/Archive_resume.zip" $((CUTS + 1)))
  stop_forwarder
  echo "$line sent=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["bytes_to_clients"])' "$WORK/stats.json")"
}
field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }

# CUTS offsets at random in the archive, as the bytes each connection passes before its cut.
cuts_for_round() {
  python3 - "$BYTES" "$CUTS" "$SEED" "$1" <<'EOF'
import random, sys
size, cuts, seed, round_ = (int(a) for a in sys.argv[1:])
rng = random.Random(seed * 1000 + round_)
offsets = sorted(rng.randrange(1, size) for _ in range(cuts))
print(",".join(str(b - a) for a, b in zip([0] + offsets, offsets)))
EOF
}

t_uncut=() t_cut=() waited=() sent_uncut=() sent_cut=() time_ratio=() bare_ratio=() retries=()
for r in $(seq "$ROUNDS"); do
  cuts=$(cuts_for_round "$r")
  uncut=$(fetch "")
  cut=$(fetch "$cuts")
  t0=$(echo "$uncut" | field seconds) t1=$(echo "$cut" | field seconds)
  w=$(echo "$cut" | field waited)
  t_uncut+=("$t0") t_cut+=("$t1") waited+=("$w")
  sent_uncut+=("$(echo "$uncut" | field sent)") sent_cut+=("$(echo "$cut" | field sent)")
  retries+=("$(echo "$cut" | field retries)")
  time_ratio+=("$(awk -v a="$t1" -v b="$t0" -v w="$w" 'BEGIN { printf "%.4f", a / (b + w) }')")
  bare_ratio+=("$(awk -v a="$t1" -v b="$t0" -v w="$w" 'BEGIN { printf "%.4f", (a - w) / b }')")
  log "round $r: uncut ${t0}s; cut at +$cuts: ${t1}s with ${w}s of waits, ${retries[-1]} retries, sent ${sent_cut[-1]} bytes"
done

m_t0=$(printf '%s\n' "${t_uncut[@]}" | median)
m_t1=$(printf '%s\n' "${t_cut[@]}" | median)
m_w=$(printf '%s\n' "${waited[@]}" | median)
m_s0=$(printf '%s\n' "${sent_uncut[@]}" | median)
m_s1=$(printf '%s\n' "${sent_cut[@]}" | median)
m_tr=$(printf '%s\n' "${time_ratio[@]}" | median)
m_br=$(printf '%s\n' "${bare_ratio[@]}" | median)
max_s1=$(printf '%s\n' "${sent_cut[@]}" | maxof)
max_tr=$(printf '%s\n' "${time_ratio[@]}" | maxof)
bytes_ratio=$(awk -v s="$max_s1" -v b="$BYTES" 'BEGIN { printf "%.4f", s / b }')
verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v <= t) ? "met" : "missed" }'; }
log "bytes sent / archive: $bytes_ratio (largest of the rounds; target <= 1.01)"
log "time / (uncut + waits): median $m_tr, largest $max_tr (target <= 1.05); without the waits: $m_br"

section=$(
  echo "## 7. Broken connections: retries and resume"
  echo
  echo "Measured by \`bench/app/resume_bench.sh\` on $(date -u '+%Y-%m-%d %H:%M') UTC at $(git -C "$ROOT" rev-parse --short HEAD),"
  echo "$ROUNDS rounds, medians (load average at the end: $(cut -d' ' -f1-3 /proc/loadavg))."
  echo "A $SIZE_MIB MiB archive ($BYTES bytes) from nginx on loopback through"
  echo "\`tools/cutting_forwarder.py\`, fetched by the download client as the program fetches it"
  echo "(\`bench/app/ResumeBench.cpp\`: Head, then Get into memory, the product's waits between"
  echo "attempts, up to $((CUTS + 1)) attempts so that it survives every cut). Each round fetches it once"
  echo "uncut and once with the connections cut $CUTS times at random offsets (seed $SEED); the"
  echo "forwarder counts the bytes it passed to the client, response heads included."
  echo
  echo "| Run | Time | Waits between attempts | Retries | Bytes sent to the client | × archive |"
  echo "|---|---|---|---|---|---|"
  echo "| uncut | ${m_t0} s | — | 0 | $m_s0 | $(awk -v s="$m_s0" -v b="$BYTES" 'BEGIN { printf "%.4f", s / b }') |"
  echo "| cut $CUTS times | ${m_t1} s | ${m_w} s | $(printf '%s\n' "${retries[@]}" | median) | $m_s1 | $(awk -v s="$m_s1" -v b="$BYTES" 'BEGIN { printf "%.4f", s / b }') |"
  echo
  echo "| Figure | Measured | Target | |"
  echo "|---|---|---|---|"
  echo "| Bytes sent / archive size (largest round) | ${bytes_ratio}× | ≤ 1.01× | $(verdict "$bytes_ratio" 1.01) |"
  echo "| Time / (uncut time + waits) (median; largest round ${max_tr}×) | ${m_tr}× | ≤ 1.05× | $(verdict "$m_tr" 1.05) |"
  echo
  echo "Without the waits, the cut download takes ${m_br}× the uncut one: the reconnects and the"
  echo "ranged requests cost what that adds beyond 1."
)
python3 - "$DOC" "$section" <<'EOF'
import re, sys
path, section = sys.argv[1], sys.argv[2].rstrip("\n") + "\n"
text = open(path).read() if __import__("os").path.exists(path) else "# Performance\n"
heading = "## 7. Broken connections"
start = text.find(heading)
if start >= 0:
    end = text.find("\n## ", start + 1)
    text = text[:start] + section + ("\n" + text[end + 1:] if end >= 0 else "")
else:
    at = text.find("\n## Windows program")
    text = (text[:at + 1] + section + "\n" + text[at + 1:]) if at >= 0 else text + "\n" + section
open(path, "w").write(text)
EOF
log "wrote the section into $DOC"
