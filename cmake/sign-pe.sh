#!/usr/bin/env bash
# sign-pe.sh [options] IN OUT: writes OUT, the program IN with an Authenticode
# signature (SHA-256 digests), whole or not at all (OUT.tmp, then one move).
#   --tool PATH            osslsigncode (default: the one on PATH)
#   --pfx FILE             the code-signing key and certificate (PKCS#12)
#   --password-file FILE   the PFX's password; without it, the environment
#                          variable TF_SIGN_PASSWORD
#   --timestamp URL        an RFC 3161 timestamp server (default: none)
# The password reaches osslsigncode through a file or a pipe, never on a
# command line. The signing time is SOURCE_DATE_EPOCH, else the time of the
# source tree's last commit: the same key and time sign the same bytes the
# same way (a timestamp server adds its own time and token). The signed file
# is checked: without its signature it is IN byte for byte.
# Exit codes: 0 signed, 1 signing failed, 2 usage or missing input.
set -euo pipefail

usage() { echo "usage: sign-pe.sh [--tool PATH] --pfx FILE [--password-file FILE] [--timestamp URL] IN OUT" >&2; exit 2; }
fail() { echo "sign-pe: $*" >&2; exit 2; }

tool=osslsigncode pfx="" password_file="" timestamp=""
while [ $# -gt 2 ]; do
  case $1 in
    --tool) tool=$2 ;;
    --pfx) pfx=$2 ;;
    --password-file) password_file=$2 ;;
    --timestamp) timestamp=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[ $# = 2 ] && [ -n "$pfx" ] || usage
in=$1 out=$2
[ -f "$in" ] || fail "$in does not exist"
[ -f "$pfx" ] || fail "the code-signing key $pfx does not exist"

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  epoch=$SOURCE_DATE_EPOCH
elif ! epoch=$(git -C "$(dirname "$0")/.." log -1 --format=%ct 2>/dev/null) || [ -z "$epoch" ]; then
  fail "no signing time: set SOURCE_DATE_EPOCH (seconds since 1970, for example the release commit's time)"
fi
[[ $epoch =~ ^[0-9]{1,11}$ ]] || fail "SOURCE_DATE_EPOCH is not a number of seconds: $epoch"

args=(sign -pkcs12 "$pfx" -h sha256 -time "$epoch")
[ -n "$timestamp" ] && args+=(-ts "$timestamp")

tmp=$out.tmp
log=$(mktemp)
trap 'rm -f "$tmp" "$log"' EXIT
rm -f "$tmp"
status=0
if [ -n "$password_file" ]; then
  [ -f "$password_file" ] || fail "the password file $password_file does not exist"
  "$tool" "${args[@]}" -readpass "$password_file" -in "$in" -out "$tmp" >"$log" 2>&1 || status=$?
elif [ -n "${TF_SIGN_PASSWORD+set}" ]; then
  "$tool" "${args[@]}" -readpass <(printf '%s' "$TF_SIGN_PASSWORD") -in "$in" -out "$tmp" >"$log" 2>&1 || status=$?
else
  fail "no password for $pfx: configure with TF_SIGN_PASSWORD_FILE, or set TF_SIGN_PASSWORD when building"
fi
if [ "$status" != 0 ] || [ ! -s "$tmp" ]; then
  cat "$log" >&2
  echo "sign-pe: $tool could not sign $in with $pfx (exit code $status)" >&2
  exit 1
fi
# The signed file, its signature taken off, must be the program it was made from.
check=$out.unsigned.tmp
trap 'rm -f "$tmp" "$check" "$log"' EXIT
rm -f "$check"
if ! "$tool" remove-signature -in "$tmp" -out "$check" >"$log" 2>&1 || ! cmp -s "$check" "$in"; then
  cat "$log" >&2
  echo "sign-pe: the signed $out is not $in with a signature added" >&2
  exit 1
fi
chmod --reference="$in" "$tmp"
mv -f "$tmp" "$out"
