#!/usr/bin/env bash
# Installs what is missing, builds Vigilon and starts it; arguments go to vigilon.
# Without a display it runs headless on Qt's offscreen platform in service mode.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
program=build/default/qt/vigilon
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no display found; starting Vigilon headless (offscreen platform, service mode)." >&2
  echo "run: status changes of the watched ports are printed here; Ctrl-C ends it." >&2
  export QT_QPA_PLATFORM=offscreen
  has_service=0
  for a in "$@"; do case "$a" in -service*|/service*) has_service=1 ;; esac; done
  if [ "$has_service" = 0 ]; then set -- -service "$@"; fi
fi
exec "$program" "$@"
