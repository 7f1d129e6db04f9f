#!/usr/bin/env python3
"""Times a long SQL script through --query-file against the SQLite shell running the same one.

Usage: bench/script_bench.py PROGRAM [--statements N] [--runs N] [--work DIR]

Writes a script of N INSERT statements (1,000,000 unless --statements says otherwise) in one
transaction, `BEGIN; INSERT ...; ... COMMIT;`, one statement a line, then runs it, alternating,
through `PROGRAM --engine sqlite --query-file DB SCRIPT` and `sqlite3 DB < SCRIPT`, each time on a
new database holding only the empty table, output to /dev/null. Reports each side's median wall
time, their ratio and PASS or FAIL against the target: at most 2 times the shell's time. Each
database is checked to hold N rows afterwards.

Exits 1 when the target or a check fails. Needs the sqlite3 shell.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

RATIO_TARGET = 2.0
TABLE_SQL = "CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, amount REAL);"


def make_script(path, statements):
    with open(path, "w") as script:
        script.write("BEGIN;\n")
        for i in range(statements):
            script.write(f"INSERT INTO t VALUES ({i}, 'customer {i % 977}', {i * 0.25});\n")
        script.write("COMMIT;\n")


def fresh_database(path):
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["sqlite3", path, TABLE_SQL], check=True)


def timed(command, db, stdin_path=None):
    """Wall seconds of one run on a new database, output to /dev/null."""
    fresh_database(db)
    with open(stdin_path or os.devnull, "rb") as stdin, open(os.devnull, "wb") as null:
        start = time.perf_counter()
        subprocess.run(command, stdin=stdin, stdout=null, check=True)
        return time.perf_counter() - start


def row_count(db):
    done = subprocess.run(["sqlite3", db, "SELECT count(*) FROM t"], capture_output=True,
                          check=True)
    return int(done.stdout)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--statements", type=float, default=1e6)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work")
    options = parser.parse_args()
    statements = int(options.statements)
    program = os.path.abspath(options.program)
    work = options.work or tempfile.mkdtemp(prefix="corvenmark_script_")
    os.makedirs(work, exist_ok=True)
    script = os.path.join(work, f"inserts{statements}.sql")
    if not os.path.exists(script):
        make_script(script, statements)
    ours_db, shell_db = os.path.join(work, "ours.db"), os.path.join(work, "shell.db")
    ours, shell = [], []
    failed = False
    for _ in range(options.runs):
        ours.append(timed([program, "--engine", "sqlite", "--query-file", ours_db, script],
                          ours_db))
        shell.append(timed(["sqlite3", shell_db], shell_db, script))
        for side, db in (("program", ours_db), ("shell", shell_db)):
            counted = row_count(db)
            if counted != statements:
                print(f"FAIL {side}: {counted} rows, expected {statements}")
                failed = True
    ours_median, shell_median = statistics.median(ours), statistics.median(shell)
    ratio = ours_median / shell_median
    ok = ratio <= RATIO_TARGET
    print(f"{statements} INSERT statements in one transaction, median of {options.runs} runs")
    print(f"program --query-file {ours_median:7.2f} s")
    print(f"sqlite3 shell        {shell_median:7.2f} s")
    print(f"{'PASS' if ok else 'FAIL'} ratio {ratio:4.2f} (target at most {RATIO_TARGET})")
    return 1 if failed or not ok else 0


if __name__ == "__main__":
    sys.exit(main())
