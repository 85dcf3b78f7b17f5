#!/usr/bin/env python3
"""What a user's tools say about the package that package_for_tools_wine_test
built, and an independent reading of it with Python's zipfile and hashlib.

    check_android_package.py FOLDER TEMPLATE   (Tarnfell.apk, install/, key/ in FOLDER)
"""
import base64
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools", "testsupport"))
from zip_reader import check, check_stored_entries, failures, read_pack, report  # noqa: E402

TEMPLATE = sys.argv[2] if len(sys.argv) > 2 else None


def run(args, **kw):
    tool = shutil.which(args[0])
    if tool is None:
        failures.append("%s is not installed (tools/setup-machine.sh installs it)" % args[0])
        return None
    return subprocess.run([tool] + args[1:], capture_output=True, text=True, **kw)


def b64sha(data):
    return base64.b64encode(hashlib.sha256(data).digest()).decode()


def sections(text):
    """The manifest's sections (main first), each with its closing blank line."""
    parts = text.split("\r\n\r\n")
    check(parts[-1] == "", "the text ends with a blank line")
    return [p + "\r\n\r\n" for p in parts[:-1]]


def attributes(section):
    unwrapped = section.replace("\r\n ", "")
    return dict(line.split(": ", 1) for line in unwrapped.split("\r\n") if line)


def check_jar_texts(z, names):
    manifest = z.read("META-INF/MANIFEST.MF")
    sf = z.read("META-INF/TFSIGN.SF").decode("ascii")
    mf_sections = sections(manifest.decode("utf-8"))
    check(mf_sections[0] == "Manifest-Version: 1.0\r\nCreated-By: Tarnfell installer\r\n\r\n", "manifest main section")
    for line in manifest.decode("utf-8").split("\r\n"):
        check(len(line.encode()) <= 72 or (line.startswith(" ") and len(line.encode()) <= 73), "line too long: " + line)
    listed = [attributes(s) for s in mf_sections[1:]]
    check([a["Name"] for a in listed] == [n for n in names if not n.startswith("META-INF/")], "manifest names")
    for a in listed:
        check(a["SHA-256-Digest"] == b64sha(z.read(a["Name"])), "digest of " + a["Name"])
    sf_sections = sections(sf)
    main = attributes(sf_sections[0])
    check(sf_sections[0].startswith("Signature-Version: 1.0\r\nSHA-256-Digest-Manifest: "), "signature file order")
    check(main["SHA-256-Digest-Manifest"] == b64sha(manifest), "digest of the manifest")
    check(main["SHA-256-Digest-Manifest-Main-Attributes"] == b64sha(mf_sections[0].encode()), "main attributes digest")
    check(main.get("Created-By") == "Tarnfell installer", "signature file Created-By")
    check(len(sf_sections) == len(mf_sections), "one signature-file section per manifest section")
    for m, s in zip(mf_sections[1:], sf_sections[1:]):
        check(attributes(s)["SHA-256-Digest"] == b64sha(m.encode("utf-8")), "section digest of " + attributes(m)["Name"])


def check_pack(pak, install):
    magic, version, index, contents, end = read_pack(pak)
    check((magic, version) == (b"TFPK", 1), "pack header")
    packed = {name: data for (name, _), data in zip(index, contents)}
    check(end == len(pak), "pack length")
    installed = {}
    for folder, dirs, files in os.walk(install):
        dirs[:] = [d for d in dirs if not d.startswith(".")]
        for f in files:
            if not f.startswith("."):
                path = os.path.join(folder, f)
                with open(path, "rb") as h:
                    installed[os.path.relpath(path, install).replace(os.sep, "/")] = h.read()
    check(packed == installed, "pack and install folder differ: %s / %s" % (sorted(packed), sorted(installed)))


def check_signature_block(z, work, key_folder):
    rsa, sf = os.path.join(work, "TFSIGN.RSA"), os.path.join(work, "TFSIGN.SF")
    with open(rsa, "wb") as f:
        f.write(z.read("META-INF/TFSIGN.RSA"))
    with open(sf, "wb") as f:
        f.write(z.read("META-INF/TFSIGN.SF"))
    verify = ["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", rsa, "-content", sf, "-out", os.devnull]
    r = run(verify + ["-noverify"])
    check(r is not None and r.returncode == 0, "openssl cms -verify: %s" % (r and r.stderr))
    cert = os.path.join(work, "signer.pem")
    r = run(["openssl", "pkcs7", "-inform", "DER", "-in", rsa, "-print_certs", "-out", cert])
    check(r is not None and r.returncode == 0, "openssl pkcs7 -print_certs")
    r = run(verify + ["-CAfile", cert, "-purpose", "any"])
    check(r is not None and r.returncode == 0, "openssl cms -verify with the embedded certificate as CA: %s" % (r and r.stderr))
    stored = os.path.join(key_folder, "android-signing.pfx.cer")
    if os.path.exists(stored):
        der = subprocess.run(["openssl", "x509", "-in", cert, "-outform", "DER"], capture_output=True).stdout
        with open(stored, "rb") as f:
            check(f.read() == der, "the block carries the stored certificate")
    with open(sf, "r+b") as f:
        f.seek(30)
        byte = f.read(1)
        f.seek(30)
        f.write(bytes([byte[0] ^ 1]))
    r = run(verify + ["-noverify"])
    check(r is not None and r.returncode != 0, "a changed signature file still verifies")


def main():
    folder = sys.argv[1]
    apk = os.path.join(folder, "Tarnfell.apk")
    with zipfile.ZipFile(apk) as z:
        infos = z.infolist()
        names = [i.filename for i in infos]
        check(names[-4:] == ["assets/game.pak", "META-INF/MANIFEST.MF", "META-INF/TFSIGN.SF", "META-INF/TFSIGN.RSA"],
              "last entries %s" % names[-4:])
        with zipfile.ZipFile(TEMPLATE) as t:
            template = [i.filename for i in t.infolist() if not i.filename.startswith("META-INF/")]
        check(names[:-4] == template, "the template's entries first, in its order: %s" % names[:-4])
        with open(apk, "rb") as f:
            check_stored_entries(z, f.read())
        check_jar_texts(z, names)
        check_pack(z.read("assets/game.pak"), os.path.join(folder, "install"))
        with tempfile.TemporaryDirectory() as work:
            check_signature_block(z, work, os.path.join(folder, "key"))

    r = run(["apksigner", "verify", "-v", "--min-sdk-version", "26", apk])
    check(r is not None and r.returncode == 0 and "Verified using v1 scheme (JAR signing): true" in r.stdout,
          "apksigner: %s %s" % (r and r.stdout, r and r.stderr))
    r = run(["jarsigner", "-verify", apk])
    check(r is not None and r.returncode == 0 and "jar verified." in r.stdout, "jarsigner: %s" % (r and r.stdout))
    r = run(["aapt", "dump", "badging", apk])
    out = r.stdout if r else ""
    for expected in ["package: name='com.tarnfell.game' versionCode='1' versionName='1.0.0'", "sdkVersion:'26'",
                     "application-label:'Tarnfell'"]:
        check(expected in out, "aapt dump badging lacks %s" % expected)

    return report("android package tools check")


if __name__ == "__main__":
    sys.exit(main())
