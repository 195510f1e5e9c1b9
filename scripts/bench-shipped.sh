#!/usr/bin/env bash
# Runs the shipped program (Qt's event loop) at 10, 100, 1,000 and 5,000 TCP
# entries beside the bare connect-and-poll floor of the same run, in a
# network namespace of its own (no root needed), and prints the figures.
#   --wine          the Windows program instead: the mingw preset's
#                   win/Vigilon.exe on its loop of window messages, under
#                   Wine (wine64, wineserver and Xvfb installed), beside the
#                   same floor; its rounds are slower, so give it a longer
#                   --interval (10 s up to 1,000 entries, 30 s for 5,000)
#   PRESET=default  the build preset whose qt/vigilon and shipped_bench run
#   extra arguments go to shipped_bench (e.g. --sizes 10,1000 --rounds 5)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-default}"
wine=0
args=()
for arg in "$@"; do
  if [ "$arg" = --wine ]; then wine=1; else args+=("$arg"); fi
done
cmake --preset "$preset" -DVIGILON_BENCH=ON >/dev/null
if [ "$wine" = 1 ]; then
  cmake --build --preset "$preset" --target shipped_bench -j"${JOBS:-2}"
  [ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target vigilon_exe shipped_ask -j"${JOBS:-2}"
  exec "build/$preset/bench/shipped/shipped_bench" --wine build/mingw/win/Vigilon.exe \
    --wine-ask build/mingw/bench/shipped/shipped_ask.exe "${args[@]}"
fi
cmake --build --preset "$preset" --target vigilon shipped_bench -j"${JOBS:-2}"
exec "build/$preset/bench/shipped/shipped_bench" --program "build/$preset/qt/vigilon" "$@"
