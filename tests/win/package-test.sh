#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows packages made by cpack from this build: the zip holds the
# three programs (stripped) and the help pages in one folder; the installer
# shows the project's licence and installs silently into a Wine prefix, with
# the service when asked (/SERVICE, quoted path, started). Installing again
# keeps the configuration and the service as it was; the uninstaller removes
# the service, its event source and the files, and the configuration only
# with /REMOVESETTINGS. A Vigilon that runs is ended in order by both; a
# program of the folder that does not end fails either with status 2 before
# anything changed. Vigilon makes its windows on an X server of the test's
# own.
# Usage: package-test.sh CPACK BUILD_DIR OBJDUMP
set -u
cpack=$1
build=$2
objdump=$3
VIGILON_WINE_XVFB=1
. "$(dirname "$0")/../support/wine-prefix.sh"

out_dir="$WINEPREFIX/package"
"$cpack" --config "$build/CPackConfig.cmake" -B "$out_dir" >/dev/null || fail "cpack failed"
zip=$(ls "$out_dir"/Vigilon-*-win64.zip 2>/dev/null)
installer=$(ls "$out_dir"/Vigilon-*-win64.exe 2>/dev/null)
[ -f "$zip" ] || fail "no zip"
[ -f "$installer" ] || fail "no installer"
listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort | tr '\n' ' ')
expected="THIRD-PARTY.txt Vigilon.exe Vigilsvc.exe docs/read1st.htm docs_ja/read1st.htm vigilon-reg.exe "
[ "$listing" = "$expected" ] || fail "the zip holds \"$listing\", not \"$expected\""
echo "ok: the zip holds $listing"
# Stripped in the zip (no debugging sections, no symbols), while the build
# keeps both for the debugger.
unzipped="$WINEPREFIX/unzipped"
mkdir -p "$unzipped" && (cd "$unzipped" && cmake -E tar xf "$zip") || fail "cannot unpack the zip"
stripped() { ! "$objdump" -h "$1" | grep -q '\.debug_' && ! "$objdump" -t "$1" | grep -q '^\['; }
for f in Vigilon.exe Vigilsvc.exe vigilon-reg.exe; do
  stripped "$unzipped/$f" || fail "the zip's $f keeps its debugging information or symbols"
done
stripped "$build/win/Vigilon.exe" && fail "the build's own Vigilon.exe lost its debugging information"
echo "ok: the zip's programs are stripped, the build's are not"
licence=$(sed -n 's/.*MUI_PAGE_LICENSE "\(.*\)"/\1/p' "$out_dir/_CPack_Packages/win64/NSIS/project.nsi")
grep -q "Permission is hereby granted" "$licence" 2>/dev/null || fail "the licence page shows $licence, not the MIT licence"
echo "ok: the licence page is the MIT licence"
# The libraries compiled in keep their notices, on the licence page and
# beside the programs: PCRE2's licence asks for its text.
for f in "$licence" "$unzipped/THIRD-PARTY.txt"; do
  grep -q "PCRE2 LICENCE" "$f" 2>/dev/null && grep -q "public domain" "$f" &&
    grep -q "c-ares (DNS entries), under" "$f" && grep -q "libcurl (messages to channels), under" "$f" ||
    fail "$f lacks the notices of the libraries compiled in"
done
echo "ok: PCRE2's licence and SQLite's dedication go with the programs"

dir="$WINEPREFIX/drive_c/Program Files/Vigilon"
program_key='HKLM\Software\Ardentis\Vigilon'
services='HKLM\System\CurrentControlSet\Services'
reg_value() { win reg query "$1" /v "$2" 2>/dev/null; }
start_type() { reg_value "$services\\Vigilsvc" Start | sed -n 's/.*REG_DWORD *//p'; }
service_state() { sc_query Vigilsvc | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
is_running() { [ "$(service_state)" = RUNNING ]; }
is_stopped() { [ "$(service_state)" = STOPPED ]; }

# Not through win's pipe: this first program with a window starts Wine's
# desktop process, which keeps the output it inherits open for good.
timeout 120 "$wine" "$installer" /S /SERVICE >/dev/null 2>&1 || fail "the installer failed"
for f in Vigilon.exe Vigilsvc.exe vigilon-reg.exe docs/read1st.htm docs_ja/read1st.htm Uninstall.exe; do
  [ -f "$dir/$f" ] || fail "the installer did not install $f"
done
echo "ok: the installer installs the programs, the help pages and its uninstaller"
for f in Vigilon.exe Vigilsvc.exe vigilon-reg.exe; do
  stripped "$dir/$f" || fail "$f is installed with its debugging information or symbols"
done
echo "ok: the programs are installed stripped"
wait_for 30 is_running || fail "the installer did not start the service it installed ($(service_state))"
echo "ok: the installer installs the service when asked and starts it"
# (Wine's sc has neither qc nor config: the manager's own values.)
out=$(reg_value "$services\\Vigilsvc" ImagePath)
expect_in "$out" '"C:\Program Files\Vigilon\Vigilsvc.exe"' "the service's path is quoted"
out=$(win "$dir/vigilon-reg.exe" --help)
expect_in "$out" "The store is the Windows registry" "vigilon-reg --help describes the registry"
expect_in "$out" "lost unless Vigilon ends first" "vigilon-reg --help says when Vigilon overwrites a change"

# The configuration as Vigilon keeps it, and the record an installer of an
# earlier version kept in the configuration key.
reg_tool="$dir/vigilon-reg.exe"
win "$reg_tool" add "$program_key\\Monitor" /v "Port Count" /t REG_DWORD /d 1 /f >/dev/null || fail "vigilon-reg add"
win "$reg_tool" add "$program_key\\Monitor" /v "PortName #0" /t REG_EXPAND_SZ /d "TCP:22" /f >/dev/null
win reg add "$program_key" /ve /d 'C:\Program Files\Vigilon' /f >/dev/null

# A re-install while the service runs: it runs again afterwards.
win "$installer" /S >/dev/null || fail "the second install failed"
out=$(reg_value "$program_key\\Monitor" "PortName #0")
expect_in "$out" "TCP:22" "installing again keeps the configuration"
out=$(win reg query "$program_key" /ve)
case "$out" in *"Program Files"*) fail "the earlier installer's record stays in the configuration key" ;; esac
echo "ok: the earlier installer's record left the configuration key"
wait_for 30 is_running || fail "the service does not run after installing again ($(service_state))"
[ "$(start_type)" = 0x2 ] || fail "the start type changed to $(start_type)"
echo "ok: installing again keeps the running, automatic service"

# A stopped service stays stopped.
win sc stop Vigilsvc >/dev/null
wait_for 30 is_stopped || fail "sc stop"
win "$installer" /S >/dev/null || fail "the third install failed"
is_stopped || fail "installing again started a stopped service ($(service_state))"
echo "ok: installing again keeps the stopped service stopped"

# Processes of this prefix whose command line matches $1.
running() {
  local p n=0
  for p in $(pgrep -f "$1"); do
    tr '\0' '\n' 2>/dev/null < "/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && n=$((n + 1))
  done
  echo "$n"
}
none_running() { [ "$(running "$1")" -eq 0 ]; }
# A Vigilon of the user's, started from the installed folder; back once its
# tray icon is there, which its hidden frame window owns.
start_vigilon() {
  rm -f "$WINEPREFIX/drive_c/tray.txt"
  VIGILON_TRAY_TRACE='C:\tray.txt' "$wine" "$dir/Vigilon.exe" -service >/dev/null 2>&1 &
  wait_for 60 test -s "$WINEPREFIX/drive_c/tray.txt" || fail "Vigilon did not start"
}
# vigilon-reg waiting for the answer to its question holds its file and ends
# on no request; release_held ends it (no answer: nothing deleted).
hold_a_program() {
  mkfifo "$WINEPREFIX/answer"
  "$wine" "$dir/vigilon-reg.exe" delete "$program_key\\Monitor" < "$WINEPREFIX/answer" > "$WINEPREFIX/question" 2>&1 &
  exec 7> "$WINEPREFIX/answer"
  wait_for 60 grep -q "Yes/No" "$WINEPREFIX/question" || fail "vigilon-reg did not ask"
}
release_held() {
  exec 7>&-
  rm -f "$WINEPREFIX/answer"
  wait_for 30 none_running 'vigilon-reg\.exe' || fail "vigilon-reg did not end"
}

# Installing over a running Vigilon: it is ended in order and every
# program replaced (the installed Vigilon.exe made to differ first; data
# after its image leaves it a program that runs).
packed=$(ls "$out_dir"/_CPack_Packages/win64/NSIS/*/programs/Vigilon.exe)
cmp -s "$dir/Vigilon.exe" "$packed" || fail "the installer's Vigilon.exe is not $packed"
printf 'earlier' >> "$dir/Vigilon.exe"
start_vigilon
win "$installer" /S >/dev/null || fail "installing over a running Vigilon failed"
wait_for 30 none_running 'Vigilon\.exe' || fail "the install left Vigilon running"
cmp -s "$dir/Vigilon.exe" "$packed" || fail "the install kept the earlier Vigilon.exe"
is_stopped || fail "installing again started a stopped service ($(service_state))"
echo "ok: installing ends a running Vigilon and replaces its program"

# A program that does not end: the install fails with the reason, and
# nothing changes.
hold_a_program
printf 'earlier' >> "$dir/Vigilon.exe"
out=$(win "$installer" /S); status=$?
[ "$status" = 2 ] || fail "installing while a program is held ended with $status, not 2"
expect_in "$out" 'vigilon-reg.exe' "the failed install names the program"
cmp -s "$dir/Vigilon.exe" "$packed" && fail "the failed install replaced a program"
release_held
win "$installer" /S >/dev/null || fail "installing once the program ended failed"
echo "ok: a held program fails the install before anything changed"

# _?= keeps the uninstaller from copying itself away and returning at once;
# it is seen only unquoted at the end of the command line, which a batch
# file gives (the uninstaller's own status is the batch file's).
printf '@"C:\\Program Files\\Vigilon\\Uninstall.exe" /S %%* _?=C:\\Program Files\\Vigilon\r\n@exit /b %%errorlevel%%\r\n' \
  > "$WINEPREFIX/drive_c/uninstall.bat"
uninstall() { win cmd /c 'C:\uninstall.bat' "$@"; }
hold_a_program
out=$(uninstall); status=$?
[ "$status" = 2 ] || fail "uninstalling while a program is held ended with $status, not 2"
expect_in "$out" 'vigilon-reg.exe' "the failed uninstall names the program"
reg_value "$services\\EventLog\\Application\\Vigilsvc" EventMessageFile | grep -q Vigilsvc ||
  fail "the failed uninstall removed the event source"
win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vigilon' >/dev/null 2>&1 ||
  fail "the failed uninstall removed its uninstall entry"
[ -f "$dir/Vigilon.exe" ] || fail "the failed uninstall removed Vigilon.exe"
[ -n "$(service_state)" ] || fail "the failed uninstall removed the service"
release_held
echo "ok: a held program fails the uninstall before anything changed"

start_vigilon
uninstall >/dev/null || fail "the uninstall failed"
wait_for 30 none_running 'Vigilon\.exe' || fail "the uninstall left Vigilon running"
echo "ok: the uninstaller ends a running Vigilon"
case "$(service_state)" in ?*) fail "the service is still there after the uninstall" ;; esac
echo "ok: the uninstaller removes the service"
reg_value "$services\\EventLog\\Application\\Vigilsvc" EventMessageFile | grep -q Vigilsvc &&
  fail "the uninstaller left the event source"
echo "ok: the uninstaller removes the event source"
[ -f "$dir/Vigilon.exe" ] && fail "the uninstaller left Vigilon.exe"
echo "ok: the uninstaller removes the programs"
out=$(reg_value "$program_key\\Monitor" "PortName #0")
expect_in "$out" "TCP:22" "the uninstaller keeps the configuration"

win "$installer" /S >/dev/null || fail "the install after the uninstall failed"
case "$(service_state)" in ?*) fail "a silent install without /SERVICE installed the service" ;; esac
uninstall /REMOVESETTINGS >/dev/null
win reg query "$program_key" >/dev/null 2>&1 && fail "/REMOVESETTINGS left the configuration key"
echo "ok: the uninstaller removes the configuration with /REMOVESETTINGS"

# An upgrade of an install by an earlier version goes to its folder, which
# that installer kept in the configuration key.
win reg add "$program_key" /ve /d 'C:\Old Vigilon' /f >/dev/null
win "$installer" /S >/dev/null || fail "the upgrade of an earlier install failed"
[ -f "$WINEPREFIX/drive_c/Old Vigilon/Vigilon.exe" ] || fail "the upgrade did not go to the earlier install's folder"
echo "ok: an upgrade of an earlier install goes to its folder"
echo PASSED
