#!/usr/bin/env python3
"""Times the DuckDB engine's CSV export against DuckDB's own COPY on a 1,000,000-row table.

Usage: bench/duckdb_bench.py PROGRAM [--runs N] [--work DIR]

Compiles a small C helper against the DuckDB header and library of PROGRAM's build directory,
builds the table with it, then runs `PROGRAM --engine duckdb --export-csv` and the helper's
`COPY t TO '/dev/stdout' (HEADER)` side by side, alternating, and reports the median wall time
and the peak resident memory of each, writing their output to /dev/null, with the processor
time (user and system) of each: COPY works on every core, so its wall time depends on how busy
the machine is. Finally it checks that
the two CSV files hold the same records: both write NULL as an empty field, and this program
writes an empty text as "" so that it reads back apart from NULL, which the parser here keeps.
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
CREATE TABLE t AS SELECT
  i AS id,
  'customer ' || (i % 977) AS name,
  i * 0.25 AS amount,
  CAST(i % 100000 AS DECIMAL(12, 2)) / 100 AS price,
  DATE '2020-01-01' + CAST(i % 2000 AS INTEGER) AS day,
  TIMESTAMP '2024-01-01 00:00:00' + to_seconds(i) AS stamp,
  CASE WHEN i % 10 = 0 THEN 'needs, quoting "here"' WHEN i % 10 = 1 THEN ''
       ELSE 'plain note' END AS note,
  CASE WHEN i % 3 = 0 THEN NULL ELSE i % 2 END AS flag
FROM range({ROWS}) r(i)
"""

HELPER = r"""
#include <stdio.h>
#include <string.h>
#include "duckdb.h"

/* helper build|copy DB: builds the table from the SQL on standard input, or copies it to
   standard output as CSV. */
int main(int argc, char **argv) {
  duckdb_config config;
  duckdb_database db;
  duckdb_connection con;
  duckdb_result result;
  char *error = NULL;
  static char sql[1 << 16];
  int copy = argc == 3 && strcmp(argv[1], "copy") == 0;
  if (argc != 3) return 2;
  duckdb_create_config(&config);
  if (copy) duckdb_set_config(config, "access_mode", "READ_ONLY");
  if (duckdb_open_ext(argv[2], &db, config, &error) != DuckDBSuccess) {
    fprintf(stderr, "%s\n", error);
    return 1;
  }
  duckdb_connect(db, &con);
  if (copy) {
    strcpy(sql, "COPY t TO '/dev/stdout' (HEADER)");
  } else {
    sql[fread(sql, 1, sizeof sql - 1, stdin)] = '\0';
  }
  int failed = duckdb_query(con, sql, &result) != DuckDBSuccess;
  if (failed) fprintf(stderr, "%s\n", duckdb_result_error(&result));
  duckdb_destroy_result(&result);
  duckdb_disconnect(&con);
  duckdb_close(&db);
  duckdb_destroy_config(&config);
  return failed;
}
"""


def run_once(command, out_path=os.devnull):
    """Returns (seconds, peak resident set in MiB, processor seconds) of one run."""
    with open(out_path, "wb") as sink:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=sink, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(command)}: {process.stderr.read().decode()}")
    return elapsed, usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime


def compare(title, commands, runs):
    times = {name: [] for name in commands}
    cpu = {name: [] for name in commands}
    memory = {name: 0.0 for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            seconds, mib, processor = run_once(command)
            times[name].append(seconds)
            cpu[name].append(processor)
            memory[name] = max(memory[name], mib)
    print(title)
    for name in commands:
        print(f"  {name:11} median {statistics.median(times[name]):7.3f} s"
              f"   peak {memory[name]:7.1f} MiB   processor {statistics.median(cpu[name]):6.3f} s")
    ours, theirs = (statistics.median(times[name]) for name in commands)
    print(f"  speed-up    {theirs / ours:7.2f}x")


def csv_records(path):
    """The records of an RFC 4180 file; an unquoted empty field is None, a quoted one ''."""
    with open(path, "rb") as file:
        data = file.read().decode()
    records, record, i = [], [], 0
    while i < len(data):
        if data[i] == '"':
            field, i = [], i + 1
            while True:
                end = data.index('"', i)
                field.append(data[i:end])
                if data.startswith('""', end):
                    field.append('"')
                    i = end + 2
                else:
                    i = end + 1
                    break
            value = "".join(field)
        else:
            end = i
            while end < len(data) and data[end] not in ",\n":
                end += 1
            value, i = (data[i:end] or None), end
        record.append(value)
        if i >= len(data) or data[i] == "\n":
            records.append(record)
            record = []
        i += 1
    return records


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", default=None, help="directory for the database")
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    build = os.path.dirname(program)
    header = os.path.join(build, "_deps", "duckdb", "include")
    if not os.path.exists(os.path.join(build, "libduckdb.so")):
        sys.exit(f"no libduckdb.so beside {program}")

    work = tempfile.mkdtemp(dir=options.work)
    try:
        helper = os.path.join(work, "duckdb_helper")
        with open(helper + ".c", "w") as source:
            source.write(HELPER)
        subprocess.run(["cc", "-O2", "-I", header, helper + ".c", "-o", helper, "-L", build,
                        "-lduckdb", "-Wl,-rpath," + build], check=True)
        db = os.path.join(work, "bench.duckdb")
        subprocess.run([helper, "build", db], input=TABLE_SQL.encode(), check=True)
        print(f"{ROWS} rows, {os.path.getsize(db) / 2**20:.1f} MiB, {options.runs} runs each,"
              f" {os.cpu_count()} cores")
        ours = [program, "--engine", "duckdb", "--export-csv", db, "t"]
        theirs = [helper, "copy", db]
        compare("export: --engine duckdb --export-csv  vs  COPY t TO '/dev/stdout' (HEADER)",
                {"corvenmark": ours, "duckdb COPY": theirs}, options.runs)
        ours_csv, theirs_csv = os.path.join(work, "ours.csv"), os.path.join(work, "theirs.csv")
        run_once(ours, ours_csv)
        run_once(theirs, theirs_csv)
        same_bytes = open(ours_csv, "rb").read() == open(theirs_csv, "rb").read()
        ours_records, theirs_records = csv_records(ours_csv), csv_records(theirs_csv)
        print(f"records: {len(ours_records)} and {len(theirs_records)},"
              f" {'identical' if ours_records == theirs_records else 'DIFFERENT'}"
              f" ({'same bytes' if same_bytes else 'bytes differ'})")
        if ours_records != theirs_records:
            for a, b in zip(ours_records, theirs_records):
                if a != b:
                    print(f"  first difference: {a!r} vs {b!r}")
                    break
            sys.exit(1)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
