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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "testsupport"))
from zip_reader import check, check_stored_entries, failures, report  # noqa: E402

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

def structure(template, generator, icon):
    with open(template, "rb") as f:
        raw = f.read()
    with zipfile.ZipFile(template) as z:
        infos = z.infolist()
        check([i.filename for i in infos] == EXPECTED, "entries and order: %s" % [i.filename for i in infos])
        check_stored_entries(z, raw)
        for info in infos:
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
    return report(sys.argv[1])


if __name__ == "__main__":
    sys.exit(main())
