// SPDX-License-Identifier: MIT
#include "qt/ResponseGraphWnd.h"
#include "qt/UiText.h"

#include "base/StringTable.h"
#include "qt/GraphFonts.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace vigilon {

namespace {

constexpr int kBorder = 4;

QColor toQColor(GColour c)
{
    return QColor(c.red, c.green, c.blue);
}

QRect toQRect(const GRect &r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

QPoint toQPoint(GPoint p)
{
    return QPoint(p.x, p.y);
}

QLine toQLine(const GLine &l)
{
    return QLine(toQPoint(l.from), toQPoint(l.to));
}

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip;

} // namespace

CResponseGraphWnd::CResponseGraphWnd(CloseRequest closeRequest, const Clock &clock, Prompter &prompter,
                                     const ResponseGraphParams &params)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)
    , closeRequest_(std::move(closeRequest))
    , prompter_(prompter)
    , session_(params, clock)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

CResponseGraphWnd::~CResponseGraphWnd()
{
    startTimer_.stop();
    textTimer_.stop();
}

bool CResponseGraphWnd::Create()
{
    font_ = graphWindowFont(session_.model().params().fontFace);
    setFont(font_);
    resize(100, 100);
    // The native window is made here, hidden.
    if (winId() == 0)
        return false;

    menu_.clear();
    QAction *reset = menu_.addAction(uiText(sid::GraphResetHistory));
    reset->setData(graphcmd::ResetHistory);
    outages_ = menu_.addAction(uiText(sid::GraphOutagesButton));
    outages_->setEnabled(false);
    connect(outages_, &QAction::triggered, this, [this] {
        if (openOutages_)
            openOutages_();
    });
    menu_.addSeparator();
    QAction *close = menu_.addAction(uiText(sid::GraphCloseMonitor));
    close->setData(graphcmd::CloseMonitor);
    connect(reset, &QAction::triggered, this, [this] { resetHistory(); });
    connect(close, &QAction::triggered, this, [this] { closeMonitor(); });

    const GRect frame = session_.initialFrame(clientRect(), measurer());
    setGeometry(frame.left, frame.top, frame.width(), frame.height());
    growBy(session_.growToFit(clientRect()));
    applyMinimumSize();

    session_.startRecording(prompter_);

    startTimer_.start(static_cast<int>(ResponseGraphSession::StartTimerMs), this);
    setWindowOpacity(static_cast<double>(session_.opacity()) / 255.0);
    return true;
}

void CResponseGraphWnd::show()
{
    QWidget::show();
}

void CResponseGraphWnd::addSample(std::uint32_t valueMs)
{
    invalidate(toQRect(session_.addSample(valueMs, clientRect())));
}

void CResponseGraphWnd::setHistoryLines(const std::vector<std::string> &lines)
{
    const auto growth = session_.fitHistoryLines(lines, clientRect(), measurer());
    if (!growth)
        return;
    resize(width() + growth->width.value_or(0), height() + growth->height);
    invalidate(rect());
}

void CResponseGraphWnd::setOutagesAction(std::function<void()> open)
{
    openOutages_ = std::move(open);
    if (outages_)
        outages_->setEnabled(static_cast<bool>(openOutages_));
}

void CResponseGraphWnd::setFailureReason(const std::string &line)
{
    if (!session_.setFailureReason(line))
        return;
    growBy(session_.fitReason(clientRect(), measurer()));
    invalidate(rect());
}

void CResponseGraphWnd::growBy(std::optional<int> width)
{
    if (width)
        resize(this->width() + *width, height());
}

void CResponseGraphWnd::resetHistory()
{
    // The text shows the new count at the next tick of the text timer; the
    // old curve stays until the graph area is next painted.
    session_.resetHistory();
}

void CResponseGraphWnd::closeMonitor()
{
    // The owner destroys this window, so the request must not run inside
    // one of its handlers; a window gone by then is not asked about.
    QPointer<CResponseGraphWnd> self(this);
    CloseRequest request = closeRequest_;
    QTimer::singleShot(0, qApp, [self, request] {
        if (self && request)
            request(self.data());
    });
}

void CResponseGraphWnd::invalidate(const QRect &area)
{
    update(area);
}

GRect CResponseGraphWnd::clientRect() const
{
    return GRect{0, 0, width(), height()};
}

TextExtent CResponseGraphWnd::measure(const std::string &text) const
{
    const QFontMetrics metrics(font_);
    const QRect r = metrics.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::AlignLeft | Qt::AlignTop, displayText(text));
    return TextExtent{r.width(), r.height()};
}

TextMeasure CResponseGraphWnd::measurer() const
{
    return [this](const std::string &text) { return measure(text); };
}

QSize CResponseGraphWnd::leastSize() const
{
    return QSize(std::max(1, model().minimumWidth()), std::max(1, model().minimumHeight()));
}

void CResponseGraphWnd::applyMinimumSize()
{
    // A larger minimum would make the toolkit widen the window at once.
    const QSize hint = leastSize().boundedTo(size());
    if (hint != minimumSize())
        setMinimumSize(hint);
}

void CResponseGraphWnd::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect client = rect();
    painter.fillRect(client, toQColor(graphcolour::Background));
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(client.adjusted(0, 0, -1, -1));

    painter.setFont(font_);
    const int textBottomBefore = model().textBlock().bottom;
    lastPaint_ = session_.planPaint(clientRect(), measurer());
    const PaintPlan &plan = lastPaint_;
    for (const TextItem &item : plan.items) {
        // The grey shadow where the text was measured, the text itself one
        // pixel left and up.
        const QRect at = toQRect(item.shadowAt);
        painter.setPen(toQColor(graphcolour::Shadow));
        painter.drawText(at, kTextFlags, displayText(item.text));
        painter.setPen(toQColor(item.colour));
        painter.drawText(at.translated(-1, -1), kTextFlags, displayText(item.text));
    }
    // Painting moves the text block's bottom, which bounds the height; the
    // new bound is applied outside the paint.
    if (model().textBlock().bottom != textBottomBefore)
        QMetaObject::invokeMethod(this, [this] { applyMinimumSize(); }, Qt::QueuedConnection);

    if (!plan.graph)
        return;
    const GraphDrawing &g = *plan.graph;
    QPen axis(toQColor(graphcolour::Axes), 2, Qt::SolidLine, Qt::FlatCap);
    painter.setPen(axis);
    painter.drawLine(toQLine(g.verticalAxis));
    painter.drawLine(toQLine(g.horizontalAxis));

    painter.setPen(QPen(toQColor(graphcolour::Axes), 1));
    for (const GLine &tick : g.ticks)
        painter.drawLine(toQLine(tick));

    if (g.thresholdLine) {
        painter.setPen(QPen(toQColor(graphcolour::Threshold), 1, Qt::DotLine));
        painter.drawLine(toQLine(*g.thresholdLine));
    }

    if (g.curve.size() > 1) {
        painter.setPen(QPen(toQColor(graphcolour::series(0)), 1));
        QPolygon line;
        line.reserve(static_cast<int>(g.curve.size()));
        for (GPoint p : g.curve)
            line << toQPoint(p);
        painter.drawPolyline(line);
    }

    painter.setPen(toQColor(graphcolour::Labels));
    painter.drawText(toQRect(g.maxLabelRect), kTextFlags, displayText(g.maxLabel));
    if (g.timeLabel)
        painter.drawText(toQRect(g.timeLabelRect), kTextFlags, displayText(*g.timeLabel));
}

void CResponseGraphWnd::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyMinimumSize();
    invalidate(toQRect(session_.resizedArea(clientRect())));
}

Qt::Edges CResponseGraphWnd::edgesAt(const QPoint &pos) const
{
    Qt::Edges edges;
    if (pos.x() < kBorder)
        edges |= Qt::LeftEdge;
    if (pos.x() >= width() - kBorder)
        edges |= Qt::RightEdge;
    if (pos.y() < kBorder)
        edges |= Qt::TopEdge;
    if (pos.y() >= height() - kBorder)
        edges |= Qt::BottomEdge;
    return edges;
}

void CResponseGraphWnd::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    if (edges) {
        QWindow *handle = windowHandle();
        if (handle && handle->startSystemResize(edges))
            return;
        sizingEdges_ = edges;
        sizingStart_ = geometry();
        sizingPress_ = global;
        return;
    }
    drag_.press(GPoint{global.x(), global.y()}, GPoint{frameGeometry().x(), frameGeometry().y()});
}

void CResponseGraphWnd::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint global = event->globalPosition().toPoint();
    const QPoint corner = frameGeometry().topLeft();
    const std::optional<GPoint> to = drag_.move(GPoint{global.x(), global.y()},
                                                (event->buttons() & Qt::LeftButton) != 0, GPoint{corner.x(), corner.y()});
    if (!(event->buttons() & Qt::LeftButton)) {
        sizingEdges_ = {};
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (sizingEdges_) {
        const QPoint delta = global - sizingPress_;
        QRect r = sizingStart_;
        const QSize least = leastSize();
        if (sizingEdges_ & Qt::LeftEdge)
            r.setLeft(std::min(r.left() + delta.x(), r.right() + 1 - least.width()));
        if (sizingEdges_ & Qt::RightEdge)
            r.setRight(std::max(r.right() + delta.x(), r.left() + least.width() - 1));
        if (sizingEdges_ & Qt::TopEdge)
            r.setTop(std::min(r.top() + delta.y(), r.bottom() + 1 - least.height()));
        if (sizingEdges_ & Qt::BottomEdge)
            r.setBottom(std::max(r.bottom() + delta.y(), r.top() + least.height() - 1));
        if (r != geometry())
            setGeometry(r);
    } else if (to) {
        move(QPoint(to->x, to->y));
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void CResponseGraphWnd::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        drag_.release();
        sizingEdges_ = {};
    }
    QWidget::mouseReleaseEvent(event);
}

void CResponseGraphWnd::contextMenuEvent(QContextMenuEvent *event)
{
    menu_.exec(event->globalPos());
}

void CResponseGraphWnd::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == startTimer_.timerId())
        onStartTimer();
    else if (event->timerId() == textTimer_.timerId())
        onTextTimer();
    else
        QWidget::timerEvent(event);
}

void CResponseGraphWnd::onStartTimer()
{
    startTimer_.stop();
    session_.startClock();
    textTimer_.start(static_cast<int>(ResponseGraphSession::TextTimerMs), this);
}

void CResponseGraphWnd::onTextTimer()
{
    const GRect block = session_.tick(clientRect(), measurer());
    growBy(session_.growToFit(clientRect()));
    applyMinimumSize();
    invalidate(toQRect(block));
}

} // namespace vigilon
