// SPDX-License-Identifier: MIT
// The parts of the socket helpers that differ by system: Windows.
#include "probes/SocketUtil.h"

#include <cstdint>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

namespace vigilon::net {

int openSocket(int type, int protocol, int family)
{
    const SOCKET s = ::socket(family, type, protocol);
    if (s == INVALID_SOCKET)
        return -1;
    const int fd = static_cast<int>(s);
    if (!setNonBlocking(fd, true)) {
        closesocket(s);
        return -1;
    }
    return fd;
}

bool setNonBlocking(int fd, bool on)
{
    u_long mode = on ? 1 : 0;
    return ioctlsocket(static_cast<SOCKET>(fd), FIONBIO, &mode) == 0;
}

void closeSocket(int &fd)
{
    if (fd >= 0)
        closesocket(static_cast<SOCKET>(fd));
    fd = -1;
}

std::uint64_t realtimeStampToMonotonic(std::int64_t, long, std::uint64_t monotonicNow)
{
    return monotonicNow;
}

// No receive stamps here: the readiness time is the arrival.
ssize_t receiveStamped(int fd, void *buffer, std::size_t size, int flags, sockaddr *from, socklen_t *fromLength,
                       std::uint64_t nowMicros, std::uint64_t &arrivedMicros)
{
    arrivedMicros = nowMicros;
    return ::recvfrom(static_cast<SOCKET>(fd), static_cast<char *>(buffer), static_cast<int>(size), flags, from,
                      fromLength);
}

// Sockets are not counted against a limit of the process here.
void readDescriptorLimit()
{
}

bool descriptorsToSpare(int)
{
    return true;
}

// Sockets have no descriptor limit of the process to raise here.
void raiseDescriptorLimit()
{
}

std::size_t checksWithinDescriptorLimit(std::uint64_t &limit)
{
    limit = 0;
    return SIZE_MAX;
}

bool parseDottedAddress(const std::string &text, std::uint32_t &address)
{
    // The system's parser stops at a blank and takes what came before it:
    // "127.0.0.1 x" is no address. Digits, the letters of hexadecimal
    // numbers and dots are all an address holds.
    if (text.empty() || text.find_first_not_of("0123456789abcdefABCDEFxX.") != std::string::npos)
        return false;
    // inet_addr() takes the same short forms; only the broadcast address
    // itself collides with its error value.
    const unsigned long parsed = inet_addr(text.c_str());
    if (parsed == INADDR_NONE && text != "255.255.255.255")
        return false;
    address = static_cast<std::uint32_t>(parsed);
    return true;
}

namespace {
// The first fields of SIO_TCP_INFO's answer, version 0 (Windows 10 1703 and
// later), as the system lays them out; the headers offer the structure only
// to builds for that version and later.
struct TcpInfoV0 {
    int state;
    ULONG mss;
    ULONG64 connectionTimeMs;
    BOOLEAN timestampsEnabled;
    ULONG rttUs;
    ULONG minRttUs;
    ULONG bytesInFlight;
    ULONG cwnd;
    ULONG sndWnd;
    ULONG rcvWnd;
    ULONG rcvBuf;
    ULONG64 bytesOut;
    ULONG64 bytesIn;
    ULONG bytesReordered;
    ULONG bytesRetrans;
    ULONG fastRetrans;
    ULONG dupAcksIn;
    ULONG timeoutEpisodes;
    UCHAR synRetrans;
};
#ifndef SIO_TCP_INFO
#define SIO_TCP_INFO _WSAIORW(IOC_VENDOR, 39)
#endif
} // namespace

bool handshakeRoundTrip(int fd, std::uint64_t &micros)
{
    // Older systems (and Wine) refuse the request: the caller keeps the
    // readiness time then.
    DWORD version = 0;
    TcpInfoV0 info{};
    DWORD got = 0;
    if (WSAIoctl(static_cast<SOCKET>(fd), SIO_TCP_INFO, &version, sizeof version, &info, sizeof info, &got, nullptr,
                 nullptr) != 0 ||
        got < offsetof(TcpInfoV0, synRetrans) + sizeof info.synRetrans || info.rttUs == 0 || info.synRetrans != 0)
        return false;
    micros = info.rttUs;
    return true;
}

void keepIcmpErrors(int, int, bool) {}

bool icmpErrorReason(int, FailureReason &)
{
    return false;
}

} // namespace vigilon::net
