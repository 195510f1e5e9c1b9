// SPDX-License-Identifier: MIT
#include "qt/PortListCtrl.h"

#include "base/StringTable.h"
#include "app/dialogs/MainDialogController.h"
#include "qt/BalloonWnd.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <iterator>

namespace vigilon {

namespace {
constexpr int ImageRole = Qt::UserRole + 1;
constexpr int StateRole = Qt::UserRole + 2;

struct ColumnSpec {
    unsigned header;
    Qt::Alignment align;
    int width;
};
const ColumnSpec kColumns[] = {
    {sid::ColumnPortName, Qt::AlignHCenter, 100},   {sid::ColumnCommand, Qt::AlignLeft, 200},
    {sid::ColumnErrorCount, Qt::AlignRight, 40},    {sid::ColumnLastErrorTime, Qt::AlignLeft, 120},
    {sid::ColumnResponseTime, Qt::AlignRight, 60}, {sid::ColumnThreshold, Qt::AlignRight, 60},
    {sid::ColumnHost, Qt::AlignLeft, 100},         {sid::ColumnUptime, Qt::AlignRight, 70},
};
static_assert(std::size(kColumns) == kListColumns);

QVector<QPixmap> sliceImages(const QString &path, int count)
{
    QVector<QPixmap> out;
    const QPixmap strip(path);
    for (int i = 0; i < count; ++i)
        out.push_back(strip.copy(i * CPortListCtrl::ImageSize, 0, CPortListCtrl::ImageSize, CPortListCtrl::ImageSize));
    return out;
}

// Draws the first cell: check box, row image, then the name.
class FirstColumnDelegate final : public QStyledItemDelegate {
public:
    FirstColumnDelegate(CPortListCtrl *list)
        : QStyledItemDelegate(list)
        , list_(list)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.icon = QIcon();
        opt.features &= ~QStyleOptionViewItem::HasDecoration;
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const QRect r = option.rect;
        const int top = r.top() + (r.height() - CPortListCtrl::ImageSize) / 2;
        const int state = index.data(StateRole).toInt();
        const int image = index.data(ImageRole).toInt();
        if (state >= 1 && state <= list_->stateImages().size())
            painter->drawPixmap(r.left() + CPortListCtrl::StateImageLeft, top, list_->stateImages()[state - 1]);
        if (image >= 0 && image < list_->images().size())
            painter->drawPixmap(r.left() + CPortListCtrl::ImageLeft, top, list_->images()[image]);
        const QRect textRect = r.adjusted(CPortListCtrl::TextLeft, 0, -2, 0);
        painter->save();
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        // Centred while it fits; cut with an ellipsis otherwise.
        const QFontMetrics fm(opt.font);
        const QString shown = fm.elidedText(text, Qt::ElideRight, textRect.width());
        const Qt::Alignment align = shown == text ? Qt::AlignHCenter : Qt::AlignLeft;
        painter->drawText(textRect, align | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setWidth(s.width() + CPortListCtrl::TextLeft);
        return s;
    }

private:
    CPortListCtrl *list_;
};

// The column headers. A header text wider than its column ends in an
// ellipsis; the toolkit's own header would cut it at its aligned side.
class PortListHeader final : public QHeaderView {
public:
    explicit PortListHeader(QWidget *parent)
        : QHeaderView(Qt::Horizontal, parent)
    {
    }

    // What the section drawn at rect shows of its text.
    QString shownText(int logicalIndex, const QRect &rect) const
    {
        QStyleOptionHeaderV2 opt;
        initStyleOptionForIndex(&opt, logicalIndex);
        opt.rect = rect;
        const QRect textRect = style()->subElementRect(QStyle::SE_HeaderLabel, &opt, this);
        return opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, textRect.width());
    }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        QStyleOptionHeaderV2 opt;
        initStyleOptionForIndex(&opt, logicalIndex);
        opt.rect = rect;
        opt.text = shownText(logicalIndex, rect);
        painter->save();
        style()->drawControl(QStyle::CE_Header, &opt, painter, this);
        painter->restore();
    }
};
} // namespace

CPortListCtrl::CPortListCtrl(QWidget *parent)
    : QTableWidget(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One tab stop, as a list view is; the arrows move within it.
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows may be selected, to be copied together.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalHeader(new PortListHeader(this));
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setTextElideMode(Qt::ElideRight);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::StyledPanel);
    viewport()->setMouseTracking(true);
    horizontalHeader()->setMouseTracking(true);
    viewport()->installEventFilter(this);
    horizontalHeader()->installEventFilter(this);
    horizontalHeader()->viewport()->installEventFilter(this);
    setItemDelegateForColumn(0, new FirstColumnDelegate(this));
}

CPortListCtrl::~CPortListCtrl()
{
    // The hint goes before the list's windows.
    hint_.reset();
}

void CPortListCtrl::setUp()
{
    images_ = sliceImages(QStringLiteral(":/ui/129.png"), 5);
    stateImages_ = sliceImages(QStringLiteral(":/ui/26020.png"), 2);
    setColumnCount(kListColumns);
    for (int c = 0; c < kListColumns; ++c) {
        auto *header = new QTableWidgetItem(QString::fromStdString(loadString(kColumns[c].header)));
        header->setTextAlignment(kColumns[c].align | Qt::AlignVCenter);
        setHorizontalHeaderItem(c, header);
        setColumnWidth(c, kColumns[c].width);
    }
    // Columns keep their index (and stored width); they are shown in the
    // list's order.
    for (int place = 0; place < kListColumns; ++place)
        horizontalHeader()->moveSection(horizontalHeader()->visualIndex(kColumnOrder[static_cast<std::size_t>(place)]),
                                        place);
    const int rowHeight = std::max(ImageSize, fontMetrics().height()) + 2;
    verticalHeader()->setMinimumSectionSize(rowHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

QString CPortListCtrl::headerTextShown(int column) const
{
    const auto *header = static_cast<const PortListHeader *>(horizontalHeader());
    return header->shownText(column, QRect(0, 0, header->sectionSize(column), header->height()));
}

void CPortListCtrl::setHintWindow(std::unique_ptr<CBalloonWnd> hint)
{
    hint_ = std::move(hint);
}

namespace {
QTableWidgetItem *newCell(int column)
{
    auto *it = new QTableWidgetItem;
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    it->setTextAlignment(kColumns[column].align | Qt::AlignVCenter);
    return it;
}
} // namespace

QTableWidgetItem *CPortListCtrl::cell(int row, int column)
{
    QTableWidgetItem *it = item(row, column);
    if (!it) {
        it = newCell(column);
        setItem(row, column, it);
    }
    return it;
}

void CPortListCtrl::appendRow(const QStringList &texts, int image, int stateImage, const QString &tip)
{
    const int row = rowCount();
    insertRow(row);
    for (int c = 0; c < kListColumns; ++c) {
        QTableWidgetItem *it = newCell(c);
        it->setText(c < texts.size() ? texts[c] : QString());
        if (c == 0) {
            it->setData(ImageRole, image);
            it->setData(StateRole, stateImage);
            it->setToolTip(tip);
        }
        setItem(row, c, it);
    }
}

void CPortListCtrl::setItem0(int row, const QString &text, int image, int stateImage)
{
    if (row < 0) {
        row = rowCount();
        insertRow(row);
    }
    if (row >= rowCount())
        return;
    QTableWidgetItem *it = cell(row, 0);
    it->setText(text);
    it->setData(ImageRole, image);
    it->setData(StateRole, stateImage);
    for (int c = 1; c < kListColumns; ++c)
        cell(row, c);
}

void CPortListCtrl::setItemImage(int row, int image)
{
    if (row < 0 || row >= rowCount())
        return;
    cell(row, 0)->setData(ImageRole, image);
}

void CPortListCtrl::setCellText(int row, int column, const QString &text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    cell(row, column)->setText(text);
}

void CPortListCtrl::setRowTip(int row, const QString &tip)
{
    if (row < 0 || row >= rowCount())
        return;
    cell(row, 0)->setToolTip(tip);
}

QString CPortListCtrl::itemText(int row, int column) const
{
    const QTableWidgetItem *it = item(row, column);
    return it ? it->text() : QString();
}

int CPortListCtrl::itemImage(int row) const
{
    const QTableWidgetItem *it = item(row, 0);
    return it ? it->data(ImageRole).toInt() : -1;
}

int CPortListCtrl::itemState(int row) const
{
    const QTableWidgetItem *it = item(row, 0);
    return it ? it->data(StateRole).toInt() : 0;
}

void CPortListCtrl::setItemState(int row, int stateImage)
{
    if (row < 0 || row >= rowCount())
        return;
    cell(row, 0)->setData(StateRole, stateImage);
}

void CPortListCtrl::deleteRow(int row)
{
    if (row >= 0 && row < rowCount())
        removeRow(row);
}

QRect CPortListCtrl::stateImageRect(int row) const
{
    const QRect r = visualRect(model()->index(row, 0));
    return QRect(r.left() + StateImageLeft, r.top() + (r.height() - ImageSize) / 2, ImageSize, ImageSize);
}

QRect CPortListCtrl::imageRect(int row) const
{
    const QRect r = visualRect(model()->index(row, 0));
    return QRect(r.left() + ImageLeft, r.top() + (r.height() - ImageSize) / 2, ImageSize, ImageSize);
}

CPortListCtrl::Hit CPortListCtrl::hitTest(const QPoint &viewportPos) const
{
    Hit hit;
    const int row = rowAt(viewportPos.y());
    if (row < 0 || columnAt(viewportPos.x()) < 0)
        return hit;
    hit.row = row;
    const QRect first = visualRect(model()->index(row, 0));
    const int x = viewportPos.x() - first.left();
    if (x >= StateImageLeft && x < StateImageLeft + ImageSize && x < first.width())
        hit.flags = HitOnStateIcon;
    else if (x >= ImageLeft && x < ImageLeft + ImageSize && x < first.width())
        hit.flags = HitOnIcon;
    else
        hit.flags = HitOnLabel;
    return hit;
}

int CPortListCtrl::cellExtra() const
{
    // The header's margins on both sides, or the cells' where they are
    // wider, and a pixel of air each side.
    const int header = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, horizontalHeader());
    const int cell = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    return std::max(header, cell) + 2;
}

std::vector<int> CPortListCtrl::selectedRowNumbers() const
{
    std::vector<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CPortListCtrl::keyPressEvent(QKeyEvent *event)
{
    // These keys are the list's: Enter never reaches the dialog's default
    // button from here.
    int key = -1;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
        (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
        event->accept();
        emit contextMenuAt(keyboardMenuPoint());
        return;
    }
    // Home and End go to the first and last row, with Ctrl as well: the row
    // reached is the one highlighted, so that what a key does next acts on
    // the row shown.
    if ((event->key() == Qt::Key_Home || event->key() == Qt::Key_End) && mods == Qt::ControlModifier)
        event->setModifiers(event->modifiers() & ~Qt::ControlModifier);
    if (event->matches(QKeySequence::Copy))
        key = static_cast<int>(ListKey::Copy);
    else if (mods != Qt::NoModifier)
        key = -1;
    else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        key = static_cast<int>(ListKey::Enter);
    else if (event->key() == Qt::Key_F2)
        key = static_cast<int>(ListKey::F2);
    else if (event->key() == Qt::Key_Delete)
        key = static_cast<int>(ListKey::Delete);
    else if (event->key() == Qt::Key_Space)
        key = static_cast<int>(ListKey::Space);
    if (key < 0) {
        // Keys that go up and down the rows leave the columns where they
        // are: the current cell is in the first column, which a table would
        // scroll back into view.
        static constexpr int kRowKeys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown,
                                           Qt::Key_Home, Qt::Key_End};
        const bool rowKey = std::find(std::begin(kRowKeys), std::end(kRowKeys), event->key()) != std::end(kRowKeys);
        const int across = horizontalScrollBar()->value();
        QTableWidget::keyPressEvent(event);
        if (rowKey)
            horizontalScrollBar()->setValue(across);
        return;
    }
    // Space acts on the current row: where Ctrl and the arrows moved it
    // away from the highlighted rows, it becomes the one highlighted first.
    if (key == static_cast<int>(ListKey::Space) && currentIndex().isValid() &&
        !selectionModel()->isRowSelected(currentIndex().row(), QModelIndex()))
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    event->accept();
    emit listKey(key);
}

QModelIndex CPortListCtrl::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // A table's Home and End go along the row; this list's go down it.
    if ((action == MoveHome || action == MoveEnd) && rowCount() > 0) {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return model()->index(action == MoveHome ? 0 : rowCount() - 1, column);
    }
    return QTableWidget::moveCursor(action, modifiers);
}

void CPortListCtrl::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    QPoint at = event->pos();
    if (event->reason() == QContextMenuEvent::Keyboard)
        at = keyboardMenuPoint();
    else
        at = viewport()->mapFromGlobal(event->globalPos());
    emit contextMenuAt(at);
}

QPoint CPortListCtrl::keyboardMenuPoint() const
{
    // Beside the current row, or at the list's corner without one.
    const QModelIndex current = currentIndex();
    const QRect r = current.isValid() ? visualRect(model()->index(current.row(), 0)) : QRect();
    return r.isValid() ? QPoint(r.left() + TextLeft, r.bottom()) : QPoint(0, 0);
}

bool CPortListCtrl::cellTextCut(int row, int column) const
{
    const QTableWidgetItem *it = item(row, column);
    if (!it || it->text().isEmpty())
        return false;
    const int width = columnWidth(column);
    // The room the delegates leave for the text: after the two images in
    // the first column, inside the style's text margins in the others.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int room = column == 0 ? width - TextLeft - 2 : width - 2 * margin;
    return QFontMetrics(font()).horizontalAdvance(it->text()) > room;
}

bool CPortListCtrl::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        // The columns keep their widths; a cut cell tells its whole text.
        // A failed row tells why, over any of its cells.
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        QString text;
        if (index.isValid()) {
            if (cellTextCut(index.row(), index.column()))
                text = item(index.row(), index.column())->text();
            const QTableWidgetItem *first = item(index.row(), 0);
            const QString tip = first ? first->toolTip() : QString();
            if (!tip.isEmpty())
                text = text.isEmpty() ? tip : text + QLatin1Char('\n') + tip;
        }
        if (!text.isEmpty()) {
            if (hint_)
                hint_->tipShowing();
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        }
        else
            QToolTip::hideText();
        return true;
    }
    return QTableWidget::viewportEvent(event);
}

bool CPortListCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (hint_) {
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
            hint_->relayEvent(event, static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
            break;
        default:
            break;
        }
    }
    return QTableWidget::eventFilter(watched, event);
}

void CPortListCtrl::mouseMoveEvent(QMouseEvent *event)
{
    // Over the empty part of the list the hint goes at once; the list's own
    // handling of pointer movement is not wanted.
    if (hitTest(event->position().toPoint()).row < 0 && hint_)
        hint_->hideHint();
}

void CPortListCtrl::mousePressEvent(QMouseEvent *event)
{
    releaseEndsDoubleClick_ = false;
    QTableWidget::mousePressEvent(event);
}

void CPortListCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    QTableWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (releaseEndsDoubleClick_) {
        releaseEndsDoubleClick_ = false;
        return;
    }
    emit clickedAt(event->position().toPoint());
}

void CPortListCtrl::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    releaseEndsDoubleClick_ = true;
    emit doubleClickedAt(event->position().toPoint());
}

} // namespace vigilon
