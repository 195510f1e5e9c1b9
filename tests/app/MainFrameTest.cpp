// SPDX-License-Identifier: MIT
// Creation, service-mode start and the end of the main frame.
#include "tests/support/FrameTestPeer.h"
#include "base/StringTable.h"
#include "tests/support/FrameFixture.h"

#include <tuple>

namespace vigilon::test {
namespace {

using MainFrame = FrameFixture;

// Its parts in order; what the dialog makes of the loaded settings is
// DialogRules.opensWithTheStoredSettings...'s.
TEST_F(MainFrame, createsItsPartsInOrder)
{
    makeFrame();
    const Journal &j = ui.journal;
    const std::vector<std::string> expected = {"sockets.startup", "tray.create", "tray.add 146", "dialog.create",
                                               "about.create",    "about.hide",  "dialog.show"};
    int last = -1;
    for (const auto &step : expected) {
        const int at = j.indexOf(step);
        ASSERT_GE(at, 0) << step;
        EXPECT_GT(at, last) << step << " out of order";
        last = at;
    }
    EXPECT_EQ(ui.tray->tip, "デバイス 127.0.0.1\r\nポート監視サービスは停止しています");
    EXPECT_FALSE(loop.hasTimer(frame.get(), timers::ServiceStart));
}

TEST_F(MainFrame, neverSavesDefaultsOverAStoreItCouldNotRead)
{
    storeConfiguration({{80, Http, 1}, {22, GenericTcp, 1}}, 7, 3);
    registry.failReads(reg::Status::IoError);
    makeFrame();
    EXPECT_EQ(FrameTestPeer::ports(*frame).size(), 1u) << "only the placeholder";
    registry.failReads(reg::Status::Ok);
    frame->saveSettings();
    frame.reset();
    std::string target;
    const LoadedSettings stored = loadSettings(registry, false, target);
    EXPECT_EQ(stored.ports.size(), 2u);
    EXPECT_EQ(stored.intervalSeconds, 7u);
}

// A refused write (a user without write access to the key) is shown in a
// box that names the key and the cause, without waiting for an answer.
TEST_F(MainFrame, aRefusedSaveIsShownInABox)
{
    makeFrame();
    registry.failWrites(reg::Status::ReadOnly);
    frame->saveSettings();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "設定を保存できませんでした。\r\n"
                                         "HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor: "
                                         "the store is read-only");
    EXPECT_EQ(prompter.messages[0].style, mb::Ok | mb::IconExclamation);
    registry.failWrites(reg::Status::Ok);
    frame->saveSettings();
    EXPECT_EQ(prompter.messages.size(), 1u) << "a save that works says nothing";
}

TEST_F(MainFrame, readsTheStoredTargetOnlyInServiceModeWithoutAHost)
{
    storeConfiguration({{80, GenericTcp, 1}}, 5, 1, "stored.example");
    makeFrame(true);
    EXPECT_EQ(frame->targetHost(), "stored.example");
    frame.reset();
    makeFrame(true, "given.example");
    EXPECT_EQ(frame->targetHost(), "given.example");
    frame.reset();
    // An interactive start watches 127.0.0.1, and saves it as it ends.
    makeFrame(false);
    EXPECT_EQ(frame->targetHost(), "127.0.0.1");
}

TEST_F(MainFrame, startsMonitoringInServiceModeAfterTwoSecondsWithoutAQuestion)
{
    // Also with no active entry at all.
    storeConfiguration({{80, GenericTcp, 0}});
    makeFrame(true);
    EXPECT_FALSE(ui.dialog->visible);
    EXPECT_FALSE(frame->dialogVisible());
    EXPECT_TRUE(ui.journal.contains("dialog.hide"));
    EXPECT_FALSE(ui.journal.contains("dialog.show"));

    loop.advance(1999);
    EXPECT_FALSE(frame->running());
    loop.advance(1);
    EXPECT_TRUE(frame->running());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(ui.dialog->monitoring());
    EXPECT_TRUE(ui.journal.contains("dialog.state 1"));
    EXPECT_FALSE(loop.hasTimer(frame.get(), timers::ServiceStart));
    EXPECT_EQ(loop.timerPeriod(engine(), timers::Poll), 5000u);
    EXPECT_EQ(ui.tray->icon, 143u);
}

// No changes nothing and writes nothing; while monitoring the question is
// the longer one; Yes ends in order, destroys pending checks from the loop
// and writes Logon 0.
TEST_F(MainFrame, exitAsksTheQuestionForTheStateAndYesCleansUp)
{
    storeConfiguration({{80, GenericTcp, 1}});
    makeProgramKey();
    ASSERT_EQ(setLogonFlag(registry, 1), reg::Status::Ok);
    makeFrame();
    prompter.answers = {mb::IdNo, mb::IdNo};
    frame->requestExit();
    ASSERT_EQ(prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmExit)});
    EXPECT_FALSE(frame->closed());
    EXPECT_TRUE(ui.tray->shown);
    EXPECT_FALSE(ui.journal.contains("ui.quit"));
    EXPECT_EQ(logonValue(), 1u) << "nothing written on No";

    ASSERT_TRUE(frame->toggleMonitoring(true));
    ASSERT_FALSE(probes.pending.empty());
    frame->requestExit();
    EXPECT_EQ(prompter.messages.back().text, loadString(sid::ConfirmExitWhileMonitoring));
    EXPECT_TRUE(frame->running());
    EXPECT_TRUE(loop.hasTimer(engine(), timers::Poll));

    frame->requestExit();
    EXPECT_TRUE(frame->closed());
    EXPECT_FALSE(loop.hasTimer(engine(), timers::Poll));
    const Journal &j = ui.journal;
    EXPECT_LT(j.indexOf("tray.remove"), j.indexOf("dialog.destroy"));
    EXPECT_LT(j.indexOf("dialog.destroy"), j.indexOf("sockets.cleanup"));
    EXPECT_LT(j.indexOf("sockets.cleanup"), j.indexOf("ui.quit"));
    loop.runPosted();
    EXPECT_TRUE(probes.pending.empty()) << "pending probes are destroyed from the loop";
    EXPECT_TRUE(FrameTestPeer::ports(*frame).empty());
    EXPECT_EQ(logonValue(), 0u);
}

TEST_F(MainFrame, aNewTaskbarReaddsTheIconAndSetsLogon)
{
    makeProgramKey();
    ui.trayAvailable = false;
    makeFrame();
    // No tray at first: modifications are skipped until an add succeeds.
    engine()->refreshTrayState();
    EXPECT_EQ(ui.tray->modifications, 0);

    ui.tray->available = true;
    frame->onTaskbarCreated();
    EXPECT_TRUE(ui.tray->shown);
    EXPECT_EQ(ui.tray->icon, 146u);
    EXPECT_EQ(logonValue(), 1u);
    engine()->refreshTrayState();
    EXPECT_EQ(ui.tray->modifications, 1);
}

TEST_F(MainFrame, aFailedSocketStartShowsTheMessageAndEnds)
{
    sockets.startupWorks = false;
    makeFrame(false, "", false);
    EXPECT_FALSE(frame->create());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Winsockの初期化に失敗しました。");
    EXPECT_EQ(prompter.messages[0].style, mb::Ok);
    EXPECT_FALSE(ui.journal.contains("tray.create"));
    EXPECT_FALSE(ui.journal.contains("dialog.create"));
}

// How the tip is cut (UTF-16 units, never half a character) is
// TrayTip.namesAsManyFailingEntriesAsFit...'s; here that the frame cuts its
// tip to the 127 units the notification area shows.
TEST_F(MainFrame, trayTipIsCutAt127Utf16UnitsAndTheHostNameFallsBack)
{
    // "デバイス " is 5 units (13 bytes); a long target pushes the tip over.
    makeFrame(false, std::string(200, 'h'));
    EXPECT_EQ(ui.tray->tip, "デバイス " + std::string(122, 'h'));
    // An unknown host name of our own: loopback.
    sockets.hostNameWorks = false;
    makeFrame();
    EXPECT_EQ(frame->localHostName(), "127.0.0.1");
}

// The hidden dialog's list is left alone while checks report (nobody sees
// it, and every write costs the loop), and shows every row as its entry
// stands the moment it is shown; shown, it follows every result again.
TEST_F(MainFrame, aHiddenListIsWrittenOnlyWhenItIsShown)
{
    storeConfiguration({{80, GenericTcp, 1}, {81, GenericTcp, 1}, {82, GenericTcp, 0}});
    makeFrame(true);
    ui.dialog->rowWrites = 0;
    loop.advance(2000);
    ASSERT_TRUE(frame->running());
    probes.finishAll(true, 7);
    loop.advance(5000);
    probes.finishAll(false);
    loop.runPosted();
    EXPECT_EQ(ui.dialog->rowWrites, 0);

    // The texts and ticks as the entries stand; the images as a list shown
    // all along would have them (a failure the retry rule tolerates shows
    // its image over the row).
    const auto expectRowsAsEntries = [this](int image) {
        ASSERT_EQ(ui.dialog->rows.size(), frame->entryCount());
        for (std::size_t i = 0; i < frame->entryCount(); ++i) {
            EntryView view = frame->entryView(i);
            if (!frame->historyAvailable())
                view.uptimeDay = -1;
            const RowContent want = rowContent(view);
            EXPECT_EQ(ui.dialog->rows[i].texts, want.texts) << "row " << i;
            EXPECT_EQ(ui.dialog->rows[i].ticked, want.ticked) << "row " << i;
            EXPECT_EQ(ui.dialog->rows[i].image, i < 2 ? image : want.image) << "row " << i;
        }
    };
    frame->onCommand(res::CmdToggleDialog);
    ASSERT_TRUE(ui.dialog->visible);
    expectRowsAsEntries(ImageError);

    ui.dialog->rowWrites = 0;
    loop.advance(5000);
    probes.finishAll(true, 9);
    loop.runPosted();
    EXPECT_GT(ui.dialog->rowWrites, 0);
    expectRowsAsEntries(ImageOk);

    // Hidden again: nothing is written until it shows.
    frame->onCommand(res::CmdToggleDialog);
    ui.dialog->rowWrites = 0;
    loop.advance(5000);
    probes.finishAll(false);
    loop.runPosted();
    EXPECT_EQ(ui.dialog->rowWrites, 0);
    frame->showMainDialog();
    expectRowsAsEntries(ImageError);
    loop.advance(5000);
    EXPECT_EQ(ui.dialog->rows[0].image, ImageChecking);
}

TEST_F(MainFrame, trayMenuCommandsReachTheFrame)
{
    makeFrame({{80, GenericTcp, 1}});
    frame->onCommand(res::CmdToggleDialog);
    EXPECT_FALSE(ui.dialog->visible);
    frame->onCommand(res::CmdToggleDialog);
    EXPECT_TRUE(ui.dialog->visible);

    frame->onCommand(res::CmdToggleMonitoring);
    EXPECT_TRUE(frame->running());
    EXPECT_TRUE(ui.tray->checked[res::CmdToggleMonitoring]);
    EXPECT_TRUE(ui.dialog->monitoring());

    frame->onCommand(res::CmdAbout);
    EXPECT_TRUE(ui.journal.contains("about.show"));

    // The Channels item opens the Channels dialog of the main dialog, once
    // at a time: the tray's command while it is open does nothing.
    ui.dialog->channels = [&](ChannelsForm &) {
        frame->onCommand(res::CmdChannels);
        return false;
    };
    frame->onCommand(res::CmdChannels);
    EXPECT_EQ(ui.dialog->channelsRuns, 1);

    // The exit item leads to the exit question.
    prompter.answers = {mb::IdNo};
    frame->onCommand(res::CmdExit);
    EXPECT_EQ(prompter.messages.back().caption, "Lumivane");
}

} // namespace
} // namespace vigilon::test
