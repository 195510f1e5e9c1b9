#!/usr/bin/env bash
# Runs a command under its own Xvfb server and ends the server afterwards.
# Xvfb picks a free display itself and names it once it accepts clients, so
# runs side by side never share a server.
set -u
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$displayfile"' EXIT
for _ in $(seq 1 100); do
  [ -s "$displayfile" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
number=$(head -n1 "$displayfile")
if [ -z "$number" ]; then echo "with-xvfb: Xvfb did not start" >&2; exit 1; fi
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
DISPLAY=":$number" "$@"
