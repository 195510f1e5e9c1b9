#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows delivery under Wine against real receivers on loopback: an HTTP
# receiver that takes messages, one that answers 500, and a port with nothing
# behind it. The test program gets their ports in its environment; what the
# good receiver took is checked here after it ends.
# Usage: delivery-test.sh TEST-EXE [gtest arguments...]
set -u
exe=$1
shift
fail() { echo "FAILED: $*" >&2; exit 1; }
. "$(dirname "$0")/../../support/wine-prefix.sh"
servers=${VIGILON_SOURCE_DIR:-$(cd "$(dirname "$0")/../../.." && pwd)}/tests/support/channel_servers.py

work=$(mktemp -d /tmp/vigilon-delivery.XXXXXX)
pids=()
stop_all() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
  cleanup
}
trap stop_all EXIT

# receive NAME MODE: an HTTP receiver; its port in VIGILON_RECEIVER_NAME.
receive() {
  /usr/bin/python3 "$servers" http "$2" "$work/$1.jsonl" 2>"$work/$1.log" &
  pids+=($!)
  local port=
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^listening \([0-9]*\).*/\1/p' "$work/$1.log")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { cat "$work/$1.log" >&2; fail "receiver $1 did not start"; }
  export "VIGILON_RECEIVER_${1^^}=$port"
}
receive ok ok
receive failing status500
VIGILON_RECEIVER_CLOSED=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export VIGILON_RECEIVER_CLOSED

win "$exe" "$@" || fail "the test program failed"
# The message, then the test message, each once.
count=$(wc -l <"$work/ok.jsonl")
[ "$count" = 2 ] || { cat "$work/ok.jsonl" >&2; fail "the good receiver took $count messages, not 2"; }
grep -q '"path": "/hook"' "$work/ok.jsonl" || fail "the message went elsewhere"
grep -q 'from Wine' "$work/ok.jsonl" || fail "the message's body did not arrive"
echo "delivery-test: passed"
