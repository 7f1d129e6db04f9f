#!/usr/bin/env python3
"""Reads the resources of the built Windows program from its file, as Windows reads them: the
version information (names and numbers from the project version), the icon in each of its
sizes, and the manifest that makes UTF-8 the program's code page.

Usage: windows_resources_test.py PROGRAM.exe VERSION
"""

import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def resources(image):
    """{(type, id): bytes} for every resource with a numeric type and id, first language."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, header + 6)
    optional = header + 24
    assert struct.unpack_from("<H", image, optional)[0] == 0x20B, "not a 64-bit program"
    root_rva = struct.unpack_from("<I", image, optional + 112 + 2 * 8)[0]
    table = [struct.unpack_from("<8xIIII", image, optional + optional_size + 40 * i)
             for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in table:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise ValueError(f"RVA {rva:#x} in no section")

    root = offset(root_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", image, root + directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, root + directory + 16 + 8 * i)
            yield name, target & 0x7FFFFFFF

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names):
            _, leaf = next(entries(languages))
            rva, size = struct.unpack_from("<II", image, root + leaf)
            found[(kind, name)] = image[offset(rva):offset(rva) + size]
    return found


def version_block(data, start=0):
    """One block of the version information: (key, value, children)."""
    length, value_length, text = struct.unpack_from("<HHH", data, start)
    key_end = start + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[start + 6:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    size = value_length * 2 if text else value_length
    value = data[position:position + size]
    value = value.decode("utf-16-le").rstrip("\0") if text else value
    position = (position + size + 3) & ~3
    children = []
    while position < start + length:
        children.append(version_block(data, position))
        position = (position + struct.unpack_from("<H", data, position)[0] + 3) & ~3
    return key, value, children


def strings(block):
    key, value, children = block
    found = {key: value} if isinstance(value, str) else {}
    for child in children:
        found.update(strings(child))
    return found


def icon_size(image):
    if image.startswith(b"\x89PNG"):
        return struct.unpack_from(">II", image, 16)
    width, double_height = struct.unpack_from("<ii", image, 4)
    return width, double_height // 2


def main():
    program, version = sys.argv[1], sys.argv[2]
    with open(program, "rb") as file:
        found = resources(file.read())
    numbers = tuple(int(part) for part in version.split(".")) + (0,)

    info = version_block(found[(RT_VERSION, 1)])
    fixed = struct.unpack_from("<IIIIII", info[1])
    texts = strings(info)
    groups = sorted(name for kind, name in found if kind == RT_GROUP_ICON)
    group = found[(RT_GROUP_ICON, groups[0])] if groups else b"\0" * 6
    icons = [struct.unpack_from("<BB4xHIH", group, 6 + 14 * i)
             for i in range(struct.unpack_from("<H", group, 4)[0])]
    manifest = ElementTree.fromstring(found.get((RT_MANIFEST, 1), b"<none/>"))
    settings = "{http://schemas.microsoft.com/SMI/%s/WindowsSettings}"

    checks = [
        ("version signature", fixed[0], 0xFEEF04BD),
        ("binary file version", (fixed[2] >> 16, fixed[2] & 0xFFFF, fixed[3] >> 16,
                                 fixed[3] & 0xFFFF), numbers),
        ("binary product version", (fixed[4] >> 16, fixed[4] & 0xFFFF, fixed[5] >> 16,
                                    fixed[5] & 0xFFFF), numbers),
        ("ProductName", texts.get("ProductName"), "Corvenmark Studio"),
        ("ProductVersion", texts.get("ProductVersion"), version),
        ("FileVersion", texts.get("FileVersion"), version),
        ("OriginalFilename", texts.get("OriginalFilename"), "corvenmark.exe"),
        ("FileDescription", bool(texts.get("FileDescription")), True),
        ("first icon group", groups[:1], [1]),
        ("icon sizes", sorted((width or 256, height or 256) for width, height, *_ in icons),
         [(16, 16), (32, 32), (48, 48), (256, 256)]),
        ("icon images", [icon_size(found.get((RT_ICON, number), b"\0" * 12))
                         for *_, number in icons],
         [(width or 256, height or 256) for width, height, *_ in icons]),
        ("code page", [element.text for element in manifest.iter(settings % "2019" +
                                                                    "activeCodePage")],
         ["UTF-8"]),
        ("DPI awareness", [element.text for element in manifest.iter(settings % "2016" +
                                                                       "dpiAwareness")],
         ["PerMonitorV2"]),
        ("long paths", [element.text for element in manifest.iter(settings % "2016" +
                                                                    "longPathAware")],
         ["true"]),
    ]
    failed = 0
    for name, actual, expected in checks:
        if actual != expected:
            failed += 1
            print(f"FAIL {name}: expected {expected!r}, got {actual!r}")
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
