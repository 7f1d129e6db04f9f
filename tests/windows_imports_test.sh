#!/usr/bin/env bash
# Checks that the Windows program is a self-contained console program: a console (CUI)
# executable that imports no DLL beyond those Windows itself ships.
#
# Usage: windows_imports_test.sh OBJDUMP PROGRAM.exe
set -uo pipefail

objdump=$1
program=$2
headers=$("$objdump" -p "$program") || exit 1

status=0
if ! grep -q 'Subsystem.*(Windows CUI)' <<<"$headers"; then
  echo "FAIL: not a console program"
  status=1
fi
# The system's own DLLs that the program may import.
allowed='^(KERNEL32|USER32|msvcrt|ADVAPI32|ucrtbase|api-ms-win-.*)\.dll$'
while read -r dll; do
  if grep -Eiq "$allowed" <<<"$dll"; then
    echo "ok: $dll"
  else
    echo "FAIL: imports $dll, which Windows does not ship"
    status=1
  fi
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
exit $status
