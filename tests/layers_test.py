#!/usr/bin/env python3
"""Checks that every file under src/ includes only headers of its own layer or of a layer below:

- platform/            nothing but itself;
- engines/             the platform (the seam and the code engines share);
- engines/<engine>/    the seam and the platform, never another engine;
- cli/                 the front end: the seam, the platform, and of each engine only its
                       public header, engines/<engine>/<engine>_engine.h;
- src/ itself          the entry point and the desktop entry: the front end and the platform.

Every include is written from src/, so its path names its layer. Tests (*_test.cpp, *_test.h)
sit beside the code they test but may include any layer, as the test program links them all.
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
GENERATED = {"version.h"}


def layer_of(path):
    parts = pathlib.PurePosixPath(path).parts[:-1]
    if parts[:1] == ("engines",) and len(parts) >= 2:
        return "engines/" + parts[1]
    return "/".join(parts) or "."


def allowed(source_layer, header):
    header_layer = layer_of(header)
    if header_layer == source_layer or header in GENERATED:
        return True
    if header_layer == "platform":
        return True
    if header_layer == "cli":
        return source_layer == "."
    if header_layer == "engines":
        return source_layer not in ("platform", ".")
    if header_layer.startswith("engines/"):
        engine = header_layer.split("/")[1]
        return source_layer == "cli" and header == f"engines/{engine}/{engine}_engine.h"
    return False  # the entry point, below nothing


def main():
    src = pathlib.Path(sys.argv[1])
    faults = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".cpp"):
            continue
        relative = file.relative_to(src).as_posix()
        for header in INCLUDE.findall(file.read_text(encoding="utf-8")):
            if not (src / header).exists() and header not in GENERATED:
                faults.append(f"{relative}: includes {header}, which is not a path from src/")
            elif not re.search(r"_test\.(h|cpp)$", relative) and not allowed(
                layer_of(relative), header):
                faults.append(f"{relative}: layer {layer_of(relative)} includes {header}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
