#!/usr/bin/env bash
# Runs the side-by-side benchmark: Vigilon's checks beside fping, check_icmp,
# httping, check_http (also -S for HTTPS), curl and nmap on the same responders, and prints the figures.
# Where MinGW-w64 and Wine are installed, the Windows build's rounds of
# several entries (compare_wine_checks.exe, mingw preset) run under Wine
# beside this build's (figure "several").
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
wine=()
if command -v x86_64-w64-mingw32-g++ >/dev/null && { [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || command -v wine >/dev/null; }; then
  [ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
  if cmake --build build/mingw --target compare_wine_checks -j"${JOBS:-2}"; then
    wine=(--wine build/mingw/bench/compare/compare_wine_checks.exe)
  fi
fi
if [ "$(id -u)" != 0 ]; then
  exec sudo "$build/bench/compare/compare_bench" "${wine[@]}" "$@"
fi
exec "$build/bench/compare/compare_bench" "${wine[@]}" "$@"
