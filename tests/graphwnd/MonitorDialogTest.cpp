// SPDX-License-Identifier: MIT
#include "app/base/StringTable.h"
#include "graph/qt/ResponseMonitorDlg.h"
#include "tests/ui/UiFakes.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/UpDownCtrl.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

using namespace vigilon;
using namespace vigilon::test;

class MonitorDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initialisesControlsFromTheFields();
    void historyValidationKeepsTheDialogOpen();
    void historyValidationKeepsTheDialogOpen_data();
    void checkBoxEnablesFileControlsAndDecidesRecording();
    void browseUsesTheFileDialog();
    void upDownStepsWithinItsRange();
};

void MonitorDialogTest::initialisesControlsFromTheFields()
{
    FakePrompter prompter;
    CResponseMonitorDlg d(prompter);
    d.portText = "HTTP:8080";
    d.initDialog();
    QCOMPARE(d.windowTitle(), QStringLiteral("応答速度の監視"));
    QCOMPARE(d.portEdit()->text(), QStringLiteral("HTTP:8080"));
    QVERIFY(d.portEdit()->isReadOnly());
    QCOMPARE(d.alphaSlider()->minimum(), 0);
    QCOMPARE(d.alphaSlider()->maximum(), 255);
    QCOMPARE(d.alphaSlider()->value(), 200);
    QCOMPARE(d.historyEdit()->text(), QStringLiteral("200"));
    QCOMPARE(d.fileEdit()->text(), QStringLiteral("sample.csv"));
    QVERIFY(!d.fileEdit()->isEnabled());
    QVERIFY(!d.browseButton()->isEnabled());
    QVERIFY(d.recordCheck()->isEnabled());
    QVERIFY(!d.recordCheck()->isChecked());

    // Laid out from dialog units of the template font, like the other
    // dialogs.
    QCOMPARE(d.font().family(), dialogFont().family());
    const DialogUnits du(d.font());
    QCOMPARE(d.size(), du.size(231, 172));
    QCOMPARE(d.recordCheck()->geometry(), du.rect(17, 110, 67, 13));
    // The up-down control takes the right end of its edit, over the edit's
    // border, at the edit's height.
    const QRect edit = du.rect(177, 81, 30, 12);
    const int spinWidth = du.rect(208, 83, 10, 12).width();
    QCOMPARE(d.historySpin()->geometry(), QRect(edit.right() + 1 - spinWidth, edit.top(), spinWidth, edit.height()));
    QCOMPARE(d.historyEdit()->geometry(), edit.adjusted(0, 0, -(spinWidth - 2), 0));
    QCOMPARE(d.historySpin()->low(), 10);
    QCOMPARE(d.historySpin()->high(), 999);

    // OK with the defaults: no recording, the trackbar's position.
    d.alphaSlider()->setValue(17);
    d.accept();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.alpha, 17u);
    QCOMPARE(d.maxHistory, 200u);
    QCOMPARE(d.recordToFile, 0u);
    QVERIFY(prompter.messages.empty());
}

void MonitorDialogTest::historyValidationKeepsTheDialogOpen_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("accepted");
    const QString range = QStringLiteral("Please enter an integer between 10 and 999.");
    const QString integer = QStringLiteral("Please enter an integer.");
    QTest::newRow("9") << QStringLiteral("9") << range << 0;
    QTest::newRow("1000") << QStringLiteral("1000") << range << 0;
    QTest::newRow("empty") << QStringLiteral("") << integer << 0;
    QTest::newRow("huge") << QStringLiteral("99999999999999") << range << 0;
    QTest::newRow("blank") << QStringLiteral("  ") << integer << 0;
    QTest::newRow("10") << QStringLiteral("10") << QString() << 10;
    QTest::newRow("999") << QStringLiteral("999") << QString() << 999;
    QTest::newRow("leading zeros") << QStringLiteral("0050") << QString() << 50;
}

void MonitorDialogTest::historyValidationKeepsTheDialogOpen()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(int, accepted);
    FakePrompter prompter;
    CResponseMonitorDlg d(prompter);
    d.initDialog();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.historyEdit()->setText(text);
    d.okButton()->setFocus();
    d.accept();
    if (message.isEmpty()) {
        QVERIFY(prompter.messages.empty());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.maxHistory, std::uint32_t(accepted));
    } else {
        // Shown once, the dialog stays open with the focus on the edit.
        QCOMPARE(prompter.messages.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(prompter.messages[0].text), message);
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        QCOMPARE(d.maxHistory, 200u);
        QCOMPARE(d.focusWidget(), static_cast<QWidget *>(d.historyEdit()));
    }
}

void MonitorDialogTest::checkBoxEnablesFileControlsAndDecidesRecording()
{
    FakePrompter prompter;
    CResponseMonitorDlg d(prompter);
    d.initDialog();
    d.recordCheck()->click();
    QVERIFY(d.fileEdit()->isEnabled());
    QVERIFY(d.browseButton()->isEnabled());
    // The name stays as it was through enabling and disabling.
    d.fileEdit()->setText(QStringLiteral("/tmp/x.txt"));
    d.recordCheck()->click();
    QVERIFY(!d.fileEdit()->isEnabled());
    QVERIFY(!d.browseButton()->isEnabled());
    QCOMPARE(d.fileEdit()->text(), QStringLiteral("/tmp/x.txt"));
    // Cleared again after choosing a file: the name is ignored.
    d.accept();
    QCOMPARE(d.recordToFile, 0u);
    QCOMPARE(d.fileName, std::string());

    CResponseMonitorDlg checked(prompter);
    checked.initDialog();
    checked.recordCheck()->click();
    checked.accept();
    QCOMPARE(checked.recordToFile, 1u);
    // Taken as typed: no extension added.
    QCOMPARE(checked.fileName, std::string("sample.csv"));

    CResponseMonitorDlg erased(prompter);
    erased.initDialog();
    erased.recordCheck()->click();
    erased.fileEdit()->clear();
    erased.accept();
    QCOMPARE(erased.result(), int(QDialog::Accepted));
    QCOMPARE(erased.recordToFile, 0u);
    QVERIFY(prompter.messages.empty());
}

void MonitorDialogTest::browseUsesTheFileDialog()
{
    FakePrompter prompter;
    CResponseMonitorDlg d(prompter);
    d.initDialog();
    d.recordCheck()->click();

    prompter.fileAnswer = "/home/u/data.csv";
    d.browseButton()->click();
    QCOMPARE(prompter.fileRequests.size(), std::size_t(1));
    const Prompter::FileDialogRequest &r = prompter.fileRequests[0];
    QVERIFY(r.open);
    QCOMPARE(r.title, std::string("データファイルの保存"));
    QCOMPARE(r.filter, loadString(sid::RecordFileFilter));
    QCOMPARE(r.defaultExtension, std::string("csv"));
    QCOMPARE(r.initialName, std::string("sample"));
    QCOMPARE(d.fileEdit()->text(), QStringLiteral("/home/u/data.csv"));

    // Cancelled: unchanged.
    prompter.fileAnswer.clear();
    d.browseButton()->click();
    QCOMPARE(d.fileEdit()->text(), QStringLiteral("/home/u/data.csv"));
    QVERIFY(prompter.messages.empty());

    // The dialog could not be shown: message 262 with the error icon.
    prompter.fileDialogFails = true;
    prompter.fileAnswer = "/elsewhere.csv";
    d.browseButton()->click();
    QCOMPARE(prompter.messages.size(), std::size_t(1));
    QCOMPARE(prompter.messages[0].text, std::string("ダイアログ ボックスを開けません。"));
    QCOMPARE(prompter.messages[0].style, mb::Ok | mb::IconStop);
    QCOMPARE(d.fileEdit()->text(), QStringLiteral("/home/u/data.csv"));
}

void MonitorDialogTest::upDownStepsWithinItsRange()
{
    FakePrompter prompter;
    CResponseMonitorDlg d(prompter);
    d.maxHistory = 998;
    d.initDialog();
    d.stepHistory(1);
    QCOMPARE(d.historyEdit()->text(), QStringLiteral("999"));
    d.stepHistory(1);
    QCOMPARE(d.historyEdit()->text(), QStringLiteral("999"));
    d.historyEdit()->setText(QStringLiteral("11"));
    QTest::keyClick(d.historyEdit(), Qt::Key_Down);
    QTest::keyClick(d.historyEdit(), Qt::Key_Down);
    QCOMPARE(d.historyEdit()->text(), QStringLiteral("10"));
    // Only digits can be typed.
    d.historyEdit()->clear();
    QTest::keyClicks(d.historyEdit(), QStringLiteral("1a2-"));
    QCOMPARE(d.historyEdit()->text(), QStringLiteral("12"));
}

QTEST_MAIN(MonitorDialogTest)
#include "MonitorDialogTest.moc"
