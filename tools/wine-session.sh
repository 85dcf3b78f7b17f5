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
  mkdir -p "$TF_ROOT/build"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX (takes a few minutes the first time)"
    wineboot -i >/dev/null 2>&1 || true
    # wineboot returns once the prefix is set up; its helpers may linger.
    timeout 120 wineserver -w || true
  fi
  # A server left running (by the prefix's creation, or by another run on this
  # prefix) makes "wineserver -p" exit 2: stop it and start a persistent one.
  if ! wineserver -p 2>/dev/null; then
    wineserver -k 2>/dev/null || true
    timeout 60 wineserver -w 2>/dev/null || true
    wineserver -p
  fi
  # Start Wine's services now, away from any caller's pipes.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

wine_session_end() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$_tf_xvfb_pid" ] && kill "$_tf_xvfb_pid" 2>/dev/null || true
}
