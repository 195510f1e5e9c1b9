// SPDX-License-Identifier: MIT
// The port settings dialog, the response monitor dialog, the about box, the
// dialog-unit conversion and the fonts, and that no text is cut off in any
// dialog.
#include "base/Language.h"
#include "base/StringTable.h"
#include "app/dialogs/WindowPlace.h"
#include "qt/ResponseMonitorDlg.h"
#include "tests/qt/UiFakes.h"
#include "tests/support/ChildProcess.h"
#include "qt/DialogUnits.h"
#include "qt/PortListCtrl.h"
#include "qt/PortSettingsDlg.h"
#include "qt/QtTrayIcon.h"
#include "qt/TargetHostDlg.h"
#include "qt/UpDownCtrl.h"
#include "qt/ChannelsDlg.h"
#include "qt/MonitorDlg.h"
#include "store/ChannelSettings.h"
#include "qt/UiText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QTreeWidget>
#include <QTest>

using namespace vigilon;
using namespace vigilon::test;

namespace {
void setText(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    edit->insert(text);
}

QString shownText(QString text)
{
    // "&&" shows one ampersand, a single "&" marks the mnemonic.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    // An empty last line shows nothing.
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

void checkFits(const QString &text, const QSize &need, const QSize &have)
{
    QVERIFY2(need.width() <= have.width() && need.height() <= have.height(),
             qPrintable(QStringLiteral("\"%1\" needs %2x%3, has %4x%5")
                            .arg(text)
                            .arg(need.width())
                            .arg(need.height())
                            .arg(have.width())
                            .arg(have.height())));
}

// OK clicked: whether the dialog ended accepted.
template <class Dialog>
bool acceptedByOk(Dialog &dialog)
{
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    return dialog.result() == QDialog::Accepted;
}

// OK clicked and refused: the dialog stays open with the focus on field,
// having said text and nothing else.
bool refusedByOk(CPortSettingsDlg &d, const FakePrompter &prompter, const std::string &text, QWidget *field)
{
    QTest::mouseClick(d.okButton(), Qt::LeftButton);
    return prompter.texts() == std::vector<std::string>{text} && d.isVisible() && d.focusWidget() == field;
}

// Every label, button and group title of a dialog fits where it is placed.
void checkNothingClipped(QWidget *dialog)
{
    for (QLabel *label : dialog->findChildren<QLabel *>()) {
        if (!label->pixmap().isNull() || label->text().isEmpty())
            continue;
        const QFontMetrics fm(label->font());
        const QRect have = label->contentsRect();
        // A wrapping label breaks its lines within its width.
        const QRect need = label->wordWrap()
                               ? fm.boundingRect(QRect(0, 0, have.width(), 1 << 16),
                                                 Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, shownText(label->text()))
                               : fm.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, shownText(label->text()));
        checkFits(label->text(), need.size(), have.size());
    }
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QFontMetrics fm(button->font());
        const int need = fm.horizontalAdvance(shownText(button->text()));
        checkFits(button->text(), QSize(need, fm.height()), contents.size());
    }
    for (QGroupBox *group : dialog->findChildren<QGroupBox *>()) {
        const QFontMetrics fm(group->font());
        QVERIFY2(fm.horizontalAdvance(group->title()) + 16 <= group->width(), qPrintable(group->title()));
    }
    for (QComboBox *combo : dialog->findChildren<QComboBox *>()) {
        const QFontMetrics fm(combo->font());
        QStyleOptionComboBox option;
        option.initFrom(combo);
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i)
            QVERIFY2(fm.horizontalAdvance(combo->itemText(i)) <= field.width(), qPrintable(combo->itemText(i)));
    }
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
    FakePrompter prompter_;
private slots:
    void init() { prompter_ = FakePrompter(); }

    // Dialog units round halves up; the dialogs' face is the substituted
    // one.
    void dialogUnitsAndFonts()
    {
        QCOMPARE(DialogUnits(6, 12).rect(289, 7, 50, 14), QRect(434, 11, 75, 21)); // 433.5 and 10.5 round up
        const QFont font = dialogFont();
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("IPAPGothic"));
        const DialogUnits du(font);
        QVERIFY(du.baseX() >= 5 && du.baseX() <= 8);
        QCOMPARE(du.baseY(), QFontMetrics(font).height());
    }

    // The Push panel in place of the others: a token made as the kind is
    // chosen, the call line with the server's address, Copy to the
    // clipboard, and Regenerate after a question.
    void portSettingsPushPanel()
    {
        PortSettingsForm form;
        std::tie(form.port, form.protocol) = std::tuple(443, int(Https));
        form.serverAddress = "127.0.0.1:9464";
        CPortSettingsDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QVERIFY(d.pushTokenEdit()->isHidden() && d.pushCopyButton()->isHidden());
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down); // TLS
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down); // Push
        QCOMPARE(d.shownPanel(), PortSettingsForm::KindPanel::Push);
        QVERIFY(d.pushTokenEdit()->isVisible() && d.pushCallEdit()->isVisible() && d.pathEdit()->isHidden());
        const QString token = d.pushTokenEdit()->text();
        QVERIFY(d.pushTokenEdit()->isReadOnly());
        QCOMPARE(d.pushCallEdit()->text(), QStringLiteral("curl -fsS http://127.0.0.1:9464/push/") + token);
        QTest::mouseClick(d.pushCopyButton(), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), token);
        prompter_.answers = {mb::IdYes};
        QTest::mouseClick(d.pushRegenerateButton(), Qt::LeftButton);
        QVERIFY(d.pushTokenEdit()->text() != token);
        QVERIFY(acceptedByOk(d));
        QCOMPARE(QString::fromStdString(form.pushToken), d.pushTokenEdit()->text());
    }

    // The channels' list beside the kind panels, a box an item: it opens on
    // the entry's choice, Space on an item changes its box, and OK hands the
    // boxes to the rules. Without channels it says so and cannot be used.
    void portSettingsChannelList()
    {
        PortSettingsForm form;
        form.port = 80;
        form.existingEntry = 1;
        form.channelList = {{0, "team"}, {2, "pager"}};
        form.channels = std::vector<std::uint32_t>{2};
        CPortSettingsDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QListWidget *list = d.channelList();
        QVERIFY(list->isEnabled());
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("team"));
        QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
        QCOMPARE(list->item(1)->checkState(), Qt::Checked);
        // Right of the kind panels, under the entry's own rows.
        const DialogUnits du(d.font());
        QVERIFY(list->geometry().left() >= du.rect(271, 0, 1, 1).left());
        QVERIFY(list->geometry().top() > d.timeoutEdit()->geometry().bottom());
        list->setFocus();
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        QVERIFY(acceptedByOk(d));
        QCOMPARE(form.channels, std::nullopt);

        PortSettingsForm none;
        none.port = 80;
        none.channels = std::vector<std::uint32_t>{1};
        CPortSettingsDlg n(prompter_, none);
        QVERIFY(shownOnScreen(n));
        QCOMPARE(n.channelList()->count(), 1);
        QCOMPARE(n.channelList()->item(0)->text(), uiText(sid::PortChannelsNone));
        QVERIFY(!n.channelList()->isEnabled());
        QVERIFY(acceptedByOk(n));
        QCOMPARE(none.channels, std::vector<std::uint32_t>{1});
    }

    // Esc cancels. The real buttons and list reach the rules: a refused OK
    // keeps the dialog open with the focus on the refused field, the list
    // stepped through with the keys shows port 7 only on PING, and Delete
    // ends it as accepted. (What the rules decide, the defaults shown
    // included, is DialogRules'.)
    void portSettingsPlacesAndWiring()
    {
        PortSettingsForm fresh;
        {
            CPortSettingsDlg d(prompter_, fresh);
            QVERIFY(shownOnScreen(d));
            QVERIFY(d.okButton()->isDefault());
            QVERIFY(!d.deleteButton()->isEnabled());
            QCOMPARE(d.portEdit()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
            QTest::keyClick(&d, Qt::Key_Escape);
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QVERIFY(prompter_.messages.empty());
        }
        PortSettingsForm form;
        form.port = 110;
        form.existingEntry = 1;
        form.host = "db.example";
        form.targetHost = "127.0.0.1";
        CPortSettingsDlg d(prompter_, form);
        d.show();
        // The host row comes first: its box refuses more than 64 characters
        // as the target's does, and shows the target while empty.
        QCOMPARE(d.hostEdit()->text(), QStringLiteral("db.example"));
        QCOMPARE(d.hostEdit()->placeholderText(), QStringLiteral("(127.0.0.1)"));
        QCOMPARE(d.hostEdit()->maxLength(), 64);
        QVERIFY(d.hostEdit()->geometry().bottom() < d.portEdit()->geometry().top());
        QCOMPARE(d.hostEdit()->nextInFocusChain(), static_cast<QWidget *>(d.portEdit()));
        setText(d.thresholdEdit(), QStringLiteral("1000000"));
        QVERIFY(refusedByOk(d, prompter_, "0 から 999999 までの整数を入力してください。", d.thresholdEdit()));
        // Arrowed through the list, PING shows port 7 and HTTP after it the
        // port as it was.
        for (const char *shown : {"110", "7", "110"}) {
            QTest::keyClick(d.protocolCombo(), Qt::Key_Down);
            QCOMPARE(d.portEdit()->text(), QString::fromLatin1(shown));
        }
        // The certificate's row is there for HTTPS and TLS only.
        QVERIFY(!d.certDaysEdit()->isEnabled());
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down);
        QCOMPARE(d.protocolCombo()->currentText(), QStringLiteral("HTTPS (443)"));
        QVERIFY(d.certDaysEdit()->isEnabled());
        QCOMPARE(d.certDaysEdit()->text(), QStringLiteral("14"));
        setText(d.thresholdEdit(), QStringLiteral("5"));
        QTest::mouseClick(d.deleteButton(), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    // The HTTP status row on its widgets: off for a TCP entry, on once HTTP
    // is chosen, the codes' edit with "these codes" only; a list that is
    // none keeps the dialog open on the codes.
    void portSettingsHttpStatusRow()
    {
        PortSettingsForm form;
        std::tie(form.port, form.httpStatus) = std::tuple(8080, "2xx-3xx");
        CPortSettingsDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QVERIFY(!d.httpStatusCombo()->isEnabled() && !d.httpCodesEdit()->isEnabled());
        QCOMPARE(d.httpStatusCombo()->currentText(), uiText(sid::HttpStatusSuccessOrRedirect));
        for (int step = 0; step < 3; ++step)
            QTest::keyClick(d.protocolCombo(), Qt::Key_Down);
        QVERIFY(d.httpStatusCombo()->isEnabled() && !d.httpCodesEdit()->isEnabled());
        QTest::keyClick(d.httpStatusCombo(), Qt::Key_Down);
        QCOMPARE(d.httpStatusCombo()->currentText(), uiText(sid::HttpStatusCodes));
        QVERIFY(d.httpCodesEdit()->isEnabled());
        setText(d.httpCodesEdit(), QStringLiteral("2xx and 3xx"));
        QVERIFY(refusedByOk(d, prompter_, loadString(sid::HttpStatusInvalid), d.httpCodesEdit()));
        setText(d.httpCodesEdit(), QStringLiteral("503, 200"));
        QVERIFY(acceptedByOk(d));
        QCOMPARE(std::tie(form.protocol, form.httpStatus), std::tuple(int(Http), std::string("200,503")));
    }

    // The HTTP request rows on their widgets: filled from the entry, gone
    // for other kinds, the body with POST only; what is typed comes back,
    // lines ending with LF. (What is refused, a HEAD with a content rule
    // among it, is DialogRules'.)
    void portSettingsRequestRows()
    {
        PortSettingsForm form;
        std::tie(form.port, form.protocol) = std::tuple(443, int(Https));
        form.request.path = "/health";
        form.request.followRedirects = true;
        form.request.contentRule = ContentRule::fromText("regex:ok|fine");
        form.request.method = MethodGet;
        CPortSettingsDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QCOMPARE(d.methodCombo()->currentText(), QStringLiteral("GET"));
        QCOMPARE(d.pathEdit()->text(), QStringLiteral("/health"));
        QVERIFY(d.redirectsCheck()->isChecked());
        QCOMPARE(d.contentRuleCombo()->currentText(), uiText(sid::ContentRuleRegex));
        QCOMPARE(d.contentTextEdit()->text(), QStringLiteral("ok|fine"));
        QVERIFY(d.pathEdit()->isEnabled() && d.contentTextEdit()->isEnabled() && !d.bodyEdit()->isEnabled());
        QVERIFY(d.pathEdit()->isVisible() && d.contentRuleCombo()->isVisible());
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down); // TLS
        // TLS has no kind panel: the request's rows go.
        QVERIFY(d.pathEdit()->isHidden() && d.headersEdit()->isHidden() && d.redirectsCheck()->isHidden());
        QCOMPARE(d.shownPanel(), PortSettingsForm::KindPanel::None);
        QTest::keyClick(d.protocolCombo(), Qt::Key_Up);
        QVERIFY(d.pathEdit()->isVisible() && d.redirectsCheck()->isVisible());
        QTest::keyClick(d.methodCombo(), Qt::Key_Down); // POST
        QVERIFY(d.bodyEdit()->isEnabled());
        d.headersEdit()->setFocus();
        QTest::keyClicks(d.headersEdit(), QStringLiteral("Content-Type: application/json"));
        QTest::keyClick(d.headersEdit(), Qt::Key_Return);
        QTest::keyClicks(d.headersEdit(), QStringLiteral("X-Probe: 1"));
        d.bodyEdit()->setPlainText(QStringLiteral("{\"a\": 1}"));
        QVERIFY(acceptedByOk(d));
        QCOMPARE(std::tie(form.request.method, form.request.headers, form.request.body, form.request.followRedirects),
                 std::make_tuple(std::uint32_t(MethodPost), std::string("Content-Type: application/json\nX-Probe: 1"),
                                 std::string("{\"a\": 1}"), true));
        QCOMPARE(form.request.contentRule.text(), std::string("regex:ok|fine"));
    }

    // The credentials rows in the HTTP panel: apart from its other rows, in
    // tab order after the body; the stored password never reaches the
    // widget and is kept when left as shown. (Typed over or emptied, it is
    // replaced or removed: DialogRules' password test.)
    void portSettingsCredentialRows()
    {
        PortSettingsForm form;
        std::tie(form.port, form.protocol) = std::tuple(443, int(Https));
        form.request.user = "watch";
        form.request.password = "n0t-sh0wn";
        CPortSettingsDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QCOMPARE(d.userEdit()->text(), QStringLiteral("watch"));
        QCOMPARE(d.passwordEdit()->text().toStdString(), std::string(PortSettingsForm::kPasswordKept));
        QCOMPARE(d.passwordEdit()->echoMode(), QLineEdit::Password);
        QVERIFY(d.userEdit()->isVisible() && d.passwordEdit()->isEnabled());
        const std::vector<QWidget *> rows{d.methodCombo(), d.pathEdit(), d.headersEdit(), d.bodyEdit(), d.userEdit(),
                                          d.passwordEdit(), d.redirectsCheck(), d.contentRuleCombo(), d.contentTextEdit()};
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (std::size_t j = i + 1; j < rows.size(); ++j)
                QVERIFY2(!rows[i]->geometry().intersects(rows[j]->geometry()),
                         qPrintable(rows[i]->objectName() + QStringLiteral(" / ") + rows[j]->objectName()));
        // The next widget Tab reaches, past the parts of a widget.
        const auto next = [](QWidget *w) {
            QWidget *n = w->nextInFocusChain();
            while (n->focusPolicy() == Qt::NoFocus || w->isAncestorOf(n))
                n = n->nextInFocusChain();
            return n;
        };
        QCOMPARE(next(d.bodyEdit()), static_cast<QWidget *>(d.userEdit()));
        QCOMPARE(next(d.userEdit()), static_cast<QWidget *>(d.passwordEdit()));
        QCOMPARE(next(d.passwordEdit()), static_cast<QWidget *>(d.redirectsCheck()));
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down); // TLS
        QVERIFY(d.userEdit()->isHidden() && !d.passwordEdit()->isEnabled());
        QTest::keyClick(d.protocolCombo(), Qt::Key_Up);
        QVERIFY(acceptedByOk(d));
        QCOMPARE(std::tie(form.request.user, form.request.password), std::tuple("watch", "n0t-sh0wn"));
    }

    // The name and schedule rows beside the common ones and the UDP panel
    // on their widgets: the name follows the port typed until a name is
    // typed, the UDP rows show for UDP with the mode's help, and refused
    // bytes keep the dialog open. (The schedule rows' limits are
    // EntryForm's: EntryFormTest.)
    void portSettingsEntryAndUdpRows()
    {
        PortSettingsForm form;
        form.port = 80;
        form.globalInterval = 12;
        CPortSettingsDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QCOMPARE(d.nameEdit()->text(), QStringLiteral("汎用TCP (80)"));
        QVERIFY(d.scheduleHelp()->text().contains(QStringLiteral("12")));
        d.portEdit()->setFocus();
        d.portEdit()->end(false);
        QTest::keyClicks(d.portEdit(), QStringLiteral("8"));
        QCOMPARE(d.nameEdit()->text(), QStringLiteral("汎用TCP (808)"));
        setText(d.nameEdit(), QStringLiteral("Time server"));
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down); // UDP
        QCOMPARE(d.nameEdit()->text(), QStringLiteral("Time server"));
        QCOMPARE(d.shownPanel(), PortSettingsForm::KindPanel::Udp);
        QVERIFY(d.udpModeCombo()->isVisible() && d.pathEdit()->isHidden());
        QCOMPARE(d.udpHelp()->text(), uiText(sid::UdpHelpSendOnly));
        QVERIFY(!d.udpExpectEdit()->isEnabled());
        QTest::keyClick(d.udpModeCombo(), Qt::Key_Down);
        QTest::keyClick(d.udpModeCombo(), Qt::Key_Down);
        QCOMPARE(d.udpHelp()->text(), uiText(sid::UdpHelpExpectReply));
        QVERIFY(d.udpExpectEdit()->isEnabled());
        // The rows lie above the kind panel and inside the dialog.
        QVERIFY(d.scheduleHelp()->geometry().bottom() < d.udpModeCombo()->geometry().top());
        QVERIFY(d.rect().contains(d.nameEdit()->geometry()));
        setText(d.udpPayloadEdit(), QStringLiteral("hex:1"));
        QVERIFY(refusedByOk(d, prompter_, loadString(sid::UdpBytesInvalid), d.udpPayloadEdit()));
        setText(d.udpPayloadEdit(), QStringLiteral("hex:1b"));
        setText(d.intervalEdit(), QStringLiteral("30"));
        setText(d.timeoutEdit(), QStringLiteral("500"));
        QVERIFY(acceptedByOk(d));
        QCOMPARE(std::tie(form.name, form.port, form.udpMode, form.udpPayload),
                 std::tuple(std::string("Time server"), std::int64_t(808), std::uint32_t(UdpExpectReply),
                            std::string("hex:1b")));
        QCOMPARE(std::tie(form.intervalSeconds, form.retryLimit, form.timeoutMs), std::tuple(30u, 0u, 500u));
    }

    // The DNS panel on its widgets: shown for DNS only, at the place of the
    // HTTP rows; 53 in the empty port box; an empty name keeps the dialog
    // open on the name; what is chosen comes back in the stored forms.
    void portSettingsDnsPanel()
    {
        PortSettingsForm form;
        form.protocol = Tls;
        CPortSettingsDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QVERIFY(d.dnsNameEdit()->isHidden() && d.dnsAnswersEdit()->isHidden());
        d.portEdit()->clear();
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down); // Push
        QTest::keyClick(d.protocolCombo(), Qt::Key_Down); // DNS
        QCOMPARE(d.protocolCombo()->currentText(), QStringLiteral("DNS"));
        QCOMPARE(d.shownPanel(), PortSettingsForm::KindPanel::Dns);
        QCOMPARE(d.portEdit()->text(), QStringLiteral("53"));
        QVERIFY(d.dnsNameEdit()->isVisible() && d.dnsTypeCombo()->isVisible() && d.dnsExpectCombo()->isVisible());
        QVERIFY(d.pathEdit()->isHidden());
        QCOMPARE(d.dnsNameEdit()->geometry().top(), d.pathEdit()->geometry().top());
        QVERIFY(!d.dnsAnswersEdit()->isEnabled());
        QVERIFY(refusedByOk(d, prompter_, loadString(sid::DnsNameEmpty), d.dnsNameEdit()));
        QTest::keyClicks(d.dnsNameEdit(), QStringLiteral("example.com"));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(d.dnsTypeCombo(), Qt::Key_Down); // MX
        QCOMPARE(d.dnsTypeCombo()->currentText(), QStringLiteral("MX"));
        QTest::keyClick(d.dnsExpectCombo(), Qt::Key_Down);
        QTest::keyClick(d.dnsExpectCombo(), Qt::Key_Down); // exactly
        QVERIFY(d.dnsAnswersEdit()->isEnabled());
        QTest::keyClicks(d.dnsAnswersEdit(), QStringLiteral("10 mail.example.com"));
        QVERIFY(acceptedByOk(d));
        QCOMPARE(std::tie(form.protocol, form.port, form.dnsName, form.dnsType, form.dnsExpect),
                 std::make_tuple(int(Dns), std::int64_t(53), std::string("example.com"), std::string("MX"),
                                 std::string("=10 mail.example.com")));
    }

    // The response monitor dialog's widgets: layout with nothing cut, the
    // real trackbar and up-down control, and that they reach the form (whose
    // rules tests/app/ tests).
    void responseMonitorLaidOutSteppingAndReadBack()
    {
        ResponseMonitorForm form;
        form.portText = "HTTP:8080";
        form.alpha = 17;
        form.maxHistory = 5000;
        CResponseMonitorDlg d(prompter_, form);
        QVERIFY(shownOnScreen(d));
        QCOMPARE(d.font().family(), dialogFont().family());
        checkNothingClipped(&d);
        const DialogUnits du(d.font());
        // The up-down control takes the right end of its edit, over the edit's
        // border, at the edit's height.
        const QRect edit = du.rect(177, 81, 30, 12);
        const int spinWidth = du.rect(208, 83, 10, 12).width();
        QCOMPARE(d.historySpin()->geometry(), QRect(edit.right() + 1 - spinWidth, edit.top(), spinWidth, edit.height()));
        QCOMPARE(d.historyEdit()->geometry(), edit.adjusted(0, 0, -(spinWidth - 2), 0));

        // Shown, the form is in the controls; the up-down control keeps the
        // stored length within its range.
        QVERIFY(d.portEdit()->isReadOnly() && d.portEdit()->text() == QStringLiteral("HTTP:8080"));
        QCOMPARE(d.historyEdit()->text(), QStringLiteral("999"));
        QCOMPARE(std::tuple(d.alphaSlider()->minimum(), d.alphaSlider()->maximum(), d.alphaSlider()->value()),
                 std::tuple(0, 255, 17));
        QCOMPARE(d.fileEdit()->text(), QStringLiteral("sample.csv"));
        QVERIFY(!d.fileEdit()->isEnabled() && !d.browseButton()->isEnabled());
        QVERIFY(d.recordCheck()->isEnabled() && !d.recordCheck()->isChecked());

        // The real up-down control steps within its range; only digits go in.
        d.historySpin()->upButton()->click();
        QCOMPARE(d.historyEdit()->text(), QStringLiteral("999"));
        d.historyEdit()->setText(QStringLiteral("11"));
        QTest::keyClick(d.historyEdit(), Qt::Key_Down);
        QTest::keyClick(d.historyEdit(), Qt::Key_Down);
        QCOMPARE(d.historyEdit()->text(), QStringLiteral("10"));
        d.historyEdit()->clear();
        QTest::keyClicks(d.historyEdit(), QStringLiteral("1a2-"));
        QCOMPARE(d.historyEdit()->text(), QStringLiteral("12"));

        // The buttons and the check box reach the form.
        d.recordCheck()->click();
        QVERIFY(d.fileEdit()->isEnabled() && d.browseButton()->isEnabled());
        prompter_.fileAnswer = "/home/u/データ.csv";
        QTest::mouseClick(d.browseButton(), Qt::LeftButton);
        QCOMPARE(prompter_.fileRequests.size(), std::size_t(1));
        QCOMPARE(d.fileEdit()->text(), QStringLiteral("/home/u/データ.csv"));

        // A refused length keeps the dialog open, the edit focused with its
        // text selected.
        d.historyEdit()->setText(QStringLiteral("9"));
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        QCOMPARE(std::pair(prompter_.messages.size(), d.result()), std::pair(std::size_t(1), 0));
        QCOMPARE(d.focusWidget(), static_cast<QWidget *>(d.historyEdit()));
        QCOMPARE(d.historyEdit()->selectedText(), QStringLiteral("9"));

        d.historyEdit()->setText(QStringLiteral("12"));
        d.alphaSlider()->setValue(42);
        QVERIFY(acceptedByOk(d));
        QCOMPARE(std::tuple(form.alpha, form.maxHistory, form.recordToFile), std::tuple(42u, 12u, 1u));
        QCOMPARE(form.fileName, std::string("/home/u/データ.csv"));
    }

    // The About box opens beside the main dialog, top edges level, and says
    // its version in the interface's language.
    void aboutBoxIsOneWindowBesideTheMainDialog()
    {
        UiHarness h;
        h.create();
        CAboutDlg *about = h.ui.about;
        QVERIFY(about);
        QVERIFY(!about->isVisible());
        QVERIFY(about->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(about->okButton()->isDefault());
        QVERIFY(QRegularExpression(QStringLiteral("^Vigilon バージョン [0-9.]+$")).match(about->versionLabel()->text()).hasMatch());
        const QRect work = h.dialog().screen()->availableGeometry();
        // Narrow enough that the test's screen has room beside it.
        h.dialog().setMinimumSize(0, 0);
        h.dialog().resize(300, 250);
        h.dialog().move(work.right() + 1 - h.dialog().frameGeometry().width(), work.top() + 40);
        QVERIFY(shownOnScreen(h.dialog()));
        h.frame().onCommand(res::CmdAbout);
        QVERIFY(about->isVisible());
        const QRect main = h.dialog().frameGeometry(), box = about->frameGeometry();
        QCOMPARE(box.left() + box.width() + kBesideGap, main.left()); // left of it
        QVERIFY(work.contains(box));
        QCOMPARE(box.top(), main.top());
        // Closed and shown again: where the user left it.
        about->move(120, 80);
        QTest::mouseClick(about->okButton(), Qt::LeftButton);
        QVERIFY(!about->isVisible());
        h.frame().onCommand(res::CmdAbout);
        QVERIFY(about->isVisible());
        QCOMPARE(about->pos(), QPoint(120, 80));
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->isVisible());
    }

    void noTextIsClipped()
    {
        UiHarness h({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"}});
        h.dialog().show();
        checkNothingClipped(&h.dialog());
        // Also with the longer texts of the running state.
        QTest::mouseClick(qobject_cast<QPushButton *>(h.dialog().control(CMonitorDlg::IdStartStop)), Qt::LeftButton);
        QVERIFY(h.dialog().monitoring());
        checkNothingClipped(&h.dialog());
        // A header wider than its column ends in an ellipsis within it.
        CPortListCtrl *list = h.dialog().list();
        list->setColumnWidth(2, 24);
        for (int c = 0; c < list->columnCount(); ++c) {
            const QString shown = list->headerTextShown(c);
            const QString full = list->horizontalHeaderItem(c)->text();
            QVERIFY2(QFontMetrics(list->horizontalHeader()->font()).horizontalAdvance(shown) <= list->columnWidth(c),
                     qPrintable(full));
            QVERIFY(shown == full || (shown.endsWith(QChar(0x2026)) && full.startsWith(shown.chopped(1))));
        }
        QCOMPARE(list->headerTextShown(1), list->horizontalHeaderItem(1)->text());
        QVERIFY(list->headerTextShown(2) != list->horizontalHeaderItem(2)->text());
        const QFontMetrics fm(h.dialog().font());
        QVERIFY(fm.boundingRect(QRect(), 0, h.dialog().statusText()).height() <=
                h.dialog().control(CMonitorDlg::IdStatus)->height());

        // The settings and target dialogs are checked in both languages
        // below (dialogsFollowTheLocale).
        TargetHostForm host;
        host.host = "10.0.0.1";
        CTargetHostDlg target(prompter_, host);
        target.show();
        QCOMPARE(target.hostEdit()->text(), QStringLiteral("10.0.0.1"));
        QVERIFY(target.okButton()->isDefault());
        h.ui.about->show();
        checkNothingClipped(h.ui.about);
    }

    // The Channels dialog opens from the main dialog's button in either
    // language with nothing cut: the list shows the stored channel masked,
    // the real buttons and fields reach its rules, and OK stores what was
    // typed beside the stored secret it keeps.
    void channelsDialogFromTheMainDialog()
    {
        for (const Language language : {Language::English, Language::Japanese}) {
            setCurrentLanguage(language);
            UiHarness h;
            QCOMPARE(saveChannels(h.registry, {{"https://hooks.example/a/s3cret", "chat", false, 0, {}}}),
                     reg::Status::Ok);
            h.store({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"}});
            h.create();
            h.dialog().show();
            checkNothingClipped(&h.dialog());
            int rows = 0;
            QString shownUrl, nameAfterAdd, kind;
            bool editable = false;
            h.dialog().setDialogRunner([&](QDialog &dialog) {
                auto &c = static_cast<CChannelsDlg &>(dialog);
                c.show();
                checkNothingClipped(&c);
                rows = c.list()->topLevelItemCount();
                shownUrl = c.urlEdit()->text();
                kind = rows ? c.list()->topLevelItem(0)->text(ChannelsForm::KindColumn) : QString();
                QTest::mouseClick(c.addButton(), Qt::LeftButton);
                nameAfterAdd = c.nameEdit()->text();
                c.urlEdit()->setText(QStringLiteral("ntfy+https://ntfy.example/alerts"));
                c.reminderEdit()->setText(QStringLiteral("15"));
                c.recoveryBox()->setChecked(true);
                c.list()->setCurrentItem(c.list()->topLevelItem(0));
                editable = c.testButton()->isEnabled() && c.nameEdit()->text() == QStringLiteral("chat") &&
                           !c.recoveryBox()->isChecked();
                QTest::mouseClick(c.okButton(), Qt::LeftButton);
                return c.result();
            });
            QTest::mouseClick(qobject_cast<QPushButton *>(h.dialog().control(CMonitorDlg::IdChannels)),
                              Qt::LeftButton);
            QVERIFY(!QTest::currentTestFailed());
            QCOMPARE(rows, 1);
            QCOMPARE(shownUrl, QStringLiteral("https://hooks.example/a/****"));
            QCOMPARE(kind, QStringLiteral("Webhook (JSON)"));
            QCOMPARE(nameAfterAdd, uiText(sid::ChannelNewName));
            QVERIFY(editable);
            const auto stored = loadChannels(h.registry).channels;
            QCOMPARE(stored.size(), std::size_t(2));
            QCOMPARE(stored[0].url, std::string("https://hooks.example/a/s3cret"));
            QCOMPARE(std::tie(stored[1].url, stored[1].reminderMinutes, stored[1].recovery),
                     std::make_tuple(std::string("ntfy+https://ntfy.example/alerts"), 15u, true));
        }
    }

    // The dialogs speak the locale's language: English under LANG=C, with a
    // Latin face and nothing cut; Japanese under a Japanese locale.
    void dialogsFollowTheLocale()
    {
        const test::ScopedEnv unforced{{"VIGILON_LANG", std::nullopt}, {"LC_ALL", std::nullopt},
                                       {"LC_MESSAGES", std::nullopt}, {"LANG", std::nullopt}};
        TargetHostForm host;
        for (const auto &[lang, title] : {std::pair{"C", "Change Target Host"}, {"ja_JP.UTF-8", "ターゲット ホストの変更"}}) {
            qputenv("LANG", lang);
            setCurrentLanguage(chooseLanguage());
            CTargetHostDlg target(prompter_, host);
            target.show();
            QCOMPARE(target.windowTitle(), QString::fromUtf8(title));
            checkNothingClipped(&target);
            PortSettingsForm form;
            CPortSettingsDlg settings(prompter_, form);
            settings.show();
            checkNothingClipped(&settings);
            if (std::string(lang) == "C")
                QCOMPARE(QFontInfo(settings.font()).family(), QStringLiteral("DejaVu Sans"));
        }
        setCurrentLanguage(Language::Japanese);
    }

    // The tray menu: the quiet commands as the core lists them, between the
    // monitoring items and help; each reaches the frame.
    void trayMenuHoldsTheQuietCommands()
    {
        UiHarness h({{80, GenericTcp, 1, 0, "", "web"}});
        QtTrayIcon tray(h.frame());
        QStringList texts;
        for (QAction *action : tray.menu().actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{uiText(sid::TrayToggleMonitoring), uiText(sid::TrayToggleDialog),
                                     uiText(sid::TrayChannels), "-",
                                     uiText(sid::TrayQuietAllHour), uiText(sid::TrayQuietAllEightHours),
                                     uiText(sid::TrayQuietAllUntilResumed), uiText(sid::TrayResumeAll), "-",
                                     uiText(sid::TrayHelp), uiText(sid::TrayAbout), uiText(sid::TrayExit)}));
        tray.menu().actions()[6]->trigger(); // until I resume
        QTRY_COMPARE(h.frame().entryView(0).quietUntil, kQuietUntilResumed);
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
