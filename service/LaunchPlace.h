// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vigilon::svc {

// No session: what the system reports when no session is attached to the
// console.
constexpr std::uint32_t kNoSession = 0xFFFFFFFFu;

// Where Vigilon runs: in the session of the user at the console, or beside
// the service itself (the service's own session and desktop).
struct LaunchPlace {
    bool userSession = false;
    std::uint32_t session = kNoSession;
    bool operator==(const LaunchPlace &) const = default;
};

// Where Vigilon is to be started now. activeConsole is the session attached
// to the console (kNoSession when none), ownSession the service's own, and
// userLoggedOn whether a user's logon could be had for activeConsole. A
// console that is the service's own session (older systems, or a service
// run in the console for debugging) needs no user session.
LaunchPlace chooseLaunchPlace(std::uint32_t activeConsole, std::uint32_t ownSession, bool userLoggedOn);

// Where the running Vigilon was started, and whether it should be moved.
class LaunchPlaces {
public:
    // A start was made for `wanted` and ended up at `actual` (a start in a
    // user's session that failed falls back to the service's own place).
    void started(const LaunchPlace &wanted, const LaunchPlace &actual);
    // True when Vigilon runs (or ran) elsewhere than where it would be
    // started now: a user logged on at the console, logged off, or another
    // user's session took the console. A user session in which a start
    // failed is not tried again until the console changes.
    bool misplaced(const LaunchPlace &wanted) const;
    const LaunchPlace &current() const { return current_; }

private:
    LaunchPlace current_;
    LaunchPlace refused_; // the wanted place of a start that fell back
    bool anyStart_ = false;
};

} // namespace vigilon::svc
