// SPDX-License-Identifier: MIT
#include "probes/HttpExchange.h"

#include "base/TextFormat.h"

#include <algorithm>
#include <cctype>

namespace vigilon {

namespace {

// The longest header (status line and fields) read, and the longest chunk
// size or trailer line.
constexpr std::size_t kMaxHeader = 65536;
constexpr std::size_t kMaxLine = 4096;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The Host header's text for a host and port: the port only where it is
// not the scheme's own.
std::string authorityOf(const std::string &host, std::uint32_t port, bool https)
{
    std::string text = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port != (https ? 443u : 80u))
        text += ":" + std::to_string(port);
    return text;
}

// The end of a header block at the start of text (past its blank line);
// npos while it has not come.
std::size_t headerEnd(std::string_view text)
{
    const std::size_t crlf = text.find("\r\n\r\n");
    const std::size_t lf = text.find("\n\n");
    if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf + 2 <= lf))
        return crlf + 4;
    return lf == std::string_view::npos ? lf : lf + 2;
}

// Location values are shown in reasons: control characters escaped, and
// long ones cut.
std::string shownLocation(std::string_view location)
{
    constexpr std::size_t kShown = 200;
    std::string text = escapeControls(std::string(location.substr(0, kShown)));
    if (location.size() > kShown)
        text += "...";
    return text;
}

} // namespace

std::optional<HttpTarget> resolveLocation(const HttpTarget &from, std::string_view location)
{
    location = trimmed(location);
    if (location.empty() ||
        std::any_of(location.begin(), location.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; }))
        return std::nullopt;
    if (const auto hash = location.find('#'); hash != std::string_view::npos)
        location = location.substr(0, hash);
    HttpTarget next = from;
    const auto colon = location.find(':');
    const auto firstSlash = location.find('/');
    std::string_view rest = location;
    if (colon != std::string_view::npos && (firstSlash == std::string_view::npos || colon < firstSlash) &&
        location.find('?') > colon) {
        const std::string_view scheme = location.substr(0, colon);
        if (sameWord(scheme, "http"))
            next.https = false;
        else if (sameWord(scheme, "https"))
            next.https = true;
        else
            return std::nullopt;
        rest = location.substr(colon + 1);
        if (rest.substr(0, 2) != "//")
            return std::nullopt;
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const auto end = rest.find_first_of("/?");
        std::string_view authority = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view("/") : rest.substr(end);
        if (const auto at = authority.rfind('@'); at != std::string_view::npos)
            authority.remove_prefix(at + 1);
        std::string_view host = authority;
        std::string_view port;
        if (!authority.empty() && authority[0] == '[') {
            const auto close = authority.find(']');
            if (close == std::string_view::npos)
                return std::nullopt;
            host = authority.substr(1, close - 1);
            const std::string_view after = authority.substr(close + 1);
            if (!after.empty()) {
                if (after[0] != ':')
                    return std::nullopt;
                port = after.substr(1);
            }
        } else if (const auto portColon = authority.rfind(':'); portColon != std::string_view::npos) {
            host = authority.substr(0, portColon);
            port = authority.substr(portColon + 1);
        }
        if (host.empty())
            return std::nullopt;
        next.host = std::string(host);
        next.port = next.https ? 443u : 80u;
        if (!port.empty()) {
            if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return std::nullopt;
            next.port = static_cast<std::uint32_t>(std::stoul(std::string(port)));
            if (next.port == 0 || next.port > 65535)
                return std::nullopt;
        }
        next.authority = authorityOf(next.host, next.port, next.https);
    }
    if (rest.empty())
        rest = "/";
    if (rest[0] == '/') {
        next.path = std::string(rest);
    } else if (rest[0] == '?') {
        next.path = from.path.substr(0, from.path.find('?')) + std::string(rest);
    } else {
        // Relative to the folder of the path it came from.
        const std::string base = from.path.substr(0, from.path.find('?'));
        next.path = base.substr(0, base.rfind('/') + 1) + std::string(rest);
    }
    return next;
}

std::string httpRequestText(const HttpRequest &request, std::uint32_t method, const std::string &authority,
                            const std::string &path)
{
    std::string text = std::string(methodWord(method)) + " " + path + " HTTP/1.1\r\nHost:" + authority + "\r\n";
    bool typeGiven = false;
    for (const auto &[name, value] : headerLines(request.headers)) {
        text += name + ": " + value + "\r\n";
        typeGiven = typeGiven || sameWord(name, "Content-Type");
    }
    if (!request.user.empty())
        text += "Authorization: " + basicAuthorization(request.user, request.password) + "\r\n";
    if (method != MethodHead)
        text += "Connection: close\r\n";
    if (method == MethodPost) {
        if (!typeGiven)
            text += std::string("Content-Type: ") + kDefaultPostType + "\r\n";
        text += "Content-Length: " + std::to_string(request.body.size()) + "\r\n";
    }
    text += "\r\n";
    if (method == MethodPost)
        text += request.body;
    return text;
}

HttpStatusRule ruleWithCredentials(const HttpStatusRule &rule, const HttpRequest &request)
{
    if (request.user.empty() || !rule.valid() || (!rule.anyReply() && !rule.accepts(401)))
        return rule;
    std::vector<std::pair<int, int>> ranges = rule.ranges();
    if (ranges.empty())
        ranges.emplace_back(HttpStatusRule::Lowest, HttpStatusRule::Highest);
    std::string text;
    for (const auto &[low, high] : ranges) {
        const auto add = [&](int from, int to) {
            if (from <= to)
                text += (text.empty() ? "" : ",") + std::to_string(from) + "-" + std::to_string(to);
        };
        if (low <= 401 && 401 <= high) {
            add(low, 400);
            add(402, high);
        } else {
            add(low, high);
        }
    }
    return HttpStatusRule::fromText(text);
}

bool sameOrigin(const HttpTarget &a, const HttpTarget &b)
{
    return a.https == b.https && a.port == b.port && sameWord(a.host, b.host);
}

HttpReplyReader::HttpReplyReader(bool headRequest, std::size_t bodyLimit) : head_(headRequest), limit_(bodyLimit) {}

HttpReplyReader::State HttpReplyReader::take(std::string_view bytes)
{
    if (state_ != More || bytes.empty())
        return state_;
    anyBytes_ = true;
    if (status_ >= 0)
        return state_ = readBody(bytes);
    header_.append(bytes);
    return state_ = readHeader();
}

HttpReplyReader::State HttpReplyReader::end()
{
    if (state_ != More)
        return state_;
    // A reply cut short keeps what came: its status, and the body so far.
    state_ = status_ >= 0 ? Complete : Broken;
    return state_;
}

HttpReplyReader::State HttpReplyReader::readHeader()
{
    for (;;) {
        constexpr std::string_view prefix = "HTTP/";
        if (header_.compare(0, std::min(header_.size(), prefix.size()), prefix.substr(0, std::min(header_.size(), prefix.size()))) != 0)
            return Broken;
        const std::size_t end = headerEnd(header_);
        if (end == std::string_view::npos)
            return header_.size() > kMaxHeader ? Broken : More;
        const std::string_view block = std::string_view(header_).substr(0, end);
        // "HTTP/1.1 200 OK": the code after the first blank.
        const auto blank = block.find(' ');
        if (blank == std::string_view::npos || blank + 4 > block.size())
            return Broken;
        const std::string_view digits = block.substr(blank + 1, 3);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return Broken;
        const int status = std::stoi(std::string(digits));
        if (status < 100)
            return Broken;
        if (status < 200 && status != 101) {
            header_.erase(0, end);
            if (header_.empty())
                return More;
            continue;
        }
        status_ = status;
        std::string_view lines = block.substr(block.find('\n') + 1);
        std::string_view length;
        bool chunked = false;
        bool lengthSeen = false;
        while (!lines.empty()) {
            const auto eol = lines.find('\n');
            std::string_view line = lines.substr(0, eol);
            lines = eol == std::string_view::npos ? std::string_view() : lines.substr(eol + 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            const auto colon = line.find(':');
            if (colon == std::string_view::npos)
                continue;
            const std::string_view name = trimmed(line.substr(0, colon));
            const std::string_view value = trimmed(line.substr(colon + 1));
            if (sameWord(name, "Location")) {
                location_ = std::string(value);
            } else if (sameWord(name, "Transfer-Encoding")) {
                const auto comma = value.rfind(',');
                chunked = sameWord(trimmed(comma == std::string_view::npos ? value : value.substr(comma + 1)), "chunked");
            } else if (sameWord(name, "Content-Length")) {
                // Repeated lengths must agree.
                if (lengthSeen && length != value)
                    return Broken;
                lengthSeen = true;
                length = value;
            }
        }
        if (head_ || status == 204 || status == 304 || status == 101) {
            framing_ = NoBody;
        } else if (chunked) {
            framing_ = Chunked;
        } else if (lengthSeen) {
            if (length.empty() || length.size() > 18 ||
                !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return Broken;
            framing_ = Length;
            remaining_ = std::stoull(std::string(length));
        } else {
            framing_ = ToClose;
        }
        const std::string rest = header_.substr(end);
        header_.clear();
        header_.shrink_to_fit();
        if (framing_ == NoBody || (framing_ == Length && remaining_ == 0))
            return Complete;
        state_ = More;
        return readBody(rest);
    }
}

HttpReplyReader::State HttpReplyReader::keep(std::string_view bytes)
{
    const std::size_t room = limit_ - std::min(limit_, body_.size());
    body_.append(bytes.substr(0, room));
    if (bytes.size() > room) {
        cut_ = true;
        return Complete;
    }
    return More;
}

HttpReplyReader::State HttpReplyReader::readBody(std::string_view bytes)
{
    switch (framing_) {
    case NoBody:
        return Complete;
    case ToClose:
        return keep(bytes);
    case Length: {
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size()));
        remaining_ -= part;
        if (keep(bytes.substr(0, part)) == Complete)
            return Complete;
        if (remaining_ == 0)
            return Complete;
        // What was announced beyond the limit will not be kept.
        if (body_.size() >= limit_) {
            cut_ = true;
            return Complete;
        }
        return More;
    }
    case Chunked:
        break;
    }
    while (!bytes.empty()) {
        if (chunkStep_ == Data) {
            const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size()));
            remaining_ -= part;
            if (keep(bytes.substr(0, part)) == Complete)
                return Complete;
            bytes.remove_prefix(part);
            if (remaining_ == 0)
                chunkStep_ = DataEnd;
            continue;
        }
        const auto eol = bytes.find('\n');
        line_.append(bytes.substr(0, eol));
        if (line_.size() > kMaxLine)
            return Broken;
        if (eol == std::string_view::npos)
            return More;
        bytes.remove_prefix(eol + 1);
        std::string_view line = line_;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        switch (chunkStep_) {
        case SizeLine: {
            // The size in hex, then perhaps extensions after ';'.
            const std::string_view size = trimmed(line.substr(0, line.find(';')));
            if (size.empty() || size.size() > 15 || !std::all_of(size.begin(), size.end(), [](char c) {
                    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                }))
                return Broken;
            remaining_ = std::stoull(std::string(size), nullptr, 16);
            chunkStep_ = remaining_ == 0 ? Trailer : Data;
            break;
        }
        case DataEnd:
            if (!line.empty())
                return Broken;
            chunkStep_ = SizeLine;
            break;
        case Trailer:
            if (line.empty()) {
                line_.clear();
                return Complete;
            }
            break;
        case Data:
            break;
        }
        line_.clear();
    }
    return More;
}

HttpExchange::HttpExchange(const HttpRequest &request, std::uint32_t method, const HttpStatusRule &rule,
                           HttpTarget target, int redirects)
    : request_(request), method_(method), rule_(rule), target_(std::move(target)), redirects_(redirects),
      reader_(method == MethodHead)
{
}

std::string HttpExchange::requestText() const
{
    return httpRequestText(request_, method_, target_.authority, target_.path);
}

HttpStep HttpExchange::take(std::string_view bytes)
{
    return judge(reader_.take(bytes));
}

HttpStep HttpExchange::end()
{
    return judge(reader_.end());
}

HttpStep HttpExchange::judge(HttpReplyReader::State state)
{
    HttpStep step;
    const auto failWith = [&](FailureReason reason) {
        step.kind = HttpStep::Failed;
        step.reason = std::move(reason);
        return step;
    };
    if (state == HttpReplyReader::Broken) {
        if (!reader_.anyBytes())
            return failWith(FailureReason::of(FailureKind::ClosedBeforeReply));
        // Under "any" a reply that is not HTTP is alive, as for HEAD, where
        // nothing else is asked of it.
        if (!reader_.headerDone() && rule_.anyReply() && request_.contentRule.kind() == ContentRule::None &&
            !request_.followRedirects) {
            step.kind = HttpStep::Alive;
            return step;
        }
        return failWith(FailureReason::httpStatus(-1));
    }
    if (!reader_.headerDone())
        return step;
    const int status = reader_.status();
    if (!headerJudged_) {
        headerJudged_ = true;
        if (request_.followRedirects && isRedirect(status) && !reader_.location().empty()) {
            const std::string shown = shownLocation(reader_.location());
            const std::optional<HttpTarget> next = resolveLocation(target_, reader_.location());
            if (!next)
                return failWith(FailureReason::withDetail(FailureKind::Redirect, FailureReason::BadLocation, shown));
            if (target_.https && !next->https)
                return failWith(FailureReason::withDetail(FailureKind::Redirect, FailureReason::RedirectToHttp, shown));
            if (redirects_ >= kMaxRedirects)
                return failWith(FailureReason::withDetail(FailureKind::Redirect, FailureReason::TooManyRedirects, shown));
            step.kind = HttpStep::Redirect;
            step.next = *next;
            // 303 asks for a GET; so do 301 and 302 after a POST, as
            // browsers have it. 307 and 308 repeat the request.
            step.nextMethod = method_;
            if (status == 303 ? method_ != MethodHead : ((status == 301 || status == 302) && method_ == MethodPost))
                step.nextMethod = MethodGet;
            return step;
        }
        if (!rule_.accepts(status))
            return failWith(FailureReason::httpStatus(status));
    }
    if (method_ == MethodHead) {
        step.kind = HttpStep::Alive;
        return step;
    }
    if (state != HttpReplyReader::Complete)
        return step;
    const ContentRule &rule = request_.contentRule;
    const ContentRule::Verdict verdict = rule.judge(reader_.body());
    if (verdict == ContentRule::Pass) {
        step.kind = HttpStep::Alive;
        return step;
    }
    // A text not within the first part may lie beyond it.
    if (reader_.cut() && verdict != ContentRule::TextFound)
        return failWith(FailureReason::withDetail(FailureKind::BodyTooLarge, 0, rule.text()));
    const int code = verdict == ContentRule::TextFound ? FailureReason::ContentFound
                     : verdict == ContentRule::NoMatch ? FailureReason::ContentNoMatch
                                                       : FailureReason::ContentNotFound;
    return failWith(FailureReason::withDetail(FailureKind::ContentRule, code, rule.text()));
}

} // namespace vigilon
