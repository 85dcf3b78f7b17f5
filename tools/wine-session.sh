#!/usr/bin/env bash
# Sourced by the test and demo scripts: a virtual display, the build's private
# Wine prefix (created once) and one wineserver kept alive for the whole run.
# Call wine_session_end when done.
TF_ROOT=${TF_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${TF_WINEPREFIX:-$TF_ROOT/build/wineprefix}
export WINEDEBUG=-all
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DISPLAY=${TF_DISPLAY:-:97}
_tf_xvfb_pid=""

wine_session_start() {
  if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    _tf_xvfb_pid=$!
    for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.2; done
  fi
  mkdir -p "$TF_ROOT/build" "$WINEPREFIX"
  # One persistent server for the whole run, started before anything else so
  # that the services the prefix's creation starts stay up for the tests.
  # "wineserver -p" exits 2 when a server already runs on this prefix (an
  # earlier session's): that one is used.
  wineserver -p 2>/dev/null || echo "wine: using the wineserver already running on $WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX (takes a few minutes the first time)"
    wineboot -i >/dev/null 2>&1 </dev/null || true
  fi
  # Start Wine's services now, away from any caller's pipes.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

wine_session_end() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$_tf_xvfb_pid" ] && kill "$_tf_xvfb_pid" 2>/dev/null || true
}
