// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vigilon::channels {

// What a channel's URL says it is.
enum class ChannelKind {
    // Not a URL this program sends to; error says why.
    Invalid,
    // http:// or https://: the JSON document.
    Json,
    // ntfy+https://host/topic: plain text with Title, Priority and Tags.
    Ntfy,
    // slack+https://...: {"text": ...}.
    Slack,
    // smtp://[user[:password]@]host[:port]?from=...&to=...[,...]&tls=...
    Email,
};

enum class SmtpTls { StartTls, Implicit, None };

struct ChannelAddress {
    ChannelKind kind = ChannelKind::Invalid;
    std::string error;
    // Webhooks: the URL the message is posted to. Email: the server's URL
    // as the client library takes it (smtp:// or smtps://, host and port).
    std::string url;
    // Email only.
    SmtpTls tls = SmtpTls::StartTls;
    std::string user, password;
    std::string from;
    std::vector<std::string> to;
    // Webhooks: header lines of the channel's own ("Name: value"), sent
    // with every message.
    std::vector<std::string> headers;
};

// Reads a channel's URL. Nothing of it is checked against a server here.
ChannelAddress parseChannelAddress(const std::string &url);

// Adds a channel's own header lines (one "Name: value" a line) to a webhook
// address; a line that is no such header (a name of letters, digits and
// "-", nothing that could end the line), or any header for mail, makes the
// address Invalid.
void addChannelHeaders(ChannelAddress &address, const std::string &lines);

// The URL as it may be shown: the password of its user and every part that
// may hold a token (the path after its first segment, query values other
// than from, to and tls) replaced by "****". A text that is no URL at all
// is shown as "****".
std::string maskedChannelUrl(const std::string &url);

} // namespace vigilon::channels
