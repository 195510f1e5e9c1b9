// SPDX-License-Identifier: MIT
#include "qt/MonitorDlg.h"
#include "qt/OutageListDlg.h"
#include "qt/UiText.h"

#include "app/DialogFace.h"
#include "base/StringTable.h"
#include "qt/BalloonWnd.h"
#include "app/dialogs/DialogLayout.h"
#include "qt/DialogUnits.h"
#include "qt/PortListCtrl.h"
#include "qt/PortSettingsDlg.h"
#include "qt/TargetHostDlg.h"
#include "qt/ChannelsDlg.h"
#include "qt/UpDownCtrl.h"

#include <QClipboard>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>

#include <algorithm>

namespace vigilon {

namespace {
QString shownText(const std::string &text)
{
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/ui/128-%1.png").arg(size), QSize(size, size));
    return icon;
}
} // namespace

CMonitorDlg::CMonitorDlg(DialogFace &frame, std::shared_ptr<MainDialogController> controller, Prompter &prompter)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint)
    , frame_(frame)
    , prompter_(prompter)
    , controller_(std::move(controller))
    , runDialog_([](QDialog &dialog) { return dialog.exec(); })
{
    controller_->bind(*this);
    initUi();
    setFont(dialogFont());
    setSizeGripEnabled(false);
    createControls();
    initDialog();
}

CMonitorDlg::~CMonitorDlg()
{
    if (!retired())
        retire();
}

void CMonitorDlg::retire()
{
    if (retired())
        return;
    if (shownOnce_) {
        std::vector<int> widths;
        for (int c = 0; c < list_->columnCount(); ++c)
            widths.push_back(list_->columnWidth(c));
        controller_->saveLayout(LayoutRect{x(), y(), x() + width(), y() + height()}, widths);
    }
    *alive_ = false;
    controller_->retire();
    // A modal dialog of ours still open ends with Cancel once its loop runs.
    if (modal_)
        modal_->reject();
    // Nothing may reach the frame from here on.
    for (QObject *child : findChildren<QObject *>())
        child->blockSignals(true);
    QDialog::hide();
}

void CMonitorDlg::release()
{
    retire();
    deleteLater();
}

CMonitorDlg *makeMonitorDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller,
                               Prompter &prompter)
{
    return new CMonitorDlg(frame, std::move(controller), prompter);
}

int CMonitorDlg::runDialog(QDialog &dialog)
{
    // No parent: the dialog must outlive this one if the program ends from
    // inside it. Placed over this dialog instead.
    const auto alive = alive_;
    dialog.setWindowModality(Qt::ApplicationModal);
    if (isVisible())
        dialog.move(geometry().center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    modal_ = &dialog;
    const int result = runDialog_(dialog);
    if (!*alive)
        return -1;
    modal_ = nullptr;
    return result;
}

void CMonitorDlg::createControls()
{
    const DialogUnits du(font());
    setWindowTitle(QStringLiteral("Lumivane"));
    resize(du.size(346, 175));
    setMinimumSize(MinTrackWidth, MinTrackHeight);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("1008"));
    status_->setGeometry(du.rect(16, 11, 160, 19));
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setTextFormat(Qt::PlainText);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setFocusPolicy(Qt::NoFocus);

    startStop_ = new QPushButton(uiText(sid::StartButton), this);
    startStop_->setObjectName(QStringLiteral("1"));
    startStop_->setGeometry(du.rect(289, 7, 50, 14));
    startStop_->setDefault(true);
    target_ = new QPushButton(uiText(sid::TargetButton), this);
    target_->setObjectName(QStringLiteral("3"));
    target_->setGeometry(du.rect(289, 22, 50, 14));
    exit_ = new QPushButton(uiText(sid::ExitButton), this);
    exit_->setObjectName(QStringLiteral("2"));
    exit_->setGeometry(du.rect(289, 37, 50, 14));

    portTest_ = new QPushButton(uiText(sid::PortTestButton), this);
    portTest_->setObjectName(QStringLiteral("1014"));
    portTest_->setGeometry(du.rect(8, 34, 55, 13));

    auto *intervalLabel = new QLabel(uiText(sid::IntervalLabel), this);
    intervalLabel->setGeometry(du.rect(66, 36, 25, 10));
    intervalLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    intervalEdit_ = new QLineEdit(this);
    intervalEdit_->setObjectName(QStringLiteral("1001"));
    intervalEdit_->setGeometry(du.rect(95, 33, 36, 13));
    intervalEdit_->setAlignment(Qt::AlignRight);
    intervalEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), intervalEdit_));
    intervalLabel->setBuddy(intervalEdit_);
    growToFit(intervalLabel);

    auto *retryLabel = new QLabel(uiText(sid::RetryLabel), this);
    retryLabel->setGeometry(du.rect(150, 37, 31, 9));
    retryLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    retryEdit_ = new QLineEdit(this);
    retryEdit_->setObjectName(QStringLiteral("1003"));
    retryEdit_->setGeometry(du.rect(185, 34, 20, 12));
    retryEdit_->setAlignment(Qt::AlignRight);
    retryEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), retryEdit_));
    retryLabel->setBuddy(retryEdit_);
    growToFit(retryLabel);

    auto *rangeLabel = new QLabel(QStringLiteral("(1-5)"), this);
    rangeLabel->setGeometry(du.rect(223, 37, 27, 10));
    rangeLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    growToFit(rangeLabel);

    list_ = new CPortListCtrl(this);
    list_->setObjectName(QStringLiteral("1000"));
    list_->setGeometry(du.rect(7, 54, 332, 88));

    logo_ = new QLabel(this);
    logo_->setObjectName(QStringLiteral("1006"));
    // A bitmap static takes the size of its picture.
    logo_->setGeometry(QRect(du.rect(261, 144, 77, 26).topLeft(), QSize(143, 39)));

    // Between the status text and the buttons: desktop notifications and
    // autostart.
    notify_ = new QCheckBox(uiText(sid::NotifyCheckBox), this);
    notify_->setObjectName(QStringLiteral("1030"));
    notify_->setGeometry(du.rect(186, 8, 100, 10));
    autostart_ = new QCheckBox(uiText(sid::AutostartCheckBox), this);
    autostart_->setObjectName(QStringLiteral("1031"));
    autostart_->setGeometry(du.rect(186, 20, 100, 10));
    // Under the list, right of the engraved caption: the history switch.
    history_ = new QCheckBox(uiText(sid::HistoryCheckBox), this);
    history_->setObjectName(QStringLiteral("1032"));
    history_->setGeometry(du.rect(118, 157, 80, 10));
    // Beside it: the Channels dialog.
    channels_ = new QPushButton(uiText(sid::ChannelsButton), this);
    channels_->setObjectName(QStringLiteral("1211"));
    channels_->setGeometry(du.rect(201, 155, 50, 14));

    // Tab order as the template lists the controls.
    setTabOrder(startStop_, target_);
    setTabOrder(target_, exit_);
    setTabOrder(exit_, portTest_);
    setTabOrder(portTest_, intervalEdit_);
    setTabOrder(intervalEdit_, retryEdit_);
    setTabOrder(retryEdit_, notify_);
    setTabOrder(notify_, autostart_);
    setTabOrder(autostart_, list_);
    setTabOrder(list_, history_);
    setTabOrder(history_, channels_);
    connect(channels_, &QPushButton::clicked, this, [this] { controller_->onChannels(); });
    connect(notify_, &QCheckBox::clicked, this, [this](bool ticked) { controller_->onNotifyToggled(ticked); });
    connect(autostart_, &QCheckBox::clicked, this, [this](bool ticked) { controller_->onAutostartToggled(ticked); });
    connect(history_, &QCheckBox::clicked, this, [this](bool ticked) { controller_->onHistoryToggled(ticked); });

    connect(startStop_, &QPushButton::clicked, this, &CMonitorDlg::onStartStop);
    connect(target_, &QPushButton::clicked, this, &CMonitorDlg::onTargetChange);
    connect(exit_, &QPushButton::clicked, this, &CMonitorDlg::onExitRequest);
    connect(portTest_, &QPushButton::clicked, this, &CMonitorDlg::onPortTest);
    connect(retryEdit_, &QLineEdit::textChanged, this, [this] {
        if (retrySpin_)
            controller_->onRetryChanged();
    });
    connect(intervalEdit_, &QLineEdit::textChanged, this, [this] {
        if (intervalSpin_)
            controller_->onIntervalChanged();
    });
    connect(list_, &CPortListCtrl::clickedAt, this, &CMonitorDlg::onListClick);
    connect(list_, &CPortListCtrl::doubleClickedAt, this, &CMonitorDlg::onListDoubleClick);
    connect(list_, &CPortListCtrl::listKey, this, &CMonitorDlg::onListKey);
    connect(list_, &CPortListCtrl::contextMenuAt, this, &CMonitorDlg::onListContextMenu);
}

void CMonitorDlg::initDialog()
{
    intervalField_.attach(intervalEdit_);
    retryField_.attach(retryEdit_);

    icon_ = programIcon();
    setWindowIcon(icon_);

    intervalSpin_ = new CUpDownCtrl(intervalEdit_, this);
    intervalSpin_->setObjectName(QStringLiteral("1002"));
    intervalSpin_->setRange(1, 999);
    retrySpin_ = new CUpDownCtrl(retryEdit_, this);
    retrySpin_->setObjectName(QStringLiteral("1004"));
    retrySpin_->setRange(1, 5);
    {
        const DialogUnits du(font());
        intervalSpin_->setGeometry(du.rect(134, 33, 12, 13));
        retrySpin_->setGeometry(du.rect(207, 32, 10, 15));
        intervalSpin_->alignRightOfBuddy();
        retrySpin_->alignRightOfBuddy();
    }
    intervalSpin_->setPos(static_cast<int>(std::min<std::uint32_t>(controller_->intervalSeconds(), 1000000u)));
    retrySpin_->setPos(static_cast<int>(std::min<std::uint32_t>(controller_->retryLimit(), 1000000u)));

    list_->setUp();
    {
        const QFontMetrics metrics(list_->font());
        const std::vector<int> widths = controller_->columnWidths(
            [&metrics](const std::string &text) { return metrics.horizontalAdvance(QString::fromStdString(text)); },
            list_->cellExtra(), CPortListCtrl::firstColumnExtra());
        for (int c = 0; c < static_cast<int>(widths.size()) && c < list_->columnCount(); ++c)
            list_->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    }
    auto hint = std::make_unique<CBalloonWnd>();
    hint->createHint(this);
    hint->setFont(QString::fromStdString(loadString(sid::UiFontFace)), 14, 0, false, false);
    list_->setHintWindow(std::move(hint));

    logo_->setPixmap(QPixmap(QStringLiteral(":/ui/137.png")));

    // Fields to controls, the list, hint, status and title.
    controller_->init();

    retrySpin_->setPos(retrySpin_->pos());
    intervalSpin_->setPos(intervalSpin_->pos());


    captionFont_ = QFont(QStringLiteral("Verdana"));
    captionFont_.setPixelSize(18);
    captionFont_.setWeight(QFont::Bold);
    captionText_ = QStringLiteral("Ardentis Technology");
    setSmallestSize();
    restoreLayout();
}

void CMonitorDlg::restoreLayout()
{
    std::vector<LayoutRect> areas;
    QList<QScreen *> screens = QGuiApplication::screens();
    // The primary first: a window on no screen goes there.
    if (QScreen *primary = QGuiApplication::primaryScreen()) {
        screens.removeAll(primary);
        screens.prepend(primary);
    }
    for (const QScreen *screen : screens) {
        const QRect r = screen->availableGeometry();
        areas.push_back(LayoutRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
    }
    LayoutRect placed;
    if (!controller_->restoredWindow({minimumWidth(), minimumHeight()}, areas, placed))
        return;
    move(placed.left, placed.top);
    resize(placed.width(), placed.height());
    // Before the window is shown no resize is told as one.
    laidOutOnce_ = true;
    applyLayout();
}

QWidget *CMonitorDlg::control(int id) const
{
    switch (id) {
    case IdStartStop:
        return startStop_;
    case IdExit:
        return exit_;
    case IdTarget:
        return target_;
    case IdList:
        return list_;
    case IdInterval:
        return intervalEdit_;
    case IdIntervalSpin:
        return intervalSpin_;
    case IdRetry:
        return retryEdit_;
    case IdRetrySpin:
        return retrySpin_;
    case IdLogo:
        return logo_;
    case IdStatus:
        return status_;
    case IdPortTest:
        return portTest_;
    case IdNotify:
        return notify_;
    case IdAutostart:
        return autostart_;
    case IdHistory:
        return history_;
    case IdChannels:
        return channels_;
    default:
        return nullptr;
    }
}

QString CMonitorDlg::statusText() const
{
    return status_->text();
}

void CMonitorDlg::setStatusText(const std::string &text)
{
    status_->setText(shownText(text));
    growToFit(status_);
}

void CMonitorDlg::setSettingsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(portTest_), static_cast<QWidget *>(intervalEdit_),
                       static_cast<QWidget *>(intervalSpin_), static_cast<QWidget *>(retryEdit_),
                       static_cast<QWidget *>(retrySpin_), static_cast<QWidget *>(target_)})
        w->setEnabled(enabled);
}

void CMonitorDlg::setPortTestEnabled(bool enabled)
{
    portTest_->setEnabled(enabled);
}

void CMonitorDlg::setStartStopText(const std::string &text)
{
    startStop_->setText(shownText(text));
}

void CMonitorDlg::setTitle(const std::string &text)
{
    setWindowTitle(QString::fromStdString(text));
}

void CMonitorDlg::setIntervalSpinPos(int pos)
{
    if (intervalSpin_)
        intervalSpin_->setPos(pos);
}

void CMonitorDlg::setRetrySpinPos(int pos)
{
    if (retrySpin_)
        retrySpin_->setPos(pos);
}

void CMonitorDlg::setHintText(const std::string &text)
{
    if (CBalloonWnd *hint = list_->hintWindow())
        hint->addTool(list_, shownText(text));
}

QString CMonitorDlg::currentHintText() const
{
    CBalloonWnd *hint = list_->hintWindow();
    return hint ? hint->toolText(list_) : QString();
}

int CMonitorDlg::rowCount() const
{
    return list_->itemCount();
}

void CMonitorDlg::setRow(int row, const RowContent &content)
{
    const int state = content.ticked ? CPortListCtrl::StateTicked : CPortListCtrl::StateUnticked;
    const QString tip = QString::fromStdString(content.tip).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (row >= list_->itemCount()) {
        QStringList texts;
        for (int column = 0; column < kListColumns; ++column)
            texts.push_back(QString::fromStdString(content.texts[static_cast<std::size_t>(column)]));
        list_->appendRow(texts, content.image, state, tip);
        return;
    }
    list_->setItem0(row, QString::fromStdString(content.texts[0]), content.image, state);
    for (int column = 1; column < kListColumns; ++column)
        list_->setCellText(row, column, QString::fromStdString(content.texts[static_cast<std::size_t>(column)]));
    list_->setRowTip(row, tip);
}

void CMonitorDlg::setRowImage(int row, int image)
{
    list_->setItemImage(row, image);
}

void CMonitorDlg::setRowTicked(int row, bool ticked)
{
    list_->setItemState(row, ticked ? CPortListCtrl::StateTicked : CPortListCtrl::StateUnticked);
}

bool CMonitorDlg::rowTicked(int row) const
{
    return list_->itemState(row) == CPortListCtrl::StateTicked;
}

void CMonitorDlg::deleteRow(int row)
{
    list_->deleteRow(row);
}

std::string CMonitorDlg::rowName(int row) const
{
    return list_->itemText(row, 0).toStdString();
}

void CMonitorDlg::onListClick(const QPoint &viewportPos)
{
    const CPortListCtrl::Hit hit = list_->hitTest(viewportPos);
    controller_->onListClick(hit.row,
                            (hit.flags & CPortListCtrl::HitOnStateIcon) && viewportPos.x() < list_->columnWidth(0));
}

void CMonitorDlg::onListDoubleClick(const QPoint &viewportPos)
{
    const CPortListCtrl::Hit hit = list_->hitTest(viewportPos);
    controller_->onListDoubleClick(hit.row, viewportPos.x() < list_->columnWidth(0));
}

ListSelection CMonitorDlg::listSelection() const
{
    ListSelection selection;
    selection.current = list_->currentIndex().isValid() ? list_->currentIndex().row() : -1;
    selection.selected = list_->selectedRowNumbers();
    return selection;
}

void CMonitorDlg::onListKey(int key)
{
    controller_->onListKey(static_cast<ListKey>(key), listSelection());
}

void CMonitorDlg::onListContextMenu(const QPoint &viewportPos)
{
    // A right click on a row makes it the current one, as the list's left
    // button does; the rows selected with it stay so.
    const CPortListCtrl::Hit hit = list_->hitTest(viewportPos);
    if (hit.row >= 0 && hit.row != list_->currentRow()) {
        const QModelIndex index = list_->model()->index(hit.row, 0);
        const bool selected = list_->selectionModel()->isSelected(index);
        list_->selectionModel()->setCurrentIndex(
            index, selected ? QItemSelectionModel::NoUpdate
                            : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    const ListSelection selection = listSelection();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("listMenu"));
    ListCommand chosen = ListCommand::None;
    for (const ListMenuItem &item : controller_->listMenu(selection)) {
        if (item.separatorBefore)
            menu.addSeparator();
        QAction *action = menu.addAction(QString::fromStdString(item.text));
        action->setEnabled(item.enabled);
        const ListCommand command = item.command;
        connect(action, &QAction::triggered, &menu, [&chosen, command] { chosen = command; });
    }
    const auto alive = alive_;
    menu.exec(list_->viewport()->mapToGlobal(viewportPos));
    // Carried out once the menu is gone.
    if (*alive && chosen != ListCommand::None)
        controller_->onListCommand(chosen, listSelection());
}

void CMonitorDlg::setClipboardText(const std::string &text)
{
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void CMonitorDlg::setNotifyTicked(bool ticked)
{
    notify_->setChecked(ticked);
}

void CMonitorDlg::setAutostartTicked(bool ticked)
{
    autostart_->setChecked(ticked);
}

void CMonitorDlg::setAutostartEnabled(bool enabled)
{
    autostart_->setEnabled(enabled);
}

void CMonitorDlg::setHistoryTicked(bool ticked)
{
    history_->setChecked(ticked);
}

void CMonitorDlg::showOutages(std::uint32_t entryId, const std::string &entryName)
{
    COutageListDlg dialog(frame_, prompter_, entryId, entryName, this);
    runDialog(dialog);
}

bool CMonitorDlg::runPortSettings(PortSettingsForm &form)
{
    CPortSettingsDlg dialog(prompter_, form);
    return runDialog(dialog) == QDialog::Accepted;
}

bool CMonitorDlg::runTargetHost(TargetHostForm &form)
{
    CTargetHostDlg dialog(prompter_, form);
    return runDialog(dialog) == QDialog::Accepted;
}

bool CMonitorDlg::runChannels(ChannelsForm &form)
{
    CChannelsDlg dialog(form);
    return runDialog(dialog) == QDialog::Accepted;
}

QRect CMonitorDlg::captionBand() const
{
    // The bottom of the whole window, frame included, in client terms.
    const int frameBottom = isWindow() ? frameGeometry().bottom() - geometry().bottom() : 0;
    const int bottom = height() + std::max(0, frameBottom);
    return QRect(QPoint(10, bottom - 40), QPoint(1210 - 1, bottom - 4 - 1));
}

void CMonitorDlg::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (isMinimized()) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        const QSize s(32, 32);
        painter.drawPixmap((width() - s.width() + 1) / 2, (height() - s.height() + 1) / 2, icon_.pixmap(s));
        return;
    }
    const QRect band = captionBand();
    painter.setFont(captionFont_);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    // Engraved: a light line below right of the shaded text. In a dark
    // theme the highlight and shadow roles lie too near the window's own
    // colour; the text is then a blend towards the text colour over a
    // darker line.
    const QColor window = palette().color(QPalette::Window);
    QColor under = palette().color(QPalette::Light);
    QColor text = palette().color(QPalette::Dark);
    if (window.lightness() < 128) {
        const QColor ink = palette().color(QPalette::WindowText);
        under = window.darker(200);
        text = QColor::fromRgbF(window.redF() * 0.4f + ink.redF() * 0.6f, window.greenF() * 0.4f + ink.greenF() * 0.6f,
                                window.blueF() * 0.4f + ink.blueF() * 0.6f);
    }
    painter.setPen(under);
    painter.drawText(band.translated(1, 1), flags, captionText_);
    painter.setPen(text);
    painter.drawText(band, flags, captionText_);
}

void CMonitorDlg::applyLayout()
{
    const LayoutSize client{width(), height()};
    for (auto [w, how] : followers()) {
        const QRect g = w->geometry();
        const LayoutRect r =
            followClient(how, LayoutRect{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()}, client);
        w->setGeometry(r.left, r.top, std::max(0, r.width()), std::max(0, r.height()));
    }
    update();
}

std::vector<std::pair<QWidget *, Follow>> CMonitorDlg::followers() const
{
    return {{startStop_, Follow::RightEdge},
            {target_, Follow::RightEdge},
            {exit_, Follow::RightEdge},
            {logo_, Follow::BottomRight},
            {history_, Follow::BottomLeft},
            {channels_, Follow::BottomLeft},
            {list_, Follow::Stretch}};
}

void CMonitorDlg::setSmallestSize()
{
    // No smaller than the system's least, nor so small that the controls
    // would run into one another.
    std::vector<LaidControl> laid;
    const auto moving = followers();
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->isWindow())
            continue;
        LaidControl c;
        const QRect g = w->geometry();
        c.rect = LayoutRect{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
        for (const auto &[follower, how] : moving) {
            if (follower == w)
                c.how = how;
        }
        if (w == list_)
            c.least = {1, ListLeastHeight};
        laid.push_back(c);
    }
    const LayoutSize least = smallestClient(laid, {MinTrackWidth, MinTrackHeight});
    setMinimumSize(least.width, least.height);
}

void CMonitorDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    // The template's places stand until the window is first resized.
    if (!laidOutOnce_ && !event->oldSize().isValid())
        return;
    if (event->oldSize() == event->size())
        return;
    laidOutOnce_ = true;
    applyLayout();
}

void CMonitorDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    shownOnce_ = true;
    controller_->updateStateControls();
}

void CMonitorDlg::closeEvent(QCloseEvent *event)
{
    // Closing never just hides the window: it asks the frame to end.
    event->ignore();
    onExitRequest();
}

void CMonitorDlg::reject()
{
    onExitRequest();
}

void CMonitorDlg::accept()
{
    onStartStop();
}

} // namespace vigilon
