// SPDX-License-Identifier: MIT
#include "graph/ResponseGraphModel.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "graph/TimeFormat.h"

namespace vigilon {

namespace {

// Values are shown and recorded as signed 32-bit numbers.
std::string signedText(std::uint32_t value)
{
    return std::to_string(static_cast<std::int32_t>(value));
}

// Stands in for a current value and the sample count while the text block
// is measured.
constexpr const char *kValuePlaceholder = "8888888";

// Stands in for the elapsed time while the text block is measured: the
// widest the window is likely to show, so that the block does not widen as
// the clock runs (999 days, 23:59:59).
constexpr std::uint32_t kElapsedStandIn = 999u * 86400u + 86399u;

// How far the maximum's label reaches above the graph's top.
constexpr int kMaxLabelLift = 8;

// (value * height) / scale without the 32-bit product wrapping round: a
// large threshold or sample would otherwise land anywhere in the graph.
int scaledOffset(std::uint32_t value, int height, std::uint32_t scale)
{
    if (scale == 0 || height <= 0)
        return 0;
    const std::uint64_t product = static_cast<std::uint64_t>(value) * static_cast<std::uint64_t>(height);
    return static_cast<int>(product / scale);
}

} // namespace

GColour graphcolour::series(std::size_t index)
{
    static constexpr GColour colours[4] = {
        {255, 128, 64},
        {128, 255, 0},
        {64, 128, 128},
        {128, 128, 192},
    };
    return colours[index % 4];
}

std::vector<std::string> splitSeriesNames(const std::string &names)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < names.size()) {
        const std::size_t brk = names.find("\r\n", pos);
        if (brk == std::string::npos) {
            out.push_back(names.substr(pos));
            break;
        }
        out.push_back(names.substr(pos, brk - pos));
        pos = brk + 2;
    }
    return out;
}

ResponseGraphModel::ResponseGraphModel(const ResponseGraphParams &params, std::uint32_t createdAt)
    : params_(params)
    , seriesNames_(splitSeriesNames(params.seriesNames))
    , createdAt_(createdAt)
{
}

ResponseSample ResponseGraphModel::addSample(std::uint32_t value, std::uint32_t now)
{
    hasSamples_ = true;
    if (sampleCount_ == 0 || currentValues_.empty()) {
        if (currentValues_.empty())
            currentValues_.push_back(value);
        else
            currentValues_[0] = value;
        drawnSeries_ = 1;
    }
    if (value > maxValue_)
        maxValue_ = value;
    ResponseSample sample;
    sample.time = now;
    sample.values.push_back(value);
    currentValues_[0] = value;
    ++sampleCount_;
    samples_.push_back(sample);
    if (samples_.size() > params_.maxHistory)
        samples_.pop_front();
    return sample;
}

void ResponseGraphModel::resetHistory()
{
    maxValue_ = 0;
    samples_.clear();
    currentValues_.clear();
    drawnSeries_ = 0;
    sampleCount_ = 0;
}

void ResponseGraphModel::startClock(std::uint32_t now)
{
    clockStart_ = now;
    clockStarted_ = true;
}

void ResponseGraphModel::updateElapsed(std::uint32_t now)
{
    elapsedText_ = formatElapsed(loadString(sid::GraphElapsedFormat), now - clockStart_);
}

bool ResponseGraphModel::setReasonLine(const std::string &line)
{
    if (line == reasonLine_)
        return false;
    reasonLine_ = line;
    return true;
}

bool ResponseGraphModel::setHistoryLines(const std::vector<std::string> &lines)
{
    if (lines == historyLines_)
        return false;
    historyLines_ = lines;
    return true;
}

std::string ResponseGraphModel::hostLine() const
{
    return formatText(loadString(sid::GraphTargetHost), {params_.targetHost});
}

std::string ResponseGraphModel::portHeading() const
{
    return loadString(sid::GraphTargetPort);
}

std::string ResponseGraphModel::seriesLine(std::size_t index) const
{
    const std::uint32_t value = index < currentValues_.size() ? currentValues_[index] : 0;
    const std::string &name = index < seriesNames_.size() ? seriesNames_[index] : std::string();
    return formatText(loadString(sid::GraphSeriesValue), {name, signedText(value)});
}

std::string ResponseGraphModel::startLineWith(const std::string &elapsed, const std::string &count) const
{
    const std::string start = formatLocalTime(loadString(sid::GraphDateTimeFormat), createdAt_);
    return formatText(loadString(sid::GraphStartAndCount), {start, elapsed, count});
}

std::string ResponseGraphModel::startLine() const
{
    return startLineWith(elapsedText_, signedText(sampleCount_));
}

std::string ResponseGraphModel::measuredText() const
{
    std::string text = hostLine() + "\r\n" + portHeading();
    const std::string &format = loadString(sid::GraphSeriesValue);
    for (std::size_t i = 0; i < seriesNames_.size(); ++i) {
        if (i > 0)
            text += "\r\n";
        text += formatText(format, {seriesNames_[i], kValuePlaceholder});
    }
    text += "\r\n";
    text += startLineWith(formatElapsed(loadString(sid::GraphElapsedFormat), kElapsedStandIn), kValuePlaceholder);
    if (!reasonLine_.empty())
        text += "\r\n" + reasonLine_;
    for (const std::string &line : historyLines_)
        text += "\r\n" + line;
    return text;
}

GRect ResponseGraphModel::computeTextBlock(const GRect &client, const TextMeasure &measure)
{
    GRect block = client;
    block.left += px(4);
    block.top += px(4);
    const TextExtent extent = measure(measuredText());
    block.right = block.left + extent.width;
    block.bottom = block.top + extent.height;
    block.right += px(8);
    textBlock_ = block;
    return block;
}

PaintPlan ResponseGraphModel::planPaint(const GRect &client, const TextMeasure &measure)
{
    PaintPlan plan;
    GRect r = client;
    r.left += px(4);
    r.top += px(4);
    // Each item is measured into r, its shadow drawn there and the text one
    // pixel left and up; r keeps that drift, so every item starts one pixel
    // further left than the one before it.
    auto draw = [&](std::string text, GColour colour) {
        const TextExtent extent = measure(text);
        r.right = r.left + extent.width;
        r.bottom = r.top + extent.height;
        plan.items.push_back(TextItem{std::move(text), r, colour});
        r.left -= 1;
        r.top = r.bottom;
    };
    draw(hostLine(), graphcolour::Text);
    draw(portHeading(), graphcolour::Text);
    for (std::size_t i = 0; i < seriesNames_.size(); ++i)
        draw(seriesLine(i), graphcolour::series(i));
    r.left = client.left + px(4);
    draw(startLine(), graphcolour::Text);
    if (!reasonLine_.empty()) {
        r.left = client.left + px(4);
        draw(reasonLine_, graphcolour::Reason);
    }
    for (const std::string &line : historyLines_) {
        r.left = client.left + px(4);
        draw(line, graphcolour::Text);
    }
    plan.textBottom = r.bottom;

    if (params_.showGraph == 1 && hasSamples_) {
        const int b = r.bottom;
        textBlock_.bottom = b;
        // The maximum's label goes above the graph, below the text: it must
        // not cover the last line, the failure's reason when there is one.
        const GRect g{client.left + px(16), b + px(kMaxLabelLift), client.right - px(8), client.bottom - px(18)};
        if (g.top < g.bottom)
            plan.graph = drawGraph(g);
    }
    return plan;
}

GraphDrawing ResponseGraphModel::drawGraph(const GRect &g) const
{
    GraphDrawing d;
    d.area = g;
    const int w = g.width();
    const int h = g.height();
    const int n = static_cast<int>(samples_.size());
    const int slots = n + 2;
    auto x = [&](int i) {
        return g.left + static_cast<int>((static_cast<long long>(i) * w) / slots);
    };
    const std::uint32_t scale = maxValue_ >= params_.warningThreshold ? maxValue_ : params_.warningThreshold;

    d.verticalAxis = GLine{{g.left, g.bottom}, {g.left, g.top}};
    d.horizontalAxis = GLine{{g.left, g.bottom}, {g.right, g.bottom}};
    for (int i = 0; i < slots; i += 10)
        d.ticks.push_back(GLine{{x(i), g.bottom - px(2)}, {x(i), g.bottom + px(2)}});

    if (params_.warningThreshold > 0) {
        const int y = g.bottom - scaledOffset(params_.warningThreshold, h, scale) - 1;
        d.thresholdLine = GLine{{g.left, y}, {g.right, y}};
    }

    if (drawnSeries_ > 0) {
        d.curve.reserve(samples_.size());
        for (int i = 0; i < n; ++i) {
            const std::uint32_t v = samples_[static_cast<std::size_t>(i)].values[0];
            const int offset = maxValue_ == 0 ? 0 : scaledOffset(v, h, scale);
            d.curve.push_back(GPoint{x(i), g.bottom - offset - 1});
        }
    }

    d.maxLabel = formatText(loadString(sid::GraphMaxLabel), {signedText(maxValue_)});
    d.maxLabelRect = GRect{g.left - px(12), g.top - px(kMaxLabelLift), g.right - px(4), g.bottom};
    if (n > 0) {
        d.timeLabel = formatLocalTime(loadString(sid::GraphTimeLabel), samples_.front().time);
        d.timeLabelRect = GRect{g.left - px(12), g.bottom + px(2), g.right - px(4), g.bottom + px(16)};
    }
    return d;
}

GRect ResponseGraphModel::graphArea(const GRect &client) const
{
    GRect area = client;
    area.top += textBlock_.height();
    return area;
}

} // namespace vigilon
