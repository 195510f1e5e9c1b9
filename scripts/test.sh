#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# PRESET=asan scripts/test.sh runs the same under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-default}"
bash scripts/bootstrap.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" "$@"
