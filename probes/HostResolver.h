// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/FailureReason.h"
#include "probes/NetAddress.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace vigilon {

// Looks host names up without ever blocking the event loop: each lookup
// runs getaddrinfo() on a worker thread, and the answer is posted back to
// the loop. A name is checked at its first IPv4 address, as gethostbyname()
// would give it; only a name without any IPv4 address is checked at its
// first IPv6 one.
//
// Sharing: every request for a name joins the lookup of the current
// generation, running or finished, so one lookup serves every entry of a
// round. The frame calls beginRound() at the start of each round; an answer
// is also dropped once it is older than reuseMs, in case nobody starts
// rounds. A dotted address or an IPv6 literal is never looked up.
//
// A lookup that has not answered is never waited for: the caller's own
// deadline (the probe timer) ends the check, and a late answer is only
// cached. Lookups that fail are shared in the same way.
//
// The resolver is used on the loop's thread only and must be destroyed
// before the loop; worker threads still running then finish on their own
// and post nothing.
class HostResolver {
public:
    // ok: whether the name was found.
    using Callback = std::function<void(bool ok, const net::NetAddress &address)>;
    static constexpr unsigned reuseMs = 3000;
    // More lookups than this running at once fail at once (a hostile
    // configuration must not start threads without end).
    static constexpr unsigned maxRunning = 32;

    explicit HostResolver(EventLoop &loop);
    ~HostResolver();
    HostResolver(const HostResolver &) = delete;
    HostResolver &operator=(const HostResolver &) = delete;

    // Starts answering lookups anew: answers of earlier rounds are not
    // reused, a lookup still running keeps its waiters.
    void beginRound();
    std::uint64_t generation() const { return generation_; }

    // Immediate answers (address literal, answer of this round): sets address
    // and returns Found or NotFound without calling back. Otherwise returns
    // Pending and the callback runs later on the loop's thread, unless the
    // ticket is cancelled first. LocalFailure: no worker thread could be
    // started; errno-like cause in localError().
    enum Status { Found, NotFound, Pending, LocalFailure };
    Status resolve(const std::string &host, net::NetAddress &address, Callback callback, std::uint64_t &ticket);
    void cancel(std::uint64_t ticket);

    // Why the newest lookup of host found nothing: NameNotFound, or
    // LookupTimedOut while it has not answered or when the name server did
    // not answer it.
    FailureKind failureOf(const std::string &host) const;

    int localError() const { return localError_; }
    // Lookups started on worker threads since construction (for tests).
    unsigned lookupsStarted() const { return lookupsStarted_; }
    unsigned waiting() const { return static_cast<unsigned>(waiters_.size()); }

private:
    struct Lookup;
    struct Shared;
    struct Waiter {
        std::shared_ptr<Lookup> lookup;
        Callback callback;
    };

    std::shared_ptr<Lookup> lookupFor(const std::string &host, Status &status, net::NetAddress &address);
    void delivered(const std::shared_ptr<Lookup> &lookup);

    EventLoop &loop_;
    std::shared_ptr<Shared> shared_;
    std::uint64_t generation_ = 1;
    std::uint64_t nextTicket_ = 1;
    int localError_ = 0;
    unsigned lookupsStarted_ = 0;
    std::map<std::string, std::shared_ptr<Lookup>> lookups_;
    std::map<std::uint64_t, Waiter> waiters_;
};

} // namespace vigilon
