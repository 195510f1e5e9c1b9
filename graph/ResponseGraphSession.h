// SPDX-License-Identifier: MIT
#pragma once

#include "base/Clock.h"
#include "base/Prompter.h"
#include "graph/GraphGeometry.h"
#include "graph/ResponseGraphModel.h"
#include "graph/ResponseGraphParams.h"
#include "graph/SampleRecorder.h"

#include <cstdint>
#include <optional>

namespace vigilon {

// Command ids of the graph window's context menu.
namespace graphcmd {
constexpr unsigned ResetHistory = 32772;
constexpr unsigned CloseMonitor = 32778;
} // namespace graphcmd

// What a graph window does between its events, whatever draws it: the model
// and the recording file, where the window goes at creation, what a sample
// and each timer tick change and which part of the window they repaint.
// Rectangles are in window pixels; the window's front end only measures
// text, draws the paint plan and keeps the timers and the native window.
class ResponseGraphSession {
public:
    // The window's timers: the start timer fires once, a second after
    // creation, and starts the text timer, which brings the elapsed time and
    // the text block up to date.
    enum Timer : unsigned {
        StartTimerId = 1,
        TextTimerId = 2,
    };
    static constexpr unsigned StartTimerMs = 1000;
    static constexpr unsigned TextTimerMs = 2000;
    // Height added below the text for the graph, in pixels at 96 DPI.
    static constexpr int GraphReserve = 100;

    ResponseGraphSession(const ResponseGraphParams &params, const Clock &clock);
    ResponseGraphSession(const ResponseGraphSession &) = delete;
    ResponseGraphSession &operator=(const ResponseGraphSession &) = delete;

    // The window's rectangle right after creation, on the screen: the text
    // block's place and size for the client rectangle the window has now,
    // GraphReserve (scaled to the model's resolution) taller when the graph
    // is shown.
    GRect initialFrame(const GRect &client, const TextMeasure &measure);
    // Opens the recording file when the window is to record. One that cannot
    // be opened is said so (message 61215 with the file's name and the
    // system's reason, OK) and the window goes on without recording.
    void startRecording(Prompter &prompter);

    // A sample, recorded when recording; the area to repaint.
    GRect addSample(std::uint32_t valueMs, const GRect &client);
    // The line of a failed entry's reason (empty: none). True when it
    // changed; the window then repaints all of itself.
    bool setFailureReason(const std::string &line) { return model_.setReasonLine(line); }
    // New lines of the entry's kept history: the text block is measured
    // again, and the window is to grow as growToFit says and taller by what
    // the text grew, so that the graph keeps its room; it then repaints
    // whole. Nothing when the lines are the same.
    struct Growth {
        std::optional<int> width;
        int height = 0;
    };
    std::optional<Growth> fitHistoryLines(const std::vector<std::string> &lines, const GRect &client,
                                          const TextMeasure &measure);
    // The history is forgotten; nothing is repainted for it.
    void resetHistory() { model_.resetHistory(); }
    // The start timer fired.
    void startClock() { model_.startClock(clock_.nowSeconds()); }
    // The text timer ticked: the text block is remeasured; the area to repaint is the
    // block, down to the bottom of the text as last painted. (The block is
    // measured with the first series on the port heading's line, but the
    // series is painted on a line of its own, so the painted text reaches a
    // line further down: without that line the sample count would not be
    // brought up to date.)
    GRect tick(const GRect &client, const TextMeasure &measure);
    // How much wider the window is to grow so that its text is not cut: the
    // text block as last measured needs more than the client width, and more
    // than the window was last fitted to (a window the user has narrowed
    // since is not widened again for the same text). Nothing otherwise; a
    // window is never made narrower nor changed in height.
    std::optional<int> growToFit(const GRect &client);
    // The reason line changed: the text block is measured again, and the
    // window grows as growToFit says.
    std::optional<int> fitReason(const GRect &client, const TextMeasure &measure);
    // Lays out a paint of the client area, which the window then draws.
    PaintPlan planPaint(const GRect &client, const TextMeasure &measure);
    // The area a resize repaints.
    GRect resizedArea(const GRect &client) const { return model_.graphArea(client); }

    // The window's opacity: the low byte of alpha.
    std::uint8_t opacity() const { return static_cast<std::uint8_t>(model_.params().alpha & 0xFFu); }
    bool recording() const { return recorder_.isOpen(); }
    // The window goes: the recording file is closed.
    void stopRecording() { recorder_.close(); }
    ResponseGraphModel &model() { return model_; }
    const ResponseGraphModel &model() const { return model_; }

private:
    const Clock &clock_;
    ResponseGraphModel model_;
    SampleRecorder recorder_;
    int paintedTextBottom_ = 0;
    int fittedWidth_ = 0;
};

// The height of the graph window's font, in pixels, from the system font's
// at the window's resolution: 4 pixels at 96 DPI smaller, at least 1.
int graphFontPixels(int systemFontPixels, int dpi = kBaseDpi);

// Moving the graph window by dragging its client area. It follows the
// cursor only after a left-button press in the window and until the button
// is released: a cursor that comes in with the button held, pressed
// elsewhere, moves nothing.
class GraphDrag {
public:
    // The press: cursor and window corner in screen pixels.
    void press(GPoint cursor, GPoint windowTopLeft);
    void release() { active_ = false; }
    // A mouse move: the window's new top-left corner when it is to move.
    std::optional<GPoint> move(GPoint cursor, bool leftHeld, GPoint windowTopLeft);
    bool active() const { return active_; }

private:
    GPoint offset_;
    bool active_ = false;
};

} // namespace vigilon
