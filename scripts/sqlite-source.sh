#!/usr/bin/env bash
# The Windows programs keep their history in SQLite, which Debian packages for
# Linux only. This fetches Debian's own source package of SQLite and makes
# its single-file form (sqlite3.c, sqlite3.h), which the mingw build compiles
# in. Safe to run again: once the files are there it only checks.
#
#   scripts/sqlite-source.sh [DIR]   (default: build/deps/sqlite3)
set -euo pipefail
cd "$(dirname "$0")/.."
dest="${1:-${VIGILON_SQLITE_DIR:-$PWD/build/deps/sqlite3}}"
if [ -s "$dest/sqlite3.c" ] && [ -s "$dest/sqlite3.h" ]; then
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash scripts/debian-source.sh sqlite3 "$work"
(
  cd "$work"
  src="$(find . -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)"
  [ -n "$src" ] || { echo "sqlite-source: no source tree unpacked" >&2; exit 1; }
  mkdir "$src/bld"
  cd "$src/bld"
  ../configure --quiet >/dev/null
  make -s sqlite3.c >/dev/null
)
mkdir -p "$dest"
cp "$work"/sqlite3-*/bld/sqlite3.c "$work"/sqlite3-*/bld/sqlite3.h "$dest/"
echo "sqlite-source: $(grep -m1 '#define SQLITE_VERSION ' "$dest/sqlite3.h" | awk '{print $3}') in $dest" >&2
