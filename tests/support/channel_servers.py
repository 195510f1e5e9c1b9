#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Receivers of channel messages for the tests, on loopback.

  channel_servers.py http MODE RECORD [--port P] [--cert C --key K] [--fail N]
  channel_servers.py smtp RECORD --cert C --key K [--port P] [--implicit]
                      [--user U --password W]
  channel_servers.py smtp RECORD --plain [--port P]

Each says "listening PORT" on standard error once it takes connections and
appends what it receives to RECORD, one JSON document a line.

HTTP modes: ok (200), status500 (both say the request in RECORD), silent (reads the request, says so in
RECORD, never answers),
trickle (answers a byte a second). --fail N answers the first N requests
with 503 and the rest as the mode says. The SMTP server offers STARTTLS
(or, with --implicit, speaks TLS from the start) and, with a user, requires
a login after TLS; with --plain it speaks no TLS at all.
"""
import argparse
import asyncio
import json
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

lock = threading.Lock()


def record(path, document):
    with lock, open(path, "a", encoding="utf-8") as out:
        out.write(json.dumps(document) + "\n")


def serve_http(args):
    seen = {"count": 0}

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *_):
            pass

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length)
            with lock:
                seen["count"] += 1
                count = seen["count"]
            mode = args.mode if count > args.fail else "fail"
            if mode == "silent":
                record(args.record, {"held": True, "body": body.decode("utf-8", "replace")})
                time.sleep(3600)
                return
            if mode == "trickle":
                self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: 3600\r\n\r\n")
                for _ in range(3600):
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(1)
                return
            status = {"ok": 200, "status500": 500, "fail": 503}[mode]
            if mode != "fail":
                record(args.record, {"path": self.path, "status": status, "headers": dict(self.headers.items()),
                                     "body": body.decode("utf-8", "replace")})
            answer = b"received" if status == 200 else b"no"
            self.send_response(status)
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

    class Server(ThreadingHTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", args.port), Handler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(f"listening {server.server_address[1]}", file=sys.stderr, flush=True)
    server.serve_forever()


def serve_smtp(args):
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

    context = None
    if not args.plain:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            record(args.record, {"from": envelope.mail_from, "to": envelope.rcpt_tos,
                                 "data": envelope.content.decode("utf-8", "replace"),
                                 "login": session.authenticated})
            return "250 OK"

    def authenticator(server, session, envelope, mechanism, data):
        good = isinstance(data, LoginPassword) and data.login.decode() == args.user and \
            data.password.decode() == args.password
        return AuthResult(success=good, handled=False)

    def factory():
        if args.plain:
            return SMTP(Handler())
        if args.implicit:
            return SMTP(Handler(), authenticator=authenticator if args.user else None,
                        auth_required=bool(args.user), auth_require_tls=False)
        return SMTP(Handler(), tls_context=context, require_starttls=True,
                    authenticator=authenticator if args.user else None, auth_required=bool(args.user),
                    auth_require_tls=True)

    async def main():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(factory, "127.0.0.1", args.port,
                                          ssl=context if args.implicit else None)
        print(f"listening {server.sockets[0].getsockname()[1]}", file=sys.stderr, flush=True)
        await server.serve_forever()

    asyncio.run(main())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["http", "smtp"])
    parser.add_argument("rest", nargs="+")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--fail", type=int, default=0)
    parser.add_argument("--implicit", action="store_true")
    parser.add_argument("--plain", action="store_true")
    parser.add_argument("--user")
    parser.add_argument("--password")
    args = parser.parse_args()
    if args.kind == "http":
        args.mode, args.record = args.rest
        serve_http(args)
    else:
        (args.record,) = args.rest
        serve_smtp(args)


if __name__ == "__main__":
    main()
