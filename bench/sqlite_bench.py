#!/usr/bin/env python3
"""Times the SQLite engine against the sqlite3 shell, and the program's start against a bare one.

Usage: bench/sqlite_bench.py PROGRAM [--sizes 1e6,1e7] [--runs N] [--startup-runs N] [--work DIR]

For each table size (1,000,000 rows unless --sizes says otherwise) it builds one table, checks
that each command of a pair writes the same data as the shell, then runs the pair side by side,
alternating, with output to /dev/null, and reports the median wall time and peak resident memory
of each, their ratio (ours over the shell's) and PASS or FAIL against the targets:

- export: `--export-csv DB t` against `sqlite3 -csv -header DB "select * from t"`;
- query: `--query DB "select * from t"` against `sqlite3 -tabs -header DB "select * from t"`;
- our peak resident memory at most 64 MiB; export time ratio at most 0.8; query at most 1.0.

Then it compares the start of a built-in command (`--analyze`, which prints fixed text) with a C
program that prints one line, compiled here with `cc`: many interleaved runs, median wall time
from start to exit, target at most 1.3 times; and it times --sample.

The data checks read both outputs line by line from files in the work directory, so they hold
little memory at any size, and they report every kind of difference with examples:

- CSV: both files are read with Python's csv module and compared record by record. The two
  programs need not write NULL and the empty string alike (one may quote the empty string as
  "" and write NULL as an empty field, the other write both as an empty field); the csv module
  reads both forms as '', so this check does not tell NULL from the empty string. The table
  holds both, NULLs in `flag` and empty strings in `note`, so that either way of writing them
  is read.
- Query: our report's first line, `Executed in ... ms (N rows):`, must give the number of rows
  that follow the header; every later line must equal the shell's line.
- A cell that differs only in how a REAL value is written (both parse as the same number to 15
  significant digits, as two SQLite releases may print it) is reported as a REAL text difference
  and counted apart, as a warning; any other difference fails the check.

Exits 1 when any check fails. Needs the sqlite3 shell, cc and GNU time (/usr/bin/time).
"""

import argparse
import csv
import itertools
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 2**20
MEMORY_TARGET_MIB = 64
EXPORT_RATIO_TARGET = 0.8
QUERY_RATIO_TARGET = 1.0
STARTUP_RATIO_TARGET = 1.3
EXAMPLES = 5  # differences shown of each kind

TABLE_SQL = """
CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, amount REAL, note TEXT, flag INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < {rows})
INSERT INTO t SELECT i, 'customer ' || (i % 977), i * 0.25,
  CASE WHEN i % 10 = 0 THEN 'needs, quoting "here"' WHEN i % 10 = 5 THEN '' ELSE 'plain note' END,
  CASE WHEN i % 3 = 0 THEN NULL ELSE i % 2 END FROM n;
"""

HELLO_C = '#include <stdio.h>\nint main(void) { puts("hello"); return 0; }\n'


class Verdicts:
    """Collects PASS/FAIL lines so that the end of the report can sum them up."""

    def __init__(self):
        self.failed = []
        self.warned = []
        self.context = ""  # what the lines that follow are about, as the summary names them

    def target(self, label, value, limit, unit=""):
        ok = value <= limit
        print(f"  {label:22} {value:9.2f}{unit}  (target <= {limit:.1f}{unit})  "
              f"{'PASS' if ok else 'FAIL'}")
        if not ok:
            self.failed.append(f"{self.context} {label}")

    def data(self, label, summary, failed, warned):
        status = "FAIL" if failed else "WARN" if warned else "PASS"
        print(f"  {label:22} {summary}  {status}")
        if failed:
            self.failed.append(f"{self.context} {label}")
        elif warned:
            self.warned.append(f"{self.context} {label}")


TIME = "/usr/bin/time"  # GNU time, from the Debian package "time"


def run_once(command, stdout_path=os.devnull):
    """Runs a command with its output to a file; returns (seconds, peak resident set in MiB).

    The peak comes from /usr/bin/time, whose own child starts small: a child of this script
    would count the script's memory, which it shares until it starts the program, in its peak.
    """
    with open(stdout_path, "wb") as sink, tempfile.TemporaryFile() as errors, \
            tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        returncode = subprocess.run([TIME, "-f", "%M", "-o", peak.name] + command,
                                    stdout=sink, stderr=errors).returncode
        elapsed = time.perf_counter() - start
        if returncode != 0:
            errors.seek(0)
            sys.exit(f"failed ({returncode}): {' '.join(command)}: "
                     f"{errors.read().decode(errors='replace')}")
        kilobytes = int(peak.read().split()[-1])
    return elapsed, kilobytes / 1024


def time_pair(ours, theirs, runs):
    """Runs the two commands alternately; returns their median seconds and peak MiB."""
    times = ([], [])
    peaks = [0.0, 0.0]
    for run in range(runs):
        order = (0, 1) if run % 2 == 0 else (1, 0)
        for side in order:
            seconds, mib = run_once((ours, theirs)[side])
            times[side].append(seconds)
            peaks[side] = max(peaks[side], mib)
    return [statistics.median(t) for t in times], peaks


def same_real(ours, theirs):
    """Whether two cells write the same REAL value, in different text."""
    if not any(c in text for text in (ours, theirs) for c in ".eEnN"):
        return False
    try:
        return f"{float(ours):.15g}" == f"{float(theirs):.15g}"
    except ValueError:
        return False


class Differences:
    """Counts differing rows by kind and keeps the first few of each as examples."""

    def __init__(self, columns=None):
        self.columns = columns
        self.real = 0
        self.other = 0
        self.examples = {"REAL text": [], "data": []}

    def add(self, row, ours, theirs):
        """Compares two rows given as lists of cells, or as None when one output has ended."""
        if ours is not None and theirs is not None and len(ours) == len(theirs):
            differing = [i for i, (a, b) in enumerate(zip(ours, theirs)) if a != b]
            if not differing:
                return
            if all(same_real(ours[i], theirs[i]) for i in differing):
                self.real += 1
                self.note("REAL text", row, ", ".join(
                    f"{self.name(i)}: ours {ours[i]!r}, sqlite3 {theirs[i]!r}" for i in differing))
                return
        self.other += 1
        self.note("data", row, f"ours {ours!r}, sqlite3 {theirs!r}")

    def name(self, column):
        return self.columns[column] if self.columns and column < len(self.columns) else column

    def note(self, kind, row, text):
        if len(self.examples[kind]) < EXAMPLES:
            self.examples[kind].append(f"row {row}: {text}")

    def report(self, verdicts, label, rows):
        if self.other:
            summary = f"{self.other:,} of {rows:,} rows differ" + (
                f", {self.real:,} more only in REAL text" if self.real else "")
        elif self.real:
            summary = f"same values; {self.real:,} of {rows:,} rows write a REAL differently"
        else:
            summary = f"identical, {rows:,} rows"
        verdicts.data(label, summary, self.other > 0, self.real > 0)
        for kind, examples in self.examples.items():
            for example in examples:
                print(f"      {kind} difference, {example}")


def check_csv(ours_path, theirs_path, verdicts):
    with open(ours_path, newline="", encoding="utf-8", errors="surrogateescape") as ours, \
            open(theirs_path, newline="", encoding="utf-8", errors="surrogateescape") as theirs:
        ours_records, theirs_records = csv.reader(ours), csv.reader(theirs)
        header = next(theirs_records, None)
        differences = Differences(header)
        differences.add("header", next(ours_records, None), header)
        rows = 0
        for rows, (a, b) in enumerate(itertools.zip_longest(ours_records, theirs_records), 1):
            differences.add(rows, a, b)
    differences.report(verdicts, "data vs sqlite3", rows)


def check_query(ours_path, theirs_path, verdicts):
    with open(ours_path, "rb") as ours, open(theirs_path, "rb") as theirs:
        first = ours.readline()
        reported = re.fullmatch(rb"Executed in [0-9.e+-]+ ms \(([0-9]+) rows\):\n", first)
        header = theirs.readline()
        differences = Differences(header.decode(errors="replace").rstrip("\n").split("\t"))
        differences.add("header", tab_cells(ours.readline()), tab_cells(header))
        rows = 0
        for rows, (a, b) in enumerate(itertools.zip_longest(ours, theirs), 1):
            differences.add(rows, tab_cells(a), tab_cells(b))
    differences.report(verdicts, "data vs sqlite3", rows)
    count_ok = reported is not None and int(reported.group(1)) == rows
    verdicts.data("first line", repr(first[:60].decode(errors="replace")), not count_ok, False)


def tab_cells(line):
    return None if line is None else line.decode(errors="replace").rstrip("\n").split("\t")


def compare_pair(name, title, ours, theirs, checker, ratio_target, work, runs, verdicts):
    print(title)
    verdicts.context = name
    ours_out, theirs_out = os.path.join(work, "ours.out"), os.path.join(work, "theirs.out")
    run_once(ours, ours_out)
    run_once(theirs, theirs_out)
    checker(ours_out, theirs_out, verdicts)
    os.remove(ours_out)
    os.remove(theirs_out)
    (ours_s, theirs_s), (ours_mib, theirs_mib) = time_pair(ours, theirs, runs)
    print(f"  corvenmark  median {ours_s:8.3f} s   peak {ours_mib:8.1f} MiB")
    print(f"  sqlite3     median {theirs_s:8.3f} s   peak {theirs_mib:8.1f} MiB")
    verdicts.target("time ratio", ours_s / theirs_s, ratio_target, "x")
    verdicts.target("peak RSS", ours_mib, MEMORY_TARGET_MIB, " MiB")


def bench_size(program, rows, work, runs, verdicts):
    db = os.path.join(work, f"t{rows}.db")
    subprocess.run(["sqlite3", db], input=TABLE_SQL.format(rows=rows).encode(), check=True)
    print(f"\n{rows:,} rows, {os.path.getsize(db) / MIB:.1f} MiB, {runs} runs each")
    compare_pair(f"{rows:,} rows export", "export: --export-csv  vs  sqlite3 -csv -header",
                 [program, "--engine", "sqlite", "--export-csv", db, "t"],
                 ["sqlite3", "-csv", "-header", db, "select * from t"],
                 check_csv, EXPORT_RATIO_TARGET, work, runs, verdicts)
    compare_pair(f"{rows:,} rows query", "query: --query  vs  sqlite3 -tabs -header",
                 [program, "--engine", "sqlite", "--query", db, "select * from t"],
                 ["sqlite3", "-tabs", "-header", db, "select * from t"],
                 check_query, QUERY_RATIO_TARGET, work, runs, verdicts)
    os.remove(db)


def spawn_seconds(argv, devnull):
    """Wall time from starting a program to its exit, with as little of Python in it as can be."""
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return elapsed


def bench_startup(program, work, runs, verdicts):
    hello = os.path.join(work, "hello")
    with open(hello + ".c", "w") as source:
        source.write(HELLO_C)
    subprocess.run(["cc", "-O2", "-o", hello, hello + ".c"], check=True)
    commands = ([program, "--analyze", "x.db"], [hello])
    times = ([], [])
    with open(os.devnull, "wb") as sink:
        for run in range(-20, runs):  # the first 20 of each warm the caches and are dropped
            order = (0, 1) if run % 2 == 0 else (1, 0)
            for side in order:
                seconds = spawn_seconds(commands[side], sink.fileno())
                if run >= 0:
                    times[side].append(seconds)
    ours, bare = (statistics.median(t) * 1000 for t in times)
    print(f"\nstart: --analyze (built-in engine)  vs  a C program printing one line, "
          f"{runs} interleaved runs each")
    print(f"  corvenmark  median {ours:8.3f} ms")
    print(f"  bare C      median {bare:8.3f} ms")
    verdicts.context = "start"
    verdicts.target("time ratio", ours / bare, STARTUP_RATIO_TARGET, "x")


def bench_sample(program, work, runs):
    samples = [run_once([program, "--engine", "sqlite", "--sample",
                         os.path.join(work, f"sample{run}.db")]) for run in range(runs)]
    print("\nsample: --sample (1,054,795 rows)")
    print(f"  corvenmark  median {statistics.median(s[0] for s in samples):8.3f} s"
          f"   peak {max(s[1] for s in samples):8.1f} MiB")


def parse_sizes(text):
    sizes = []
    for item in text.split(","):
        value = float(item)
        if value < 1 or value != int(value):
            raise argparse.ArgumentTypeError(f"not a row count: {item}")
        sizes.append(int(value))
    return sizes


def versions(program, work):
    db = os.path.join(work, "version.db")
    subprocess.run(["sqlite3", db, "create table v (x)"], check=True)
    report = subprocess.run([program, "--engine", "sqlite", "--query", db,
                             "select sqlite_version()"], capture_output=True, check=True)
    shell = subprocess.run(["sqlite3", "-version"], capture_output=True, check=True)
    os.remove(db)
    return report.stdout.split()[-1].decode(), shell.stdout.split()[0].decode()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--sizes", type=parse_sizes, default=[1_000_000],
                        help="table sizes in rows, comma-separated (default 1e6; e.g. 1e6,1e7)")
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each command")
    parser.add_argument("--startup-runs", type=int, default=1000)
    parser.add_argument("--work", default=None, help="directory for the databases and outputs")
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    for tool in ("sqlite3", "cc", TIME):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is needed (apt-get install sqlite3 gcc time)")

    verdicts = Verdicts()
    work = tempfile.mkdtemp(dir=options.work)
    try:
        ours, shell = versions(program, work)
        print(f"corvenmark's SQLite {ours}; sqlite3 shell {shell}")
        for rows in options.sizes:
            bench_size(program, rows, work, options.runs, verdicts)
        bench_startup(program, work, options.startup_runs, verdicts)
        bench_sample(program, work, options.runs)
    finally:
        shutil.rmtree(work)

    print(f"\n{len(verdicts.failed)} failed: {', '.join(verdicts.failed) or 'none'}; "
          f"{len(verdicts.warned)} warnings: {', '.join(verdicts.warned) or 'none'}")
    return 1 if verdicts.failed else 0


if __name__ == "__main__":
    sys.exit(main())
