// SPDX-License-Identifier: MIT
#include "metrics/EntriesApi.h"

#include "base/Utf8.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

namespace vigilon::metrics {

std::string entryApiId(std::uint32_t protocol, const std::string &host, std::uint32_t port)
{
    // FNV-1a over the kind's label, the host and the port, each ended by a
    // zero byte so that no two triples run together into the same bytes.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const auto mix = [&hash](std::string_view bytes) {
        for (const char c : bytes) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ull;
        }
        hash *= 0x100000001b3ull; // the zero byte
    };
    const char *kind = kindLabel(protocol);
    mix(kind);
    mix(host);
    mix(std::to_string(port));
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(kind) + '-' + hex;
}

const char *stateName(PortStatus status)
{
    switch (status) {
    case Ok:
        return "ok";
    case Warning:
        return "warning";
    case Failed:
        return "failed";
    default:
        return "not_checked";
    }
}

std::string rfc3339(std::int64_t unixMillis)
{
    std::int64_t seconds = unixMillis / 1000;
    if (unixMillis % 1000 < 0)
        --seconds;
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // The civil date of a day count since 1970-01-01 (proleptic Gregorian).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const std::int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char out[128];
    std::snprintf(out, sizeof out, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return out;
}

std::string xmlText(const std::string &text)
{
    const std::string valid = validUtf8(text);
    std::string out;
    out.reserve(valid.size() + 16);
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const char c = valid[i];
        switch (c) {
        case '&':
            out += "&amp;";
            continue;
        case '<':
            out += "&lt;";
            continue;
        case '>':
            out += "&gt;";
            continue;
        case '"':
            out += "&quot;";
            continue;
        case '\'':
            out += "&apos;";
            continue;
        default:
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            out += "\xEF\xBF\xBD";
        } else if (valid.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < valid.size() &&
                   (valid[i + 2] == '\xBE' || valid[i + 2] == '\xBF')) {
            out += "\xEF\xBF\xBD";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

const EntryView *EntriesView::find(std::string_view key) const
{
    for (const EntryView &entry : entries) {
        if (entry.id == key)
            return &entry;
    }
    // A row: decimal digits without a leading zero, as the store writes it.
    if (key.empty() || key.size() > 9 || (key.size() > 1 && key[0] == '0'))
        return nullptr;
    std::size_t row = 0;
    for (const char c : key) {
        if (c < '0' || c > '9')
            return nullptr;
        row = row * 10 + static_cast<std::size_t>(c - '0');
    }
    for (const EntryView &entry : entries) {
        if (entry.row == row)
            return &entry;
    }
    return nullptr;
}

EntriesView renderEntries(const MetricsSnapshot &snapshot)
{
    // The fields in the order the documentation gives them.
    using json = nlohmann::ordered_json;
    // Every text is made valid UTF-8 first; should anything still slip
    // through, the dump replaces it rather than throw.
    const auto dump = [](const json &value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); };
    EntriesView view;
    view.entries.reserve(snapshot.entries.size());
    std::string list;
    for (const EntryMetrics &e : snapshot.entries) {
        if (!e.labels)
            continue;
        const EntryMetrics::Labels &labels = *e.labels;
        EntryView entry;
        entry.id = entryApiId(labels.protocol, labels.host, labels.port);
        entry.row = e.row;
        entry.name = validUtf8(labels.name);
        entry.status = e.status;
        json object = json::object();
        object["id"] = entry.id;
        object["index"] = e.row;
        object["name"] = entry.name;
        object["host"] = validUtf8(labels.host);
        object["port"] = labels.port;
        object["kind"] = kindLabel(labels.protocol);
        object["state"] = stateName(e.status);
        if (e.reason.failed()) {
            object["reason"] = validUtf8(reasonText(e.reason));
            object["reason_kind"] = reasonLabel(e.reason.kind);
        } else {
            object["reason"] = nullptr;
            object["reason_kind"] = nullptr;
        }
        if (e.answered)
            object["last_response_ms"] = std::round(e.lastResponseSeconds * 1e6) / 1000.0;
        else
            object["last_response_ms"] = nullptr;
        if (e.certKnown)
            object["cert_days_left"] = e.certDaysLeft;
        else
            object["cert_days_left"] = nullptr;
        if (e.checks > 0)
            object["last_check"] = rfc3339(e.checkedAtMillis);
        else
            object["last_check"] = nullptr;
        object["checks"] = e.checks;
        entry.json = dump(object);
        if (!list.empty())
            list += ',';
        list += entry.json;
        view.entries.push_back(std::move(entry));
    }
    view.document = "{\"monitoring\":";
    view.document += snapshot.monitoring ? "true" : "false";
    view.document += ",\"entries\":[" + list + "]}\n";
    return view;
}

namespace {

// The width a text takes in the badge's 11 px sans-serif, roughly: 7 px a
// character, wide (East Asian) ones twice that.
int textWidth(const std::string &text)
{
    int width = 0;
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((s[i] & 0xC0) == 0x80)
            continue;
        width += s[i] >= 0xE3 && s[i] <= 0xEF ? 13 : 7;
    }
    return width;
}

} // namespace

std::string statusBadge(const EntryView &entry)
{
    const char *state = "not checked";
    const char *colour = "#9f9f9f";
    switch (entry.status) {
    case Ok:
        state = "ok";
        colour = "#44cc11";
        break;
    case Warning:
        state = "warning";
        colour = "#dfb317";
        break;
    case Failed:
        state = "failed";
        colour = "#e05d44";
        break;
    default:
        break;
    }
    const std::string label = xmlText(entry.name);
    const int left = textWidth(entry.name) + 12;
    const int right = textWidth(state) + 12;
    const int width = left + right;
    const std::string title = label + ": " + state;
    std::string svg;
    svg.reserve(1024 + label.size() * 3);
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
           "\" height=\"20\" role=\"img\" aria-label=\"" + title + "\">";
    svg += "<title>" + title + "</title>";
    svg += "<rect width=\"" + std::to_string(left) + "\" height=\"20\" rx=\"3\" fill=\"#555\"/>";
    svg += "<rect x=\"" + std::to_string(left) + "\" width=\"" + std::to_string(right) +
           "\" height=\"20\" rx=\"3\" fill=\"" + colour + "\"/>";
    svg += "<g fill=\"#fff\" text-anchor=\"middle\" font-family=\"Verdana,DejaVu Sans,sans-serif\" "
           "font-size=\"11\">";
    svg += "<text x=\"" + std::to_string(left / 2) + "\" y=\"14\">" + label + "</text>";
    svg += "<text x=\"" + std::to_string(left + right / 2) + "\" y=\"14\">" + state + "</text>";
    svg += "</g></svg>\n";
    return svg;
}

} // namespace vigilon::metrics
