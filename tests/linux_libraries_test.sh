#!/usr/bin/env bash
# Checks that the Linux program needs no shared library beyond glibc's: SQLite and the C++
# runtime are linked into it, so it runs on a machine with neither libsqlite3 nor libstdc++.
# The DuckDB library, when given, may need the shared C++ runtime too, and nothing else.
#
# Usage: linux_libraries_test.sh READELF PROGRAM [DUCKDB_LIBRARY]
set -uo pipefail

readelf=$1
program=$2
duckdb=${3:-}

glibc='libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2|ld-linux-aarch64\.so\.1'
status=0

# Checks that every library FILE needs matches the pattern ALLOWED.
check() {
  local file=$1 allowed=$2 dynamic library
  dynamic=$("$readelf" -d "$file") || { status=1; return; }
  while read -r library; do
    if grep -Eq "^($allowed)\$" <<<"$library"; then
      echo "ok: $file needs $library"
    else
      echo "FAIL: $file needs $library"
      status=1
    fi
  done < <(sed -n 's/.*(NEEDED).*Shared library: \[\(.*\)\]$/\1/p' <<<"$dynamic")
}

check "$program" "$glibc"
if [[ -n $duckdb ]]; then
  check "$duckdb" "$glibc|libdl\.so\.2|libpthread\.so\.0|libstdc\+\+\.so\.6|libgcc_s\.so\.1"
fi
exit $status
