#!/usr/bin/env bash
# Screenshots of the install dialog for the README, into docs/: before an
# install, during the copy and at "Play now?". They are taken under Xvfb from
# the 64-bit test build's tf_setup (the dialog's code and resources are those
# of dist/tf_setup.exe), driven by tools/screenshots/dialog_screenshots.cpp
# through window messages; the install goes to the fast prefix's
# C:\Program Files (x86)\Tarnfell and is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null && cmake --build --preset native --target discgen
cmake --preset windows >/dev/null && cmake --build --preset windows
cmake --preset windows64 >/dev/null && cmake --build --preset windows64 --target tf_setup dialog_screenshots
source tools/wine-session.sh
trap wine_session_end EXIT
wine_session_start fast

work=build/screenshots
rm -rf "$work" && mkdir -p "$work/markers" docs
build/native/bin/discgen --seed 7 --total-bytes 256M "$work/Tarnfell.iso" 2>/dev/null
win() { echo "Z:$(cd "$(dirname "$1")" && pwd -P | tr / '\\')\\$(basename "$1")"; }

tools/wine-run.sh fast build/windows64/bin/dialog_screenshots.exe "$(win build/windows64/bin/tf_setup.exe)" \
  "$(win "$work/Tarnfell.iso")" 'C:\Program Files (x86)\Tarnfell' "$(win "$work/markers")" &
driver=$!

# shot MOMENT TITLE PNG: the window of that title when the driver is ready.
shot() {
  local ready="$work/markers/$1.ready" id=""
  for _ in $(seq 1200); do
    [ -f "$ready" ] && break
    kill -0 "$driver" 2>/dev/null || { echo "screenshots: the driver ended before '$1'" >&2; return 1; }
    sleep 0.1
  done
  [ -f "$ready" ] || { echo "screenshots: no '$1' moment" >&2; return 1; }
  id=$(xwininfo -root -tree | grep -F "\"$2\":" | awk '{print $1; exit}')
  [ -n "$id" ] || { echo "screenshots: no window titled '$2'" >&2; return 1; }
  import -window "$id" "$3"
  touch "$work/markers/$1.done"
  echo "screenshots: $3"
}
shot before "Install Tarnfell" docs/install-dialog.png
shot during "Install Tarnfell" docs/install-dialog-installing.png
shot done Tarnfell docs/install-dialog-done.png
wait "$driver"
