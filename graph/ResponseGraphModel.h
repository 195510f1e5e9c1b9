// SPDX-License-Identifier: MIT
#pragma once

#include "base/Dpi.h"
#include "graph/GraphGeometry.h"
#include "graph/ResponseGraphParams.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vigilon {

// One stored sample: when it was added and one value per series (always
// exactly one, series 0).
struct ResponseSample {
    std::uint32_t time = 0;
    std::vector<std::uint32_t> values;
};

namespace graphcolour {
constexpr GColour Background{0, 0, 0};
constexpr GColour Text{255, 255, 255};
constexpr GColour Shadow{128, 128, 128};
constexpr GColour Axes{255, 255, 255};
constexpr GColour Threshold{255, 0, 0};
constexpr GColour Labels{255, 255, 0};
constexpr GColour Reason{255, 128, 128};
// The colour of series i is series(i % 4).
GColour series(std::size_t index);
} // namespace graphcolour

// Splits series names at "\r\n": empty names count, a trailing "\r\n" adds
// no name, an empty text gives none.
std::vector<std::string> splitSeriesNames(const std::string &names);

// Everything DrawGraph draws, worked out for a graph rectangle.
struct GraphDrawing {
    GRect area;
    GLine verticalAxis;
    GLine horizontalAxis;
    std::vector<GLine> ticks;
    // The dotted threshold line, when there is a threshold.
    std::optional<GLine> thresholdLine;
    // The curve of series 0, oldest sample first; empty when no series is
    // drawn.
    std::vector<GPoint> curve;
    std::string maxLabel;
    GRect maxLabelRect;
    // The oldest stored sample's time; only when samples are stored.
    std::optional<std::string> timeLabel;
    GRect timeLabelRect;
};

// A text measured the way the window's text drawing measures it: lines break
// only at "\r\n"; the result is the text's width and height in pixels.
struct TextExtent {
    int width = 0;
    int height = 0;
};
using TextMeasure = std::function<TextExtent(const std::string &text)>;

// One text item of the painted text block. shadowAt is the rectangle the
// grey shadow is drawn in; the text itself goes one pixel left and up.
struct TextItem {
    std::string text;
    GRect shadowAt;
    GColour colour;
};

struct PaintPlan {
    std::vector<TextItem> items;
    // Bottom of the last text item: where the graph area starts.
    int textBottom = 0;
    std::optional<GraphDrawing> graph;
};

// The state and arithmetic of one response-time graph window, without any
// drawing: the bounded sample history, the counters, the text of the window
// and the coordinates of everything it paints. Times are seconds since 1970.
class ResponseGraphModel {
public:
    ResponseGraphModel(const ResponseGraphParams &params, std::uint32_t createdAt);

    // Records a sample taken at now and returns it, for the recording file.
    // At most one sample, the oldest, is dropped to keep within maxHistory.
    ResponseSample addSample(std::uint32_t value, std::uint32_t now);
    // The line that tells why the entry failed, under the start line;
    // empty for none. True when it changed.
    bool setReasonLine(const std::string &line);
    // The lines of the entry's kept history (uptimes, last outages), under
    // the reason; empty for none. True when they changed.
    bool setHistoryLines(const std::vector<std::string> &lines);
    const std::vector<std::string> &historyLines() const { return historyLines_; }
    // Forgets the history, the maximum and the current values; hasSamples
    // stays set.
    void resetHistory();

    // The window's start timer: the elapsed time counts from here.
    void startClock(std::uint32_t now);
    // The window's text timer: the elapsed text is brought up to now.
    void updateElapsed(std::uint32_t now);

    // The whole text of the text block as measured for the window's size:
    // a seven-digit stand-in for each current value and the sample count,
    // and the widest likely elapsed time for the one shown.
    std::string measuredText() const;
    // The window's resolution: the margins, offsets and tick lengths below
    // are pixels at 96 DPI, scaled to it. 96 until set.
    void setDpi(int dpi) { dpi_ = dpi; }
    int dpi() const { return dpi_; }
    // pixels at 96 DPI in the window's pixels.
    int px(int pixels) const { return atDpi(pixels, dpi_); }

    // The text block for a client rectangle: left and top 4 in, the
    // measured extent, plus 8 to the right.
    GRect computeTextBlock(const GRect &client, const TextMeasure &measure);
    const GRect &textBlock() const { return textBlock_; }

    // Lays out a paint of the client rectangle. Like the window's painting
    // it moves textBlock's bottom to the bottom of the painted text.
    PaintPlan planPaint(const GRect &client, const TextMeasure &measure);
    // Coordinates of the graph drawn into g.
    GraphDrawing drawGraph(const GRect &g) const;

    // The part of the client area that a new sample or a resize repaints.
    GRect graphArea(const GRect &client) const;
    // The client width the text block needs: its right edge.
    int neededWidth() const { return textBlock_.right; }
    // The smallest size the window can be given.
    int minimumWidth() const { return textBlock_.width() + px(16); }
    int minimumHeight() const { return textBlock_.height(); }

    // Lines of the text.
    std::string hostLine() const;
    std::string portHeading() const;
    std::string seriesLine(std::size_t index) const;
    std::string startLine() const;

    const ResponseGraphParams &params() const { return params_; }
    const std::vector<std::string> &seriesNames() const { return seriesNames_; }
    const std::deque<ResponseSample> &samples() const { return samples_; }
    const std::vector<std::uint32_t> &currentValues() const { return currentValues_; }
    std::uint32_t sampleCount() const { return sampleCount_; }
    bool hasSamples() const { return hasSamples_; }
    std::uint32_t createdAt() const { return createdAt_; }
    const std::string &elapsedText() const { return elapsedText_; }
    bool clockStarted() const { return clockStarted_; }

private:
    std::string startLineWith(const std::string &elapsed, const std::string &count) const;

    ResponseGraphParams params_;
    std::vector<std::string> seriesNames_;
    std::vector<std::uint32_t> currentValues_;
    std::size_t drawnSeries_ = 0;
    std::deque<ResponseSample> samples_;
    std::uint32_t sampleCount_ = 0;
    std::uint32_t maxValue_ = 0;
    bool hasSamples_ = false;
    std::uint32_t createdAt_ = 0;
    std::uint32_t clockStart_ = 0;
    bool clockStarted_ = false;
    std::string elapsedText_;
    std::string reasonLine_;
    std::vector<std::string> historyLines_;
    GRect textBlock_;
    int dpi_ = kBaseDpi;
};

} // namespace vigilon
