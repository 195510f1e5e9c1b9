// SPDX-License-Identifier: MIT
#include "bench/probes/SlowDns.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vigilon::bench {

SlowDns::SlowDns(unsigned delayMs) : delayMs_(delayMs)
{
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    thread_ = std::thread([this] { run(); });
}

SlowDns::~SlowDns()
{
    stop_ = true;
    thread_.join();
    close(socket_);
}

void SlowDns::run()
{
    std::uint8_t query[512];
    while (!stop_) {
        pollfd p{socket_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = recvfrom(socket_, query, sizeof query, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (got < 12 + 5)
            continue;
        ++queries_;
        // The question ends after its name and four bytes of type and class.
        std::size_t at = 12;
        while (at < std::size_t(got) && query[at] != 0)
            at += query[at] + 1u;
        at += 1;
        if (at + 4 > std::size_t(got))
            continue;
        const bool wantsA = query[at] == 0 && query[at + 1] == 1;
        std::vector<std::uint8_t> answer(query, query + at + 4);
        answer[2] = 0x81;
        answer[3] = 0x80;
        answer[6] = 0;
        answer[7] = wantsA ? 1 : 0;
        answer[8] = answer[9] = answer[10] = answer[11] = 0;
        if (wantsA) {
            const std::uint8_t record[] = {0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 127, 0, 0, 1};
            answer.insert(answer.end(), record, record + sizeof record);
        }
        // Bounded: the stop is seen within one delay.
        usleep(delayMs_ * 1000);
        sendto(socket_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from), fromLength);
    }
}

} // namespace vigilon::bench
