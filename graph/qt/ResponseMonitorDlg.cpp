// SPDX-License-Identifier: MIT
#include "graph/qt/ResponseMonitorDlg.h"

#include "app/base/StringTable.h"
#include "graph/FileDialogStatus.h"
#include "graph/qt/GraphFonts.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/UpDownCtrl.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QStyle>

#include <algorithm>
#include <cctype>
#include <climits>

namespace vigilon {

namespace {

QString idName(int id)
{
    return QStringLiteral("id%1").arg(id);
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

} // namespace

bool parseDialogInteger(const std::string &text, int &value)
{
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < text.size() && blank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const std::size_t digitsStart = i;
    long long number = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        // Past the int range the number only needs to stay out of range.
        if (number <= static_cast<long long>(INT_MAX) + 1)
            number = number * 10 + (text[i] - '0');
        ++i;
    }
    if (i == digitsStart)
        return false;
    while (i < text.size() && blank(text[i]))
        ++i;
    if (i != text.size())
        return false;
    if (negative)
        number = -number;
    value = static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
    return true;
}

CResponseMonitorDlg::CResponseMonitorDlg(Prompter &prompter, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , prompter_(prompter)
{
    setWindowTitle(fromUtf8("応答速度の監視"));
    setFont(dialogFont());
    const DialogUnits du(font());
    setFixedSize(du.size(231, 172));

    auto place = [&du](QWidget *w, int x, int y, int width, int height) {
        w->setGeometry(du.rect(x, y, width, height));
    };
    // Short labels keep one line: where the face here is wider than the
    // template's, they grow away from their aligned edge instead of being cut.
    auto label = [&](const char *text, int x, int y, int width, int height, Qt::Alignment align,
                     bool wrap = false) {
        auto *l = new QLabel(fromUtf8(text), this);
        l->setAlignment(align | Qt::AlignTop);
        l->setWordWrap(wrap);
        l->setGeometry(du.rect(x, y, width, height));
        if (!wrap)
            growToFit(l);
        return l;
    };

    auto *group = new QGroupBox(fromUtf8("監視設定"), this);
    place(group, 7, 3, 217, 162);

    auto *icon = new QLabel(this);
    icon->setObjectName(idName(monitordlg::Icon));
    place(icon, 13, 14, 20, 20);

    label("以下の選択されたポートの応答速度を監視します。必要な情報を設定してください。", 42, 16, 176, 17,
          Qt::AlignLeft, true);
    label("監視ポート:", 12, 38, 33, 10, Qt::AlignLeft);

    portEdit_ = new QLineEdit(this);
    portEdit_->setObjectName(idName(monitordlg::PortText));
    portEdit_->setReadOnly(true);
    place(portEdit_, 52, 39, 164, 12);

    label("透過表示:", 15, 68, 30, 12, Qt::AlignRight);
    label("透過", 55, 62, 15, 10, Qt::AlignLeft);
    label("非透過", 199, 61, 21, 10, Qt::AlignLeft);

    alpha_ = new QSlider(Qt::Horizontal, this);
    alpha_->setObjectName(idName(monitordlg::Alpha));
    alpha_->setTickPosition(QSlider::NoTicks);
    alpha_->setFocusPolicy(Qt::StrongFocus);
    // The template's 6 units are too thin for a handle here.
    QRect sliderRect = du.rect(52, 72, 170, 6);
    sliderRect.setHeight(std::max(sliderRect.height(), alpha_->sizeHint().height()));
    alpha_->setGeometry(sliderRect);

    QLabel *historyLabel = label("最大履歴数(&H):", 123, 83, 53, 12, Qt::AlignRight);

    history_ = new QLineEdit(this);
    history_->setObjectName(idName(monitordlg::History));
    history_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), history_));
    place(history_, 177, 81, 30, 12);
    historyLabel->setBuddy(history_);

    // The up-down control, right-aligned to the edit before it.
    spin_ = new CUpDownCtrl(history_, this);
    spin_->setObjectName(idName(monitordlg::HistorySpin));
    spin_->setRange(monitordlg::HistoryLowest, monitordlg::HistoryHighest);
    place(spin_, 208, 83, 10, 12);
    spin_->alignRightOfBuddy();

    record_ = new QCheckBox(fromUtf8("ファイルに保存(&F)"), this);
    record_->setObjectName(idName(monitordlg::RecordCheck));
    place(record_, 17, 110, 67, 13);
    connect(record_, &QCheckBox::clicked, this, [this] { onRecordClicked(); });

    file_ = new QLineEdit(this);
    file_->setObjectName(idName(monitordlg::FileEdit));
    file_->setEnabled(false);
    place(file_, 16, 125, 158, 14);

    browse_ = new QPushButton(fromUtf8("参照(&B)"), this);
    browse_->setObjectName(idName(monitordlg::Browse));
    browse_->setEnabled(false);
    browse_->setAutoDefault(false);
    place(browse_, 180, 123, 41, 14);
    connect(browse_, &QPushButton::clicked, this, [this] { onBrowse(); });

    ok_ = new QPushButton(fromUtf8("OK"), this);
    ok_->setObjectName(QStringLiteral("id1"));
    ok_->setDefault(true);
    place(ok_, 57, 147, 50, 14);
    connect(ok_, &QPushButton::clicked, this, &CResponseMonitorDlg::accept);

    auto *cancel = new QPushButton(fromUtf8("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("id2"));
    cancel->setAutoDefault(false);
    place(cancel, 124, 147, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CResponseMonitorDlg::reject);

    // Tab order follows the template.
    setTabOrder(alpha_, history_);
    setTabOrder(history_, record_);
    setTabOrder(record_, file_);
    setTabOrder(file_, browse_);
    setTabOrder(browse_, ok_);
    setTabOrder(ok_, cancel);
}

void CResponseMonitorDlg::initDialog()
{
    if (initialised_)
        return;
    initialised_ = true;
    file_->clear();
    history_->setText(QString::number(maxHistory));

    auto *icon = findChild<QLabel *>(idName(monitordlg::Icon));
    if (icon) {
        const QSize size = icon->size();
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size));
    }
    portEdit_->setText(fromUtf8(portText));
    spin_->setPos(static_cast<int>(std::min<std::uint32_t>(maxHistory, monitordlg::HistoryHighest + 1u)));
    file_->setText(fromUtf8(defaultFileBase + ".csv"));
    record_->setEnabled(true);
    alpha_->setRange(0, 255);
    alpha_->setValue(static_cast<int>(alpha));
    alpha_->update();
}

int CResponseMonitorDlg::exec()
{
    initDialog();
    return QDialog::exec();
}

void CResponseMonitorDlg::stepHistory(int steps)
{
    spin_->step(steps);
}

void CResponseMonitorDlg::onRecordClicked()
{
    const bool on = record_->isChecked();
    file_->setEnabled(on);
    browse_->setEnabled(on);
}

void CResponseMonitorDlg::onBrowse()
{
    Prompter::FileDialogRequest request;
    request.open = true;
    request.title = loadString(sid::RecordFileDialogTitle);
    request.filter = loadString(sid::RecordFileFilter);
    request.defaultExtension = "csv";
    request.initialName = defaultFileBase;
    const std::string chosen = prompter_.fileDialog(request);
    const auto *status = dynamic_cast<const FileDialogStatus *>(&prompter_);
    if (status && status->lastFileDialogFailed()) {
        prompter_.messageBox(loadString(sid::FileDialogFailed), "", mb::Ok | mb::IconStop);
        return;
    }
    if (!chosen.empty())
        file_->setText(fromUtf8(chosen));
}

void CResponseMonitorDlg::accept()
{
    int value = 0;
    const std::string text = history_->text().toStdString();
    std::string refusal;
    if (!parseDialogInteger(text, value)) {
        refusal = loadString(sid::ParseInteger);
    } else if (value < monitordlg::HistoryLowest || value > monitordlg::HistoryHighest) {
        refusal = replaceAll(replaceAll(loadString(sid::ParseIntegerRange), "%1",
                                        std::to_string(monitordlg::HistoryLowest)),
                             "%2", std::to_string(monitordlg::HistoryHighest));
    }
    if (!refusal.empty()) {
        prompter_.messageBox(refusal, "", mb::Ok | mb::IconExclamation);
        history_->setFocus();
        history_->selectAll();
        return;
    }
    maxHistory = static_cast<std::uint32_t>(value);
    recordToFile = 0;
    const std::string name = file_->text().toStdString();
    if (record_->isChecked() && !name.empty()) {
        recordToFile = 1;
        fileName = name;
    }
    alpha = static_cast<std::uint32_t>(alpha_->value());
    QDialog::accept();
}

} // namespace vigilon
