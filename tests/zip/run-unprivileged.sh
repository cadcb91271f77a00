#!/bin/sh
# Runs a test program as an unprivileged user, for the checks that root passes by (a read-only
# file is writable for root). Started as another user it runs the program as it is. As root it
# copies the program into a folder of the user "nobody" and runs it there as that user, in that
# folder, which then holds every file the program makes. Exits 77 (skipped) only when no user
# can be switched to here.
set -eu
if [ "$(id -u)" -ne 0 ]; then
  exec "$@"
fi
user=nobody
if ! id "$user" >/dev/null 2>&1 || ! command -v setpriv >/dev/null 2>&1; then
  echo "no unprivileged user to run as here (user $user, setpriv)"
  exit 77
fi
program=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
cp "$program" "$work/"
mkdir "$work/run"
chown "$user" "$work/run"
cd "$work/run"
set +e
setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups --no-new-privs \
  env HOME="$work/run" TMPDIR="$work/run" "$work/$(basename "$program")" "$@"
status=$?
exit $status
