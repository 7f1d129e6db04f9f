#!/usr/bin/env python3
"""Times --diff-data against sqldiff, on one table with a few changes.

Usage: bench/diff_data_bench.py PROGRAM [--rows N] [--runs N] [--work DIR]

Builds the table of bench/formats_bench.py (10,000,000 rows unless --rows says otherwise) in
SQLite as a.db, then with the sqlite3 shell b.db, a copy of it with 1% of the rows changed in
one column, 0.1% deleted and 0.1% added under new keys, and b.duckdb, the program's own
`--engine auto --convert` of b.db. Files already in --work with the right rows are kept. It
runs, alternating, `sqldiff a.db b.db` to /dev/null, and `--engine auto --summary --diff-data`
from a.db to b.db and to b.duckdb, and reports each one's median wall time and our peak
resident memory (GNU time), with PASS or FAIL against the targets: at most 0.5 times
sqldiff's time and 64 MiB from SQLite to SQLite, at most 1.0 times and 256 MiB from SQLite to
DuckDB. The rows added, removed and changed that each of our runs reports must equal the
INSERT, DELETE and UPDATE statements of sqldiff's output, and those the changes made.

Exits 1 when a target or a check fails. Needs sqldiff (Debian's sqlite3-tools), the sqlite3
shell and GNU time (/usr/bin/time).
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile

from convert_bench import remove
from formats_bench import make_sqlite, timed, verdict

SUMMARY = re.compile(r"\((\d+) tables, (\d+) rows added, (\d+) rows removed, (\d+) rows changed\)")
TARGETS = {"SQLite": (0.5, 64), "DuckDB": (1.0, 256)}  # time ratio to sqldiff, MiB

# Every 100th row changes its name, every 1000th from the first goes, and new keys follow
# the last one.
CHANGES_SQL = """
UPDATE t SET name = name || ' (moved)' WHERE id % 100 = 0;
DELETE FROM t WHERE id % 1000 = 1;
WITH RECURSIVE n(i) AS (SELECT {rows} + 1 UNION ALL SELECT i + 1 FROM n WHERE i < {last})
INSERT INTO t SELECT i, 'customer ' || (i % 977), i * 0.25, 'plain note', i % 2 FROM n;
"""


def changes(rows):
    """The rows (added, removed, changed) that CHANGES_SQL makes."""
    return rows // 1000, (rows + 999) // 1000, rows // 100


def count_query(program, db):
    """`count(*), max(id)` of t, as the program prints it, or None."""
    run = subprocess.run([program, "--engine", "auto", "--query", db,
                          "SELECT count(*) || ' ' || max(id) FROM t"],
                         capture_output=True, text=True)
    return run.stdout.splitlines()[-1] if run.returncode == 0 and run.stdout else None


def make_files(program, work, rows):
    """a.db, b.db and b.duckdb in `work`, each made again unless it holds the right rows."""
    a, b, duck = (os.path.join(work, name) for name in ("a.db", "b.db", "b.duckdb"))
    added, removed, _ = changes(rows)
    expected_b = f"{rows - removed + added} {rows + added}"
    if not os.path.exists(a) or count_query(program, a) != f"{rows} {rows}":
        remove(a, b, duck)
        make_sqlite(a, rows)
    if not os.path.exists(b) or count_query(program, b) != expected_b:
        remove(b, duck)
        subprocess.run(["sqlite3", a, f"VACUUM INTO '{b}'"], check=True)
        subprocess.run(["sqlite3", b], check=True,
                       input=CHANGES_SQL.format(rows=rows, last=rows + added).encode())
    if not os.path.exists(duck) or count_query(program, duck) != expected_b:
        remove(duck)
        subprocess.run([program, "--engine", "auto", "--convert", b, duck], check=True,
                       stdout=subprocess.DEVNULL)
    for path in (a, b, duck):
        if count_query(program, path) is None:
            raise RuntimeError(f"cannot count the rows of {path}")
    return a, b, duck


def sqldiff_counts(a, b, work):
    """(added, removed, changed) from sqldiff's statements, one a line."""
    path = os.path.join(work, "sqldiff.sql")
    with open(path, "wb") as out:
        subprocess.run(["sqldiff", a, b], stdout=out, check=True)
    counts = {"INSERT": 0, "DELETE": 0, "UPDATE": 0}
    with open(path, encoding="utf-8", errors="replace") as file:
        for line in file:
            word = line[:6]
            if word in counts:
                counts[word] += 1
    return counts["INSERT"], counts["DELETE"], counts["UPDATE"]


def run_ours(command, out_path):
    """Wall seconds, peak MiB, exit status, and the first lines of our output (kept in
    `out_path`) and of our errors."""
    report = out_path + ".time"
    with open(out_path, "wb") as out:
        run = subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", report] + command,
                             stdout=out, stderr=subprocess.PIPE)
    seconds, kilobytes = open(report).read().split()[-2:]
    with open(out_path, encoding="utf-8", errors="replace") as file:
        head = [line.rstrip("\n") for _, line in zip(range(3), file)]
    errors = run.stderr.decode(errors="replace").splitlines()[:3]
    return float(seconds), int(kilobytes) / 1024, run.returncode, head, errors


def our_counts(head, returncode, errors):
    """(added, removed, changed) from our first line, or what the run printed when it has none."""
    match = SUMMARY.search(head[0]) if head else None
    if match and returncode in (0, 1):
        return tuple(int(n) for n in match.groups()[1:])
    return f"exit status {returncode}, first lines: {head!r}, errors: {errors!r}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--rows", type=float, default=1e7)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work")
    options = parser.parse_args()
    rows = int(options.rows)
    program = os.path.abspath(options.program)
    work = options.work or tempfile.mkdtemp(prefix="corvenmark_diff_data_")
    os.makedirs(work, exist_ok=True)
    a, b, duck = make_files(program, work, rows)
    expected = changes(rows)
    theirs = sqldiff_counts(a, b, work)
    passed = theirs == expected
    if not passed:
        print(f"FAIL sqldiff found (added, removed, changed) {theirs}, expected {expected}")
    targets = {"SQLite": b, "DuckDB": duck}
    times = {"sqldiff": [], **{label: [] for label in targets}}
    memory = {label: 0.0 for label in targets}
    counts = {label: set() for label in targets}
    for _ in range(options.runs):
        times["sqldiff"].append(timed(["sqldiff", a, b])[0])
        for label, target in targets.items():
            seconds, mib, returncode, head, errors = run_ours(
                [program, "--engine", "auto", "--summary", "--diff-data", a, target],
                os.path.join(work, f"ours.{label}.txt"))
            times[label].append(seconds)
            memory[label] = max(memory[label], mib)
            counts[label].add(our_counts(head, returncode, errors))
    base = statistics.median(times["sqldiff"])
    print(f"{rows} rows, median of {options.runs} runs; sqldiff {base:.2f} s, "
          f"(added, removed, changed) {theirs}")
    for label in targets:
        same = counts[label] == {theirs}
        for found in sorted(counts[label] - {theirs}, key=str):
            print(f"FAIL SQLite to {label}: {found}, sqldiff {theirs}")
        ratio_target, memory_target = TARGETS[label]
        mine = statistics.median(times[label])
        ok = same and mine <= ratio_target * base and memory[label] <= memory_target
        passed = verdict(ok, f"--diff-data to {label:6}", mine, mine / base, ratio_target,
                         memory[label]) and passed
        print(f"  (memory target {memory_target} MiB)")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
