# SPDX-License-Identifier: MIT
# Sourced by the Wine tests: a fresh WINEPREFIX of the test's own, headless,
# ended and removed when the test exits; `win` runs a program in it and
# `fail` ends the test with a message. $test_work is a folder of the test's,
# and `beside PID` has a process the test started (a server) ended, both when
# the test exits.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ]; then echo "wine is not installed" >&2; exit 1; fi
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
WINEPREFIX=$(mktemp -d /tmp/vigilon-wintest.XXXXXX)
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-prefix-copy.sh"
wine_prefix_copy "$WINEPREFIX" || echo "no prefix to copy; Wine makes one" >&2
# Headless, unless the test asks for an X server of its own with
# VIGILON_WINE_XVFB=1 (Wine makes no windows without a display), of the size
# VIGILON_WINE_SCREEN gives (WIDTHxHEIGHT, 1024x768 unless given).
display=
xvfb_pid=
if [ "${VIGILON_WINE_XVFB:-0}" = 1 ]; then
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${VIGILON_WINE_SCREEN:-1024x768}x24" -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
  display=$(head -n1 "$displayfile")
  rm -f "$displayfile"
  if [ -z "$display" ]; then
    kill "$xvfb_pid" 2>/dev/null
    echo "FAILED: Xvfb did not start" >&2
    exit 1
  fi
  display=":$display"
fi
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,wineusb.sys=" DISPLAY="$display"
unset WAYLAND_DISPLAY
test_work=$(mktemp -d /tmp/vigilon-wintest-work.XXXXXX)
test_pids=()
beside() { test_pids+=("$1"); }
cleanup() {
  local p
  for p in "${test_pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  end_prefix_processes "$WINEPREFIX"
  rm -rf "$WINEPREFIX" "$test_work"
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
# One server for the whole test: a server that ends between two programs
# may still be saving the registry while the next one reads it.
"$wineserver" -p
# A prefix not copied is made by the first program; an explicit wineboot as
# well would boot it twice, with two service managers.
timeout 120 "$wine" cmd /c exit >/dev/null 2>&1 || fail "the prefix could not be made"

# win PROGRAM ARGS...: runs a Windows program (or one of Wine's own, such as
# sc or reg) with a time limit; its output (Wine's sc writes to standard
# error) without carriage returns.
win() {
  timeout 120 "$wine" "$@" 2>&1 | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# sc_query NAME: what sc query says of a service. Wine's sc now and then
# prints nothing right after a change of the service database; asked again
# it answers.
sc_query() {
  local out i
  for i in 1 2 3 4 5; do
    out=$(win sc query "$1")
    [ -n "$out" ] && break
    sleep 0.5
  done
  printf '%s\n' "$out"
}

# set_dpi DPI: the resolution Wine gives the screen (its "LogPixels"), in
# both places it reads; programs started after the next restart of the
# server see it.
set_dpi() {
  win reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null &&
    win reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# expect_in TEXT NEEDLE WHAT: TEXT holds NEEDLE.
expect_in() {
  case "$1" in
    *"$2"*) echo "ok: $3" ;;
    *) printf 'output was:\n%s\n' "$1" >&2; fail "$3: no \"$2\"" ;;
  esac
}

# wait_for SECONDS COMMAND...: polls COMMAND every half second until it
# succeeds or SECONDS have passed.
wait_for() {
  local limit=$(( $1 * 2 )); shift
  local i
  for (( i = 0; i < limit; i++ )); do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}
