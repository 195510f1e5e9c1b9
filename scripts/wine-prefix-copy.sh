# SPDX-License-Identifier: MIT
# Sourced by what runs Windows programs under Wine. wine_prefix_copy DIR fills
# the empty folder DIR with a new Wine prefix. Booting one takes Wine ten
# seconds and more, copying one well under one, so a prefix is booted once
# per Wine version and user (in the user's cache, under a lock, so that tests
# running side by side wait for the one that boots it) and copied from then
# on. The booted one is never run itself: every copy starts as new.
# Expects $wine, the path of wine64 (or wine).
# Everything that runs Windows programs here leaves out Wine's .NET and HTML
# engines (never used, slow to set up) and its USB driver (never used, and it
# now and then crashes as Wine's device manager starts it):
#   WINEDLLOVERRIDES="mscoree,mshtml,wineusb.sys="
wine_prefix_copy() {
  local dir=$1 server version cache template
  server=$(dirname "$wine")/wineserver
  [ -x "$server" ] || server=$(command -v wineserver) || return 1
  version=$("$wine" --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' _ | head -n1)
  cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/vigilon
  template=$cache/wine-prefix-${version:-unknown}
  mkdir -p "$cache" || return 1
  (
    flock 9 || exit 1
    [ -f "$template/.booted" ] && exit 0
    rm -rf "$template" "$template.new"
    mkdir "$template.new" || exit 1
    export WINEPREFIX=$template.new WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,wineusb.sys=" DISPLAY=
    unset WAYLAND_DISPLAY
    # The prefix is made by the first program; the registry is written
    # when the server ends.
    timeout 180 "$wine" cmd /c exit >/dev/null 2>&1 || { "$server" -k; rm -rf "$template.new"; exit 1; }
    "$server" -w
    touch "$template.new/.booted" && mv "$template.new" "$template"
  ) 9>"$cache/wine-prefix.lock" || return 1
  cp -a "$template/." "$dir/" && rm -f "$dir/.booted"
}

# end_prefix_processes DIR ends every process still running in the prefix
# DIR: a server of Wine's that failed leaves its programs running, and they
# hold on to the output of whatever started them.
end_prefix_processes() {
  local entry pid
  for entry in /proc/[0-9]*/environ; do
    pid=${entry#/proc/}; pid=${pid%/environ}
    [ "$pid" = $$ ] && continue
    tr '\0' '\n' 2>/dev/null < "$entry" | grep -qxF "WINEPREFIX=$1" && kill -9 "$pid" 2>/dev/null
  done
  return 0
}
