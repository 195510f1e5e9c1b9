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

namespace {

std::uint32_t quantizeBy(std::uint64_t micros, double step)
{
    if (micros < kUnitMicros)
        return 0;
    return static_cast<std::uint32_t>(std::lround(std::log(double(micros) / kUnitMicros) / step)) + 1;
}

std::uint64_t unquantizeBy(std::uint32_t q, double step)
{
    if (q == 0)
        return 0;
    return static_cast<std::uint64_t>(std::llround(kUnitMicros * std::exp((q - 1) * step)));
}

// The packed rows' steps of response time, and bounds no sound row passes:
// the quantized time of a day, the slots of a year.
const double kPackedStep = std::log(1.04);
constexpr std::uint64_t kMaxQuantized = 1000;
constexpr std::uint64_t kMaxSlotStep = 1u << 20;
// A raw row's steps (ms) and response times (10 µs) are far below.
constexpr std::uint64_t kMaxRawValue = std::uint64_t(1) << 40;

// Bits written from the lowest of each byte up; finish() writes the last
// byte begun.
class BitWriter {
public:
    explicit BitWriter(std::string &out)
        : out_(out)
    {
    }
    void finish()
    {
        if (used_)
            out_.push_back(static_cast<char>(byte_));
        byte_ = 0;
        used_ = 0;
    }
    void put(std::uint64_t value, unsigned bits)
    {
        for (unsigned i = 0; i < bits; ++i) {
            byte_ |= static_cast<unsigned>((value >> i) & 1) << used_;
            if (++used_ == 8) {
                out_.push_back(static_cast<char>(byte_));
                byte_ = 0;
                used_ = 0;
            }
        }
    }
    // Any value: the count of its bits in 7 bits, then the bits.
    void wide(std::uint64_t value)
    {
        unsigned bits = 0;
        while (bits < 64 && (value >> bits) != 0)
            ++bits;
        put(bits, 7);
        put(value, bits);
    }
    // A Rice code of parameter k: the quotient in ones ended by a zero, then
    // the k low bits; a quotient of kEscape or more is written wide instead.
    void rice(std::uint64_t value, unsigned k)
    {
        const std::uint64_t quotient = value >> k;
        if (quotient >= kEscape) {
            put((std::uint64_t(1) << kEscape) - 1, kEscape);
            wide(value);
            return;
        }
        put((std::uint64_t(1) << quotient) - 1, static_cast<unsigned>(quotient) + 1);
        put(value, k);
    }
    static constexpr unsigned kEscape = 24;

private:
    std::string &out_;
    unsigned byte_ = 0, used_ = 0;
};

class BitReader {
public:
    BitReader(const std::string &data, std::size_t at)
        : data_(data)
        , at_(at * 8)
    {
    }
    bool get(std::uint64_t &value, unsigned bits)
    {
        if (bits > 64 || data_.size() * 8 - at_ < bits)
            return false;
        value = 0;
        for (unsigned i = 0; i < bits; ++i, ++at_)
            value |= std::uint64_t((static_cast<unsigned char>(data_[at_ / 8]) >> (at_ % 8)) & 1) << i;
        return true;
    }
    bool wide(std::uint64_t &value)
    {
        std::uint64_t bits = 0;
        return get(bits, 7) && get(value, static_cast<unsigned>(bits));
    }
    bool rice(std::uint64_t &value, unsigned k)
    {
        std::uint64_t quotient = 0, bit = 0;
        for (;;) {
            if (!get(bit, 1))
                return false;
            if (!bit)
                break;
            if (++quotient == BitWriter::kEscape)
                return wide(value);
        }
        std::uint64_t low = 0;
        if (!get(low, k))
            return false;
        value = (quotient << k) | low;
        return true;
    }

private:
    const std::string &data_;
    std::size_t at_;
};

// The Rice parameter, up to most, that writes these values in the fewest
// bits: tried about the one their mean suggests.
unsigned riceParameter(const std::vector<std::uint64_t> &values, unsigned most)
{
    std::uint64_t sum = 0;
    for (const std::uint64_t value : values)
        sum += value;
    unsigned guess = 0;
    while (!values.empty() && guess < most && (values.size() << (guess + 1)) <= sum)
        ++guess;
    unsigned best = guess;
    std::uint64_t fewest = UINT64_MAX;
    for (unsigned k = guess > 2 ? guess - 2 : 0; k <= std::min(guess + 1, most); ++k) {
        std::uint64_t bits = 0;
        for (const std::uint64_t value : values) {
            const std::uint64_t quotient = value >> k;
            bits += quotient >= BitWriter::kEscape ? BitWriter::kEscape + 7 + 64 : quotient + 1 + k;
        }
        if (bits < fewest) {
            fewest = bits;
            best = k;
        }
    }
    return best;
}

} // namespace

std::uint32_t quantize(std::uint64_t micros)
{
    return quantizeBy(micros, kStep);
}

std::uint64_t unquantize(std::uint32_t q)
{
    return unquantizeBy(q, kStep);
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

// A raw row: the count of checks, the median step between checks and the
// median response time (in 10 µs) as varints, and the Rice parameters of
// the steps and the times; then per check its step from the check before
// (the first's from the hour's start) as a change from the median step, a
// bit set when the result is Ok without a reason (else the result in 2
// bits, the failure's kind in 6 and its ICMP type, code and family or HTTP
// status), and its response time as a change from the median. Times are
// kept as appendRaw keeps them: one out of order at its predecessor's.
namespace {

std::uint64_t medianOf(std::vector<std::uint64_t> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

std::uint64_t changeFrom(std::uint64_t value, std::uint64_t reference)
{
    return zigzag(static_cast<std::int64_t>(value) - static_cast<std::int64_t>(reference));
}

} // namespace

std::string packRaw(const std::vector<RawCheck> &checks, std::int64_t hourStartMillis)
{
    std::vector<std::uint64_t> steps, units;
    steps.reserve(checks.size());
    units.reserve(checks.size());
    std::int64_t offset = 0;
    for (const RawCheck &check : checks) {
        const std::int64_t at = std::max(check.millis - hourStartMillis, offset);
        steps.push_back(static_cast<std::uint64_t>(at - offset));
        units.push_back(check.micros / kUnitMicros);
        offset = at;
    }
    const std::uint64_t medianStep =
        steps.size() > 1 ? medianOf(std::vector<std::uint64_t>(steps.begin() + 1, steps.end())) : 0;
    const std::uint64_t medianUnits = medianOf(units);
    std::vector<std::uint64_t> stepChanges, unitChanges;
    stepChanges.reserve(checks.size());
    unitChanges.reserve(checks.size());
    for (std::size_t i = 0; i < checks.size(); ++i) {
        if (i > 0)
            stepChanges.push_back(changeFrom(steps[i], medianStep));
        unitChanges.push_back(changeFrom(units[i], medianUnits));
    }
    std::string out;
    putVarint(out, checks.size());
    putVarint(out, medianStep);
    putVarint(out, medianUnits);
    const unsigned kStepBits = riceParameter(stepChanges, 40);
    const unsigned kUnitBits = riceParameter(unitChanges, 40);
    out.push_back(static_cast<char>(kStepBits));
    out.push_back(static_cast<char>(kUnitBits));
    BitWriter bits(out);
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const RawCheck &check = checks[i];
        bits.rice(changeFrom(steps[i], medianStep), kStepBits);
        const bool plain = check.result == 0 && check.reason.kind == FailureKind::None;
        bits.put(plain ? 1 : 0, 1);
        if (!plain) {
            bits.put(check.result & 3, 2);
            bits.put(static_cast<unsigned>(check.reason.kind) & 63, 6);
            if (check.reason.kind == FailureKind::Unreachable) {
                bits.wide(static_cast<std::uint64_t>(check.reason.type + 1));
                bits.wide(static_cast<std::uint64_t>(check.reason.code + 1));
                bits.put(check.reason.icmp6 ? 1 : 0, 1);
            } else if (check.reason.kind == FailureKind::HttpStatus) {
                bits.wide(static_cast<std::uint64_t>(check.reason.code + 1));
            }
        }
        bits.rice(changeFrom(units[i], medianUnits), kUnitBits);
    }
    bits.finish();
    return out;
}

std::vector<RawCheck> unpackRaw(const std::string &data, std::int64_t hourStartMillis)
{
    std::vector<RawCheck> checks;
    std::size_t at = 0;
    std::uint64_t count = 0, medianStep = 0, medianUnits = 0;
    if (!getVarint(data, at, count) || !getVarint(data, at, medianStep) || !getVarint(data, at, medianUnits) ||
        data.size() - at < 2 || medianStep > kMaxRawValue || medianUnits > kMaxRawValue)
        return checks;
    const auto kStepBits = static_cast<unsigned>(static_cast<unsigned char>(data[at]));
    const auto kUnitBits = static_cast<unsigned>(static_cast<unsigned char>(data[at + 1]));
    BitReader bits(data, at + 2);
    checks.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, data.size() * 8)));
    std::int64_t offset = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        RawCheck check;
        std::uint64_t v = 0, plain = 0;
        if (!bits.rice(v, kStepBits) || !bits.get(plain, 1))
            break;
        const std::int64_t step = static_cast<std::int64_t>(medianStep) + unzigzag(v);
        if (step < 0 || step > static_cast<std::int64_t>(kMaxRawValue))
            break;
        if (!plain) {
            std::uint64_t result = 0, kind = 0;
            if (!bits.get(result, 2) || !bits.get(kind, 6))
                break;
            check.result = static_cast<std::uint8_t>(result);
            check.reason.kind = static_cast<FailureKind>(kind);
            if (check.reason.kind == FailureKind::Unreachable) {
                std::uint64_t type = 0, code = 0, icmp6 = 0;
                if (!bits.wide(type) || !bits.wide(code) || !bits.get(icmp6, 1))
                    break;
                check.reason.type = static_cast<int>(type) - 1;
                check.reason.code = static_cast<int>(code) - 1;
                check.reason.icmp6 = icmp6 != 0;
            } else if (check.reason.kind == FailureKind::HttpStatus) {
                std::uint64_t code = 0;
                if (!bits.wide(code))
                    break;
                check.reason.code = static_cast<int>(code) - 1;
            }
        }
        if (!bits.rice(v, kUnitBits))
            break;
        const std::int64_t units = static_cast<std::int64_t>(medianUnits) + unzigzag(v);
        offset += step;
        check.millis = hourStartMillis + offset;
        check.micros = static_cast<std::uint64_t>(std::max<std::int64_t>(units, 0)) * kUnitMicros;
        checks.push_back(check);
    }
    return checks;
}

// Summaries packed: their count; when there are more than one, the
// median of their quantized medians and the least spans from the median
// down to the minimum and up to the maximum, as varints, and the Rice
// parameters of the medians, the two spans and the failures (4 bits each,
// in two bytes); then per
// summary its head: 1 when it is of the slot after the one before with as
// many checks and no failure; 01 the same with failures, less one after;
// 00 the slot's step, the count and the failures written whole. Then, when
// some checks answered, its quantized median as a change from the row's,
// and its two spans above the least. A summary alone (an hour's) is its
// slot, count, failures and the three quantized times (the minimum, the
// median above it, the maximum above the median) as varints.
std::string packSummaries(const std::vector<Summary> &list)
{
    if (list.size() == 1) {
        const Summary &s = list.front();
        const std::uint64_t qmin = quantizeBy(s.minMicros, kPackedStep);
        const std::uint64_t qmed = std::max<std::uint64_t>(quantizeBy(s.medianMicros, kPackedStep), qmin);
        const std::uint64_t qmax = std::max<std::uint64_t>(quantizeBy(s.maxMicros, kPackedStep), qmed);
        std::string out;
        for (const std::uint64_t value : {std::uint64_t(1), std::uint64_t(s.slot), std::uint64_t(s.count),
                                          std::uint64_t(s.failures), qmin, qmed - qmin, qmax - qmed})
            putVarint(out, value);
        return out;
    }
    struct Times {
        std::uint64_t median, down, up;
    };
    std::vector<Times> times;
    times.reserve(list.size());
    std::vector<std::uint64_t> medians;
    std::uint64_t leastDown = UINT32_MAX, leastUp = UINT32_MAX;
    for (const Summary &s : list) {
        const std::uint64_t qmin = quantizeBy(s.minMicros, kPackedStep);
        const std::uint64_t qmed = std::max<std::uint64_t>(quantizeBy(s.medianMicros, kPackedStep), qmin);
        const std::uint64_t qmax = std::max<std::uint64_t>(quantizeBy(s.maxMicros, kPackedStep), qmed);
        times.push_back({qmed, qmed - qmin, qmax - qmed});
        if (s.count > s.failures) {
            medians.push_back(qmed);
            leastDown = std::min(leastDown, qmed - qmin);
            leastUp = std::min(leastUp, qmax - qmed);
        }
    }
    std::uint64_t median = 0;
    if (medians.empty()) {
        leastDown = leastUp = 0;
    } else {
        std::nth_element(medians.begin(), medians.begin() + static_cast<std::ptrdiff_t>(medians.size() / 2),
                         medians.end());
        median = medians[medians.size() / 2];
    }
    const auto change = [median](std::uint64_t qmed) {
        return zigzag(static_cast<std::int64_t>(qmed) - static_cast<std::int64_t>(median));
    };
    std::vector<std::uint64_t> streams[4];
    std::int64_t slot = -1;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Summary &s = list[i];
        if (std::int64_t(s.slot) == slot + 1 && s.count == count && s.failures > 0)
            streams[3].push_back(s.failures - 1);
        if (s.count > s.failures) {
            streams[0].push_back(change(times[i].median));
            streams[1].push_back(times[i].down - leastDown);
            streams[2].push_back(times[i].up - leastUp);
        }
        slot = s.slot;
        count = s.count;
    }
    std::string out;
    putVarint(out, list.size());
    if (list.empty())
        return out;
    putVarint(out, median);
    putVarint(out, leastDown);
    putVarint(out, leastUp);
    unsigned k[4];
    for (int i = 0; i < 4; ++i)
        k[i] = riceParameter(streams[i], 15);
    out.push_back(static_cast<char>(k[0] | k[1] << 4));
    out.push_back(static_cast<char>(k[2] | k[3] << 4));
    BitWriter bits(out);
    slot = -1;
    count = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Summary &s = list[i];
        const bool next = std::int64_t(s.slot) == slot + 1 && s.count == count;
        if (next && s.failures == 0) {
            bits.put(1, 1);
        } else if (next) {
            bits.put(2, 2);
            bits.rice(s.failures - 1, k[3]);
        } else {
            bits.put(0, 2);
            bits.wide(static_cast<std::uint64_t>(std::int64_t(s.slot) - slot - 1));
            bits.wide(s.count);
            bits.wide(s.failures);
        }
        if (s.count > s.failures) {
            bits.rice(change(times[i].median), k[0]);
            bits.rice(times[i].down - leastDown, k[1]);
            bits.rice(times[i].up - leastUp, k[2]);
        }
        slot = s.slot;
        count = s.count;
    }
    bits.finish();
    return out;
}

std::vector<Summary> unpackSummaries(const std::string &data)
{
    std::vector<Summary> out;
    std::size_t at = 0;
    std::uint64_t length = 0, median = 0, leastDown = 0, leastUp = 0;
    if (getVarint(data, at, length) && length == 1) {
        std::uint64_t v[6];
        for (std::uint64_t &value : v)
            if (!getVarint(data, at, value))
                return out;
        if (v[0] > UINT32_MAX || v[1] > UINT32_MAX || v[2] > v[1] || v[3] + v[4] + v[5] > kMaxQuantized)
            return out;
        Summary s;
        s.slot = static_cast<std::uint32_t>(v[0]);
        s.count = static_cast<std::uint32_t>(v[1]);
        s.failures = static_cast<std::uint32_t>(v[2]);
        if (s.count > s.failures) {
            s.minMicros = unquantizeBy(static_cast<std::uint32_t>(v[3]), kPackedStep);
            s.medianMicros = unquantizeBy(static_cast<std::uint32_t>(v[3] + v[4]), kPackedStep);
            s.maxMicros = unquantizeBy(static_cast<std::uint32_t>(v[3] + v[4] + v[5]), kPackedStep);
        }
        out.push_back(s);
        return out;
    }
    if (length == 0 || !getVarint(data, at, median) || !getVarint(data, at, leastDown) ||
        !getVarint(data, at, leastUp) || data.size() - at < 2 || median + leastUp > kMaxQuantized)
        return out;
    unsigned k[4];
    for (int i = 0; i < 4; i += 2) {
        const auto both = static_cast<unsigned char>(data[at++]);
        k[i] = both & 15;
        k[i + 1] = both >> 4;
    }
    BitReader bits(data, at);
    std::int64_t slot = -1;
    std::uint64_t count = 0;
    for (std::uint64_t i = 0; i < length; ++i) {
        std::uint64_t head = 0, step = 0, failures = 0;
        if (!bits.get(head, 1))
            break;
        if (!head) {
            if (!bits.get(head, 1))
                break;
            if (head) {
                if (!bits.rice(failures, k[3]))
                    break;
                ++failures;
            } else if (!bits.wide(step) || !bits.wide(count) || !bits.wide(failures) || step > kMaxSlotStep ||
                       count > UINT32_MAX || failures > count) {
                break;
            }
        }
        Summary s;
        slot += static_cast<std::int64_t>(step) + 1;
        s.slot = static_cast<std::uint32_t>(slot);
        s.count = static_cast<std::uint32_t>(count);
        s.failures = static_cast<std::uint32_t>(failures);
        if (count > failures) {
            std::uint64_t change = 0, down = 0, up = 0;
            if (!bits.rice(change, k[0]) || !bits.rice(down, k[1]) || !bits.rice(up, k[2]))
                break;
            const std::int64_t qmed = static_cast<std::int64_t>(median) + unzigzag(change);
            down += leastDown;
            up += leastUp;
            if (qmed < 0 || down > std::uint64_t(qmed) || qmed + up > kMaxQuantized)
                break;
            s.minMicros = unquantizeBy(static_cast<std::uint32_t>(qmed - static_cast<std::int64_t>(down)), kPackedStep);
            s.medianMicros = unquantizeBy(static_cast<std::uint32_t>(qmed), kPackedStep);
            s.maxMicros = unquantizeBy(static_cast<std::uint32_t>(qmed + static_cast<std::int64_t>(up)), kPackedStep);
        }
        out.push_back(s);
    }
    return out;
}

Summary mergeSummaries(const Summary &a, const Summary &b)
{
    Summary m = a;
    m.count = a.count + b.count;
    m.failures = a.failures + b.failures;
    const bool aAnswered = a.count > a.failures, bAnswered = b.count > b.failures;
    if (!aAnswered) {
        m.minMicros = b.minMicros;
        m.medianMicros = b.medianMicros;
        m.maxMicros = b.maxMicros;
    } else if (bAnswered) {
        m.minMicros = std::min(a.minMicros, b.minMicros);
        m.maxMicros = std::max(a.maxMicros, b.maxMicros);
        m.medianMicros = b.count - b.failures > a.count - a.failures ? b.medianMicros : a.medianMicros;
    }
    return m;
}

} // namespace vigilon::history
