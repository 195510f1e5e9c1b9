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

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive

# Source packages come from the same archives as the binary ones: where the
# machine's sources name none, their source entries are derived from its own
# configured binary entries, so this script names no archive itself.
if ! apt-get source --print-uris sqlite3 >/dev/null 2>&1; then
  list=/etc/apt/sources.list.d/vigilon-sources
  derived="$(mktemp)"
  # deb822 files: each stanza of Types deb, with Types deb-src.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && [ "$f" != "$list.sources" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         {
           n = split($0, line, "\n"); out = ""; keep = 0
           for (i = 1; i <= n; i++) {
             if (line[i] ~ /^#/) continue
             if (line[i] ~ /^Enabled:[ \t]*no/) { keep = 0; out = ""; break }
             if (line[i] ~ /^Types:/) {
               if (line[i] ~ /[ \t]deb([ \t]|$)/) keep = 1
               line[i] = "Types: deb-src"
             }
             out = out line[i] "\n"
           }
           if (keep) printf "%s\n", out
         }' "$f" >>"$derived"
  done
  # One-line files: each deb line as a deb-src line.
  oneline="$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p')"
  if [ ! -s "$derived" ] && [ -z "$oneline" ]; then
    echo "sqlite-source: this machine's apt sources name no archive to take SQLite's source from" >&2
    exit 1
  fi
  echo "sqlite-source: adding source entries for the configured archives ($list.*)" >&2
  if [ -s "$derived" ]; then $SUDO cp "$derived" "$list.sources"; $SUDO chmod 644 "$list.sources"; fi
  if [ -n "$oneline" ]; then printf '%s\n' "$oneline" | $SUDO tee "$list.list" >/dev/null; fi
  rm -f "$derived"
  $SUDO apt-get update -qq
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(
  cd "$work"
  apt-get source -qq sqlite3 >/dev/null 2>&1 || apt-get source sqlite3
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
