// SPDX-License-Identifier: MIT
#include "metrics/MetricsServer.h"

#include <cctype>

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

bool plausibleAddress(const std::string &text, bool ipv6)
{
    if (text.empty() || text.size() > 45)
        return false;
    for (const char c : text) {
        const bool ok = ipv6 ? (std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')
                             : (std::isdigit(static_cast<unsigned char>(c)) || c == '.');
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

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
    // The server checks the address exactly when it binds; this refuses
    // names, which would need a lookup.
    if (!plausibleAddress(address, ipv6) || !parsePort(port, endpoint.port))
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
