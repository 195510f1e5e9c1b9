// SPDX-License-Identifier: MIT
#include "channels/ChannelAddress.h"

#include <cctype>
#include <optional>
#include <string_view>

namespace vigilon::channels {

namespace {

constexpr const char *kMask = "****";

// A URL cut into its parts; none of them decoded.
struct UrlParts {
    std::string scheme;
    bool hasUser = false, hasPassword = false;
    std::string user, password;
    std::string host; // with a port when one is given
    std::string path; // from its first "/", without the query
    std::string query;
};

std::optional<UrlParts> splitUrl(const std::string &url)
{
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    UrlParts parts;
    parts.scheme = url.substr(0, colon);
    for (char &c : parts.scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string rest = url.substr(colon + 3);
    if (const std::size_t hash = rest.find('#'); hash != std::string::npos)
        rest.resize(hash);
    const std::size_t end = rest.find_first_of("/?");
    std::string authority = rest.substr(0, end);
    rest = end == std::string::npos ? "" : rest.substr(end);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        const std::string info = authority.substr(0, at);
        authority = authority.substr(at + 1);
        parts.hasUser = true;
        const std::size_t sep = info.find(':');
        parts.user = info.substr(0, sep);
        if (sep != std::string::npos) {
            parts.hasPassword = true;
            parts.password = info.substr(sep + 1);
        }
    }
    parts.host = authority;
    const std::size_t question = rest.find('?');
    parts.path = rest.substr(0, question);
    if (question != std::string::npos)
        parts.query = rest.substr(question + 1);
    return parts;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else if (text[i] == '+') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

bool hasControlOrBlank(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
            return true;
    return false;
}

// The query's name=value pairs, in order.
std::vector<std::pair<std::string, std::string>> queryPairs(const std::string &query)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t at = 0;
    while (at < query.size()) {
        const std::size_t amp = std::min(query.find('&', at), query.size());
        const std::string pair = query.substr(at, amp - at);
        const std::size_t eq = pair.find('=');
        if (!pair.empty())
            pairs.emplace_back(pair.substr(0, eq), eq == std::string::npos ? "" : pair.substr(eq + 1));
        at = amp + 1;
    }
    return pairs;
}

ChannelAddress invalid(std::string why)
{
    ChannelAddress address;
    address.error = std::move(why);
    return address;
}

// A host, with an optional port of 1..65535, as the URL gives it.
bool validHost(const std::string &host)
{
    if (host.empty())
        return false;
    std::string name = host;
    if (host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string::npos)
            return false;
        name = host.substr(close + 1);
        if (name.empty())
            return true;
        if (name.front() != ':')
            return false;
        name = "x" + name;
    }
    const std::size_t colon = name.find(':');
    if (colon == std::string::npos)
        return true;
    const std::string port = name.substr(colon + 1);
    if (colon == 0 || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int number = std::stoi(port);
    return number >= 1 && number <= 65535;
}

ChannelAddress emailAddress(const UrlParts &parts)
{
    ChannelAddress address;
    address.kind = ChannelKind::Email;
    if (!validHost(parts.host))
        return invalid("the mail server's host or port is not valid");
    for (const auto &[name, value] : queryPairs(parts.query)) {
        const std::string text = percentDecoded(value);
        if (name == "from") {
            address.from = text;
        } else if (name == "to") {
            std::size_t at = 0;
            while (at <= text.size()) {
                const std::size_t comma = std::min(text.find(',', at), text.size());
                std::string one = text.substr(at, comma - at);
                const std::size_t first = one.find_first_not_of(' ');
                if (first != std::string::npos)
                    address.to.push_back(one.substr(first, one.find_last_not_of(' ') + 1 - first));
                at = comma + 1;
            }
        } else if (name == "tls") {
            if (text == "starttls")
                address.tls = SmtpTls::StartTls;
            else if (text == "implicit")
                address.tls = SmtpTls::Implicit;
            else if (text == "none")
                address.tls = SmtpTls::None;
            else
                return invalid("tls is neither starttls, implicit nor none");
        }
    }
    if (address.from.empty() || hasControlOrBlank(address.from) || address.from.find('@') == std::string::npos)
        return invalid("the sender (from) is missing or not an address");
    if (address.to.empty())
        return invalid("no recipient (to)");
    for (const std::string &one : address.to)
        if (hasControlOrBlank(one) || one.find('@') == std::string::npos)
            return invalid("a recipient (to) is not an address");
    address.user = percentDecoded(parts.user);
    address.password = percentDecoded(parts.password);
    std::string host = parts.host;
    if (host.find(':') == std::string::npos || (host.front() == '[' && host.back() == ']'))
        host += address.tls == SmtpTls::Implicit ? ":465" : address.tls == SmtpTls::StartTls ? ":587" : ":25";
    address.url = (address.tls == SmtpTls::Implicit ? "smtps://" : "smtp://") + host;
    return address;
}

} // namespace

ChannelAddress parseChannelAddress(const std::string &url)
{
    if (hasControlOrBlank(url))
        return invalid("the URL holds a blank or a control character");
    const std::optional<UrlParts> parts = splitUrl(url);
    if (!parts)
        return invalid("not a URL");
    if (parts->scheme == "smtp")
        return emailAddress(*parts);
    ChannelAddress address;
    std::string scheme = parts->scheme;
    if (scheme.rfind("ntfy+", 0) == 0) {
        address.kind = ChannelKind::Ntfy;
        scheme = scheme.substr(5);
    } else if (scheme.rfind("slack+", 0) == 0) {
        address.kind = ChannelKind::Slack;
        scheme = scheme.substr(6);
    } else {
        address.kind = ChannelKind::Json;
    }
    if (scheme != "http" && scheme != "https")
        return invalid("the URL is neither http, https, ntfy+https, slack+https nor smtp");
    if (!validHost(parts->host))
        return invalid("the host or port is not valid");
    if (address.kind == ChannelKind::Ntfy && parts->path.size() < 2)
        return invalid("the URL names no topic");
    address.url = url.substr(url.find("://") - scheme.size());
    return address;
}

void addChannelHeaders(ChannelAddress &address, const std::string &lines)
{
    std::size_t at = 0;
    while (at < lines.size() && address.kind != ChannelKind::Invalid) {
        const std::size_t end = std::min(lines.find('\n', at), lines.size());
        std::string line = lines.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        const std::size_t colon = line.find(':');
        bool valid = colon != std::string::npos && colon > 0 && address.kind != ChannelKind::Email;
        for (std::size_t i = 0; valid && i < colon; ++i)
            valid = std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '-';
        for (std::size_t i = 0; valid && i < line.size(); ++i)
            valid = static_cast<unsigned char>(line[i]) >= 0x20 && line[i] != 0x7f;
        if (!valid) {
            address = invalid(address.kind == ChannelKind::Email ? "a mail channel takes no headers"
                                                                  : "a header line is not \"Name: value\"");
            return;
        }
        address.headers.push_back(line);
    }
}

std::string maskedChannelUrl(const std::string &url)
{
    const std::optional<UrlParts> parts = splitUrl(url);
    if (!parts || hasControlOrBlank(url))
        return kMask;
    std::string shown = parts->scheme + "://";
    if (parts->hasUser)
        shown += parts->user + (parts->hasPassword ? std::string(":") + kMask : "") + "@";
    shown += parts->host;
    // The first segment names the service or the topic; what follows may
    // be a token (as in the incoming webhooks of chat services).
    std::size_t segment = 0;
    std::size_t at = 0;
    while (at < parts->path.size()) {
        std::size_t next = parts->path.find('/', at + 1);
        if (next == std::string::npos)
            next = parts->path.size();
        const std::string piece = parts->path.substr(at + 1, next - at - 1);
        shown += "/" + (segment == 0 || piece.empty() ? piece : std::string(kMask));
        ++segment;
        at = next;
    }
    if (!parts->query.empty()) {
        shown += "?";
        bool first = true;
        for (const auto &[name, value] : queryPairs(parts->query)) {
            shown += (first ? "" : "&") + name + "=" +
                     (name == "from" || name == "to" || name == "tls" ? value : std::string(kMask));
            first = false;
        }
    }
    return shown;
}

} // namespace vigilon::channels
