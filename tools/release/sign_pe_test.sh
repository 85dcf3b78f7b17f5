#!/usr/bin/env bash
# sign_pe_test.sh PROGRAM: cmake/sign-pe.sh on a copy of an unsigned Windows
# program, with a throwaway key: the signature verifies and carries the
# signing time asked for; the password file and the environment variable sign
# the same bytes, and so does a second run; a failure leaves no output, keeps
# what was there and names its cause; the password shows in no output.
set -uo pipefail
[ $# = 1 ] || { echo "usage: sign_pe_test.sh PROGRAM" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
sign=$here/../../cmake/sign-pe.sh
[ -f "$1" ] || { echo "sign_pe_test: $1 is missing (build the windows preset first)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/in.exe"
bash "$here/make_test_key.sh" "$work/key" || exit 1
key=$work/key
password=$(cat "$key/password")
epoch=1700000000
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# run NAME [VAR=value...] -- ARGS...: sign-pe.sh with the given environment
# (TF_SIGN_PASSWORD and SOURCE_DATE_EPOCH unset unless given); sets rc and out.
run() {
  local name=$1
  shift
  local env=()
  while [ "$1" != -- ]; do env+=("$1"); shift; done
  shift
  out=$(env -u TF_SIGN_PASSWORD -u SOURCE_DATE_EPOCH "${env[@]}" bash "$sign" "$@" 2>&1)
  rc=$?
  printf '%s\n' "$out" >"$work/$name.log"
}

verify_time() {  # FILE EPOCH: the signature verifies and carries that signing time
  local text
  text=$(osslsigncode verify -CAfile "$key/cert.pem" -in "$1" 2>&1) || { fail "$1 does not verify: $text"; return; }
  grep -q "Signing time: $(LC_ALL=C date -u -d "@$2" '+%b %e %H:%M:%S %Y') GMT" <<<"$text" ||
    fail "$1: not signed at $2: $(grep 'Signing time' <<<"$text")"
}

run env TF_SIGN_PASSWORD="$password" SOURCE_DATE_EPOCH=$epoch -- --pfx "$key/sign.pfx" "$work/in.exe" "$work/env.exe"
[ "$rc" = 0 ] || fail "signing with the password from the environment: exit code $rc: $out"
verify_time "$work/env.exe" $epoch
[ -x "$work/env.exe" ] || fail "the signed program lost its mode"
compgen -G "$work/env.exe.*" >/dev/null && fail "signing left $(cd "$work" && echo env.exe.*)"
run file SOURCE_DATE_EPOCH=$epoch -- --pfx "$key/sign.pfx" --password-file "$key/password" "$work/in.exe" "$work/file.exe"
[ "$rc" = 0 ] || fail "signing with the password file: exit code $rc: $out"
cmp -s "$work/env.exe" "$work/file.exe" || fail "the same key and time signed different bytes"
run later TF_SIGN_PASSWORD="$password" SOURCE_DATE_EPOCH=$((epoch + 86400)) -- --pfx "$key/sign.pfx" "$work/in.exe" "$work/later.exe"
[ "$rc" = 0 ] || fail "signing a day later: exit code $rc: $out"
verify_time "$work/later.exe" $((epoch + 86400))
cmp -s "$work/env.exe" "$work/later.exe" && fail "another signing time signed the same bytes"
cmp -s "$work/in.exe" "$1" || fail "signing changed its input"
# Without SOURCE_DATE_EPOCH: the time of the source tree's last commit, or a
# failure that says so where the tree has no history.
run commit TF_SIGN_PASSWORD="$password" -- --pfx "$key/sign.pfx" "$work/in.exe" "$work/commit.exe"
if commit=$(git -C "$here/../.." log -1 --format=%ct 2>/dev/null); then
  [ "$rc" = 0 ] || fail "signing at the commit's time: exit code $rc: $out"
  verify_time "$work/commit.exe" "$commit"
else
  [ "$rc" = 2 ] && grep -q "no signing time" <<<"$out" || fail "no commit and no SOURCE_DATE_EPOCH: exit code $rc: $out"
fi

# Failures: name, environment, arguments, exit code, what the message says.
echo "an earlier build's output" >"$work/kept.exe"
cases=(
  "wrong password|TF_SIGN_PASSWORD=not-$password SOURCE_DATE_EPOCH=$epoch|--pfx $key/sign.pfx|1|could not sign"
  "no password|SOURCE_DATE_EPOCH=$epoch|--pfx $key/sign.pfx|2|no password for"
  "missing password file|SOURCE_DATE_EPOCH=$epoch|--pfx $key/sign.pfx --password-file $work/none|2|password file"
  "missing key|TF_SIGN_PASSWORD=$password SOURCE_DATE_EPOCH=$epoch|--pfx $work/none.pfx|2|does not exist"
  "time not a number|TF_SIGN_PASSWORD=$password SOURCE_DATE_EPOCH=yesterday|--pfx $key/sign.pfx|2|not a number"
  "missing tool|TF_SIGN_PASSWORD=$password SOURCE_DATE_EPOCH=$epoch|--tool $work/none --pfx $key/sign.pfx|1|could not sign"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name env args code message <<<"$c"
  # shellcheck disable=SC2086 # the table's fields are word lists
  run "${name// /_}" $env -- $args "$work/in.exe" "$work/kept.exe"
  [ "$rc" = "$code" ] || fail "$name: exit code $rc, expected $code: $out"
  grep -q "$message" <<<"$out" || fail "$name: the message does not say \"$message\": $out"
  [ "$(cat "$work/kept.exe")" = "an earlier build's output" ] || fail "$name: the earlier output was replaced"
  compgen -G "$work/kept.exe.*" >/dev/null && fail "$name: left $(cd "$work" && echo kept.exe.*)"
done

grep -lF "$password" "$work"/*.log && fail "the password shows in sign-pe.sh's output (files above)"
if [ "$failures" = 0 ]; then
  echo "sign_pe_test: all checks passed (${#cases[@]} failure cases)"
else
  echo "sign_pe_test: $failures checks failed"
  exit 1
fi
