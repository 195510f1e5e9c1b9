#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Pictures of the Windows front end's windows: runs vigilon-screens.exe in a
# fresh Wine prefix on an X server of its own, with the dialogs' font
# "ＭＳ Ｐゴシック" replaced by IPAPGothic (fonts-ipafont-gothic) as the
# Linux build does, and writes one PNG per window into OUT-DIR; at the
# screen resolution DPI when given (96 unless), on a screen large enough for
# the windows at it.
# Usage: screens.sh VIGILON-SCREENS-EXE OUT-DIR [DPI]
set -u
exe=$1
out=$(realpath -m "$2")
dpi=${3:-96}
mkdir -p "$out"
VIGILON_WINE_XVFB=1
[ "$dpi" -gt 120 ] && VIGILON_WINE_SCREEN=${VIGILON_WINE_SCREEN:-2560x1600}
. "$(dirname "$0")/../../tests/support/wine-prefix.sh"

# The replacement, written as a registry file (UTF-16, as regedit reads it).
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n"ＭＳ ゴシック"="IPAGothic"\r\n"MS UI Gothic"="IPAPGothic"\r\n' |
  iconv -f UTF-8 -t UTF-16 > "$WINEPREFIX/drive_c/fonts.reg"
win regedit /S 'C:\fonts.reg' >/dev/null || fail "the font replacement could not be written"
win reg query 'HKCU\Software\Wine\Fonts\Replacements' | grep -q IPAPGothic || fail "no font replacement"
if [ "$dpi" != 96 ]; then
  set_dpi "$dpi" || fail "the resolution could not be set"
  # Seen by the programs of the next server.
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  "$wineserver" -p
fi

dir="$WINEPREFIX/drive_c/screens"
mkdir -p "$dir"
cp "$exe" "$dir/vigilon-screens.exe"
(cd "$dir" && timeout 120 "$wine" vigilon-screens.exe 'C:\screens') || fail "vigilon-screens failed"
for bmp in "$dir"/*.bmp; do
  png="$out/$(basename "${bmp%.bmp}").png"
  bmptopnm "$bmp" 2>/dev/null | pnmtopng > "$png" || fail "cannot convert $bmp (netpbm)"
  echo "$png"
done
