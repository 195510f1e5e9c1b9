#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Vigilsvc under Wine's service control manager: -install and what sc and
# reg show of it, a start that runs Vigilon.exe from the service's folder,
# a restart asked for through "Logon", -stop and -remove (with the event
# source), and "-remove -leave" from the Vigilon the service started, which
# goes on running.
# Usage: service-test.sh VIGILSVC_EXE STANDIN_EXE
set -u
. "$(dirname "$0")/../../support/wine-prefix.sh"
vigilsvc=$1
standin=$2

dir="$WINEPREFIX/drive_c/vg"
mkdir -p "$dir"
cp "$vigilsvc" "$dir/Vigilsvc.exe"
cp "$standin" "$dir/Vigilon.exe"
starts="$dir/starts.txt"
name="VGN - Sentrelle Notification Service"
# Stand-in processes of this prefix that still run.
running_standins() {
  local p n=0
  for p in $(pgrep -f 'Vigilon\.exe'); do
    tr '\0' '\n' 2>/dev/null < "/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && n=$((n + 1))
  done
  echo "$n"
}
starts_at_least() { [ -f "$starts" ] && [ "$(wc -l < "$starts")" -ge "$1" ]; }
services='HKLM\System\CurrentControlSet\Services'

out=$(win "$dir/Vigilsvc.exe" -install)
expect_in "$out" "$name installed." "-install prints its string"

out=$(sc_query Vigilsvc)
expect_in "$out" "Vigilsvc" "sc query knows the service"
expect_in "$out" "STOPPED" "the installed service is stopped"

out=$(win reg query "$services\\Vigilsvc" /v DisplayName)
expect_in "$out" "DisplayName    REG_SZ    $name" "DisplayName"
out=$(win reg query "$services\\Vigilsvc" /v Description)
expect_in "$out" "Description    REG_SZ    Sentrelle Nofication Service by Ardentis Technology" "Description"
out=$(win reg query "$services\\Vigilsvc" /v Start)
expect_in "$out" "0x2" "auto start"
out=$(win reg query "$services\\Vigilsvc" /v Type)
expect_in "$out" "0x110" "own process, interactive"
# (Wine's sc has no qc: the manager's own value.)
out=$(win reg query "$services\\Vigilsvc" /v ImagePath)
expect_in "$out" '"C:\vg\Vigilsvc.exe"' "the binary path is the program, quoted, without arguments"
out=$(win reg query "$services\\EventLog\\Application\\Vigilsvc" /v EventMessageFile)
expect_in "$out" 'EventMessageFile    REG_SZ    C:\vg\Vigilsvc.exe' "EventMessageFile"
out=$(win reg query "$services\\EventLog\\Application\\Vigilsvc" /v TypesSupported)
expect_in "$out" "TypesSupported    REG_DWORD    0x7" "TypesSupported"

# The program key exists, as Vigilon's first save makes it, so that the
# service can read and clear "Logon".
win reg add 'HKLM\Software\Ardentis\Vigilon' /v Logon /t REG_DWORD /d 0 /f >/dev/null || fail "reg add Logon 0"

out=$(win sc start Vigilsvc)
wait_for 30 test -s "$starts" || fail "sc start: Vigilon.exe was not started within 30 s"
first=$(head -n 1 "$starts")
expect_in "$first" '|C:\vg|"C:\vg\Vigilon.exe" -service' "Vigilon.exe started from the service's folder with \"<path>\" -service"
out=$(sc_query Vigilsvc)
expect_in "$out" "RUNNING" "the service runs"

# A logon: Vigilon is ended at the next round and started again one round
# later (10 s rounds: within 30 s all told).
win reg add 'HKLM\Software\Ardentis\Vigilon' /v Logon /t REG_DWORD /d 1 /f >/dev/null || fail "reg add Logon 1"
wait_for 35 starts_at_least 2 || fail "\"Logon\" = 1 did not lead to a new Vigilon within 35 s"
second=$(sed -n 2p "$starts")
[ "${second%%|*}" != "${first%%|*}" ] || fail "the restart is the same process"
expect_in "$second" '"C:\vg\Vigilon.exe" -service' "a fresh Vigilon after \"Logon\" = 1"
standins_are() { [ "$(running_standins)" -eq "$1" ]; }
wait_for 5 standins_are 1 || fail "the first Vigilon was not ended by the restart"
echo "ok: only the fresh Vigilon runs"
out=$(win reg query 'HKLM\Software\Ardentis\Vigilon' /v Logon)
expect_in "$out" "Logon    REG_DWORD    0x0" "the service cleared \"Logon\""

out=$(win "$dir/Vigilsvc.exe" -stop)
expect_in "$out" "Stopping $name." "-stop prints its progress"
expect_in "$out" "$name stopped." "-stop says it stopped"
out=$(sc_query Vigilsvc)
expect_in "$out" "STOPPED" "the service is stopped"
[ "$(wc -l < "$starts")" -eq 2 ] || fail "Vigilon was started again after the stop"
wait_for 5 standins_are 0 || fail "Vigilon still runs after the stop"
echo "ok: the stop ended Vigilon"

out=$(win "$dir/Vigilsvc.exe" -remove)
expect_in "$out" "$name removed." "-remove prints its string"
case "$out" in *Stopping*) fail "-remove of a stopped service printed a stop message" ;; esac
out=$(sc_query Vigilsvc)
case "$out" in *RUNNING*|*STOPPED*) fail "the service is still there after -remove" ;; esac
echo "ok: the service is gone"
win reg query "$services\\EventLog\\Application\\Vigilsvc" >/dev/null 2>&1 && fail "-remove left the event source"
echo "ok: -remove removes the event source"

# Autostart turned off in the Vigilon that the service started: the service
# is removed and that Vigilon left running.
win "$dir/Vigilsvc.exe" -install >/dev/null
win sc start Vigilsvc >/dev/null
wait_for 30 starts_at_least 3 || fail "the service did not start Vigilon again"
pid=$(sed -n '3s/|.*//p' "$starts")
out=$(win "$dir/Vigilsvc.exe" -remove -leave "$pid")
expect_in "$out" "$name removed." "-remove -leave removes the service"
# The service has stopped when -remove returns.
standins_are 1 || fail "-remove -leave did not leave the service's Vigilon running"
echo "ok: -remove -leave leaves the service's Vigilon running"
win taskkill /F /PID "$pid" >/dev/null 2>&1
wait_for 10 standins_are 0 || fail "the stand-in could not be ended"

# The Japanese string table, which the system's language picks; the console
# takes the Japanese code page.
japanese() {
  LC_ALL=ja_JP.UTF-8 timeout 120 "$wine" "$@" 2>&1 | iconv -f CP932 -t UTF-8 | tr -d '\r'
}
out=$(japanese "$dir/Vigilsvc.exe" -install)
expect_in "$out" "$name インストールされました。" "-install in Japanese"
out=$(japanese "$dir/Vigilsvc.exe" -remove)
expect_in "$out" "$name 削除されました。" "-remove in Japanese"
