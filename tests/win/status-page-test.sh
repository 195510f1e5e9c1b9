#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Vigilon.exe under Wine serves the status page, the JSON API and the badges
# from its Winsock server: fetched from Linux with curl, and the page opened
# in a headless Chromium (when there is one). An open and a closed loopback
# port are watched; the open one's name is markup, which stays text.
# Usage: status-page-test.sh VIGILON_EXE HELPER_EXE
set -u
vigilon_exe=$1
helper_exe=$2

# Wine makes no windows without a display, and the program has its hidden one.
VIGILON_WINE_XVFB=1
. "$(dirname "$0")/../support/wine-prefix.sh"

dir="$WINEPREFIX/drive_c/vg"
mkdir -p "$dir"
cp "$vigilon_exe" "$dir/Vigilon.exe"
cp "$helper_exe" "$dir/helper.exe"

"$wine" "$dir/helper.exe" ports > "$dir/ports.txt" 2>/dev/null &
wait_for 30 test -s "$dir/ports.txt" || fail "the listener did not start"
read -r open closed < <(tr -d '\r' < "$dir/ports.txt")
web=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

key='HKLM\Software\Ardentis\Vigilon\Monitor'
radd() { win reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null || fail "reg add $1"; }
radd "Port Count" REG_DWORD 2
radd Interval REG_DWORD 1
radd Retry REG_DWORD 1
radd "Port #0" REG_DWORD "$open"
radd "Protocol #0" REG_DWORD 0
radd "Threshold #0" REG_DWORD 0
radd "PortName #0" REG_EXPAND_SZ "<img src=x onerror=alert(1)>"
radd "Service #0" REG_EXPAND_SZ ""
radd "Active #0" REG_DWORD 1
radd "Action #0" REG_DWORD 1
radd "Port #1" REG_DWORD "$closed"
radd "Protocol #1" REG_DWORD 0
radd "Threshold #1" REG_DWORD 0
radd "PortName #1" REG_EXPAND_SZ "closed"
radd "Service #1" REG_EXPAND_SZ ""
radd "Active #1" REG_DWORD 1
radd "Action #1" REG_DWORD 1
win reg add 'HKLM\Software\Ardentis\Vigilon' /v Logon /t REG_DWORD /d 1 /f >/dev/null

(cd "$dir" && exec "$wine" Vigilon.exe -service --metrics=127.0.0.1:$web) > "$dir/out.txt" 2> "$dir/err.txt" &
base="http://127.0.0.1:$web"
both_judged() { curl -s -m 5 "$base/api/v1/entries" | grep -q '"state":"failed"'; }
wait_for 60 both_judged || { cat "$dir/err.txt" >&2; fail "the API did not show the closed port failed"; }

entries=$(curl -s -m 5 "$base/api/v1/entries")
expect_in "$entries" '"name":"<img src=x onerror=alert(1)>","host":"127.0.0.1","port":'"$open"',"kind":"tcp","state":"ok"' \
  "the API lists the open port Ok"
expect_in "$entries" '"daily_uptime":' "with its uptime fields"
page=$(curl -s -m 5 -H 'Accept-Language: ja,en;q=0.5' "$base/")
expect_in "$page" '<html lang="ja">' "the page in the language asked for"
expect_in "$page" '1 件が失敗しています (全 2 件中)' "with the overall line"
expect_in "$page" '&lt;img src=x onerror=alert(1)&gt;' "the markup name escaped"
case "$page" in *'<img'*) fail "the page holds markup from a name" ;; esac
status=$(curl -s -m 5 -o /dev/null -w '%{http_code} %{content_type}' "$base/badge/0/uptime.svg?days=7")
[ "$status" = "200 image/svg+xml; charset=utf-8" ] || fail "the uptime badge answered $status"
status=$(curl -s -m 5 -o /dev/null -w '%{http_code}' "$base/badge/0/uptime.svg?days=91")
[ "$status" = 400 ] || fail "a badge of 91 days answered $status"
# From yesterday to midnight in Tokyo two days on (still ahead at any time
# of today), which the answer gives in UTC.
yesterday=$(date -u -d yesterday +%Y-%m-%d)
later=$(date -u -d "2 days" +%Y-%m-%d)
later_utc=$(date -u -d "$later 00:00 +0900" +%Y-%m-%dT%H:%M:%SZ)
outages=$(curl -s -m 10 "$base/api/v1/entries/1/outages?from=${yesterday}T00:00:00Z&to=${later}T00:00:00%2B09:00")
expect_in "$outages" '"from":"'"$yesterday"'T00:00:00Z","to":"'"$later_utc"'","outages":[{"start":' \
  "the closed port's outage from the history"
expect_in "$(curl -s -m 10 "$base/api/v1/entries/1/series")" '"resolution":"minute","points":[{' \
  "its series from the history"
expect_in "$(curl -s -m 5 "$base/metrics")" 'vigilon_entry_up{' "the metrics beside them"

if [ -x /usr/bin/chromium ]; then
  profile=$(mktemp -d /tmp/vigilon-chromium.XXXXXX)
  sandbox=()
  [ "$(id -u)" = 0 ] && sandbox=(--no-sandbox)
  dom=$(timeout 60 /usr/bin/chromium --headless=new "${sandbox[@]}" --disable-gpu --user-data-dir="$profile" \
    --virtual-time-budget=6000 --dump-dom "$base/" 2>/dev/null)
  rm -rf "$profile"
  expect_in "$dom" 'class="e st-failed" data-id="tcp-' "Chromium shows the closed port failed"
  expect_in "$dom" '<span class="name">&lt;img src=x onerror=alert(1)&gt;</span>' "and the markup name as text"
  case "$dom" in *'<img'*) fail "the markup name became an element" ;; esac
else
  echo "skipped: no /usr/bin/chromium"
fi
echo "PASS"
