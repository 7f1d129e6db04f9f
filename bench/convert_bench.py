#!/usr/bin/env python3
"""Times --convert of a SQLite table into DuckDB against the route a user takes without it.

Usage: bench/convert_bench.py PROGRAM [--rows N] [--runs N] [--work DIR]

Builds the table of bench/formats_bench.py (10,000,000 rows unless --rows says otherwise), then
runs, alternating, `--engine auto --convert t.db t.duckdb` and the route without it: the sqlite3
shell's CSV export (`sqlite3 -csv -header`) followed by DuckDB's own import,
`CREATE TABLE t AS SELECT * FROM read_csv('t.csv')`, through the program's DuckDB library. It
reports each one's median wall time and our peak resident memory (GNU time), with PASS or FAIL
against the targets: no slower than the route, and at most 256 MiB. It checks once that the
copy holds as many rows as the source, and that --diff finds no difference.

Exits 1 when a target or a check fails. Needs the sqlite3 shell and GNU time (/usr/bin/time).
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

from formats_bench import duckdb_query, make_sqlite, timed, verdict

MEMORY_TARGET_MIB = 256


def route(work, db, library):
    """The sqlite3 shell's CSV, then DuckDB's read_csv into a new file; wall seconds."""
    csv_path = os.path.join(work, "route.csv")
    target = os.path.join(work, "route.duckdb")
    for path in (target, target + ".wal"):
        if os.path.exists(path):
            os.remove(path)
    start = time.monotonic()
    with open(csv_path, "wb") as out:
        subprocess.run(["sqlite3", "-csv", "-header", db, "SELECT * FROM t"], stdout=out,
                       check=True)
    if not duckdb_query(library, target,
                        f"CREATE TABLE t AS SELECT * FROM read_csv('{csv_path}'); CHECKPOINT"):
        raise RuntimeError("read_csv failed")
    return time.monotonic() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--rows", type=float, default=1e7)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work")
    options = parser.parse_args()
    rows = int(options.rows)
    program = os.path.abspath(options.program)
    library = os.path.join(os.path.dirname(program), "libduckdb.so")
    work = options.work or tempfile.mkdtemp(prefix="corvenmark_convert_")
    db = os.path.join(work, f"t{rows}.db")
    if not os.path.exists(db):
        make_sqlite(db, rows)
    target = os.path.join(work, "copy.duckdb")
    ours, theirs, memory = [], [], 0.0
    failed = False
    for run in range(options.runs):
        for path in (target, target + ".wal"):
            if os.path.exists(path):
                os.remove(path)
        seconds, mib = timed([program, "--engine", "auto", "--convert", db, target])
        ours.append(seconds)
        memory = max(memory, mib)
        theirs.append(route(work, db, library))
        if run == 0:
            counted = subprocess.run([program, "--engine", "duckdb", "--query", target,
                                      "SELECT count(*) FROM t"], capture_output=True,
                                     text=True).stdout.splitlines()[-1]
            diff = subprocess.run([program, "--engine", "auto", "--diff", db, target],
                                  capture_output=True, text=True).stdout
            if counted != str(rows) or "No differences." not in diff:
                print(f"FAIL the copy: {counted} rows, diff {diff!r}")
                failed = True
    mine, route_time = statistics.median(ours), statistics.median(theirs)
    print(f"{rows} rows, median of {options.runs} runs; shell CSV + read_csv {route_time:.2f} s, "
          f"memory target {MEMORY_TARGET_MIB} MiB")
    ok = mine <= route_time and memory <= MEMORY_TARGET_MIB
    failed = not verdict(ok, "--convert", mine, mine / route_time, 1.0, memory) or failed
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
