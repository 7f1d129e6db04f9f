#!/usr/bin/env python3
"""Runs the built program as a user would and compares exact bytes and exit statuses.

Usage: end_to_end_test.py PROGRAM [--runner COMMAND] [--crlf] [--skip-posix-only]

Each case starts the program in a new session (as setsid does), so it has no controlling
terminal, in an empty working directory that must be left empty. With --runner the program is
started through another program (an emulator); with --crlf every line feed is expected as a
carriage return and line feed, as a Windows program writes through its text streams.
"""

import argparse
import os
import subprocess
import sys
import tempfile

RULE = "=" * 56 + "\n"


def usage(program):
    return (RULE + "  Corvenmark Studio - Commercial Edition v3.0.0\n"
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
    ("--sample keeps the path as passed", ["--sample", "./dir/../b é.db"],
     "Create sample benchmark DB: OK at ./dir/../b é.db\n", "", 0),
    ("--sample alone", ["--sample"], USAGE, "", 1),
    ("--diff", ["--diff", "a.db", "b.db"], NO_DIFF, "", 0),
    ("--diff with one path", ["--diff", "a.db"], USAGE, "", 1),
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
     "Engine Error: unknown engine 'oracle' (expected builtin or sqlite)\n", 1),
]


class Runner:
    def __init__(self, program, prefix, crlf):
        self.program = program
        self.prefix = prefix
        self.crlf = crlf

    def expected(self, text, argv0):
        if text is USAGE:
            text = usage(argv0)
        data = text.encode()
        return data.replace(b"\n", b"\r\n") if self.crlf else data

    def run(self, args, argv0=None, stdout_path=None):
        """Runs the program in a new session and an empty directory; returns
        (status, stdout bytes, stderr bytes, files left in the directory)."""
        with tempfile.TemporaryDirectory() as work:
            out_path = stdout_path or os.path.join(work, "..", os.path.basename(work) + ".out")
            err_path = os.path.join(work, "..", os.path.basename(work) + ".err")
            try:
                with open(out_path, "wb") as out, open(err_path, "wb") as err:
                    command = self.prefix + [argv0 or self.program] + args
                    status = subprocess.run(
                        command, executable=None if self.prefix or not argv0 else self.program,
                        stdin=subprocess.DEVNULL, stdout=out, stderr=err, cwd=work,
                        start_new_session=True, timeout=60).returncode
                left = sorted(os.listdir(work))
                with open(err_path, "rb") as err:
                    err_bytes = err.read()
                out_bytes = b""
                if stdout_path is None:
                    with open(out_path, "rb") as out:
                        out_bytes = out.read()
                return status, out_bytes, err_bytes, left
            finally:
                for path in (out_path, err_path):
                    if path != stdout_path and os.path.exists(path):
                        os.remove(path)


def check(name, actual, expected, failures):
    if actual != expected:
        failures.append(f"{name}: expected {expected!r}, got {actual!r}")


def run_case(runner, name, args, out, err, status, argv0=None):
    failures = []
    shown = argv0 or runner.program
    actual = runner.run(args, argv0)
    check(name + " (status)", actual[0], status, failures)
    check(name + " (stdout)", actual[1], runner.expected(out, shown), failures)
    check(name + " (stderr)", actual[2], runner.expected(err, shown), failures)
    check(name + " (files left)", actual[3], [], failures)
    return failures


def run_all(runner, posix_only):
    results = []
    for name, args, out, err, status in CASES:
        results.append((name, run_case(runner, name, args, out, err, status)))
    if posix_only:
        # The program name is printed exactly as the operating system passed it.
        for argv0 in ["/opt/tools/bin/corvenmark", "cm", "./relative/corvenmark"]:
            name = f"usage names argv[0] {argv0}"
            results.append((name, run_case(runner, name, ["--help"], USAGE, "", 0, argv0)))
        results.append(("a report that cannot be written fails", check_full_device(runner)))
    return results


def check_full_device(runner):
    failures = []
    status, _, err, _ = runner.run(["--help"], stdout_path="/dev/full")
    check("write to /dev/full (status)", status, 1, failures)
    check("write to /dev/full (stderr)", err, b"Write Error: No space left on device\n", failures)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--runner", default="", help="program that starts PROGRAM")
    parser.add_argument("--crlf", action="store_true")
    parser.add_argument("--skip-posix-only", action="store_true")
    options = parser.parse_args()

    prefix = [options.runner] if options.runner else []
    runner = Runner(os.path.abspath(options.program), prefix, options.crlf)
    results = run_all(runner, not options.skip_posix_only)
    failed = [(name, failures) for name, failures in results if failures]
    for name, failures in failed:
        print(f"FAIL {name}")
        for failure in failures:
            print(f"    {failure}")
    print(f"{len(results) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
