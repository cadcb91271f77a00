#!/bin/sh
# Fails when the program imports a library that the system would not take from its own folder
# only (a library of the program's folder could stand in for such a one at start-up).
# Usage: check-imports.sh <objdump> <program.exe>
set -eu
objdump=$1
exe=$2
known="kernel32.dll user32.dll gdi32.dll shell32.dll msvcrt.dll advapi32.dll ole32.dll
  oleaut32.dll comdlg32.dll shlwapi.dll ws2_32.dll rpcrt4.dll"
dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
[ -n "$dlls" ] || { echo "no imports found in $exe" >&2; exit 1; }
status=0
for dll in $dlls; do
  case " $(echo $known) " in
    *" $dll "*) ;;
    *) echo "imports $dll, which may be loaded from the program's folder" >&2; status=1 ;;
  esac
done
exit $status
