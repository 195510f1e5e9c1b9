// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <thread>

namespace vigilon::bench {

// A name server on 127.0.0.1:53 (of a network namespace of the bench's own)
// that answers every query for an address with 127.0.0.1, after delayMs.
class SlowDns {
public:
    explicit SlowDns(unsigned delayMs);
    ~SlowDns();
    bool ok() const { return ok_; }
    unsigned queries() const { return queries_; }

private:
    void run();

    unsigned delayMs_;
    int socket_ = -1;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> queries_{0};
    std::thread thread_;
};

} // namespace vigilon::bench
