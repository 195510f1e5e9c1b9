// SPDX-License-Identifier: MIT
#pragma once

#include "base/FailureReason.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vigilon::history {

// The packed forms the history file keeps its results in: little rows of
// varints, so that a row holds an hour (raw results), a day (per-minute
// summaries) or a block of hours (hourly summaries) of one series.

constexpr std::int64_t kHourMillis = 3600 * 1000;
constexpr std::int64_t kDayMillis = 24 * kHourMillis;
// Hourly summaries are kept by blocks of this many hours (32 days).
constexpr std::int64_t kBlockHours = 32 * 24;

// One check as kept raw. result: CheckOutcome::Result's value.
struct RawCheck {
    std::int64_t millis = 0;
    std::uint8_t result = 0;
    std::uint64_t micros = 0;
    FailureReason reason;

    bool answered() const { return result <= 1; }
};

// A summary of the checks of a minute or an hour.
struct Summary {
    // Minute of the day, or hour of the block.
    std::uint32_t slot = 0;
    std::uint32_t count = 0;
    std::uint32_t failures = 0;
    // Response times of the checks that answered; 0 when none did.
    std::uint64_t minMicros = 0, medianMicros = 0, maxMicros = 0;
};

void putVarint(std::string &out, std::uint64_t value);
// False at the end of the data or on a varint that runs past it.
bool getVarint(const std::string &data, std::size_t &at, std::uint64_t &value);

// Raw results of one hour. Appending continues from the state the last
// record left; a writer that did not write the blob decodes it first.
struct RawTail {
    std::int64_t offsetMillis = 0; // of the last record, from the hour's start
    std::int64_t stepMillis = 0;   // from the record before it
    std::int64_t units = 0;        // its response time in 10 µs
};
void appendRaw(std::string &blob, RawTail &tail, std::int64_t hourStartMillis, const RawCheck &check);
// Decodes as far as the data is sound; tail, when given, is left as after
// the last record.
std::vector<RawCheck> decodeRaw(const std::string &blob, std::int64_t hourStartMillis, RawTail *tail = nullptr);

// A batch: checks of one hour written at once, of any number of series.
// Per series its id, the length of its piece and the piece: raw records
// (appendRaw's) begun from a fresh tail, so that each piece reads alone.
void appendPiece(std::string &batch, std::int64_t series, const std::string &piece);
// Hands each piece to each with its series, as far as the batch is sound.
void forEachPiece(const std::string &batch, const std::function<void(std::int64_t, const std::string &)> &each);

// Summaries: the response times are kept to about 2 %.
std::uint32_t quantize(std::uint64_t micros);
std::uint64_t unquantize(std::uint32_t q);
// Summarises checks, all of one slot.
Summary summarize(std::vector<RawCheck> checks, std::uint32_t slot);
// A run of summaries written at once (a rolled-up hour's minutes, or one
// hour); runs are appended to a row one after the other.
void appendSummaries(std::string &blob, const std::vector<Summary> &run);
std::vector<Summary> decodeSummaries(const std::string &blob);

// Packed forms of rows written once and never appended to (an hour's raw
// checks once the hour is over, an hour's per-minute summaries, a day's
// hourly ones): bit streams in which each field takes about the bits its
// spread needs. Both read as far as the data is sound.
std::string packRaw(const std::vector<RawCheck> &checks, std::int64_t hourStartMillis);
std::vector<RawCheck> unpackRaw(const std::string &data, std::int64_t hourStartMillis);
// Summaries in slot order; their response times are kept in steps of 4 %,
// within 2 % of the time.
std::string packSummaries(const std::vector<Summary> &list);
std::vector<Summary> unpackSummaries(const std::string &data);
// One summary of the checks two summaries of the same slot were made of:
// counts added, the extremes kept, the median of the one with more answers.
Summary mergeSummaries(const Summary &a, const Summary &b);

} // namespace vigilon::history
