#!/usr/bin/env python3
"""Fixed signing keys for the key store's tests, made with openssl, into FOLDER
(default: the folder "keys" beside this script):

  short-<field>.pfx   a 2048-bit key whose PKCS#1 field <field> (dp, dq, qinv
                      or d) is shorter than its nominal width (128 bytes for
                      the CRT values, 256 for d) in its DER encoding, the
                      sign byte included (so a value one byte short has its
                      top bit clear), while every other field has its full
                      width; PKCS#12 with the password "quorv"
  short-<field>.der   its self-signed certificate (DER)
  short-<field>.blob  its private key as a PRIVATEKEYBLOB (openssl's MSBLOB,
                      marked as a signature key), the reference for the repair
  exponent-17.pfx     a 2048-bit key with the public exponent 17 (.pfx, .der
                      and .blob as above)
  short-p.pfx         a 2048-bit key built from two chosen primes of 1015 and
                      1033 bits, so that p is short (127 bytes, top bit
                      clear) and q long: no PRIVATEKEYBLOB can hold it
                      (.pfx and .der only)
  mismatched.cer      a raw pair whose certificate and key blob belong to two
  mismatched.key      different keys

Keys are generated until each field has turned up short on its own: about one
key in 512 has a given field short, so this takes about a thousand keys.

    make_short_field_keys.py [FOLDER]
"""
import math
import os
import random
import subprocess
import sys
import tempfile

FIELDS = ["n", "e", "d", "p", "q", "dp", "dq", "qinv"]
NOMINAL = {"n": 256, "d": 256, "p": 128, "q": 128, "dp": 128, "dq": 128, "qinv": 128}
WANTED = ["dp", "dq", "qinv", "d"]
CALG_RSA_SIGN = 0x2400


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def read_length(der, at):
    first = der[at]
    if first < 0x80:
        return first, at + 1
    count = first & 0x7F
    return int.from_bytes(der[at + 1:at + 1 + count], "big"), at + 1 + count


def pkcs1_lengths(der):
    """The content lengths of the INTEGERs of an RSAPrivateKey (PKCS#1) in DER:
    the value's bytes, and a zero byte before them where the top bit is set."""
    assert der[0] == 0x30
    _, at = read_length(der, 1)
    lengths = []
    while at < len(der):
        assert der[at] == 0x02
        length, at = read_length(der, at + 1)
        lengths.append(length)
        at += length
    version, *numbers = lengths
    assert len(numbers) == len(FIELDS)
    return dict(zip(FIELDS, numbers))


def short_fields(lengths):
    return [f for f, width in NOMINAL.items() if lengths[f] < width]


def probable_prime(bits):
    """A random prime of exactly `bits` bits, its top two bits set (Miller-Rabin, 40 rounds)."""
    rng = random.SystemRandom()
    while True:
        n = rng.getrandbits(bits) | (3 << (bits - 2)) | 1
        if all(n % small for small in (3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37)) and miller_rabin(n, rng):
            return n


def miller_rabin(n, rng):
    d, r = n - 1, 0
    while d % 2 == 0:
        d, r = d // 2, r + 1
    for _ in range(40):
        x = pow(rng.randrange(2, n - 1), d, n)
        if x in (1, n - 1):
            continue
        for _ in range(r - 1):
            x = pow(x, 2, n)
            if x == n - 1:
                break
        else:
            return False
    return True


def der_integer(value):
    body = value.to_bytes(value.bit_length() // 8 + 1, "big")  # a leading zero where the top bit is set
    return b"\x02" + encode_length(len(body)) + body


def encode_length(length):
    if length < 0x80:
        return bytes([length])
    body = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def key_from_primes(p, q, e, pem):
    """An RSAPrivateKey (PKCS#1) for the primes p and q, in that order, written as PEM."""
    lcm = (p - 1) * (q - 1) // math.gcd(p - 1, q - 1)
    d = pow(e, -1, lcm)
    numbers = [0, p * q, e, d, p, q, d % (p - 1), d % (q - 1), pow(q, -1, p)]
    body = b"".join(der_integer(n) for n in numbers)
    openssl("rsa", "-inform", "DER", "-out", pem, data=b"\x30" + encode_length(len(body)) + body)


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
            short = short_fields(pkcs1_lengths(openssl("rsa", "-in", pem, "-outform", "DER", "-traditional")))
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
        while True:
            p, q = probable_prime(1015), probable_prime(1033)
            if math.gcd(65537, (p - 1) * (q - 1)) == 1:
                break
        short_p = os.path.join(work, "shortp.pem")
        key_from_primes(p, q, 65537, short_p)
        for field, pem in list(found.items()) + [("p", short_p)]:
            stem = os.path.join(folder, field if field.startswith("exponent") else "short-" + field)
            certificate(pem, os.path.basename(stem), stem + ".der")
            cert_pem = openssl("x509", "-inform", "DER", "-in", stem + ".der")
            openssl("pkcs12", "-export", "-inkey", pem, "-in", "/dev/stdin", "-passout", "pass:quorv",
                    "-out", stem + ".pfx", data=cert_pem)
            if field != "p":
                with open(stem + ".blob", "wb") as f:
                    f.write(signature_blob(pem))
        # The certificate of one key beside the blob of another.
        certificate(plain, "mismatched", os.path.join(folder, "mismatched.cer"))
        with open(os.path.join(folder, "mismatched.key"), "wb") as f:
            f.write(signature_blob(found["dq"]))
    print("%d keys generated; files in %s" % (tries, folder))


if __name__ == "__main__":
    main()
