#!/usr/bin/env python3
"""Times the SQLite engine against the sqlite3 shell on a 1,000,000-row table.

Usage: bench/sqlite_bench.py PROGRAM [--runs N] [--work DIR]

Builds the table once, then runs each pair of commands side by side, alternating, and reports
the median wall time and the peak resident memory of each, writing their output to /dev/null.
Also times --sample. Needs the sqlite3 shell on the PATH.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROWS = 1_000_000
TABLE_SQL = f"""
CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, amount REAL, note TEXT, flag INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < {ROWS})
INSERT INTO t SELECT i, 'customer ' || (i % 977), i * 0.25,
  CASE WHEN i % 10 = 0 THEN 'needs, quoting "here"' ELSE 'plain note' END,
  CASE WHEN i % 3 = 0 THEN NULL ELSE i % 2 END FROM n;
"""


def run_once(command):
    """Returns (seconds, peak resident set in MiB) of one run."""
    with open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=sink, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(command)}: {process.stderr.read().decode()}")
    return elapsed, usage.ru_maxrss / 1024


def compare(title, ours, theirs, runs):
    times = {"corvenmark": [], "sqlite3": []}
    memory = {"corvenmark": 0.0, "sqlite3": 0.0}
    for _ in range(runs):
        for name, command in (("corvenmark", ours), ("sqlite3", theirs)):
            seconds, mib = run_once(command)
            times[name].append(seconds)
            memory[name] = max(memory[name], mib)
    ours_median = statistics.median(times["corvenmark"])
    theirs_median = statistics.median(times["sqlite3"])
    print(f"{title}")
    for name in times:
        print(f"  {name:10} median {statistics.median(times[name]):7.3f} s"
              f"   peak {memory[name]:7.1f} MiB")
    print(f"  speed-up   {theirs_median / ours_median:7.2f}x")
    return ours_median, theirs_median


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", default=None, help="directory for the databases")
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    if shutil.which("sqlite3") is None:
        sys.exit("the sqlite3 shell is needed: apt-get install sqlite3")

    work = tempfile.mkdtemp(dir=options.work)
    try:
        db = os.path.join(work, "bench.db")
        subprocess.run(["sqlite3", db], input=TABLE_SQL.encode(), check=True)
        print(f"{ROWS} rows, {os.path.getsize(db) / 2**20:.1f} MiB, {options.runs} runs each")
        compare("export: --export-csv  vs  sqlite3 -csv -header",
                [program, "--engine", "sqlite", "--export-csv", db, "t"],
                ["sqlite3", "-csv", "-header", db, "SELECT * FROM t"], options.runs)
        compare("query: --query  vs  sqlite3 -tabs -header",
                [program, "--engine", "sqlite", "--query", db, "SELECT * FROM t"],
                ["sqlite3", "-tabs", "-header", db, "SELECT * FROM t"], options.runs)
        samples = []
        for run in range(options.runs):
            samples.append(run_once([program, "--engine", "sqlite", "--sample",
                                     os.path.join(work, f"sample{run}.db")]))
        print("sample: --sample (1,054,795 rows)")
        print(f"  corvenmark median {statistics.median(s[0] for s in samples):7.3f} s"
              f"   peak {max(s[1] for s in samples):7.1f} MiB")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
