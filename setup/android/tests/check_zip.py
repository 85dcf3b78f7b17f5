#!/usr/bin/env python3
"""Reads the sample package that zip_sample writes with Python's own zip reader.

    check_zip.py ZIP_SAMPLE_PROGRAM WORK_FOLDER
"""
import os
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools", "testsupport"))
from zip_reader import check, check_stored_entries, read_pack, report  # noqa: E402


def pattern(k, n):
    """The content rule of zip_sample.cpp."""
    return bytes((i * 31 + k * 7) & 0xFF for i in range(n))


LONG_NAME = "res/" + "n" * 90 + "/wrapped-name.png"
STORED = [("AndroidManifest.xml", 2000), ("res/empty.png", 0), (LONG_NAME, 77)]
PACKED = [("default.xbe", 100000), ("GFX/empty.bin", 0), ("AUDMUSIC/a.wma", 4099)]


def check_pack(data):
    magic, version, index, files, end = read_pack(data)
    check((magic, version, len(index)) == (b"TFPK", 1, len(PACKED)), "pack header %r %d %d" % (magic, version, len(index)))
    check(index == PACKED, "pack index %s" % index)
    for k, ((_, size), content) in enumerate(zip(PACKED, files)):
        check(content == pattern(10 + k, size), "pack data of file %d" % k)
    check(end == len(data), "pack length %d, data ends at %d" % (len(data), end))


def check_manifest(text):
    check(text.startswith("Manifest-Version: 1.0\r\nCreated-By: Tarnfell installer\r\n\r\n"), "manifest main section")
    lines = text.split("\r\n")
    for line in lines:
        check(len(line.encode("utf-8")) <= 72 or line.startswith(" ") and len(line) <= 73, "manifest line too long")
    unwrapped = text.replace("\r\n ", "")
    names = [l[len("Name: "):] for l in unwrapped.split("\r\n") if l.startswith("Name: ")]
    check(names == [n for n, _ in STORED] + ["assets/game.pak"], "manifest names %s" % names)


def main():
    program, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "sample.zip")
    subprocess.run([program, path], check=True)
    with open(path, "rb") as f:
        raw = f.read()
    with zipfile.ZipFile(path) as z:
        names = [i.filename for i in z.infolist()]
        expected = [n for n, _ in STORED] + ["assets/game.pak", "META-INF/MANIFEST.MF"]
        check(names == expected, "entries %s" % names)
        check_stored_entries(z, raw)
        for k, (name, size) in enumerate(STORED):
            check(z.read(name) == pattern(k, size), "content of %s" % name)
        check_pack(z.read("assets/game.pak"))
        check_manifest(z.read("META-INF/MANIFEST.MF").decode("utf-8"))
    return report("zip sample")


if __name__ == "__main__":
    sys.exit(main())
