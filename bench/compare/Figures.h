// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vigilon::bench {

// Median and 99th percentile (nearest rank) of a sample.
struct Summary {
    std::size_t count = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
};
Summary summarise(std::vector<double> values);

// What a responder says of its own replies: how late each one left against
// when it should have, in microseconds.
struct ResponderError {
    bool known = false;
    std::size_t replies = 0;
    double medianMicros = 0;
    double p99Micros = 0;
    double maxMicros = 0;
};
// Parses "n=.. median=.. p99=.. max=.." as the responders write it.
ResponderError parseResponderError(const std::string &line);

// One contender's errors for one delay: reported minus the delay, in ms.
struct ErrorRow {
    std::string who;
    bool ran = false;
    std::string note; // why it did not run, or a remark
    std::vector<double> errorsMs;
    std::size_t failures = 0;
    ResponderError responder;
};

// Prints one accuracy figure: a line per contender and the ratios of ours
// (the first row) to the best peer.
void printErrorFigure(const std::string &title, const std::vector<ErrorRow> &rows);

// "1.23x" or "n/a" when the divisor is not usable.
std::string ratioText(double ours, double best);

} // namespace vigilon::bench
