// SPDX-License-Identifier: MIT
// A webhook receiver for tests (Linux): an HTTP server on loopback, on its
// own thread, that takes POSTed bodies, keeps them in order of arrival and
// answers each with 200 and an empty body.
#pragma once

#include "tests/support/Network.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace vigilon::test {

class WebhookReceiver {
public:
    struct Request {
        std::string target; // the request line's path
        std::string body;
    };

    explicit WebhookReceiver(const std::string &address = "127.0.0.1")
    {
        listener_ = boundSocket(SOCK_STREAM, 16, port_, address);
        stop_ = eventfd(0, EFD_CLOEXEC);
        if (listener_ >= 0 && stop_ >= 0)
            thread_ = std::thread([this] { run(); });
    }
    ~WebhookReceiver()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(stop_, &one, sizeof one);
        if (thread_.joinable())
            thread_.join();
        close(listener_); // either may be -1: nothing to close
        close(stop_);
    }
    WebhookReceiver(const WebhookReceiver &) = delete;
    WebhookReceiver &operator=(const WebhookReceiver &) = delete;

    bool ok() const { return thread_.joinable(); }
    std::uint16_t port() const { return port_; }
    // Every request whose whole body has come, in order.
    std::vector<Request> requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void run()
    {
        for (;;) {
            pollfd fds[2] = {{stop_, POLLIN, 0}, {listener_, POLLIN, 0}};
            poll(fds, 2, -1);
            if (fds[0].revents)
                return;
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            // One sender on loopback: a connection is served whole, and a
            // stalled one is given up after five seconds.
            const timeval wait{5, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            serve(fd);
            close(fd);
        }
    }

    // Reads one request (headers, then Content-Length bytes of body),
    // records it and answers; the connection is closed after the answer.
    void serve(int fd)
    {
        std::string in;
        std::size_t headerEnd = std::string::npos;
        std::size_t length = 0;
        char buffer[4096];
        for (;;) {
            if (headerEnd == std::string::npos && (headerEnd = in.find("\r\n\r\n")) != std::string::npos) {
                headerEnd += 4;
                length = contentLength(in.substr(0, headerEnd));
            }
            if (headerEnd != std::string::npos && in.size() >= headerEnd + length)
                break;
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0)
                return;
            in.append(buffer, static_cast<std::size_t>(n));
        }
        const std::size_t targetStart = in.find(' ') + 1;
        Request request{in.substr(targetStart, in.find(' ', targetStart) - targetStart), in.substr(headerEnd, length)};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(std::move(request));
        }
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        [[maybe_unused]] auto sent = send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    }

    // The Content-Length header's value (names compared without case), 0
    // when there is none.
    static std::size_t contentLength(const std::string &headers)
    {
        std::string lower = headers;
        for (char &c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        const std::size_t at = lower.find("\r\ncontent-length:");
        return at == std::string::npos ? 0 : std::strtoul(headers.c_str() + at + 17, nullptr, 10);
    }

    int listener_ = -1;
    int stop_ = -1; // an event descriptor: written when the receiver goes
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::vector<Request> requests_;
    std::thread thread_;
};

} // namespace vigilon::test
