// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The system's socket calls and types, from base/posix/ or base/windows/.
#include "SystemSockets.h"

namespace vigilon::net {

// The address a check goes to: IPv4 or IPv6, in network byte order.
struct NetAddress {
    int family = 0; // AF_INET, AF_INET6; 0 when there is none
    // IPv4: the first four bytes.
    std::array<std::uint8_t, 16> bytes{};
    // IPv6: the zone (interface index) of a link-local address, 0 if none.
    std::uint32_t scope = 0;

    static NetAddress ipv4(std::uint32_t networkOrder);
    bool isIpv6() const { return family == AF_INET6; }
    bool valid() const { return family == AF_INET || family == AF_INET6; }
    // IPv4 address in network byte order; 0 for an IPv6 one.
    std::uint32_t ipv4() const;

    // The socket address of port at this address; returns its length, 0
    // when there is no address.
    socklen_t toSocket(std::uint16_t port, sockaddr_storage &out) const;
    // The host of a socket address (IPv4 or IPv6); an empty address for
    // other families.
    static NetAddress fromSocket(const sockaddr *address, socklen_t length);

    // The numeric text, without brackets ("10.0.0.1", "fd00::2").
    std::string text() const;

    // The same host: family and bytes (a zone does not travel with a reply).
    bool operator==(const NetAddress &other) const { return family == other.family && bytes == other.bytes; }
    bool operator!=(const NetAddress &other) const { return !(*this == other); }
};

// Parses an IPv6 literal as a user types it: with or without brackets
// ("::1", "[fd00::2]"), with a zone ("fe80::1%eth0"). An IPv4-mapped
// address ("::ffff:10.0.0.1") yields the IPv4 address: it is the same host,
// and only IPv4 reaches it everywhere.
bool parseIpv6Literal(const std::string &text, NetAddress &address);

// A host text that needs no lookup: a dotted IPv4 address in the forms
// gethostbyname() takes ("10.0.0.1", "10.1"), or an IPv6 literal.
bool parseNumericHost(const std::string &text, NetAddress &address);

// The host as it goes into a URL or an HTTP Host header: an IPv6 literal in
// brackets (added when the text has none), anything else as it is.
std::string hostForUrl(const std::string &host);

} // namespace vigilon::net
