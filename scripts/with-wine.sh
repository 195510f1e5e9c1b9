#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a fresh WINEPREFIX that is
# removed afterwards.
#
# Wine 8 now and then fails beside the program it runs: its own server stops
# on an assertion when sockets are closed and reopened at a high rate (the
# program then ends as if it had succeeded, and the processes Wine started
# beside it hold our output open for good), or, under load, a program ends
# in failure without having written a word. Such a run says nothing
# about the program, so it is run again in a new prefix, up to three times in
# all: the server's failure comes in runs when the machine is loaded.
set -u
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ]; then echo "with-wine: wine is not installed" >&2; exit 127; fi
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
. "$(dirname "$0")/wine-prefix-copy.sh"

# Runs the program once; sets status, and wine_failed when Wine failed
# beside the program.
prefix= out= errors=
end_prefix() {
  [ -n "$wineserver" ] && WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null
  end_prefix_processes "$prefix"
}
# Stopped from outside (a test's timeout): nothing of the prefix is left.
trap '[ -n "$prefix" ] && { end_prefix; cat "$out"; rm -rf "$prefix" "$out" "$errors"; }; exit 143' TERM INT HUP

run_once() {
  prefix=$(mktemp -d /tmp/vigilon-wine.XXXXXX)
  out=$prefix.stdout errors=$prefix.stderr
  wine_prefix_copy "$prefix" || echo "with-wine: no prefix to copy; Wine makes one" >&2
  # What the program writes is passed on when it ends, so that nothing Wine
  # leaves behind keeps a pipe of ours open.
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,wineusb.sys=" DISPLAY=
    unset WAYLAND_DISPLAY
    exec "$wine" "$@" >"$out" 2>"$errors"
  ) &
  # Waited for in the background, so that a signal is acted on at once.
  wait $!
  status=$?
  end_prefix
  cat "$out"
  cat "$errors" >&2
  wine_failed=
  if grep -q '^wineserver[^:]*: .*Assertion' "$errors"; then
    wine_failed="Wine's server failed while the program ran"
  elif [ "$status" != 0 ] && [ ! -s "$out" ] && [ ! -s "$errors" ]; then
    wine_failed="the program failed (status $status) without a word of output"
  fi
  rm -rf "$prefix" "$out" "$errors"
  prefix=
}

run_once "$@"
for again in 2 3; do
  [ -n "$wine_failed" ] || break
  echo "with-wine: $wine_failed; running it again ($again of 3)" >&2
  run_once "$@"
done
if [ -n "$wine_failed" ]; then
  echo "with-wine: three times $wine_failed" >&2
  [ "$status" = 0 ] && status=70
fi
exit $status
