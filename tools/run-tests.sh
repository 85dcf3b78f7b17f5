#!/usr/bin/env bash
# Builds everything and runs every test: the native sanitizer build and the
# Windows build, whose CTest run also runs the native tests (one summary).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-machine.sh
cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset windows >/dev/null
cmake --build --preset windows
source tools/wine-session.sh
trap wine_session_end EXIT
wine_session_start
ctest --preset windows -j1 "$@"
