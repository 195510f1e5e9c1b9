#!/usr/bin/env bash
# Runs the graph window's tests (the program given) under Wine without a
# display: Wine's null graphics driver makes the windows and dialogs, which
# nobody sees.
set -u
. "$(dirname "$0")/wine-prefix.sh"
win reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null || fail "the null driver could not be chosen"
# The desktop process takes the driver when it starts: a fresh server.
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p
# Booted apart, so that the programs it starts do not hold the test's output.
timeout 120 "$wine" cmd /c exit >/dev/null 2>&1 || fail "the prefix could not be started again"
timeout 120 "$wine" "$1" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
