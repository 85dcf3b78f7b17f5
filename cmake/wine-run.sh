#!/usr/bin/env bash
# Runs a Windows program under Wine with the build's private prefix.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export DISPLAY=${DISPLAY:-:97}
exec wine "$@"
