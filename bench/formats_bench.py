#!/usr/bin/env python3
"""Times each query output format against the default TSV report, on one table.

Usage: bench/formats_bench.py PROGRAM [--rows N] [--runs N] [--engine sqlite|duckdb] [--work DIR]

Builds a table of N rows (10,000,000 unless --rows says otherwise; an id, a text, a real, a
text with quotes and commas now and then, and a flag that is NULL now and then) with the SQLite
shell, or for --engine duckdb converts it with the program's own DuckDB library loaded through
ctypes, then runs `--format F --query DB "SELECT * FROM t"` for F in tsv, csv, json and jsonl,
alternating, output to /dev/null, and reports each format's median wall time, peak resident
memory (GNU time), and its ratio to tsv, with PASS or FAIL against the targets: at most 1.2
times the tsv time, and at most 64 MiB. Each format's output is also parsed once in full (csv,
json, jsonl) to check the row count.

Exits 1 when a target or a check fails. Needs the sqlite3 shell and GNU time (/usr/bin/time).
"""

import argparse
import csv
import ctypes
import json
import os
import statistics
import subprocess
import sys
import tempfile

MIB = 2**20
MEMORY_TARGET_MIB = 64
RATIO_TARGET = 1.2
FORMATS = ["tsv", "csv", "json", "jsonl"]

TABLE_SQL = """
CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, amount REAL, note TEXT, flag INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < {rows})
INSERT INTO t SELECT i, 'customer ' || (i % 977), i * 0.25,
  CASE WHEN i % 10 = 0 THEN 'needs, quoting "here"' ELSE 'plain note' END,
  CASE WHEN i % 7 = 0 THEN NULL ELSE i % 2 END FROM n;
"""


def make_sqlite(path, rows):
    subprocess.run(["sqlite3", path], input=TABLE_SQL.format(rows=rows).encode(), check=True)


def duckdb_query(library, path, sql):
    """Runs `sql` on the DuckDB database at `path` through the library; True when it ran."""
    lib = ctypes.CDLL(library)
    database, connection = ctypes.c_void_p(), ctypes.c_void_p()
    lib.duckdb_open(path.encode(), ctypes.byref(database))
    lib.duckdb_connect(database, ctypes.byref(connection))
    result = ctypes.create_string_buffer(256)  # larger than a duckdb_result
    ran = lib.duckdb_query(connection, sql.encode(), result) == 0
    lib.duckdb_destroy_result(result)
    lib.duckdb_disconnect(ctypes.byref(connection))
    lib.duckdb_close(ctypes.byref(database))
    return ran


def make_duckdb(path, sqlite_path, library):
    if duckdb_query(library, path,
                    f"CREATE TABLE t AS SELECT * FROM sqlite_scan('{sqlite_path}', 't')"):
        return
    # Without the sqlite extension the same rows are made by DuckDB itself.
    rows = int(subprocess.run(["sqlite3", sqlite_path, "SELECT count(*) FROM t"],
                              capture_output=True, check=True).stdout)
    duckdb_query(library, path,
                 f"CREATE TABLE t AS SELECT i AS id, 'customer ' || (i % 977) AS name, "
                 f"i * 0.25 AS amount, CASE WHEN i % 10 = 0 THEN 'needs, quoting \"here\"' "
                 f"ELSE 'plain note' END AS note, CASE WHEN i % 7 = 0 THEN NULL ELSE i % 2 END "
                 f"AS flag FROM range(1, {rows} + 1) r(i)")


def timed(command):
    """Wall seconds and peak resident memory in MiB of one run, output to /dev/null."""
    with tempfile.NamedTemporaryFile() as report:
        with open(os.devnull, "wb") as null:
            subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", report.name] + command,
                           stdout=null, check=True)
        seconds, kilobytes = open(report.name).read().split()[-2:]
    return float(seconds), int(kilobytes) / 1024


def verdict(ok, what, seconds, ratio, ratio_target, mib):
    """One line of results, and whether it passed."""
    print(f"{'PASS' if ok else 'FAIL'} {what} {seconds:7.2f} s  ratio {ratio:4.2f} "
          f"(target {ratio_target})  peak {mib:5.1f} MiB")
    return ok


def count_rows(program, engine, db, name, work):
    path = os.path.join(work, "out." + name)
    with open(path, "wb") as out:
        subprocess.run([program, "--engine", engine, "--format", name, "--query", db,
                        "SELECT * FROM t"], stdout=out, check=True)
    with open(path, newline="", encoding="utf-8") as file:
        if name == "tsv":
            return sum(1 for _ in file) - 2
        if name == "csv":
            return sum(1 for _ in csv.reader(file)) - 1
        if name == "json":
            return len(json.load(file))
        return sum(1 for line in file if json.loads(line))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--rows", type=float, default=1e7)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--engine", default="sqlite", choices=["sqlite", "duckdb"])
    parser.add_argument("--work")
    options = parser.parse_args()
    rows = int(options.rows)
    program = os.path.abspath(options.program)
    work = options.work or tempfile.mkdtemp(prefix="corvenmark_formats_")
    db = os.path.join(work, f"t{rows}.db")
    if not os.path.exists(db):
        make_sqlite(db, rows)
    if options.engine == "duckdb":
        sqlite_db, db = db, os.path.join(work, f"t{rows}.duckdb")
        if not os.path.exists(db):
            make_duckdb(db, sqlite_db, os.path.join(os.path.dirname(program), "libduckdb.so"))
    failed = False
    for name in FORMATS:
        counted = count_rows(program, options.engine, db, name, work)
        if counted != rows:
            print(f"FAIL {name}: {counted} rows read back, expected {rows}")
            failed = True
    times = {name: [] for name in FORMATS}
    memory = {name: 0.0 for name in FORMATS}
    for _ in range(options.runs):
        for name in FORMATS:
            seconds, mib = timed([program, "--engine", options.engine, "--format", name,
                                  "--query", db, "SELECT * FROM t"])
            times[name].append(seconds)
            memory[name] = max(memory[name], mib)
    base = statistics.median(times["tsv"])
    print(f"{rows} rows, {options.engine}, median of {options.runs} runs")
    for name in FORMATS:
        median = statistics.median(times[name])
        ratio = median / base
        ok = ratio <= RATIO_TARGET and memory[name] <= MEMORY_TARGET_MIB
        failed = not verdict(ok, f"{name:6}", median, ratio, RATIO_TARGET, memory[name]) or failed
    print(f"(memory target {MEMORY_TARGET_MIB} MiB)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
