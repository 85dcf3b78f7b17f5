#!/usr/bin/env bash
# Extraction and the whole silent install against the platform's own file
# copy, on the same disk, in one run: (a) ExtractFiles of a >= 2 GiB game
# selection, (b) CopyFileW of one file of the same size, (c) tf_setup /silent
# of the same image (without /android), timed step by step from its log, in
# alternating rounds. Prints the extraction's throughput as a share of the
# copy's (target: at least 90%) and the whole install's time as a multiple of
# the copy's (target: at most 1.3), both from the best times and as the median
# of the rounds' own figures, the time of each install step, the per-file part
# of the extraction, and tf_setup's peak working set during the installs
# (target < 32 MiB). Everything runs in the 64-bit build under Wine's native
# 64-bit loader, so no emulator is timed or counted; baseline and subject have
# the same width. Wine's desktop is kept up through the rounds; tf_setup's
# start-up without it is timed apart.
#   tools/bench-extract.sh [SIZE]    (default 2G)
#   ROUNDS=n (default 5); COLD=1 drops the page cache before every timed run
#   (root only) instead of reading both sources from it; SETTLE=s (default 20)
#   the wait before every timed run (below).
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-2G}
rounds=${ROUNDS:-5}
source tools/bench-stats.sh
source tools/lib.sh
[ -z "$(tf_missing_packages --fast)" ] || bash tools/setup-machine.sh --fast
tf_build native discgen >/dev/null
tf_build windows >/dev/null
tf_build windows64 extract_bench tf_setup >/dev/null
work=$(pwd -P)/build/bench-extract
source tools/wine-session.sh
trap 'wine_session_end; rm -rf "$work"' EXIT
wine_session_start fast
run() { tools/wine-run.sh fast "$@"; }
rm -rf "$work" && mkdir -p "$work"
bench=build/windows64/bin/extract_bench.exe
setup=$(tf_win_path "$(pwd -P)/build/windows64/bin/tf_setup.exe")
# tf_setup's start-up while Wine has no desktop running (it starts one, and
# ends it about four seconds after the last program): a run that stops at
# once on an image that is not there, three times, far enough apart.
colds=""
for k in 1 2 3; do
  sleep 6
  s=$(run $bench install "$setup" "$(tf_win_path "$work/missing.iso")" "$(tf_win_path "$work/install")" | tr -d '\r' || true)
  colds="$colds $(sed -n 's/^steps start=\([0-9.]*\).*/\1/p' <<<"$s")"
done
# From here on Wine's desktop stays up, as Windows' always is (ended with the session).
run $bench desktop &
build/native/bin/discgen --total-bytes "$size" --seed 3 "$work/big.iso" 2>&1 | tail -1
bytes=$(run $bench layout "$(tf_win_path "$work/big.iso")" "$(tf_win_path "$work/out")" >/dev/null &&
        run $bench extract "$(tf_win_path "$work/big.iso")" "$(tf_win_path "$work/out")" | awk '{print $2}')
rm -rf "$work/out"
head -c "$bytes" "$work/big.iso" >"$work/same-size.bin"  # the copy's source: as many bytes of the same kind

# A virtual machine may hand freed memory back to its host after a while (free
# page reporting), and the page cache then costs a fault in the host for every
# page it takes again. On the bench machine dd wrote 1.8 GB into the page cache
# in 0.35 s right after as much had been deleted, in 0.9 s one second later and
# in 2.1 to 2.4 s from fifteen seconds on. Every timed run deletes what it
# wrote, so each first waits until that has settled: without the wait a run
# that begins writing a second later (the install's extraction, behind its
# start-up and the retail note's pause) pays far more for the same bytes than
# one that writes at once (ExtractFiles alone, the copy).
settle=${SETTLE:-20}
if [ "${COLD:-0}" = 1 ]; then
  echo "page cache: dropped before every timed run, after a wait of $settle s"
  prepare() { sleep "$settle"; sync; echo 3 >/proc/sys/vm/drop_caches || { echo "COLD=1 needs root" >&2; exit 1; }; }
else
  echo "page cache: both sources read from it (warmed before every timed run, after a wait of $settle s)"
  prepare() { sleep "$settle"; cat "$1" >/dev/null; sync; }
fi
extracts="" copies="" shares="" ecpu="" ccpu="" installs="" ratios="" rests="" others="" peaks="" insides=""
declare -A steps
timed_extract() {
  rm -rf "$work/out"; prepare "$work/big.iso"
  local a; a=$(run $bench extract "$(tf_win_path "$work/big.iso")" "$(tf_win_path "$work/out")"); echo "$a  [$(bench_load)]"
  extracts="$extracts $(cut -d' ' -f3 <<<"$a")"; ecpu="$ecpu $(cut -d' ' -f5 <<<"$a")"; last_extract=$(cut -d' ' -f3 <<<"$a")
  rm -rf "$work/out"
}
timed_copy() {
  rm -f "$work/copy.bin"; prepare "$work/same-size.bin"
  local b; b=$(run $bench copy "$(tf_win_path "$work/same-size.bin")" "$(tf_win_path "$work/copy.bin")"); echo "$b  [$(bench_load)]"
  copies="$copies $(cut -d' ' -f3 <<<"$b")"; ccpu="$ccpu $(cut -d' ' -f5 <<<"$b")"; last_copy=$(cut -d' ' -f3 <<<"$b")
  rm -f "$work/copy.bin"
}
# The real tf_setup (64-bit build) into a new folder; its log's lines time the steps.
timed_install() {
  rm -rf "$work/install"; prepare "$work/big.iso"
  local c; c=$(run $bench install "$setup" "$(tf_win_path "$work/big.iso")" "$(tf_win_path "$work/install")" | tr -d '\r' || true)
  echo "$c  [$(bench_load)]" | tr '\n' ' '; echo
  local first; first=$(head -1 <<<"$c")
  [ "$(cut -d' ' -f2 <<<"$first")" = 0 ] || { echo "the install failed" >&2; exit 1; }
  installs="$installs $(cut -d' ' -f3 <<<"$first")"; peaks="$peaks $(cut -d' ' -f5 <<<"$first")"
  last_install=$(cut -d' ' -f3 <<<"$first")
  last_note=$(sed -n 's/^steps.* note=\([0-9.]*\).*/\1/p' <<<"$c")
  local copying; copying=$(sed -n 's/^steps.* extract=\([0-9.]*\).*/\1/p' <<<"$c")
  last_inside=$copying
  others="$others $(awk -v i="$last_install" -v n="$last_note" -v x="$copying" 'BEGIN { print i - n - x }')"
  local kv; for kv in $(sed -n 's/^steps //p' <<<"$c"); do steps[${kv%%=*}]="${steps[${kv%%=*}]:-} ${kv#*=}"; done
  rm -rf "$work/install"
}
# Each run deletes what it wrote and the next waits (prepare): how much of
# earlier output the page cache holds, and how long ago the memory of the last
# output was freed, change the cost of writing here by up to a factor of six,
# so every run begins from the same state.
busy=0
echo "rounds: $rounds, each its own order of extraction, copy and install; $(bench_load)"
for round in $(seq "$rounds"); do
  bench_busy && busy=$((busy + 1))
  case $((round % 3)) in
    1) timed_extract; timed_copy; timed_install ;;
    2) timed_copy; timed_install; timed_extract ;;
    0) timed_install; timed_extract; timed_copy ;;
  esac
  shares="$shares $(awk -v e="$last_extract" -v c="$last_copy" 'BEGIN { print 100 * c / e }')"
  ratios="$ratios $(awk -v i="$last_install" -v c="$last_copy" 'BEGIN { print i / c }')"
  rests="$rests $(awk -v i="$last_install" -v n="$last_note" -v c="$last_copy" 'BEGIN { print (i - n) / c }')"
  insides="$insides $(awk -v i="$last_inside" -v e="$last_extract" 'BEGIN { print i / e }')"
done
rm -rf "$work/out" "$work/copy.bin" "$work/same-size.bin" "$work/install"

layouts=""
for k in 1 2 3; do
  rm -rf "$work/out"; sync
  l=$(run $bench layout "$(tf_win_path "$work/big.iso")" "$(tf_win_path "$work/out")"); echo "$l  [$(bench_load)]"
  layouts="$layouts $(cut -d' ' -f3 <<<"$l")"; files=$(cut -d' ' -f7 <<<"$l")
done
rm -rf "$work/out"

echo "tf_setup's start-up with no Wine desktop running: best $(bench_best "$colds") s, median $(bench_median "$colds") s (3 runs)"
echo "install steps (from tf_setup's log lines; Wine's desktop up), best / median of $rounds installs:"
for step in start open note extract payload arenas shortcuts register exit; do
  printf '  %-9s %7.3f s / %7.3f s\n' "$step" "$(bench_best "${steps[$step]}")" "$(bench_median "${steps[$step]}")"
done
e=$(bench_best "$extracts") c=$(bench_best "$copies")
awk -v bytes="$bytes" -v e="$e" -v c="$c" -v em="$(bench_median "$extracts")" -v cm="$(bench_median "$copies")" \
    -v sm="$(bench_median "$shares")" -v ec="$(bench_median "$ecpu")" -v cc="$(bench_median "$ccpu")" \
    -v l="$(bench_median "$layouts")" -v files="$files" -v n="$rounds" \
    -v i="$(bench_best "$installs")" -v im="$(bench_median "$installs")" -v rm="$(bench_median "$ratios")" \
    -v rn="$(bench_median "$rests")" -v note="$(bench_median "${steps[note]}")" -v o="$(bench_median "$others")" \
    -v xb="$(bench_best "${steps[extract]}")" -v xm="$(bench_median "${steps[extract]}")" -v xr="$(bench_median "$insides")" \
    -v pmax="$(tr ' ' '\n' <<<"$peaks" | grep . | sort -g | tail -1)" -v pmed="$(bench_median "$peaks")" 'BEGIN {
  mib = 1048576;
  printf "extract %.0f MiB: best %.3f s (%.1f MiB/s), median %.3f s, median CPU %.3f s\n", bytes / mib, e, bytes / e / mib, em, ec;
  printf "CopyFileW of one file of as many bytes: best %.3f s (%.1f MiB/s), median %.3f s, median CPU %.3f s\n", c, bytes / c / mib, cm, cc;
  printf "extraction at %.1f%% of the copy from the best times, %.1f%% as the median of %d rounds (target >= 90%%)\n", 100 * c / e, sm, n;
  printf "the extraction inside the install: best %.3f s, median %.3f s; %.2f times ExtractFiles alone from the medians, %.2f as the median of %d rounds (target <= 1.1)\n", xb, xm, xm / em, xr, n;
  printf "whole silent install: best %.3f s, median %.3f s; %.2f times the copy from the best times, %.2f as the median of %d rounds (target <= 1.3)\n", i, im, i / c, rm, n;
  printf "the same without the retail note'"'"'s pause (%.3f s median; every image that is not a retail disc waits it): %.2f times the copy from the best times, %.2f as the median\n", note, (i - note) / c, rn;
  printf "the install besides its extraction and that pause: %.3f s median, %.2f of the copy'"'"'s median time\n", o, o / cm;
  printf "per-file part: %d folders and empty files in %.3f s (median), %.1f%% of the best extraction\n", files, l, 100 * l / e;
  printf "tf_setup peak working set: %.1f MiB the largest, %.1f MiB the median of the installs (target < 32 MiB)\n", pmax / mib, pmed / mib;
}'
echo "$(bench_load) at the end; rounds begun with the load above the core count: $busy of $rounds"
[ "$busy" = 0 ] || echo "note: the machine was busy; the figures carry its load (run again when it is quiet)"
