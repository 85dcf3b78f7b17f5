#!/usr/bin/env bash
# Runs a Windows program under Wine with the build's private prefix.
# Output goes through a file: Wine's background services, started by the
# first program, would otherwise keep the caller's pipe (CTest's) open forever.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export DISPLAY=${DISPLAY:-:97}
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
