#!/usr/bin/env bash
# Runs a command on a private session bus of its own, so that tests never
# meet the desktop's bus. Without dbus-run-session the command runs as it is
# and finds VIGILON_PRIVATE_BUS unset.
set -u
if command -v dbus-run-session >/dev/null 2>&1; then
  exec dbus-run-session -- env VIGILON_PRIVATE_BUS=1 "$@"
fi
echo "with-session-bus: dbus-run-session is not installed (Debian package dbus)" >&2
unset DBUS_SESSION_BUS_ADDRESS VIGILON_PRIVATE_BUS
exec "$@"
