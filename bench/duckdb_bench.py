#!/usr/bin/env python3
"""Times the DuckDB engine against DuckDB's own C API: the CSV export of a 1,000,000-row table
against COPY, and analytic queries over a 10,000,000-row table against the same SQL.

Usage: bench/duckdb_bench.py PROGRAM [--runs N] [--work DIR] [--query-rows N]

Compiles a small C helper against the DuckDB header and library of PROGRAM's build directory,
builds the table with it, then runs `PROGRAM --engine duckdb --export-csv` and the helper's
`COPY t TO '/dev/stdout' (HEADER)` side by side, alternating, and reports the median wall time
and the peak resident memory of each, writing their output to /dev/null, with the processor
time (user and system) of each: COPY works on every core, so its wall time depends on how busy
the machine is. Finally it checks that
the two CSV files hold the same records: both write NULL as an empty field, and this program
writes an empty text as "" so that it reads back apart from NULL, which the parser here keeps.

Then it times `PROGRAM --engine duckdb --query` against the helper running the same SQL with
DuckDB's default settings (every core, DuckDB's memory limit) for a GROUP BY, a join and a top-N
sort over QUERY_ROWS rows, checks that both print the same rows, and passes when the program's
median wall time is at most 1.1 times DuckDB's. It exits 1 when a check fails.
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

QUERY_ROWS = 10_000_000
QUERY_TABLES_SQL = """
CREATE TABLE sales AS SELECT
  i AS id,
  'customer ' || (i % 977) AS customer,
  i % 1000 AS shop,
  i * 7919 % 100000 AS cents
FROM range({rows}) r(i);
CREATE TABLE shops AS SELECT i AS shop, 'region ' || (i % 7) AS region FROM range(1000) r(i);
"""
# Whole cents, so that sums do not depend on the order the threads add them in.
QUERIES = {
    "group by": "SELECT customer, count(*) AS n, sum(cents) AS total, avg(cents) AS mean "
                "FROM sales GROUP BY customer ORDER BY customer",
    "join": "SELECT region, count(*) AS n, sum(cents) AS total FROM sales "
            "JOIN shops USING (shop) GROUP BY region ORDER BY region",
    "top-N sort": "SELECT id, customer, cents FROM sales ORDER BY cents DESC, id LIMIT 100",
}
QUERY_TARGET = 1.1  # our median wall time over DuckDB's, at most

HELPER = r"""
#include <stdio.h>
#include <string.h>
#include "duckdb.h"

/* helper query DB SQL: runs SQL with DuckDB's default settings and prints its rows as the
   program's report does, a header line and then tab-separated cells, NULL as nothing. */
static int query(const char *path, const char *sql) {
  duckdb_database db;
  duckdb_connection con;
  duckdb_result result;
  if (duckdb_open(path, &db) != DuckDBSuccess) return 1;
  duckdb_connect(db, &con);
  int failed = duckdb_query(con, sql, &result) != DuckDBSuccess;
  if (failed) {
    fprintf(stderr, "%s\n", duckdb_result_error(&result));
  } else {
    idx_t columns = duckdb_column_count(&result);
    for (idx_t c = 0; c < columns; c++) {
      printf("%s%s", c ? "\t" : "", duckdb_column_name(&result, c));
    }
    printf("\n");
    for (idx_t r = 0; r < duckdb_row_count(&result); r++) {
      for (idx_t c = 0; c < columns; c++) {
        char *text = duckdb_value_varchar(&result, c, r);
        printf("%s%s", c ? "\t" : "", text ? text : "");
        duckdb_free(text);
      }
      printf("\n");
    }
  }
  duckdb_destroy_result(&result);
  duckdb_disconnect(&con);
  duckdb_close(&db);
  return failed;
}

/* helper build|copy DB: builds the table from the SQL on standard input, or copies it to
   standard output as CSV. */
int main(int argc, char **argv) {
  if (argc == 4 && strcmp(argv[1], "query") == 0) return query(argv[2], argv[3]);
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
    """Prints the medians of each command's runs, alternating; returns ours over theirs."""
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
    return ours / theirs


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
    parser.add_argument("--query-rows", type=int, default=QUERY_ROWS,
                        help="rows of the table the analytic queries read")
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
        # Before the CSV files are parsed, which makes this process large: a child's peak memory
        # starts from its parent's.
        queries_passed = compare_queries(program, helper, work, options)
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
        if not queries_passed:
            sys.exit(1)
    finally:
        shutil.rmtree(work)


def report_rows(output):
    """The header and rows of a query report: everything after its timing line."""
    return output.split(b"\n", 1)[1]


def compare_queries(program, helper, work, options):
    """Times each analytic query both ways and checks their rows; True when all pass."""
    db = os.path.join(work, "sales.duckdb")
    subprocess.run([helper, "build", db], check=True,
                   input=QUERY_TABLES_SQL.format(rows=options.query_rows).encode())
    print(f"\n{options.query_rows} rows in sales, {os.path.getsize(db) / 2**20:.1f} MiB")
    passed = True
    for name, sql in QUERIES.items():
        ours = [program, "--engine", "duckdb", "--query", db, sql]
        theirs = [helper, "query", db, sql]
        # A query takes a tenth of a second, in which a busy moment weighs much: three times
        # the runs.
        ratio = compare(f"query, {name}: --engine duckdb --query  vs  duckdb_query()",
                        {"corvenmark": ours, "duckdb": theirs}, options.runs * 3)
        ours_out = subprocess.run(ours, capture_output=True, check=True).stdout
        theirs_out = subprocess.run(theirs, capture_output=True, check=True).stdout
        same = report_rows(ours_out) == theirs_out
        verdict = "PASS" if same and ratio <= QUERY_TARGET else "FAIL"
        print(f"  time ratio  {ratio:7.2f} (target at most {QUERY_TARGET}), rows "
              f"{'identical' if same else 'DIFFERENT'}: {verdict}")
        passed = passed and verdict == "PASS"
    return passed


if __name__ == "__main__":
    main()
