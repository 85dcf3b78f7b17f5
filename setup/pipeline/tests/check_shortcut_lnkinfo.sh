#!/usr/bin/env bash
# check_shortcut_lnkinfo.sh LINK: reads the link file that the shortcut test
# wrote with lnkinfo (liblnk, a reader of its own) and checks what it holds.
set -u
link=$1
out=$(lnkinfo "$link" 2>&1) || { echo "lnkinfo could not read $link:"; echo "$out"; exit 1; }
fail=0
field() { printf '%s\n' "$out" | sed -n "s/^\t$1\t*: //p"; }
expect() {
  local got
  got=$(field "$1")
  if [ "$got" != "$2" ]; then
    echo "$1: '$got', expected '$2'"
    fail=1
  fi
}
expect "Local path" 'C:\Games\Tarnfell\Tarnfell.exe'
expect "Working directory" 'C:\Games\Tarnfell'
expect "Description" 'Tarnfell'
expect "Icon location" 'C:\Games\Tarnfell\Tarnfell.exe'
expect "Icon index" '0'
if printf '%s\n' "$out" | grep -q "command line arguments"; then
  echo "the link has arguments"
  fail=1
fi
[ "$fail" = 0 ] || { echo "--- lnkinfo $link"; echo "$out"; exit 1; }
echo "lnkinfo: $link holds the target, working folder, description and icon"
