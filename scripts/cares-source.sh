#!/usr/bin/env bash
# The Windows programs ask DNS servers through c-ares, which Debian packages
# for Linux only. This takes Debian's own source package of c-ares and puts
# what its library is compiled from (its public headers, its sources with
# its own configuration header for Windows, and the list of the sources) in one
# folder, which the mingw build compiles in statically.
# Safe to run again: once the files are there it only checks.
#
#   scripts/cares-source.sh [DIR]   (default: build/deps/c-ares)
set -euo pipefail
cd "$(dirname "$0")/.."
dest="${1:-${VIGILON_CARES_DIR:-$PWD/build/deps/c-ares}}"
if [ -s "$dest/sources.txt" ] && [ -s "$dest/include/ares.h" ] && [ -s "$dest/src/config-win32.h" ] &&
  [ -s "$dest/LICENSE.md" ]; then
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash scripts/debian-source.sh c-ares "$work"
src="$(find "$work" -maxdepth 1 -type d -name 'c-ares-*' | head -n 1)"
[ -n "$src" ] || { echo "cares-source: no source tree unpacked" >&2; exit 1; }
mkdir -p "$dest/include" "$dest/src"
cp "$src"/include/ares.h "$src"/include/ares_build.h "$src"/include/ares_dns.h "$src"/include/ares_nameser.h \
  "$src"/include/ares_rules.h "$src"/include/ares_version.h "$dest/include/"
cp "$src"/src/lib/*.c "$src"/src/lib/*.h "$dest/src/"
# Its licence asks that the notice go with the programs built from it.
cp "$src/LICENSE.md" "$dest/LICENSE.md"
# The library's own sources, as its build lists them.
sed -n '/^CSOURCES/,/^$/p' "$src/src/lib/Makefile.inc" | grep -o '[a-z0-9_]*\.c' >"$dest/sources.txt"
[ -s "$dest/sources.txt" ] || { echo "cares-source: the list of sources was not found" >&2; exit 1; }
echo "cares-source: $(basename "$src") in $dest" >&2
