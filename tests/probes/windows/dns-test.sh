#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The DNS check on Winsock under Wine against a real DNS server on
# loopback: dnsmasq, started here as the user on a free port with static
# records only, whose port the test program reads from VIGILON_DNS_PORT.
# Usage: dns-test.sh TEST-EXE [gtest arguments...]
set -u
exe=$1
shift
dnsmasq=/usr/sbin/dnsmasq
[ -x "$dnsmasq" ] || { echo "FAILED: dnsmasq is not installed (scripts/bootstrap.sh installs it)" >&2; exit 1; }
. "$(dirname "$0")/../../support/wine-prefix.sh"

work=$test_work
server=

user=()
[ "$(id -u)" = 0 ] && user=(--user=root)
texts=()
for letter in a b c d e f g h i j; do
  texts+=("--txt-record=big.test.example,$(printf "%200s" "" | tr ' ' "$letter")")
done
# A port that another process holds makes dnsmasq end at once: another is tried.
for _ in $(seq 1 10); do
  port=$((20000 + RANDOM % 40000))
  "$dnsmasq" --conf-file --no-resolv --no-hosts --keep-in-foreground --log-facility=- --pid-file \
    --bind-interfaces --listen-address=127.0.0.1 --port="$port" "${user[@]}" \
    --host-record=www.test.example,192.0.2.10 --local=/test.example/ "${texts[@]}" \
    >"$work/dnsmasq.log" 2>&1 </dev/null &
  server=$!
  beside "$server"
  for _ in $(seq 1 50); do
    grep -q "started, version" "$work/dnsmasq.log" && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$server" 2>/dev/null && grep -q "started, version" "$work/dnsmasq.log" && break
  wait "$server" 2>/dev/null
  server=
done
[ -n "$server" ] || { cat "$work/dnsmasq.log" >&2; fail "dnsmasq did not start"; }

export VIGILON_DNS_PORT=$port
win "$exe" "$@"
