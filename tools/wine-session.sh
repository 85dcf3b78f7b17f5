# Sourced by the test, demo and benchmark scripts:
#   wine_session_start TIER...   a virtual display of this run's own, and for
#                                each tier (fast, x86) its prefix and one
#                                wineserver kept alive for the whole run
#   wine_session_end             stops what wine_session_start started
# Afterwards DISPLAY names the display; tools/wine-run.sh TIER runs programs.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
_tf_xvfb_pid=""
_tf_session_tiers=()

# Xvfb picks a free display number itself (-displayfd), so runs never share one.
_tf_start_display() {
  local fifo out
  out=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out" >/dev/null 2>&1 &
  _tf_xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$out" ] && break
    kill -0 "$_tf_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$out" ]; then
    rm -f "$out"
    echo "wine: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(tr -dc 0-9 <"$out")"
  rm -f "$out"
  echo "wine: display $DISPLAY"
}

wine_session_start() {
  [ $# -gt 0 ] || set -- fast
  if [ -n "${TF_DISPLAY:-}" ]; then export DISPLAY=$TF_DISPLAY; else _tf_start_display || return 1; fi
  local tier
  for tier in "$@"; do
    ( tf_wine_env "$tier" && tf_wine_prefix_ensure ) || return 1
    tf_wine_env "$tier"
    # "wineserver -p" exits non-zero when a server already runs on the prefix: that one is used.
    "$TF_WINESERVER" -p 2>/dev/null || echo "wine: using the wineserver already running on $WINEPREFIX"
    # Wine's services start with the first program: start them now, away from any caller's pipes.
    "$TF_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
    _tf_session_tiers+=("$tier")
  done
}

wine_session_end() {
  local tier
  for tier in "${_tf_session_tiers[@]}"; do
    ( tf_wine_env "$tier" && "$TF_WINESERVER" -k >/dev/null 2>&1 ) || true
  done
  _tf_session_tiers=()
  [ -n "$_tf_xvfb_pid" ] && kill "$_tf_xvfb_pid" 2>/dev/null
  _tf_xvfb_pid=""
  return 0
}
