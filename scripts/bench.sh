#!/usr/bin/env bash
# Builds optimised benchmarks and runs them. Extra arguments go to each benchmark.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh" "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DDRAVOLUX_BENCH=ON -DDRAVOLUX_TESTS=OFF
for b in "$root"/build-bench/bin/bench_*; do
  echo "== $(basename "$b")"
  "$b" "$@"
done
