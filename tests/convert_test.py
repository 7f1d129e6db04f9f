#!/usr/bin/env python3
"""End-to-end tests of --convert between SQLite and DuckDB files.

Usage: convert_test.py PROGRAM --version VERSION --duckdb-version V [--runner COMMAND] [--windows]

Each conversion is proved as a user would: `--diff` between the source and the copy lists
exactly the columns the report named, and every table exported from both sides holds the same
records (numbers compared as the values they write, NaN equal to NaN).
"""
import decimal
import json
import math
import os
import re
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

import end_to_end_test as e2e

SQLITE_SQL = """
CREATE TABLE v (id INTEGER PRIMARY KEY, i INTEGER, r REAL, t TEXT, b BLOB);
INSERT INTO v VALUES (1, 9223372036854775807, 0.30000000000000004, '', x'00ff80');
INSERT INTO v VALUES (2, -9223372036854775808, 1e308, 'tab	and "quotes"', x'');
INSERT INTO v VALUES (3, NULL, 9e999, NULL, NULL);
INSERT INTO v VALUES (4, 0, -9e999, 'ünïcødé ☃', x'41');
INSERT INTO v VALUES (5, 1, -0.0, 'line
feed', x'c0af');
CREATE TABLE mixed (id INTEGER PRIMARY KEY, x INTEGER_OR_TEXT);
INSERT INTO mixed VALUES (1, 5), (2, 'five'), (3, NULL);
CREATE TABLE keyed (code TEXT PRIMARY KEY, n INTEGER);
INSERT INTO keyed VALUES ('a', 1), (NULL, 2);
CREATE VIEW big AS SELECT * FROM v WHERE i > 0;
CREATE TABLE odd (d DATE, ts TIMESTAMP, ns TIMESTAMP, nz);
INSERT INTO odd VALUES ('2024-02-29', '2024-01-01 00:00:00', '2024-01-01 00:00:00.123456', 'x');
INSERT INTO odd VALUES ('2023-02-29', '2024-01-01 00:00:00+05:30', '2024-01-01 00:00:00.1234567',
                        -0.0);
CREATE TABLE strict_any (id INTEGER PRIMARY KEY, v ANY) STRICT;
INSERT INTO strict_any VALUES (1, '1'), (2, '1.50'), (3, 0.5);
CREATE INDEX v_by_t ON v (t);
CREATE INDEX v_lower ON v (lower(t));
"""

DUCKDB_SQL = """
CREATE TABLE d AS SELECT * FROM (VALUES
  (1, 170141183460469231731687303715884105727::HUGEINT, 12345678901234567890.1234567890::DECIMAL(38,10),
   [1, 2]::INTEGER[], {'a': 'x, y'}, TIMESTAMPTZ '2024-07-01 12:00:00+00', 'nan'::DOUBLE, true,
   '\\x00\\xFF'::BLOB, DATE '2024-02-29', '-0.0'::DOUBLE),
  (2, NULL, -0.5::DECIMAL(38,10), []::INTEGER[], NULL, NULL, 0.1::DOUBLE, false, NULL, NULL, 1.5)
) t(id, huge, dec, list, s, tz, r, flag, b, day, z);
CREATE SCHEMA archive;
CREATE TABLE archive.users (id BIGINT PRIMARY KEY, name VARCHAR NOT NULL);
INSERT INTO archive.users VALUES (1, 'ann');
CREATE TABLE iv AS SELECT INTERVAL 1 DAY AS v;
"""


def blob_bytes(text):
    """The bytes of a BLOB as either engine writes it: X'00FF' or \\x00\\xFF with printable
    bytes as they are."""
    if re.fullmatch(r"X'([0-9A-F]{2})*'", text):
        return bytes.fromhex(text[2:-1])
    return re.sub(r"\\x([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), text).encode("latin-1")


def same_value(before, after):
    """Two JSON values of one cell, from the source and from the copy: equal as values, a
    number or a nested value the other side holds as text read from that text."""
    if before == after:
        return True
    if isinstance(before, str) and isinstance(after, str):
        try:
            return blob_bytes(before) == blob_bytes(after)
        except (ValueError, UnicodeEncodeError):
            return False
    text, other = (before, after) if isinstance(before, str) else (after, before)
    if not isinstance(text, str):
        return False
    if isinstance(other, bool):
        return text == ("true" if other else "false")
    try:
        return json.loads(text, parse_float=decimal.Decimal) == other
    except ValueError:
        return False


class Program:
    def __init__(self, runner, directory):
        self.runner = runner
        self.directory = directory

    def run(self, *args):
        command = self.runner.prefix + [self.runner.program] + list(args)
        done = subprocess.run(command, capture_output=True, cwd=self.directory, timeout=300)
        return done.returncode, done.stdout.decode().replace("\r\n", "\n"), done.stderr.decode(errors="replace")

    def rows(self, db, table):
        """Every row of `table`, as the program's JSON gives them, numbers read exactly. A name
        "a.b" is schema a's table b, or else a table of that name."""
        for quoted in ('"' + table.replace(".", '"."') + '"', '"' + table + '"'):
            status, out, _ = self.run("--engine", "auto", "--format", "json", "--query", db,
                                      f"SELECT * FROM {quoted} LIMIT 1")
            if status != 0:
                continue
            columns = len(json.loads(out)[0]) if json.loads(out) else 1
            order = ", ".join(f"{n} NULLS FIRST" for n in range(1, columns + 1))
            _, out, _ = self.run("--engine", "auto", "--format", "json", "--query", db,
                                 f"SELECT * FROM {quoted} ORDER BY {order}")
            return json.loads(out, parse_float=decimal.Decimal)
        return None


def check_conversion(program, source, target, tables, noted, failures):
    """Converts `source` into `target`; the report must name exactly the columns in `noted`
    (as "table.column"), and --diff must list exactly those."""
    label = f"{source} -> {target}"
    status, out, err = program.run("--engine", "auto", "--convert", source, target)
    if status != 0:
        failures.append(f"{label}: status {status}, {err!r}")
        return
    first = out.splitlines()[0]
    if not re.fullmatch(rf"Converted {len(tables)} tables \(\d+ rows\): {re.escape(source)} -> "
                        rf"{re.escape(target)}", first):
        failures.append(f"{label}: report {first!r}")
    notes = [line.strip(" !") for line in out.splitlines()[1:]]
    named = {note.split(":")[0] for note in notes if "copied" in note and "not copied" not in note}
    if named != set(noted):
        failures.append(f"{label}: the report names {sorted(named)}, expected {sorted(noted)}")
    # A constraint or default the report says was not copied is what --diff finds missing.
    left_out = set()
    for note in notes:
        constraint = re.fullmatch(r"(\S+): ((?:UNIQUE|CHECK|FOREIGN KEY) .*) not copied", note)
        default = re.fullmatch(r"(\S+): DEFAULT (.*) not copied", note)
        if constraint:
            left_out.add(f"- constraint {constraint[1]} : {constraint[2]}")
        if default:
            left_out.add(f"~ default {default[1]} : {default[2]} -> (none)")
        if re.fullmatch(r"(view|trigger|index) \S+: not copied", note):
            left_out.add("- " + note.split(":")[0])
    _, diff, _ = program.run("--engine", "auto", "--diff", source, target)
    lines = [line.strip() for line in diff.splitlines()[1:] if line != "No differences."]
    changed = {line.split()[2] for line in lines if line.split()[1] == "column"}
    details = {line for line in lines if line.split()[1] != "column"}
    if changed != set(noted) or details != left_out:
        failures.append(f"{label}: --diff shows {sorted(changed)} and {sorted(details)}, expected "
                        f"{sorted(noted)} and {sorted(left_out)}:\n{diff}")
    # A copy holds every row of its source, each value as the source has it.
    status, out, err = program.run("--engine", "auto", "--exit-code", "--diff-data", source, target)
    if status != 0:
        failures.append(f"{label}: --diff-data status {status}: {out}{err}")
    for name in tables:
        before, after = program.rows(source, name), program.rows(target, name)
        if before is None or after is None or len(before) != len(after):
            failures.append(f"{label}: table {name}: {len(before or [])} rows, then "
                            f"{len(after or [])}")
            continue
        for a, b in zip(before, after):
            if list(a) != list(b) or not all(same_value(a[k], b[k]) for k in a):
                failures.append(f"{label}: table {name}: {a!r} became {b!r}")
                break


def check_conversions(runner, duckdb):
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        program = Program(runner, directory)
        connection = sqlite3.connect(os.path.join(directory, "v.db"))
        connection.executescript(SQLITE_SQL)
        connection.close()
        for engine, sample in (("sqlite", "s.db"), ("duckdb", "s.duckdb")):
            program.run("--engine", engine, "--sample", sample)
        samples = ["customers", "products", "orders", "order_lines"]
        check_conversion(program, "s.db", "s-copy.duckdb", samples, [], failures)
        check_conversion(program, "s.duckdb", "s-copy.db", samples, [], failures)
        # A day that no calendar has, an offset and nanoseconds do not fit the declared types.
        check_conversion(program, "v.db", "v.duckdb", ["v", "mixed", "keyed", "odd", "strict_any"],
                         ["mixed.x", "keyed.code", "odd.d", "odd.ts", "odd.ns", "odd.nz",
                          "strict_any.v"], failures)
        # Within one format the table's own options (STRICT) and every value stay as they were.
        check_conversion(program, "v.db", "v-copy.db", ["v", "mixed", "keyed", "odd", "strict_any"],
                         [], failures)
        copy = sqlite3.connect(os.path.join(directory, "v-copy.db"))
        kept = copy.execute("SELECT typeof(v), v FROM strict_any ORDER BY id").fetchall()
        if kept != [("text", "1"), ("text", "1.50"), ("real", 0.5)]:
            failures.append(f"strict_any copied as {kept!r}")
        copy.close()
        # A database of no table copies into one that reads as a database.
        sqlite3.connect(os.path.join(directory, "none.db")).execute("PRAGMA user_version = 1")
        status, out, err = program.run("--engine", "auto", "--convert", "none.db", "none2.db")
        status2, listed, _ = program.run("--engine", "auto", "--schema", "none2.db")
        if (status, status2, listed) != (0, 0, "Database: none2.db (0 tables):\n"):
            failures.append(f"a database of no table: {out!r} {err!r}, then {listed!r}")
        status, out, _ = program.run("--engine", "auto", "--convert", "v.db", "v2.duckdb")
        for note in ["view big: not copied", "index v_lower: not copied",
                     "keyed.code: its primary key holds NULL"]:
            if note not in out:
                failures.append(f"v.db -> v2.duckdb: {note!r} not in {out!r}")
        # An index on plain columns is made again in the copy.
        _, indexes, _ = program.run("--engine", "duckdb", "--query", "v2.duckdb",
                                    "SELECT index_name FROM duckdb_indexes()")
        if "v_by_t" in out or indexes.splitlines()[2:] != ["v_by_t"]:
            failures.append(f"v.db -> v2.duckdb: indexes {indexes!r}, report {out!r}")
        if duckdb:
            duckdb.make(os.path.join(directory, "d.duckdb"), DUCKDB_SQL)
            check_conversion(program, "d.duckdb", "d.db", ["d", "archive.users", "iv"],
                             ["d.huge", "d.dec", "d.list", "d.s", "d.r", "d.z", "iv.v"],
                             failures)
            # DuckDB takes no text back as an INTERVAL: the column keeps the text.
            check_conversion(program, "d.duckdb", "d2.duckdb", ["d", "archive.users", "iv"],
                             ["iv.v"], failures)
            # SQLite keeps -0.0 only in a column without affinity.
            copy = sqlite3.connect(os.path.join(directory, "d.db"))
            zero = copy.execute("SELECT z FROM d WHERE id = 1").fetchone()[0]
            copy.close()
            if math.copysign(1, zero) != -1:
                failures.append(f"-0.0 copied to SQLite as {zero!r}")
            check_conversion(program, "d.db", "d-back.duckdb", ["d", "archive.users", "iv"],
                             ["d.r", "d.z", "d.tz"], failures)
        # A target that exists is refused and left as it was.
        with open(os.path.join(directory, "taken.duckdb"), "wb") as file:
            file.write(b"precious")
        status, out, err = program.run("--engine", "auto", "--convert", "v.db", "taken.duckdb")
        if (status, out, err.strip()) != (1, "", "Convert Error: file already exists: taken.duckdb"):
            failures.append(f"an existing target: status {status}, {out!r}, {err!r}")
        with open(os.path.join(directory, "taken.duckdb"), "rb") as file:
            if file.read() != b"precious":
                failures.append("an existing target was changed")
    return failures


PAIR_DUCKDB = """
CREATE SCHEMA a;
CREATE TABLE a.b AS SELECT 1 AS x;
CREATE TABLE main."a.b" AS SELECT * FROM (VALUES (2), (3)) t(x);
CREATE VIEW a.v AS SELECT 4 AS x;
"""

WRITER = """
import sqlite3, sys
connection = sqlite3.connect(sys.argv[1], isolation_level=None)
connection.execute("PRAGMA busy_timeout = 5000")
while True:
    connection.execute("BEGIN IMMEDIATE")
    connection.execute("UPDATE a SET n = n - 1 WHERE id = 1")
    connection.execute("UPDATE b SET n = n + 1 WHERE id = 1")
    connection.execute("COMMIT")
"""


def check_faults_of_identity_and_publishing(runner, duckdb):
    """Each table copied by its identity and from one state of the source; a journal or log
    beside the target and a name the target cannot hold refused; SQLite's own statements and
    booleans kept."""
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        program = Program(runner, directory)

        def run(*args):
            return program.run("--engine", "auto", *args)

        def count(db, table):
            _, out, _ = run("--query", db, f"SELECT sum(x) FROM {table}")
            return out.splitlines()[-1] if out else None

        def make(db, sql):
            connection = sqlite3.connect(os.path.join(directory, db))
            connection.executescript(sql)
            connection.close()

        # A journal or log of another database lying where the target's would is left alone.
        make("v.db", "CREATE TABLE t (x); INSERT INTO t VALUES (1)")
        for target, side in (("t.db", "-journal"), ("t.db", "-wal"), ("t.duckdb", ".wal")):
            with open(os.path.join(directory, target + side), "wb") as file:
                file.write(b"foreign")
            for command in (("--convert", "v.db", target), ("--sample", target)):
                status, out, err = run(*command)
                e2e.check(f"{command[0]} beside {side}", (status, out, err),
                          (1, "", f"{command[0][2:].capitalize()} Error: a journal or log of "
                           f"another database lies where the new one's would: {target}{side}\n"),
                          failures)
            os.remove(os.path.join(directory, target + side))
            e2e.check(f"nothing made beside {side}", os.path.exists(os.path.join(directory, target)),
                      False, failures)
        # A name DuckDB cannot hold is refused, and nothing is published.
        subprocess.run(runner.prefix + [runner.program, "--engine", "sqlite", "--query", "v.db",
                                        b'CREATE TABLE "bad\xff" (x)'], cwd=directory,
                       check=True, capture_output=True)
        status, out, err = run("--convert", "v.db", "bad.duckdb")
        e2e.check("a name that is not UTF-8", (status, out, "not UTF-8" in err,
                                              os.path.exists(os.path.join(directory, "bad.duckdb"))),
                  (1, "", True, False), failures)
        # A boolean goes through DuckDB and back as SQLite's 1 and 0.
        make("f.db", "CREATE TABLE f (id INTEGER PRIMARY KEY, flag BOOLEAN); "
             "INSERT INTO f VALUES (1, 1), (2, 0), (3, 1), (4, NULL)")
        run("--convert", "f.db", "f.duckdb")
        run("--convert", "f.duckdb", "f2.db")
        _, out, _ = run("--query", "f2.db", "SELECT count(*), typeof(min(flag)) FROM f WHERE flag")
        e2e.check("booleans back in SQLite", out.splitlines()[-1:], ["2\tinteger"], failures)
        # Within SQLite every statement is kept as written.
        run("--sample", "s.db")
        run("--query", "s.db", "CREATE TRIGGER t AFTER INSERT ON orders BEGIN SELECT 1; END; "
            "CREATE VIEW w AS SELECT 1")
        status, out, _ = run("--convert", "s.db", "s2.db")
        master = "SELECT type, name, sql FROM sqlite_master ORDER BY name"
        before = sqlite3.connect(os.path.join(directory, "s.db")).execute(master).fetchall()
        after = sqlite3.connect(os.path.join(directory, "s2.db")).execute(master).fetchall()
        e2e.check("SQLite's statements kept", (status, "!" in out, after), (0, False, before),
                  failures)
        # Many small tables, each direction, within DuckDB's memory limit.
        make("many.db", "".join(f"CREATE TABLE t{i} (id INTEGER PRIMARY KEY, v TEXT); "
                                f"INSERT INTO t{i} VALUES ({i}, 'x');" for i in range(1000)))
        for source, target in (("many.db", "many.duckdb"), ("many.duckdb", "many2.db")):
            status, out, err = run("--convert", source, target)
            e2e.check(f"1000 tables, {source} -> {target}", (status, out.splitlines()[:1], err),
                      (0, [f"Converted 1000 tables (1000 rows): {source} -> {target}"], ""),
                      failures)
        # Rows of one state of a source that a writer changes all the while.
        writes = sqlite3.connect(os.path.join(directory, "w.db"))
        writes.executescript("PRAGMA journal_mode = WAL; CREATE TABLE a (id INTEGER PRIMARY KEY, "
                             "n); CREATE TABLE b (id INTEGER PRIMARY KEY, n); INSERT INTO a "
                             "VALUES (1, 40000000); INSERT INTO b VALUES (1, 0);")
        writes.close()
        writer = subprocess.Popen([sys.executable, "-c", WRITER, os.path.join(directory, "w.db")])
        try:
            for i in range(3):
                status, out, err = run("--convert", "w.db", f"w{i}.duckdb")
                _, total, _ = run("--query", f"w{i}.duckdb",
                                  "SELECT (SELECT n FROM a) + (SELECT n FROM b)")
                e2e.check(f"a copy under a writer ({i})", (status, total.splitlines()[-1:]),
                          (0, ["40000000"]), failures)
        finally:
            writer.kill()
            writer.wait()
        if duckdb:
            duckdb.make(os.path.join(directory, "p.duckdb"), PAIR_DUCKDB)
            status, out, _ = run("--convert", "p.duckdb", "p2.duckdb")
            e2e.check("a.b beside main's a.b, into DuckDB",
                      (status, count("p2.duckdb", "a.b"), count("p2.duckdb", 'main."a.b"')),
                      (0, "1", "5"), failures)
            status, out, err = run("--convert", "p.duckdb", "p.db")
            e2e.check("a.b beside main's a.b, into SQLite", (status, out, err),
                      (1, "", 'Convert Error: tables "a"."b" and "a.b" would both be named '
                       '"a.b" in SQLite: p.db\n'), failures)
            make("q.db", 'CREATE TABLE "a.b" (x INTEGER)')
            e2e.check("a.b beside main's a.b, across formats", run("--diff", "q.db", "p.duckdb"),
                      (0, "Schema diff: q.db -> p.duckdb (2 differences):\n  + table a.b\n"
                       "  + view a.v\n", ""),
                      failures)
    return failures


def check_interrupted(runner):
    """SIGINT in the middle of a conversion ends it by the signal and leaves nothing."""
    failures = []
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([runner.program, "--engine", "sqlite", "--sample", "s.db"], cwd=work,
                       capture_output=True, check=True)
        before = sorted(os.listdir(work))
        process = subprocess.Popen([runner.program, "--engine", "auto", "--convert", "s.db",
                                    "s.duckdb"], cwd=work, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        while sorted(os.listdir(work)) == before and time.monotonic() < deadline:
            time.sleep(0.005)
        process.send_signal(signal.SIGINT)
        status = process.wait(timeout=60)
        e2e.check("convert ended by SIGINT (status)", status, -signal.SIGINT, failures)
        e2e.check("convert ended by SIGINT (stderr)", process.stderr.read(), b"", failures)
        e2e.check("convert ended by SIGINT (files)", sorted(os.listdir(work)), before, failures)
    return failures


def checks(runner, duckdb, windows):
    results = [("conversions both ways", check_conversions(runner, duckdb))]
    if not windows:
        results.append(("tables by identity, targets published safely",
                        check_faults_of_identity_and_publishing(runner, duckdb)))
        results.append(("an interrupted conversion leaves nothing", check_interrupted(runner)))
    return results


if __name__ == "__main__":
    sys.exit(e2e.script_main(checks))
