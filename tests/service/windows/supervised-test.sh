#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Vigilsvc -debug with the real Vigilon.exe beside it, on an X server of the
# test's own: Vigilon is started in service mode (monitoring starts by
# itself), and after "Logon" = 1 it is ended in order (its icon removed, not
# left behind by a termination) and started again one round later.
# Usage: supervised-test.sh VIGILSVC_EXE VIGILON_EXE
set -u
vigilsvc_exe=$1
vigilon_exe=$2
VIGILON_WINE_XVFB=1
. "$(dirname "$0")/../../support/wine-prefix.sh"

dir="$WINEPREFIX/drive_c/vg"
mkdir -p "$dir"
cp "$vigilsvc_exe" "$dir/Vigilsvc.exe"
cp "$vigilon_exe" "$dir/Vigilon.exe"
export VIGILON_TRAY_TRACE='C:\vg\tray.txt'
trace="$dir/tray.txt"
count() { [ -f "$trace" ] && grep -c "$1" "$trace" || echo 0; }

(cd "$dir" && exec "$wine" Vigilsvc.exe -debug) > "$dir/vigilsvc.txt" 2>&1 &
vigilsvc=$!
started() { [ "$(count '^modify 143 1 .*開始されています')" -ge 1 ]; }
wait_for 40 started || fail "Vigilsvc did not start Vigilon in service mode"
echo "ok: Vigilsvc starts Vigilon, which starts monitoring by itself"

win reg add 'HKLM\Software\Ardentis\Vigilon' /v Logon /t REG_DWORD /d 1 /f >/dev/null
restarted() { [ "$(count '^remove ')" -ge 1 ] && [ "$(count '^add 146 1 ')" -ge 2 ]; }
wait_for 40 restarted || { cat "$trace" >&2; fail "Vigilon was not ended in order and started again after Logon 1"; }
echo "ok: after Logon 1 Vigilon is ended in order and started again"
out=$(win reg query 'HKLM\Software\Ardentis\Vigilon' /v Logon)
expect_in "$out" "Logon    REG_DWORD    0x0" "Logon reads 0 afterwards"
kill "$vigilsvc" 2>/dev/null
echo PASSED
