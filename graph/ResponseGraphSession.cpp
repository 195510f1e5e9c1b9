// SPDX-License-Identifier: MIT
#include "graph/ResponseGraphSession.h"

#include "base/StringTable.h"

#include <algorithm>

namespace vigilon {

ResponseGraphSession::ResponseGraphSession(const ResponseGraphParams &params, const Clock &clock)
    : clock_(clock)
    , model_(params, clock.nowSeconds())
{
}

GRect ResponseGraphSession::initialFrame(const GRect &client, const TextMeasure &measure)
{
    const GRect block = model_.computeTextBlock(client, measure);
    GRect frame{block.left, block.top, block.right, block.bottom};
    if (model_.params().showGraph != 0)
        frame.bottom += model_.px(GraphReserve);
    return frame;
}

void ResponseGraphSession::startRecording(Prompter &prompter)
{
    const ResponseGraphParams &p = model_.params();
    if (p.recordToFile == 0)
        return;
    // The original message, then the file and the system's reason.
    if (!recorder_.open(p.fileName, p.targetHost, p.sourceHost, model_.seriesNames()))
        prompter.messageBox(loadString(sid::RecordFileOpenError) + "\r\n" + p.fileName + "\r\n" + recorder_.openError(),
                            "", mb::Ok);
}

GRect ResponseGraphSession::addSample(std::uint32_t valueMs, const GRect &client)
{
    recorder_.record(model_.addSample(valueMs, clock_.nowSeconds()));
    return model_.graphArea(client);
}

GRect ResponseGraphSession::tick(const GRect &client, const TextMeasure &measure)
{
    model_.updateElapsed(clock_.nowSeconds());
    GRect area = model_.computeTextBlock(client, measure);
    area.bottom = std::max(area.bottom, paintedTextBottom_);
    return area;
}

std::optional<int> ResponseGraphSession::growToFit(const GRect &client)
{
    const int needed = model_.neededWidth() - client.left;
    if (needed <= client.width() || needed <= fittedWidth_)
        return std::nullopt;
    fittedWidth_ = needed;
    return needed - client.width();
}

std::optional<int> ResponseGraphSession::fitReason(const GRect &client, const TextMeasure &measure)
{
    // Measured as a tick would, bottom included; the paint that follows
    // moves the bottom to the painted text's again.
    model_.computeTextBlock(client, measure);
    return growToFit(client);
}

std::optional<ResponseGraphSession::Growth> ResponseGraphSession::fitHistoryLines(
    const std::vector<std::string> &lines, const GRect &client, const TextMeasure &measure)
{
    const int before = measure(model_.measuredText()).height;
    if (!model_.setHistoryLines(lines))
        return std::nullopt;
    Growth growth;
    growth.width = fitReason(client, measure);
    growth.height = std::max(0, measure(model_.measuredText()).height - before);
    return growth;
}

PaintPlan ResponseGraphSession::planPaint(const GRect &client, const TextMeasure &measure)
{
    PaintPlan plan = model_.planPaint(client, measure);
    paintedTextBottom_ = plan.textBottom;
    return plan;
}

int graphFontPixels(int systemFontPixels, int dpi)
{
    return std::max(1, systemFontPixels - atDpi(4, dpi));
}

void GraphDrag::press(GPoint cursor, GPoint windowTopLeft)
{
    offset_ = GPoint{cursor.x - windowTopLeft.x, cursor.y - windowTopLeft.y};
    active_ = true;
}

std::optional<GPoint> GraphDrag::move(GPoint cursor, bool leftHeld, GPoint windowTopLeft)
{
    if (!leftHeld) {
        active_ = false;
        return std::nullopt;
    }
    if (!active_)
        return std::nullopt;
    const GPoint to{cursor.x - offset_.x, cursor.y - offset_.y};
    if (to == windowTopLeft)
        return std::nullopt;
    return to;
}

} // namespace vigilon
