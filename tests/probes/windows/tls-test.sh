#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The TLS session on Schannel under Wine against real TLS servers on
# loopback: openssl s_server with certificates made here, a test CA that the
# test program trusts in its own prefix, and a second CA that nobody trusts.
# Usage: tls-test.sh TEST-EXE [gtest arguments...]
set -u
exe=$1
shift
command -v openssl >/dev/null || { echo "FAILED: openssl is not installed" >&2; exit 1; }
. "$(dirname "$0")/../../support/wine-prefix.sh"

work=$test_work
cd "$work" || fail "no work folder"

# ca NAME: a self-signed CA.
ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 \
    -subj "/CN=Vigilon test $1" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign >/dev/null 2>&1 || fail "CA $1 not made"
  mkdir -p "$1.db"
  : >"$1.db/index.txt"
  echo 1000 >"$1.db/serial"
}
# leaf NAME CA SUBJECT_ALT_NAMES START END: a server certificate with exact
# dates (openssl ca sets both; YYYYMMDDHHMMSSZ, UTC).
leaf() {
  cat >"$1.cnf" <<EOF
[ca]
default_ca = this
[this]
database = $2.db/index.txt
serial = $2.db/serial
new_certs_dir = $2.db
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $3
EOF
  openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" >/dev/null 2>&1 &&
    openssl ca -batch -config "$1.cnf" -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.pem" \
      -extensions server -startdate "$4" -enddate "$5" >/dev/null 2>&1 || fail "certificate $1 not made"
}
ca trusted
ca stranger
# An intermediate CA under the trusted one, which only the server names.
openssl req -new -newkey rsa:2048 -nodes -keyout middle.key -out middle.csr -subj "/CN=Vigilon test middle" \
  >/dev/null 2>&1 &&
  printf 'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n' >middle.ext &&
  openssl x509 -req -in middle.csr -CA trusted.pem -CAkey trusted.key -set_serial 2 -days 3650 \
    -extfile middle.ext -out middle.pem >/dev/null 2>&1 || fail "intermediate CA not made"
mkdir -p middle.db
: >middle.db/index.txt
echo 1000 >middle.db/serial
leaf good trusted "DNS:localhost,IP:127.0.0.1,IP:::1" 20240101000000Z 20450101000000Z
leaf address trusted "IP:127.0.0.1" 20240301000000Z 20440301000000Z
leaf wrongname trusted "DNS:elsewhere.test" 20240101000000Z 20450101000000Z
leaf expired trusted "DNS:elsewhere.test" 20200101000000Z 20210101000000Z
leaf future trusted "DNS:elsewhere.test" 20900101000000Z 20910101000000Z
leaf chained middle "DNS:localhost" 20240101000000Z 20450101000000Z
leaf untrusted stranger "DNS:elsewhere.test" 20200101000000Z 20210101000000Z

# serve NAME ADDRESS ARGS...: s_server in its web mode (it answers a GET
# with a page and a close_notify), on a port of the system's choice, told
# to the test program as VIGILON_TLS_PORT_NAME.
serve() {
  local name=$1 address=$2 port= i
  shift 2
  openssl s_server -accept "$address:0" -www -naccept 16 "$@" >"$name.log" 2>&1 </dev/null &
  beside $!
  for i in $(seq 1 50); do
    port=$(sed -n 's/^ACCEPT .*:\([0-9]*\)$/\1/p' "$name.log")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { cat "$name.log" >&2; fail "s_server $name did not start"; }
  export "VIGILON_TLS_PORT_${name^^}=$port"
}
# The named server shows a name only to a client that sent it: without SNI
# a client gets the address-only certificate, and any other name sent ends
# the handshake. It also asks for a client certificate it does not need.
serve named 127.0.0.1 -cert address.pem -key address.key -servername localhost -servername_fatal \
  -cert2 good.pem -key2 good.key -verify 1
serve ipv6 '[::1]' -cert good.pem -key good.key
serve chained 127.0.0.1 -cert chained.pem -key chained.key -cert_chain middle.pem
serve expired 127.0.0.1 -cert expired.pem -key expired.key
serve wrongname 127.0.0.1 -cert wrongname.pem -key wrongname.key
serve untrusted 127.0.0.1 -cert untrusted.pem -key untrusted.key
serve future 127.0.0.1 -cert future.pem -key future.key

export VIGILON_TLS_CA="Z:${work//\//\\}\\trusted.pem"
win "$exe" "$@"
