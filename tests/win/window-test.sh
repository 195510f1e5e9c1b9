#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a test of windows (dialogs, graph window) in a fresh Wine prefix on Wine's null display
# driver: without an X server Wine makes no windows at all, with the null
# driver it makes, lays out and messages them as usual, showing nothing.
# Usage: window-test.sh TEST-EXE [gtest arguments...]
# With VIGILON_WINE_DPI set, the screen has that resolution; with
# VIGILON_WINE_XVFB=1 the windows are on an X server of the test's own
# instead (the null driver's screen is 1024 by 768 pixels, too small for the
# windows at 192 DPI), as large as VIGILON_WINE_SCREEN says.
set -u
exe=$1
shift
. "$(dirname "$0")/../support/wine-prefix.sh"
if [ "${VIGILON_WINE_XVFB:-0}" != 1 ]; then
  win reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null ||
    fail "the null display driver could not be chosen"
fi
# VIGILON_WINE_DPI: the screen's resolution, 96 unless given.
if [ -n "${VIGILON_WINE_DPI:-}" ]; then
  set_dpi "$VIGILON_WINE_DPI" || fail "the resolution could not be set"
fi
# The desktop that failed without a display goes; the next program starts
# one on the null driver.
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
"$wineserver" -p
# Booted on its own, so that the services the boot starts do not hold the
# test's output open.
timeout 120 "$wine" cmd /c exit >/dev/null 2>&1 || fail "the prefix could not be started again"
win "$exe" "$@"
