#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Vigilon.exe under Wine on an X display of the test's own (Xvfb): the
# command line's texts and statuses; with a configuration written by reg,
# "-service" watching an open and a closed loopback port (the closed one
# declared failed by the retry rule, its alert program run once with the
# target, the open one Ok) and ending in order on WM_CLOSE, as the service
# host ends it, with "Logon" 0; a plain start adding the tray icon (read
# back through the icon's trace file), the icon added again on
# TaskbarCreated with "Logon" 1, its menu starting monitoring, a second start handing over
# to the first, a "-service" start waiting until the first has ended and
# ending in order with the session; then each way out of a plain start.
# Usage: vigilon-test.sh VIGILON_EXE HELPER_EXE
set -u
vigilon_exe=$1
helper_exe=$2

VIGILON_WINE_XVFB=1
. "$(dirname "$0")/../support/wine-prefix.sh"

dir="$WINEPREFIX/drive_c/vg"
mkdir -p "$dir"
cp "$vigilon_exe" "$dir/Vigilon.exe"
cp "$helper_exe" "$dir/helper.exe"
printf '@echo alert %%1>> "%%~dp0alert.log"\r\n' > "$dir/alert.bat"
export VIGILON_TRAY_TRACE='C:\vg\tray.txt'
trace="$dir/tray.txt"

# The command line, as on Linux.
out=$(win "$dir/Vigilon.exe" --version); status=$?
expect_in "$out" "vigilon 1.62" "--version"
[ "$status" = 0 ] || fail "--version ends with $status"
out=$(win "$dir/Vigilon.exe" --frobnicate); status=$?
expect_in "$out" "unknown option --frobnicate" "an unknown option is named"
expect_in "$out" "Usage: vigilon" "and the usage follows"
[ "$status" = 2 ] || fail "an unknown option ends with $status, not 2"

# An open and a closed loopback port.
"$wine" "$dir/helper.exe" ports > "$dir/ports.txt" 2>/dev/null &
wait_for 30 test -s "$dir/ports.txt" || fail "the listener did not start"
read -r open closed < <(tr -d '\r' < "$dir/ports.txt")
echo "ok: open port $open, closed port $closed"

key='HKLM\Software\Ardentis\Vigilon\Monitor'
radd() { win reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null || fail "reg add $1"; }
radd "Port Count" REG_DWORD 2
radd Interval REG_DWORD 1
radd Retry REG_DWORD 1
radd "Port #0" REG_DWORD "$open"
radd "Protocol #0" REG_DWORD 0
radd "Threshold #0" REG_DWORD 0
radd "PortName #0" REG_EXPAND_SZ "TCP($open)"
radd "Service #0" REG_EXPAND_SZ ""
radd "Active #0" REG_DWORD 1
radd "Action #0" REG_DWORD 1
radd "Port #1" REG_DWORD "$closed"
radd "Protocol #1" REG_DWORD 0
radd "Threshold #1" REG_DWORD 0
radd "PortName #1" REG_EXPAND_SZ "TCP($closed)"
radd "Service #1" REG_EXPAND_SZ 'C:\vg\alert.bat %TARGET%'
radd "Active #1" REG_DWORD 1
radd "Action #1" REG_DWORD 1
win reg add 'HKLM\Software\Ardentis\Vigilon' /v Logon /t REG_DWORD /d 1 /f >/dev/null

# -service: monitoring starts two seconds later without a question.
(cd "$dir" && exec "$wine" Vigilon.exe -service --verbose) > "$dir/out.txt" 2> "$dir/err.txt" &
vigilon=$!
failed_lines() { grep -c "TCP($closed)"$'\t'"Failed" "$dir/err.txt"; }
three_failed() { [ "$(failed_lines)" -ge 3 ]; }
wait_for 40 three_failed || { cat "$dir/err.txt" >&2; fail "the closed port was not declared failed"; }
err=$(tr -d '\r' < "$dir/err.txt")
first=$(grep -m1 "TCP($closed)" <<<"$err" | cut -f3)
[ "$first" = Retry ] || fail "the first failure of the closed port is \"$first\", not Retry (retry limit 1)"
echo "ok: the first failure is tolerated, the next ones are declared"
expect_in "$err" "TCP($open)"$'\t'"Ok" "the open port is Ok"
if grep -q "TCP($open)"$'\t'"\(Failed\|Retry\)" <<<"$err"; then fail "the open port failed"; fi
wait_for 10 test -s "$dir/alert.log" || fail "the alert program did not run"
alerts=$(tr -d '\r' < "$dir/alert.log")
[ "$alerts" = "alert 127.0.0.1" ] || fail "the alert log holds \"$alerts\", not one run with the target"
echo "ok: the alert program ran once with the target, over $(failed_lines) failed checks"
grep -q '^modify 145 ' "$trace" || fail "the tray icon did not show the failure"
echo "ok: the tray icon shows the failure"
# One balloon of the icon's own for the failure, naming the entry, the
# target and the reason; the tip names the failing entry.
balloons=$(tr -d '\r' < "$trace" | grep '^info ')
[ "$(grep -c . <<<"$balloons")" = 1 ] || fail "balloons: \"$balloons\", not one for the one failure"
expect_in "$balloons" "info 0 1 障害: TCP($closed) / TCP($closed) (127.0.0.1) 応答なし: " "the balloon names the entry, target and reason"
grep -q "^modify 145 1 .*障害: TCP($closed)" "$trace" || fail "the tip does not name the failing entry"
echo "ok: one balloon tells of the failure and the tip names the entry"

# Ended as the service host ends it: WM_CLOSE to its windows.
win taskkill /im Vigilon.exe >/dev/null
for _ in $(seq 1 40); do kill -0 "$vigilon" 2>/dev/null || break; sleep 0.5; done
kill -0 "$vigilon" 2>/dev/null && fail "Vigilon did not end on WM_CLOSE"
wait "$vigilon"; status=$?
[ "$status" = 0 ] || fail "Vigilon ended with $status"
out=$(win reg query 'HKLM\Software\Ardentis\Vigilon' /v Logon)
expect_in "$out" "Logon    REG_DWORD    0x0" "Logon is 0 after the orderly end"
grep -q '^remove ' "$trace" || fail "the tray icon was not removed at the end"
echo "ok: the tray icon is removed at the end"

# A plain start adds the stopped icon; a second start hands over and ends.
rm -f "$trace"
(cd "$dir" && exec "$wine" Vigilon.exe) > /dev/null 2> "$dir/plain.txt" &
vigilon=$!
wait_for 30 test -s "$trace" || fail "a plain start did not add the tray icon"
line=$(head -n1 "$trace" | tr -d '\r')
case "$line" in
  "add 146 1 デバイス 127.0.0.1 ポート監視サービスは停止しています") echo "ok: the stopped icon is added with its tip" ;;
  *) fail "tray trace: $line" ;;
esac
# The shell's new taskbar: the icon is added again and "Logon" is 1.
win "$dir/helper.exe" taskbar-created >/dev/null || fail "TaskbarCreated could not be sent"
second_add() { [ "$(grep -c '^add 146 1 ' "$trace")" -ge 2 ]; }
wait_for 20 second_add || fail "the icon was not added again after TaskbarCreated"
out=$(win reg query 'HKLM\Software\Ardentis\Vigilon' /v Logon)
expect_in "$out" "Logon    REG_DWORD    0x1" "TaskbarCreated adds the icon again and writes Logon 1"
# The icon's menu: a release opens none; a press of the right button opens
# it, its first item starts monitoring after the question.
win "$dir/helper.exe" tray left-up start >/dev/null || fail "a release on the icon opened a menu"
win "$dir/helper.exe" tray right start >/dev/null || fail "the icon's menu did not work ($?)"
started() { grep -q '^modify 143 1 .*開始されています' "$trace"; }
wait_for 20 started || fail "the menu's first item did not start monitoring"
echo "ok: the icon's menu starts monitoring; a release opens no menu"
timeout 60 "$wine" "$dir/Vigilon.exe"; status=$?
[ "$status" = 0 ] || fail "a second start ended with $status"
kill -0 "$vigilon" 2>/dev/null || fail "the first Vigilon ended when the second started"
echo "ok: a second start hands over to the first and ends"

# A "-service" start waits until the first has ended, then takes over.
(cd "$dir" && exec "$wine" Vigilon.exe -service) > /dev/null 2> "$dir/waiting.txt" &
waiting=$!
wait_for 30 grep -q "waiting until it ends" "$dir/waiting.txt" || fail "a -service start did not wait its turn"
rm -f "$trace"
# Closed by the system with its dialog first: it ends without a question.
win "$dir/helper.exe" close >/dev/null || fail "the plain start asked or had no windows to close ($?)"
for _ in $(seq 1 40); do kill -0 "$vigilon" 2>/dev/null || break; sleep 0.5; done
kill -0 "$vigilon" 2>/dev/null && { cat "$dir/plain.txt" >&2; fail "the plain start did not end on WM_CLOSE"; }
wait_for 30 test -s "$trace" || fail "the waiting -service start did not take over"
echo "ok: a -service start waits for the first to end and then takes over"
win reg add 'HKLM\Software\Ardentis\Vigilon' /v Logon /t REG_DWORD /d 1 /f >/dev/null
win "$dir/helper.exe" end-session >/dev/null || fail "the end of the session could not be told"
for _ in $(seq 1 40); do kill -0 "$waiting" 2>/dev/null || break; sleep 0.5; done
kill -0 "$waiting" 2>/dev/null && fail "Vigilon did not end with the session"
out=$(win reg query 'HKLM\Software\Ardentis\Vigilon' /v Logon)
expect_in "$out" "Logon    REG_DWORD    0x0" "the end of the session ends Vigilon in order"

# Every way out of a plain start, given another target than the stored one:
# the target saved, "Logon" cleared, the icon removed. Only the user's own
# exits ask, and the session's end never waits on the question.
for way in "dialog-exit" "tray right exit" "close" "end-session" "end-session asking"; do
  win reg add 'HKLM\Software\Ardentis\Vigilon' /v Logon /t REG_DWORD /d 1 /f >/dev/null
  rm -f "$trace"
  (cd "$dir" && exec "$wine" Vigilon.exe -t127.0.0.9) > /dev/null 2> "$dir/way.txt" &
  vigilon=$!
  wait_for 30 test -s "$trace" || fail "$way: the tray icon was not added"
  # shellcheck disable=SC2086
  win "$dir/helper.exe" $way >/dev/null || fail "$way: the helper ended with $?"
  for _ in $(seq 1 40); do kill -0 "$vigilon" 2>/dev/null || break; sleep 0.5; done
  kill -0 "$vigilon" 2>/dev/null && { cat "$dir/way.txt" >&2; fail "$way: Vigilon did not end"; }
  wait "$vigilon"; status=$?
  [ "$status" = 0 ] || fail "$way: Vigilon ended with $status"
  out=$(win reg query 'HKLM\Software\Ardentis\Vigilon' /v Logon)
  expect_in "$out" "Logon    REG_DWORD    0x0" "$way: Logon is cleared"
  out=$(win reg query "$key" /v Target)
  expect_in "$out" "127.0.0.9" "$way: the settings are saved"
  grep -q '^remove ' "$trace" || fail "$way: the tray icon was not removed"
done
echo "PASSED"
