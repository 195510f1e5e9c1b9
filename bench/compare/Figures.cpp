// SPDX-License-Identifier: MIT
#include "bench/compare/Figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vigilon::bench {

Summary summarise(std::vector<double> values)
{
    Summary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    // The median of an even count is the mean of the two middle values.
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    const std::size_t rank = static_cast<std::size_t>(std::ceil(0.99 * double(n)));
    s.p99 = values[std::max<std::size_t>(rank, 1) - 1];
    s.max = values.back();
    return s;
}

ResponderError parseResponderError(const std::string &line)
{
    ResponderError e;
    unsigned long n = 0;
    double median = 0, p99 = 0, max = 0;
    if (std::sscanf(line.c_str(), "n=%lu median=%lf p99=%lf max=%lf", &n, &median, &p99, &max) == 4) {
        e.known = true;
        e.replies = n;
        e.medianMicros = median;
        e.p99Micros = p99;
        e.maxMicros = max;
    }
    return e;
}

std::string ratioText(double ours, double best)
{
    // Below a microsecond the divisor is noise, not a figure.
    if (!(best > 0.0005) || !std::isfinite(ours))
        return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", ours / best);
    return text;
}

void printErrorFigure(const std::string &title, const std::vector<ErrorRow> &rows)
{
    std::printf("\n%s\n", title.c_str());
    std::printf("  %-11s %9s %9s %9s %6s %5s   %s\n", "", "median", "p99", "max", "checks", "fail",
                "responder's own error (us): median / p99 / max");
    const ErrorRow *best[2] = {nullptr, nullptr}; // by median, by p99
    Summary bestSummary[2];
    Summary ours;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ErrorRow &row = rows[i];
        if (!row.ran) {
            std::printf("  %-11s %s\n", row.who.c_str(), row.note.c_str());
            continue;
        }
        const Summary s = summarise(row.errorsMs);
        char responder[96] = "-";
        if (row.responder.known)
            std::snprintf(responder, sizeof responder, "%.1f / %.1f / %.1f over %zu replies",
                          row.responder.medianMicros, row.responder.p99Micros, row.responder.maxMicros,
                          row.responder.replies);
        if (s.count == 0)
            std::printf("  %-11s %9s %9s %9s %6zu %5zu   %s%s%s\n", row.who.c_str(), "-", "-", "-", s.count,
                        row.failures, responder, row.note.empty() ? "" : "; ", row.note.c_str());
        else
            std::printf("  %-11s %9.3f %9.3f %9.3f %6zu %5zu   %s%s%s\n", row.who.c_str(), s.median, s.p99, s.max,
                        s.count, row.failures, responder, row.note.empty() ? "" : "; ", row.note.c_str());
        if (i == 0) {
            ours = s;
            continue;
        }
        if (s.count == 0)
            continue;
        if (!best[0] || std::fabs(s.median) < std::fabs(bestSummary[0].median)) {
            best[0] = &row;
            bestSummary[0].median = s.median;
        }
        if (!best[1] || std::fabs(s.p99) < std::fabs(bestSummary[1].p99)) {
            best[1] = &row;
            bestSummary[1].p99 = s.p99;
        }
    }
    if (rows.empty() || !rows[0].ran || ours.count == 0) {
        std::printf("  ratio: n/a (no figure of ours)\n");
        return;
    }
    if (!best[0]) {
        std::printf("  ratio: n/a (no peer ran)\n");
        return;
    }
    std::printf("  ours / best peer: median %s (%s), p99 %s (%s)\n",
                ratioText(std::fabs(ours.median), std::fabs(bestSummary[0].median)).c_str(), best[0]->who.c_str(),
                ratioText(std::fabs(ours.p99), std::fabs(bestSummary[1].p99)).c_str(), best[1]->who.c_str());
}

} // namespace vigilon::bench
