#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Vigilon needs.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev
  libsqlite3-dev sqlite3
  # The regular expressions of HTTP content rules.
  libpcre2-dev
  # The DNS checks ask their servers through c-ares; the tests start dnsmasq
  # as the DNS server (run as the user, on a loopback port).
  libc-ares-dev dnsmasq-base
  # Channel messages (webhooks and mail) are sent with libcurl; the tests
  # receive mail with aiosmtpd.
  libcurl4-openssl-dev python3-aiosmtpd
  # The TLS and HTTPS checks (OpenSSL 3), and openssl s_server to try them by hand.
  libssl-dev openssl
  # The metrics endpoint's HTTP server and its compression; Prometheus and
  # promtool test it and the alerting rules, and Alertmanager routes the
  # rules' alerts in the test across machines.
  libmicrohttpd-dev zlib1g-dev prometheus prometheus-alertmanager
  # The JSON of the entries' API (header-only; the Windows build uses the
  # same headers).
  nlohmann-json3-dev
  # The status page's tests open it in a real headless browser, driven over
  # WebDriver.
  chromium chromium-driver
  googletest libgtest-dev libgmock-dev
  xvfb xauth trayer x11-utils dbus dbus-x11
  fonts-ipafont-gothic
  iproute2 procps strace util-linux
  desktop-file-utils appstream systemd dpkg-dev fakeroot file lintian
  # xdg-open opens the help page and alert commands that name documents.
  xdg-utils
)

if [ "${VIGILON_MINGW:-0}" = 1 ]; then
  # netpbm turns the Windows screens tool's bitmaps into PNG files.
  # openssl's s_server is the TLS server of the Schannel session's test.
  # tcl and dpkg-dev make SQLite's single source file out of Debian's
  # source package (scripts/sqlite-source.sh, below). libz-mingw-w64-dev
  # compresses the Windows metrics. locales holds the Japanese locale's
  # source, from which a test makes the locale under which Wine's code page
  # holds Japanese. PCRE2, c-ares and libcurl come from their source packages
  # the same way (scripts/pcre2-source.sh, scripts/cares-source.sh,
  # scripts/curl-source.sh).
  packages+=(g++-mingw-w64-x86-64-posix wine64 googletest nsis netpbm openssl tcl dpkg-dev libz-mingw-w64-dev locales)
fi

# The command-line checkers that the side-by-side benchmark runs beside ours.
if [ "${VIGILON_BENCH:-0}" = 1 ]; then
  packages+=(fping monitoring-plugins-basic httping nmap curl)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}" >&2
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# SQLite, PCRE2, c-ares and libcurl for the Windows programs, from Debian's
# source packages.
if [ "${VIGILON_MINGW:-0}" = 1 ]; then
  bash "$(dirname "$0")/sqlite-source.sh"
  bash "$(dirname "$0")/pcre2-source.sh"
  bash "$(dirname "$0")/cares-source.sh"
  bash "$(dirname "$0")/curl-source.sh"
fi
