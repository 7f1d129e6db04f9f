#!/usr/bin/env python3
"""End-to-end tests of the output formats, SQL from files and --version.

Usage: formats_test.py PROGRAM --version VERSION --duckdb-version V [--runner COMMAND] [--windows]

Every value of a table of awkward values goes out in each format and is read back by Python's
own json and csv modules, then compared with what the database holds.
"""
import csv
import decimal
import io
import json
import math
import os
import sqlite3
import subprocess
import sys
import tempfile

import end_to_end_test as e2e

SQLITE_VALUES = [
    (1, 9223372036854775807, 0.1, "", b"\x00\xff"),
    (2, -9223372036854775808, 1e308, 'quote "q", comma', b""),
    (3, None, math.inf, "tab\there\nline\r\nend", None),
    (4, 0, -math.inf, "ünïcødé ☃", b"A"),
    (5, 1, 2.2250738585072014e-308, None, None),
    (6, -1, 0.30000000000000004, "x" * 100, b"\x01"),
]

DUCKDB_SQL = """CREATE TABLE v AS SELECT * FROM (VALUES
  (1, 9223372036854775807::BIGINT, 0.1::DOUBLE, ''::VARCHAR, true,
   170141183460469231731687303715884105727::HUGEINT,
   12345678901234567890.1234567890::DECIMAL(38,10),
   [1, 2]::INTEGER[], 1.5::FLOAT, '\\x00\\xFF'::BLOB,
   {'x': [1.5, 'nan'::DOUBLE, 'inf'::DOUBLE]}),
  (2, (-9223372036854775807 - 1)::BIGINT, 'nan'::DOUBLE, 'quote "q", comma', false,
   (-170141183460469231731687303715884105727::HUGEINT - 1), -0.5::DECIMAL(38,10), []::INTEGER[], NULL, NULL,
   {'x': []::DOUBLE[]}),
  (3, NULL, 'inf'::DOUBLE, E'tab\\there\\nline', NULL, 0::HUGEINT, NULL, NULL, 0.1::FLOAT, ''::BLOB, NULL),
  (4, 0, '-inf'::DOUBLE, 'ünïcødé ☃', true, NULL, 0::DECIMAL(38,10), [NULL]::INTEGER[], NULL,
   NULL, {'x': [NULL]::DOUBLE[]})
) t(id, i, r, t, flag, huge, d, list, f, b, nested)"""

# What JSON holds for each row of DUCKDB_SQL: numbers as decimal.Decimal, read exactly.
DUCKDB_JSON = [
    {"id": 1, "i": 9223372036854775807, "r": 0.1, "t": "", "flag": True,
     "huge": 170141183460469231731687303715884105727,
     "d": decimal.Decimal("12345678901234567890.1234567890"), "list": [1, 2], "f": 1.5,
     "b": "\\x00\\xFF", "nested": {"x": [1.5, "NaN", "Infinity"]}},
    {"id": 2, "i": -9223372036854775808, "r": "NaN", "t": 'quote "q", comma', "flag": False,
     "huge": -170141183460469231731687303715884105728, "d": decimal.Decimal("-0.5"),
     "list": [], "f": None, "b": None, "nested": {"x": []}},
    {"id": 3, "i": None, "r": "Infinity", "t": "tab\there\nline", "flag": None, "huge": 0,
     "d": None, "list": None, "f": 0.1, "b": "", "nested": None},
    {"id": 4, "i": 0, "r": "-Infinity", "t": "ünïcødé ☃", "flag": True, "huge": None,
     "d": decimal.Decimal("0"), "list": [None], "f": None, "b": None, "nested": {"x": [None]}},
]


def sqlite_json(value):
    """A SQLite value as the program's JSON gives it back."""
    if isinstance(value, float) and math.isinf(value):
        return "Infinity" if value > 0 else "-Infinity"
    if isinstance(value, bytes):
        return "X'" + value.hex().upper() + "'"
    return value


def same(actual, expected):
    """JSON values compare exactly; a number read as Decimal is compared as the double or the
    exact decimal it stands for."""
    if isinstance(actual, decimal.Decimal) and isinstance(expected, float):
        return float(actual) == expected
    if isinstance(actual, bool) or isinstance(expected, bool):
        return actual is expected
    return actual == expected


def make_databases(directory, duckdb):
    connection = sqlite3.connect(os.path.join(directory, "v.db"))
    connection.execute("CREATE TABLE v (id INTEGER PRIMARY KEY, i INTEGER, r REAL, t TEXT, b BLOB)")
    connection.executemany("INSERT INTO v VALUES (?, ?, ?, ?, ?)", SQLITE_VALUES)
    connection.commit()
    connection.close()
    if duckdb:
        duckdb.make(os.path.join(directory, "v.duckdb"), DUCKDB_SQL)


class Unended(bytes):
    """Standard input whose writer keeps it open after these bytes, as an endless source does."""


class Program:
    def __init__(self, runner, directory):
        self.runner = runner
        self.directory = directory

    def run(self, args, stdin=b""):
        command = self.runner.prefix + [self.runner.program] + args
        if not isinstance(stdin, Unended):
            done = subprocess.run(command, input=stdin, capture_output=True, cwd=self.directory,
                                  timeout=120)
            return done.returncode, done.stdout, done.stderr
        with subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=self.directory) as process:
            process.stdin.write(stdin)
            process.stdin.flush()
            try:
                status = process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                status = process.wait()
            return status, process.stdout.read(), process.stderr.read()


def check_rows(name, actual, expected, failures):
    if len(actual) != len(expected):
        failures.append(f"{name}: {len(actual)} rows, expected {len(expected)}")
        return
    for got, want in zip(actual, expected):
        if list(got) != list(want) or not all(same(got[k], want[k]) for k in want):
            failures.append(f"{name}: expected {want!r}, got {got!r}")


def check_engine(program, engine, db, expected_json, failures):
    query = ["--engine", engine, "--query", db, "SELECT * FROM v ORDER BY id"]
    status, out, err = program.run(["--format", "json"] + query)
    if status != 0:
        failures.append(f"{engine} json: status {status}, {err!r}")
        return
    def parse(text):
        # Strictly: NaN and Infinity are no JSON, though Python's reader takes them.
        return json.loads(text, parse_float=decimal.Decimal,
                          parse_constant=lambda word: failures.append(f"{engine}: {word} in JSON"))
    check_rows(f"{engine} json", parse(out.decode()), expected_json, failures)
    status, out, err = program.run(["--engine", engine, "--format", "jsonl"] + query[2:])
    lines = out.decode().splitlines()
    check_rows(f"{engine} jsonl", [parse(line) for line in lines], expected_json, failures)
    # CSV is exactly what --export-csv writes for the table, and reads back to its texts.
    _, csv_out, _ = program.run(["--format", "csv"] + query)
    _, export, _ = program.run(["--engine", engine, "--export-csv", db, "v"])
    if csv_out != export:
        failures.append(f"{engine} csv: {csv_out!r} is not the export {export!r}")
    records = list(csv.reader(io.StringIO(csv_out.decode(), newline="")))
    if records[0] != list(expected_json[0]):
        failures.append(f"{engine} csv header: {records[0]!r}")
    for record, row in zip(records[1:], expected_json):
        for field, (column, value) in zip(record, row.items()):
            if isinstance(value, str) and column == "t" and field != value:
                failures.append(f"{engine} csv {column}: expected {value!r}, got {field!r}")
            if isinstance(value, int) and not isinstance(value, bool) and field != str(value):
                failures.append(f"{engine} csv {column}: expected {value}, got {field!r}")


def check_formats(runner, duckdb):
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        make_databases(directory, duckdb)
        program = Program(runner, directory)
        sqlite_json_rows = [
            {"id": r[0], "i": r[1], "r": sqlite_json(r[2]), "t": r[3], "b": sqlite_json(r[4])}
            for r in SQLITE_VALUES]
        check_engine(program, "sqlite", "v.db", sqlite_json_rows, failures)
        if duckdb:
            check_engine(program, "duckdb", "v.duckdb", DUCKDB_JSON, failures)
        # A result of megabytes goes out as its rows come, whole and in order; one before it
        # is replaced.
        many = ("SELECT 1 AS first; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                "FROM n WHERE i < 100000) SELECT i, 'row ' || i AS t FROM n")
        for name in ("csv", "json", "jsonl"):
            status, out, _ = program.run(["--format", name, "--engine", "sqlite", "--query",
                                          "v.db", many])
            text = out.decode()
            rows = (list(csv.reader(io.StringIO(text, newline="")))[1:] if name == "csv" else
                    json.loads(text) if name == "json" else
                    [json.loads(line) for line in text.splitlines()])
            values = [int(row[0]) if name == "csv" else row["i"] for row in rows]
            if status != 0 or values != list(range(1, 100001)):
                failures.append(f"{name} of 100000 rows: status {status}, {len(values)} rows")
        # A table for people: long cells cut, control characters shown, every row counted.
        status, out, _ = program.run(["--format", "table", "--engine", "auto", "--query", "v.db",
                                      "SELECT t FROM v ORDER BY id"])
        table = out.decode()
        for piece in ["x" * 39 + "…", "tab\\there\\nline\\r\\nend", "(6 rows)"]:
            if piece not in table:
                failures.append(f"table: {piece!r} not in {table!r}")
    return failures


def check_query_files(runner):
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        make_databases(directory, None)
        program = Program(runner, directory)
        with open(os.path.join(directory, "q.sql"), "wb") as file:
            file.write(b"\xef\xbb\xbfSELECT count(*) AS n FROM v")
        # A statement list of a megabyte, more than one argument may hold, from a pipe.
        script = b"SELECT 1;\n" * 100000 + b"SELECT 'piped' AS source"
        cases = [
            (["--query-file", "v.db", "q.sql"], b"", 0, "Executed in", "n\n6\n", ""),
            (["--query-file", "v.db", "-"], script, 0, "Executed in", "source\npiped\n", ""),
            (["--format", "json", "--query-file", "v.db", "-"], b"UPDATE v SET i = i", 0,
             '{"changes":6}\n', "", ""),
            (["--query-file", "v.db", "nowhere.sql"], b"", 1, "", "",
             "Query Error: nowhere.sql: "),
            # What follows a NUL byte would go unread by the engine, and unrun.
            (["--query-file", "v.db", "-"], b"SELECT 1;\0SELECT 2", 1, "", "",
             "Query Error: -: the SQL text holds a NUL byte at offset 9"),
            # ... as soon as it is read, counted after the byte-order mark, however far in.
            (["--query-file", "v.db", "-"],
             Unended(b"\xef\xbb\xbf" + b" " * 100000 + b"SELECT 1;\0"), 1, "", "",
             "Query Error: -: the SQL text holds a NUL byte at offset 100009"),
        ]
        for args, stdin, status, out_start, out_end, err_start in cases:
            args = ["--engine", "sqlite"] + args
            got_status, out, err = program.run(args, stdin)
            out = out.decode().replace("\r\n", "\n")
            err = err.decode().replace("\r\n", "\n")
            if (got_status, out.startswith(out_start), out.endswith(out_end),
                    err.startswith(err_start)) != (status, True, True, True):
                failures.append(f"{args[2:]}: status {got_status}, stdout {out[-200:]!r}, "
                                f"stderr {err!r}")
        # SQL on a path where nothing exists makes a database there when it writes, and only
        # then; nothing else is left beside it.
        for args, stdin, status, made in (
                (["sqlite", "--query", "made.db", "CREATE TABLE t (x)"], b"", 0, True),
                (["auto", "--query-file", "made.duckdb", "-"], b"CREATE TABLE t AS SELECT 1 AS x",
                 0, True),
                (["auto", "--query", "read.db", "SELECT 1"], b"", 1, False),
                (["auto", "--query", "read.duckdb", "SELECT 1"], b"", 1, False),
                (["sqlite", "--query", "failed.db", "CREATE TABLE t (x); INSERT INTO u VALUES (1)"],
                 b"", 1, False)):
            before = set(os.listdir(directory))
            got_status, _, err = program.run(["--engine"] + args, stdin)
            added = set(os.listdir(directory)) - before
            listed, _, _ = program.run(["--engine", "auto", "--schema", args[2]], b"")
            if (got_status, added, listed == 0) != (status, {args[2]} if made else set(), made):
                failures.append(f"{args}: status {got_status}, new files {sorted(added)}, "
                                f"--schema status {listed}, stderr {err!r}")
    return failures



def checks(runner, duckdb, windows):
    return [("formats read back", check_formats(runner, duckdb)),
            ("SQL from files and pipes", check_query_files(runner))]


if __name__ == "__main__":
    sys.exit(e2e.script_main(checks))
