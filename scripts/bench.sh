#!/usr/bin/env bash
# Runs the side-by-side benchmark: Vigilon's checks beside fping, check_icmp,
# httping, check_http and nmap on the same responders, and prints the figures.
# Installs the checkers first (the bootstrap's benchmark set). Needs root for
# the network namespace and raw sockets; re-runs itself under sudo otherwise.
#   BUILD_DIR=build/bench  the build folder (RelWithDebInfo)
#   extra arguments go to compare_bench (e.g. --checks 200)
set -euo pipefail
cd "$(dirname "$0")/.."
VIGILON_BENCH=1 bash scripts/bootstrap.sh
build="${BUILD_DIR:-build/bench}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target compare_bench -j"${JOBS:-2}"
if [ "$(id -u)" != 0 ]; then
  exec sudo "$build/bench/compare/compare_bench" "$@"
fi
exec "$build/bench/compare/compare_bench" "$@"
