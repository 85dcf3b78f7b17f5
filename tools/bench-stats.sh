# Sourced by the benchmarks: the machine's load beside every figure, and the
# best and median of a list of numbers.
bench_load() { echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"; }
# bench_busy: true when the one-minute load is above the core count.
bench_busy() { awk -v n="$(nproc)" '{ exit !($1 > n) }' /proc/loadavg; }
# bench_best LIST / bench_median LIST: of numbers separated by blanks.
bench_best() { tr ' ' '\n' <<<"$1" | grep . | sort -g | head -1; }
bench_median() {
  tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
