#!/usr/bin/env bash
# Builds the benchmark without sanitizers and runs it: bench/run_bench.sh [MiB per container] [rounds]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTF_SANITIZE=OFF -DTF_FUZZERS=OFF >/dev/null
cmake --build "$root/build/bench" --target tf_xmf_bench -j2 >/dev/null
"$root/build/bench/bin/tf_xmf_bench" "${1:-3}" "${2:-5}"
