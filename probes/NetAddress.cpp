// SPDX-License-Identifier: MIT
#include "probes/NetAddress.h"

#include "probes/SocketUtil.h"

#include <cstring>

namespace vigilon::net {

NetAddress NetAddress::ipv4(std::uint32_t networkOrder)
{
    NetAddress address;
    address.family = AF_INET;
    std::memcpy(address.bytes.data(), &networkOrder, 4);
    return address;
}

std::uint32_t NetAddress::ipv4() const
{
    std::uint32_t value = 0;
    if (family == AF_INET)
        std::memcpy(&value, bytes.data(), 4);
    return value;
}

socklen_t NetAddress::toSocket(std::uint16_t port, sockaddr_storage &out) const
{
    std::memset(&out, 0, sizeof out);
    if (family == AF_INET) {
        sockaddr_in &in = reinterpret_cast<sockaddr_in &>(out);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        std::memcpy(&in.sin_addr, bytes.data(), 4);
        return sizeof in;
    }
    if (family == AF_INET6) {
        sockaddr_in6 &in6 = reinterpret_cast<sockaddr_in6 &>(out);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        std::memcpy(&in6.sin6_addr, bytes.data(), 16);
        in6.sin6_scope_id = scope;
        return sizeof in6;
    }
    return 0;
}

NetAddress NetAddress::fromSocket(const sockaddr *address, socklen_t length)
{
    NetAddress host;
    if (!address)
        return host;
    if (address->sa_family == AF_INET && std::size_t(length) >= sizeof(sockaddr_in)) {
        host.family = AF_INET;
        std::memcpy(host.bytes.data(), &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, 4);
    } else if (address->sa_family == AF_INET6 && std::size_t(length) >= sizeof(sockaddr_in6)) {
        const sockaddr_in6 *in6 = reinterpret_cast<const sockaddr_in6 *>(address);
        host.family = AF_INET6;
        std::memcpy(host.bytes.data(), &in6->sin6_addr, 16);
        host.scope = in6->sin6_scope_id;
    }
    return host;
}

std::string NetAddress::text() const
{
    sockaddr_storage socket{};
    const socklen_t length = toSocket(0, socket);
    char buffer[NI_MAXHOST] = {};
    if (length == 0 ||
        getnameinfo(reinterpret_cast<const sockaddr *>(&socket), length, buffer, sizeof buffer, nullptr, 0,
                    NI_NUMERICHOST) != 0)
        return std::string();
    return buffer;
}

bool parseIpv6Literal(const std::string &text, NetAddress &address)
{
    std::string literal = text;
    if (literal.size() >= 2 && literal.front() == '[' && literal.back() == ']')
        literal = literal.substr(1, literal.size() - 2);
    // Every IPv6 literal holds a colon, no name or dotted address does; the
    // check keeps everything else away from the parser.
    if (literal.find(':') == std::string::npos || literal.find_first_of("[] \t") != std::string::npos)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo *result = nullptr;
    // Numeric only: never a lookup, so it may run on the event loop.
    if (getaddrinfo(literal.c_str(), nullptr, &hints, &result) != 0 || !result)
        return false;
    NetAddress parsed = NetAddress::fromSocket(result->ai_addr, static_cast<socklen_t>(result->ai_addrlen));
    freeaddrinfo(result);
    if (parsed.family != AF_INET6)
        return false;
    static const std::uint8_t mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(parsed.bytes.data(), mappedPrefix, sizeof mappedPrefix) == 0) {
        std::uint32_t v4 = 0;
        std::memcpy(&v4, parsed.bytes.data() + 12, 4);
        parsed = NetAddress::ipv4(v4);
    }
    address = parsed;
    return true;
}

bool parseNumericHost(const std::string &text, NetAddress &address)
{
    std::uint32_t v4 = 0;
    if (parseDottedAddress(text, v4)) {
        address = NetAddress::ipv4(v4);
        return true;
    }
    return parseIpv6Literal(text, address);
}

std::string hostForUrl(const std::string &host)
{
    NetAddress literal;
    if (host.empty() || host.front() == '[' || !parseIpv6Literal(host, literal))
        return host;
    return "[" + host + "]";
}

} // namespace vigilon::net
