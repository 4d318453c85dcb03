#!/usr/bin/env bash
# Instructions per kernel call under callgrind: repeatable on a busy machine, where times are not.
#
#   benchmarks/instructions.sh [KERNEL_BENCH]     (default build-bench/benchmarks/kernel_bench)
#
# Runs the light-curve workload of kernel_bench at two sizes and divides the difference by the
# difference in calls, so start-up and the inputs' set-up cancel out. Needs valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build-bench/benchmarks/kernel_bench}
small=40000
large=80000
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

count() {
  valgrind --tool=callgrind --callgrind-out-file="$scratch/out" "$binary" count "$1" "$2" 2>&1 |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

for kernel in disk ring; do
  a=$(count "$kernel" "$small")
  b=$(count "$kernel" "$large")
  echo "$kernel: $(( (b - a) / (large - small) )) instructions per call"
done
