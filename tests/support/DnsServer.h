// SPDX-License-Identifier: MIT
// A real DNS server for the tests: Debian's dnsmasq, run as the test's own
// child on a free loopback port, answering only the static records it is
// given (no hosts file, no configuration file, and no upstream server but
// one the test names among its options).
#pragma once

#ifndef _WIN32

#include "tests/support/ChildProcess.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::test {

class DnsServer {
public:
    static constexpr const char *program = "/usr/sbin/dnsmasq";

    static bool available() { return ::access(program, X_OK) == 0; }

    // records: dnsmasq's options for them ("--txt-record=name,text", ...)
    // and any other ("--server=127.0.0.1#PORT").
    // address: where it listens (127.0.0.1 or ::1).
    explicit DnsServer(const std::vector<std::string> &records, const std::string &address = "127.0.0.1")
    {
        // A port that is free for UDP and TCP now; another process may take
        // it before dnsmasq does, so a few are tried.
        for (int attempt = 0; attempt < 5 && !child_; ++attempt) {
            port_ = freePort(address);
            if (port_ == 0)
                continue;
            std::vector<std::string> argv{program,
                                          "--conf-file",
                                          "--no-resolv",
                                          "--no-hosts",
                                          "--keep-in-foreground",
                                          "--log-facility=-",
                                          "--pid-file",
                                          "--bind-interfaces",
                                          "--listen-address=" + address,
                                          "--port=" + std::to_string(port_)};
            if (::geteuid() == 0)
                argv.push_back("--user=root");
            argv.insert(argv.end(), records.begin(), records.end());
            auto child = std::make_unique<ChildProcess>(argv);
            if (!child->started())
                break;
            if (child->waitForOutput("started, version", 10000) && child->running()) {
                child_ = std::move(child);
                break;
            }
            log_ = child->output();
        }
    }

    bool ok() const { return child_ != nullptr; }
    std::uint16_t port() const { return port_; }
    // What dnsmasq said (why it did not start, when it did not).
    std::string log() { return child_ ? child_->output() : log_; }

private:
    static std::uint16_t freePort(const std::string &address)
    {
        const bool v6 = address.find(':') != std::string::npos;
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (v6) {
            auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
            in6->sin6_family = AF_INET6;
            ::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr);
            length = sizeof *in6;
        } else {
            auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
            in4->sin_family = AF_INET;
            ::inet_pton(AF_INET, address.c_str(), &in4->sin_addr);
            length = sizeof *in4;
        }
        const int udp = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
        const int tcp = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        std::uint16_t port = 0;
        if (udp >= 0 && tcp >= 0 && ::bind(udp, reinterpret_cast<sockaddr *>(&storage), length) == 0 &&
            ::getsockname(udp, reinterpret_cast<sockaddr *>(&storage), &length) == 0) {
            // The same port must be free for TCP too.
            if (::bind(tcp, reinterpret_cast<sockaddr *>(&storage), length) == 0)
                port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port
                                : reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
        }
        if (udp >= 0)
            ::close(udp);
        if (tcp >= 0)
            ::close(tcp);
        return port;
    }

    std::unique_ptr<ChildProcess> child_;
    std::uint16_t port_ = 0;
    std::string log_;
};

} // namespace vigilon::test

#endif
