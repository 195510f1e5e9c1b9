#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a fresh WINEPREFIX that is
# removed afterwards.
#
# Wine 8's own server now and then stops on an assertion when sockets are
# closed and reopened at a high rate. Its programs are then left without a
# server: the one we ran ends as if it had succeeded, and the ones Wine
# started beside it hold our output open for good. Such a run says nothing
# about the program, so it is run once more in a new prefix; a second such
# failure fails.
set -u
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ]; then echo "with-wine: wine is not installed" >&2; exit 127; fi
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
. "$(dirname "$0")/wine-prefix-copy.sh"

# Runs the program once; sets status, and server_failed when Wine's server
# stopped on its own.
prefix= errors=
end_prefix() {
  [ -n "$wineserver" ] && WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null
  end_prefix_processes "$prefix"
}
# Stopped from outside (a test's timeout): nothing of the prefix is left.
trap '[ -n "$prefix" ] && { end_prefix; rm -rf "$prefix" "$errors"; }; exit 143' TERM INT HUP

run_once() {
  prefix=$(mktemp -d /tmp/vigilon-wine.XXXXXX)
  errors=$prefix.stderr
  wine_prefix_copy "$prefix" || echo "with-wine: no prefix to copy; Wine makes one" >&2
  # What the program writes to its standard error is passed on when it
  # ends, so that nothing Wine leaves behind keeps a pipe of ours open.
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
    unset WAYLAND_DISPLAY
    exec "$wine" "$@" 2>"$errors"
  ) &
  # Waited for in the background, so that a signal is acted on at once.
  wait $!
  status=$?
  end_prefix
  cat "$errors" >&2 2>/dev/null
  server_failed=0
  grep -q '^wineserver[^:]*: .*Assertion' "$errors" 2>/dev/null && server_failed=1
  rm -rf "$prefix" "$errors"
  prefix=
}

run_once "$@"
if [ "$server_failed" = 1 ]; then
  echo "with-wine: Wine's server failed while the program ran; running it once more" >&2
  run_once "$@"
  if [ "$server_failed" = 1 ]; then
    echo "with-wine: Wine's server failed again" >&2
    [ "$status" = 0 ] && status=70
  fi
fi
exit $status
