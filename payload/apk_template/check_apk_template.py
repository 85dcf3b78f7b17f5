#!/usr/bin/env python3
"""Checks a generated stand-in APK template.

    check_apk_template.py structure TEMPLATE GENERATOR ICON
        nine stored entries in order, no extra fields, CRCs right, icons of the
        right sizes, and the generator writing the same bytes again;
    check_apk_template.py aapt TEMPLATE AAPT
        Android's packaging tool reads the package, version, SDK levels, label
        and the five icons.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

EXPECTED = [
    "AndroidManifest.xml",
    "res/mipmap-mdpi-v4/ic_launcher.png",
    "res/mipmap-hdpi-v4/ic_launcher.png",
    "res/mipmap-xhdpi-v4/ic_launcher.png",
    "res/mipmap-xxhdpi-v4/ic_launcher.png",
    "res/mipmap-xxxhdpi-v4/ic_launcher.png",
    "resources.arsc",
    "lib/arm64-v8a/libtfapp.so",
    "lib/arm64-v8a/libtfgame.so",
]
ICON_PIXELS = {"mdpi": 48, "hdpi": 72, "xhdpi": 96, "xxhdpi": 144, "xxxhdpi": 192}
ICON_DPI = {"mdpi": 160, "hdpi": 240, "xhdpi": 320, "xxhdpi": 480, "xxxhdpi": 640}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def structure(template, generator, icon):
    with open(template, "rb") as f:
        raw = f.read()
    with zipfile.ZipFile(template) as z:
        infos = z.infolist()
        check([i.filename for i in infos] == EXPECTED, "entries and order: %s" % [i.filename for i in infos])
        check(z.testzip() is None, "an entry's CRC does not match")
        for info in infos:
            check(info.compress_type == zipfile.ZIP_STORED, "%s is not stored" % info.filename)
            check(info.extra == b"" and info.comment == b"", "%s has a central extra field or comment" % info.filename)
            local = raw[info.header_offset:info.header_offset + 30]
            signature, name_length, extra_length = (struct.unpack_from("<I", local, 0)[0],
                                                    *struct.unpack_from("<HH", local, 26))
            check(signature == 0x04034B50, "%s: no local header at its offset" % info.filename)
            check(extra_length == 0, "%s has a local extra field" % info.filename)
            check(name_length == len(info.filename), "%s: local name length" % info.filename)
            data = z.read(info)
            if info.filename.endswith(".png"):
                density = info.filename.split("/")[1][len("mipmap-"):-len("-v4")]
                check(data[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % info.filename)
                width, height, depth, colour = struct.unpack_from(">IIBB", data, 16)
                check((width, height) == (ICON_PIXELS[density],) * 2, "%s is %dx%d" % (info.filename, width, height))
                check((depth, colour) == (8, 6), "%s is not 8-bit RGBA" % info.filename)
            elif info.filename.endswith(".so"):
                text = data.decode("ascii")
                check("stand-in" in text and "not the game's library" in text,
                      "%s does not say it is a stand-in" % info.filename)
            elif info.filename in ("AndroidManifest.xml", "resources.arsc"):
                kind, header, size = struct.unpack_from("<HHI", data.ljust(8, b"\0"), 0)
                check(kind == (3 if info.filename == "AndroidManifest.xml" else 2) and size == len(data),
                      "%s: chunk type %d, size %d of %d" % (info.filename, kind, size, len(data)))
    with tempfile.TemporaryDirectory() as folder:
        again = os.path.join(folder, "again.zip")
        subprocess.run([sys.executable, generator, "--icon", icon, "--output", again], check=True)
        with open(again, "rb") as f:
            check(f.read() == raw, "a second run of the generator wrote other bytes")


def aapt(template, tool):
    out = subprocess.run([tool, "dump", "badging", template], capture_output=True, text=True)
    check(out.returncode == 0, "aapt failed: %s" % out.stderr.strip())
    lines = out.stdout.splitlines()
    wanted = [
        "package: name='com.tarnfell.game' versionCode='1' versionName='1.0.0'",
        "sdkVersion:'26'",
        "targetSdkVersion:'29'",
        "application-label:'Tarnfell'",
        "launchable-activity: name='android.app.NativeActivity'  label='Tarnfell' icon=''",
        "native-code: 'arm64-v8a'",
        "densities: '160' '240' '320' '480' '640'",
    ]
    for density, dpi in ICON_DPI.items():
        wanted.append("application-icon-%d:'res/mipmap-%s-v4/ic_launcher.png'" % (dpi, density))
    for line in wanted:
        check(any(l.startswith(line) for l in lines), "aapt does not show: %s" % line)
    if failures:
        print(out.stdout)


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "structure":
        structure(*sys.argv[2:])
    elif len(sys.argv) == 4 and sys.argv[1] == "aapt":
        aapt(*sys.argv[2:])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for f in failures:
        print("FAIL: " + f)
    print("%s: %s" % (sys.argv[1], "failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
