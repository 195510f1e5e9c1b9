#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows delivery under Wine against real receivers on loopback: an HTTP
# receiver that takes messages, one that answers 500, and a port with nothing
# behind it; SMTP servers in the clear, with STARTTLS and with implicit TLS,
# their certificate from a CA made here that the test program trusts in the
# prefix's own root store. The test program gets
# their ports in its environment; what the good receivers took is checked
# here after it ends.
# Usage: delivery-test.sh TEST-EXE [gtest arguments...]
set -u
exe=$1
shift
fail() { echo "FAILED: $*" >&2; exit 1; }
. "$(dirname "$0")/../../support/wine-prefix.sh"
servers=${VIGILON_SOURCE_DIR:-$(cd "$(dirname "$0")/../../.." && pwd)}/tests/support/channel_servers.py

work=$test_work

# listening LOG WHAT: the port a receiver says in LOG once it listens.
listening() {
  local port=
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^listening \([0-9]*\).*/\1/p' "$1")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { cat "$1" >&2; fail "$2 did not start"; }
  echo "$port"
}
# receive NAME MODE: an HTTP receiver; its port in VIGILON_RECEIVER_NAME.
receive() {
  /usr/bin/python3 "$servers" http "$2" "$work/$1.jsonl" 2>"$work/$1.log" &
  beside $!
  local port
  port=$(listening "$work/$1.log" "receiver $1") || exit 1
  export "VIGILON_RECEIVER_${1^^}=$port"
}
receive ok ok
receive failing status500
# smtp NAME ARGS...: an SMTP server; its port in VIGILON_SMTP_NAME.
smtp() {
  local name=$1 port
  shift
  /usr/bin/python3 "$servers" smtp "$work/smtp-$name.jsonl" "$@" 2>"$work/smtp-$name.log" &
  beside $!
  port=$(listening "$work/smtp-$name.log" "SMTP server $name") || exit 1
  export "VIGILON_SMTP_${name^^}=$port"
}
# certify NAME CA: a CA and a server certificate from it for 127.0.0.1 and
# localhost.
certify() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$2.key" -out "$work/$2.pem" -days 3650 \
    -subj "/CN=Vigilon test $2" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign >/dev/null 2>&1 &&
    openssl req -new -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.csr" -subj "/CN=localhost" \
      >/dev/null 2>&1 &&
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n' \
      >"$work/$1.ext" &&
    openssl x509 -req -in "$work/$1.csr" -CA "$work/$2.pem" -CAkey "$work/$2.key" -set_serial 2 -days 3650 \
      -extfile "$work/$1.ext" -out "$work/$1.pem" >/dev/null 2>&1 || fail "certificate $1 not made"
}
command -v openssl >/dev/null || fail "openssl is not installed"
certify good trusted
smtp plain --plain
smtp starttls --cert "$work/good.pem" --key "$work/good.key"
smtp implicit --cert "$work/good.pem" --key "$work/good.key" --implicit
export VIGILON_SMTP_CA="Z:${work//\//\\}\\trusted.pem"
# The Windows program trusts the system's store, as on Windows, where no
# SSL_CERT_FILE is set; Linux's would hand it the Linux bundle alone.
unset SSL_CERT_FILE SSL_CERT_DIR
VIGILON_RECEIVER_CLOSED=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export VIGILON_RECEIVER_CLOSED

win "$exe" "$@" || fail "the test program failed"
# The message, then the test message, each once.
count=$(wc -l <"$work/ok.jsonl")
[ "$count" = 2 ] || { cat "$work/ok.jsonl" >&2; fail "the good receiver took $count messages, not 2"; }
grep -q '"path": "/hook"' "$work/ok.jsonl" || fail "the message went elsewhere"
grep -q 'from Wine' "$work/ok.jsonl" || fail "the message's body did not arrive"
# One mail to both recipients at each SMTP server.
for name in plain starttls implicit; do
  [ "$(wc -l <"$work/smtp-$name.jsonl" 2>/dev/null)" = 1 ] || fail "the $name SMTP server did not take one mail"
  grep -q '"to": \["a@example.org", "b@example.org"\]' "$work/smtp-$name.jsonl" || fail "$name: not to both recipients"
  grep -q 'Subject: Vigilon test message' "$work/smtp-$name.jsonl" || fail "$name: the mail's subject did not arrive"
done
echo "delivery-test: passed"
