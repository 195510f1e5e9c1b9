// SPDX-License-Identifier: MIT
// The metrics server of Windows: a small HTTP/1.0-style server of our own on
// one thread over Winsock. No embeddable HTTP server library is built for
// this toolchain, and the system's HTTP Server API serves a non-administrator
// only on URLs an administrator has reserved first. It answers one request
// per connection and closes it; it reads at most kMaxRequestBytes, drops a
// connection that has not finished within the request time from its accept,
// however slowly its bytes come, and at the cap of connections waiting for
// their request a newcomer closes the oldest of them: no client can keep a
// scrape out.
#include "metrics/MetricsServer.h"
#include "probes/NetAddress.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>
#include <vector>

namespace vigilon::metrics {

namespace {

using Clock = std::chrono::steady_clock;

struct Connection {
    SOCKET socket = INVALID_SOCKET;
    // The client's address, numeric.
    std::string client;
    // Its accept and the request time after it.
    Clock::time_point deadline;
    std::string in;
    // The head, then the body: the metrics are sent from their shared
    // rendering, never copied.
    std::string out;
    Reply reply;
    std::string_view body;
    std::size_t sent = 0;
    bool answered = false;
};

const char *statusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 503:
        return "Service Unavailable";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 401:
        return "Unauthorized";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Error";
    }
}

// The head of the answer; the body follows unless the request was HEAD.
std::string responseHead(const Reply &reply)
{
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + ' ' + statusText(reply.status) + "\r\n";
    if (!reply.contentType.empty())
        out += "Content-Type: " + reply.contentType + "\r\n";
    if (reply.allowHeader)
        out += std::string("Allow: ") + reply.allow + "\r\n";
    if (reply.authenticate)
        out += std::string("WWW-Authenticate: ") + kAuthenticateHeader + "\r\n";
    if (reply.varyHeader)
        out += "Vary: Accept-Encoding\r\n";
    if (reply.gzip)
        out += "Content-Encoding: gzip\r\n";
    if (reply.noCache)
        out += "Cache-Control: no-cache\r\n";
    if (!reply.etag.empty())
        out += "ETag: " + reply.etag + "\r\n";
    out += "Content-Length: " + std::to_string(reply.content().size()) + "\r\nConnection: close\r\n\r\n";
    return out;
}

// The value of a header of a request head ("Name: value" lines), the first
// one of that name; empty when there is none.
std::string_view headerValue(std::string_view head, std::string_view name)
{
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos && at + 2 < head.size()) {
        const std::size_t start = at + 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string_view line = head.substr(start, end == std::string_view::npos ? head.npos : end - start);
        const std::size_t colon = line.find(':');
        if (colon == name.size() &&
            std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return line.substr(colon + 1);
        at = end;
    }
    return {};
}

class WinsockServer final : public Server {
public:
    WinsockServer(SOCKET listener, std::uint16_t port, Sources source, const ServerLimits &limits)
        : listener_(listener)
        , port_(port)
        , source_(std::move(source))
        , limits_(limits)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~WinsockServer() override
    {
        stopping_ = true;
        thread_.join();
        for (Connection &c : connections_)
            closesocket(c.socket);
        closesocket(listener_);
        WSACleanup();
    }
    std::uint16_t port() const override { return port_; }

private:
    void run()
    {
        while (!stopping_) {
            fd_set readable, writable;
            FD_ZERO(&readable);
            FD_ZERO(&writable);
            // While every connection is being answered, newcomers wait in
            // the listen queue; else one may take a waiting one's place.
            if (std::any_of(connections_.begin(), connections_.end(),
                            [](const Connection &c) { return !c.answered; }) ||
                connections_.size() < limits_.connections)
                FD_SET(listener_, &readable);
            for (const Connection &c : connections_)
                FD_SET(c.socket, c.answered ? &writable : &readable);
            // A short wait, so that the end is seen soon.
            timeval wait{0, 200 * 1000};
            if (select(0, &readable, &writable, nullptr, &wait) == SOCKET_ERROR) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            if (FD_ISSET(listener_, &readable))
                accept();
            const Clock::time_point now = Clock::now();
            for (std::size_t i = connections_.size(); i-- > 0;) {
                Connection &c = connections_[i];
                bool keep = now < c.deadline;
                if (keep && FD_ISSET(c.socket, &readable))
                    keep = read(c);
                else if (keep && FD_ISSET(c.socket, &writable))
                    keep = write(c);
                if (!keep) {
                    closesocket(c.socket);
                    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
        }
    }

    void accept()
    {
        sockaddr_storage from{};
        int fromLength = sizeof from;
        const SOCKET s = ::accept(listener_, reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (s == INVALID_SOCKET)
            return;
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        // At the cap, the oldest connection still waiting for its request
        // makes room.
        const auto waiting = [](const Connection &c) { return !c.answered; };
        if (static_cast<std::size_t>(std::count_if(connections_.begin(), connections_.end(), waiting)) >=
            limits_.connections) {
            const auto oldest = std::find_if(connections_.begin(), connections_.end(), waiting);
            closesocket(oldest->socket);
            connections_.erase(oldest);
        }
        Connection c;
        c.socket = s;
        c.client = net::NetAddress::fromSocket(reinterpret_cast<const sockaddr *>(&from), fromLength).text();
        c.deadline = Clock::now() + limits_.requestTime;
        connections_.push_back(std::move(c));
    }

    // False to close the connection.
    bool read(Connection &c)
    {
        char buffer[2048];
        const int got = recv(c.socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            return got < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
        c.in.append(buffer, static_cast<std::size_t>(got));
        const std::size_t end = c.in.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (c.in.size() <= kMaxRequestBytes)
                return true;
            c.reply.status = 431;
            c.out = responseHead(c.reply);
        } else {
            // "METHOD PATH VERSION"
            const std::size_t lineEnd = c.in.find("\r\n");
            const std::size_t first = c.in.find(' ');
            const std::size_t second = first < lineEnd ? c.in.find(' ', first + 1) : std::string::npos;
            if (second == std::string::npos || second > lineEnd) {
                c.reply.status = 400;
                c.out = responseHead(c.reply);
            } else {
                const std::string method = c.in.substr(0, first);
                const std::string_view head = std::string_view(c.in).substr(0, end);
                c.reply = answer(method, c.in.substr(first + 1, second - first - 1),
                                 RequestHeads{headerValue(head, "Accept-Encoding"),
                                              headerValue(head, "Accept-Language"), headerValue(head, "If-None-Match"),
                                              headerValue(head, "Authorization"), c.client},
                                 source_);
                c.out = responseHead(c.reply);
                // A small page goes with the head; the metrics stay where
                // they are, which moving the connection does not change.
                if (method != "HEAD" && c.reply.metrics)
                    c.body = c.reply.content();
                else if (method != "HEAD")
                    c.out += c.reply.body;
            }
        }
        c.answered = true;
        return write(c);
    }

    bool write(Connection &c)
    {
        // The head, then the body, as one run of bytes.
        const std::size_t total = c.out.size() + c.body.size();
        while (c.sent < total) {
            const bool inHead = c.sent < c.out.size();
            const char *from = inHead ? c.out.data() + c.sent : c.body.data() + (c.sent - c.out.size());
            const std::size_t left = inHead ? c.out.size() - c.sent : total - c.sent;
            const std::size_t piece = (std::min<std::size_t>)(left, std::size_t(1) << 20);
            const int put = send(c.socket, from, static_cast<int>(piece), 0);
            if (put <= 0)
                return put < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
            c.sent += static_cast<std::size_t>(put);
        }
        shutdown(c.socket, SD_SEND);
        return false;
    }

    SOCKET listener_;
    std::uint16_t port_;
    Sources source_;
    ServerLimits limits_;
    // Oldest first.
    std::vector<Connection> connections_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

std::string systemText(int code)
{
    char *text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string out = text ? text : ("error " + std::to_string(code));
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
        out.pop_back();
    return out;
}

} // namespace

std::unique_ptr<Server> startServer(const Endpoint &endpoint, Sources source,
                                    std::string &error, bool *inUse, const ServerLimits &limits)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        error = "Winsock could not be started";
        return nullptr;
    }
    sockaddr_storage address{};
    net::NetAddress host;
    int length = listenAddress(endpoint.address, host) ? host.toSocket(endpoint.port, address) : 0;
    if (length == 0) {
        error = "not a numeric IPv4 or IPv6 address";
        WSACleanup();
        return nullptr;
    }
    const SOCKET listener = socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        error = systemText(WSAGetLastError());
        WSACleanup();
        return nullptr;
    }
    // Nobody else may bind the port while it is ours, whatever options they
    // set.
    BOOL on = TRUE;
    setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&on), sizeof on);
    u_long nonBlocking = 1;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ioctlsocket(listener, FIONBIO, &nonBlocking) != 0) {
        const int code = WSAGetLastError();
        error = systemText(code);
        if (inUse)
            *inUse = code == WSAEADDRINUSE;
        closesocket(listener);
        WSACleanup();
        return nullptr;
    }
    const std::uint16_t port = ntohs(address.ss_family == AF_INET
                                         ? reinterpret_cast<const sockaddr_in &>(address).sin_port
                                         : reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return std::make_unique<WinsockServer>(listener, port, std::move(source), limits);
}

} // namespace vigilon::metrics
