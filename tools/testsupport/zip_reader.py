"""What the zip checks of the tests share: the list of failures they report,
the layout of a package of stored entries, and the game pack "assets/game.pak".
Python's zipfile reads the archives; the raw bytes are read only where zipfile
does not show them (local headers, the end record).

    sys.path.insert(0, <repository>/tools/testsupport); import zip_reader
"""
import struct
import zipfile

LOCAL_HEADER_SIZE = 30
LOCAL_SIGNATURE = 0x04034B50
END_RECORD_SIZE = 22
END_SIGNATURE = 0x06054B50

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def report(title):
    """Prints the failures and the verdict; the exit code."""
    for f in failures:
        print("FAIL: " + f)
    print("%s: %s" % (title, "failed" if failures else "passed"))
    return 1 if failures else 0


def check_stored_entries(z, raw):
    """Every entry of the open archive `z` (whose bytes are `raw`) stored with
    its CRC right, without flags, extra fields or comments, its local header at
    its offset and right after the previous entry; the central directory right
    after the last entry, and the end record (without a comment) last."""
    check(z.testzip() is None, "a CRC does not match")
    end = 0
    for info in z.infolist():
        name = info.filename
        check(info.compress_type == zipfile.ZIP_STORED and info.flag_bits == 0, "%s: method or flags" % name)
        check(info.extra == b"" and info.comment == b"", "%s has a central extra field or comment" % name)
        check(info.file_size == info.compress_size, "%s: sizes" % name)
        check(info.header_offset == end, "%s starts at %d, not right after the previous entry (%d)"
              % (name, info.header_offset, end))
        (signature,) = struct.unpack_from("<I", raw, info.header_offset)
        name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
        check(signature == LOCAL_SIGNATURE, "%s: no local header at its offset" % name)
        check(extra_length == 0 and name_length == len(name.encode("utf-8")), "%s: local header" % name)
        end = info.header_offset + LOCAL_HEADER_SIZE + name_length + extra_length + info.compress_size
    check(z.start_dir == end, "central directory at %d, entries end at %d" % (z.start_dir, end))
    check(struct.unpack_from("<I", raw, len(raw) - END_RECORD_SIZE)[0] == END_SIGNATURE,
          "the end record is not the last %d bytes" % END_RECORD_SIZE)


def read_pack(pak):
    """The game pack's magic, version and index [(name, size)], each file's
    bytes in index order, and where the last file ends."""
    magic, version, count = struct.unpack_from("<4sII", pak, 0)
    at, index = 12, []
    for _ in range(count):
        (length,) = struct.unpack_from("<H", pak, at)
        name = pak[at + 2:at + 2 + length].decode("utf-8")
        (size,) = struct.unpack_from("<Q", pak, at + 2 + length)
        index.append((name, size))
        at += 2 + length + 8
    files = []
    for _, size in index:
        files.append(pak[at:at + size])
        at += size
    return magic, version, index, files, at
