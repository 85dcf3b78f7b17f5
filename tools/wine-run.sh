#!/usr/bin/env bash
# wine-run.sh TIER PROGRAM [ARGS...]: runs a Windows program in a tier's prefix
# (tools/wine-env.sh), as CTest and the scripts do. Output goes through a file:
# Wine's background services, started by a first program, would otherwise keep
# the caller's pipe (CTest's) open forever.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
[ $# -ge 2 ] || { echo "usage: wine-run.sh fast|x86 PROGRAM [ARGS...]" >&2; exit 2; }
tf_wine_env "$1" || exit 2
shift
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: no X display; run through tools/run-tests.sh, or start a session (tools/wine-session.sh)" >&2
  exit 2
fi
if [ ! -f "$(tf_wine_ready_marker)" ]; then
  echo "wine-run: the $TF_WINE_TIER prefix $WINEPREFIX is not ready; run through tools/run-tests.sh or wine_session_start $TF_WINE_TIER" >&2
  exit 2
fi
out=$(mktemp)
"$TF_WINE" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
