// SPDX-License-Identifier: MIT
#include "app/text/HistoryText.h"

#include "base/Clock.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/text/TimeText.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace vigilon {

std::string uptimeText(double share)
{
    if (!(share >= 0))
        return "\u2013";
    // Hundredths of a percent, cut; the small allowance keeps 0.9993 from
    // reading 99.92 through the binary fraction below it.
    long long hundredths = static_cast<long long>(std::floor(std::min(share, 1.0) * 10000.0 + 1e-7));
    if (share < 1.0 && hundredths >= 10000)
        hundredths = 9999;
    if (hundredths >= 10000)
        return "100 %";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld.%02lld %%", hundredths / 100, hundredths % 100);
    return buffer;
}

namespace {
std::int64_t secondsOf(std::int64_t millis)
{
    return millis >= 0 ? millis / 1000 : -((-millis + 999) / 1000);
}

std::string localText(std::int64_t millis)
{
    return formatLocalTime(loadString(sid::DateTimeFormat), static_cast<std::uint32_t>(secondsOf(millis)));
}

// The seconds an outage lasted, or has lasted until now.
std::int64_t lastedSeconds(const OutageView &outage, std::int64_t nowMillis)
{
    const std::int64_t end = outage.endMillis != 0 ? outage.endMillis : nowMillis;
    return end > outage.startMillis ? (end - outage.startMillis) / 1000 : 0;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"')
            out += '"';
        out += ch;
    }
    return out + '"';
}
} // namespace

std::string outageDurationText(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const auto s = static_cast<std::uint32_t>(std::min<std::int64_t>(seconds, 0xFFFFFFFFll));
    return formatElapsed(loadString(s >= 86400u ? sid::OutageDurationDays : sid::OutageDuration), s);
}

std::array<std::string, kOutageColumns> outageRowTexts(const OutageView &outage, std::int64_t nowMillis)
{
    std::array<std::string, kOutageColumns> row;
    row[0] = localText(outage.startMillis);
    if (outage.endMillis == 0)
        row[1] = loadString(sid::OutageUnderWay);
    else if (outage.endUnobserved)
        row[1] = formatText(loadString(sid::OutageEndUnobserved), {localText(outage.endMillis)});
    else
        row[1] = localText(outage.endMillis);
    row[2] = outageDurationText(lastedSeconds(outage, nowMillis));
    row[3] = reasonTextShown(outage.reason);
    // Quiet time is left out of the uptimes: the outage says it was quiet.
    if (outage.quiet)
        row[3] += " [" + loadString(sid::OutageQuietMark) + "]";
    return row;
}

std::string isoLocalTime(std::int64_t millis)
{
    const std::int64_t seconds = secondsOf(millis);
    const std::tm local = localTime(static_cast<std::time_t>(seconds));
    // The offset is what the local fields say less the time itself.
    const std::int64_t asUtc = daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                             static_cast<unsigned>(local.tm_mday)) *
                                   86400 +
                               local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    const std::int64_t offset = asUtc - seconds;
    const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
    return buffer;
}

std::string outagesCsv(const std::vector<OutageView> &outages, std::int64_t nowMillis)
{
    std::string csv = "\xEF\xBB\xBF";
    csv += loadString(sid::OutageCsvHeader) + "\r\n";
    for (const OutageView &outage : outages) {
        const bool lasting = outage.endMillis == 0;
        csv += isoLocalTime(outage.startMillis) + ',';
        csv += (lasting ? std::string() : isoLocalTime(outage.endMillis)) + ',';
        csv += std::to_string(lastedSeconds(outage, nowMillis)) + ',';
        csv += csvField(reasonTextShown(outage.reason)) + ',';
        // The file is the list as a table for a spreadsheet: its heading,
        // reasons and answers are in the interface's language, its times ISO
        // 8601 and its durations plain seconds in every one.
        csv += loadString(outage.alertRan ? sid::CsvYes : sid::CsvNo) + ',';
        csv += lasting ? "" : loadString(outage.endUnobserved ? sid::CsvNo : sid::CsvYes);
        csv += "\r\n";
    }
    return csv;
}

std::vector<std::string> graphHistoryLines(const UptimeView &uptime, std::int64_t nowMillis, std::size_t maxOutages)
{
    std::vector<std::string> lines;
    lines.push_back(formatText(loadString(sid::GraphUptimeLine),
                               {uptimeText(uptime.day), uptimeText(uptime.week), uptimeText(uptime.month)}));
    for (std::size_t i = 0; i < uptime.lastOutages.size() && i < maxOutages; ++i) {
        const OutageView &outage = uptime.lastOutages[i];
        lines.push_back(formatText(loadString(sid::GraphOutageLine),
                                   {localText(outage.startMillis),
                                    outageDurationText(lastedSeconds(outage, nowMillis)),
                                    reasonTextShown(outage.reason)}));
    }
    return lines;
}

} // namespace vigilon
