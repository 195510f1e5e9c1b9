// SPDX-License-Identifier: MIT
#include "history/HistoryCodec.h"

#include <algorithm>
#include <cmath>

namespace vigilon::history {

namespace {

constexpr std::uint64_t kUnitMicros = 10;
// Summaries' response times: steps of 2 % above 10 µs.
const double kStep = std::log(1.02);

std::uint64_t zigzag(std::int64_t value)
{
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

std::int64_t unzigzag(std::uint64_t value)
{
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

// A record's first byte: the result in the low two bits, the failure's
// kind above them.
std::uint8_t headByte(const RawCheck &check)
{
    return static_cast<std::uint8_t>((check.result & 3) | (static_cast<unsigned>(check.reason.kind) << 2));
}

} // namespace

void putVarint(std::string &out, std::uint64_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

bool getVarint(const std::string &data, std::size_t &at, std::uint64_t &value)
{
    value = 0;
    for (unsigned shift = 0; at < data.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(data[at++]);
        value |= std::uint64_t(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

void appendRaw(std::string &blob, RawTail &tail, std::int64_t hourStartMillis, const RawCheck &check)
{
    // Outcomes arrive in order; one out of it is kept at its predecessor's
    // time rather than lost.
    const std::int64_t offset = std::max(check.millis - hourStartMillis, tail.offsetMillis);
    const auto units = static_cast<std::int64_t>(check.micros / kUnitMicros);
    // Checks come at a steady interval: the step is kept as its change.
    const std::int64_t step = offset - tail.offsetMillis;
    putVarint(blob, zigzag(step - tail.stepMillis));
    blob.push_back(static_cast<char>(headByte(check)));
    if (check.reason.kind == FailureKind::Unreachable) {
        putVarint(blob, static_cast<std::uint64_t>(check.reason.type + 1));
        putVarint(blob, static_cast<std::uint64_t>(check.reason.code + 1));
        blob.push_back(check.reason.icmp6 ? 1 : 0);
    } else if (check.reason.kind == FailureKind::HttpStatus) {
        putVarint(blob, static_cast<std::uint64_t>(check.reason.code + 1));
    }
    putVarint(blob, zigzag(units - tail.units));
    tail.offsetMillis = offset;
    tail.stepMillis = step;
    tail.units = units;
}

std::vector<RawCheck> decodeRaw(const std::string &blob, std::int64_t hourStartMillis, RawTail *tail)
{
    std::vector<RawCheck> checks;
    RawTail state;
    std::size_t at = 0;
    std::uint64_t v = 0;
    while (at < blob.size()) {
        RawCheck check;
        if (!getVarint(blob, at, v) || at >= blob.size())
            break;
        const std::int64_t step = state.stepMillis + unzigzag(v);
        const std::int64_t offset = state.offsetMillis + step;
        const auto head = static_cast<std::uint8_t>(blob[at++]);
        check.result = head & 3;
        check.reason.kind = static_cast<FailureKind>(head >> 2);
        bool sound = true;
        if (check.reason.kind == FailureKind::Unreachable) {
            std::uint64_t type = 0, code = 0;
            sound = getVarint(blob, at, type) && getVarint(blob, at, code) && at < blob.size();
            if (sound) {
                check.reason.type = static_cast<int>(type) - 1;
                check.reason.code = static_cast<int>(code) - 1;
                check.reason.icmp6 = blob[at++] != 0;
            }
        } else if (check.reason.kind == FailureKind::HttpStatus) {
            std::uint64_t code = 0;
            sound = getVarint(blob, at, code);
            check.reason.code = static_cast<int>(code) - 1;
        }
        if (!sound || !getVarint(blob, at, v))
            break;
        state.offsetMillis = offset;
        state.stepMillis = step;
        state.units += unzigzag(v);
        check.millis = hourStartMillis + offset;
        check.micros = static_cast<std::uint64_t>(std::max<std::int64_t>(state.units, 0)) * kUnitMicros;
        checks.push_back(check);
    }
    if (tail)
        *tail = state;
    return checks;
}

void appendPiece(std::string &batch, std::int64_t series, const std::string &piece)
{
    putVarint(batch, static_cast<std::uint64_t>(series));
    putVarint(batch, piece.size());
    batch += piece;
}

void forEachPiece(const std::string &batch, const std::function<void(std::int64_t, const std::string &)> &each)
{
    std::size_t at = 0;
    std::uint64_t series = 0, length = 0;
    while (getVarint(batch, at, series) && getVarint(batch, at, length) && length <= batch.size() - at) {
        each(static_cast<std::int64_t>(series), batch.substr(at, length));
        at += length;
    }
}

std::uint32_t quantize(std::uint64_t micros)
{
    if (micros < kUnitMicros)
        return 0;
    return static_cast<std::uint32_t>(std::lround(std::log(double(micros) / kUnitMicros) / kStep)) + 1;
}

std::uint64_t unquantize(std::uint32_t q)
{
    if (q == 0)
        return 0;
    return static_cast<std::uint64_t>(std::llround(kUnitMicros * std::exp((q - 1) * kStep)));
}

Summary summarize(std::vector<RawCheck> checks, std::uint32_t slot)
{
    Summary summary;
    summary.slot = slot;
    summary.count = static_cast<std::uint32_t>(checks.size());
    std::vector<std::uint64_t> times;
    times.reserve(checks.size());
    for (const RawCheck &check : checks) {
        if (check.answered())
            times.push_back(check.micros);
        else
            ++summary.failures;
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        summary.minMicros = times.front();
        summary.medianMicros = times[times.size() / 2];
        summary.maxMicros = times.back();
    }
    return summary;
}

// A run: its length, then per summary its head, and the quantized times as
// the minimum's step from the previous minimum, the median above the
// minimum and the maximum above the median. The head of a summary of the
// slot after the one before (the first from -1) with fewer than 16 checks
// and 8 failures is one byte: the count, and the failures above it;
// otherwise a byte 0x80, then the slot's step, the count and the failures.
void appendSummaries(std::string &blob, const std::vector<Summary> &run)
{
    putVarint(blob, run.size());
    std::int64_t slot = -1;
    std::int64_t lastMin = 0;
    for (const Summary &s : run) {
        const auto step = static_cast<std::uint64_t>(std::int64_t(s.slot) - slot - 1);
        if (step == 0 && s.count < 16 && s.failures < 8) {
            blob.push_back(static_cast<char>(s.count | (s.failures << 4)));
        } else {
            blob.push_back(static_cast<char>(0x80));
            putVarint(blob, step);
            putVarint(blob, s.count);
            putVarint(blob, s.failures);
        }
        const std::int64_t qmin = quantize(s.minMicros);
        const std::int64_t qmed = std::max<std::int64_t>(quantize(s.medianMicros), qmin);
        const std::int64_t qmax = std::max<std::int64_t>(quantize(s.maxMicros), qmed);
        putVarint(blob, zigzag(qmin - lastMin));
        putVarint(blob, static_cast<std::uint64_t>(qmed - qmin));
        putVarint(blob, static_cast<std::uint64_t>(qmax - qmed));
        slot = s.slot;
        lastMin = qmin;
    }
}

std::vector<Summary> decodeSummaries(const std::string &blob)
{
    std::vector<Summary> out;
    std::size_t at = 0;
    std::uint64_t length = 0;
    while (getVarint(blob, at, length)) {
        std::int64_t slot = -1;
        std::int64_t lastMin = 0;
        for (std::uint64_t i = 0; i < length; ++i) {
            std::uint64_t step = 0, count = 0, failures = 0, dmin = 0, dmed = 0, dmax = 0;
            if (at >= blob.size())
                return out;
            const auto head = static_cast<unsigned char>(blob[at++]);
            if (head & 0x80) {
                if (!getVarint(blob, at, step) || !getVarint(blob, at, count) || !getVarint(blob, at, failures))
                    return out;
            } else {
                count = head & 0x0f;
                failures = head >> 4;
            }
            if (!getVarint(blob, at, dmin) || !getVarint(blob, at, dmed) || !getVarint(blob, at, dmax))
                return out;
            slot += static_cast<std::int64_t>(step) + 1;
            lastMin += unzigzag(dmin);
            Summary s;
            s.slot = static_cast<std::uint32_t>(slot);
            s.count = static_cast<std::uint32_t>(count);
            s.failures = static_cast<std::uint32_t>(failures);
            const auto qmin = static_cast<std::uint32_t>(std::max<std::int64_t>(lastMin, 0));
            s.minMicros = unquantize(qmin);
            s.medianMicros = unquantize(static_cast<std::uint32_t>(qmin + dmed));
            s.maxMicros = unquantize(static_cast<std::uint32_t>(qmin + dmed + dmax));
            out.push_back(s);
        }
    }
    return out;
}

} // namespace vigilon::history
