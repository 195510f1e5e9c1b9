// SPDX-License-Identifier: MIT
#include "probes/HostResolver.h"

#include "base/Clock.h"
#include "probes/SocketUtil.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vigilon {

struct HostResolver::Lookup {
    std::string host;
    std::uint64_t generation = 0;
    // Written by the worker under the mutex; finished set last.
    std::mutex mutex;
    bool finished = false;
    bool ok = false;
    // Not found because a name server did not answer in time.
    bool timedOut = false;
    net::NetAddress address;
    // Loop-thread side: when the answer reached the loop (0: not yet).
    std::uint64_t deliveredMicros = 0;
};

// What the worker threads share with the resolver: the loop to post to,
// cleared when the resolver goes, and the resolver to deliver to.
struct HostResolver::Shared {
    std::mutex mutex;
    EventLoop *loop = nullptr;
    HostResolver *resolver = nullptr; // touched on the loop thread only
    std::atomic<unsigned> running{0};
};

namespace {
// getaddrinfo() for one family; appends the addresses found. Returns its
// error.
int systemQuery(const std::string &host, int family, std::vector<net::NetAddress> &found)
{
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *result = nullptr;
    const int error = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (error != 0 || !result)
        return error != 0 ? error : EAI_NONAME;
    for (addrinfo *a = result; a; a = a->ai_next) {
        const net::NetAddress address =
            net::NetAddress::fromSocket(a->ai_addr, static_cast<socklen_t>(a->ai_addrlen));
        if (address.family == family)
            found.push_back(address);
    }
    freeaddrinfo(result);
    return 0;
}

// The address a name is checked at. timedOut: when nothing was found, whether
// for want of an answer rather than because the name is unknown.
bool lookUpAddress(const std::string &host, net::NetAddress &address, bool &timedOut)
{
    // IPv4 first, asked on its own, so that a name with an A record is
    // checked at that address whatever else it has.
    std::vector<net::NetAddress> found;
    const int error4 = systemQuery(host, AF_INET, found);
    int error6 = 0;
    if (found.empty()) {
        // Whatever kept the IPv4 answer away (no such address, no answer
        // from the server), the name may still be known with IPv6 addresses,
        // as in the hosts file when the name server cannot be reached.
        error6 = systemQuery(host, AF_INET6, found);
    }
    // One query that says the name does not exist settles it; otherwise one
    // left without an answer leaves it open.
    timedOut = error4 != EAI_NONAME && error6 != EAI_NONAME && (error4 == EAI_AGAIN || error6 == EAI_AGAIN);
    if (found.empty())
        return false;
    address = found.front();
    return true;
}
} // namespace

HostResolver::HostResolver(EventLoop &loop) : loop_(loop), shared_(std::make_shared<Shared>())
{
    shared_->loop = &loop_;
    shared_->resolver = this;
}

HostResolver::~HostResolver()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->loop = nullptr;
    shared_->resolver = nullptr;
}

void HostResolver::beginRound()
{
    ++generation_;
    // Finished lookups of older rounds are of no more use; running ones stay
    // until they deliver to their waiters.
    for (auto it = lookups_.begin(); it != lookups_.end();) {
        if (it->second->deliveredMicros != 0)
            it = lookups_.erase(it);
        else
            ++it;
    }
}

std::shared_ptr<HostResolver::Lookup> HostResolver::lookupFor(const std::string &host, Status &status,
                                                              net::NetAddress &address)
{
    if (net::parseNumericHost(host, address)) {
        status = Found;
        return nullptr;
    }
    // No name holds a blank or a control character: such a host is not
    // asked for, whatever the system would make of it (a resolver may take
    // what comes before a blank as an address).
    const auto blankOrControl = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; };
    if (std::any_of(host.begin(), host.end(), blankOrControl)) {
        status = NotFound;
        return nullptr;
    }
    const std::uint64_t now = SystemClock::instance().monotonicMicros();
    auto it = lookups_.find(host);
    if (it != lookups_.end()) {
        const std::shared_ptr<Lookup> &known = it->second;
        if (known->deliveredMicros == 0) {
            // Running: join it, whatever its round. A lookup of an earlier
            // round that still runs would only be started again and wait
            // for the same server.
            status = Pending;
            return known;
        }
        if (known->generation == generation_ && now - known->deliveredMicros < std::uint64_t(reuseMs) * 1000u) {
            status = known->ok ? Found : NotFound;
            address = known->address;
            return nullptr;
        }
        lookups_.erase(it);
    }

    if (shared_->running.load() >= maxRunning) {
        localError_ = EAGAIN;
        status = LocalFailure;
        return nullptr;
    }
    auto lookup = std::make_shared<Lookup>();
    lookup->host = host;
    lookup->generation = generation_;
    std::shared_ptr<Shared> shared = shared_;
    ++shared->running;
    try {
        std::thread([lookup, shared] {
            net::NetAddress found;
            bool timedOut = false;
            const bool ok = lookUpAddress(lookup->host, found, timedOut);
            {
                std::lock_guard<std::mutex> lock(lookup->mutex);
                lookup->ok = ok;
                lookup->timedOut = timedOut;
                lookup->address = found;
                lookup->finished = true;
            }
            --shared->running;
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shared->loop) {
                shared->loop->post([lookup, shared] {
                    if (shared->resolver)
                        shared->resolver->delivered(lookup);
                });
            }
        }).detach();
    } catch (const std::system_error &error) {
        --shared->running;
        localError_ = error.code().value() ? error.code().value() : EAGAIN;
        status = LocalFailure;
        return nullptr;
    }
    ++lookupsStarted_;
    lookups_[host] = lookup;
    status = Pending;
    return lookup;
}

HostResolver::Status HostResolver::resolve(const std::string &host, net::NetAddress &address, Callback callback,
                                           std::uint64_t &ticket)
{
    ticket = 0;
    Status status = NotFound;
    std::shared_ptr<Lookup> lookup = lookupFor(host, status, address);
    if (status != Pending)
        return status;
    ticket = nextTicket_++;
    waiters_[ticket] = Waiter{std::move(lookup), std::move(callback)};
    return Pending;
}

void HostResolver::cancel(std::uint64_t ticket)
{
    waiters_.erase(ticket);
}

FailureKind HostResolver::failureOf(const std::string &host) const
{
    const auto it = lookups_.find(host);
    if (it == lookups_.end())
        return FailureKind::NameNotFound;
    std::lock_guard<std::mutex> lock(it->second->mutex);
    return !it->second->finished || it->second->timedOut ? FailureKind::LookupTimedOut : FailureKind::NameNotFound;
}

void HostResolver::delivered(const std::shared_ptr<Lookup> &lookup)
{
    bool ok = false;
    net::NetAddress address;
    {
        std::lock_guard<std::mutex> lock(lookup->mutex);
        ok = lookup->ok;
        address = lookup->address;
    }
    lookup->deliveredMicros = SystemClock::instance().monotonicMicros();
    if (lookup->deliveredMicros == 0)
        lookup->deliveredMicros = 1;
    // An answer that arrives in a later round still counts for the current
    // one: it is fresh.
    lookup->generation = generation_;

    // Callbacks may start or cancel other lookups: collect first.
    std::vector<std::uint64_t> tickets;
    for (const auto &[ticket, waiter] : waiters_) {
        if (waiter.lookup == lookup)
            tickets.push_back(ticket);
    }
    for (std::uint64_t ticket : tickets) {
        auto it = waiters_.find(ticket);
        if (it == waiters_.end())
            continue;
        Callback callback = std::move(it->second.callback);
        waiters_.erase(it);
        callback(ok, address);
    }
}

} // namespace vigilon
