#!/usr/bin/env python3
"""End-to-end tests of --diff-data within SQLite, within DuckDB and across the two.

Usage: diff_data_test.py PROGRAM --version VERSION --duckdb-version V [--runner COMMAND] [--windows]

Each case diffs two databases made by SQL (the DuckDB ones by converting a SQLite file and then
changing it through the program), expects the report's lines, and applies the SQL form to a copy
of the first database, which must then diff clean against the second.
"""
import os
import shutil
import sqlite3
import sys
import tempfile

import end_to_end_test as e2e
from convert_test import Program

BASE = """
CREATE TABLE k (a INTEGER, b TEXT, v, PRIMARY KEY (a, b));
INSERT INTO k VALUES (1, 'x', 'same'), (1, 'y', 'old'), (2, 'x', NULL), (3, 'z', 'gone'),
  (4, 'w', 9223372036854775807), (5, 'w', 0.30000000000000004), (6, 'w', x'00ff00');
CREATE TABLE bag (t TEXT, n INTEGER);
INSERT INTO bag VALUES ('dup', 1), ('dup', 1), ('one', 2);
CREATE TABLE typed (id INTEGER PRIMARY KEY, n INTEGER);
INSERT INTO typed VALUES (1, 1);
"""

CHANGES = """
UPDATE k SET v = 'new' WHERE a = 1 AND b = 'y';
UPDATE k SET v = '' WHERE a = 2;
DELETE FROM k WHERE a = 3;
INSERT INTO k VALUES (7, 'it''s', 'a -> b');
UPDATE k SET v = -9223372036854775808 WHERE a = 4;
UPDATE k SET v = 1e308 WHERE a = 5;
UPDATE k SET v = x'00ff01' WHERE a = 6;
DELETE FROM bag WHERE rowid = 1;
INSERT INTO bag VALUES ('two', 3);
"""

KEYED_LINES = [
    "Table k (key a, b): 1 added, 1 removed, 5 changed",
    "  ~ a=1, b='y': v 'old' -> 'new'",
    "  ~ a=2, b='x': v NULL -> ''",
    "  - a=3, b='z'",
    "  ~ a=4, b='w': v 9223372036854775807 -> -9223372036854775808",
    "  ~ a=5, b='w': v 0.30000000000000004 -> 1e+308",
    "  ~ a=6, b='w': v X'00FF00' -> X'00FF01'",
    "  + a=7, b='it''s'",
]
BAG_LINES = [
    "Table bag (whole rows): 1 added, 1 removed",
    "  ! no primary key: rows compared whole, as added and removed only",
    "  - ('dup', 1)",
    "  + ('two', 3)",
]


def make_sqlite(path, *scripts):
    connection = sqlite3.connect(path)
    for script in scripts:
        connection.executescript(script)
    connection.close()


def check_applied(program, first, second, label, failures):
    """The SQL form, applied to a copy of `first`, leaves no difference from `second`."""
    copy = "applied-" + first
    shutil.copy(os.path.join(program.directory, first), os.path.join(program.directory, copy))
    status, sql, err = program.run("--engine", "auto", "--format", "sql", "--diff-data", first,
                                   second)
    with open(os.path.join(program.directory, "fix.sql"), "w", encoding="utf-8") as file:
        file.write(sql)
    applied = program.run("--engine", "auto", "--query-file", copy, "fix.sql")
    after = program.run("--engine", "auto", "--exit-code", "--summary", "--diff-data", copy, second)
    e2e.check(f"{label}: the SQL form applied", (status, err, applied[0], after[0]), (0, "", 0, 0),
              failures)
    if after[0] != 0:
        failures.append(f"{label}: SQL\n{sql}\nleft\n{after[1]}{after[2]}")
    os.remove(os.path.join(program.directory, copy))


def check_data_diffs(runner, duckdb):
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        program = Program(runner, directory)
        make_sqlite(os.path.join(directory, "a.db"), BASE)
        make_sqlite(os.path.join(directory, "b.db"), BASE, CHANGES)
        # Within SQLite: composite keys, NULL against '', 64-bit extremes, 17 digits, BLOBs,
        # a text holding " -> ", and a table without a key holding a row twice.
        status, out, err = program.run("--engine", "sqlite", "--diff-data", "a.db", "b.db")
        e2e.check("within SQLite", (status, err, out.splitlines()),
                  (0, "", ["Data diff: a.db -> b.db (3 tables, 2 rows added, 2 rows removed, "
                           "5 rows changed):"] + BAG_LINES + KEYED_LINES +
                   ["Table typed (key id): 0 added, 0 removed, 0 changed"]), failures)
        check_applied(program, "a.db", "b.db", "within SQLite", failures)
        # One table by its name; one record per changed row.
        status, out, _ = program.run("--engine", "sqlite", "--format", "jsonl", "--diff-data",
                                     "a.db", "b.db", "typed")
        e2e.check("one table", (status, out), (0, ""), failures)
        status, out, _ = program.run("--engine", "sqlite", "--format", "csv", "--diff-data",
                                     "a.db", "b.db", "k")
        e2e.check("csv records", (status, out.splitlines()[:3]),
                  (0, ["table,change,key,before,after", "k,changed,\"a=1, b='y'\",v='old',v='new'",
                       "k,changed,\"a=2, b='x'\",v=NULL,v=''"]), failures)
        # Kinds within one format: 1, 1.0 and '1' are three values; -0.0 is not 0.0.
        make_sqlite(os.path.join(directory, "kinds-a.db"),
                    "CREATE TABLE t (id INTEGER PRIMARY KEY, v); INSERT INTO t VALUES "
                    "(1, 1), (2, 1), (3, 0.0), (4, 'x')")
        make_sqlite(os.path.join(directory, "kinds-b.db"),
                    "CREATE TABLE t (id INTEGER PRIMARY KEY, v); INSERT INTO t VALUES "
                    "(1, 1.0), (2, '1'), (3, -0.0), (4, x'78')")
        status, out, _ = program.run("--engine", "sqlite", "--diff-data", "kinds-a.db", "kinds-b.db")
        e2e.check("kinds within one format", (status, out.splitlines()[2:]),
                  (0, ["  ~ id=1: v 1 -> 1.0", "  ~ id=2: v 1 -> '1'", "  ~ id=3: v 0.0 -> -0.0",
                       "  ~ id=4: v 'x' -> X'78'"]), failures)
        # A record keeps a BLOB apart from a text of its literal.
        status, out, _ = program.run("--engine", "sqlite", "--format", "jsonl", "--diff-data",
                                     "kinds-a.db", "kinds-b.db")
        e2e.check("a BLOB in a record", out.splitlines()[-1:],
                  ['{"table":"t","change":"changed","key":{"id":4},"before":{"v":"x"},'
                   '"after":{"v":{"sql":"X\'78\'"}}}'], failures)
        # A generated column is compared, never set; a name that is not a plain word is quoted.
        make_sqlite(os.path.join(directory, "gen-a.db"),
                    'CREATE TABLE g (id INTEGER PRIMARY KEY, "a b" INTEGER, c AS ("a b" * 2));'
                    'INSERT INTO g (id, "a b") VALUES (1, 1)')
        make_sqlite(os.path.join(directory, "gen-b.db"),
                    'CREATE TABLE g (id INTEGER PRIMARY KEY, "a b" INTEGER, c AS ("a b" * 2));'
                    'INSERT INTO g (id, "a b") VALUES (1, 2), (2, 3)')
        status, out, _ = program.run("--engine", "sqlite", "--diff-data", "gen-a.db", "gen-b.db")
        e2e.check("a generated column", (status, out.splitlines()[2:]),
                  (0, ['  ~ id=1: "a b" 1 -> 2; c 2 -> 4', "  + id=2"]), failures)
        check_applied(program, "gen-a.db", "gen-b.db", "a generated column", failures)
        # BIGINT and INTEGER keys pair, TEXT and INTEGER do not; a key stored out of order (w
        # in the first) is read again in key order; a key that holds NULL twice has its rows
        # compared whole.
        make_sqlite(os.path.join(directory, "order-a.db"),
                    "CREATE TABLE t (id BIGINT PRIMARY KEY, v) WITHOUT ROWID; CREATE TABLE u "
                    "(id TEXT PRIMARY KEY, v); INSERT INTO t VALUES (3, 'c'), (1, 'a'), (2, 'b');"
                    "INSERT INTO u VALUES ('1', 1); CREATE TABLE w (code TEXT PRIMARY KEY, v);"
                    "INSERT INTO w VALUES ('c', 3), ('a', 1), ('b', 2);"
                    "CREATE TABLE n (k TEXT PRIMARY KEY, v); INSERT INTO n VALUES (NULL, 1), (NULL, 2)")
        make_sqlite(os.path.join(directory, "order-b.db"),
                    "CREATE TABLE t (id INTEGER PRIMARY KEY, v); CREATE TABLE u (id INTEGER "
                    "PRIMARY KEY, v); INSERT INTO t VALUES (1, 'a'), (2, 'B'), (3, 'c');"
                    "INSERT INTO u VALUES (1, 1); CREATE TABLE w (code TEXT PRIMARY KEY, v);"
                    "INSERT INTO w VALUES ('a', 1), ('b', 20), ('c', 3);"
                    "CREATE TABLE n (k TEXT PRIMARY KEY, v); INSERT INTO n VALUES (NULL, 1)")
        status, out, _ = program.run("--engine", "sqlite", "--diff-data", "order-a.db",
                                     "order-b.db")
        e2e.check("key order and families", (status, out.splitlines()[1:]),
                  (0, ["Table n (whole rows): 0 added, 1 removed",
                       "  ! its primary key holds one value twice: rows compared whole, as added "
                       "and removed only", "  - (NULL, 2)",
                       "Table t (key id): 0 added, 0 removed, 1 changed", "  ~ id=2: v 'b' -> 'B'",
                       "Table u (whole rows): 1 added, 1 removed",
                       "  ! primary keys differ: (id TEXT) and (id INTEGER): rows compared whole, as "
                       "added and removed only", "  + (1, 1)", "  - ('1', 1)",
                       "Table w (key code): 0 added, 0 removed, 1 changed",
                       "  ~ code='b': v 2 -> 20"]), failures)
        # Statuses: without --exit-code as ever; with it 0, 1 and 2.
        for args, expected in ((["a.db", "b.db"], 1), (["a.db", "a.db"], 0),
                               (["a.db", "missing.db"], 2)):
            status, _, _ = program.run("--engine", "sqlite", "--exit-code", "--diff-data", *args)
            e2e.check(f"--exit-code {args}", status, expected, failures)
        for args, expected in ((["--exit-code", "--diff", "a.db", "b.db"], 0),
                               (["--exit-code", "--diff", "a.db", "typed.db"], 2),
                               (["--exit-code", "--diff-data", "a.db"], 2),
                               (["--diff-data", "a.db", "missing.db"], 1),
                               (["--exit-code", "--format", "sql", "--summary", "--diff-data",
                                 "a.db", "b.db"], 2)):
            status, _, _ = program.run("--engine", "sqlite", *args)
            e2e.check(f"status of {args}", status, expected, failures)
        if duckdb:
            # Across formats: a DuckDB copy of B diffs from A as B does, and the SQL form in
            # either dialect brings one in line with the other.
            program.run("--engine", "auto", "--convert", "b.db", "b.duckdb")
            status, out, err = program.run("--engine", "auto", "--diff-data", "b.db", "b.duckdb")
            e2e.check("across formats, the same rows", (status, err, out.splitlines()[1:]),
                      (0, "", ["Table bag (whole rows): 0 added, 0 removed",
                               "  ! no primary key: rows compared whole, as added and removed "
                               "only", "Table k (key a, b): 0 added, 0 removed, 0 changed",
                               "Table typed (key id): 0 added, 0 removed, 0 changed",
                               "No differences."]), failures)
            status, out, _ = program.run("--engine", "auto", "--diff-data", "a.db", "b.duckdb")
            # The copy keeps the column of no type as BLOB: its values compare as their bytes.
            as_bytes = [line.replace("'new'", "X'6E6577'").replace("''", "X''", 1)
                        .replace("-9223372036854775808", "X'2D39323233333732303336383534373735"
                                 "383038'").replace("1e+308", "X'31652B333038'")
                        if line.startswith("  ~") else line for line in KEYED_LINES]
            e2e.check("across formats", (status, out.splitlines()[1:]),
                      (0, BAG_LINES + as_bytes +
                       ["Table typed (key id): 0 added, 0 removed, 0 changed"]), failures)
            check_applied(program, "a.db", "b.duckdb", "SQLite A, DuckDB B", failures)
            program.run("--engine", "auto", "--convert", "a.db", "a.duckdb")
            check_applied(program, "a.duckdb", "b.db", "DuckDB A, SQLite B", failures)
            # Within DuckDB: rows stored out of key order are sorted by the program, and the
            # summary leaves the rows out.
            make_sqlite(os.path.join(directory, "shuffled.db"),
                        "CREATE TABLE s (id INTEGER, v TEXT, PRIMARY KEY (v, id));"
                        "INSERT INTO s VALUES (3, 'c'), (1, 'a'), (2, 'b'), (4, 'a')")
            program.run("--engine", "auto", "--convert", "shuffled.db", "s1.duckdb")
            program.run("--engine", "auto", "--convert", "shuffled.db", "s2.duckdb")
            program.run("--engine", "duckdb", "--query", "s2.duckdb",
                        "DELETE FROM s WHERE id = 1; INSERT INTO s VALUES (0, 'z')")
            status, out, _ = program.run("--engine", "duckdb", "--diff-data", "s1.duckdb",
                                         "s2.duckdb")
            e2e.check("within DuckDB, out of key order", (status, out.splitlines()[1:]),
                      (0, ["Table s (key v, id): 1 added, 1 removed, 0 changed",
                           "  - v='a', id=1", "  + v='z', id=0"]), failures)
            status, out, _ = program.run("--engine", "duckdb", "--summary", "--format", "json",
                                         "--diff-data", "s1.duckdb", "s2.duckdb")
            e2e.check("a summary in JSON", (status, "changes" in out, '"added":1' in out),
                      (0, False, True), failures)
            check_applied(program, "s1.duckdb", "s2.duckdb", "within DuckDB", failures)
            # A key of INTEGER against BIGINT pairs rows; booleans and dates as a copy writes them.
            make_sqlite(os.path.join(directory, "f.db"),
                        "CREATE TABLE f (id INTEGER PRIMARY KEY, flag BOOLEAN, day DATE); "
                        "INSERT INTO f VALUES (1, 1, '2024-02-29'), (2, 0, NULL)")
            program.run("--engine", "auto", "--convert", "f.db", "f.duckdb")
            program.run("--engine", "duckdb", "--query", "f.duckdb",
                        "UPDATE f SET flag = NOT flag, day = DATE '2024-03-01' WHERE id = 2")
            status, out, _ = program.run("--engine", "auto", "--diff-data", "f.db", "f.duckdb")
            e2e.check("booleans and dates across", (status, out.splitlines()[1:]),
                      (0, ["Table f (key id): 0 added, 0 removed, 1 changed",
                           "  ~ id=2: flag 0 -> true; day NULL -> '2024-03-01'"]), failures)
    return failures


def checks(runner, duckdb, windows):
    return [("data diffs", check_data_diffs(runner, duckdb))]


if __name__ == "__main__":
    sys.exit(e2e.script_main(checks))
