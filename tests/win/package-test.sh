#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows packages made by cpack from this build: the zip holds the
# three programs and the help pages in one folder; the installer installs
# silently into a Wine prefix, with the service when asked (/SERVICE), and
# its uninstaller removes the service and the files.
# Usage: package-test.sh CPACK BUILD_DIR
set -u
cpack=$1
build=$2
. "$(dirname "$0")/wine-prefix.sh"

out_dir="$WINEPREFIX/package"
"$cpack" --config "$build/CPackConfig.cmake" -B "$out_dir" >/dev/null || fail "cpack failed"
zip=$(ls "$out_dir"/Vigilon-*-win64.zip 2>/dev/null)
installer=$(ls "$out_dir"/Vigilon-*-win64.exe 2>/dev/null)
[ -f "$zip" ] || fail "no zip"
[ -f "$installer" ] || fail "no installer"
listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort | tr '\n' ' ')
expected="Vigilon.exe Vigilsvc.exe docs_ja/read1st.htm vigilon-reg.exe "
[ "$listing" = "$expected" ] || fail "the zip holds \"$listing\", not \"$expected\""
echo "ok: the zip holds $listing"

win "$installer" /S /SERVICE >/dev/null || fail "the installer failed"
dir="$WINEPREFIX/drive_c/Program Files/Vigilon"
for f in Vigilon.exe Vigilsvc.exe vigilon-reg.exe docs_ja/read1st.htm Uninstall.exe; do
  [ -f "$dir/$f" ] || fail "the installer did not install $f"
done
echo "ok: the installer installs the programs, the help pages and its uninstaller"
out=$(sc_query Vigilsvc)
expect_in "$out" "STOPPED" "the installer installs the service when asked"

# _?= keeps the uninstaller from copying itself away and returning at once.
win "$dir/Uninstall.exe" /S '_?=C:\Program Files\Vigilon' >/dev/null
out=$(sc_query Vigilsvc)
case "$out" in
  *STOPPED*|*RUNNING*) printf '%s\n' "$out" >&2; fail "the service is still there after the uninstall" ;;
esac
echo "ok: the uninstaller removes the service"
[ -f "$dir/Vigilon.exe" ] && fail "the uninstaller left Vigilon.exe"
echo "ok: the uninstaller removes the programs"
echo PASSED
