#!/usr/bin/env bash
# Unpacks Debian's own source package of a library into a folder, for the
# Windows build, which compiles such libraries in (Debian packages them for
# Linux only). Where the machine's apt sources name no source archive, source
# entries are derived from its own configured binary entries, so that no
# script names an archive itself. Where the newest version's source cannot be
# fetched, the older versions the sources list are tried in turn.
#
#   scripts/debian-source.sh PACKAGE DIR
set -euo pipefail
package="$1"
into="$2"

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive

# Source packages come from the same archives as the binary ones: where the
# machine's sources name none, their source entries are derived from its own
# configured binary entries, so this script names no archive itself.
if ! apt-get source --print-uris "$package" >/dev/null 2>&1; then
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
    echo "debian-source: this machine's apt sources name no archive to take $package's source from" >&2
    exit 1
  fi
  echo "debian-source: adding source entries for the configured archives ($list.*)" >&2
  if [ -s "$derived" ]; then $SUDO cp "$derived" "$list.sources"; $SUDO chmod 644 "$list.sources"; fi
  if [ -n "$oneline" ]; then printf '%s\n' "$oneline" | $SUDO tee "$list.list" >/dev/null; fi
  rm -f "$derived"
  $SUDO apt-get update -qq
fi

(
  cd "$into"
  if apt-get source -qq "$package" >/dev/null 2>&1; then
    exit 0
  fi
  for version in $(apt-cache showsrc "$package" | awk '/^Version:/ { print $2 }'); do
    rm -rf ./*
    if apt-get source -qq "$package=$version" >/dev/null 2>&1; then
      exit 0
    fi
  done
  echo "debian-source: no source of $package could be fetched" >&2
  exit 1
)
