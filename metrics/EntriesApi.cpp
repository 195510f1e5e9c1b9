// SPDX-License-Identifier: MIT
#include "metrics/EntriesApi.h"

#include "base/Utf8.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

namespace vigilon::metrics {

std::string entryApiId(std::uint32_t protocol, const std::string &host, std::uint32_t port, const std::string &query)
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
    if (!query.empty())
        mix(query);
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

namespace {

// A share (0 to 1) as a percentage to the thousandth; null when negative.
nlohmann::ordered_json percent(double share)
{
    if (share < 0)
        return nullptr;
    return std::round(share * 1e5) / 1e3;
}

double millisOf(std::uint64_t micros)
{
    return std::round(static_cast<double>(micros)) / 1000.0;
}

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

std::string contentTag(std::string_view text, char kind)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    char tag[24];
    std::snprintf(tag, sizeof tag, "\"%c%016llx\"", kind, static_cast<unsigned long long>(hash));
    return tag;
}

std::optional<std::int64_t> parseRfc3339(std::string_view text)
{
    std::size_t at = 0;
    const auto number = [&](std::size_t digits, int &value) {
        if (at + digits > text.size())
            return false;
        value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            const char c = text[at + i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        at += digits;
        return true;
    };
    const auto expect = [&](std::string_view any) {
        if (at < text.size() && any.find(text[at]) != std::string_view::npos) {
            ++at;
            return true;
        }
        return false;
    };
    int year, month, day, hour, minute, second;
    if (!number(4, year) || !expect("-") || !number(2, month) || !expect("-") || !number(2, day) ||
        !expect("Tt ") || !number(2, hour) || !expect(":") || !number(2, minute) || !expect(":") ||
        !number(2, second))
        return std::nullopt;
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] || (month == 2 && day == 29 && !leap) ||
        hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    std::int64_t millis = 0;
    if (expect(".")) {
        const std::size_t start = at;
        std::int64_t scale = 100;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            millis += (text[at] - '0') * scale;
            scale /= 10;
            ++at;
        }
        if (at == start)
            return std::nullopt;
    }
    std::int64_t offsetMinutes = 0;
    if (!expect("Zz")) {
        if (at >= text.size() || (text[at] != '+' && text[at] != '-'))
            return std::nullopt;
        const bool minus = text[at++] == '-';
        int offsetHours, offsetMins;
        if (!number(2, offsetHours) || !expect(":") || !number(2, offsetMins) || offsetHours > 23 || offsetMins > 59)
            return std::nullopt;
        offsetMinutes = (minus ? -1 : 1) * (offsetHours * 60 + offsetMins);
    }
    if (at != text.size())
        return std::nullopt;
    const std::int64_t seconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                                 hour * 3600 + minute * 60 + std::min(second, 59) - offsetMinutes * 60;
    return seconds * 1000 + millis;
}

EntriesView renderEntries(const MetricsSnapshot &snapshot, const FiguresTable *figures)
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
        entry.id = labels.stableId.empty() ? entryApiId(labels.protocol, labels.host, labels.port, labels.query)
                                           : labels.stableId;
        entry.row = e.row;
        entry.name = validUtf8(labels.name);
        entry.status = e.status;
        entry.quiet = e.quiet;
        entry.host = validUtf8(labels.host);
        entry.port = labels.port;
        entry.kind = kindLabel(labels.protocol);
        if (e.reason.failed())
            entry.reason = validUtf8(reasonText(e.reason));
        if (e.answered)
            entry.lastResponseMs = std::round(e.lastResponseSeconds * 1e6) / 1000.0;
        if (e.certKnown)
            entry.certDaysLeft = e.certDaysLeft;
        entry.key = SeriesKey{labels.name, labels.host, labels.port, labels.protocol};
        if (figures) {
            if (const auto found = figures->entries.find(entry.key); found != figures->entries.end()) {
                entry.figures = found->second;
                entry.figuresMillis = figures->madeMillis;
            }
        }
        json object = json::object();
        object["id"] = entry.id;
        object["index"] = e.row;
        object["name"] = entry.name;
        object["host"] = validUtf8(labels.host);
        object["port"] = labels.port;
        object["kind"] = kindLabel(labels.protocol);
        object["state"] = stateName(e.status);
        object["quiet"] = e.quiet;
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
        const UptimeFigures *up = entry.figures ? &*entry.figures : nullptr;
        object["uptime_24h"] = up ? percent(up->day) : nullptr;
        object["uptime_7d"] = up ? percent(up->week) : nullptr;
        object["uptime_30d"] = up ? percent(up->month) : nullptr;
        if (up) {
            json days = json::array();
            for (const double share : up->days)
                days.push_back(percent(share));
            object["daily_uptime"] = std::move(days);
            object["daily_uptime_end"] = rfc3339(entry.figuresMillis).substr(0, 10);
        } else {
            object["daily_uptime"] = nullptr;
            object["daily_uptime_end"] = nullptr;
        }
        entry.json = dump(object);
        if (!list.empty())
            list += ',';
        list += entry.json;
        view.entries.push_back(std::move(entry));
    }
    view.monitoring = snapshot.monitoring;
    view.document = "{\"monitoring\":";
    view.document += snapshot.monitoring ? "true" : "false";
    view.document += ",\"entries\":[" + list + "]}\n";
    view.etag = contentTag(view.document, 'e');
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

namespace {

std::string badge(const std::string &labelText, const std::string &value, const char *colour)
{
    const std::string label = xmlText(labelText);
    const int left = textWidth(labelText) + 12;
    const int right = textWidth(value) + 12;
    const int width = left + right;
    const std::string title = label + ": " + value;
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
    svg += "<text x=\"" + std::to_string(left + right / 2) + "\" y=\"14\">" + value + "</text>";
    svg += "</g></svg>\n";
    return svg;
}

} // namespace

double uptimeOver(const EntryView &entry, unsigned days)
{
    if (!entry.figures || days == 0 || days > kFigureDays)
        return -1;
    const UptimeFigures &f = *entry.figures;
    if (days == 1)
        return f.day;
    if (days == 7)
        return f.week;
    if (days == 30)
        return f.month;
    double sum = 0;
    unsigned counted = 0;
    for (std::size_t i = f.days.size() - std::min<std::size_t>(days, f.days.size()); i < f.days.size(); ++i) {
        if (f.days[i] >= 0) {
            sum += f.days[i];
            ++counted;
        }
    }
    return counted ? sum / counted : -1;
}

std::string uptimeBadge(const EntryView &entry, unsigned days)
{
    const double share = uptimeOver(entry, days);
    const char *colour = "#9f9f9f";
    std::string value = "no data";
    if (share >= 0) {
        const double shown = std::floor(share * 10000) / 100; // never rounded up to 100 %
        char text[32];
        std::snprintf(text, sizeof text, shown >= 100 ? "%.0f%%" : "%.2f%%", shown);
        value = text;
        colour = share >= 0.999 ? "#44cc11" : share >= 0.99 ? "#97ca00" : share >= 0.95 ? "#dfb317" : "#e05d44";
    }
    return badge("uptime " + std::to_string(days) + "d", value, colour);
}

std::string seriesDocument(const EntryView &entry, std::int64_t fromMillis, std::int64_t toMillis,
                           const char *resolution, const std::vector<ResponsePoint> &points)
{
    using json = nlohmann::ordered_json;
    json list = json::array();
    for (const ResponsePoint &p : points) {
        json point = json::object();
        point["time"] = rfc3339(p.millis);
        point["checks"] = p.count;
        point["failures"] = p.failures;
        const bool answered = p.count > p.failures;
        point["min_ms"] = answered ? json(millisOf(p.minMicros)) : json(nullptr);
        point["median_ms"] = answered ? json(millisOf(p.medianMicros)) : json(nullptr);
        point["max_ms"] = answered ? json(millisOf(p.maxMicros)) : json(nullptr);
        if (p.count == 1 && p.failures == 1 && p.reason.failed())
            point["reason"] = validUtf8(reasonText(p.reason));
        else
            point["reason"] = nullptr;
        list.push_back(std::move(point));
    }
    json doc = json::object();
    doc["id"] = entry.id;
    doc["from"] = rfc3339(fromMillis);
    doc["to"] = rfc3339(toMillis);
    doc["resolution"] = resolution;
    doc["points"] = std::move(list);
    return doc.dump(-1, ' ', false, json::error_handler_t::replace) + '\n';
}

std::string outagesDocument(const EntryView &entry, std::int64_t fromMillis, std::int64_t toMillis,
                            const std::vector<OutageView> &outages)
{
    using json = nlohmann::ordered_json;
    json list = json::array();
    for (const OutageView &o : outages) {
        json outage = json::object();
        outage["start"] = rfc3339(o.startMillis);
        outage["end"] = o.endMillis ? json(rfc3339(o.endMillis)) : json(nullptr);
        outage["duration_s"] = o.endMillis ? json((o.endMillis - o.startMillis) / 1000.0) : json(nullptr);
        outage["end_unobserved"] = o.endUnobserved;
        outage["reason"] = validUtf8(reasonText(o.reason));
        outage["reason_kind"] = reasonLabel(o.reason.kind);
        outage["alert_ran"] = o.alertRan;
        outage["quiet"] = o.quiet;
        list.push_back(std::move(outage));
    }
    json doc = json::object();
    doc["id"] = entry.id;
    doc["from"] = rfc3339(fromMillis);
    doc["to"] = rfc3339(toMillis);
    doc["outages"] = std::move(list);
    return doc.dump(-1, ' ', false, json::error_handler_t::replace) + '\n';
}

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
    return badge(entry.name, state, colour);
}

} // namespace vigilon::metrics
