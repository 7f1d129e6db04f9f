#!/usr/bin/env python3
"""Times --convert each way between SQLite and DuckDB against the route a user takes without it.

Usage: bench/convert_bench.py PROGRAM [--rows N] [--runs N] [--work DIR]
                              [--direction both|to-duckdb|to-sqlite]

Builds the table of bench/formats_bench.py (10,000,000 rows unless --rows says otherwise) in
SQLite, and its copy in DuckDB, then runs, alternating, for each direction:
- SQLite to DuckDB: `--engine auto --convert t.db t.duckdb`, against the sqlite3 shell's CSV
  export (`sqlite3 -csv -header`) followed by DuckDB's own import, `CREATE TABLE t AS SELECT *
  FROM read_csv('t.csv')`, through the program's DuckDB library;
- DuckDB to SQLite: `--engine auto --convert t.duckdb t.db`, against DuckDB's `COPY t TO
  't.csv'` followed by the sqlite3 shell's `.import --csv`.
It reports each one's median wall time and our peak resident memory (GNU time), with PASS or
FAIL against the targets: at most 0.6 times the route's time, and at most 256 MiB. It checks
once each way that the copy holds as many rows as the source, and that --diff finds no
difference.

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
RATIO_TARGET = 0.6


def remove(*paths):
    for path in paths:
        for name in (path, path + ".wal", path + "-journal"):
            if os.path.exists(name):
                os.remove(name)


def route_to_duckdb(work, db, library):
    """The sqlite3 shell's CSV, then DuckDB's read_csv into a new file; wall seconds."""
    csv_path = os.path.join(work, "route.csv")
    target = os.path.join(work, "route.duckdb")
    remove(target)
    start = time.monotonic()
    with open(csv_path, "wb") as out:
        subprocess.run(["sqlite3", "-csv", "-header", db, "SELECT * FROM t"], stdout=out,
                       check=True)
    if not duckdb_query(library, target,
                        f"CREATE TABLE t AS SELECT * FROM read_csv('{csv_path}'); CHECKPOINT"):
        raise RuntimeError("read_csv failed")
    return time.monotonic() - start


def route_to_sqlite(work, source, library):
    """DuckDB's COPY TO a CSV, then the sqlite3 shell's .import; wall seconds."""
    csv_path = os.path.join(work, "route.csv")
    target = os.path.join(work, "route.db")
    remove(target)
    start = time.monotonic()
    if not duckdb_query(library, source, f"COPY t TO '{csv_path}' (HEADER)"):
        raise RuntimeError("COPY failed")
    subprocess.run(["sqlite3", target, f".import --csv {csv_path} t"], check=True)
    return time.monotonic() - start


def check_copy(program, source, target, rows):
    counted = subprocess.run([program, "--engine", "auto", "--query", target,
                              "SELECT count(*) FROM t"], capture_output=True,
                             text=True).stdout.splitlines()[-1]
    diff = subprocess.run([program, "--engine", "auto", "--diff", source, target],
                          capture_output=True, text=True).stdout
    if counted == str(rows) and "No differences." in diff:
        return True
    print(f"FAIL the copy {target}: {counted} rows, diff {diff!r}")
    return False


def bench(program, label, source, target, route, runs, rows):
    ours, theirs, memory, copied = [], [], 0.0, True
    for run in range(runs):
        remove(target)
        seconds, mib = timed([program, "--engine", "auto", "--convert", source, target])
        ours.append(seconds)
        memory = max(memory, mib)
        theirs.append(route())
        if run == 0:
            copied = check_copy(program, source, target, rows)
    mine, route_time = statistics.median(ours), statistics.median(theirs)
    print(f"{label}: {rows} rows, median of {runs} runs; without the program {route_time:.2f} s")
    ok = mine <= RATIO_TARGET * route_time and memory <= MEMORY_TARGET_MIB
    return verdict(ok, "--convert", mine, mine / route_time, RATIO_TARGET, memory) and copied


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--rows", type=float, default=1e7)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work")
    parser.add_argument("--direction", choices=["both", "to-duckdb", "to-sqlite"], default="both")
    options = parser.parse_args()
    rows = int(options.rows)
    program = os.path.abspath(options.program)
    library = os.path.join(os.path.dirname(program), "libduckdb.so")
    work = options.work or tempfile.mkdtemp(prefix="corvenmark_convert_")
    db = os.path.join(work, f"t{rows}.db")
    duck = os.path.join(work, f"t{rows}.duckdb")
    if not os.path.exists(db):
        make_sqlite(db, rows)
    if not os.path.exists(duck):
        subprocess.run([program, "--engine", "auto", "--convert", db, duck], check=True,
                       stdout=subprocess.DEVNULL)
    passed = True
    if options.direction in ("both", "to-duckdb"):
        passed = bench(program, "SQLite to DuckDB", db, os.path.join(work, "copy.duckdb"),
                       lambda: route_to_duckdb(work, db, library), options.runs, rows) and passed
    if options.direction in ("both", "to-sqlite"):
        passed = bench(program, "DuckDB to SQLite", duck, os.path.join(work, "copy.db"),
                       lambda: route_to_sqlite(work, duck, library), options.runs, rows) and passed
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
