// SPDX-License-Identifier: MIT
#include "qt/ChannelsDlg.h"

#include "qt/DialogUnits.h"
#include "qt/UiText.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>

namespace vigilon {

namespace {
QLabel *label(unsigned text, const QRect &rect, QWidget *parent, QWidget *buddy)
{
    auto *made = new QLabel(uiText(text), parent);
    made->setGeometry(rect);
    made->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (buddy)
        made->setBuddy(buddy);
    growToFit(made);
    return made;
}
} // namespace

CChannelsDlg::CChannelsDlg(ChannelsForm &form, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , form_(form)
{
    setFont(dialogFont());
    const DialogUnits du(font());
    setWindowTitle(uiText(sid::ChannelsCaption));
    setFixedSize(du.size(380, 270));

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("1200"));
    list_->setGeometry(du.rect(7, 7, 366, 90));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    QStringList headers;
    for (const std::string &header : ChannelsForm::columnTexts())
        headers << QString::fromStdString(header);
    list_->setHeaderLabels(headers);
    for (const auto &[column, width] : {std::pair{0, 60}, {1, 50}, {2, 110}, {3, 70}, {4, 120}})
        list_->setColumnWidth(column, du.rect(0, 0, width, 1).width());

    add_ = new QPushButton(uiText(sid::ChannelAddButton), this);
    add_->setObjectName(QStringLiteral("1201"));
    add_->setGeometry(du.rect(7, 101, 50, 14));
    delete_ = new QPushButton(uiText(sid::ChannelDeleteButton), this);
    delete_->setObjectName(QStringLiteral("1202"));
    delete_->setGeometry(du.rect(60, 101, 50, 14));
    test_ = new QPushButton(uiText(sid::ChannelTestButton), this);
    test_->setObjectName(QStringLiteral("1203"));
    test_->setGeometry(du.rect(113, 101, 90, 14));

    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("1204"));
    nameEdit_->setGeometry(du.rect(60, 120, 150, 14));
    nameEdit_->setMaxLength(255);
    urlEdit_ = new QLineEdit(this);
    urlEdit_->setObjectName(QStringLiteral("1205"));
    urlEdit_->setGeometry(du.rect(60, 138, 313, 14));
    headersEdit_ = new QPlainTextEdit(this);
    headersEdit_->setObjectName(QStringLiteral("1206"));
    headersEdit_->setGeometry(du.rect(60, 156, 313, 28));
    headersEdit_->setTabChangesFocus(true);
    headersEdit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    recovery_ = new QCheckBox(uiText(sid::ChannelRecoveryCheck), this);
    recovery_->setObjectName(QStringLiteral("1207"));
    recovery_->setGeometry(du.rect(60, 188, 250, 10));
    reminderEdit_ = new QLineEdit(this);
    reminderEdit_->setObjectName(QStringLiteral("1208"));
    reminderEdit_->setGeometry(du.rect(60, 202, 30, 14));
    reminderEdit_->setAlignment(Qt::AlignRight);
    reminderEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), reminderEdit_));
    label(sid::ChannelNameLabel, du.rect(7, 122, 50, 10), this, nameEdit_);
    label(sid::ChannelUrlLabel, du.rect(7, 140, 50, 10), this, urlEdit_);
    label(sid::ChannelHeadersLabel, du.rect(7, 158, 50, 10), this, headersEdit_);
    label(sid::ChannelReminderLabel, du.rect(7, 204, 50, 10), this, reminderEdit_);
    label(sid::ChannelReminderNote, du.rect(94, 204, 150, 10), this, nullptr);
    auto *note = label(sid::ChannelSecretNote, du.rect(7, 219, 366, 10), this, nullptr);
    note->setObjectName(QStringLiteral("1210"));

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("1209"));
    status_->setGeometry(du.rect(7, 231, 255, 34));
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ok_ = new QPushButton(uiText(sid::OkButton), this);
    ok_->setGeometry(du.rect(269, 251, 50, 14));
    ok_->setDefault(true);
    cancel_ = new QPushButton(uiText(sid::CancelButton), this);
    cancel_->setGeometry(du.rect(323, 251, 50, 14));

    nameField_.attach(nameEdit_);
    urlField_.attach(urlEdit_);
    reminderField_.attach(reminderEdit_);
    headersField_.attach(headersEdit_);

    setTabOrder(list_, add_);
    setTabOrder(add_, delete_);
    setTabOrder(delete_, test_);
    setTabOrder(test_, nameEdit_);
    setTabOrder(nameEdit_, urlEdit_);
    setTabOrder(urlEdit_, headersEdit_);
    setTabOrder(headersEdit_, recovery_);
    setTabOrder(recovery_, reminderEdit_);
    setTabOrder(reminderEdit_, ok_);
    setTabOrder(ok_, cancel_);

    connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
        if (!filling_)
            form_.onSelect(list_->indexOfTopLevelItem(list_->currentItem()));
    });
    connect(add_, &QPushButton::clicked, this, [this] { form_.onAdd(); });
    connect(delete_, &QPushButton::clicked, this, [this] { form_.onDelete(); });
    connect(test_, &QPushButton::clicked, this, [this] { form_.onTest(); });
    connect(ok_, &QPushButton::clicked, this, &CChannelsDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CChannelsDlg::reject);
}

CChannelsDlg::~CChannelsDlg()
{
    form_.close();
}

void CChannelsDlg::showEvent(QShowEvent *event)
{
    if (!initialised_) {
        initialised_ = true;
        form_.init(*this);
    }
    QDialog::showEvent(event);
}

void CChannelsDlg::accept()
{
    if (form_.onOk())
        QDialog::accept();
}

void CChannelsDlg::reject()
{
    form_.close();
    QDialog::reject();
}

void CChannelsDlg::setRows(const std::vector<std::vector<std::string>> &rows)
{
    filling_ = true;
    const int current = list_->indexOfTopLevelItem(list_->currentItem());
    while (list_->topLevelItemCount() > static_cast<int>(rows.size()))
        delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QTreeWidgetItem *item = static_cast<int>(r) < list_->topLevelItemCount()
                                    ? list_->topLevelItem(static_cast<int>(r))
                                    : new QTreeWidgetItem(list_);
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const QString text = QString::fromStdString(rows[r][c]);
            item->setText(static_cast<int>(c), text);
            item->setToolTip(static_cast<int>(c), text);
        }
    }
    if (current >= 0 && current < list_->topLevelItemCount())
        list_->setCurrentItem(list_->topLevelItem(current));
    filling_ = false;
}

void CChannelsDlg::selectRow(int row)
{
    filling_ = true;
    if (row >= 0 && row < list_->topLevelItemCount())
        list_->setCurrentItem(list_->topLevelItem(row));
    else
        list_->setCurrentItem(nullptr);
    filling_ = false;
}

bool CChannelsDlg::recovery() const
{
    return recovery_->isChecked();
}

void CChannelsDlg::setRecovery(bool on)
{
    recovery_->setChecked(on);
}

void CChannelsDlg::setEditEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(nameEdit_), static_cast<QWidget *>(urlEdit_),
                       static_cast<QWidget *>(headersEdit_), static_cast<QWidget *>(recovery_),
                       static_cast<QWidget *>(reminderEdit_), static_cast<QWidget *>(delete_),
                       static_cast<QWidget *>(test_)})
        w->setEnabled(enabled);
}

void CChannelsDlg::setStatusText(const std::string &text)
{
    status_->setText(QString::fromStdString(text).remove(QLatin1Char('\r')));
}

} // namespace vigilon
