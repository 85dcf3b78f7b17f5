#!/usr/bin/env bash
# Extraction speed against the platform's own file copy, on the same disk, in
# one run: (a) ExtractFiles of a >= 2 GiB game selection, (b) CopyFileW of a
# file of the same size. Prints the ratio of (b)'s throughput to (a)'s
# (target: at most 1/0.9, i.e. extraction reaches 90% of the copy) and
# tf_setup's peak working set during a whole silent install (target < 32 MiB).
# Everything runs in the 64-bit build under Wine's native 64-bit loader, so no
# emulator is timed or counted; baseline and subject have the same width.
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-2G}
bash tools/setup-machine.sh --fast
cmake --preset native >/dev/null && cmake --build --preset native --target discgen >/dev/null
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
cmake --preset windows64 >/dev/null && cmake --build --preset windows64 --target extract_bench tf_setup >/dev/null
work=$(pwd -P)/build/bench-extract
source tools/wine-session.sh
trap 'wine_session_end; rm -rf "$work"' EXIT
wine_session_start fast
run() { tools/wine-run.sh fast "$@"; }
rm -rf "$work" && mkdir -p "$work"
win() { echo "Z:$(echo "$1" | tr / '\\')"; }
build/native/bin/discgen --total-bytes "$size" --seed 3 "$work/big.iso" 2>&1 | tail -1
drop() { sync; echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true; }
bench=build/windows64/bin/extract_bench.exe
drop
a=$(run $bench extract "$(win "$work/big.iso")" "$(win "$work/out")")
echo "$a"
bytes=$(echo "$a" | awk '{print $2}')
rm -rf "$work/out"
head -c "$bytes" /dev/urandom > "$work/same-size.bin"
drop
b=$(run $bench copy "$(win "$work/same-size.bin")" "$(win "$work/copy.bin")")
echo "$b"
rm -f "$work/copy.bin" "$work/same-size.bin"
drop
c=$(run $bench install "$(win "$(pwd -P)/build/windows64/bin/tf_setup.exe")" "$(win "$work/big.iso")" "$(win "$work/install")")
echo "$c"
awk -v a="$a" -v b="$b" -v c="$c" 'BEGIN {
  split(a, x, " "); split(b, y, " "); split(c, z, " ");
  ta = x[2] / x[3]; tb = y[2] / y[3];
  printf "extract %.1f MiB/s, CopyFileW %.1f MiB/s\n", ta / 1048576, tb / 1048576;
  printf "ratio copy/extract throughput: %.3f (extraction at %.1f%% of the copy; target >= 90%%)\n", tb / ta, 100 * ta / tb;
  printf "tf_setup peak working set: %.1f MiB (target < 32 MiB)\n", z[6] / 1048576;
}'
