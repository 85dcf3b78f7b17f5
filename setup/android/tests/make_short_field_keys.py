#!/usr/bin/env python3
"""Fixed signing keys for the key store's tests, made with openssl, into FOLDER
(default: the folder "keys" beside this script):

  short-<field>.pfx   a 2048-bit key whose PKCS#1 field <field> (dp, dq, qinv
                      or d) is shorter than its nominal width (128 bytes for
                      the CRT values, 256 for d) while every other field has
                      its full width; PKCS#12 with the password "quorv"
  short-<field>.der   its self-signed certificate (DER)
  short-<field>.blob  its private key as a PRIVATEKEYBLOB (openssl's MSBLOB,
                      marked as a signature key), the reference for the repair
  exponent-17.pfx     a 2048-bit key with the public exponent 17 (.pfx, .der
                      and .blob as above)
  mismatched.cer      a raw pair whose certificate and key blob belong to two
  mismatched.key      different keys

Keys are generated until each field has turned up short on its own: about one
key in 256 has a given field short, so this takes a few hundred keys.

    make_short_field_keys.py [FOLDER]
"""
import os
import subprocess
import sys
import tempfile

FIELDS = ["n", "e", "d", "p", "q", "dp", "dq", "qinv"]
NOMINAL = {"n": 256, "d": 256, "p": 128, "q": 128, "dp": 128, "dq": 128, "qinv": 128}
WANTED = ["dp", "dq", "qinv", "d"]
CALG_RSA_SIGN = 0x2400


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def der_length(der, at):
    first = der[at]
    if first < 0x80:
        return first, at + 1
    count = first & 0x7F
    return int.from_bytes(der[at + 1:at + 1 + count], "big"), at + 1 + count


def pkcs1_fields(der):
    """The integers of an RSAPrivateKey (PKCS#1) in DER."""
    assert der[0] == 0x30
    _, at = der_length(der, 1)
    values = []
    while at < len(der):
        assert der[at] == 0x02
        length, at = der_length(der, at + 1)
        values.append(int.from_bytes(der[at:at + length], "big"))
        at += length
    version, *numbers = values
    assert version == 0 and len(numbers) == len(FIELDS)
    return dict(zip(FIELDS, numbers))


def short_fields(fields):
    return [f for f, width in NOMINAL.items() if (fields[f].bit_length() + 7) // 8 < width]


def signature_blob(pem):
    blob = bytearray(openssl("rsa", "-in", pem, "-outform", "MSBLOB"))
    blob[4:8] = CALG_RSA_SIGN.to_bytes(4, "little")  # openssl marks it as an exchange key
    return bytes(blob)


def certificate(pem, name, out_der):
    openssl("req", "-x509", "-new", "-key", pem, "-subj", "/CN=Tarnfell %s/O=openssl" % name, "-days", "36500",
            "-sha256", "-outform", "DER", "-out", out_der)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "keys")
    os.makedirs(folder, exist_ok=True)
    found, plain, tries = {}, None, 0
    with tempfile.TemporaryDirectory() as work:
        while len(found) < len(WANTED) or plain is None:
            tries += 1
            pem = os.path.join(work, "key%d.pem" % tries)
            openssl("genrsa", "-out", pem, "2048")
            short = short_fields(pkcs1_fields(openssl("rsa", "-in", pem, "-outform", "DER", "-traditional")))
            if len(short) == 1 and short[0] in WANTED and short[0] not in found:
                found[short[0]] = pem
                print("key %d: %s short" % (tries, short[0]))
            elif not short and plain is None:
                plain = pem  # the certificate's half of the mismatched pair
            else:
                os.remove(pem)
        exponent17 = os.path.join(work, "exponent17.pem")
        openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-pkeyopt",
                "rsa_keygen_pubexp:17", "-out", exponent17)
        found["exponent-17"] = exponent17
        for field, pem in found.items():
            stem = os.path.join(folder, field if field.startswith("exponent") else "short-" + field)
            certificate(pem, os.path.basename(stem), stem + ".der")
            cert_pem = openssl("x509", "-inform", "DER", "-in", stem + ".der")
            openssl("pkcs12", "-export", "-inkey", pem, "-in", "/dev/stdin", "-passout", "pass:quorv",
                    "-out", stem + ".pfx", data=cert_pem)
            with open(stem + ".blob", "wb") as f:
                f.write(signature_blob(pem))
        # The certificate of one key beside the blob of another.
        certificate(plain, "mismatched", os.path.join(folder, "mismatched.cer"))
        with open(os.path.join(folder, "mismatched.key"), "wb") as f:
            f.write(signature_blob(found["dq"]))
    print("%d keys generated; files in %s" % (tries, folder))


if __name__ == "__main__":
    main()
