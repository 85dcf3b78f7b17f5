#!/usr/bin/env bash
# Builds everything and runs the tests in one CTest summary:
#   native  byte-format tests under the sanitizers, fuzz corpus replays;
#   fast    every Win32 test, built for x86-64 and run by Wine's 64-bit loader;
#   x86     the real 32-bit programs of dist/ end to end.
# The full run also builds the deliverables a second time in another folder
# and compares them byte for byte (tools/check-reproducible.sh), and checks a
# signed release made with a throwaway key (tools/check-signing.sh).
# run-tests.sh          all three tiers (what CI runs)
# run-tests.sh --fast   native and fast only: the developer's loop (minutes)
# Further arguments go to ctest (for example -R silent_install).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh
tiers=(fast x86)
label=""
setup=()
if [ "${1:-}" = --fast ]; then
  shift
  tiers=(fast)
  label="native|fast"
  setup=(--fast)
fi
# The developer's loop starts the root-only machine set-up only when a package is missing.
if [ -z "$label" ] || [ -n "$(tf_missing_packages --fast)" ]; then
  bash tools/setup-machine.sh "${setup[@]}"
fi
step() { local s=$SECONDS rc=0; "$@" || rc=$?; echo "run-tests: '$*' took $((SECONDS - s)) s"; return $rc; }
export -f step
# Jobs beside the main line run in process groups of their own, so that an
# early exit ends each with everything it started.
side_jobs=()
end_side_jobs() { local g; for g in "${side_jobs[@]}"; do kill -- -"$g" 2>/dev/null || true; done; side_jobs=(); return 0; }
side_job_done() { local g kept=(); for g in "${side_jobs[@]}"; do [ "$g" = "$1" ] || kept+=("$g"); done; side_jobs=("${kept[@]}"); }
trap end_side_jobs EXIT
# Making the x86 prefix runs emulated programs for minutes: it runs beside the
# builds (the session below waits for it).
prefix_job=""
if [[ " ${tiers[*]} " == *" x86 "* ]]; then
  mkdir -p build
  ( source tools/wine-env.sh && tf_wine_env x86 && tf_wine_prefix_ensure ) >build/x86-prefix.log 2>&1 &
  prefix_job=$!
fi
mkdir -p build
# The native build needs nothing from the Windows builds: it runs beside them
# and keeps both cores busy through their serial stretches (configuring, the
# resource scripts, the last links).
setsid bash -c 'source tools/lib.sh && step tf_build native' >build/native-build.log 2>&1 &
native_job=$!
side_jobs+=("$native_job")
step tf_build windows
# The deliverables built a second time in another folder must come out byte
# for byte the same; then that copy, signed with a throwaway key, and a third
# build, signed in another folder, must too (tools/check-signing.sh). These
# builds run beside the rest at the lowest priority, taking what the builds
# and tests leave idle.
rebuild_job=""
if [ -z "$label" ]; then
  setsid nice -n 19 bash -c 'rc=0
    bash tools/check-reproducible.sh >build/reproducible.log 2>&1 || rc=1
    bash tools/check-signing.sh build build/rebuild/tarnfell >build/signing.log 2>&1 || rc=1
    exit $rc' &
  rebuild_job=$!
  side_jobs+=("$rebuild_job")
fi
step tf_build windows64
native_status=0
wait "$native_job" || native_status=$?
side_job_done "$native_job"
cat build/native-build.log
if [ "$native_status" != 0 ]; then
  echo "run-tests: the native build failed" >&2
  exit 1
fi
if [ -n "$prefix_job" ]; then
  wait "$prefix_job" || true
  cat build/x86-prefix.log
fi
source tools/wine-session.sh
trap 'wine_session_end; end_side_jobs' EXIT
step wine_session_start "${tiers[@]}"
args=(--test-dir build/windows64 --output-on-failure -j2)
[ -n "$label" ] && args+=(-L "$label")
status=0
step ctest "${args[@]}" "$@" || status=$?
if [ -n "$rebuild_job" ]; then
  s=$SECONDS
  wait "$rebuild_job" || status=1
  side_job_done "$rebuild_job"
  cat build/reproducible.log build/signing.log
  echo "run-tests: waited $((SECONDS - s)) s for the second build of the deliverables and the signed builds"
  # The signed installer in the x86 tier's prefix, now that its tests are done.
  step bash tools/check-signing.sh install || status=1
fi
exit $status
