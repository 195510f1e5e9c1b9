// SPDX-License-Identifier: MIT
// The TLS session on Schannel under Wine, against openssl s_server on
// loopback: tls-test.sh makes the certificates, starts one server for each
// and names their ports; the test CA is trusted here, in the prefix's own
// store of roots. The session is driven over a non-blocking socket as a
// probe drives it.
#include "probes/TlsSession.h"
#include "base/PollEventLoop.h"
#include "probes/TlsProbe.h"
#include "tests/support/win/TrustedRoot.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vigilon::tls {
namespace {

class SchannelSession : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        const char *path = std::getenv("VIGILON_TLS_CA");
        ASSERT_NE(path, nullptr) << "run through tls-test.sh";
        ASSERT_TRUE(test::trustRootCa(path)) << path;
    }
    static void TearDownTestSuite() { WSACleanup(); }
};

// Waits up to waitMs for the socket to be readable (or writable).
bool ready(SOCKET s, bool forWriting, long waitMs = 200)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{0, waitMs * 1000};
    return select(0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, nullptr, &wait) > 0;
}

// The socket between a session and its server, as a probe moves the bytes;
// a piece size hands the session what arrived in pieces of that size, so
// that records and flights arrive split and run together.
struct Link {
    SOCKET s;
    Session &session;
    std::size_t piece;
    std::string pending;
    int idle = 0;

    // Sends all the session has for the server.
    bool flush()
    {
        const std::string bytes = session.takeOutgoing();
        std::size_t sent = 0;
        for (int pass = 0; pass < 100 && sent < bytes.size(); ++pass) {
            const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            else if (WSAGetLastError() == WSAEWOULDBLOCK)
                ready(s, true);
            else
                return false;
        }
        return sent == bytes.size();
    }

    // Hands the session what has arrived; false once the server has gone
    // (or has sent nothing for a while) and nothing is left.
    bool pull()
    {
        bool open = true;
        if (ready(s, false, pending.empty() ? 200 : 0)) {
            char chunk[16384];
            const int n = recv(s, chunk, sizeof chunk, 0);
            if (n > 0)
                pending.append(chunk, static_cast<std::size_t>(n));
            open = n > 0 || (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK);
            idle = 0;
        } else if (pending.empty() && ++idle > 25) {
            open = false;
        }
        const std::size_t size = piece ? std::min(piece, pending.size()) : pending.size();
        session.receive(pending.data(), size);
        pending.erase(0, size);
        return open || size > 0;
    }
};

SOCKET connectTo(int family, std::uint16_t port)
{
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *loopback = nullptr;
    getaddrinfo(family == AF_INET6 ? "::1" : "127.0.0.1", std::to_string(port).c_str(), &hints, &loopback);
    const SOCKET s = socket(family, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    connect(s, loopback->ai_addr, static_cast<int>(loopback->ai_addrlen));
    freeaddrinfo(loopback);
    ready(s, true);
    return s;
}

struct Outcome {
    Progress handshake = Progress::Again;
    FailureReason failure;
    Certificate certificate;
    std::string reply;
    bool closed = false;
};

// One connection to the loopback port: the handshake, then the request
// (when there is one) and the reply up to the server's close_notify. With
// a listener of its own, the server is one that refuses the hello with a
// fatal handshake_failure alert, as a server that shares no cipher does.
Outcome converse(const std::string &host, std::uint16_t port, const std::string &request, std::size_t piece,
                 SOCKET plainListener)
{
    Outcome outcome;
    std::string error;
    const std::unique_ptr<Session> session = openSession(host, &error);
    EXPECT_TRUE(session) << error;
    if (!session)
        return outcome;
    const SOCKET s = connectTo(host.find(':') != std::string::npos ? AF_INET6 : AF_INET, port);
    SOCKET plain = INVALID_SOCKET;
    if (plainListener != INVALID_SOCKET) {
        plain = accept(plainListener, nullptr, nullptr);
        const char alert[] = "\x15\x03\x03\x00\x02\x02\x28";
        EXPECT_EQ(send(plain, alert, sizeof alert - 1, 0), static_cast<int>(sizeof alert - 1));
    }
    Link link{s, *session, piece, {}};
    for (int pass = 0; pass < 1000 && outcome.handshake == Progress::Again; ++pass) {
        outcome.handshake = session->handshake();
        if (!link.flush() || (outcome.handshake == Progress::Again && !link.pull()))
            break;
    }
    if (outcome.handshake == Progress::Done && !request.empty()) {
        EXPECT_TRUE(session->write(request));
        link.flush();
        for (int pass = 0; pass < 1000 && !session->peerClosed(); ++pass) {
            if (session->read(outcome.reply) == Progress::Failed || !link.flush() || session->peerClosed())
                break;
            if (!link.pull()) {
                session->read(outcome.reply);
                break;
            }
        }
    }
    closesocket(s);
    if (plain != INVALID_SOCKET)
        closesocket(plain);
    outcome.failure = session->failure();
    outcome.certificate = session->certificate();
    outcome.closed = session->peerClosed();
    return outcome;
}

std::uint16_t portOf(const char *server)
{
    const char *text = std::getenv((std::string("VIGILON_TLS_PORT_") + server).c_str());
    return static_cast<std::uint16_t>(text ? std::atoi(text) : 0);
}

// Each server's certificate, its dates (as tls-test.sh makes them) and
// the verdict; where several faults meet, the verdict is the first of
// trust, expiry, a date not yet come, name.
TEST_F(SchannelSession, JudgesEachServerAndTalksThroughTheGoodOnes)
{
    constexpr std::int64_t good[2] = {1704067200, 2366841600}; // 2024-01-01, 2045-01-01
    constexpr std::int64_t addressOnly[2] = {1709251200, 2340403200}; // 2024-03-01, 2044-03-01
    constexpr std::int64_t past[2] = {1577836800, 1609459200}; // 2020-01-01, 2021-01-01
    const struct {
        const char *what;
        const char *server; // null: a server that refuses the hello
        const char *host;
        FailureKind failure;
        std::int64_t notBefore, notAfter;
        std::size_t piece = 0; // bytes handed over at a time; 0: as they come
    } cases[] = {
        // The named server shows the name's certificate only with SNI, and
        // ends the handshake on any other name sent; it also asks for a
        // client certificate it does not need.
        {"a name, sent as SNI", "NAMED", "localhost", FailureKind::None, good[0], good[1]},
        {"a name, the bytes coming 50 at a time", "NAMED", "localhost", FailureKind::None, good[0], good[1], 50},
        {"an address, with no name sent", "NAMED", "127.0.0.1", FailureKind::None, addressOnly[0], addressOnly[1]},
        {"an IPv6 address", "IPV6", "::1", FailureKind::None, good[0], good[1]},
        {"through an intermediate that the server sends", "CHAINED", "localhost", FailureKind::None, good[0],
         good[1]},
        {"an address not in the certificate", "NAMED", "127.0.0.2", FailureKind::NameMismatch, addressOnly[0],
         addressOnly[1]},
        {"for another name", "WRONGNAME", "localhost", FailureKind::NameMismatch, good[0], good[1]},
        {"expired, for another name", "EXPIRED", "localhost", FailureKind::CertExpired, past[0], past[1]},
        {"not yet valid, for another name", "FUTURE", "localhost", FailureKind::CertNotYetValid, 3786912000,
         3818448000},
        {"from an unknown CA, expired, for another name", "UNTRUSTED", "localhost", FailureKind::CertUntrusted,
         past[0], past[1]},
        {"a refused hello, a byte at a time", nullptr, "127.0.0.1", FailureKind::TlsHandshakeFailed, 0, 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const bool fine = c.failure == FailureKind::None;
        SOCKET listener = INVALID_SOCKET;
        std::uint16_t port = 0;
        if (!c.server) {
            listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            int length = sizeof address;
            ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
            ASSERT_EQ(listen(listener, 1), 0);
            getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
            port = ntohs(address.sin_port);
        } else {
            port = portOf(c.server);
            ASSERT_NE(port, 0) << c.server;
        }
        const Outcome outcome = converse(c.host, port, fine ? "GET / HTTP/1.0\r\n\r\n" : "", c.piece, listener);
        EXPECT_EQ(outcome.handshake, fine ? Progress::Done : Progress::Failed);
        EXPECT_EQ(static_cast<int>(outcome.failure.kind), static_cast<int>(c.failure));
        EXPECT_EQ(outcome.certificate.present, c.notAfter != 0);
        EXPECT_EQ(outcome.certificate.notBefore, c.notBefore);
        EXPECT_EQ(outcome.certificate.notAfter, c.notAfter);
        if (fine) {
            EXPECT_EQ(outcome.reply.rfind("HTTP/1.0 200 ok\r\n", 0), 0u) << outcome.reply.substr(0, 200);
            EXPECT_TRUE(outcome.closed);
        }
        if (listener != INVALID_SOCKET)
            closesocket(listener);
    }
}

// The TLS check itself on Winsock: its socket, the loop's readiness and the
// session together, to a verdict and the days the certificate has left.
TEST_F(SchannelSession, TheTlsCheckReachesItsVerdictOnTheLoop)
{
    struct Host final : ProbeHost {
        void reportResult(ProbeResult result, MonitorPort &) override { results.push_back(result); }
        EventLoop &eventLoop() override { return loop; }
        const Clock &clock() const override { return SystemClock::instance(); }
        PollEventLoop loop;
        std::vector<ProbeResult> results;
    };
    const struct {
        const char *server;
        ProbeResult result;
        FailureKind failure;
    } cases[] = {{"NAMED", ProbeResult::Answered, FailureKind::None},
                 {"EXPIRED", ProbeResult::Failed, FailureKind::CertExpired}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.server);
        Host host;
        MonitorPort entry;
        CTlsProbe probe(host, nullptr, false);
        ASSERT_EQ(probe.start(portOf(c.server), "localhost", entry), 1);
        host.loop.runUntil([&] { return !host.results.empty(); }, 8000);
        ASSERT_EQ(host.results.size(), 1u);
        EXPECT_EQ(host.results[0], c.result);
        EXPECT_EQ(static_cast<int>(probe.failureReason().kind), static_cast<int>(c.failure));
        EXPECT_TRUE(entry.certDaysKnown);
        EXPECT_EQ(entry.certDaysLeft > 0, c.failure == FailureKind::None);
    }
}

} // namespace
} // namespace vigilon::tls
