#!/usr/bin/env bash
# The main job, end to end: build, make a sample disc image with our own
# generator, install it silently under Wine with the Android package, show
# what the install left, check the package with apksigner, start the
# installed game, then uninstall it quietly and show what is left.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh
bash tools/setup-machine.sh
tf_build native discgen
tf_build windows
source tools/wine-session.sh
trap wine_session_end EXIT
# The real 32-bit programs of dist/, in the prefix of the x86 tier.
wine_session_start x86

demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"
echo "== sample disc image"
build/native/bin/discgen --seed 7 "$demo/Tarnfell.iso"
folder='C:\Games\Tarnfell'
rm -rf "$WINEPREFIX/drive_c/Games/Tarnfell"
cp dist/tf_setup.exe "$demo/tf_setup.exe"
image=$(tf_win_path "$demo/Tarnfell.iso")
echo "== wine tf_setup.exe /silent $image $folder /android"
set +e
tools/wine-run.sh x86 "$demo/tf_setup.exe" /silent "$image" "$folder" /android
rc=$?
set -e
echo "exit code: $rc"
echo "== log ($demo/tf_setup.exe.log)"
cat "$demo/tf_setup.exe.log"; echo
echo "== installed files"
(cd "$WINEPREFIX/drive_c/Games/Tarnfell" && find . -maxdepth 2 | sort | head -40 && echo "... $(find . -type f | wc -l) files")
[ "$rc" = 0 ] || exit $rc
echo "== tarnfell.ini"
cat "$WINEPREFIX/drive_c/Games/Tarnfell/tarnfell.ini"
echo "== apksigner verify --min-sdk-version 26 Android\\Tarnfell.apk"
apksigner verify -v --min-sdk-version 26 "$WINEPREFIX/drive_c/Games/Tarnfell/Android/Tarnfell.apk" | sed -n 1,2p
echo "== play: wine C:\\Games\\Tarnfell\\Tarnfell.exe (from its folder)"
set +e
(cd "$WINEPREFIX/drive_c/Games/Tarnfell" && "$TF_ROOT/tools/wine-run.sh" x86 ./Tarnfell.exe)
rc=$?
set -e
echo "game exit code: $rc"

game="$WINEPREFIX/drive_c/Games/Tarnfell"
echo "== uninstall: wine C:\\Games\\Tarnfell\\uninstall.exe /uninstall /quiet"
set +e
tools/wine-run.sh x86 'C:\Games\Tarnfell\uninstall.exe' /uninstall /quiet
urc=$?
set -e
echo "exit code: $urc"
echo "== waiting for the delayed clean-up (uninstall.exe and the emptied folder)"
for _ in $(seq 600); do
  [ -e "$game/uninstall.exe" ] || break
  sleep 1
done
sleep 2
echo "== what is left of C:\\Games\\Tarnfell"
if [ -e "$game" ]; then (cd "$game" && find . -mindepth 1 | sort); else echo "nothing: the folder is gone"; fi
user_folder="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tarnfell"
echo "== kept: %LOCALAPPDATA%\\Tarnfell (settings and the Android signing key; a quiet uninstall keeps them)"
ls "$user_folder" 2>/dev/null || echo "(none)"
echo "== uninstall log (%TEMP%\\tf_uninstall.log)"
cat "$WINEPREFIX/drive_c/users/$(id -un)/Temp/tf_uninstall.log" 2>/dev/null || echo "(none)"
[ "$rc" = 0 ] || exit $rc
exit $urc
