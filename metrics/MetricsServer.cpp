// SPDX-License-Identifier: MIT
#include "metrics/MetricsServer.h"

#include "probes/NetAddress.h"

#include <cctype>
#include <cstring>

namespace vigilon::metrics {

namespace {

bool parsePort(const std::string &text, std::uint16_t &port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// Four decimal numbers 0..255 joined by dots; a leading zero only in "0".
bool dottedQuad(const std::string &text, std::uint32_t &networkOrder)
{
    unsigned char bytes[4] = {};
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.')
                return false;
            ++at;
        }
        const std::size_t start = at;
        unsigned value = 0;
        while (at < text.size() && at - start < 3 && std::isdigit(static_cast<unsigned char>(text[at])))
            value = value * 10 + static_cast<unsigned>(text[at++] - '0');
        const std::size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return false;
        bytes[part] = static_cast<unsigned char>(value);
    }
    if (at != text.size())
        return false;
    std::memcpy(&networkOrder, bytes, sizeof networkOrder);
    return true;
}

} // namespace

bool listenAddress(const std::string &text, net::NetAddress &address)
{
    if (text.find(':') == std::string::npos) {
        std::uint32_t v4 = 0;
        if (!dottedQuad(text, v4))
            return false;
        address = net::NetAddress::ipv4(v4);
        return true;
    }
    // Hex digits, colons and the dots of an embedded IPv4 address: no zone,
    // no brackets, nothing a lookup would be asked for.
    if (text.size() > 45)
        return false;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
            return false;
    }
    return net::parseIpv6Literal(text, address);
}

std::optional<Endpoint> parseEndpoint(const std::string &text)
{
    Endpoint endpoint;
    if (text.find(':') == std::string::npos)
        return parsePort(text, endpoint.port) ? std::optional(endpoint) : std::nullopt;
    std::string address;
    std::string port;
    bool ipv6 = false;
    if (text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return std::nullopt;
        address = text.substr(1, close - 1);
        port = text.substr(close + 2);
        ipv6 = true;
    } else {
        const std::size_t colon = text.find(':');
        if (text.find(':', colon + 1) != std::string::npos)
            return std::nullopt; // IPv6 goes in brackets
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    // Numeric only: a name would need a lookup. An IPv6 address is written
    // in brackets, an IPv4 one without.
    net::NetAddress parsed;
    if ((address.find(':') != std::string::npos) != ipv6 || !listenAddress(address, parsed) ||
        !parsePort(port, endpoint.port))
        return std::nullopt;
    endpoint.address = address;
    return endpoint;
}

Reply answer(const std::string &method, const std::string &path, const std::function<std::string()> &render)
{
    Reply reply;
    const std::string where = path.substr(0, path.find('?'));
    if (where != "/metrics" && where != "/") {
        reply.status = 404;
        reply.contentType = "text/plain; charset=utf-8";
        reply.body = "Not found. The metrics are at /metrics.\n";
        return reply;
    }
    if (method != "GET" && method != "HEAD") {
        reply.status = 405;
        reply.contentType = "text/plain; charset=utf-8";
        reply.body = "Only GET and HEAD are answered.\n";
        reply.allowHeader = true;
        return reply;
    }
    if (where == "/") {
        reply.contentType = "text/html; charset=utf-8";
        reply.body = "<!DOCTYPE html>\n<html><head><title>Vigilon metrics</title></head>\n"
                     "<body><h1>Vigilon</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";
        return reply;
    }
    reply.contentType = "text/plain; version=0.0.4; charset=utf-8";
    reply.body = render();
    return reply;
}

} // namespace vigilon::metrics
