#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Vigilon.exe under Wine as a Linux user without the right to raw sockets
# (nobody), as a Windows user without administrator rights is: its PING
# entry is made by the system's ICMP helper functions, which Wine makes with
# the Linux user's own ICMP datagram sockets. Where
# net.ipv4.ping_group_range admits the user, the loopback answers; where it
# does not, every check fails at once as "not permitted" (never as timed
# out) and one line says which right is missing. Needs root to become
# nobody; skipped without.
# Usage: ping-unprivileged-test.sh VIGILON_EXE
set -u
vigilon_exe=$1
if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
  echo "skipped: needs root and setpriv to run as another user"
  exit 77
fi
user=65534
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
[ -n "$wine" ] || { echo "FAILED: wine is not installed" >&2; exit 1; }
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
expect_in() {
  case "$1" in *"$2"*) ;; *) fail "$3: \"$2\" not in \"$1\"" ;; esac
}
# A prefix of the user's own that no server of root's has touched, and an X
# server (Wine makes no windows without a display).
WINEPREFIX=$(mktemp -d /tmp/vigilon-wintest.XXXXXX)
. "$(dirname "$0")/../../scripts/wine-prefix-copy.sh"
wine_prefix_copy "$WINEPREFIX" || fail "no Wine prefix to copy"
# The link to the server of the user who booted it.
rm -f "$WINEPREFIX/wineserver"
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,wineusb.sys=" DISPLAY=":$(head -n1 "$displayfile")"
unset WAYLAND_DISPLAY
rm -f "$displayfile"
dir="$WINEPREFIX/drive_c/vg"
mkdir -p "$dir"
cp "$vigilon_exe" "$dir/Vigilon.exe"
chown -R "$user:$user" "$WINEPREFIX"
# Runs as the user, with a server of the user's own.
as_user() {
  timeout 120 setpriv --reuid="$user" --regid="$user" --clear-groups env HOME="$WINEPREFIX" "$@"
}
cleanup() {
  as_user "$wineserver" -k 2>/dev/null
  as_user "$wineserver" -w 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
key='HKLM\Software\Ardentis\Vigilon\Monitor'
radd() { as_user "$wine" reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null || fail "reg add $1"; }
radd "Port Count" REG_DWORD 1
radd Interval REG_DWORD 1
radd Retry REG_DWORD 1
radd "Port #0" REG_DWORD 7
radd "Protocol #0" REG_DWORD 2
radd "Threshold #0" REG_DWORD 0
radd "PortName #0" REG_EXPAND_SZ PING
radd "Service #0" REG_EXPAND_SZ ""
radd "Active #0" REG_DWORD 1
radd "Action #0" REG_DWORD 1
(cd "$dir" && as_user timeout 15 "$wine" Vigilon.exe -service --verbose) 2>&1 | tr -d '\r' > "$dir/err.txt"
lines=$(grep -P '\tPING\t' "$dir/err.txt")
[ "$(grep -c . <<<"$lines")" -ge 3 ] || { cat "$dir/err.txt" >&2; fail "fewer than three PING checks were made"; }
read -r low high < /proc/sys/net/ipv4/ping_group_range
if [ "$user" -ge "$low" ] && [ "$user" -le "$high" ]; then
  grep -qvP '\tOk\t' <<<"$lines" && { echo "$lines" >&2; fail "the system's echo to the loopback was not answered"; }
  echo "ok: the user's PING is made by the system and answered"
else
  grep -qvP '\t(Retry|Failed)\t[0-9.]+\tnot permitted$' <<<"$lines" &&
    { echo "$lines" >&2; fail "a PING check failed otherwise than as not permitted"; }
  expect_in "$(cat "$dir/err.txt")" "PING checks fail: a raw ICMP socket needs administrator rights" "the missing right is said"
  echo "ok: without ICMP sockets for the user, every PING check fails at once as not permitted"
fi
echo "PASSED"
