#!/usr/bin/env bash
# The Windows programs send channel messages with libcurl, which Debian
# packages for Linux only. This takes Debian's own source package of curl and
# puts what the library is compiled from (lib/ with its Windows configuration,
# include/, and the list of the library's sources as its own build lists
# them) in one folder, which the mingw build compiles in with Schannel.
# Safe to run again: once the files are there it only checks.
#
#   scripts/curl-source.sh [DIR]   (default: build/deps/curl)
set -euo pipefail
cd "$(dirname "$0")/.."
dest="${1:-${VIGILON_CURL_DIR:-$PWD/build/deps/curl}}"
if [ -s "$dest/sources.txt" ] && grep -q '^vquic/vquic\.c$' "$dest/sources.txt" &&
  [ -s "$dest/include/curl/curl.h" ] && [ -s "$dest/lib/config-win32.h" ]; then
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash scripts/debian-source.sh curl "$work"
src="$(find "$work" -maxdepth 1 -type d -name 'curl-*' | head -n 1)"
[ -n "$src" ] || { echo "curl-source: no source tree unpacked" >&2; exit 1; }
mkdir -p "$dest"
rm -rf "$dest/lib" "$dest/include"
cp -r "$src/lib" "$src/include" "$dest/"
cp "$src/COPYING" "$dest/COPYING"
# The library's own sources, as its build lists them: the core, the
# authentication, TLS and QUIC layers (the last without a QUIC library:
# only what HTTP asks of it). The SSH layer stays out.
awk '/^LIB_(VAUTH_|VTLS_|VQUIC_)?CFILES[ \t]*=/ { on = 1 }
     on { for (i = 1; i <= NF; i++) if ($i ~ /\.c$/) print $i; if ($0 !~ /\\$/) on = 0 }' \
  "$src/lib/Makefile.inc" >"$dest/sources.txt"
[ -s "$dest/sources.txt" ] || { echo "curl-source: the list of sources was not found" >&2; exit 1; }
echo "curl-source: $(basename "$src") in $dest" >&2
