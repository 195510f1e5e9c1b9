// SPDX-License-Identifier: MIT
// The response monitor dialog's widgets: layout, the real trackbar and up-down
// control, and that they reach the form (whose rules tests/app/ tests).
#include "qt/ResponseMonitorDlg.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/qt/QtWait.h"
#include "qt/DialogUnits.h"
#include "qt/UpDownCtrl.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

using namespace vigilon;
using namespace vigilon::test;

class MonitorDialogTest : public QObject {
    Q_OBJECT

private slots:
    void laidOutOpenedFromTheFormSteppingAndReadBack()
    {
        FakePrompter prompter;
        ResponseMonitorForm form;
        form.portText = "HTTP:8080";
        form.alpha = 17;
        form.maxHistory = 5000;
        CResponseMonitorDlg d(prompter, form);
        QVERIFY(shownOnScreen(d));
        QCOMPARE(d.font().family(), dialogFont().family());
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
        prompter.fileAnswer = "/home/u/データ.csv";
        QTest::mouseClick(d.browseButton(), Qt::LeftButton);
        QCOMPARE(prompter.fileRequests.size(), std::size_t(1));
        QCOMPARE(d.fileEdit()->text(), QStringLiteral("/home/u/データ.csv"));

        // A refused length keeps the dialog open, the edit focused with its
        // text selected.
        d.historyEdit()->setText(QStringLiteral("9"));
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        QCOMPARE(std::pair(prompter.messages.size(), d.result()), std::pair(std::size_t(1), 0));
        QCOMPARE(d.focusWidget(), static_cast<QWidget *>(d.historyEdit()));
        QCOMPARE(d.historyEdit()->selectedText(), QStringLiteral("9"));

        d.historyEdit()->setText(QStringLiteral("12"));
        d.alphaSlider()->setValue(42);
        QTest::mouseClick(d.okButton(), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(std::tuple(form.alpha, form.maxHistory, form.recordToFile), std::tuple(42u, 12u, 1u));
        QCOMPARE(form.fileName, std::string("/home/u/データ.csv"));
    }
};

QTEST_MAIN(MonitorDialogTest)
#include "MonitorDialogTest.moc"
