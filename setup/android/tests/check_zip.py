#!/usr/bin/env python3
"""Reads the sample package that zip_sample writes with Python's own zip reader.

    check_zip.py ZIP_SAMPLE_PROGRAM WORK_FOLDER
"""
import os
import struct
import subprocess
import sys
import zipfile


def pattern(k, n):
    """The content rule of zip_sample.cpp."""
    return bytes((i * 31 + k * 7) & 0xFF for i in range(n))


LONG_NAME = "res/" + "n" * 90 + "/wrapped-name.png"
STORED = [("AndroidManifest.xml", 2000), ("res/empty.png", 0), (LONG_NAME, 77)]
PACKED = [("default.xbe", 100000), ("GFX/empty.bin", 0), ("AUDMUSIC/a.wma", 4099)]

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def check_pack(data):
    magic, version, count = struct.unpack_from("<4sII", data, 0)
    check((magic, version, count) == (b"TFPK", 1, len(PACKED)), "pack header %r %d %d" % (magic, version, count))
    at, listed = 12, []
    for _ in range(count):
        (length,) = struct.unpack_from("<H", data, at)
        name = data[at + 2:at + 2 + length].decode("utf-8")
        (size,) = struct.unpack_from("<Q", data, at + 2 + length)
        listed.append((name, size))
        at += 2 + length + 8
    check(listed == PACKED, "pack index %s" % listed)
    for k, (_, size) in enumerate(PACKED):
        check(data[at:at + size] == pattern(10 + k, size), "pack data of file %d" % k)
        at += size
    check(at == len(data), "pack length %d, data ends at %d" % (len(data), at))


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
        infos = z.infolist()
        names = [i.filename for i in infos]
        expected = [n for n, _ in STORED] + ["assets/game.pak", "META-INF/MANIFEST.MF"]
        check(names == expected, "entries %s" % names)
        check(z.testzip() is None, "a CRC does not match")
        end = 0
        for info in infos:
            check(info.compress_type == zipfile.ZIP_STORED and info.flag_bits == 0, "%s: method or flags" % info.filename)
            check(info.extra == b"" and info.file_size == info.compress_size, "%s: extra or sizes" % info.filename)
            check(info.header_offset == end, "%s starts at %d, not right after the previous entry (%d)"
                  % (info.filename, info.header_offset, end))
            name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
            check(extra_length == 0 and name_length == len(info.filename), "%s: local header" % info.filename)
            end = info.header_offset + 30 + name_length + info.file_size
        for k, (name, size) in enumerate(STORED):
            check(z.read(name) == pattern(k, size), "content of %s" % name)
        check_pack(z.read("assets/game.pak"))
        check_manifest(z.read("META-INF/MANIFEST.MF").decode("utf-8"))
        directory_end = len(raw) - 22
        check(z.start_dir == end, "central directory at %d, entries end at %d" % (z.start_dir, end))
        check(struct.unpack_from("<I", raw, directory_end)[0] == 0x06054B50, "end record is not the last 22 bytes")
    for f in failures:
        print("FAIL: " + f)
    print("zip sample: %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
