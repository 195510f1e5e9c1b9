// SPDX-License-Identifier: MIT
#pragma once

#include "base/FailureReason.h"
#include "base/HttpRequest.h"
#include "base/HttpStatusRule.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vigilon {

// Where one request of an HTTP or HTTPS check goes.
struct HttpTarget {
    bool https = false;
    // A name or an address literal (IPv6 without brackets).
    std::string host;
    std::uint32_t port = 80;
    // The path and query, from its "/" on.
    std::string path = "/";
    // The Host header's text.
    std::string authority;
};

// Where a redirect's Location leads from the URL whose reply it came in: an
// absolute http or https URL, one without its scheme ("//host/path"), an
// absolute path or a relative one. Nothing for one that cannot be followed
// (another scheme, no host, a port outside 1..65535, a blank or a control
// character). The fragment is dropped.
std::optional<HttpTarget> resolveLocation(const HttpTarget &from, std::string_view location);

// The request text, exactly as sent: the request line, "Host:", the extra
// headers; for GET and POST "Connection: close" (the reply is read to its
// end and the connection not used again); "Authorization" when the request
// has a user; for POST the content type (the
// form type unless the extra headers name one), the length and the body.
std::string httpRequestText(const HttpRequest &request, std::uint32_t method, const std::string &authority,
                            const std::string &path);

// The rule a reply is judged by: a request with credentials fails on
// 401, whatever the entry's rule says of it, so that a wrong or refused
// password is a failure and says so.
HttpStatusRule ruleWithCredentials(const HttpStatusRule &rule, const HttpRequest &request);

// Whether two targets are the same scheme, host and port: credentials go
// only there when a redirect is followed.
bool sameOrigin(const HttpTarget &a, const HttpTarget &b);

// Reads a reply from its first byte: the status line, the header, and the
// body as the header frames it (chunked, by Content-Length, or up to the
// close). Interim replies (1xx but 101) are passed over. The body is kept up
// to a limit; what comes beyond it is not read.
class HttpReplyReader {
public:
    enum State {
        More,
        // The reply is in (its body, or as much of it as is kept).
        Complete,
        // Not an HTTP reply, or one whose framing is broken.
        Broken,
    };

    // headRequest: the reply has no body whatever its header says.
    explicit HttpReplyReader(bool headRequest, std::size_t bodyLimit = kBodyLimit);

    State take(std::string_view bytes);
    // The server closed the connection: the reply ends with what came.
    State end();

    State state() const { return state_; }
    bool headerDone() const { return status_ >= 0; }
    int status() const { return status_; }
    const std::string &location() const { return location_; }
    const std::string &body() const { return body_; }
    // More body came (or was announced) than the limit keeps.
    bool cut() const { return cut_; }
    bool anyBytes() const { return anyBytes_; }

private:
    State readHeader();
    State readBody(std::string_view bytes);
    State keep(std::string_view bytes);

    enum Framing { NoBody, Length, Chunked, ToClose };
    enum ChunkStep { SizeLine, Data, DataEnd, Trailer };
    bool head_;
    std::size_t limit_;
    State state_ = More;
    bool anyBytes_ = false;
    std::string header_;
    int status_ = -1;
    std::string location_;
    Framing framing_ = ToClose;
    std::uint64_t remaining_ = 0;
    ChunkStep chunkStep_ = SizeLine;
    std::string line_;
    std::string body_;
    bool cut_ = false;
};

// What the reply so far says.
struct HttpStep {
    enum Kind { More, Alive, Failed, Redirect };
    Kind kind = More;
    FailureReason reason;
    // Redirect: where the next request goes, and its method.
    HttpTarget next;
    std::uint32_t nextMethod = MethodHead;
};

// One request and its reply under an entry's rules: the status rule, then
// for GET and POST the content rule on the body, and redirects where they
// are followed (redirects: how many led here).
class HttpExchange {
public:
    HttpExchange(const HttpRequest &request, std::uint32_t method, const HttpStatusRule &rule, HttpTarget target,
                 int redirects);

    std::string requestText() const;
    std::uint32_t method() const { return method_; }
    int redirects() const { return redirects_; }
    const HttpTarget &target() const { return target_; }
    const HttpRequest &request() const { return request_; }
    const HttpStatusRule &rule() const { return rule_; }

    HttpStep take(std::string_view bytes);
    // The server closed the connection.
    HttpStep end();

private:
    HttpStep judge(HttpReplyReader::State state);

    HttpRequest request_;
    std::uint32_t method_;
    HttpStatusRule rule_;
    HttpTarget target_;
    int redirects_;
    HttpReplyReader reader_;
    bool headerJudged_ = false;
};

// Whether a request is judged as the plain HEAD check judges its reply, by
// the first bytes alone: a HEAD request whose redirects are not followed.
inline bool judgedByFirstBytes(const HttpRequest &request)
{
    return request.method == MethodHead && !request.followRedirects;
}

} // namespace vigilon
