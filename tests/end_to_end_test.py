#!/usr/bin/env python3
"""Runs the built program as a user would and compares exact bytes and exit statuses.

Usage: end_to_end_test.py PROGRAM --version VERSION [--runner COMMAND] [--windows]
                           [--sqlite-version VERSION] [--no-memory-limit]

Each case starts the program in a new session (as setsid does), so it has no controlling
terminal, in a working directory of its own whose files must be left as they were. With
--runner the program is started through another program (Wine). With --windows the program is
a Windows one: every line it writes ends with a carriage return and line feed, while the bytes
of values stay as they are; and it knows itself by its Windows path (Z:\\...). Text beyond ASCII
is UTF-8 on every platform, in arguments and in output. VERSION is the project version, which
the usage text names. With --sqlite-version the program carries the SQLite that the build
compiles in, which must be that release and built with its options.
"""

import argparse
import contextlib
import ctypes
import os
import pty
import re
import resource
import select
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

RULE = "=" * 56 + "\n"


def usage(program, version):
    return (RULE + f"  Corvenmark Studio - Commercial Edition v{version}\n"
            "  High-Speed SQLite & DuckDB Management Workstation\n" + RULE + "\n"
            "Usage:\n"
            f"  {program} [options]\n"
            "\n"
            "Options:\n"
            "  --gui                     Launch native graphical user interface (Default if no args)\n"
            "  --query <db> <sql>        Execute SQL query and print tab-separated results\n"
            "  --schema <db>             Inspect all tables, columns, types, and primary keys\n"
            "  --diff <dbA> <dbB>        Compute structural schema difference between two DBs\n"
            "  --analyze <db>            Execute PRAGMA integrity and storage diagnostics\n"
            "  --export-csv <db> <table> Export table directly to formatted CSV\n"
            "  --sample <out_db>         Generate sample high-speed benchmark database\n"
            "\n")


USAGE = object()  # stands for the usage text naming the program as it was started


class Anything:
    """Equal to any value: a file whose bytes are not the test's business."""

    def __eq__(self, other):
        return True

    def __repr__(self):
        return "ANY"


ANY = Anything()

QUERY_REPORT = ("Executed in 0.5 ms (1 rows):\n"
                "status\tengine\n"
                "OK\tCorvenmark Win64 Native Engine\n")
DIAGNOSTICS = ("=== PRAGMA Database Diagnostics ===\n"
               "Integrity Check: PASS (OK)\n"
               "Journal Mode:   WAL\n"
               "Page Size:      4096 bytes\n"
               "Page Count:     10 (40 KB)\n"
               "Freelist Count: 0\n")
CSV = "status,engine\nOK,Corvenmark Win64\n"
NO_DIFF = "Schema diff: a.db -> b.db (0 differences):\nNo differences.\n"

BUILTIN_ROW = '[{"status":"OK","engine":"Corvenmark Win64 Native Engine"}]\n'
FORMATS = "tsv, csv, json, jsonl, table or sql"

# (name, arguments, expected standard output, expected standard error, exit status)
CASES = [
    ("no arguments opens the desktop entry", [], "", "", 0),
    ("--gui opens the desktop entry", ["--gui"], "", "", 0),
    ("--gui ignores what follows", ["--gui", "--help", "x"], "", "", 0),
    ("--help", ["--help"], USAGE, "", 0),
    ("-h", ["-h"], USAGE, "", 0),
    ("--help ignores what follows", ["--help", "--query"], USAGE, "", 0),
    ("--query", ["--query", "shop.db", "SELECT 1"], QUERY_REPORT, "", 0),
    ("--query with empty SQL", ["--query", "missing.db", ""], QUERY_REPORT, "", 0),
    ("--query ignores extra arguments", ["--query", "a", "b", "c", "d"], QUERY_REPORT, "", 0),
    ("--query without SQL", ["--query", "shop.db"], USAGE, "", 1),
    ("--query alone", ["--query"], USAGE, "", 1),
    ("--schema", ["--schema", "shop.db"], "Database: shop.db (0 tables):\n", "", 0),
    ("--schema uses the first path", ["--schema", "a b.db", "c.db"],
     "Database: a b.db (0 tables):\n", "", 0),
    ("--schema alone", ["--schema"], USAGE, "", 1),
    ("--analyze", ["--analyze", "shop.db"], DIAGNOSTICS, "", 0),
    ("--analyze alone", ["--analyze"], USAGE, "", 1),
    ("--export-csv", ["--export-csv", "shop.db", "orders"], CSV, "", 0),
    ("--export-csv without table", ["--export-csv", "shop.db"], USAGE, "", 1),
    ("--sample", ["--sample", "bench.db"], "Create sample benchmark DB: OK at bench.db\n", "", 0),
    ("--sample keeps the path as passed", ["--sample", "./dir/../b é名前ß.db"],
     "Create sample benchmark DB: OK at ./dir/../b é名前ß.db\n", "", 0),
    ("--schema keeps a path beyond any code page", ["--schema", "名前ß.db"],
     "Database: 名前ß.db (0 tables):\n", "", 0),
    ("--sample alone", ["--sample"], USAGE, "", 1),
    ("--diff", ["--diff", "a.db", "b.db"], NO_DIFF, "", 0),
    ("--diff with one path", ["--diff", "a.db"], USAGE, "", 1),
    ("--commands lists the commands the usage text does not",
     ["--commands"], re.compile(rb"(?s)Leading options, [^\n]*\n  --engine <name> .*\n  "
                                rb"--query-file <db> <file\|->  .*\n  --convert <source> "
                                rb"<target> .*\n  --commands  .*\n$"), "", 0),
    ("empty first argument", [""], USAGE, "", 1),
    ("unknown option", ["--bogus", "x", "y"], USAGE, "", 1),
    ("--GUI in capitals", ["--GUI"], USAGE, "", 1),
    ("--Query in mixed case", ["--Query", "a", "b"], USAGE, "", 1),
    ("-H in capitals", ["-H"], USAGE, "", 1),
    ("option without dashes", ["help"], USAGE, "", 1),
    ("--engine builtin", ["--engine", "builtin", "--query", "db", "x"], QUERY_REPORT, "", 0),
    ("--engine builtin counts from the command", ["--engine", "builtin", "--query", "db"],
     USAGE, "", 1),
    ("--engine without a name", ["--engine"], USAGE, "", 1),
    ("--engine without a command", ["--engine", "builtin"], USAGE, "", 1),
    ("--engine then --gui", ["--engine", "builtin", "--gui"], USAGE, "", 1),
    ("--engine unknown", ["--engine", "oracle", "--help"], "",
     "Engine Error: unknown engine 'oracle' (expected builtin, sqlite, duckdb or auto)\n", 1),
    ("json of the built-in query", ["--format", "json", "--query", "x", "y"], BUILTIN_ROW, "", 0),
    ("options in either order", ["--format", "json", "--engine", "builtin", "--query", "x", "y"],
     BUILTIN_ROW, "", 0),
    ("csv of the built-in query", ["--engine", "builtin", "--format", "csv", "--query", "x", "y"],
     "status,engine\nOK,Corvenmark Win64 Native Engine\n", "", 0),
    ("tsv is the default", ["--format", "tsv", "--query", "x", "y"],
     "Executed in 0.5 ms (1 rows):\nstatus\tengine\nOK\tCorvenmark Win64 Native Engine\n", "", 0),
    ("json of the built-in schema", ["--format", "json", "--schema", "x"],
     '{"database":"x","tables":[]}\n', "", 0),
    ("json of the built-in diagnostics", ["--format", "json", "--analyze", "x"],
     '{"integrity":"pass","integrityProblem":null,"journalMode":"WAL","pageSize":4096,'
     '"pageCount":10,"kilobytes":40,"freelistCount":0}\n', "", 0),
    ("csv of the built-in diagnostics", ["--format", "csv", "--analyze", "x"],
     "integrity,integrity_problem,journal_mode,page_size,page_count,kilobytes,freelist_count\n"
     "pass,,WAL,4096,10,40,0\n", "", 0),
    ("json of the sample line", ["--format", "json", "--sample", "new.db"],
     '{"status":"OK","path":"new.db"}\n', "", 0),
    ("json of a diff", ["--format", "json", "--diff", "a", "b"],
     '{"first":"a","second":"b","differences":0,"tablesOnlyInFirst":[],'
     '"tablesOnlyInSecond":[],"changedTables":[]}\n', "", 0),
    ("jsonl is for queries", ["--format", "jsonl", "--schema", "x"], "",
     "Schema Error: --format jsonl does not apply to --schema\n", 1),
    ("export writes only csv", ["--format", "json", "--export-csv", "x", "t"], "",
     "Export Error: --format json does not apply to --export-csv\n", 1),
    ("an unknown format", ["--format", "xml", "--query", "x", "y"], "",
     f"Format Error: unknown format 'xml' (expected {FORMATS})\n", 1),
    ("a format twice", ["--format", "csv", "--format", "csv", "--query", "x", "y"], USAGE,
     "", 1),
    ("a format without a command", ["--format", "csv"], USAGE, "", 1),
    ("a version of every library", ["--version"],
     re.compile(rb"Corvenmark Studio [0-9.]+\nSQLite: 3\.[0-9.]+\n"
                              rb"DuckDB: [0-9.]+\n"), "", 0),
]


# Databases that the SQLite cases start from, made fresh in each case's directory.
SHOP = ("CREATE TABLE users (id INTEGER PRIMARY KEY, name TEXT NOT NULL);"
        "INSERT INTO users VALUES (1, 'Ada'), (2, 'Grace, \"the\" admiral');"
        "CREATE TABLE orders (id INTEGER PRIMARY KEY, user_id INTEGER REFERENCES users (id));")
OTHER = "CREATE TABLE users (id TEXT PRIMARY KEY, email TEXT); CREATE TABLE invoices (n);"
# Under a name no code page spells: text beyond ASCII; values holding a line feed and a carriage
# return and line feed, which reports pass on as they are whatever their own line ends; and 800
# short records for a console.
UNICODE = ("CREATE TABLE t (name TEXT); INSERT INTO t VALUES ('Ünïcødé'), ('plain');"
           "CREATE TABLE lines (v); INSERT INTO lines VALUES ('a' || char(10) || 'b'),"
           "('c' || char(13, 10) || 'd');"
           "CREATE TABLE many AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
           " WHERE i < 800) SELECT '€a' AS v FROM n;")
FIXTURE = {"shop.db": SHOP, "other.db": OTHER, "café.db": SHOP, "名前ß.db": UNICODE}

# (name, arguments, expected standard output, expected standard error, exit status); each runs
# with FIXTURE in its directory and must leave every file of it as it was, creating no other.
SQLITE_CASES = [
    ("sqlite query", ["--engine", "sqlite", "--query", "shop.db", "SELECT * FROM users"],
     re.compile(rb"Executed in [0-9.e+-]+ ms \(2 rows\):\nid\tname\n1\tAda\n"
                rb"2\tGrace, \"the\" admiral\n"), "", 0),
    ("sqlite schema", ["--engine", "sqlite", "--schema", "shop.db"],
     "Database: shop.db (2 tables):\n"
     "Table: orders (0 rows)\n  - id : INTEGER [PRIMARY KEY]\n  - user_id : INTEGER\n"
     "Table: users (2 rows)\n  - id : INTEGER [PRIMARY KEY]\n  - name : TEXT\n", "", 0),
    ("sqlite opens a path beyond ASCII", ["--engine", "sqlite", "--schema", "café.db"],
     "Database: café.db (2 tables):\n"
     "Table: orders (0 rows)\n  - id : INTEGER [PRIMARY KEY]\n  - user_id : INTEGER\n"
     "Table: users (2 rows)\n  - id : INTEGER [PRIMARY KEY]\n  - name : TEXT\n", "", 0),
    ("sqlite opens a path no code page spells",
     ["--engine", "sqlite", "--export-csv", "名前ß.db", "t"], "name\nÜnïcødé\nplain\n", "", 0),
    ("sqlite matches text beyond ASCII in SQL",
     ["--engine", "sqlite", "--query", "名前ß.db", "SELECT count(*) FROM t WHERE name = 'Ünïcødé'"],
     re.compile(rb"Executed in [0-9.e+-]+ ms \(1 rows\):\ncount\(\*\)\n1\n"), "", 0),
    ("sqlite error names a path beyond ASCII", ["--engine", "sqlite", "--schema", "名前ß-x.db"],
     "", "Schema Error: unable to open database file: 名前ß-x.db\n", 1),
    # Lists of lines: each ended by the platform's line end, the bytes inside kept as they are.
    ("line ends inside CSV values stay as they are",
     ["--engine", "sqlite", "--export-csv", "名前ß.db", "lines"], ["v", '"a\nb"', '"c\r\nd"'], "",
     0),
    ("line ends inside query cells stay as they are",
     ["--engine", "sqlite", "--query", "名前ß.db", "SELECT v, 'Ü' FROM lines"],
     re.compile(rb"Executed in [0-9.e+-]+ ms \(2 rows\):\nv\t'\xc3\x9c'\n"
                + b"a\nb" + rb"\t\xc3\x9c\n" + b"c\r\nd" + rb"\t\xc3\x9c\n"), "", 0),
    ("sqlite analyze", ["--engine", "sqlite", "--analyze", "shop.db"],
     "=== PRAGMA Database Diagnostics ===\nIntegrity Check: PASS (OK)\n"
     "Journal Mode:   delete\nPage Size:      4096 bytes\nPage Count:     3 (12 KB)\n"
     "Freelist Count: 0\n", "", 0),
    ("sqlite export", ["--engine", "sqlite", "--export-csv", "shop.db", "users"],
     "id,name\n1,Ada\n2,\"Grace, \"\"the\"\" admiral\"\n", "", 0),
    ("sqlite diff", ["--engine", "sqlite", "--diff", "shop.db", "other.db"],
     "Schema diff: shop.db -> other.db (5 differences):\n  - table orders\n  + table invoices\n"
     "  - column users.name : TEXT\n  + column users.email : TEXT\n"
     "  ~ column users.id : INTEGER [PRIMARY KEY] -> TEXT [PRIMARY KEY]\n", "", 0),
    ("sqlite carries full-text search, R-tree, JSON, math and dbstat; foreign keys off",
     ["--engine", "sqlite", "--query", "shop.db",
      "CREATE VIRTUAL TABLE temp.f5 USING fts5(body); INSERT INTO f5 VALUES ('quick brown fox');"
      "CREATE VIRTUAL TABLE temp.f4 USING fts4(body); INSERT INTO f4 VALUES ('lazy dog');"
      "CREATE VIRTUAL TABLE temp.r USING rtree(id, x0, x1); INSERT INTO r VALUES (7, 0, 10);"
      "SELECT (SELECT rowid FROM f5 WHERE f5 MATCH 'brown') AS fts5,"
      " (SELECT rowid FROM f4 WHERE f4 MATCH 'dog') AS fts4,"
      " (SELECT id FROM r WHERE x0 <= 5 AND x1 >= 5) AS rtree,"
      " json_extract('{\"a\": [1, 2]}', '$.a[1]') AS json, sqrt(16) AS math,"
      " (SELECT name FROM dbstat WHERE name = 'users') AS dbstat,"
      " (SELECT foreign_keys FROM pragma_foreign_keys) AS foreign_keys"],
     re.compile(rb"Executed in [0-9.e+-]+ ms \(1 rows\):\n"
                rb"fts5\tfts4\trtree\tjson\tmath\tdbstat\tforeign_keys\n"
                rb"1\t1\t7\t2\t4.0\tusers\t0\n"),
     "", 0),
    ("sqlite query error", ["--engine", "sqlite", "--query", "shop.db", "SELECT * FROM nope"],
     "", "Query Error: no such table: nope\n", 1),
    # In a text of several statements the error names the line the failing one starts on.
    ("sqlite names the line of a statement that does not parse",
     ["--engine", "sqlite", "--query", "shop.db", "SELECT 1;\n" * 499 + "garbage;\nSELECT 2"],
     "", 'Query Error: line 500: near "garbage": syntax error\n', 1),
    ("sqlite names the line of a statement that fails as it runs",
     ["--engine", "sqlite", "--query", "shop.db", "SELECT 1;\n\n  -- nope\n  SELECT * FROM nope;"],
     "", "Query Error: line 4: no such table: nope\n", 1),
    ("sqlite names the line of the first of several statements",
     ["--engine", "sqlite", "--query", "shop.db", "garbage 'a;b'; SELECT 1"],
     "", 'Query Error: line 1: near "garbage": syntax error\n', 1),
    ("sqlite names no line for a text of one statement",
     ["--engine", "sqlite", "--query", "shop.db", "SELECT * FROM nope; -- why"],
     "", "Query Error: no such table: nope\n", 1),
    ("sqlite query that only reads makes no database",
     ["--engine", "sqlite", "--query", "new.db", "SELECT 1"],
     "", "Query Error: unable to open database file: new.db\n", 1),
    ("sqlite schema of a missing file", ["--engine", "sqlite", "--schema", "missing.db"],
     "", "Schema Error: unable to open database file: missing.db\n", 1),
    ("sqlite analyze of a missing file", ["--engine", "sqlite", "--analyze", "missing.db"],
     "", "Analyze Error: unable to open database file: missing.db\n", 1),
    ("sqlite export of an unknown table", ["--engine", "sqlite", "--export-csv", "shop.db", "x"],
     "", "Export Error: no such table: x\n", 1),
    ("sqlite diff with a missing file", ["--engine", "sqlite", "--diff", "shop.db", "gone.db"],
     "", "Diff Error: unable to open database file: gone.db\n", 1),
    ("sqlite sample over an existing file", ["--engine", "sqlite", "--sample", "shop.db"],
     "", "Sample Error: file already exists: shop.db\n", 1),
    ("sqlite without enough arguments", ["--engine", "sqlite", "--export-csv", "shop.db"],
     USAGE, "", 1),
]

WAL_SCHEMA = "Table: t (2 rows)\n  - a : \nTable: u (0 rows)\n  - b : \n"

# Hostile names and file states, each run with fixture_with_wal_states in the directory; none
# may change a file or leave one behind. (name, arguments, stdout, stderr, status, Linux only)
HOSTILE_CASES = [
    ("an empty log is left where it is", ["--engine", "sqlite", "--schema", "emptylog.db"],
     "Database: emptylog.db (1 tables):\nTable: t (1 rows)\n  - a : \n", "", 0, False),
    ("file: name is a file, not a URI",
     ["--engine", "sqlite", "--query", "file:shop.db", "SELECT count(*) FROM orders"],
     "", "Query Error: no such table: orders\n", 1, False),
    (":memory: is a file, not a database in memory",
     ["--engine", "sqlite", "--query", ":memory:", "SELECT 1"],
     "", "Query Error: unable to open database file: :memory:\n", 1, False),
    ("URI parameters in a name are part of it",
     ["--engine", "sqlite", "--schema", "shop.db?mode=memory#%41"],
     "", "Schema Error: unable to open database file: shop.db?mode=memory#%41\n", 1, True),
    ("empty path for a query", ["--engine", "sqlite", "--query", "", "SELECT 1"],
     "", "Query Error: empty database path\n", 1, False),
    ("empty path for a schema", ["--engine", "sqlite", "--schema", ""],
     "", "Schema Error: empty database path\n", 1, False),
    ("empty path for diagnostics", ["--engine", "sqlite", "--analyze", ""],
     "", "Analyze Error: empty database path\n", 1, False),
    ("empty path for a sample", ["--engine", "sqlite", "--sample", ""],
     "", "Sample Error: empty database path\n", 1, False),
    ("schema through a link sees the log", ["--engine", "sqlite", "--schema", "link.db"],
     "Database: link.db (2 tables):\n" + WAL_SCHEMA, "", 0, True),
    ("export through a link sees the log", ["--engine", "sqlite", "--export-csv", "link.db", "t"],
     "a\n1\n2\n", "", 0, True),
    ("a database through a link equals itself",
     ["--engine", "sqlite", "--diff", "link.db", "real.db"],
     "Schema diff: link.db -> real.db (0 differences):\nNo differences.\n", "", 0, True),
    ("schema of a log left without its index", ["--engine", "sqlite", "--schema", "crash.db"],
     "Database: crash.db (2 tables):\n" + WAL_SCHEMA, "", 0, False),
    ("diagnostics of a log left without its index", ["--engine", "sqlite", "--analyze", "crash.db"],
     "=== PRAGMA Database Diagnostics ===\nIntegrity Check: PASS (OK)\nJournal Mode:   wal\n"
     "Page Size:      4096 bytes\nPage Count:     3 (12 KB)\nFreelist Count: 0\n", "", 0, False),
    ("export of a log left without its index",
     ["--engine", "sqlite", "--export-csv", "crash.db", "t"], "a\n1\n2\n", "", 0, False),
    ("diff of a log left without its index", ["--engine", "sqlite", "--diff", "crash.db", "real.db"],
     "Schema diff: crash.db -> real.db (0 differences):\nNo differences.\n", "", 0, False),
    ("a transaction a crash left is not read around",
     ["--engine", "sqlite", "--export-csv", "hot.db", "t"], "",
     "Export Error: the database holds a transaction a crash left unfinished, which only a writer"
     " can roll back (a --query on it does): hot.db\n", 1, False),
    ("a pipe is not opened", ["--engine", "sqlite", "--export-csv", "pipe.db", "t"],
     "", "Export Error: pipe.db: not a regular file\n", 1, True),
    ("a pipe is not probed", ["--engine", "auto", "--schema", "pipe.db"],
     "", "Schema Error: pipe.db: not a regular file\n", 1, True),
    ("a device is not opened", ["--engine", "sqlite", "--query", "/dev/null", "CREATE TABLE x (a)"],
     "", "Query Error: /dev/null: not a regular file\n", 1, True),
    ("a newline in a table name stays on one line",
     ["--engine", "sqlite", "--export-csv", "shop.db", "a\nb\tc\x01"],
     "", "Export Error: no such table: a\\nb\\tc\\x01\n", 1, False),
    ("a newline in a path stays on one line", ["--engine", "sqlite", "--schema", "x\r\ny.db"],
     "", "Schema Error: unable to open database file: x\\r\\ny.db\n", 1, False),
    ("a newline in an engine name stays on one line", ["--engine", "a\nb", "--help"],
     "", "Engine Error: unknown engine 'a\\nb' (expected builtin, sqlite, duckdb or auto)\n", 1, False),
    ("a transaction left open is rolled back and fails",
     ["--engine", "sqlite", "--query", "shop.db", "BEGIN; INSERT INTO users VALUES (3, 'x')"],
     "", "Query Error: the SQL text left a transaction open; it was rolled back\n", 1, False),
    ("an empty text and a null stay apart in CSV",
     ["--engine", "sqlite", "--export-csv", "one.db", "one"], "v\n\"\"\n\nx\n", "", 0, False),
]


def pinned_sqlite_cases(version):
    """Cases, in the form of SQLITE_CASES, that hold for the SQLite the build compiles in and
    not for a system library: its release, and the options that change what SQL means."""
    return [
        ("sqlite is the pinned release",
         ["--engine", "sqlite", "--query", "shop.db", "SELECT sqlite_version()"],
         re.compile(rb"Executed in [0-9.e+-]+ ms \(1 rows\):\nsqlite_version\(\)\n" +
                    re.escape(version.encode()) + rb"\n"), "", 0),
        ("sqlite reads double quotes as identifiers only",
         ["--engine", "sqlite", "--query", "shop.db", 'SELECT "nope"'], "",
         'Query Error: no such column: "nope"'
         " - should this be a string literal in single-quotes?\n", 1),
        ("sqlite loads no extensions",
         ["--engine", "sqlite", "--query", "shop.db", "SELECT load_extension('x')"], "",
         "Query Error: no such function: load_extension\n", 1),
    ]


# DuckDB databases beside the SQLite ones, made through the DuckDB library the program loads
# (on Linux only: the Windows library cannot be loaded here).
SHOP_DUCKDB = ("CREATE TABLE users (id INTEGER PRIMARY KEY, name VARCHAR NOT NULL);"
               "INSERT INTO users VALUES (1, 'Ada'), (2, 'Grace, \"the\" admiral');"
               "CREATE TABLE orders (id INTEGER PRIMARY KEY, user_id INTEGER,"
               " total DECIMAL(10,2), placed TIMESTAMP, tags VARCHAR[]);"
               "INSERT INTO orders VALUES (1, 1, 12.5, '2024-01-02 03:04:05', ['a', 'b c']),"
               " (2, NULL, NULL, NULL, NULL);"
               "CREATE SCHEMA archive; CREATE TABLE archive.users (id BIGINT);"
               "CREATE VIEW user_names AS SELECT name FROM users;")
OTHER_DUCKDB = "CREATE TABLE users (id VARCHAR PRIMARY KEY, email BLOB);"
DUCKDB_FIXTURE = {"shop.duckdb": SHOP_DUCKDB, "other.duckdb": OTHER_DUCKDB}
RAW_FIXTURE = {"notes.txt": b"just some text\n", "empty.db": b""}


class DuckDb:
    """Makes DuckDB databases through the C API of the library at `path`."""

    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        self.lib.duckdb_result_error.restype = ctypes.c_char_p

    @contextlib.contextmanager
    def held(self, path):
        """Keeps the database at `path` open for writing, as another program would."""
        database, connection = ctypes.c_void_p(), ctypes.c_void_p()
        if self.lib.duckdb_open(path.encode(), ctypes.byref(database)) != 0:
            raise RuntimeError(f"cannot open {path}")
        self.lib.duckdb_connect(database, ctypes.byref(connection))
        try:
            yield
        finally:
            self.lib.duckdb_disconnect(ctypes.byref(connection))
            self.lib.duckdb_close(ctypes.byref(database))

    def make(self, path, sql):
        database, connection = ctypes.c_void_p(), ctypes.c_void_p()
        if self.lib.duckdb_open(path.encode(), ctypes.byref(database)) != 0:
            raise RuntimeError(f"cannot create {path}")
        self.lib.duckdb_connect(database, ctypes.byref(connection))
        result = ctypes.create_string_buffer(256)  # larger than a duckdb_result
        failed = self.lib.duckdb_query(connection, sql.encode(), result) != 0
        error = self.lib.duckdb_result_error(result) if failed else None
        self.lib.duckdb_destroy_result(result)
        self.lib.duckdb_disconnect(ctypes.byref(connection))
        self.lib.duckdb_close(ctypes.byref(database))
        if failed:
            raise RuntimeError(f"{path}: {error.decode()}")


DUCKDB = None  # set in main when the library can be loaded
DUCKDB_VERSION = None  # the release of the library the program was built for


def duckdb(*args):
    return ["--engine", "duckdb"] + list(args)


def auto(*args):
    return ["--engine", "auto"] + list(args)


SHOP_DUCKDB_SCHEMA = ("Table: archive.users (0 rows)\n  - id : BIGINT\n"
                      "Table: orders (2 rows)\n  - id : INTEGER [PRIMARY KEY]\n"
                      "  - user_id : INTEGER\n  - total : DECIMAL(10,2)\n"
                      "  - placed : TIMESTAMP\n  - tags : VARCHAR[]\n"
                      "Table: users (2 rows)\n  - id : INTEGER [PRIMARY KEY]\n"
                      "  - name : VARCHAR\n")
SHOP_SQLITE_SCHEMA = ("Table: orders (0 rows)\n  - id : INTEGER [PRIMARY KEY]\n"
                      "  - user_id : INTEGER\n"
                      "Table: users (2 rows)\n  - id : INTEGER [PRIMARY KEY]\n  - name : TEXT\n")
NO_TABLE_NOPE = ("Query Error: Catalog Error: Table with name nope does not exist!\\n"
                 "Did you mean \"orders\"?\\n\\nLINE 1: SELECT * FROM nope\\n"
                 "                      ^\n")

# (name, arguments, expected standard output, expected standard error, exit status); each runs
# with FIXTURE and DUCKDB_FIXTURE in its directory and must leave every file as it was.
DUCKDB_CASES = [
    ("duckdb query", duckdb("--query", "shop.duckdb", "SELECT * FROM orders ORDER BY id"),
     re.compile(rb"Executed in [0-9.e+-]+ ms \(2 rows\):\nid\tuser_id\ttotal\tplaced\ttags\n"
                rb"1\t1\t12.50\t2024-01-02 03:04:05\t\[a, b c\]\n2\t\t\t\t\n"), "", 0),
    ("duckdb query reports the last result", duckdb(
        "--query", "shop.duckdb", "SELECT 1; SELECT name, NULL AS n FROM users WHERE id = 2"),
     re.compile(rb"Executed in [0-9.e+-]+ ms \(1 rows\):\nname\tn\nGrace, \"the\" admiral\t\n"),
     "", 0),
    ("duckdb schema", duckdb("--schema", "shop.duckdb"),
     "Database: shop.duckdb (3 tables):\n" + SHOP_DUCKDB_SCHEMA, "", 0),
    ("duckdb analyze", duckdb("--analyze", "shop.duckdb"),
     "=== PRAGMA Database Diagnostics ===\nIntegrity Check: PASS (OK)\nJournal Mode:   wal\n"
     "Page Size:      262144 bytes\nPage Count:     5 (1280 KB)\nFreelist Count: 0\n", "", 0),
    ("duckdb export", duckdb("--export-csv", "shop.duckdb", "USERS"),
     "id,name\n1,Ada\n2,\"Grace, \"\"the\"\" admiral\"\n", "", 0),
    ("duckdb export of a view in a schema", duckdb("--export-csv", "shop.duckdb", "user_names"),
     "name\nAda\n\"Grace, \"\"the\"\" admiral\"\n", "", 0),
    ("duckdb export of another schema's table",
     duckdb("--export-csv", "shop.duckdb", "archive.users"), "id\n", "", 0),
    ("duckdb diff", duckdb("--diff", "shop.duckdb", "other.duckdb"),
     "Schema diff: shop.duckdb -> other.duckdb (6 differences):\n  - table archive.users\n"
     "  - table orders\n  - column users.name : VARCHAR\n  + column users.email : BLOB\n"
     "  ~ column users.id : INTEGER [PRIMARY KEY] -> VARCHAR [PRIMARY KEY]\n"
     "  - view user_names\n", "", 0),
    ("duckdb query error", duckdb("--query", "shop.duckdb", "SELECT * FROM nope"), "",
     NO_TABLE_NOPE, 1),
    ("duckdb names the line of a statement that fails as it runs",
     duckdb("--query", "shop.duckdb", "SELECT 1;\n  -- boom\n  SELECT error('boom'); SELECT 2"),
     "", "Query Error: line 3: Invalid Input Error: boom\n", 1),
    ("duckdb names the line of a statement that does not parse",
     duckdb("--query", "shop.duckdb", "SELECT 1;\nSELECT ';';\n\nSELECT\n  1 +;"), "",
     'Query Error: line 4: Parser Error: syntax error at or near ";"\\n\\nLINE 5:   1 +;\\n'
     "             ^\n", 1),
    ("duckdb names no line for a text of one statement",
     duckdb("--query", "shop.duckdb", "SELECT error('boom'); -- after"), "",
     "Query Error: Invalid Input Error: boom\n", 1),
    ("duckdb rolls back an open transaction",
     duckdb("--query", "shop.duckdb", "BEGIN; DELETE FROM users"), "",
     "Query Error: the SQL text left a transaction open; it was rolled back\n", 1),
    ("duckdb query that only reads makes no database", duckdb("--query", "new.duckdb", "SELECT 1"), "",
     "Query Error: unable to open database file: new.duckdb\n", 1),
    ("duckdb opens :memory: as a file", duckdb("--query", ":memory:", "SELECT 1"), "",
     "Query Error: unable to open database file: :memory:\n", 1),
    ("duckdb empty path", duckdb("--schema", ""), "", "Schema Error: empty database path\n", 1),
    ("duckdb given a SQLite file", duckdb("--schema", "shop.db"), "",
     "Schema Error: file is not a DuckDB database: shop.db\n", 1),
    ("duckdb given an empty file", duckdb("--analyze", "empty.db"), "",
     "Analyze Error: file is not a DuckDB database: empty.db\n", 1),
    ("sqlite given a DuckDB file", ["--engine", "sqlite", "--schema", "shop.duckdb"], "",
     "Schema Error: file is not a database: shop.duckdb\n", 1),
    ("duckdb export of an unknown table", duckdb("--export-csv", "shop.duckdb", "users; --"), "",
     "Export Error: no such table: users; --\n", 1),
    ("duckdb installs no extension", duckdb("--query", "shop.duckdb", "INSTALL httpfs"), "",
     "Query Error: extensions are not installed or loaded: DuckDB has those built into its "
     "library\n", 1),
    ("duckdb prints no profile", duckdb("--query", "shop.duckdb", "PRAGMA enable_profiling; SELECT 1"),
     "", "Query Error: line 1: PRAGMA statements that change DuckDB's settings are not run\n", 1),
    ("duckdb sample over an existing file", duckdb("--sample", "notes.txt"), "",
     "Sample Error: file already exists: notes.txt\n", 1),
    ("duckdb help needs no database", duckdb("--help"), USAGE, "", 0),
    ("auto query of a DuckDB file", auto("--query", "shop.duckdb", "SELECT count(*) AS n FROM users"),
     re.compile(rb"Executed in [0-9.e+-]+ ms \(1 rows\):\nn\n2\n"), "", 0),
    ("auto schema of a SQLite file", auto("--schema", "shop.db"),
     "Database: shop.db (2 tables):\n" + SHOP_SQLITE_SCHEMA, "", 0),
    ("auto diff across formats compares type families", auto("--diff", "shop.db", "shop.duckdb"),
     "Schema diff: shop.db -> shop.duckdb (6 differences):\n  + table archive.users\n"
     "  + column orders.total : DECIMAL(10,2)\n  + column orders.placed : TIMESTAMP\n"
     "  + column orders.tags : VARCHAR[]\n"
     "  - constraint orders : FOREIGN KEY (user_id) REFERENCES users (id)\n"
     "  + view user_names\n", "", 0),
    ("auto diff across formats, the other way", auto("--diff", "other.duckdb", "other.db"),
     "Schema diff: other.duckdb -> other.db (2 differences):\n  + table invoices\n"
     "  ~ column users.email : BLOB -> TEXT\n", "", 0),
    ("auto with neither format", auto("--export-csv", "notes.txt", "t"), "",
     "Export Error: notes.txt: not a SQLite or DuckDB database\n", 1),
    ("auto with an empty file", auto("--diff", "shop.db", "empty.db"), "",
     "Diff Error: empty.db: not a SQLite or DuckDB database\n", 1),
    ("auto with a missing file", auto("--analyze", "missing.duckdb"), "",
     "Analyze Error: unable to open database file: missing.duckdb\n", 1),
    ("auto sample over an existing file", auto("--sample", "shop.duckdb"), "",
     "Sample Error: file already exists: shop.duckdb\n", 1),
]


# DuckDB files written by someone else, and files that --query names.
DAMAGED_ROWS = 300000


REACH_TEMPLATE = None  # made once, copied for each case


def make_duckdb_reach_fixture(directory):
    global REACH_TEMPLATE
    if REACH_TEMPLATE is None:
        REACH_TEMPLATE = tempfile.mkdtemp()
        make_duckdb_reach_files(REACH_TEMPLATE)
    for name in os.listdir(REACH_TEMPLATE):
        source = os.path.join(REACH_TEMPLATE, name)
        if os.path.islink(source):
            os.symlink(os.readlink(source), os.path.join(directory, name))
        else:
            shutil.copy(source, directory)


def make_duckdb_reach_files(directory):
    def path(name):
        return os.path.join(directory, name)
    DUCKDB.make(path("data.duckdb"),
                "CREATE TABLE t AS SELECT range AS i FROM range(3);"
                f"COPY (SELECT 'a' AS s, 1 AS n) TO '{path('in.parquet')}' (FORMAT parquet)")
    with open(path("in.csv"), "w") as csv:
        csv.write("s,n\nb,2\n")
    # Macros named like DuckDB's catalog and setting functions, which the program's own SQL
    # must never call; one of them would turn on a log.
    DUCKDB.make(path("macros.duckdb"),
                "CREATE TABLE t (id INTEGER, ts TIMESTAMPTZ);"
                "INSERT INTO t VALUES (1, '2024-01-01 00:00:00+00');"
                "CREATE MACRO duckdb_tables() AS TABLE "
                "SELECT * FROM system.main.duckdb_tables() WHERE false;"
                "CREATE MACRO current_setting(name) AS 'Asia/Tokyo';"
                "CREATE MACRO current_database() AS 'elsewhere';"
                "CREATE MACRO duckdb_columns() AS TABLE "
                "SELECT * FROM enable_logging(storage='stdout');"
                "CREATE VIEW logged AS SELECT * FROM enable_logging(storage='file', "
                "storage_path='view.log'), t")
    # Damage that --analyze must find, behind a macro that would hide every table.
    DUCKDB.make(path("damaged.duckdb"),
                "CREATE TABLE t AS SELECT i, 'row ' || i AS s FROM range("
                f"{DAMAGED_ROWS}) r(i);"
                "CREATE MACRO duckdb_tables() AS TABLE "
                "SELECT * FROM system.main.duckdb_tables() WHERE false")
    size = os.path.getsize(path("damaged.duckdb"))
    with open(path("damaged.duckdb"), "r+b") as file:
        for offset in range(size // 3, size * 2 // 3, 65536):
            file.seek(offset)
            file.write(b"\x7f" * 512)
    DUCKDB.make(path("ab.duckdb"),
                'CREATE SCHEMA a; CREATE TABLE a.b (x INTEGER); CREATE TABLE "a.b" (y VARCHAR)')
    DUCKDB.make(path("link.duckdb"), "CREATE TABLE k (a INTEGER)")
    with open(path("victim.txt"), "w") as victim:
        victim.write("the user's own text\n")
    os.symlink("victim.txt", path("link.duckdb.wal"))


def report(header, *rows):
    """The query report of `rows` under `header`, whatever its time."""
    lines = b"".join(re.escape(line) + rb"\n" for line in (header,) + rows)
    return re.compile(rb"Executed in [0-9.e+-]+ ms \(%d rows\):\n" % len(rows) + lines)


# (name, arguments, standard output, standard error, exit status, files the run creates); each
# runs with make_duckdb_reach_fixture in its directory.
DUCKDB_REACH_CASES = [
    ("a log beside the database that links elsewhere",
     duckdb("--query", "link.duckdb", "INSERT INTO k VALUES (1)"), "",
     "Query Error: link.duckdb.wal: a link, which DuckDB would write through\n", 1, {}),
    ("a log that --query sends to a file",
     duckdb("--query", "data.duckdb",
            "CALL enable_logging(storage='file', storage_path='log.csv'); SELECT 1 AS one"),
     report(b"one", b"1"), "", 0, {"log.csv": ANY}),
    ("a log that --query sends to standard output",
     duckdb("--query", "data.duckdb", "CALL enable_logging(storage='stdout'); SELECT 1 AS one"),
     report(b"one", b"1"), "", 0, {}),
    ("a log on standard output, then an error that names memory",
     duckdb("--query", "data.duckdb",
            "CALL enable_logging(storage='stdout'); SELECT CAST('Out of Memory Error' AS INTEGER)"),
     "", "Query Error: line 1: Conversion Error: Could not convert string 'Out of Memory Error' to "
     "INT32\n", 1, {}),
    ("a profile", duckdb("--query", "data.duckdb", "CALL enable_profiling(); SELECT 1 AS one"),
     report(b"one", b"1"), "", 0, {}),
    ("macros named like DuckDB's own functions", duckdb("--schema", "macros.duckdb"),
     "Database: macros.duckdb (1 tables):\nTable: t (1 rows)\n  - id : INTEGER\n"
     "  - ts : TIMESTAMP WITH TIME ZONE\n", "", 0, {}),
    ("a macro named current_setting moves no time zone",
     duckdb("--query", "macros.duckdb", "SET TimeZone = 'UTC'; SELECT ts FROM t"),
     report(b"ts", b"2024-01-01 00:00:00+00"), "", 0, {}),
    ("a view that sends a log to a file", duckdb("--export-csv", "macros.duckdb", "logged"), "",
     "Export Error: Invalid Configuration Error: Can not enable file logging with the "
     "LocalFileSystem disabled\n", 1, {}),
    ("damage behind a macro that hides every table", duckdb("--analyze", "damaged.duckdb"),
     re.compile(rb"=== PRAGMA Database Diagnostics ===\nIntegrity Check: FAIL\n.*", re.S), "", 0,
     {}),
    ("the program's cast function is out of reach",
     duckdb("--query", "data.duckdb",
            "SELECT DATE '2024-01-01'; SELECT * FROM corvenmark_result_chunk()"),
     "", re.compile(rb"Query Error: line 1: Catalog Error: Table Function with name "
                    rb"corvenmark_result_chunk does not exist!.*\n", re.S), 1, {}),
    ("schema a's table b beside main's table a.b", duckdb("--diff", "ab.duckdb", "ab.duckdb"),
     "Schema diff: ab.duckdb -> ab.duckdb (0 differences):\nNo differences.\n", "", 0, {}),
    ("Parquet and CSV files read by name",
     duckdb("--query", "data.duckdb",
            "SELECT * FROM 'in.parquet' UNION ALL SELECT * FROM read_csv('in.csv') ORDER BY n"),
     report(b"s\tn", b"a\t1", b"b\t2"), "", 0, {}),
    ("COPY TO a file the SQL names",
     duckdb("--query", "data.duckdb", "COPY t TO 'out.csv' (HEADER); SELECT count(*) AS n FROM t"),
     report(b"n", b"3"), "", 0, {"out.csv": b"i\n0\n1\n2\n"}),
]


def make_fixture(directory):
    for name, sql in FIXTURE.items():
        connection = sqlite3.connect(os.path.join(directory, name))
        connection.executescript(sql)
        connection.close()
    if DUCKDB:
        for name, sql in DUCKDB_FIXTURE.items():
            DUCKDB.make(os.path.join(directory, name), sql)
        for name, data in RAW_FIXTURE.items():
            with open(os.path.join(directory, name), "wb") as file:
                file.write(data)


def make_wal_database(directory, name, with_index):
    """Leaves `name` in write-ahead-log mode with two committed transactions still in its log
    (table t with rows 1 and 2, and an empty table u), as a crash would leave it; with or
    without the log's index (-shm)."""
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "source.db")
        writer = sqlite3.connect(source, isolation_level=None)
        writer.executescript("PRAGMA journal_mode = wal; PRAGMA wal_autocheckpoint = 0;"
                             "CREATE TABLE t (a); INSERT INTO t VALUES (1);"
                             "CREATE TABLE u (b); INSERT INTO t VALUES (2);")
        for suffix in ["", "-wal"] + (["-shm"] if with_index else []):
            shutil.copyfile(source + suffix, os.path.join(directory, name + suffix))
        writer.close()


def make_hot_journal(path):
    """Leaves `path` as a crash in the middle of a transaction leaves it: pages already changed
    in the file, and the journal that can undo them."""
    connection = sqlite3.connect(path)
    connection.executescript("CREATE TABLE t (a); INSERT INTO t VALUES (1);")
    connection.close()
    child = os.fork()
    if child == 0:
        writer = sqlite3.connect(path, isolation_level=None)
        writer.executescript("PRAGMA synchronous = OFF; PRAGMA cache_size = 2; BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 "
                             "UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                             "INSERT INTO t SELECT printf('%.100c', 'y') FROM n;")
        os._exit(0)
    os.waitpid(child, 0)


def fixture_with_wal_states(directory):
    make_fixture(directory)
    make_hot_journal(os.path.join(directory, "hot.db"))
    os.mkfifo(os.path.join(directory, "pipe.db"))
    make_wal_database(directory, "real.db", with_index=True)
    os.symlink("real.db", os.path.join(directory, "link.db"))
    make_wal_database(directory, "crash.db", with_index=False)
    # A log that a writer in exclusive locking mode has just emptied, with no index beside it.
    connection = sqlite3.connect(os.path.join(directory, "emptylog.db"), isolation_level=None)
    connection.executescript("PRAGMA journal_mode = wal; CREATE TABLE t (a); INSERT INTO t "
                             "VALUES (1);")
    connection.close()
    open(os.path.join(directory, "emptylog.db-wal"), "wb").close()
    connection = sqlite3.connect(os.path.join(directory, "one.db"))
    connection.executescript("CREATE TABLE one (v); INSERT INTO one VALUES (''), (NULL), ('x');")
    connection.close()


def snapshot(directory):
    files = {}
    for name in os.listdir(directory):
        path = os.path.join(directory, name)
        if os.path.islink(path):
            files[name] = "-> " + os.readlink(path)
            continue
        if not os.path.isfile(path):
            files[name] = "(not a file)"
            continue
        with open(path, "rb") as file:
            files[name] = file.read()
    return files


class Runner:
    def __init__(self, program, prefix, windows, version):
        self.program = program
        self.prefix = prefix
        self.crlf = windows
        self.newline = b"\r\n" if windows else b"\n"
        self.version = version
        # The name the program is given when it is started as `program`.
        self.shown = "Z:" + program.replace("/", "\\") if windows else program

    def expected(self, text, argv0):
        """The bytes that `text` stands for: each line feed as the program's line end; or, for
        a list of lines, each line as it is followed by the line end."""
        if text is USAGE:
            text = usage(argv0, self.version)
        if isinstance(text, list):
            return b"".join(line.encode() + self.newline for line in text)
        return text.encode().replace(b"\n", self.newline)

    def run(self, args, argv0=None, stdout_path=None, fixture=False, user=None, limit=None,
            env=None):
        result = self.run_once(args, argv0, stdout_path, fixture, user, limit, env)
        # The program never ends with status 1 without a line of output, but Wine, now and then,
        # fails to start a program in just that way; such a run is tried once more.
        if self.prefix and result[0] == 1 and not result[1] and not result[2]:
            print(f"note: {args} ended with status 1 and no output; trying once more")
            result = self.run_once(args, argv0, stdout_path, fixture, user, limit, env)
        return result

    def run_once(self, args, argv0, stdout_path, fixture, user, limit, env):
        """Runs the program in a new session and a directory of its own, empty or holding a
        fixture (True for the usual one, or a function that makes one); `user` is a prefix that
        runs it as another user, `limit` an address-space limit in bytes. Returns (status,
        stdout bytes, stderr bytes, the directory's files before the run and after it, each a
        map of name to bytes)."""
        with tempfile.TemporaryDirectory() as work:
            if fixture:
                (fixture if callable(fixture) else make_fixture)(work)
            if user:
                os.chmod(work, 0o755)
            before = snapshot(work)
            out_path = stdout_path or os.path.join(work, "..", os.path.basename(work) + ".out")
            err_path = os.path.join(work, "..", os.path.basename(work) + ".err")
            try:
                with open(out_path, "wb") as out, open(err_path, "wb") as err:
                    command = (user or []) + self.prefix + [argv0 or self.program] + args
                    status = subprocess.run(
                        command,
                        executable=None if self.prefix or user or not argv0 else self.program,
                        stdin=subprocess.DEVNULL, stdout=out, stderr=err, cwd=work,
                        start_new_session=True, timeout=60, env=env and {**os.environ, **env},
                        preexec_fn=(lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))
                        if limit else None).returncode
                after = snapshot(work)
                with open(err_path, "rb") as err:
                    err_bytes = err.read()
                out_bytes = b""
                if stdout_path is None:
                    with open(out_path, "rb") as out:
                        out_bytes = out.read()
                return status, out_bytes, err_bytes, before, after
            finally:
                for path in (out_path, err_path):
                    if path != stdout_path and os.path.exists(path):
                        os.remove(path)


def check(name, actual, expected, failures):
    matches = expected.fullmatch(actual) if isinstance(expected, re.Pattern) else actual == expected
    if not matches:
        failures.append(f"{name}: expected {expected!r}, got {actual!r}")


def run_case(runner, name, args, out, err, status, argv0=None, fixture=False, created=None):
    """Runs one row of a table; every file of the directory must be left as it was, and the
    files `created` names (a map of name to bytes) must be there too."""
    failures = []
    shown = argv0 or runner.shown
    actual = runner.run(args, argv0, fixture=fixture)
    expected = []
    for text in (out, err):
        if isinstance(text, re.Pattern):
            expected.append(re.compile(text.pattern.replace(rb"\n", rb"\r\n")) if runner.crlf
                            else text)
        else:
            expected.append(runner.expected(text, shown))
    check(name + " (status)", actual[0], status, failures)
    check(name + " (stdout)", actual[1], expected[0], failures)
    check(name + " (stderr)", actual[2], expected[1], failures)
    check(name + " (files)", actual[4], {**actual[3], **(created or {})}, failures)
    return failures


def run_all(runner, windows, sqlite_version, memory_limit=True):
    results = []
    for name, args, out, err, status in CASES:
        results.append((name, run_case(runner, name, args, out, err, status)))
    sqlite_cases = SQLITE_CASES + (pinned_sqlite_cases(sqlite_version) if sqlite_version else [])
    for name, args, out, err, status in sqlite_cases:
        results.append((name, run_case(runner, name, args, out, err, status, fixture=True)))
    for name, args, out, err, status, linux_only in HOSTILE_CASES:
        if not (windows and linux_only):
            results.append((name, run_case(runner, name, args, out, err, status,
                                           fixture=fixture_with_wal_states)))
    if windows:
        # Device names are no files, for every engine, and are never opened: COM1 would wait.
        for device in ("COM1", "NUL", "CON"):
            for engine in ("sqlite", "duckdb", "auto"):
                name = f"{engine} given the device {device}"
                results.append((name, run_case(runner, name, ["--engine", engine, "--schema",
                                                              device], "",
                                               f"Schema Error: {device}: not a regular file\n",
                                               1)))
    results.append(("sqlite sample creates a database", check_sample_creates_database(runner)))
    results.append(("a sample whose report is lost leaves nothing", check_sample_to_full_device(runner)))
    if not windows:
        results.append(("an unreadable log is an error", check_unreadable_log(runner)))
        if memory_limit:
            results.append(("out of memory is an error", check_out_of_memory(runner)))
        results.append(("an interrupted sample leaves nothing", check_interrupted_sample(runner)))
        results.append(("the limit on a file's size is an error",
                        check_file_size_limit(runner)))
        results.append(("a writer during a read without locks", check_writer_during_read(runner)))
        results.append(("one committed state per read", check_one_state_per_read(runner)))
        results.append(("changes, not openings, disturb a read",
                        check_changes_not_openings(runner)))
        results.append(("commits through SQLite's locks disturb no read",
                        check_exports_beside_a_writer(runner)))
        results.append(("a sample whose reader has gone", check_sample_to_closed_pipe(runner)))
    results.append(("a result larger than memory's share", check_spilled_query(runner, windows)))
    if DUCKDB:
        for name, args, out, err, status in DUCKDB_CASES:
            results.append((name, run_case(runner, name, args, out, err, status, fixture=True)))
        for name, args, out, err, status, created in DUCKDB_REACH_CASES:
            results.append((name, run_case(runner, name, args, out, err, status,
                                           fixture=make_duckdb_reach_fixture, created=created)))
        results.append(("a DuckDB file held by another process", check_locked_file(runner)))
        results.append(("a DuckDB file moved away as it is opened", check_vanished_file(runner)))
        results.append(("DuckDB readers at once, one without write access",
                        check_duckdb_readers(runner)))
        results.append(("a DuckDB writer holds its lock", check_duckdb_writer_holds_its_lock(runner)))
        results.append(("DuckDB writes through no link", check_duckdb_side_files(runner)))
        results.append(("a DuckDB sample on a full disk", check_duckdb_sample_on_full_disk(runner)))
    results.append(("samples of both formats compare as equal",
                    check_samples_across_formats(runner, windows)))
    results.append(("a missing DuckDB library is reported", check_missing_library(runner, windows)))
    if not windows:
        # The program name is printed exactly as the operating system passed it.
        for argv0 in ["/opt/tools/bin/corvenmark", "cm", "./relative/corvenmark"]:
            name = f"usage names argv[0] {argv0}"
            results.append((name, run_case(runner, name, ["--help"], USAGE, "", 0, argv0)))
    results.append(("text beyond ASCII on a terminal", check_terminal(runner)))
    results.append(("a report that cannot be written fails", check_full_device(runner)))
    return results


def check_sample_creates_database(runner):
    failures = []
    status, out, err, before, after = runner.run(["--engine", "sqlite", "--sample", "new.db"])
    check("sqlite sample (status)", status, 0, failures)
    check("sqlite sample (stdout)", out,
          runner.expected("Create sample benchmark DB: OK at new.db\n", ""), failures)
    check("sqlite sample (stderr)", err, b"", failures)
    check("sqlite sample (files)", sorted(after), sorted(before) + ["new.db"], failures)
    if "new.db" in after:
        with tempfile.NamedTemporaryFile(suffix=".db") as copy:
            copy.write(after["new.db"])
            copy.flush()
            connection = sqlite3.connect(copy.name)
            tables = [row[0] for row in connection.execute(
                "SELECT name FROM sqlite_master WHERE type = 'table'")]
            rows = sum(connection.execute(f'SELECT count(*) FROM "{t}"').fetchone()[0]
                       for t in tables)
            connection.close()
        check("sqlite sample (rows)", rows >= 1000000, True, failures)
    return failures


def check_sample_to_full_device(runner):
    failures = []
    status, _, err, before, after = runner.run(
        ["--engine", "sqlite", "--sample", "file:shop.db"], stdout_path="/dev/full", fixture=True)
    check("sample to /dev/full (status)", status, 1, failures)
    check("sample to /dev/full (stderr)", err,
          runner.expected("Write Error: No space left on device\n", ""), failures)
    check("sample to /dev/full (files unchanged)", after == before, True, failures)
    return failures


def check_unreadable_log(runner):
    """A log the user cannot read must fail the command, not be read around. Root reads every
    file, so as root the program runs as nobody."""
    def fixture(directory):
        fixture_with_wal_states(directory)
        os.chmod(os.path.join(directory, "crash.db-wal"), 0o200 if os.geteuid() != 0 else 0o600)
    user = None
    if os.geteuid() == 0:
        if not shutil.which("setpriv"):
            print("skip: an unreadable log needs setpriv to run as another user")
            return []
        user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
    failures = []
    for args, command in [(["--schema", "crash.db"], "Schema"),
                          (["--export-csv", "crash.db", "t"], "Export")]:
        status, out, err, before, after = runner.run(["--engine", "sqlite"] + args,
                                                     fixture=fixture, user=user)
        check(f"{command} of an unreadable log (status)", status, 1, failures)
        check(f"{command} of an unreadable log (stdout)", out, b"", failures)
        check(f"{command} of an unreadable log (stderr)", err,
              f"{command} Error: unable to open database file: crash.db\n".encode(), failures)
        check(f"{command} of an unreadable log (files unchanged)", after == before, True, failures)
    return failures


def check_writer_during_read(runner):
    """A database in write-ahead-log mode with no log is read without SQLite's locks, but holds
    its shared lock. A writer that commits while the export is held up by a full pipe, and
    closes after it, leaves the read alone: the export is the state it began with, whole."""
    failures = []
    status, csv, err = check_held_export(runner, commit_a_change)
    check("writer during a read (status, stderr)", (status, err), (0, b""), failures)
    check("writer during a read (records)", csv.count(b"\n"), 100001, failures)
    check("writer during a read (no change seen)", b"changed" in csv, False, failures)
    return failures


def commit_a_change(path):
    writer = sqlite3.connect(path, isolation_level=None)
    writer.execute("UPDATE t SET b = 'changed'")
    return writer


# Commits one row to each of 50 tables at a time, pausing a moment between commits, so that a
# reader waiting for a lock gets it well within its 5 seconds even on a busy machine.
WRITER = """
import sqlite3, sys, time
connection = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=30)
while True:
    connection.execute("BEGIN IMMEDIATE")
    for table in range(50):
        connection.execute(f"INSERT INTO t{table} VALUES (1)")
    connection.execute("COMMIT")
    time.sleep(0.002)
"""


def committed(path):
    """True once the writer has committed a row to the last of its tables."""
    connection = sqlite3.connect(path, timeout=30)
    count = connection.execute("SELECT count(*) FROM t49").fetchone()[0]
    connection.close()
    return count > 0


def check_one_state_per_read(runner):
    """A writer commits one row to each of 50 tables at a time, so every committed state has
    equal counts; every schema listing made meanwhile must show one of those states."""
    failures = []
    for mode in ("wal", "delete"):
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "db.sqlite")
            connection = sqlite3.connect(path, isolation_level=None)
            connection.executescript(f"PRAGMA journal_mode = {mode};" + "".join(
                f"CREATE TABLE t{table} (a);" for table in range(50)))
            connection.close()
            writer = subprocess.Popen([sys.executable, "-c", WRITER, path])
            try:
                deadline = time.monotonic() + 30
                while not committed(path) and time.monotonic() < deadline:
                    time.sleep(0.01)
                for _ in range(10):
                    status, out, err, _, _ = runner.run(["--engine", "sqlite", "--schema", path])
                    counts = set(re.findall(rb"Table: t[0-9]+ \(([0-9]+) rows\)", out))
                    check(f"{mode}: listing during writes (status, stderr)", (status, err),
                          (0, b""), failures)
                    check(f"{mode}: one state per listing", len(counts), 1, failures)
            finally:
                writer.kill()
                writer.wait()
    return failures


def check_held_export(runner, disturb):
    """Exports a database in write-ahead-log mode with no log, and so read without locks, while
    `disturb(path)` runs with the export held up by a full pipe. Returns (status, CSV, stderr)."""
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "busy.db")
        connection = sqlite3.connect(path, isolation_level=None)
        connection.executescript(
            "PRAGMA journal_mode = wal; CREATE TABLE t (a, b); WITH RECURSIVE n(i) AS (SELECT 1 "
            "UNION ALL SELECT i + 1 FROM n WHERE i < 100000) INSERT INTO t SELECT i, 'row ' || i "
            "FROM n;")
        connection.close()
        process = subprocess.Popen([runner.program, "--engine", "sqlite", "--export-csv", path,
                                    "t"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        first = process.stdout.read(65536)  # the export now waits with the rest of the table
        kept = disturb(path)  # kept until the export has ended
        rest = process.stdout.read()
        del kept
        return process.wait(timeout=60), first + rest, process.stderr.read()


def rewrite_in_place(path):
    """Another state of the database, of the same size, written over it in place by a program
    that then sets the file's time back."""
    times = os.stat(path)
    other = path + ".other"
    shutil.copyfile(path, other)
    connection = sqlite3.connect(other, isolation_level=None)
    connection.executescript("UPDATE t SET b = 'rewritten' WHERE a > 90000;"
                             "PRAGMA wal_checkpoint(TRUNCATE);")
    connection.close()
    with open(other, "rb") as source, open(path, "r+b") as target:
        target.write(source.read())
    os.utime(path, ns=(times.st_atime_ns, times.st_mtime_ns))


def only_open_and_read(path):
    """Another program's connection, which makes the log and its index and keeps them."""
    connection = sqlite3.connect(path)
    connection.execute("SELECT count(*) FROM t").fetchall()
    return connection


# Another application's writer: it opens the database, commits one UPDATE and closes it, over
# and over; its last connection's close checkpoints the log into the database file when it can.
UPDATING_WRITER = """
import sqlite3, sys
while True:
    connection = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=30)
    connection.execute("UPDATE t SET v = v + 1")
    connection.close()
"""


def check_exports_beside_a_writer(runner):
    """A commit made through SQLite's locking never disturbs a read: of 100 exports made while a
    writer commits, each of a database in write-ahead-log mode with its log often gone, at least
    99 succeed, each showing one committed state (every row of one UPDATE's count)."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "updated.db")
        connection = sqlite3.connect(path, isolation_level=None)
        connection.executescript(
            "PRAGMA journal_mode = wal; CREATE TABLE t (a, v); WITH RECURSIVE n(i) AS (SELECT 1 "
            "UNION ALL SELECT i + 1 FROM n WHERE i < 2000) INSERT INTO t SELECT i, 0 FROM n;")
        connection.close()
        writer = subprocess.Popen([sys.executable, "-c", UPDATING_WRITER, path])
        try:
            succeeded, states = 0, set()
            for _ in range(100):
                status, out, err, _, _ = runner.run(["--engine", "sqlite", "--export-csv", path,
                                                     "t"])
                rows = out.decode().splitlines()[1:]
                values = {row.split(",")[1] for row in rows}
                if status == 0:
                    succeeded += 1
                    states |= values
                    check("export beside a writer (one state)", (len(rows), len(values)),
                          (2000, 1), failures)
                else:
                    check("export beside a writer (stderr)", err.startswith(
                        b"Export Error: another process wrote the database"), True, failures)
        finally:
            writer.kill()
            writer.wait()
        check(f"exports beside a writer ({succeeded} of 100 succeed, at least 99 must)",
              succeeded >= 99, True, failures)
        check("exports beside a writer (its commits seen)", len(states) > 1, True, failures)
    return failures


def check_changes_not_openings(runner):
    """A reader that only opens the database is no writer; a rewrite in place that keeps the
    file's size and time is one."""
    failures = []
    status, csv, err = check_held_export(runner, only_open_and_read)
    check("another reader (status, stderr)", (status, err), (0, b""), failures)
    check("another reader (records)", csv.count(b"\n"), 100001, failures)
    status, csv, err = check_held_export(runner, rewrite_in_place)
    check("rewrite in place (status)", status, 1, failures)
    check("rewrite in place (stderr)", err.startswith(
        b"Export Error: another process wrote the database while it was read"), True, failures)
    return failures


def check_sample_to_closed_pipe(runner):
    """A reader that has gone before the sample line is written: the sample is removed."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        reader, writer = os.pipe()
        os.close(reader)
        status = subprocess.run([runner.program, "--engine", "sqlite", "--sample", "s.db"],
                                cwd=work, stdout=writer, stderr=subprocess.PIPE)
        os.close(writer)
        check("sample to a closed pipe (status)", status.returncode, 1, failures)
        check("sample to a closed pipe (stderr)", status.stderr, b"Write Error: Broken pipe\n",
              failures)
        check("sample to a closed pipe (files)", os.listdir(work), [], failures)
    return failures


def check_out_of_memory(runner):
    failures = []
    status, out, err, _, _ = runner.run(
        ["--engine", "sqlite", "--query", "shop.db", "SELECT zeroblob(150000000)"],
        fixture=True, limit=400 << 20)
    check("out of memory (status)", status, 1, failures)
    check("out of memory (stdout)", out, b"", failures)
    check("out of memory (stderr)", err, b"Query Error: out of memory\n", failures)
    return failures


def check_interrupted_sample(runner):
    """Ctrl-C, or any other signal that ends a process, in the middle of --sample: the process
    ends by the signal and leaves no file, neither under the user's name nor under the
    temporary one."""
    failures = []
    for engine, name, sent in (("sqlite", "s.db", signal.SIGINT), ("sqlite", "s.db", signal.SIGUSR1),
                               ("duckdb", "s.duckdb", signal.SIGALRM)):
        with tempfile.TemporaryDirectory() as work:
            process = subprocess.Popen([runner.program, "--engine", engine, "--sample", name],
                                       cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            deadline = time.monotonic() + 10
            while not os.listdir(work) and time.monotonic() < deadline:
                time.sleep(0.01)
            label = f"{engine} sample ended by {sent.name}"
            check(f"{label} (started)", len(os.listdir(work)) >= 1, True, failures)
            process.send_signal(sent)
            status = process.wait(timeout=30)
            check(f"{label} (status)", status, -sent, failures)
            check(f"{label} (stderr)", process.stderr.read(), b"", failures)
            check(f"{label} (files)", os.listdir(work), [], failures)
    return failures


def check_file_size_limit(runner):
    """Writes past the limit on a file's size (ulimit -f) fail with the command's error line
    and leave nothing behind, rather than end the program by a signal."""
    failures = []
    limit = 2 << 20

    def limited():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    with tempfile.TemporaryDirectory() as work:
        for engine, name, message in (
                ("sqlite", "s.db", rb"Sample Error: disk I/O error: s.db\n"),
                ("duckdb", "s.duckdb", rb"Sample Error: .*File too large.*: s.duckdb\n")):
            sample = subprocess.run([runner.program, "--engine", engine, "--sample", name],
                                    cwd=work, capture_output=True, timeout=120, preexec_fn=limited)
            check(f"{engine} sample past the limit (status, stdout)",
                  (sample.returncode, sample.stdout), (1, b""), failures)
            check(f"{engine} sample past the limit (stderr)",
                  re.fullmatch(message, sample.stderr) is not None, True, failures)
            check(f"{engine} sample past the limit (files)", os.listdir(work), [], failures)
        connection = sqlite3.connect(os.path.join(work, "big.db"))
        connection.executescript("CREATE TABLE t (s); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                                 "SELECT i + 1 FROM n WHERE i < 50000) "
                                 "INSERT INTO t SELECT printf('%.100c', 'x') FROM n;")
        connection.close()
        with open(os.path.join(work, "out.csv"), "wb") as out:
            export = subprocess.run([runner.program, "--engine", "sqlite", "--export-csv",
                                     "big.db", "t"], cwd=work, stdout=out, stderr=subprocess.PIPE,
                                    timeout=60, preexec_fn=limited)
        check("export past the limit (status)", export.returncode, 1, failures)
        check("export past the limit (stderr)", export.stderr, b"Write Error: File too large\n",
              failures)
    return failures


def check_spilled_query(runner, windows):
    """40,000 rows of 1 KB: more than the query keeps in memory, so most wait in a temporary
    file, which must not show in the report; with no temporary directory the query fails."""
    failures = []
    sql = ("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
           "SELECT i, printf('%.1000c', 'x') AS pad FROM n")
    status, out, err, _, _ = runner.run(["--engine", "sqlite", "--query", "shop.db", sql],
                                        fixture=True)
    newline = b"\r\n" if runner.crlf else b"\n"
    lines = out.split(newline)
    check("spilled query (status)", status, 0, failures)
    check("spilled query (stderr)", err, b"", failures)
    check("spilled query (count)", lines[0].endswith(b" ms (40000 rows):"), True, failures)
    check("spilled query (rows)", lines[1:] == [b"i\tpad"] + [
        str(i).encode() + b"\t" + b"x" * 1000 for i in range(1, 40001)] + [b""], True, failures)
    if not windows:
        status, out, err, _, _ = runner.run(["--engine", "sqlite", "--query", "shop.db", sql],
                                            fixture=True, env={"TMPDIR": "/nonexistent"})
        check("no temporary directory (status)", status, 1, failures)
        check("no temporary directory (stdout)", out, b"", failures)
        check("no temporary directory (stderr)", err, b"Query Error: cannot create a temporary "
              b"file in /nonexistent: No such file or directory\n", failures)
    return failures


def library_name(windows):
    return "duckdb.dll" if windows else "libduckdb.so"


def copy_program(runner, directory, windows, with_library):
    """A runner of a copy of the program in `directory`, with or without the DuckDB library
    beside it: the layout of the Windows zip, or the program alone."""
    os.mkdir(directory)
    copy = os.path.join(directory, os.path.basename(runner.program))
    shutil.copy(runner.program, copy)
    if with_library:
        library = library_name(windows)
        shutil.copy(os.path.join(os.path.dirname(runner.program), library), directory)
    return Runner(copy, runner.prefix, windows, runner.version)


def check_locked_file(runner):
    """A DuckDB file that another process holds open for writing fails at once, in one line."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "held.duckdb")
        DUCKDB.make(path, "CREATE TABLE t (a INTEGER)")
        with DUCKDB.held(path):
            for args, command in ((duckdb("--schema", path), b"Schema"),
                                  (duckdb("--query", path, "SELECT 1"), b"Query")):
                status, out, err, _, _ = runner.run(args)
                check(f"{args} (status, stdout)", (status, out), (1, b""), failures)
                check(f"{args} (stderr)", err.startswith(
                    command + b" Error: IO Error: Could not set lock on file") and
                    err.count(b"\n") == 1 and err.endswith(b"\n"), True, failures)
    return failures


def check_vanished_file(runner):
    """The database is moved away just after the program has looked at it and before DuckDB
    opens it, which would otherwise make a new, empty database in its place. strace holds the
    program up right after its nth open of the file (inotify tells when), while the file is
    moved: the first open looks, for a SELECT; the fifth is the second look of a change, which
    DuckDB opens first read-only, then for writing."""
    if not shutil.which("strace"):
        print("skip: a DuckDB file moved away as it is opened needs strace")
        return []
    failures = []
    libc = ctypes.CDLL(None, use_errno=True)
    for sql, nth in (("SELECT * FROM t", 1), ("INSERT INTO t VALUES (2)", 5)):
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "x.duckdb")
            DUCKDB.make(path, "CREATE TABLE t (a INTEGER)")
            # Reads and closes are watched too: the kernel merges an event into the one before
            # it when the two are alike and unread, and between two opens of the file there is
            # always a read or a close.
            watch = libc.inotify_init1(os.O_CLOEXEC)
            libc.inotify_add_watch(watch, path.encode(), 0x20 | 0x01 | 0x08 | 0x10)
            process = subprocess.Popen(
                ["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=openat", "-P", path, "-e",
                 f"inject=openat:delay_exit=1000000:when={nth}", runner.program]
                + duckdb("--query", path, sql), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            opens, deadline = 0, time.monotonic() + 30
            while opens < nth and select.select([watch], [], [], deadline - time.monotonic())[0]:
                events = os.read(watch, 4096)  # inotify_event: wd, mask, cookie, len
                opens += sum(1 for at in range(0, len(events), 16)
                             if int.from_bytes(events[at + 4:at + 8], "little") & 0x20)
            os.close(watch)
            check(f"moved away: {sql} (opens seen)", opens >= nth, True, failures)
            os.rename(path, path + ".moved")
            out, err = process.communicate(timeout=60)
            check(f"moved away: {sql} (status, stdout)", (process.returncode, out), (1, b""),
                  failures)
            check(f"moved away: {sql} (stderr)", err,
                  b"Query Error: unable to open database file: " + path.encode() + b"\n", failures)
            check(f"moved away: {sql} (files)", os.listdir(work), ["x.duckdb.moved"], failures)
    return failures


def check_duckdb_readers(runner):
    """SQL that only reads opens the file read-only: while an export is held up by a full pipe,
    queries read the same file, one of them as a user who may not write it."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        path = os.path.join(work, "r.duckdb")
        DUCKDB.make(path, "CREATE TABLE t AS SELECT range AS i, repeat('x', 100) AS s "
                          "FROM range(100000)")
        os.chmod(path, 0o644)
        before = snapshot(work)
        export = subprocess.Popen([runner.program] + duckdb("--export-csv", path, "t"),
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        export.stdout.read(65536)  # the export now waits with the rest of the table
        users = [None]
        if os.geteuid() == 0 and shutil.which("setpriv"):
            users.append(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"])
        for user in users:
            query = subprocess.run((user or []) + [runner.program] + duckdb(
                "--query", path, "SELECT count(*) AS n, max(i) AS top FROM t"),
                capture_output=True, timeout=60)
            check(f"reader {user} (status, stderr)", (query.returncode, query.stderr), (0, b""),
                  failures)
            check(f"reader {user} (stdout)", report(b"n\ttop", b"100000\t99999")
                  .fullmatch(query.stdout) is not None, True, failures)
        export.stdout.read()
        check("held export (status)", export.wait(timeout=60), 0, failures)
        check("readers (files unchanged)", snapshot(work), before, failures)
    return failures


def check_duckdb_writer_holds_its_lock(runner):
    """A --query that writes holds DuckDB's lock on the file to its end: a second writer and a
    reader fail at once. The first is held up by a COPY to a FIFO that nobody reads yet."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        path, fifo = os.path.join(work, "db.duckdb"), os.path.join(work, "f.csv")
        DUCKDB.make(path, "CREATE TABLE t (a INTEGER)")
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        writer = subprocess.Popen(
            [runner.program] + duckdb("--query", path, "INSERT INTO t VALUES (1); COPY (SELECT "
                                      f"* FROM range(1000000)) TO '{fifo}' (USE_TMP_FILE false)"),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # Once the COPY has begun, the writer waits for the FIFO to be read.
        copied = select.select([reader], [], [], 30)[0]
        check("held writer (reached its COPY)", bool(copied), True, failures)
        for args, command in ((duckdb("--query", path, "INSERT INTO t VALUES (2)"), b"Query"),
                              (duckdb("--schema", path), b"Schema")):
            status, out, err, _, _ = runner.run(args)
            check(f"{args} beside a writer (status, stdout)", (status, out), (1, b""), failures)
            check(f"{args} beside a writer (stderr)", err.startswith(
                command + b" Error: IO Error: Could not set lock on file"), True, failures)
        os.set_blocking(reader, True)
        while copied and os.read(reader, 1 << 16):
            pass
        os.close(reader)
        if not copied:
            writer.kill()
        check("held writer (status, stderr)", (writer.wait(timeout=60), writer.stderr.read()),
              (0, b""), failures)
    return failures


def check_duckdb_side_files(runner):
    """DuckDB writes no file through a link: not a log beside the file a link to the database
    leads to, not a log that is a second name of another file, not a spill file in a directory
    that a killed query left behind."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        def path(name):
            return os.path.join(work, name)
        os.mkdir(path("real"))
        for name in ("real/db.duckdb", "hard.duckdb", "spill.duckdb"):
            DUCKDB.make(path(name), "CREATE TABLE t (a INTEGER)")
        with open(path("victim.txt"), "w") as victim:
            victim.write("the user's own text\n")
        os.symlink("real/db.duckdb", path("link.duckdb"))
        os.symlink("../victim.txt", path("real/db.duckdb.wal"))
        os.link(path("victim.txt"), path("hard.duckdb.wal"))
        os.mkdir(path("spill.duckdb.tmp"))
        os.symlink("../victim.txt", path("spill.duckdb.tmp/duckdb_temp_storage_S128K-0.tmp"))
        def files():
            """The victim's text and every name of the directories, with where links lead."""
            with open(path("victim.txt"), "rb") as victim:
                names = {name: os.readlink(path(name)) if os.path.islink(path(name)) else None
                         for directory in ("", "real", "spill.duckdb.tmp")
                         for name in (os.path.join(directory, entry)
                                      for entry in os.listdir(path(directory)))}
                return victim.read(), names
        before = files()
        for db, err in (("link.duckdb", b"Query Error: " + path("real/db.duckdb.wal").encode() +
                         b": a link, which DuckDB would write through\n"),
                        ("hard.duckdb", b"Query Error: " + path("hard.duckdb.wal").encode() +
                         b": a link, which DuckDB would write through\n")):
            status, out, error, _, _ = runner.run(duckdb("--query", path(db),
                                                         "INSERT INTO t VALUES (1)"))
            check(f"{db} (status, stdout, stderr)", (status, out, error), (1, b"", err), failures)
        spill = subprocess.run([runner.program] + duckdb(
            "--query", path("spill.duckdb"), "SET memory_limit = '40MB'; SELECT count(*) FROM "
            "(SELECT i, md5(CAST(i AS VARCHAR)) AS h FROM range(3000000) r(i) ORDER BY h)"),
            capture_output=True, timeout=120)
        check("leftover spill directory (stdout)", spill.stdout, b"", failures)
        check("leftover spill directory (stderr)", spill.stderr, b"Query Error: out of memory\n",
              failures)
        check("side files (unchanged)", files(), before, failures)
    return failures


def check_duckdb_sample_on_full_disk(runner):
    """A file system too small for the sample: the sample fails in one line and leaves no file,
    neither the database nor its log. Needs the right to mount a tmpfs."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=20m", "tmpfs", work],
                          stderr=subprocess.DEVNULL).returncode != 0:
            print("skip: a DuckDB sample on a full disk needs to mount a tmpfs")
            return []
        try:
            sample = subprocess.run([runner.program] + duckdb("--sample", "s.duckdb"), cwd=work,
                                    capture_output=True, timeout=60)
            check("full disk (status, stdout)", (sample.returncode, sample.stdout), (1, b""),
                  failures)
            check("full disk (stderr)", sample.stderr.startswith(b"Sample Error: ") and
                  sample.stderr.count(b"\n") == 1, True, failures)
            check("full disk (files)", os.listdir(work), [], failures)
        finally:
            subprocess.run(["umount", work])
    return failures


def check_samples_across_formats(runner, windows):
    """Both samples, made by --engine auto from their names, differ only in foreign keys;
    the program runs from a folder that holds only it and the library."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        runner = copy_program(runner, os.path.join(work, "bin"), windows, True)
        lite, duck = os.path.join(work, "s.db"), os.path.join(work, "s.duckdb")
        for path in (lite, duck):
            status, out, err, _, _ = runner.run(auto("--sample", path))
            check(f"sample {path} (status, stderr)", (status, err), (0, b""), failures)
        status, out, err, _, _ = runner.run(auto("--query", duck, "SELECT count(*) FROM order_lines"))
        check("count of the DuckDB sample (stdout)", re.sub(rb"in [0-9.e+-]+ ms", b"in T ms", out),
              runner.expected("Executed in T ms (1 rows):\ncount_star()\n749795\n", ""), failures)
        # Whatever DuckDB is asked to print, the streams hold only the report; the SQL reaches
        # the files it names.
        for sql, rows in (("CALL enable_logging(storage='stdout'); SELECT 1 AS n", "n\n1\n"),
                          ("CALL enable_profiling(); SELECT 1 AS n", "n\n1\n"),
                          ("COPY (SELECT 7 AS n) TO 'n.parquet'; SELECT * FROM 'n.parquet'",
                           "n\n7\n")):
            status, out, err, _, _ = runner.run(duckdb("--query", duck, sql))
            check(f"{sql} (status, stderr)", (status, err), (0, b""), failures)
            check(f"{sql} (stdout)", re.sub(rb"in [0-9.e+-]+ ms", b"in T ms", out),
                  runner.expected("Executed in T ms (1 rows):\n" + rows, ""), failures)
        # The DuckDB sample has no foreign keys, which DuckDB would check on every append.
        keys = [("order_lines", "order_id", "orders"), ("order_lines", "product_id", "products"),
                ("orders", "customer_id", "customers")]
        for first, second, sign in ((lite, duck, "-"), (duck, lite, "+")):
            status, out, err, _, _ = runner.run(auto("--diff", first, second))
            check(f"diff {first} {second} (status)", status, 0, failures)
            check(f"diff {first} {second} (stdout)", out, runner.expected(
                f"Schema diff: {first} -> {second} (3 differences):\n" + "".join(
                    f"  {sign} constraint {table} : FOREIGN KEY ({column}) REFERENCES {to} (id)\n"
                    for table, column, to in keys), ""), failures)
            check(f"diff {first} {second} (stderr)", err, b"", failures)
        check("sample files", sorted(os.listdir(work)), ["bin", "s.db", "s.duckdb"], failures)
    return failures


def check_missing_library(runner, windows):
    """The program alone in a directory: the DuckDB engine says where it looked for the library,
    and the other engines still answer."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        lonely = copy_program(runner, os.path.join(work, "bin"), windows, False)
        if windows:
            looked = "Z:" + os.path.join(work, "bin", "duckdb.dll").replace("/", "\\")
        else:
            looked = (os.path.join(work, "bin", "libduckdb.so") + " or " +
                      os.path.join(work, "lib", "corvenmark", "libduckdb.so"))
        for args, out, err, status in [
                (duckdb("--query", "shop.duckdb", "SELECT 1"), "",
                 f"Query Error: DuckDB library not found: {looked}\n", 1),
                (auto("--sample", "s.duckdb"), "",
                 f"Sample Error: DuckDB library not found: {looked}\n", 1),
                (auto("--schema", "shop.db"), "Database: shop.db (2 tables):\n" + SHOP_SQLITE_SCHEMA,
                 "", 0),
                (["--query", "shop.duckdb", "SELECT 1"], QUERY_REPORT, "", 0)]:
            failures += run_case(lonely, "alone: " + " ".join(args), args, out, err, status,
                                 fixture=True)
        if not windows and shutil.which("cc"):
            # A library of another release beside the program is refused before it is used.
            library = os.path.join(work, "bin", "libduckdb.so")
            subprocess.run(["cc", "-shared", "-fPIC", "-o", library, "-x", "c", "-"], check=True,
                           input=b"const char *duckdb_library_version(void) { return \"v1.1.3\"; }")
            failures += run_case(lonely, "another release", duckdb("--schema", "shop.duckdb"), "",
                                 f"Schema Error: DuckDB library v1.1.3 found at {library}; this "
                                 f"program needs v{DUCKDB_VERSION}\n", 1, fixture=True)
    return failures


def check_terminal(runner):
    """Standard output and standard error on a terminal show text beyond ASCII as it was
    written. Under Wine the program writes to a Windows console, whose code page is not UTF-8,
    and Wine draws the console on the terminal in UTF-8 with escape sequences of its own."""
    failures = []
    for args, status, shown in [
            (["--sample", "名前ß.db"], 0, ["Create sample benchmark DB: OK at 名前ß.db"]),
            (["--engine", "sqlite", "--schema", "Ünïcødé.db"], 1,
             ["Schema Error: unable to open database file: Ünïcødé.db"]),
            # The Windows program hands a console its text 4 KB at a time, and the first 4 KB
            # of this CSV end inside a '€'.
            (["--engine", "sqlite", "--export-csv", "名前ß.db", "many"], 0,
             ["v"] + ["€a"] * 800)]:
        terminal, program_side = pty.openpty()
        with tempfile.TemporaryDirectory() as work:
            make_fixture(work)
            process = subprocess.Popen(runner.prefix + [runner.program] + args, cwd=work,
                                       stdin=subprocess.DEVNULL, stdout=program_side,
                                       stderr=program_side, start_new_session=True)
            os.close(program_side)
            screen = b""
            while select.select([terminal], [], [], 60)[0]:
                try:
                    chunk = os.read(terminal, 65536)
                except OSError:  # the program's side is closed
                    break
                if not chunk:
                    break
                screen += chunk
            check(f"terminal {args[-1]} (status)", process.wait(timeout=60), status, failures)
            os.close(terminal)
        # A move to the right draws spaces; the console's other escape sequences draw nothing.
        text = re.sub(rb"\x1b\[([0-9]*)C", lambda move: b" " * int(move[1] or 1), screen)
        text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", text).replace(b"\r", b"")
        check(f"terminal {args[-1]} (lines)", [line for line in text.split(b"\n") if line],
              [line.encode() for line in shown], failures)
    return failures


def check_full_device(runner):
    failures = []
    status, _, err, _, _ = runner.run(["--help"], stdout_path="/dev/full")
    check("write to /dev/full (status)", status, 1, failures)
    check("write to /dev/full (stderr)", err,
          runner.expected("Write Error: No space left on device\n", ""), failures)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--version", required=True, help="the project version")
    parser.add_argument("--runner", default="", help="program that starts PROGRAM")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--sqlite-version", help="release of the SQLite the build compiles in")
    parser.add_argument("--no-memory-limit", action="store_true",
                        help="skip the test that limits the address space")
    parser.add_argument("--duckdb-version", required=True,
                        help="the release of the DuckDB library the program needs")
    options = parser.parse_args()

    global DUCKDB, DUCKDB_VERSION
    DUCKDB_VERSION = options.duckdb_version
    prefix = [options.runner] if options.runner else []
    runner = Runner(os.path.abspath(options.program), prefix, options.windows, options.version)
    if not options.windows:
        DUCKDB = DuckDb(os.path.join(os.path.dirname(runner.program), library_name(False)))
    results = run_all(runner, options.windows, options.sqlite_version,
                      not options.no_memory_limit)
    if REACH_TEMPLATE:
        shutil.rmtree(REACH_TEMPLATE)
    return report_results(results)


def script_main(checks):
    """The main of a script of end-to-end checks: reads the same command line as this one's, and
    runs `checks(runner, duckdb, windows)`, which returns (name, failures) pairs; duckdb makes
    DuckDB fixtures, or is None where they cannot be made (for the Windows program)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--version", required=True)
    parser.add_argument("--duckdb-version", required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--windows", action="store_true")
    options = parser.parse_args()
    prefix = [options.runner] if options.runner else []
    runner = Runner(os.path.abspath(options.program), prefix, options.windows, options.version)
    duckdb = None if options.windows else DuckDb(
        os.path.join(os.path.dirname(runner.program), library_name(False)))
    return report_results(checks(runner, duckdb, options.windows))


def report_results(results):
    """Prints every failure of the (name, failures) pairs and a count; the exit status."""
    failed = [(name, failures) for name, failures in results if failures]
    for name, failures in failed:
        print(f"FAIL {name}")
        for failure in failures:
            print(f"    {failure}")
    print(f"{len(results) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
