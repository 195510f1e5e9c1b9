#!/usr/bin/env bash
# Runs the shipped program (Qt's event loop) at 10, 100, 1,000 and 5,000 TCP
# entries beside the bare connect-and-poll floor of the same run, in a
# network namespace of its own (no root needed), and prints the figures.
#   PRESET=default  the build preset whose qt/vigilon is measured
#   extra arguments go to shipped_bench (e.g. --sizes 10,1000 --rounds 5)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-default}"
[ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target vigilon shipped_bench -j"${JOBS:-2}"
exec "build/$preset/bench/shipped/shipped_bench" --program "build/$preset/qt/vigilon" "$@"
