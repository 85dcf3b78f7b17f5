#!/usr/bin/env bash
# The pictures of tf_setup's dialogs in docs/, at each DPI asked for (default
# 96, 144 and 192): the install dialog before an install, during the copy and
# at "Play now?", and dialog 220 of that install's uninstall.exe.
#   tools/screenshots.sh [DPI...]
# Pictures at 96 DPI are docs/NAME.png, the others docs/NAME-<dpi>dpi.png.
# They are taken under Xvfb from the 64-bit test build's tf_setup (the dialog
# code and resources of dist/tf_setup.exe), driven by
# tools/screenshots/dialog_screenshots.cpp through window messages, in a Wine
# prefix of their own (build/wineprefix-screenshots): its drive D: is the
# folder of the sample disc image, so the pictures show D:\Tarnfell.iso, and
# its LogPixels value sets the DPI. The install goes to
# C:\Program Files (x86)\Tarnfell and is uninstalled again.
set -euo pipefail
cd "$(dirname "$0")/.."
dpis=("$@")
[ ${#dpis[@]} -gt 0 ] || dpis=(96 144 192)
for dpi in "${dpis[@]}"; do
  case $dpi in
    '' | *[!0-9]*) echo "usage: tools/screenshots.sh [DPI...]   (for example 96 144 192)" >&2; exit 2 ;;
  esac
done

source tools/lib.sh
tf_build native discgen
tf_build windows
tf_build windows64 tf_setup dialog_screenshots

export TF_WINEPREFIX_FAST=$PWD/build/wineprefix-screenshots
source tools/wine-session.sh
trap wine_session_end EXIT
wine_session_start fast

work=build/screenshots
rm -rf "$work" && mkdir -p "$work/disc" docs
build/native/bin/discgen --seed 7 --total-bytes 256M "$work/disc/Tarnfell.iso" 2>/dev/null
ln -sfn "$(cd "$work/disc" && pwd -P)" "$WINEPREFIX/dosdevices/d:"

# shot MOMENT TITLE PNG: the window of that title once the driver is ready.
shot() {
  local ready="$markers/$1.ready" id=""
  for _ in $(seq 1200); do
    [ -f "$ready" ] && break
    kill -0 "$driver" 2>/dev/null || { echo "screenshots: the driver ended before '$1'" >&2; return 1; }
    sleep 0.1
  done
  [ -f "$ready" ] || { echo "screenshots: no '$1' moment" >&2; return 1; }
  id=$(xwininfo -root -tree | grep -F "\"$2\":" | awk '{print $1; exit}')
  [ -n "$id" ] || { echo "screenshots: no window titled '$2'" >&2; return 1; }
  import -window "$id" -strip "$3"
  touch "$markers/$1.done"
  echo "screenshots: $3 ($(identify -format '%wx%h' "$3"))"
}

for dpi in "${dpis[@]}"; do
  suffix=""
  [ "$dpi" = 96 ] || suffix="-${dpi}dpi"
  "$TF_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  markers=$work/markers-$dpi
  mkdir -p "$markers"
  tools/wine-run.sh fast build/windows64/bin/dialog_screenshots.exe "$(tf_win_path build/windows64/bin/tf_setup.exe)" \
    'D:\Tarnfell.iso' 'C:\Program Files (x86)\Tarnfell' "$(tf_win_path "$markers")" &
  driver=$!
  shot before "Install Tarnfell" "docs/install-dialog$suffix.png"
  shot during "Install Tarnfell" "docs/install-dialog-installing$suffix.png"
  shot done Tarnfell "docs/install-dialog-done$suffix.png"
  shot uninstall "Uninstall Tarnfell" "docs/uninstall-dialog$suffix.png"
  wait "$driver"
done
