// SPDX-License-Identifier: MIT
// A plain HTTP client for tests, on Linux and Windows: raw requests to a
// server on loopback, and connections held open as a hostile client holds
// them.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace vigilon::test {

// A connected TCP socket, closed with the object. Receives wait at most
// 10 seconds unless told otherwise.
class TcpClient {
public:
    explicit TcpClient(std::uint16_t port, const char *address = "127.0.0.1")
    {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        sockaddr_storage to{};
        int length = 0;
        auto *v4 = reinterpret_cast<sockaddr_in *>(&to);
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&to);
        if (inet_pton(AF_INET, address, &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(port);
            length = sizeof *v4;
        } else if (inet_pton(AF_INET6, address, &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(port);
            length = sizeof *v6;
        } else {
            return;
        }
        fd_ = socket(to.ss_family, SOCK_STREAM, 0);
        setReceiveTimeout(10000);
        connected_ = connect(fd_, reinterpret_cast<sockaddr *>(&to), length) == 0;
    }
    ~TcpClient()
    {
#ifdef _WIN32
        closesocket(fd_);
        WSACleanup();
#else
        close(fd_);
#endif
    }
    TcpClient(const TcpClient &) = delete;
    TcpClient &operator=(const TcpClient &) = delete;

    bool connected() const { return connected_; }
    void setReceiveTimeout(int ms)
    {
#ifdef _WIN32
        const DWORD wait = static_cast<DWORD>(ms);
#else
        const timeval wait{ms / 1000, (ms % 1000) * 1000};
#endif
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&wait), sizeof wait);
    }
    bool send(const std::string &text)
    {
#ifdef _WIN32
        const int flags = 0;
#else
        const int flags = MSG_NOSIGNAL; // a closed peer fails the send, and only it
#endif
        return ::send(fd_, text.data(), static_cast<int>(text.size()), flags) == static_cast<int>(text.size());
    }
    // Everything until the peer closes (or the receive timeout passes
    // without a byte).
    std::string receiveAll()
    {
        std::string in;
        char buffer[4096];
        for (int got; (got = static_cast<int>(recv(fd_, buffer, sizeof buffer, 0))) > 0;)
            in.append(buffer, static_cast<std::size_t>(got));
        return in;
    }
    // Waits, at most the receive timeout, for the peer to end the
    // connection: true once it closed or reset it; false when nothing came,
    // or bytes did.
    bool closedByPeer()
    {
        char byte = 0;
        const int got = static_cast<int>(recv(fd_, &byte, 1, 0));
        if (got >= 0)
            return got == 0;
#ifdef _WIN32
        return WSAGetLastError() != WSAETIMEDOUT;
#else
        return errno != EAGAIN && errno != EWOULDBLOCK;
#endif
    }
    // Nothing to read at this moment: neither bytes nor the peer's end.
    bool quiet()
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd_, &readable);
        timeval now{0, 0};
        return select(static_cast<int>(fd_) + 1, &readable, nullptr, nullptr, &now) == 0;
    }

private:
#ifdef _WIN32
    SOCKET fd_ = INVALID_SOCKET;
#else
    int fd_ = -1;
#endif
    bool connected_ = false;
};

// Sends one request (method and target, "Connection: close", and the
// header lines given, each ending in CRLF) and returns the whole response,
// head and body; empty when none came.
inline std::string httpRequest(std::uint16_t port, const std::string &method, const std::string &target,
                               const char *address = "127.0.0.1", const std::string &headers = {})
{
    TcpClient client(port, address);
    if (!client.connected() ||
        !client.send(method + " " + target + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + headers +
                     "\r\n"))
        return {};
    return client.receiveAll();
}

// The status code of a response; 0 when there is none.
inline int httpStatus(const std::string &response)
{
    return response.rfind("HTTP/1.", 0) == 0 && response.size() > 12 ? std::atoi(response.c_str() + 9) : 0;
}

// The value of a header of a response, the first of that name (compared
// without regard to case), without the blanks around it; empty when there
// is none.
inline std::string httpHeader(const std::string &response, const std::string &name)
{
    const std::size_t headEnd = response.find("\r\n\r\n");
    std::size_t at = response.find("\r\n");
    while (at != std::string::npos && at < headEnd) {
        const std::size_t start = at + 2;
        const std::size_t end = response.find("\r\n", start);
        const std::string line = response.substr(start, end - start);
        const std::size_t colon = line.find(':');
        bool same = colon == name.size();
        for (std::size_t i = 0; same && i < colon; ++i)
            same = std::tolower(static_cast<unsigned char>(line[i])) ==
                   std::tolower(static_cast<unsigned char>(name[i]));
        if (same) {
            const std::size_t first = line.find_first_not_of(' ', colon + 1);
            if (first == std::string::npos)
                return {};
            return line.substr(first, line.find_last_not_of(' ') + 1 - first);
        }
        at = end;
    }
    return {};
}

// The body of a response.
inline std::string httpBody(const std::string &response)
{
    const std::size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

} // namespace vigilon::test
