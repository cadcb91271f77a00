#!/usr/bin/env bash
# Checks that every C++ file of the repository (tracked, or new and not ignored) is formatted as
# the repository's .clang-format says; fails naming the files that are not and where.
# `clang-format -i <file>` formats one.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages clang-format git

files=()
while IFS= read -r -d '' file; do
  [ -f "$file" ] && files+=("$file")  # not one deleted in the work tree and not yet committed
done < <(git ls-files -z --cached --others --exclude-standard '*.cpp' '*.h' '*.hpp' '*.cc' '*.c')
[ ${#files[@]} -gt 0 ] || { echo "no C++ files found" >&2; exit 1; }

# One clang-format for all files (a process per file costs minutes on a busy machine); it names
# each place that differs.
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --style=file --dry-run --Werror "${files[@]}" >"$report" 2>&1; then
  head -n 60 "$report"
  mapfile -t unformatted < <(sed -n 's/^\([^ :]*\):[0-9]*:[0-9]*: error: .*/\1/p' "$report" |
    sort -u)
  echo "not formatted (clang-format -i <file>): ${unformatted[*]:-see above}" >&2
  exit 1
fi
log "${#files[@]} C++ files formatted as .clang-format says"
