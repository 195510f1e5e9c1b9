#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# PRESET=asan scripts/test.sh runs the same under the sanitizers.
# The default run then also cross-builds the Windows programs and runs their
# tests under Wine (the mingw preset); VIGILON_MINGW=0 leaves that out.
# VIGILON_BENCH=OFF leaves the benchmarks out of the build (they are no tests).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-default}"
bash scripts/bootstrap.sh
cmake --preset "$preset" ${VIGILON_BENCH:+-DVIGILON_BENCH="$VIGILON_BENCH"} >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" "$@"

if [ "$preset" = default ] && [ "${VIGILON_MINGW:-1}" != 0 ]; then
  started=$SECONDS
  VIGILON_MINGW=1 bash scripts/bootstrap.sh
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j"$(nproc)"
  ctest --preset mingw
  echo "mingw preset: installed, built and tested under Wine in $((SECONDS - started)) s"
fi
