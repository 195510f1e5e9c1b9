// SPDX-License-Identifier: MIT
// The metrics server on GNU libmicrohttpd, run by a thread of our own: a
// cap on the connections that wait for their request, a bound on the time
// a request may take however slowly it trickles in, and a bound on a
// request's head. The listening socket is made here, so that a port in use
// is told exactly.
#include "metrics/MetricsServer.h"
#include "probes/NetAddress.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <thread>

namespace vigilon::metrics {

namespace {

using Clock = std::chrono::steady_clock;

// Adds text percent-encoded but for the characters a query keeps as they
// are.
void percentEncode(std::string &out, const char *text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const unsigned char c : std::string_view(text)) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == ':') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

// The memory one connection may use: its request head and the reading of
// it. A longer head is answered with an error and the connection closed.
constexpr std::size_t kConnectionMemory = kMaxRequestBytes * 2;

// libmicrohttpd's own timeout is one of idleness, which every byte a client
// sends puts off; the bound on a whole request is kept here. Every call of
// the library and every callback runs on the server's one thread, so a
// connection found in the list still has its socket: the library says a
// connection is closed before it closes the socket, within the same run.
class MhdServer final : public Server {
public:
    MhdServer(Sources source, std::uint16_t port, const ServerLimits &limits)
        : source_(std::move(source))
        , port_(port)
        , limits_(limits)
    {
    }
    ~MhdServer() override
    {
        if (thread_.joinable()) {
            stopping_ = true;
            ::eventfd_write(wake_, 1);
            thread_.join();
        }
        // Closes every socket, the listening one included.
        if (daemon_)
            MHD_stop_daemon(daemon_);
        if (wake_ >= 0)
            ::close(wake_);
    }
    std::uint16_t port() const override { return port_; }

    bool start(MHD_Daemon *daemon)
    {
        daemon_ = daemon;
        const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
        wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (!info || info->epoll_fd < 0 || wake_ < 0)
            return false;
        epoll_ = info->epoll_fd;
        thread_ = std::thread([this] {
            // Named, so that its share of the process's CPU can be told.
            pthread_setname_np(pthread_self(), "vigilon-metrics");
            run();
        });
        return true;
    }

    static MHD_Result handle(void *self, MHD_Connection *connection, const char *url, const char *method,
                             const char *, const char *, std::size_t *, void **)
    {
        // Its request is in: the connection is being answered, and no
        // newcomer takes its place.
        if (Tracked *tracked = trackedOf(connection))
            tracked->answering = true;
        const char *acceptEncoding =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING);
        const char *acceptLanguage =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_LANGUAGE);
        // The library hands the path without its query and the query's
        // parameters decoded: they are put back together, encoded again.
        std::string path = url;
        MHD_get_connection_values(
            connection, MHD_GET_ARGUMENT_KIND,
            [](void *into, MHD_ValueKind, const char *key, const char *value) {
                auto &text = *static_cast<std::string *>(into);
                text += text.find('?') == std::string::npos ? '?' : '&';
                percentEncode(text, key);
                if (value) {
                    text += '=';
                    percentEncode(text, value);
                }
                return MHD_YES;
            },
            &path);
        const char *ifNoneMatch =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH);
        const char *authorization =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
        std::string client;
        if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            info && info->client_addr) {
            const sockaddr *address = info->client_addr;
            client = net::NetAddress::fromSocket(address, address->sa_family == AF_INET6 ? sizeof(sockaddr_in6)
                                                                                          : sizeof(sockaddr_in))
                         .text();
        }
        const Reply reply = answer(method, path,
                                   RequestHeads{acceptEncoding ? acceptEncoding : "",
                                                acceptLanguage ? acceptLanguage : "", ifNoneMatch ? ifNoneMatch : "",
                                                authorization ? authorization : "", client},
                                   static_cast<MhdServer *>(self)->source_);
        MHD_Response *response = nullptr;
        if (reply.metrics) {
            // Sent straight from the shared rendering, which the response
            // keeps alive until the library is done with it.
            const std::string_view content = reply.content();
            auto *kept = new std::shared_ptr<const MetricsBody>(reply.metrics);
            response = MHD_create_response_from_buffer_with_free_callback_cls(
                content.size(), const_cast<char *>(content.data()),
                [](void *body) { delete static_cast<std::shared_ptr<const MetricsBody> *>(body); }, kept);
            if (!response)
                delete kept;
        } else {
            response = MHD_create_response_from_buffer(reply.body.size(), const_cast<char *>(reply.body.data()),
                                                       MHD_RESPMEM_MUST_COPY);
        }
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
        if (reply.allowHeader)
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, reply.allow);
        if (reply.authenticate)
            MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, kAuthenticateHeader);
        if (reply.varyHeader)
            MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, MHD_HTTP_HEADER_ACCEPT_ENCODING);
        if (reply.gzip)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
        if (reply.noCache)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
        if (!reply.etag.empty())
            MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, reply.etag.c_str());
        const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
        MHD_destroy_response(response);
        return queued;
    }

    static void connectionChanged(void *self, MHD_Connection *connection, void **context,
                                  MHD_ConnectionNotificationCode what)
    {
        auto *server = static_cast<MhdServer *>(self);
        if (what == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            server->tracked_.push_back(Tracked{info ? info->connect_fd : -1, Clock::now()});
            *context = &server->tracked_.back();
            server->makeRoom();
        } else if (what == MHD_CONNECTION_NOTIFY_CLOSED) {
            server->tracked_.remove_if([context](const Tracked &t) { return &t == *context; });
            *context = nullptr;
        }
    }

    static void requestDone(void *, MHD_Connection *connection, void **, MHD_RequestTerminationCode)
    {
        // The next request on a kept-alive connection has its own time.
        if (Tracked *tracked = trackedOf(connection)) {
            tracked->answering = false;
            tracked->since = Clock::now();
        }
    }

private:
    struct Tracked {
        int fd = -1;
        // When its accept or its last answer was.
        Clock::time_point since;
        bool answering = false;
        // Shut down; the library closes it at its next look.
        bool cut = false;
    };

    static Tracked *trackedOf(MHD_Connection *connection)
    {
        const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<Tracked *>(info->socket_context) : nullptr;
    }

    static void cut(Tracked &tracked)
    {
        // Shut, not closed: the socket stays the library's to close, and it
        // sees the end at once.
        if (!tracked.cut && tracked.fd >= 0)
            ::shutdown(tracked.fd, SHUT_RDWR);
        tracked.cut = true;
    }

    // Over the cap, the oldest connection still waiting for its request
    // goes (never the newest, the one that made the count).
    void makeRoom()
    {
        const auto waiting = [](const Tracked &t) { return !t.cut && !t.answering; };
        while (static_cast<std::size_t>(std::count_if(tracked_.begin(), tracked_.end(), waiting)) >
               limits_.connections) {
            const auto oldest = std::find_if(tracked_.begin(), std::prev(tracked_.end()), waiting);
            if (oldest == std::prev(tracked_.end()))
                return;
            cut(*oldest);
        }
    }

    // Cuts the connections past their time; returns how long until the next
    // one's time is up, in milliseconds (-1: none).
    int cutExpired()
    {
        const Clock::time_point now = Clock::now();
        Clock::duration next = Clock::duration::max();
        for (Tracked &t : tracked_) {
            if (t.cut)
                continue;
            const Clock::time_point end = t.since + limits_.requestTime;
            if (end <= now)
                cut(t);
            else
                next = std::min(next, end - now);
        }
        if (next == Clock::duration::max())
            return -1;
        // Rounded up, so that the wait never ends just short of the time.
        return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next).count());
    }

    void run()
    {
        while (!stopping_) {
            int wait = cutExpired();
            MHD_UNSIGNED_LONG_LONG libraryWait = 0;
            if (MHD_get_timeout(daemon_, &libraryWait) == MHD_YES &&
                (wait < 0 || libraryWait < static_cast<MHD_UNSIGNED_LONG_LONG>(wait)))
                wait = static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(libraryWait, 60000));
            pollfd fds[2] = {{epoll_, POLLIN, 0}, {wake_, POLLIN, 0}};
            if (::poll(fds, 2, wait) < 0 && errno != EINTR)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (stopping_)
                break;
            MHD_run(daemon_);
        }
    }

    Sources source_;
    std::uint16_t port_;
    ServerLimits limits_;
    MHD_Daemon *daemon_ = nullptr;
    int epoll_ = -1;
    int wake_ = -1;
    // Oldest first; the library holds a pointer to each in its connection.
    std::list<Tracked> tracked_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace

std::unique_ptr<Server> startServer(const Endpoint &endpoint, Sources source,
                                    std::string &error, bool *inUse, const ServerLimits &limits)
{
    sockaddr_storage address{};
    net::NetAddress host;
    socklen_t length = listenAddress(endpoint.address, host) ? host.toSocket(endpoint.port, address) : 0;
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
    auto server = std::make_unique<MhdServer>(std::move(source), port, limits);
    // One more than the cap is taken in, so that a newcomer can make room.
    const unsigned flags = MHD_USE_EPOLL | (address.ss_family == AF_INET6 ? MHD_USE_IPv6 : 0);
    const auto idleSeconds = static_cast<unsigned>(
        std::max<long long>(1, std::chrono::ceil<std::chrono::seconds>(limits.requestTime).count()));
    MHD_Daemon *daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &MhdServer::handle, server.get(), MHD_OPTION_LISTEN_SOCKET, fd,
        MHD_OPTION_CONNECTION_LIMIT, limits.connections + 1, MHD_OPTION_CONNECTION_TIMEOUT, idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_NOTIFY_CONNECTION,
        &MhdServer::connectionChanged, server.get(), MHD_OPTION_NOTIFY_COMPLETED, &MhdServer::requestDone,
        server.get(), MHD_OPTION_END);
    if (!daemon) {
        error = "the HTTP server could not be started";
        close(fd);
        return nullptr;
    }
    if (!server->start(daemon)) {
        error = "the HTTP server could not be started";
        return nullptr;
    }
    return server;
}

} // namespace vigilon::metrics
