// SPDX-License-Identifier: MIT
// Messages raised by monitoring on Qt: one box that never waits, later
// messages counted in it, and a program that ends while it is open. Which
// failures raise them is AlertLaunchTest's.
#include "qt/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <QAbstractButton>
#include <QTest>

#include <memory>

using namespace vigilon;

namespace {
std::vector<QMessageBox *> openBoxes()
{
    std::vector<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            boxes.push_back(box);
    }
    return boxes;
}
} // namespace

class NoticeTest : public QObject {
    Q_OBJECT
private slots:
    void laterMessagesAreCountedInTheOneBox()
    {
        auto prompter = std::make_unique<QtPrompter>();
        prompter->notice("first", "", mb::Ok);
        prompter->notice("second", "", mb::Ok);
        prompter->notice("third", "", mb::Ok);
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QVERIFY(!openBoxes()[0]->isModal());
        QCOMPARE(openBoxes()[0]->text(), QStringLiteral("first\n\n(このほかに 2 件のメッセージがありました)"));
        QCOMPARE(openBoxes()[0]->windowTitle(), QStringLiteral("Vigilon"));
        // Closed by the user: the next message has a box of its own.
        openBoxes()[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(openBoxes().empty());
        prompter->notice("fourth", "", mb::Ok);
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QCOMPARE(openBoxes()[0]->text(), QStringLiteral("fourth"));
        // The program ends while its box is open: the box goes with it (the
        // sanitizer build checks the end).
        prompter.reset();
        QVERIFY(openBoxes().empty());
    }

    // The box belongs to the main dialog while that shows, so that it is
    // kept above it; a hidden one leaves it standing alone, and one that
    // goes takes its box along without stopping the next.
    void theBoxBelongsToTheShownMainDialog()
    {
        QtPrompter prompter;
        auto owner = std::make_unique<QWidget>();
        QWidget *current = owner.get();
        prompter.setNoticeOwner([&current] { return current; });
        prompter.notice("hidden owner", "", mb::Ok);
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QVERIFY(openBoxes()[0]->parentWidget() == nullptr);
        openBoxes()[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(openBoxes().empty());

        owner->show();
        prompter.notice("shown owner", "", mb::Ok);
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QCOMPARE(openBoxes()[0]->parentWidget(), owner.get());
        QVERIFY(openBoxes()[0]->isWindow());
        current = nullptr;
        owner.reset();
        QVERIFY(openBoxes().empty());
        prompter.notice("after the owner went", "", mb::Ok);
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QCOMPARE(openBoxes()[0]->text(), QStringLiteral("after the owner went"));
    }
};

QTEST_MAIN(NoticeTest)
#include "NoticeTest.moc"
