#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a fresh WINEPREFIX that is
# removed afterwards.
set -u
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ]; then echo "with-wine: wine is not installed" >&2; exit 127; fi
prefix=$(mktemp -d /tmp/vigilon-wine.XXXXXX)
. "$(dirname "$0")/wine-prefix-copy.sh"
wine_prefix_copy "$prefix" || echo "with-wine: no prefix to copy; Wine makes one" >&2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
unset WAYLAND_DISPLAY
"$wine" "$@"
status=$?
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] && WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null
rm -rf "$prefix"
exit $status
