// SPDX-License-Identifier: MIT
// How post() wakes a PollEventLoop on POSIX systems: a pipe.
#include "base/PollEventLoop.h"

#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vigilon {

// With a pipe failed, posted calls wait for the next timer or socket.
const std::uint64_t PollEventLoop::kMaxWaitWithoutWakeMs = UINT64_MAX;

void PollEventLoop::openWake()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

void PollEventLoop::closeWake()
{
    if (wakeRead_ >= 0)
        close(wakeRead_);
    if (wakeWrite_ >= 0)
        close(wakeWrite_);
}

void PollEventLoop::sendWake()
{
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] auto written = write(wakeWrite_, &byte, 1);
}

void PollEventLoop::drainWake()
{
    char buffer[64];
    // Bounded by what was written; the descriptor is non-blocking.
    while (read(wakeRead_, buffer, sizeof buffer) > 0) {
    }
}

void PollEventLoop::idle(int waitMs)
{
    poll(nullptr, 0, waitMs);
}

} // namespace vigilon
