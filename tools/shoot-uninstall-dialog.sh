#!/usr/bin/env bash
# Takes docs/uninstall-dialog.png: dialog 220 of the 64-bit test build
# (build/windows64), started as uninstall.exe from a folder laid out like an
# install in the fast tier's Wine prefix, on this run's own Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/windows64/bin/tf_setup.exe
[ -f "$program" ] || { echo "build the windows64 preset first" >&2; exit 1; }
source tools/wine-session.sh
folder=""
pid=""
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  "$TF_WINE" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
  if [ -n "$folder" ]; then
    rm -rf "$folder"
    rmdir "$(dirname "$folder")" 2>/dev/null || true
  fi
  wine_session_end
}
trap finish EXIT
wine_session_start fast
# Without a window manager on the display, Wine draws the caption and frame itself.
"$TF_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
folder="$WINEPREFIX/drive_c/Games/Tarnfell"
rm -rf "$folder" && mkdir -p "$folder"
touch "$folder/tf_hybrid.dll" "$folder/default.xbe"
cp "$program" "$folder/uninstall.exe"
"$TF_WINE" 'C:\Games\Tarnfell\uninstall.exe' </dev/null >/dev/null 2>&1 &
pid=$!
window=""
for _ in $(seq 150); do
  window=$(xwininfo -root -tree | awk '/"Uninstall Tarnfell"/ { print $1; exit }')
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "dialog 220 did not appear" >&2; exit 1; }
sleep 2  # painted
import -window "$window" docs/uninstall-dialog.png
echo "docs/uninstall-dialog.png: $(identify -format '%wx%h' docs/uninstall-dialog.png)"
