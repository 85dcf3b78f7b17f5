#!/usr/bin/env bash
# make_test_key.sh FOLDER: a throwaway code-signing key for the tests, made
# with openssl: FOLDER/sign.pfx (PKCS#12) with its random password in
# FOLDER/password, and its self-signed certificate FOLDER/cert.pem (what
# `osslsigncode verify -CAfile` trusts). Never for a release.
set -euo pipefail
[ $# = 1 ] || { echo "usage: make_test_key.sh FOLDER" >&2; exit 2; }
dir=$1
umask 077
mkdir -p "$dir"
rm -f "$dir/sign.pfx" "$dir/password" "$dir/cert.pem" "$dir/key.pem"
openssl rand -hex 16 | tr -d '\n' >"$dir/password"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 30 \
  -subj "/CN=Tarnfell throwaway test signing" \
  -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature" \
  -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -out "$dir/sign.pfx" -passout "file:$dir/password"
rm -f "$dir/key.pem"
