#!/usr/bin/env bash
# Checks that the Linux program needs no shared library beyond glibc's: SQLite and the C++
# runtime are linked into it, so it runs on a machine with neither libsqlite3 nor libstdc++.
#
# Usage: linux_libraries_test.sh READELF PROGRAM
set -uo pipefail

readelf=$1
program=$2
dynamic=$("$readelf" -d "$program") || exit 1

status=0
allowed='^(libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2|ld-linux-aarch64\.so\.1)$'
while read -r library; do
  if grep -Eq "$allowed" <<<"$library"; then
    echo "ok: $library"
  else
    echo "FAIL: needs $library"
    status=1
  fi
done < <(sed -n 's/.*(NEEDED).*Shared library: \[\(.*\)\]$/\1/p' <<<"$dynamic")
exit $status
