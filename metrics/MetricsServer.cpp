// SPDX-License-Identifier: MIT
#include "metrics/MetricsServer.h"

#include "metrics/EntriesApi.h"
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

namespace {

bool sameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The weight of one item of the list ("gzip;q=0.5"): 1 without "q", 0 for
// "q=0", "q=0.0" and so on, and for a weight that cannot be read.
bool weightAboveZero(std::string_view parameters)
{
    while (!parameters.empty()) {
        const std::size_t semicolon = parameters.find(';');
        const std::string_view parameter = trimmed(parameters.substr(0, semicolon));
        parameters = semicolon == std::string_view::npos ? std::string_view() : parameters.substr(semicolon + 1);
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos || !sameLetters(trimmed(parameter.substr(0, equals)), "q"))
            continue;
        const std::string_view value = trimmed(parameter.substr(equals + 1));
        if (value.empty() || (value[0] != '0' && value[0] != '1'))
            return false;
        for (const char c : value) {
            if (c >= '1' && c <= '9')
                return true;
        }
        return false;
    }
    return true;
}

} // namespace

bool acceptsGzip(std::string_view acceptEncoding)
{
    bool named = false, namedAccepted = false, anyAccepted = false;
    while (!acceptEncoding.empty()) {
        const std::size_t comma = acceptEncoding.find(',');
        const std::string_view item = acceptEncoding.substr(0, comma);
        acceptEncoding = comma == std::string_view::npos ? std::string_view() : acceptEncoding.substr(comma + 1);
        const std::size_t semicolon = item.find(';');
        const std::string_view coding = trimmed(item.substr(0, semicolon));
        const bool accepted =
            weightAboveZero(semicolon == std::string_view::npos ? std::string_view() : item.substr(semicolon + 1));
        if (sameLetters(coding, "gzip") || sameLetters(coding, "x-gzip")) {
            named = true;
            namedAccepted = namedAccepted || accepted;
        } else if (coding == "*") {
            anyAccepted = accepted;
        }
    }
    return named ? namedAccepted : anyAccepted;
}

namespace {

Reply textReply(int status, std::string contentType, std::string body)
{
    Reply reply;
    reply.status = status;
    reply.contentType = std::move(contentType);
    reply.body = std::move(body);
    return reply;
}

constexpr const char *kJson = "application/json; charset=utf-8";

// The entries' paths: their JSON documents and badges. Nothing when the
// path is none of them.
std::optional<Reply> answerEntries(const std::string &method, const std::string &where,
                                   const EntriesSource &source)
{
    constexpr std::string_view list = "/api/v1/entries";
    constexpr std::string_view badge = "/badge/";
    constexpr std::string_view statusSvg = "/status.svg";
    std::string_view key;
    bool one = false, svg = false;
    const std::string_view path = where;
    if (path == list) {
    } else if (path.size() > list.size() + 1 && path.substr(0, list.size() + 1) == "/api/v1/entries/" &&
               path.find('/', list.size() + 1) == std::string_view::npos) {
        one = true;
        key = path.substr(list.size() + 1);
    } else if (path.size() > badge.size() + statusSvg.size() && path.substr(0, badge.size()) == badge &&
               path.substr(path.size() - statusSvg.size()) == statusSvg) {
        svg = true;
        key = path.substr(badge.size(), path.size() - badge.size() - statusSvg.size());
        if (key.find('/') != std::string_view::npos)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (method != "GET" && method != "HEAD") {
        Reply reply = textReply(405, "text/plain; charset=utf-8", "Only GET and HEAD are answered.\n");
        reply.allowHeader = true;
        return reply;
    }
    const std::shared_ptr<const EntriesView> view = source();
    const EntriesView empty;
    const EntriesView &entries = view ? *view : empty;
    if (!one && !svg) {
        Reply reply = textReply(200, kJson, entries.document.empty() ? "{\"monitoring\":false,\"entries\":[]}\n"
                                                                       : entries.document);
        reply.noCache = true;
        return reply;
    }
    const EntryView *entry = entries.find(key);
    if (!entry) {
        if (svg)
            return textReply(404, "text/plain; charset=utf-8", "No such entry.\n");
        // The key is not echoed: it is whatever the client sent.
        return textReply(404, kJson, "{\"error\":\"not_found\",\"message\":\"No entry has this id.\"}\n");
    }
    Reply reply = svg ? textReply(200, "image/svg+xml; charset=utf-8", statusBadge(*entry))
                      : textReply(200, kJson, entry->json + '\n');
    reply.noCache = true;
    return reply;
}

} // namespace

Reply answer(const std::string &method, const std::string &path, std::string_view acceptEncoding,
             const Sources &sources)
{
    const std::string where = path.substr(0, path.find('?'));
    if (sources.entries) {
        if (std::optional<Reply> reply = answerEntries(method, where, sources.entries))
            return std::move(*reply);
    }
    Reply reply;
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
    reply.varyHeader = true;
    reply.metrics = sources.metrics ? sources.metrics() : nullptr;
    if (!reply.metrics)
        reply.metrics = std::make_shared<const MetricsBody>(std::string());
    // Compressed only when that is asked for and could be had.
    reply.gzip = acceptsGzip(acceptEncoding) && !reply.metrics->gzip().empty();
    return reply;
}

Reply answer(const std::string &method, const std::string &path, std::string_view acceptEncoding,
             const MetricsSource &source)
{
    return answer(method, path, acceptEncoding, Sources{source, {}});
}

} // namespace vigilon::metrics
