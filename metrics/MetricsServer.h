// SPDX-License-Identifier: MIT
#pragma once

#include "base/HistoryReader.h"
#include "base/Language.h"
#include "metrics/MetricsBody.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

namespace vigilon::net {
struct NetAddress;
}

namespace vigilon::metrics {

struct EntriesView;

// Where the metrics are served: a numeric IPv4 or IPv6 address and a port.
struct Endpoint {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;
};

// Reads "ADDR:PORT", "[IPV6]:PORT" or a port alone (then on 127.0.0.1).
// ADDR is a dotted quad of four decimal numbers 0..255 without leading
// zeros, IPV6 an IPv6 address; the port 1..65535. Nothing when the text is
// none of these: the short and octal forms the system's own parser takes
// ("0", "127.1", "017.0.0.1") would listen elsewhere than they seem to say.
std::optional<Endpoint> parseEndpoint(const std::string &text);

// The address of an endpoint in the forms parseEndpoint() takes (the IPv6
// one without brackets); false for any other text.
bool listenAddress(const std::string &text, net::NetAddress &address);

// How many connections wait for their request at once, and how long a
// connection has for a whole request, from its accept (or the end of the
// answer before), however it trickles in. A connection beyond the cap
// closes the oldest of those still waiting for their request, so that a
// scrape always finds room.
constexpr unsigned kMaxConnections = 8;
constexpr unsigned kConnectionTimeoutSeconds = 5;

struct ServerLimits {
    unsigned connections = kMaxConnections;
    std::chrono::milliseconds requestTime = std::chrono::seconds(kConnectionTimeoutSeconds);
};
// The longest request head read; a longer one is refused.
constexpr std::size_t kMaxRequestBytes = 8192;

// Whether a request's Accept-Encoding header (empty when it had none) lets
// the answer be gzip-compressed: "gzip", "x-gzip" or "*" with a weight above
// zero, and no "gzip;q=0" refusing it.
bool acceptsGzip(std::string_view acceptEncoding);

// The metrics as the server sends them; called on the server's thread, once
// per scrape.
using MetricsSource = std::function<std::shared_ptr<const MetricsBody>()>;
// The entries as the API and the badges show them; the server's thread,
// once per request.
using EntriesSource = std::function<std::shared_ptr<const EntriesView>()>;

// An entry's points in a range from the history, and the resolution they
// were taken at ("raw", "minute" or "hour"). The server's thread, once per
// request; it may wait a little for the history, never for the checks.
// Nothing when the history is not at hand.
struct SeriesAnswer {
    const char *resolution = "raw";
    std::vector<ResponsePoint> points;
};
using SeriesSource =
    std::function<std::optional<SeriesAnswer>(const SeriesKey &key, std::int64_t fromMillis, std::int64_t toMillis)>;
// An entry's outages that overlap a range, oldest first; likewise.
using OutagesSource = std::function<std::optional<std::vector<OutageView>>(
    const SeriesKey &key, std::int64_t fromMillis, std::int64_t toMillis)>;

// A heartbeat call to "/push/<token>": true when the token is an entry's,
// which then has the call (up, or down with the job's message), handed on
// to the event loop. Called on the server's thread; it never waits for the
// loop.
using PushSink = std::function<bool(const std::string &token, bool up, const std::string &message)>;

// Calls with tokens no entry has, counted per client address (IPv4, or
// IPv6 as one /64, where one user usually holds many addresses): past
// kWrongCalls within kWindow, every heartbeat call from there is refused
// with 429 until the window is over, and no token of them is looked at.
// At most kClients addresses are kept; the oldest window goes first.
class CallLimiter {
public:
    static constexpr unsigned kWrongCalls = 10;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr std::size_t kClients = 4096;
    // The time is given, so that tests need not wait.
    bool limited(const std::string &client, std::chrono::steady_clock::time_point now);
    void wrongCall(const std::string &client, std::chrono::steady_clock::time_point now);

private:
    struct Record {
        unsigned calls = 0;
        std::chrono::steady_clock::time_point since;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Record> clients_;
};

// The part of a client address its heartbeat calls are counted by.
std::string limitedPart(const std::string &address);

// The longest message of a heartbeat call's "msg" kept, in bytes.
constexpr std::size_t kMaxPushMessageBytes = 200;
// A message made fit to be a reason: valid UTF-8 without control
// characters, cut at a character's end to kMaxPushMessageBytes at most.
std::string pushMessage(const std::string &text);

// Whether an Authorization header gives password (HTTP basic; any user
// name), compared in constant time.
bool givesPassword(std::string_view authorization, const std::string &password);

// What the server serves; without entries, only the metrics and a page
// that links to them.
struct Sources {
    Sources() = default;
    Sources(MetricsSource metricsSource, EntriesSource entriesSource = {})
        : metrics(std::move(metricsSource))
        , entries(std::move(entriesSource))
    {
    }
    MetricsSource metrics;
    EntriesSource entries;
    SeriesSource series;
    OutagesSource outages;
    // The status page's language when the request asks for neither
    // Japanese nor English.
    Language language = Language::English;
    // The time ranges end at by default; the system's clock when unset.
    std::function<std::int64_t()> nowMillis;
    // Heartbeat calls; without it "/push/" is not served.
    PushSink push;
    // Shared by the server's copies, so that every request counts.
    std::shared_ptr<CallLimiter> limiter = std::make_shared<CallLimiter>();
    // When set, the status page, the API and the badges ask for it (HTTP
    // basic); the metrics and the heartbeat calls never do.
    std::string password;
};

// The longest range a series or the outages are asked for.
constexpr std::int64_t kMaxRangeMillis = 400LL * 24 * 3600 * 1000;
// The most outages one answer lists.
constexpr std::size_t kMaxOutages = 1000;

// The answer to one request, the same whichever server carries it.
struct Reply {
    int status = 200;
    std::string contentType;
    // The pages other than the metrics.
    std::string body;
    // The metrics: sent from here, shared with the other scrapes and never
    // copied; gzip: their compressed form is sent (Content-Encoding: gzip).
    std::shared_ptr<const MetricsBody> metrics;
    bool gzip = false;
    // 405: the methods allowed.
    bool allowHeader = false;
    const char *allow = "GET, HEAD";
    // 401: the WWW-Authenticate header that asks for the password.
    bool authenticate = false;
    // The metrics, however sent: the answer depends on Accept-Encoding.
    bool varyHeader = false;
    // The entries' documents and badges: "Cache-Control: no-cache", so that
    // a page showing a badge, and whatever caches it, asks again.
    bool noCache = false;
    // The status page and the entries' list: their ETag, which a request
    // names in If-None-Match to be answered 304 without a body while they
    // stay the same.
    std::string etag;

    // What goes out as the body.
    std::string_view content() const
    {
        if (!metrics)
            return body;
        return gzip ? metrics->gzip() : metrics->text();
    }
};

// Answers GET or HEAD of "/metrics" (the source gives them, gzip-compressed
// when acceptEncoding allows it) and of "/" (without entries, a page that
// links to them; with them, the status page in the language
// acceptLanguage prefers); with entries, of "/api/v1/entries" (the JSON
// document of every entry), "/api/v1/entries/<id>" (one entry's object; 404
// with a JSON error for an id no entry has), "/api/v1/entries/<id>/series"
// and ".../outages" (from the history, for "?from=&to=", RFC 3339 times, by
// default the last 24 hours), "/badge/<id or row>/status.svg" and
// "/badge/<id or row>/uptime.svg" ("?days=" 1 to 90, by default 30). 404 for
// any other path, 405 for any other method. With a push sink, GET or POST of
// "/push/<token>" ("?status=down&msg=..." for a failure): 200 when the
// token is an entry's, else the same 404 as for any unknown path, and 429
// from a client past the limit of wrong tokens. With a password, every path
// but "/metrics" and "/push/" answers 401 without it.
// The request's headers that change the answer.
struct RequestHeads {
    std::string_view acceptEncoding;
    std::string_view acceptLanguage;
    std::string_view ifNoneMatch;
    std::string_view authorization = {};
    // The client's address, numeric ("192.0.2.7", "2001:db8::1").
    std::string_view client = {};
};
// The header that asks for the password.
constexpr const char *kAuthenticateHeader = "Basic realm=\"Vigilon\", charset=\"UTF-8\"";
Reply answer(const std::string &method, const std::string &path, const RequestHeads &heads, const Sources &sources);
inline Reply answer(const std::string &method, const std::string &path, std::string_view acceptEncoding,
                    const Sources &sources)
{
    return answer(method, path, RequestHeads{acceptEncoding, {}, {}}, sources);
}
Reply answer(const std::string &method, const std::string &path, std::string_view acceptEncoding,
             const MetricsSource &source);

// An HTTP server on a thread of its own; it ends with the object, which
// joins the thread.
class Server {
public:
    virtual ~Server() = default;
    // The port it listens on (the one given, or the system's choice for 0).
    virtual std::uint16_t port() const = 0;
};

// Starts serving at endpoint (port 0: any free one). Null, with error set
// to a short English text of why, when the address cannot be had; inUse,
// when given, is set when that is because another socket holds the port.
std::unique_ptr<Server> startServer(const Endpoint &endpoint, Sources sources, std::string &error,
                                    bool *inUse = nullptr, const ServerLimits &limits = {});
inline std::unique_ptr<Server> startServer(const Endpoint &endpoint, MetricsSource source, std::string &error,
                                           bool *inUse = nullptr, const ServerLimits &limits = {})
{
    return startServer(endpoint, Sources{std::move(source), {}}, error, inUse, limits);
}

} // namespace vigilon::metrics
