// SPDX-License-Identifier: MIT
#include "qt/PortSettingsDlg.h"
#include "qt/UiText.h"

#include "base/StringTable.h"
#include "probes/DnsAnswer.h"
#include "qt/DialogUnits.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace vigilon {

namespace {
QLabel *label(QWidget *parent, const DialogUnits &du, const QString &text, int x, int y, int w, int h)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(du.rect(x, y, w, h));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    growToFit(l);
    return l;
}

QRegularExpressionValidator *digitsOnly(QObject *parent)
{
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), parent);
}
} // namespace

CPortSettingsDlg::CPortSettingsDlg(Prompter &prompter, PortSettingsForm &form, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , prompter_(prompter)
    , form_(form)
{
    setFont(dialogFont());
    const DialogUnits du(font());
    setWindowTitle(uiText(sid::PortSettingsCaption));
    setFixedSize(du.size(433, 331));

    // Group boxes first, so that the controls lie above them.
    auto *group = new QGroupBox(uiText(sid::PortSettingsGroup), this);
    group->setGeometry(du.rect(7, 5, 257, 142));
    auto *examples = new QGroupBox(uiText(sid::PortExamplesGroup), this);
    examples->setGeometry(du.rect(211, 9, 48, 66));

    label(this, du, uiText(sid::HostLabel), 10, 22, 42, 11);
    label(this, du, uiText(sid::PortNumberLabel), 18, 40, 34, 11);
    label(this, du, uiText(sid::ProtocolLabel), 14, 58, 38, 10);
    label(this, du, uiText(sid::CommandLabel), 10, 76, 42, 9);
    label(this, du, uiText(sid::ThresholdLabel), 16, 94, 37, 13);
    label(this, du, uiText(sid::ThresholdNote), 97, 94, 104, 11);
    label(this, du, uiText(sid::HttpStatusLabel), 10, 113, 42, 10);
    label(this, du, uiText(sid::CertWarnDaysLabel), 10, 130, 46, 11);
    label(this, du, uiText(sid::CertWarnDaysNote), 97, 130, 150, 11);
    // The HTTP request's rows: the Http kind panel.
    auto *request = new QGroupBox(QStringLiteral("HTTP / HTTPS"), this);
    request->setGeometry(du.rect(7, 149, 257, 138));
    inPanel(KindPanel::Http, {request, label(this, du, uiText(sid::RequestMethodLabel), 10, 162, 46, 10),
                              label(this, du, uiText(sid::RequestPathLabel), 110, 162, 24, 10),
                              label(this, du, uiText(sid::RequestHeadersLabel), 10, 178, 46, 10),
                              label(this, du, uiText(sid::RequestBodyLabel), 10, 203, 46, 10),
                              label(this, du, uiText(sid::RequestBodyNote), 58, 226, 199, 10),
                              label(this, du, uiText(sid::RequestUserLabel), 10, 240, 46, 10),
                              label(this, du, uiText(sid::RequestPasswordLabel), 142, 240, 46, 10),
                              label(this, du, uiText(sid::ContentRuleLabel), 10, 270, 46, 10)});
    label(this, du, QStringLiteral("FTP 21\nTelnet 23\nSmtp 25\nHttp 80\nPop3 110\nImap 143\n"), 218, 20, 33, 50);

    hostEdit_ = new QLineEdit(this);
    hostEdit_->setObjectName(QStringLiteral("1017"));
    hostEdit_->setGeometry(du.rect(58, 20, 146, 14));
    // The box itself refuses what would not fit, as the target's does.
    hostEdit_->setMaxLength(static_cast<int>(TargetHostForm::MaxHostChars));

    portEdit_ = new QLineEdit(this);
    portEdit_->setObjectName(QStringLiteral("1005"));
    portEdit_->setGeometry(du.rect(58, 38, 33, 14));
    portEdit_->setAlignment(Qt::AlignRight);
    portEdit_->setValidator(digitsOnly(portEdit_));

    protocolCombo_ = new QComboBox(this);
    protocolCombo_->setObjectName(QStringLiteral("1010"));
    for (const std::string &kind : PortSettingsForm::kindTexts())
        protocolCombo_->addItem(QString::fromStdString(kind));
    // The template's height is that of the opened list; the closed box is
    // as high as the font asks.
    const QRect comboRect = du.rect(58, 56, 93, 55);
    protocolCombo_->setGeometry(comboRect.x(), comboRect.y(), comboRect.width(), protocolCombo_->sizeHint().height());

    commandEdit_ = new QLineEdit(this);
    commandEdit_->setObjectName(QStringLiteral("1011"));
    commandEdit_->setGeometry(du.rect(58, 73, 146, 14));

    thresholdEdit_ = new QLineEdit(this);
    thresholdEdit_->setObjectName(QStringLiteral("1016"));
    thresholdEdit_->setGeometry(du.rect(58, 93, 35, 12));
    thresholdEdit_->setValidator(digitsOnly(thresholdEdit_));

    httpStatusCombo_ = new QComboBox(this);
    httpStatusCombo_->setObjectName(QStringLiteral("1052"));
    for (const std::string &choice : PortSettingsForm::httpStatusChoiceTexts())
        httpStatusCombo_->addItem(QString::fromStdString(choice));
    const QRect choiceRect = du.rect(58, 111, 80, 60);
    httpStatusCombo_->setGeometry(choiceRect.x(), choiceRect.y(), choiceRect.width(),
                                  httpStatusCombo_->sizeHint().height());

    httpCodesEdit_ = new QLineEdit(this);
    httpCodesEdit_->setObjectName(QStringLiteral("1053"));
    httpCodesEdit_->setGeometry(du.rect(142, 111, 115, 14));
    certDaysEdit_ = new QLineEdit(this);
    certDaysEdit_->setObjectName(QStringLiteral("1040"));
    certDaysEdit_->setGeometry(du.rect(58, 129, 35, 12));
    certDaysEdit_->setValidator(digitsOnly(certDaysEdit_));

    methodCombo_ = new QComboBox(this);
    methodCombo_->setObjectName(QStringLiteral("1070"));
    for (const std::string &method : PortSettingsForm::methodTexts())
        methodCombo_->addItem(QString::fromStdString(method));
    const QRect methodRect = du.rect(58, 160, 45, 50);
    methodCombo_->setGeometry(methodRect.x(), methodRect.y(), methodRect.width(), methodCombo_->sizeHint().height());
    pathEdit_ = new QLineEdit(this);
    pathEdit_->setObjectName(QStringLiteral("1071"));
    pathEdit_->setGeometry(du.rect(136, 160, 121, 14));
    pathEdit_->setMaxLength(static_cast<int>(kMaxRequestText));
    headersEdit_ = new QPlainTextEdit(this);
    headersEdit_->setObjectName(QStringLiteral("1072"));
    headersEdit_->setGeometry(du.rect(58, 177, 199, 22));
    headersEdit_->setTabChangesFocus(true);
    headersEdit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    bodyEdit_ = new QPlainTextEdit(this);
    bodyEdit_->setObjectName(QStringLiteral("1073"));
    bodyEdit_->setGeometry(du.rect(58, 202, 199, 22));
    bodyEdit_->setTabChangesFocus(true);
    redirectsCheck_ = new QCheckBox(uiText(sid::RequestRedirectsCheck), this);
    redirectsCheck_->setObjectName(QStringLiteral("1074"));
    redirectsCheck_->setGeometry(du.rect(58, 255, 199, 10));
    contentRuleCombo_ = new QComboBox(this);
    contentRuleCombo_->setObjectName(QStringLiteral("1075"));
    for (const std::string &choice : PortSettingsForm::contentRuleChoiceTexts())
        contentRuleCombo_->addItem(QString::fromStdString(choice));
    const QRect ruleRect = du.rect(58, 268, 90, 60);
    contentRuleCombo_->setGeometry(ruleRect.x(), ruleRect.y(), ruleRect.width(), contentRuleCombo_->sizeHint().height());
    contentTextEdit_ = new QLineEdit(this);
    contentTextEdit_->setObjectName(QStringLiteral("1076"));
    contentTextEdit_->setGeometry(du.rect(152, 268, 105, 14));
    contentTextEdit_->setMaxLength(static_cast<int>(kMaxRequestText));
    userEdit_ = new QLineEdit(this);
    userEdit_->setObjectName(QStringLiteral("1250"));
    userEdit_->setGeometry(du.rect(58, 238, 80, 14));
    userEdit_->setMaxLength(static_cast<int>(kMaxCredentialChars));
    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setObjectName(QStringLiteral("1251"));
    passwordEdit_->setGeometry(du.rect(190, 238, 67, 14));
    passwordEdit_->setMaxLength(static_cast<int>(kMaxCredentialChars));
    passwordEdit_->setEchoMode(QLineEdit::Password);
    pathField_.attach(pathEdit_);
    contentTextField_.attach(contentTextEdit_);
    userField_.attach(userEdit_);
    passwordField_.attach(passwordEdit_);
    headersField_.attach(headersEdit_);
    bodyField_.attach(bodyEdit_);
    inPanel(KindPanel::Http,
            {methodCombo_, pathEdit_, headersEdit_, bodyEdit_, userEdit_, passwordEdit_, redirectsCheck_,
             contentRuleCombo_, contentTextEdit_});
    connect(methodCombo_, &QComboBox::activated, this, [this](int) { form_.onRequestChanged(*this); });
    connect(contentRuleCombo_, &QComboBox::activated, this, [this](int) { form_.onRequestChanged(*this); });

    makeEntryRows(du);
    makeChannelRows(du);
    makeUdpRows(du);
    makeDnsPanel();
    makePushPanel();
    // The quiet windows, under the kind panels: every kind has them.
    label(this, du, uiText(sid::QuietWindowsLabel), 10, 294, 46, 10);
    quietWindowsEdit_ = new QLineEdit(this);
    quietWindowsEdit_->setObjectName(QStringLiteral("1180"));
    quietWindowsEdit_->setGeometry(du.rect(58, 292, 199, 14));
    quietWindowsField_.attach(quietWindowsEdit_);

    ok_ = new QPushButton(uiText(sid::OkButton), this);
    ok_->setGeometry(du.rect(55, 311, 50, 14));
    ok_->setDefault(true);
    cancel_ = new QPushButton(uiText(sid::CancelButton), this);
    cancel_->setGeometry(du.rect(108, 311, 50, 14));
    delete_ = new QPushButton(uiText(sid::DeleteButton), this);
    delete_->setGeometry(du.rect(161, 311, 50, 14));
    delete_->setEnabled(false);

    connect(ok_, &QPushButton::clicked, this, &CPortSettingsDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CPortSettingsDlg::reject);
    connect(delete_, &QPushButton::clicked, this, &CPortSettingsDlg::onDelete);
    connect(protocolCombo_, &QComboBox::activated, this, [this](int index) { form_.onProtocolChanged(*this, index); });
    portField_.attach(portEdit_);
    thresholdField_.attach(thresholdEdit_);
    commandField_.attach(commandEdit_);
    httpCodesField_.attach(httpCodesEdit_);
    connect(httpStatusCombo_, &QComboBox::activated, this, [this](int) { form_.onHttpStatusChoiceChanged(*this); });
    hostField_.attach(hostEdit_);
    certDaysField_.attach(certDaysEdit_);

    // Tab order as the template lists the controls.
    setTabOrder(hostEdit_, portEdit_);
    setTabOrder(portEdit_, protocolCombo_);
    setTabOrder(protocolCombo_, commandEdit_);
    setTabOrder(commandEdit_, thresholdEdit_);
    setTabOrder(thresholdEdit_, httpStatusCombo_);
    setTabOrder(httpStatusCombo_, httpCodesEdit_);
    setTabOrder(httpCodesEdit_, certDaysEdit_);
    setTabOrder(certDaysEdit_, methodCombo_);
    setTabOrder(methodCombo_, pathEdit_);
    setTabOrder(pathEdit_, headersEdit_);
    setTabOrder(headersEdit_, bodyEdit_);
    setTabOrder(bodyEdit_, userEdit_);
    setTabOrder(userEdit_, passwordEdit_);
    setTabOrder(passwordEdit_, redirectsCheck_);
    setTabOrder(redirectsCheck_, contentRuleCombo_);
    setTabOrder(contentRuleCombo_, contentTextEdit_);
    setTabOrder(contentTextEdit_, udpModeCombo_);
    setTabOrder(udpModeCombo_, udpPayloadEdit_);
    setTabOrder(udpPayloadEdit_, udpExpectEdit_);
    setTabOrder(udpExpectEdit_, nameEdit_);
    setTabOrder(nameEdit_, intervalEdit_);
    setTabOrder(intervalEdit_, retryEdit_);
    setTabOrder(retryEdit_, timeoutEdit_);
    setTabOrder(timeoutEdit_, channelList_);
    setTabOrder(channelList_, quietWindowsEdit_);
    setTabOrder(quietWindowsEdit_, ok_);
    setTabOrder(ok_, cancel_);
    setTabOrder(cancel_, delete_);
    setTabOrder(contentTextEdit_, dnsNameEdit_);
    setTabOrder(dnsNameEdit_, dnsTypeCombo_);
    setTabOrder(dnsTypeCombo_, dnsExpectCombo_);
    setTabOrder(dnsExpectCombo_, dnsAnswersEdit_);
    setTabOrder(dnsAnswersEdit_, ok_);
}

void CPortSettingsDlg::makeDnsPanel()
{
    const DialogUnits du(font());
    // At the place of every kind panel, as the Win32 template has it.
    auto *group = new QGroupBox(uiText(sid::DnsPanelTitle), this);
    group->setGeometry(du.rect(7, 149, 257, 138));
    group->lower();
    dnsNameEdit_ = new QLineEdit(this);
    dnsNameEdit_->setObjectName(QStringLiteral("1141"));
    dnsNameEdit_->setGeometry(du.rect(58, 160, 199, 14));
    dnsNameEdit_->setMaxLength(255);
    dnsTypeCombo_ = new QComboBox(this);
    dnsTypeCombo_->setObjectName(QStringLiteral("1142"));
    for (const std::string &type : dns::recordTypes())
        dnsTypeCombo_->addItem(QString::fromStdString(type));
    const QRect typeRect = du.rect(58, 178, 60, 100);
    dnsTypeCombo_->setGeometry(typeRect.x(), typeRect.y(), typeRect.width(), dnsTypeCombo_->sizeHint().height());
    dnsExpectCombo_ = new QComboBox(this);
    dnsExpectCombo_->setObjectName(QStringLiteral("1143"));
    for (const std::string &choice : PortSettingsForm::dnsExpectChoiceTexts())
        dnsExpectCombo_->addItem(QString::fromStdString(choice));
    const QRect expectRect = du.rect(58, 196, 110, 60);
    dnsExpectCombo_->setGeometry(expectRect.x(), expectRect.y(), expectRect.width(),
                                 dnsExpectCombo_->sizeHint().height());
    dnsAnswersEdit_ = new QLineEdit(this);
    dnsAnswersEdit_->setObjectName(QStringLiteral("1144"));
    dnsAnswersEdit_->setGeometry(du.rect(58, 214, 199, 14));
    dnsAnswersEdit_->setMaxLength(static_cast<int>(kMaxRequestText));
    inPanel(KindPanel::Dns, {group, label(this, du, uiText(sid::DnsNameLabel), 10, 162, 46, 10),
                             label(this, du, uiText(sid::DnsTypeLabel), 10, 180, 46, 10),
                             label(this, du, uiText(sid::DnsExpectLabel), 10, 198, 46, 10),
                             label(this, du, uiText(sid::DnsAnswersLabel), 10, 216, 46, 10),
                             label(this, du, uiText(sid::DnsAnswersNote), 58, 232, 199, 20), dnsNameEdit_,
                             dnsTypeCombo_, dnsExpectCombo_, dnsAnswersEdit_});
    dnsNameField_.attach(dnsNameEdit_);
    dnsAnswersField_.attach(dnsAnswersEdit_);
    connect(dnsExpectCombo_, &QComboBox::activated, this, [this](int) { form_.onDnsExpectChanged(*this); });
    // Hidden until the DNS kind is chosen.
    for (QWidget *widget : panels_[static_cast<std::size_t>(KindPanel::Dns)])
        widget->setVisible(false);
}

int CPortSettingsDlg::dnsTypeIndex() const
{
    return dnsTypeCombo_->currentIndex();
}

void CPortSettingsDlg::setDnsTypeIndex(int index)
{
    dnsTypeCombo_->setCurrentIndex(index);
}

int CPortSettingsDlg::dnsExpectChoice() const
{
    return dnsExpectCombo_->currentIndex();
}

void CPortSettingsDlg::setDnsExpectChoice(int choice)
{
    dnsExpectCombo_->setCurrentIndex(choice);
}

void CPortSettingsDlg::setDnsAnswersEnabled(bool enabled)
{
    dnsAnswersEdit_->setEnabled(enabled);
}

CPortSettingsDlg::~CPortSettingsDlg()
{
    *alive_ = false;
}

void CPortSettingsDlg::showEvent(QShowEvent *event)
{
    if (!initialised_) {
        initialised_ = true;
        form_.init(*this);
    }
    QDialog::showEvent(event);
}

int CPortSettingsDlg::protocolIndex() const
{
    return protocolCombo_->currentIndex();
}

void CPortSettingsDlg::setProtocolIndex(int index)
{
    protocolCombo_->setCurrentIndex(index);
}

void CPortSettingsDlg::makePushPanel()
{
    // The Push panel, at the place of the other panels: the token and the
    // call line read-only (to be selected and copied), Copy, Regenerate,
    // what the entry waits for, and the entry's id.
    const DialogUnits du(font());
    auto *group = new QGroupBox(uiText(sid::PushGroup), this);
    group->setGeometry(du.rect(7, 149, 257, 138));
    group->lower();
    QLabel *tokenLabel = label(this, du, uiText(sid::PushTokenLabel), 10, 162, 46, 10);
    QLabel *callLabel = label(this, du, uiText(sid::PushCallLabel), 10, 180, 46, 10);
    QLabel *note = label(this, du, uiText(sid::PushNote), 10, 216, 247, 40);
    note->setWordWrap(true);
    note->setGeometry(du.rect(10, 216, 247, 40));
    QLabel *idLabel = label(this, du, uiText(sid::EntryIdLabel), 10, 262, 46, 10);
    const auto readOnly = [this](const char *name) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setReadOnly(true);
        return edit;
    };
    pushTokenEdit_ = readOnly("1160");
    pushTokenEdit_->setGeometry(du.rect(58, 160, 150, 14));
    pushCallEdit_ = readOnly("1161");
    pushCallEdit_->setGeometry(du.rect(58, 178, 199, 14));
    stableIdEdit_ = readOnly("1164");
    stableIdEdit_->setGeometry(du.rect(58, 260, 150, 14));
    pushCopy_ = new QPushButton(uiText(sid::PushCopy), this);
    pushCopy_->setObjectName(QStringLiteral("1162"));
    pushCopy_->setGeometry(du.rect(212, 160, 45, 14));
    pushRegenerate_ = new QPushButton(uiText(sid::PushRegenerate), this);
    pushRegenerate_->setObjectName(QStringLiteral("1163"));
    pushRegenerate_->setGeometry(du.rect(58, 196, 80, 14));
    inPanel(KindPanel::Push, {group, tokenLabel, callLabel, note, idLabel, pushTokenEdit_, pushCallEdit_, stableIdEdit_,
                              pushCopy_, pushRegenerate_});
    connect(pushCopy_, &QPushButton::clicked, this, [this] { form_.onPushCopy(*this); });
    connect(pushRegenerate_, &QPushButton::clicked, this, [this] { form_.onPushRegenerate(*this, prompter_); });
}

void CPortSettingsDlg::setPushToken(const std::string &token)
{
    pushTokenEdit_->setText(QString::fromStdString(token));
}

void CPortSettingsDlg::setPushCall(const std::string &line)
{
    pushCallEdit_->setText(QString::fromStdString(line));
    pushCallEdit_->setCursorPosition(0);
}

void CPortSettingsDlg::copyText(const std::string &text)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(text));
}

void CPortSettingsDlg::setStableId(const std::string &id)
{
    stableIdEdit_->setText(QString::fromStdString(id));
}

void CPortSettingsDlg::inPanel(KindPanel panel, std::initializer_list<QWidget *> widgets)
{
    std::vector<QWidget *> &members = panels_[static_cast<std::size_t>(panel)];
    members.insert(members.end(), widgets.begin(), widgets.end());
}

void CPortSettingsDlg::showPanel(KindPanel panel)
{
    shownPanel_ = panel;
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        for (QWidget *widget : panels_[i])
            widget->setVisible(i == static_cast<std::size_t>(panel));
    }
}

void CPortSettingsDlg::setHostHint(const std::string &text)
{
    hostEdit_->setPlaceholderText(QString::fromStdString(text));
}

void CPortSettingsDlg::setDeleteEnabled(bool enabled)
{
    delete_->setEnabled(enabled);
}

int CPortSettingsDlg::httpStatusChoice() const
{
    return httpStatusCombo_->currentIndex();
}

void CPortSettingsDlg::setHttpStatusChoice(int choice)
{
    httpStatusCombo_->setCurrentIndex(choice);
}

void CPortSettingsDlg::setHttpStatusEnabled(bool choice, bool codes)
{
    httpStatusCombo_->setEnabled(choice);
    httpCodesEdit_->setEnabled(codes);
}

void CPortSettingsDlg::setCertDaysEnabled(bool enabled)
{
    certDaysEdit_->setEnabled(enabled);
}

int CPortSettingsDlg::methodIndex() const
{
    return methodCombo_->currentIndex();
}

void CPortSettingsDlg::setMethodIndex(int index)
{
    methodCombo_->setCurrentIndex(index);
}

bool CPortSettingsDlg::followRedirects() const
{
    return redirectsCheck_->isChecked();
}

void CPortSettingsDlg::setFollowRedirects(bool on)
{
    redirectsCheck_->setChecked(on);
}

int CPortSettingsDlg::contentRuleChoice() const
{
    return contentRuleCombo_->currentIndex();
}

void CPortSettingsDlg::setContentRuleChoice(int choice)
{
    contentRuleCombo_->setCurrentIndex(choice);
}

void CPortSettingsDlg::setRequestEnabled(bool request, bool body, bool contentText)
{
    for (QWidget *widget : std::initializer_list<QWidget *>{methodCombo_, pathEdit_, headersEdit_, redirectsCheck_,
                                                             contentRuleCombo_, userEdit_, passwordEdit_})
        widget->setEnabled(request);
    bodyEdit_->setEnabled(body);
    contentTextEdit_->setEnabled(contentText);
}

void CPortSettingsDlg::makeEntryRows(const DialogUnits &du)
{
    // Beside the common rows, as the template has them.
    auto *group = new QGroupBox(uiText(sid::EntryGroup), this);
    group->setGeometry(du.rect(271, 5, 155, 142));
    group->lower();
    label(this, du, uiText(sid::EntryNameLabel), 277, 18, 140, 10);
    label(this, du, uiText(sid::EntryIntervalLabel), 277, 51, 42, 10);
    label(this, du, uiText(sid::EntryIntervalUnit), 352, 51, 68, 10);
    label(this, du, uiText(sid::EntryRetryLabel), 277, 69, 42, 10);
    label(this, du, uiText(sid::EntryRetryUnit), 352, 69, 68, 10);
    label(this, du, uiText(sid::EntryTimeoutLabel), 277, 87, 42, 10);
    label(this, du, uiText(sid::EntryTimeoutUnit), 352, 87, 68, 10);
    scheduleHelp_ = new QLabel(this);
    scheduleHelp_->setGeometry(du.rect(277, 105, 143, 38));
    scheduleHelp_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scheduleHelp_->setWordWrap(true);

    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("1102"));
    nameEdit_->setGeometry(du.rect(277, 29, 143, 14));
    nameEdit_->setMaxLength(static_cast<int>(PortSettingsForm::MaxNameChars));
    const auto number = [&](QLineEdit *&edit, const char *id, int y) {
        edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(id));
        edit->setGeometry(du.rect(321, y, 28, 14));
        edit->setAlignment(Qt::AlignRight);
        edit->setValidator(digitsOnly(edit));
    };
    number(intervalEdit_, "1104", 49);
    number(retryEdit_, "1107", 67);
    number(timeoutEdit_, "1110", 85);
    nameField_.attach(nameEdit_);
    intervalField_.attach(intervalEdit_);
    retryField_.attach(retryEdit_);
    timeoutField_.attach(timeoutEdit_);
    // What the user types in the port box reaches the name at once.
    connect(portEdit_, &QLineEdit::textEdited, this, [this](const QString &) { form_.onPortEdited(*this); });
}

void CPortSettingsDlg::makeChannelRows(const DialogUnits &du)
{
    // Under "This entry": the channels with a box each, and what a list
    // with every box ticked means.
    auto *group = new QGroupBox(uiText(sid::PortChannelsGroup), this);
    group->setGeometry(du.rect(271, 149, 155, 138));
    group->lower();
    channelList_ = new QListWidget(this);
    channelList_->setObjectName(QStringLiteral("1271"));
    channelList_->setGeometry(du.rect(277, 160, 143, 92));
    channelList_->setSelectionMode(QAbstractItemView::SingleSelection);
    QLabel *note = label(this, du, uiText(sid::PortChannelsAllNote), 277, 256, 143, 27);
    note->setWordWrap(true);
    note->setGeometry(du.rect(277, 256, 143, 27));
}

void CPortSettingsDlg::setChannelRows(const std::vector<std::string> &rows, const std::vector<bool> &ticked,
                                      bool enabled)
{
    channelList_->clear();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        auto *item = new QListWidgetItem(QString::fromStdString(rows[row]), channelList_);
        if (enabled) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(row < ticked.size() && ticked[row] ? Qt::Checked : Qt::Unchecked);
        } else {
            item->setFlags(Qt::NoItemFlags);
        }
    }
    channelList_->setEnabled(enabled);
}

std::vector<bool> CPortSettingsDlg::channelTicks() const
{
    std::vector<bool> ticked;
    for (int row = 0; row < channelList_->count(); ++row)
        ticked.push_back(channelList_->item(row)->checkState() == Qt::Checked);
    return ticked;
}

void CPortSettingsDlg::makeUdpRows(const DialogUnits &du)
{
    auto *group = new QGroupBox(QStringLiteral("UDP"), this);
    group->setGeometry(du.rect(7, 149, 257, 138));
    group->lower();
    udpModeCombo_ = new QComboBox(this);
    udpModeCombo_->setObjectName(QStringLiteral("1117"));
    for (const std::string &mode : PortSettingsForm::udpModeTexts())
        udpModeCombo_->addItem(QString::fromStdString(mode));
    const QRect modeRect = du.rect(58, 160, 120, 60);
    udpModeCombo_->setGeometry(modeRect.x(), modeRect.y(), modeRect.width(), udpModeCombo_->sizeHint().height());
    udpHelp_ = new QLabel(this);
    udpHelp_->setObjectName(QStringLiteral("1118"));
    udpHelp_->setGeometry(du.rect(58, 177, 199, 40));
    udpHelp_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    udpHelp_->setWordWrap(true);
    udpPayloadEdit_ = new QLineEdit(this);
    udpPayloadEdit_->setObjectName(QStringLiteral("1120"));
    udpPayloadEdit_->setGeometry(du.rect(58, 220, 199, 14));
    udpPayloadEdit_->setMaxLength(static_cast<int>(PortSettingsForm::MaxUdpBytesChars));
    udpExpectEdit_ = new QLineEdit(this);
    udpExpectEdit_->setObjectName(QStringLiteral("1122"));
    udpExpectEdit_->setGeometry(du.rect(58, 238, 199, 14));
    udpExpectEdit_->setMaxLength(static_cast<int>(PortSettingsForm::MaxUdpBytesChars));
    udpPayloadField_.attach(udpPayloadEdit_);
    udpExpectField_.attach(udpExpectEdit_);
    inPanel(KindPanel::Udp, {group, label(this, du, uiText(sid::UdpModeLabel), 10, 162, 46, 10),
                             label(this, du, uiText(sid::UdpPayloadLabel), 10, 222, 46, 10),
                             label(this, du, uiText(sid::UdpExpectLabel), 10, 240, 46, 10),
                             label(this, du, uiText(sid::UdpBytesNote), 58, 256, 199, 10), udpModeCombo_, udpHelp_,
                             udpPayloadEdit_, udpExpectEdit_});
    connect(udpModeCombo_, &QComboBox::activated, this, [this](int) { form_.onUdpModeChanged(*this); });
}

void CPortSettingsDlg::setScheduleHelp(const std::string &text)
{
    scheduleHelp_->setText(QString::fromStdString(text));
}

int CPortSettingsDlg::udpModeIndex() const
{
    return udpModeCombo_->currentIndex();
}

void CPortSettingsDlg::setUdpModeIndex(int index)
{
    udpModeCombo_->setCurrentIndex(index);
}

void CPortSettingsDlg::setUdpHelp(const std::string &text)
{
    udpHelp_->setText(QString::fromStdString(text));
}

void CPortSettingsDlg::setUdpBytesEnabled(bool payload, bool expect)
{
    udpPayloadEdit_->setEnabled(payload);
    udpExpectEdit_->setEnabled(expect);
}

void CPortSettingsDlg::accept()
{
    if (form_.onOk(*this, prompter_, alive_))
        QDialog::accept();
}

void CPortSettingsDlg::onDelete()
{
    if (form_.onDelete(*this, prompter_, alive_))
        QDialog::accept();
}

} // namespace vigilon
