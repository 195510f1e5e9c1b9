// SPDX-License-Identifier: MIT
#include "metrics/MetricsServer.h"
#include "base/Base64.h"
#include "base/TextFormat.h"
#include "base/Utf8.h"

#include "metrics/EntriesApi.h"
#include "metrics/StatusPage.h"
#include "probes/NetAddress.h"

#include <cctype>
#include <chrono>
#include <algorithm>
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

Reply jsonError(int status, const char *error, const char *message)
{
    Reply reply = textReply(status, kJson,
                            std::string("{\"error\":\"") + error + "\",\"message\":\"" + message + "\"}\n");
    reply.noCache = true;
    return reply;
}

// The value of one parameter of a query string, percent-decoded ("+" a
// space); nothing when it is not there.
std::optional<std::string> queryValue(std::string_view query, std::string_view name)
{
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t equals = item.find('=');
        if (item.substr(0, equals) != name)
            continue;
        const std::string_view raw = equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
        std::string value;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '%' && i + 2 < raw.size() && hexDigit(raw[i + 1]) >= 0 && hexDigit(raw[i + 2]) >= 0) {
                value += static_cast<char>(hexDigit(raw[i + 1]) * 16 + hexDigit(raw[i + 2]));
                i += 2;
            } else {
                value += raw[i] == '+' ? ' ' : raw[i];
            }
        }
        return value;
    }
    return std::nullopt;
}

// Whether an If-None-Match header names the tag ("*" names every one).
bool namesTag(std::string_view ifNoneMatch, std::string_view tag)
{
    while (!ifNoneMatch.empty()) {
        const std::size_t comma = ifNoneMatch.find(',');
        std::string_view item = trimmed(ifNoneMatch.substr(0, comma));
        ifNoneMatch = comma == std::string_view::npos ? std::string_view() : ifNoneMatch.substr(comma + 1);
        if (item.substr(0, 2) == "W/")
            item.remove_prefix(2);
        if (item == tag || item == "*")
            return true;
    }
    return false;
}

std::int64_t systemMillis()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool startsWith(std::string_view text, std::string_view head)
{
    return text.size() >= head.size() && text.substr(0, head.size()) == head;
}

// The paths that show the entries: the status page, their JSON documents
// and badges. Nothing when the path is none of them.
std::optional<Reply> answerEntries(const std::string &method, std::string_view path, std::string_view query,
                                   std::string_view acceptLanguage, const Sources &sources)
{
    enum class What { Page, List, One, Series, Outages, StatusBadge, UptimeBadge } what;
    std::string_view key;
    constexpr std::string_view api = "/api/v1/entries/";
    constexpr std::string_view badge = "/badge/";
    if (path == "/") {
        what = What::Page;
    } else if (path == "/api/v1/entries") {
        what = What::List;
    } else if (startsWith(path, api) && path.size() > api.size()) {
        key = path.substr(api.size());
        const std::size_t slash = key.find('/');
        what = What::One;
        if (slash != std::string_view::npos) {
            const std::string_view rest = key.substr(slash);
            key = key.substr(0, slash);
            if (rest == "/series")
                what = What::Series;
            else if (rest == "/outages")
                what = What::Outages;
            else
                return std::nullopt;
        }
    } else if (startsWith(path, badge)) {
        key = path.substr(badge.size());
        const std::size_t slash = key.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        const std::string_view rest = key.substr(slash);
        key = key.substr(0, slash);
        if (rest == "/status.svg")
            what = What::StatusBadge;
        else if (rest == "/uptime.svg")
            what = What::UptimeBadge;
        else
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (key.empty() && what != What::Page && what != What::List)
        return std::nullopt;
    if (method != "GET" && method != "HEAD") {
        Reply reply = textReply(405, "text/plain; charset=utf-8", "Only GET and HEAD are answered.\n");
        reply.allowHeader = true;
        return reply;
    }
    const std::shared_ptr<const EntriesView> view = sources.entries();
    const EntriesView empty;
    const EntriesView &entries = view ? *view : empty;
    if (what == What::Page) {
        // Made once per language and snapshot: a server answers on one
        // thread, which keeps the last pages it made.
        thread_local std::weak_ptr<const EntriesView> madeFrom[2];
        thread_local std::string made[2], madeTag[2];
        const Language language = pageLanguage(acceptLanguage, sources.language);
        const std::size_t slot = language == Language::Japanese ? 1 : 0;
        if (!view || madeFrom[slot].lock() != view) {
            made[slot] = statusPage(entries, language);
            madeTag[slot] = contentTag(made[slot], 'p');
            madeFrom[slot] = view;
        }
        Reply reply = textReply(200, "text/html; charset=utf-8", made[slot]);
        reply.etag = madeTag[slot];
        reply.noCache = true;
        return reply;
    }
    if (what == What::List) {
        Reply reply = textReply(200, kJson, entries.document.empty() ? "{\"monitoring\":false,\"entries\":[]}\n"
                                                                       : entries.document);
        reply.etag = entries.etag.empty() ? contentTag(reply.body, 'e') : entries.etag;
        reply.noCache = true;
        return reply;
    }
    const bool svg = what == What::StatusBadge || what == What::UptimeBadge;
    const EntryView *entry = entries.find(key);
    if (!entry) {
        if (svg)
            return textReply(404, "text/plain; charset=utf-8", "No such entry.\n");
        // The key is not echoed: it is whatever the client sent.
        return jsonError(404, "not_found", "No entry has this id.");
    }
    Reply reply;
    switch (what) {
    case What::StatusBadge:
        reply = textReply(200, "image/svg+xml; charset=utf-8", statusBadge(*entry));
        break;
    case What::UptimeBadge: {
        unsigned days = 30;
        if (const std::optional<std::string> given = queryValue(query, "days")) {
            days = 0;
            if (!given->empty() && given->size() <= 3 && given->find_first_not_of("0123456789") == std::string::npos)
                days = static_cast<unsigned>(std::stoul(*given));
            if (days == 0 || days > kFigureDays)
                return textReply(400, "text/plain; charset=utf-8", "days is a whole number from 1 to 90.\n");
        }
        reply = textReply(200, "image/svg+xml; charset=utf-8", uptimeBadge(*entry, days));
        break;
    }
    case What::Series:
    case What::Outages: {
        const std::int64_t now = sources.nowMillis ? sources.nowMillis() : systemMillis();
        const std::optional<std::string> fromText = queryValue(query, "from");
        const std::optional<std::string> toText = queryValue(query, "to");
        const std::optional<std::int64_t> to = toText ? parseRfc3339(*toText) : std::optional<std::int64_t>(now);
        const std::optional<std::int64_t> from =
            fromText ? parseRfc3339(*fromText)
                     : (to ? std::optional<std::int64_t>(*to - 24 * 3600 * 1000LL) : std::nullopt);
        if (!from || !to || *from > *to || *from < 0)
            return jsonError(400, "bad_range", "from and to are RFC 3339 times, from not after to.");
        if (*to - *from > kMaxRangeMillis)
            return jsonError(400, "bad_range", "The range is at most 400 days.");
        if (what == What::Series) {
            std::optional<SeriesAnswer> got;
            if (sources.series)
                got = sources.series(entry->key, *from, *to);
            if (!got)
                return jsonError(503, "no_history", "The history is not kept or not at hand.");
            reply = textReply(200, kJson, seriesDocument(*entry, *from, *to, got->resolution, got->points));
        } else {
            std::optional<std::vector<OutageView>> got;
            if (sources.outages)
                got = sources.outages(entry->key, *from, *to);
            if (!got)
                return jsonError(503, "no_history", "The history is not kept or not at hand.");
            reply = textReply(200, kJson, outagesDocument(*entry, *from, *to, *got));
        }
        break;
    }
    default:
        reply = textReply(200, kJson, entry->json + '\n');
        break;
    }
    reply.noCache = true;
    return reply;
}


Reply notFound()
{
    return textReply(404, "text/plain; charset=utf-8", "Not found. The metrics are at /metrics.\n");
}

// A heartbeat call; the token is whatever follows "/push/".
Reply answerPush(const std::string &method, std::string_view token, std::string_view query,
                 const RequestHeads &heads, const Sources &sources)
{
    if (method != "GET" && method != "POST") {
        Reply reply = textReply(405, "text/plain; charset=utf-8", "Only GET and POST are answered.\n");
        reply.allowHeader = true;
        reply.allow = "GET, POST";
        return reply;
    }
    const std::string client = limitedPart(std::string(heads.client));
    const auto now = std::chrono::steady_clock::now();
    if (sources.limiter && sources.limiter->limited(client, now))
        return textReply(429, "text/plain; charset=utf-8", "Too many calls with unknown tokens; wait a minute.\n");
    const std::optional<std::string> status = queryValue(query, "status");
    if (status && *status != "up" && *status != "down")
        return textReply(400, "text/plain; charset=utf-8", "status is up or down.\n");
    const bool up = !status || *status == "up";
    const std::string message = up ? std::string() : pushMessage(queryValue(query, "msg").value_or(std::string()));
    // A token that could not be one is looked up all the same: every wrong
    // token is answered alike.
    if (!token.empty() && token.find('/') == std::string_view::npos && sources.push(std::string(token), up, message)) {
        Reply reply = textReply(200, "text/plain; charset=utf-8", "OK\n");
        reply.noCache = true;
        return reply;
    }
    if (sources.limiter)
        sources.limiter->wrongCall(client, now);
    return notFound();
}

} // namespace

bool CallLimiter::limited(const std::string &client, std::chrono::steady_clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    const auto found = clients_.find(client);
    if (found == clients_.end())
        return false;
    if (now - found->second.since >= kWindow) {
        clients_.erase(found);
        return false;
    }
    return found->second.calls >= kWrongCalls;
}

void CallLimiter::wrongCall(const std::string &client, std::chrono::steady_clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    auto found = clients_.find(client);
    if (found != clients_.end() && now - found->second.since >= kWindow) {
        clients_.erase(found);
        found = clients_.end();
    }
    if (found == clients_.end()) {
        if (clients_.size() >= kClients) {
            // Windows over first; else the oldest window.
            std::erase_if(clients_, [now](const auto &item) { return now - item.second.since >= kWindow; });
            if (clients_.size() >= kClients)
                clients_.erase(std::min_element(clients_.begin(), clients_.end(), [](const auto &a, const auto &b) {
                    return a.second.since < b.second.since;
                }));
        }
        found = clients_.emplace(client, Record{0, now}).first;
    }
    ++found->second.calls;
}

std::string limitedPart(const std::string &address)
{
    // IPv4 whole; IPv6 by its first 64 bits (an IPv4 address mapped into
    // IPv6 whole, as the IPv4 one it is).
    net::NetAddress parsed;
    if (!listenAddress(address, parsed) || !parsed.isIpv6())
        return address;
    static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(std::begin(kMapped), std::end(kMapped), parsed.bytes.begin()))
        return address;
    std::fill(parsed.bytes.begin() + 8, parsed.bytes.end(), std::uint8_t(0));
    parsed.scope = 0;
    return parsed.text() + "/64";
}

std::string pushMessage(const std::string &text)
{
    const std::string valid = validUtf8(text);
    std::string out;
    for (std::size_t i = 0; i < valid.size();) {
        const auto lead = static_cast<unsigned char>(valid[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        // C0 controls, DEL and the C1 controls (U+0080..U+009F) go.
        const bool control = lead < 0x20 || lead == 0x7F ||
                             (lead == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) < 0xA0);
        if (!control) {
            if (out.size() + length > kMaxPushMessageBytes)
                break;
            out.append(valid, i, length);
        }
        i += length;
    }
    return out;
}

bool givesPassword(std::string_view authorization, const std::string &password)
{
    authorization = trimmed(authorization);
    if (authorization.size() < 6 || !sameLetters(authorization.substr(0, 6), "basic "))
        return false;
    std::vector<std::uint8_t> decoded;
    if (!base64Decode(trimmed(authorization.substr(6)), decoded))
        return false;
    const auto colon = std::find(decoded.begin(), decoded.end(), std::uint8_t(':'));
    if (colon == decoded.end())
        return false;
    const std::string given(colon + 1, decoded.end());
    // Every byte of the longer is looked at whatever differs: the time
    // tells nothing of where the first difference lies.
    unsigned char difference = given.size() == password.size() ? 0 : 1;
    const std::size_t length = std::max(given.size(), password.size());
    for (std::size_t i = 0; i < length; ++i) {
        const auto a = static_cast<unsigned char>(i < given.size() ? given[i] : 0);
        const auto b = static_cast<unsigned char>(i < password.size() ? password[i] : 0);
        difference |= static_cast<unsigned char>(a ^ b);
    }
    return difference == 0;
}

Reply answer(const std::string &method, const std::string &path, const RequestHeads &heads, const Sources &sources)
{
    const std::string_view acceptEncoding = heads.acceptEncoding;
    const std::size_t mark = path.find('?');
    const std::string where = path.substr(0, mark);
    constexpr std::string_view pushPath = "/push/";
    if (sources.push && startsWith(where, pushPath)) {
        const std::string_view query =
            mark == std::string::npos ? std::string_view() : std::string_view(path).substr(mark + 1);
        return answerPush(method, std::string_view(where).substr(pushPath.size()), query, heads, sources);
    }
    if (!sources.password.empty() && where != "/metrics" && !givesPassword(heads.authorization, sources.password)) {
        Reply reply = textReply(401, "text/plain; charset=utf-8", "This page asks for its password.\n");
        reply.authenticate = true;
        reply.noCache = true;
        return reply;
    }
    if (sources.entries) {
        const std::string_view query =
            mark == std::string::npos ? std::string_view() : std::string_view(path).substr(mark + 1);
        if (std::optional<Reply> reply = answerEntries(method, where, query, heads.acceptLanguage, sources)) {
            if (!reply->etag.empty() && namesTag(heads.ifNoneMatch, reply->etag)) {
                reply->status = 304;
                reply->body.clear();
                reply->contentType.clear();
            }
            return std::move(*reply);
        }
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
    return answer(method, path, RequestHeads{acceptEncoding, {}, {}}, Sources{source, {}});
}

} // namespace vigilon::metrics
