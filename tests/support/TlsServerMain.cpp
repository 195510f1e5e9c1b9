// SPDX-License-Identifier: MIT
// The tests' TLS server as a program: makes its authority and a certificate
// of the kind asked for, writes the authority to a trust file, prints its
// port and serves until its standard input closes.
//
//   vigilon-test-tls-server KIND TRUSTFILE [HTTPREPLY] [ADDRESS] [PORT]
//
// KIND: good, soon, expired, notyet, wrongname, selfsigned, untrustedexpired.
#include "tests/support/TlsServer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char **argv)
{
    using namespace vigilon::test;
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s KIND TRUSTFILE [HTTPREPLY] [ADDRESS] [PORT]\n", argv[0]);
        return 2;
    }
    const TestPki pki;
    const Pem identity = pki.named(argv[1]);
    if (identity.certificate.empty() || !pki.writeCa(argv[2])) {
        std::fprintf(stderr, "%s: unknown kind or unwritable trust file\n", argv[0]);
        return 2;
    }
    std::string reply = argc > 3 ? argv[3] : "";
    // "\r\n" may be written as two characters each.
    for (std::size_t at; (at = reply.find("\\r\\n")) != std::string::npos;)
        reply.replace(at, 4, "\r\n");
    TlsServer server(identity, reply, argc > 4 ? argv[4] : "127.0.0.1",
                     static_cast<std::uint16_t>(argc > 5 ? std::atoi(argv[5]) : 0));
    if (!server.ok()) {
        std::fprintf(stderr, "%s: cannot listen\n", argv[0]);
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
