// SPDX-License-Identifier: MIT
// The metrics server on GNU libmicrohttpd: its own polling thread, a cap
// on connections, a timeout for idle ones and a bound on a request's head.
// The listening socket is made here, so that a port in use is told exactly.
#include "metrics/MetricsServer.h"
#include "probes/NetAddress.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vigilon::metrics {

namespace {

// The memory one connection may use: its request head and the reading of
// it. A longer head is answered with an error and the connection closed.
constexpr std::size_t kConnectionMemory = kMaxRequestBytes * 2;

class MhdServer final : public Server {
public:
    MhdServer(std::function<std::string()> render, std::uint16_t port)
        : render_(std::move(render))
        , port_(port)
    {
    }
    ~MhdServer() override
    {
        // Joins the server's thread and closes every socket, the listening
        // one included.
        if (daemon_)
            MHD_stop_daemon(daemon_);
    }
    std::uint16_t port() const override { return port_; }

    static MHD_Result handle(void *self, MHD_Connection *connection, const char *url, const char *method,
                             const char *, const char *, std::size_t *, void **)
    {
        const Reply reply = answer(method, url, static_cast<MhdServer *>(self)->render_);
        MHD_Response *response = MHD_create_response_from_buffer(
            reply.body.size(), const_cast<char *>(reply.body.data()), MHD_RESPMEM_MUST_COPY);
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
        if (reply.allowHeader)
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
        MHD_destroy_response(response);
        return queued;
    }

    std::function<std::string()> render_;
    std::uint16_t port_;
    MHD_Daemon *daemon_ = nullptr;
};

} // namespace

std::unique_ptr<Server> startServer(const Endpoint &endpoint, std::function<std::string()> render,
                                    std::string &error, bool *inUse)
{
    sockaddr_storage address{};
    net::NetAddress host;
    socklen_t length = net::parseNumericHost(endpoint.address, host) ? host.toSocket(endpoint.port, address) : 0;
    if (length == 0) {
        error = "not a numeric IPv4 or IPv6 address";
        return nullptr;
    }
    const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (address.ss_family == AF_INET6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        error = std::strerror(errno);
        if (inUse)
            *inUse = errno == EADDRINUSE;
        close(fd);
        return nullptr;
    }
    const std::uint16_t port = ntohs(address.ss_family == AF_INET
                                         ? reinterpret_cast<const sockaddr_in &>(address).sin_port
                                         : reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    auto server = std::make_unique<MhdServer>(std::move(render), port);
    const unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | (address.ss_family == AF_INET6 ? MHD_USE_IPv6 : 0);
    server->daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &MhdServer::handle, server.get(),
                                       MHD_OPTION_LISTEN_SOCKET, fd,
                                       MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(kMaxConnections),
                                       MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(kConnectionTimeoutSeconds),
                                       MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_END);
    if (!server->daemon_) {
        error = "the HTTP server could not be started";
        close(fd);
        return nullptr;
    }
    return server;
}

} // namespace vigilon::metrics
