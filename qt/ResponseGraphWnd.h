// SPDX-License-Identifier: MIT
#pragma once

#include "base/Clock.h"
#include "base/Prompter.h"
#include "base/ResponseGraph.h"
#include "graph/ResponseGraphParams.h"
#include "graph/ResponseGraphSession.h"

#include <QBasicTimer>
#include <QFont>
#include <QMenu>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>

namespace vigilon {

// The small translucent window that follows one entry's response times: the
// text block with host, current value, start and elapsed time and sample
// count, and below it the graph of the stored samples. It has no caption:
// it is moved by dragging it and sized by its border. Its owner (the frame)
// destroys it; the window only asks for that.
class CResponseGraphWnd : public QWidget, public ResponseGraph {
    Q_OBJECT
public:
    // Asked, by a call posted to the event loop, to close the window.
    using CloseRequest = std::function<void(const ResponseGraph *window)>;

    CResponseGraphWnd(CloseRequest closeRequest, const Clock &clock, Prompter &prompter,
                      const ResponseGraphParams &params);
    ~CResponseGraphWnd() override;

    // Finishes creation, hidden: font, text block, size and place, the
    // recording file, the start timer and the opacity. True when the window
    // exists.
    bool Create();

    void addSample(std::uint32_t valueMs) override;
    void setHistoryLines(const std::vector<std::string> &lines) override;
    void setOutagesAction(std::function<void()> open) override;
    void setFailureReason(const std::string &line) override;
    Place place() const override { return {x(), y()}; }
    void moveTo(const Place &place) override { move(place.x, place.y); }
    Size outerSize() const override { return {frameGeometry().width(), frameGeometry().height()}; }
    void show() override;
    void resetHistory();
    // Asks the owner to close this window, and nothing else.
    void closeMonitor();

    const ResponseGraphModel &model() const { return session_.model(); }
    bool recording() const { return session_.recording(); }
    QMenu &contextMenu() { return menu_; }
    const QFont &graphFont() const { return font_; }
    // The least size the user may size the window to: the text block's
    // width plus 16 by its height. It never resizes the window by itself.
    QSize leastSize() const;
    // What the last paint drew, in window pixels.
    const PaintPlan &lastPaint() const { return lastPaint_; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    // Marks a part of the window for repainting.
    virtual void invalidate(const QRect &area);

private:
    void onStartTimer();
    void onTextTimer();
    TextExtent measure(const std::string &text) const;
    TextMeasure measurer() const;
    GRect clientRect() const;
    // Tells the window system the least size, but never more than the
    // window has now.
    void applyMinimumSize();
    // Widens the window by width, when the text asks for it.
    void growBy(std::optional<int> width);
    Qt::Edges edgesAt(const QPoint &pos) const;

    CloseRequest closeRequest_;
    Prompter &prompter_;
    ResponseGraphSession session_;
    QFont font_;
    QMenu menu_;
    QAction *outages_ = nullptr;
    std::function<void()> openOutages_;
    QBasicTimer startTimer_;
    QBasicTimer textTimer_;
    GraphDrag drag_;
    // Sizing through the border, where the window system does not do it.
    Qt::Edges sizingEdges_;
    QRect sizingStart_;
    QPoint sizingPress_;
    PaintPlan lastPaint_;
};

} // namespace vigilon
