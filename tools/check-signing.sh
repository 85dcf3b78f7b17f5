#!/usr/bin/env bash
# The signed release, with a throwaway key (tools/release/make_test_key.sh)
# and one signing time:
#   check-signing.sh build [TREE]
#       two signed builds of the deliverables (the windows preset): TREE, a
#       built copy of this tree such as tools/check-reproducible.sh leaves,
#       configured again with the key (the password in TF_SIGN_PASSWORD), or
#       else a new copy; and a new copy in build/signing/second (the password
#       in a file, another time zone, umask and locale). Their dist/ files are
#       the same byte for byte, osslsigncode verify accepts both programs of
#       each, sha256sum -c their SHA256SUMS, and the password shows nowhere in
#       their build folders, dist/ or logs.
#   check-signing.sh install
#       in the x86 tier's Wine session (tools/wine-session.sh), after `build`:
#       the signed tf_setup.exe installs a sample disc silently; the
#       Tarnfell.exe and uninstall.exe it wrote verify, the first is the signed
#       loader byte for byte; the quiet uninstall then removes the folder.
# Exit code 1 names what failed.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh
root=$PWD
work=$root/build/signing
key=$work/key
second=$work/second/tarnfell

fail() { echo "check-signing: FAILED: $*"; exit 1; }

verify() {  # FILE...: osslsigncode verify, trusting the throwaway certificate
  local f
  for f in "$@"; do
    osslsigncode verify -CAfile "$key/cert.pem" -in "$f" >"$work/verify.log" 2>&1 ||
      { cat "$work/verify.log"; fail "osslsigncode verify refuses $f"; }
    echo "check-signing: osslsigncode verify accepts $f ($(sed -n 's/^[[:space:]]*Signing time: //p' "$work/verify.log"))"
  done
}

signed_build() {  # TREE LOG env|file: the windows preset in TREE, signed
  local tree=$1 log=$2 how=$3 start=$SECONDS
  local payload_dir
  payload_dir=$(tf_payload_dir)
  (
    cd "$tree"
    if [ "$how" = env ]; then
      export TF_SIGN_PASSWORD
      TF_SIGN_PASSWORD=$(cat "$key/password")
      password_file=""
    else
      unset TF_SIGN_PASSWORD
      umask 077
      export TZ=NPT-5:45 LC_ALL=C.UTF-8
      password_file=$key/password
    fi
    tf_build windows "-DTF_PAYLOAD_DIR=$payload_dir" "-DTF_SIGN_PFX=$key/sign.pfx" \
      "-DTF_SIGN_PASSWORD_FILE=$password_file" -DTF_SIGN_TIMESTAMP_URL=
  ) >"$log" 2>&1 || { tail -30 "$log"; fail "the signed build in $tree failed (log: $log)"; }
  echo "check-signing: signed build in $tree (password from $how) took $((SECONDS - start)) s"
}

build() {
  local first
  rm -rf "$work/second" "$work/install"
  mkdir -p "$work"
  bash tools/release/make_test_key.sh "$key"
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 1700000000)
  export SOURCE_DATE_EPOCH
  echo "check-signing: throwaway key $key/sign.pfx, signing time $SOURCE_DATE_EPOCH"
  if [ -n "${1:-}" ]; then
    first=$(cd "$1" && pwd)
  else
    first=$work/first/tarnfell
    tf_copy_tree "$first"
  fi
  signed_build "$first" "$work/first.log" env
  tf_copy_tree "$second"
  signed_build "$second" "$work/second.log" file

  local name differing=()
  for name in $( (cd "$first/dist" && ls; cd "$second/dist" && ls) | LC_ALL=C sort -u); do
    cmp -s "$first/dist/$name" "$second/dist/$name" || differing+=("$name")
  done
  [ ${#differing[@]} = 0 ] || fail "the two signed builds differ in dist/: ${differing[*]}"
  echo "check-signing: both signed builds made the same dist/: $(cd "$second/dist" && echo *)"
  verify "$first/dist/tf_setup.exe" "$first/dist/tf_loader.exe" "$second/dist/tf_setup.exe" "$second/dist/tf_loader.exe"
  bash tools/release/check_sums.sh "$second/dist" || fail "sha256sum -c refuses $second/dist/SHA256SUMS"
  local leaks
  leaks=$(grep -rlF "$(cat "$key/password")" "$first/build/windows" "$first/dist" "$second/build/windows" \
            "$second/dist" "$work/first.log" "$work/second.log" || true)
  [ -z "$leaks" ] || fail "the key's password shows in: $leaks"
  echo "check-signing: the password shows in no build folder, dist/ or log"
}

install() {
  source tools/wine-env.sh
  tf_wine_env x86
  local setup=$second/dist/tf_setup.exe here=$work/install
  [ -f "$setup" ] || fail "$setup is missing: run check-signing.sh build first"
  rm -rf "$here"
  mkdir -p "$here"
  build/native/bin/discgen --seed 5 "$here/Tarnfell.iso" 2>/dev/null || fail "discgen could not write a disc image"
  cp "$setup" "$here/tf_setup.exe"
  local folder='C:\TarnfellSigned' unix=$WINEPREFIX/drive_c/TarnfellSigned
  local image
  image=$(tf_win_path "$here/Tarnfell.iso")
  rm -rf "$unix"
  local rc=0 start=$SECONDS
  tools/wine-run.sh x86 "$here/tf_setup.exe" /silent "$image" "$folder" >"$here/wine.log" 2>&1 || rc=$?
  [ "$rc" = 0 ] || { cat "$here/wine.log" "$here/tf_setup.exe.log"; fail "the signed tf_setup.exe /silent ended with exit code $rc"; }
  tail -1 "$here/tf_setup.exe.log" | grep -q 'Done\.' || fail "the install log does not end with Done."
  echo "check-signing: the signed tf_setup.exe installed $image into $folder in $((SECONDS - start)) s"
  verify "$unix/Tarnfell.exe" "$unix/uninstall.exe"
  cmp -s "$unix/Tarnfell.exe" "$second/dist/tf_loader.exe" || fail "the installed Tarnfell.exe is not the signed dist/tf_loader.exe"
  cmp -s "$unix/uninstall.exe" "$setup" || fail "the installed uninstall.exe is not the signed dist/tf_setup.exe"
  rc=0
  tools/wine-run.sh x86 "$folder\\uninstall.exe" /uninstall /quiet >>"$here/wine.log" 2>&1 || rc=$?
  [ "$rc" = 0 ] || fail "uninstall.exe /uninstall /quiet ended with exit code $rc"
  for _ in $(seq 60); do
    [ -e "$unix" ] || break
    sleep 1
  done
  [ ! -e "$unix" ] || fail "$unix is still there a minute after the quiet uninstall"
  echo "check-signing: its uninstall.exe removed $folder"
}

case "${1:-}" in
  build) shift; build "$@" ;;
  install) install ;;
  *) echo "usage: check-signing.sh build [TREE] | install" >&2; exit 2 ;;
esac
