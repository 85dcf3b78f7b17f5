#!/usr/bin/env bash
# check_signed_packages.sh FOLDER KEYS: the packages that android_app_wine_test
# built with the fixed keys of KEYS planted as the user's key: Android's
# verifier accepts each, and its signer is that key's certificate.
set -u
folder=$1 keys=$2
command -v apksigner >/dev/null || { echo "FAIL: apksigner is not installed (tools/setup-machine.sh installs it)"; exit 1; }
failed=0
for name in short-dp short-dq short-qinv short-d exponent-17; do
  apk=$folder/$name.apk
  if [ ! -f "$apk" ]; then
    echo "FAIL: $name.apk was not built"
    failed=1
    continue
  fi
  if ! out=$(apksigner verify -v --print-certs --min-sdk-version 26 "$apk" 2>&1); then
    echo "FAIL: apksigner rejects $name.apk: $out"
    failed=1
    continue
  fi
  want=$(sha256sum <"$keys/$name.der" | cut -d' ' -f1)
  got=$(sed -n 's/^Signer #1 certificate SHA-256 digest: //p' <<<"$out")
  if [ "$got" != "$want" ]; then
    echo "FAIL: $name.apk is signed by the certificate $got, not $want"
    failed=1
  else
    echo "$name.apk: verified, signed by $name.der"
  fi
done
echo "signed packages check: $([ $failed = 0 ] && echo passed || echo failed)"
exit $failed
