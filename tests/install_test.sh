#!/usr/bin/env bash
# Installs the build into a new prefix and runs the DuckDB engine from there: the program must
# find its library in lib/corvenmark beside its bin directory, and the documents are installed.
#
# Usage: install_test.sh CMAKE BUILD_DIR
set -euo pipefail

cmake=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for file in bin/corvenmark lib/corvenmark/libduckdb.so share/doc/corvenmark/README.md \
            share/doc/corvenmark/LICENSE; do
  [[ -e $prefix/$file ]] || { echo "FAIL: no $file in the installed tree"; exit 1; }
done
"$prefix/bin/corvenmark" --engine duckdb --sample "$prefix/s.duckdb" >/dev/null
out=$("$prefix/bin/corvenmark" --engine duckdb --query "$prefix/s.duckdb" \
        "SELECT count(*) AS n FROM customers")
if [[ $out != *$'\nn\n'* ]] || [[ $(tail -1 <<<"$out") != [1-9]* ]]; then
  echo "FAIL: the installed program's query printed: $out"
  exit 1
fi
echo "ok: installed program runs the DuckDB engine"
