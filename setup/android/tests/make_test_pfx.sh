#!/usr/bin/env bash
# PKCS#12 files made by openssl for the key store's tests, into FOLDER:
# quorv.pfx (openssl's default encryption), quorv-legacy.pfx (the older
# encryption), other-password.pfx, no-certificate.pfx (the key alone), and
# the certificate they carry (DER).
set -euo pipefail
folder=$1
rm -rf "$folder" && mkdir -p "$folder" && cd "$folder"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Tarnfell test/O=openssl" -days 3650 \
  -keyout key.pem -out certificate.pem 2>/dev/null
openssl x509 -in certificate.pem -outform DER -out certificate.der
openssl pkcs12 -export -inkey key.pem -in certificate.pem -passout pass:quorv -out quorv.pfx
openssl pkcs12 -export -legacy -inkey key.pem -in certificate.pem -passout pass:quorv -out quorv-legacy.pfx
openssl pkcs12 -export -inkey key.pem -in certificate.pem -passout pass:other -out other-password.pfx
openssl pkcs12 -export -nocerts -inkey key.pem -passout pass:quorv -out no-certificate.pfx
rm -f key.pem
echo "made $(ls | tr '\n' ' ')in $folder"
