// SPDX-License-Identifier: MIT
#pragma once

#include <QPixmap>
#include <QTableWidget>
#include <QVector>

#include <memory>
#include <vector>

namespace vigilon {

class CBalloonWnd;

// The port list: a report view with one row per entry. Column 0 carries the
// row's check box (state image 1 empty, 2 ticked) and its status image
// before the name. Clicks are handed on as positions for the main dialog to
// judge, like the list's own notifications.
class CPortListCtrl final : public QTableWidget {
    Q_OBJECT
public:
    // Hit flags, with the values of the system's list view.
    enum HitFlag : unsigned {
        HitNowhere = 0x01,
        HitOnIcon = 0x02,
        HitOnLabel = 0x04,
        HitOnStateIcon = 0x08,
    };
    struct Hit {
        int row = -1;
        unsigned flags = HitNowhere;
    };

    enum StateImage : int {
        StateUnticked = 1,
        StateTicked = 2,
    };

    // Pixel layout of the first cell.
    static constexpr int StateImageLeft = 2;
    static constexpr int ImageLeft = 18;
    static constexpr int TextLeft = 36;
    static constexpr int ImageSize = 16;

    explicit CPortListCtrl(QWidget *parent);
    ~CPortListCtrl() override;

    // Image lists, headers, widths: what the main dialog sets up.
    void setUp();
    // The hint window that the list owns from now on.
    void setHintWindow(std::unique_ptr<CBalloonWnd> hint);
    CBalloonWnd *hintWindow() const { return hint_.get(); }

    // A column's header text as drawn: cut with an ellipsis where the
    // column is too narrow for it.
    QString headerTextShown(int column) const;

    int itemCount() const { return rowCount(); }
    // Inserts a row at the end, or writes an existing one.
    void setItem0(int row, const QString &text, int image, int stateImage);
    // A row added at the end, its items made whole before the table holds
    // them: one change for the view per cell instead of one per value.
    void appendRow(const QStringList &texts, int image, int stateImage, const QString &tip);
    void setItemImage(int row, int image);
    void setCellText(int row, int column, const QString &text);
    // The row's own tool tip, shown over any of its cells; empty for none.
    void setRowTip(int row, const QString &tip);
    QString itemText(int row, int column) const;
    // Whether a cell is too narrow for its whole text, which then ends in an
    // ellipsis and shows whole in the cell's tool tip.
    bool cellTextCut(int row, int column) const;
    int itemImage(int row) const;
    int itemState(int row) const;
    void setItemState(int row, int stateImage);
    void deleteRow(int row);

    // viewportPos in the viewport's coordinates.
    Hit hitTest(const QPoint &viewportPos) const;
    // Where the state image and the row image of a row lie, in viewport
    // coordinates.
    QRect stateImageRect(int row) const;
    QRect imageRect(int row) const;

    const QVector<QPixmap> &images() const { return images_; }
    const QVector<QPixmap> &stateImages() const { return stateImages_; }

    // The room a cell or header takes besides its text, and what the images
    // take besides in the first column.
    int cellExtra() const;
    static constexpr int firstColumnExtra() { return TextLeft + 2; }
    // The selected rows, ascending.
    std::vector<int> selectedRowNumbers() const;

signals:
    // One of the list's own keys (ListKey), pressed on the list.
    void listKey(int key);
    // The context menu is asked for, by the right button or by the
    // keyboard, at a point of the viewport.
    void contextMenuAt(const QPoint &viewportPos);
    // Left button released over the list, like the list's click notice.
    void clickedAt(const QPoint &viewportPos);
    void doubleClickedAt(const QPoint &viewportPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QTableWidgetItem *cell(int row, int column);
    // Where a context menu asked for by the keyboard opens.
    QPoint keyboardMenuPoint() const;
    std::unique_ptr<CBalloonWnd> hint_;
    // The release that ends a double click is no click of its own.
    bool releaseEndsDoubleClick_ = false;
    QVector<QPixmap> images_;
    QVector<QPixmap> stateImages_;
};

} // namespace vigilon
