#!/usr/bin/env bash
# Android package build against its floor, in one run under wine64: (a)
# BuildAndroidPackage from an install folder of at least 1 GiB (the pack is
# read, CRC-32'd, SHA-256'd and written in one pass), (b) CryptoAPI SHA-256
# alone over the same bytes. Prints the ratio (target: build <= 1.2 x hashing).
#   tools/bench-android.sh [MiB]    (default 1100)
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-1100}
source tools/lib.sh
[ -z "$(tf_missing_packages --fast)" ] || bash tools/setup-machine.sh --fast
tf_build windows64 android_bench tf_apk_template >/dev/null
work=$(pwd -P)/build/bench-android
source tools/wine-session.sh
trap 'wine_session_end; rm -rf "$work"' EXIT
wine_session_start fast
rm -rf "$work" && mkdir -p "$work/install" "$work/key"
# Incompressible bytes, quickly: AES-CTR of zeros.
fill() { head -c "$2" < <(openssl enc -aes-128-ctr -nosalt -pass "pass:$1" -pbkdf2 </dev/zero 2>/dev/null) >"$3"; }
i=$work/install
fill xbe $((8 << 20)) "$i/default.xbe"
per=$(( (mib - 8) * 1048576 / 40 ))  # forty big files in GFX and AUDMUSIC, a few hundred small ones
for k in $(seq 1 30); do mkdir -p "$i/GFX/ARENA$((k % 12))"; fill "g$k" "$per" "$i/GFX/ARENA$((k % 12))/f$k.xmf"; done
for k in $(seq 1 10); do mkdir -p "$i/AUDMUSIC"; fill "m$k" "$per" "$i/AUDMUSIC/t$k.wma"; done
mkdir -p "$i/AUDSoundFX"
for k in $(seq 1 300); do fill "s$k" 20000 "$i/AUDSoundFX/s$k.wav"; done
echo "install folder: $(du -sm "$i" | cut -f1) MiB in $(find "$i" -type f | wc -l) files"
bench=build/windows64/bin/android_bench.exe
template=$(tf_win_path "$(pwd -P)/build/windows64/payload/apk_template.zip")
run() { tools/wine-run.sh fast "$bench" "$@"; }
run hash "$(tf_win_path "$i")" >/dev/null  # the same page-cache state for both
# Alternating rounds: the machine is shared, so single runs are noisy. The
# ratio is given from the best times and as the median of the rounds' own
# ratios; the build's CPU time (both of its threads) beside it tells the work
# from waiting for a core.
source tools/bench-stats.sh
rounds=${ROUNDS:-5}
hashes="" builds="" ratios="" cpus="" busy=0
echo "rounds: $rounds; $(bench_load)"
for round in $(seq "$rounds"); do
  bench_busy && busy=$((busy + 1))
  h=$(run hash "$(tf_win_path "$i")"); echo "$h  [$(bench_load)]"
  rm -f "$work/Tarnfell.apk"
  b=$(run build "$template" "$(tf_win_path "$i")" "$(tf_win_path "$work/key")" "$(tf_win_path "$work/Tarnfell.apk")"); echo "$b  [$(bench_load)]"
  hs=$(cut -d' ' -f3 <<<"$h") bs=$(cut -d' ' -f3 <<<"$b")
  hashes="$hashes $hs" builds="$builds $bs" cpus="$cpus $(cut -d' ' -f5 <<<"$b")"
  ratios="$ratios $(awk -v b="$bs" -v h="$hs" 'BEGIN { print b / h }')"
done
hash=$(bench_best "$hashes") build=$(bench_best "$builds")
awk -v h="$h" -v hash="$hash" -v build="$build" -v hm="$(bench_median "$hashes")" -v bm="$(bench_median "$builds")" \
    -v median="$(bench_median "$ratios")" -v cpu="$(bench_median "$cpus")" -v n="$rounds" 'BEGIN {
  split(h, x, " "); mib = 1048576;
  printf "SHA-256 alone: best %.2f s (%.1f MiB/s), median %.2f s; last run: CRC-32 alone %.2f s, reads %.2f s\n",
         hash, x[2] / hash / mib, hm, x[5], x[7];
  printf "build of %.0f MiB: best %.2f s (%.1f MiB/s), median %.2f s, median CPU %.2f s\n", x[2] / mib, build,
         x[2] / build / mib, bm, cpu;
  printf "ratio build / SHA-256 floor: %.3f from the best times, %.3f median of %d rounds (target <= 1.2)\n",
         build / hash, median, n;
}'
echo "$(bench_load) at the end; rounds begun with the load above the core count: $busy of $rounds"
[ "$busy" = 0 ] || echo "note: the machine was busy; the figures carry its load (run again when it is quiet)"
