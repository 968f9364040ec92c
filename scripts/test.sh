#!/usr/bin/env bash
# Builds everything (benchmarks included, not run) and runs all tests headless.
# Usage: scripts/test.sh [--asan|--tsan]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
mode="${1:-}"
case "$mode" in
  "") dir="$root/build" opts=() ;;
  --asan) dir="$root/build-asan" opts=(-DDRAVOLUX_ASAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  --tsan) dir="$root/build-tsan" opts=(-DDRAVOLUX_TSAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  *) echo "usage: $0 [--asan|--tsan]" >&2; exit 2 ;;
esac
bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh" "$dir" -DDRAVOLUX_BENCH=ON "${opts[@]}"
cd "$dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
