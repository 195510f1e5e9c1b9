// SPDX-License-Identifier: MIT
#include "ui/qt/MonitorDlg.h"

#include "app/MainFrame.h"
#include "app/base/ProbeHost.h"
#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"
#include "ui/qt/BalloonWnd.h"
#include "ui/qt/DataExchange.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/PortListCtrl.h"
#include "ui/qt/PortSettingsDlg.h"
#include "ui/qt/TargetHostDlg.h"
#include "ui/qt/TimeText.h"
#include "ui/qt/UpDownCtrl.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>

#include <algorithm>

namespace vigilon {

namespace {
QString uiText(const std::string &text)
{
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString uiString(unsigned id)
{
    return uiText(loadString(id));
}

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal without regard to the case of ASCII letters; every other byte, and
// so every multi-byte character, compares as it is.
bool sameNameIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/ui/128-%1.png").arg(size), QSize(size, size));
    return icon;
}
} // namespace

CMonitorDlg::CMonitorDlg(CMainFrame &frame, const MainDialogInit &init, Prompter &prompter)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint)
    , frame_(frame)
    , prompter_(prompter)
    , init_(init)
    , targetHost_(init.targetHost)
    , ports_(*init.ports)
    , startTime_(init.startTime)
    , intervalSeconds_(init.intervalSeconds)
    , retryLimit_(init.retryLimit)
    , runDialog_([](QDialog &dialog) { return dialog.exec(); })
{
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
    saveSettings();
    *alive_ = false;
    // A modal dialog of ours still open ends with Cancel once its loop runs.
    if (modal_)
        modal_->reject();
    // Nothing may reach the frame from here on.
    for (QObject *child : findChildren<QObject *>())
        child->blockSignals(true);
    QDialog::hide();
}

namespace {
class MonitorDlgHold final : public MainDialogView {
public:
    explicit MonitorDlgHold(CMonitorDlg *dialog)
        : dialog_(dialog)
    {
    }
    ~MonitorDlgHold() override
    {
        if (!dialog_)
            return;
        dialog_->retire();
        dialog_->deleteLater();
    }
    void show() override { dialog_->show(); }
    void hide() override { dialog_->hide(); }
    void setMonitoring(bool running) override { dialog_->setMonitoring(running); }
    void updateStateControls() override { dialog_->updateStateControls(); }
    void updateStatusText(bool running) override { dialog_->updateStatusText(running); }
    void updateRow(int row, MonitorPort &entry) override { dialog_->updateRow(row, entry); }
    void setRowImage(int row, int image) override { dialog_->setRowImage(row, image); }

private:
    QPointer<CMonitorDlg> dialog_;
};
} // namespace

std::unique_ptr<MainDialogView> makeMonitorDialog(CMainFrame &frame, const MainDialogInit &init, Prompter &prompter,
                                                  QPointer<CMonitorDlg> *made)
{
    auto *dialog = new CMonitorDlg(frame, init, prompter);
    if (made)
        *made = dialog;
    return std::make_unique<MonitorDlgHold>(dialog);
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

    startStop_ = new QPushButton(uiString(sid::StartButton), this);
    startStop_->setObjectName(QStringLiteral("1"));
    startStop_->setGeometry(du.rect(289, 7, 50, 14));
    startStop_->setDefault(true);
    target_ = new QPushButton(QStringLiteral("ターゲット(&G)"), this);
    target_->setObjectName(QStringLiteral("3"));
    target_->setGeometry(du.rect(289, 22, 50, 14));
    exit_ = new QPushButton(QStringLiteral("終了(&X)"), this);
    exit_->setObjectName(QStringLiteral("2"));
    exit_->setGeometry(du.rect(289, 37, 50, 14));

    portTest_ = new QPushButton(QStringLiteral("ポート テスト(&T)"), this);
    portTest_->setObjectName(QStringLiteral("1014"));
    portTest_->setGeometry(du.rect(8, 34, 55, 13));

    auto *intervalLabel = new QLabel(QStringLiteral("間隔(&I):"), this);
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

    auto *retryLabel = new QLabel(QStringLiteral("再試行(&R):"), this);
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

    // Tab order as the template lists the controls.
    setTabOrder(startStop_, target_);
    setTabOrder(target_, exit_);
    setTabOrder(exit_, portTest_);
    setTabOrder(portTest_, intervalEdit_);
    setTabOrder(intervalEdit_, retryEdit_);
    setTabOrder(retryEdit_, list_);

    connect(startStop_, &QPushButton::clicked, this, &CMonitorDlg::onStartStop);
    connect(target_, &QPushButton::clicked, this, &CMonitorDlg::onTargetChange);
    connect(exit_, &QPushButton::clicked, this, &CMonitorDlg::onExitRequest);
    connect(portTest_, &QPushButton::clicked, this, &CMonitorDlg::onPortTest);
    connect(retryEdit_, &QLineEdit::textChanged, this, &CMonitorDlg::onRetryChanged);
    connect(intervalEdit_, &QLineEdit::textChanged, this, &CMonitorDlg::onIntervalChanged);
    connect(list_, &CPortListCtrl::clickedAt, this, &CMonitorDlg::onListClick);
    connect(list_, &CPortListCtrl::doubleClickedAt, this, &CMonitorDlg::onListDoubleClick);
}

void CMonitorDlg::initDialog()
{
    // Fields to controls.
    DataExchange::writeNumber(intervalEdit_, intervalSeconds_);
    DataExchange::writeNumber(retryEdit_, retryLimit_);

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
    intervalSpin_->setPos(static_cast<int>(std::min<std::uint32_t>(intervalSeconds_, 1000000u)));
    retrySpin_->setPos(static_cast<int>(std::min<std::uint32_t>(retryLimit_, 1000000u)));

    list_->setUp();
    auto hint = std::make_unique<CBalloonWnd>();
    hint->createHint(this);
    hint->setFont(QString::fromStdString(loadString(sid::UiFontFace)), 14, 0, false, false);
    list_->setHintWindow(std::move(hint));

    logo_->setPixmap(QPixmap(QStringLiteral(":/ui/137.png")));

    fillList();
    updateHintForEntries();

    retrySpin_->setPos(retrySpin_->pos());
    intervalSpin_->setPos(intervalSpin_->pos());

    captionFont_ = QFont(QStringLiteral("Verdana"));
    captionFont_.setPixelSize(18);
    captionFont_.setWeight(QFont::Bold);
    captionText_ = QStringLiteral("Ardentis Technology");

    updateStatusText(false);
    setWindowTitle(QString::fromStdString(formatText(loadString(sid::MainDialogTitle), {targetHost_})));
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
    default:
        return nullptr;
    }
}

QString CMonitorDlg::statusText() const
{
    return status_->text();
}

void CMonitorDlg::updateStatusText(bool running)
{
    if (!running) {
        status_->setText(uiString(sid::StatusStopped));
        growToFit(status_);
        return;
    }
    const std::uint32_t start = startTime_ ? *startTime_ : 0;
    const std::uint32_t now = frame_.clock().nowSeconds();
    const std::string started = formatLocalTime(loadString(sid::DateTimeFormat), start);
    const std::string elapsed = formatElapsed(loadString(sid::ElapsedTimeFormat), now - start);
    status_->setText(uiText(formatText(loadString(sid::StatusMonitoring), {started, elapsed})));
    growToFit(status_);
}

void CMonitorDlg::updateStateControls()
{
    const bool editable = !monitoring_;
    for (QWidget *w : {static_cast<QWidget *>(portTest_), static_cast<QWidget *>(intervalEdit_),
                       static_cast<QWidget *>(intervalSpin_), static_cast<QWidget *>(retryEdit_),
                       static_cast<QWidget *>(retrySpin_), static_cast<QWidget *>(target_)})
        w->setEnabled(editable);
    startStop_->setText(uiString(monitoring_ ? sid::StopButton : sid::StartButton));
    updateStatusText(monitoring_);
    if (monitoring_)
        setHintText(uiString(sid::ListHintMonitoring));
    else
        updateHintForEntries();
}

void CMonitorDlg::setHintText(const QString &text)
{
    if (CBalloonWnd *hint = list_->hintWindow())
        hint->addTool(list_, text);
}

QString CMonitorDlg::currentHintText() const
{
    CBalloonWnd *hint = list_->hintWindow();
    return hint ? hint->toolText(list_) : QString();
}

void CMonitorDlg::updateHintForEntries()
{
    setHintText(uiString(ports_.size() >= 2 ? sid::ListHintEntries : sid::ListHintEmpty));
}

void CMonitorDlg::updateRow(int row, MonitorPort &entry)
{
    const int image = entry.active == 1 ? static_cast<int>(entry.status) : ImageIdle;
    const int state = entry.active == 1 ? CPortListCtrl::StateTicked : CPortListCtrl::StateUnticked;
    if (row < 0)
        row = list_->itemCount();
    else if (row >= list_->itemCount())
        return;
    if (row == list_->itemCount())
        list_->setItem0(-1, QString::fromStdString(entry.name), image, state);
    else
        list_->setItem0(row, QString::fromStdString(entry.name), image, state);
    list_->setCellText(row, 1, QString::fromStdString(entry.command));
    list_->setCellText(row, 2, QString::number(entry.errorCount));
    list_->setCellText(row, 3,
                       entry.lastErrorTime == 0
                           ? QString()
                           : QString::fromStdString(formatLocalTime(loadString(sid::DateTimeFormat), entry.lastErrorTime)));
    list_->setCellText(row, 4, QString::number(entry.responseTime));
    list_->setCellText(row, 5, QString::number(entry.threshold));
}

void CMonitorDlg::setRowImage(int row, int image)
{
    list_->setItemImage(row, image);
    // Shown at once: a synchronous check may hold the loop for a while.
    if (list_->isVisible())
        list_->viewport()->repaint();
}

void CMonitorDlg::fillList()
{
    for (auto &entry : ports_)
        updateRow(-1, *entry);
}

MonitorPort *CMonitorDlg::findPortByName(const std::string &text) const
{
    for (auto &entry : ports_) {
        if (sameNameIgnoringCase(entry->name, text))
            return entry.get();
    }
    return nullptr;
}

int CMonitorDlg::indexOf(const MonitorPort *entry) const
{
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        if (ports_[i].get() == entry)
            return static_cast<int>(i);
    }
    return -1;
}

void CMonitorDlg::renumberRows()
{
    // Results of checks still under way address their rows by these.
    for (std::size_t i = 0; i < ports_.size(); ++i)
        ports_[i]->rowIndex = static_cast<int>(i);
}

void CMonitorDlg::toggleActive(int row)
{
    const bool ticked = list_->itemState(row) == CPortListCtrl::StateTicked;
    const std::string &question = loadString(ticked ? sid::ConfirmDeactivatePort : sid::ConfirmActivatePort);
    const auto alive = alive_;
    if (prompter_.messageBox(question, "", mb::YesNo) == mb::IdNo || !*alive)
        return;
    if (row >= list_->itemCount())
        return;
    MonitorPort *entry = findPortByName(list_->itemText(row, 0).toStdString());
    if (!entry)
        return;
    if (!ticked) {
        entry->active = 1;
        list_->setItemState(row, CPortListCtrl::StateTicked);
    } else {
        entry->active = 0;
        list_->setItemState(row, CPortListCtrl::StateUnticked);
    }
    saveSettings();
}

void CMonitorDlg::onListClick(const QPoint &viewportPos)
{
    const CPortListCtrl::Hit hit = list_->hitTest(viewportPos);
    if (hit.row < 0)
        return;
    if (hit.row == list_->itemCount() - 1) {
        if (monitoring_)
            prompter_.messageBox(loadString(sid::StopToChangeSettings), "", mb::Ok);
        else
            addEntry(hit.row);
        return;
    }
    if (monitoring_) {
        if (MonitorPort *entry = findPortByName(list_->itemText(hit.row, 0).toStdString()))
            frame_.OpenResponseMonitor(*entry);
        return;
    }
    if ((hit.flags & CPortListCtrl::HitOnStateIcon) && viewportPos.x() < list_->columnWidth(0))
        toggleActive(hit.row);
}

void CMonitorDlg::onListDoubleClick(const QPoint &viewportPos)
{
    const CPortListCtrl::Hit hit = list_->hitTest(viewportPos);
    if (hit.row < 0)
        return;
    if (monitoring_) {
        prompter_.messageBox(loadString(sid::StopToChangeSettings), "", mb::Ok);
        return;
    }
    if (hit.row == list_->itemCount() - 1) {
        addEntry(hit.row);
        return;
    }
    if (viewportPos.x() < list_->columnWidth(0)) {
        const auto alive = alive_;
        toggleActive(hit.row);
        if (*alive)
            saveSettings();
        return;
    }
    editEntry(hit.row);
}

void CMonitorDlg::addEntry(int row)
{
    CPortSettingsDlg dialog(prompter_);
    if (runDialog(dialog) != QDialog::Accepted || row >= list_->itemCount())
        return;
    MonitorPort *entry = findPortByName(list_->itemText(row, 0).toStdString());
    if (!entry)
        return;
    if (findPortByName(dialog.name)) {
        prompter_.messageBox(loadString(sid::DuplicatePort), "", mb::Ok);
        return;
    }
    entry->active = 0;
    entry->lastErrorTime = 0;
    entry->errorCount = 0;
    entry->retryCount = 0;
    entry->responseTime = 0;
    entry->port = static_cast<std::uint32_t>(dialog.port);
    entry->protocol = static_cast<std::uint32_t>(dialog.protocol);
    entry->command = dialog.command;
    entry->threshold = static_cast<std::uint32_t>(dialog.threshold);
    entry->name = dialog.name;
    updateRow(row, *entry);

    appendPlaceholder(ports_);
    renumberRows();
    updateRow(-1, *ports_.back());
    saveSettings();
}

void CMonitorDlg::editEntry(int row)
{
    MonitorPort *entry = findPortByName(list_->itemText(row, 0).toStdString());
    if (!entry)
        return;
    CPortSettingsDlg dialog(prompter_);
    dialog.port = entry->port;
    dialog.protocol = static_cast<int>(entry->protocol);
    dialog.command = entry->command;
    dialog.threshold = entry->threshold;
    dialog.existingEntry = 1;
    if (runDialog(dialog) != QDialog::Accepted)
        return;
    // The dialog may have nested the loop: look again.
    const int index = indexOf(entry);
    if (index < 0)
        return;
    if (dialog.existingEntry == 1) {
        frame_.forgetEntry(*entry);
        ports_.erase(ports_.begin() + index);
        list_->deleteRow(index);
        renumberRows();
        saveSettings();
        return;
    }
    // Two entries of one name would make every lookup by name reach the
    // first of them only.
    MonitorPort *same = findPortByName(dialog.name);
    if (same && same != entry) {
        prompter_.messageBox(loadString(sid::DuplicatePort), "", mb::Ok);
        return;
    }
    entry->errorCount = 0;
    entry->lastErrorTime = 0;
    entry->responseTime = 0;
    entry->retryCount = 0;
    entry->port = static_cast<std::uint32_t>(dialog.port);
    entry->protocol = static_cast<std::uint32_t>(dialog.protocol);
    entry->command = dialog.command;
    entry->name = dialog.name;
    entry->threshold = static_cast<std::uint32_t>(dialog.threshold);
    updateRow(index, *entry);
    saveSettings();
}

bool CMonitorDlg::readFields()
{
    // A failed check's message may outlive this dialog: then it reads false.
    DataExchange dx(prompter_);
    if (dx.readUnsigned(intervalEdit_, intervalSeconds_, 1, 99999) != DataExchange::Outcome::Ok)
        return false;
    return dx.readUnsigned(retryEdit_, retryLimit_, 1, 5) == DataExchange::Outcome::Ok;
}

void CMonitorDlg::onStartStop()
{
    if (!readFields())
        return;
    saveSettings();
    frame_.setIntervalSeconds(intervalSeconds_);
    frame_.setRetryLimit(retryLimit_);
    const auto alive = alive_;
    const bool running = frame_.toggleMonitoring(false) != 0;
    if (!*alive)
        return;
    monitoring_ = running;
    updateStateControls();
}

void CMonitorDlg::onExitRequest()
{
    const auto alive = alive_;
    readFields();
    if (!*alive)
        return;
    CMainFrame *frame = &frame_;
    frame_.eventLoop().post([frame] { frame->requestExit(); });
}

void CMonitorDlg::onPortTest()
{
    portTest_->setEnabled(false);
    const auto active = std::count_if(ports_.begin(), ports_.end(), [](const auto &e) { return e->active != 0; });
    unsigned textId = sid::NoActivePortOnTest;
    const auto alive = alive_;
    if (active > 0) {
        const int result = frame_.runRound(Test);
        if (!*alive)
            return;
        textId = result != 0 ? sid::PortTestAllOk : sid::PortTestProblem;
    }
    prompter_.messageBox(loadString(textId), "", mb::Ok);
    if (*alive)
        portTest_->setEnabled(true);
}

void CMonitorDlg::onTargetChange()
{
    CTargetHostDlg dialog(prompter_);
    dialog.host = targetHost_;
    if (runDialog(dialog) != QDialog::Accepted)
        return;
    targetHost_ = dialog.host;
    frame_.setTargetHost(targetHost_);
    setWindowTitle(QString::fromStdString(formatText(loadString(sid::MainDialogTitle), {targetHost_})));
    saveSettings();
}

void CMonitorDlg::saveSettings()
{
    frame_.saveSettings(targetHost_, intervalSeconds_, retryLimit_);
    updateHintForEntries();
}

void CMonitorDlg::onRetryChanged()
{
    if (!retrySpin_)
        return;
    std::int64_t value = 0;
    if (!DataExchange::parse(retryEdit_->text(), false, value) || value < 1 || value > 5) {
        const auto alive = alive_;
        prompter_.messageBox(loadString(sid::RetryLimitRange), "", mb::Ok);
        if (*alive)
            retrySpin_->setPos(5);
    }
}

void CMonitorDlg::onIntervalChanged()
{
    if (!intervalSpin_)
        return;
    std::int64_t value = 0;
    if (!DataExchange::parse(intervalEdit_->text(), false, value) || value == 0) {
        const auto alive = alive_;
        prompter_.messageBox(loadString(sid::IntervalRange), "", mb::Ok);
        if (*alive)
            intervalSpin_->setPos(1);
    }
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
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(band.translated(1, 1), flags, captionText_);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawText(band, flags, captionText_);
}

void CMonitorDlg::applyLayout()
{
    const int cw = width();
    const int ch = height();
    for (QWidget *w : {static_cast<QWidget *>(startStop_), static_cast<QWidget *>(target_),
                       static_cast<QWidget *>(exit_), static_cast<QWidget *>(logo_), static_cast<QWidget *>(list_)}) {
        QRect r = w->geometry();
        const int width = r.width();
        int left = cw - 8 - width;
        int top = r.top();
        int height = r.height();
        int newWidth = width;
        if (w == list_) {
            left = 8;
            newWidth = cw - 8 - 8;
            height = ch - 44 - top;
        } else if (w == logo_) {
            top = ch - 4 - height;
        }
        w->setGeometry(left, top, std::max(0, newWidth), std::max(0, height));
    }
    update();
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
    updateStateControls();
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
