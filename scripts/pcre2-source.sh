#!/usr/bin/env bash
# The Windows programs judge HTTP content rules with PCRE2, which Debian
# packages for Linux only. This takes Debian's own source package of PCRE2 and
# puts what its 8-bit library is compiled from (the library's sources, its
# generic config.h and pcre2.h, the default character tables, and the list of
# the sources, and its licence) in one folder, which the mingw build compiles in without JIT.
# Safe to run again: once the files are there it only checks.
#
#   scripts/pcre2-source.sh [DIR]   (default: build/deps/pcre2)
set -euo pipefail
cd "$(dirname "$0")/.."
dest="${1:-${VIGILON_PCRE2_DIR:-$PWD/build/deps/pcre2}}"
if [ -s "$dest/sources.txt" ] && [ -s "$dest/pcre2.h" ] && [ -s "$dest/config.h" ] && [ -s "$dest/LICENCE" ]; then
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash scripts/debian-source.sh pcre2 "$work"
src="$(find "$work" -maxdepth 1 -type d -name 'pcre2-*' | head -n 1)"
[ -n "$src" ] || { echo "pcre2-source: no source tree unpacked" >&2; exit 1; }
mkdir -p "$dest"
cp "$src"/src/*.c "$src"/src/*.h "$dest/"
cp "$src/src/config.h.generic" "$dest/config.h"
cp "$src/src/pcre2.h.generic" "$dest/pcre2.h"
cp "$src/src/pcre2_chartables.c.dist" "$dest/pcre2_chartables.c"
# Its licence asks that the notice go with the programs built from it.
cp "$src/LICENCE" "$dest/LICENCE"
# The library's own sources, as its build lists them.
sed -n '/^SET(PCRE2_SOURCES/,/^)/p' "$src/CMakeLists.txt" | grep -o '[a-z0-9_]*\.c' >"$dest/sources.txt"
[ -s "$dest/sources.txt" ] || { echo "pcre2-source: the list of sources was not found" >&2; exit 1; }
echo "pcre2-source: $(basename "$src") in $dest" >&2
