// SPDX-License-Identifier: MIT
// Desktop notifications of failures and recoveries, the tray tip naming the
// failing entries, and the main dialog's boxes for notifications and
// autostart, on the frame's fakes in virtual time.
#include "app/Notifications.h"
#include "base/Language.h"
#include "base/StringTable.h"
#include "app/dialogs/MainDialogController.h"
#include "tests/support/FakeDialogControls.h"
#include "tests/support/FrameFixture.h"

#include <algorithm>

namespace vigilon::test {
namespace {

class Notifications : public FrameFixture {
protected:
    ScopedLanguage english{Language::English};
    void start(const std::vector<StoredPort> &entries)
    {
        makeFrame(entries, 5, 1);
        ASSERT_TRUE(frame->toggleMonitoring(true));
    }
    const std::vector<FakeTray::Notice> &notices() { return ui.tray->notices; }
};

TEST_F(Notifications, aRoundsFailuresMakeOneNoticeAndTheirRecoveryAnother)
{
    start({{80, GenericTcp, 1, 0, "", "web"}, {25, GenericTcp, 1, 0, "", "mail"}, {22, GenericTcp, 1}});
    tick({{80, false}, {25, false}});
    EXPECT_TRUE(notices().empty()) << "a tolerated failure says nothing";
    tick({{80, false}, {25, false}});
    ASSERT_EQ(notices().size(), 1u) << "two entries failing in one round make one notice";
    const FakeTray::Notice &failed = notices()[0];
    EXPECT_EQ(failed.summary, "2 ports changed");
    EXPECT_TRUE(failed.failure);
    EXPECT_NE(failed.body.find("web on 127.0.0.1 failed: "), std::string::npos) << failed.body;
    EXPECT_NE(failed.body.find("mail on 127.0.0.1 failed: "), std::string::npos) << failed.body;
    EXPECT_EQ(failed.body.find("port 22"), std::string::npos);
    // The tip names them while they fail.
    EXPECT_NE(ui.tray->tip.find("Failing: web, mail"), std::string::npos) << ui.tray->tip;

    tick({{80, false}, {25, false}});
    EXPECT_EQ(notices().size(), 1u) << "staying failed says nothing more";
    tick({{25, false}});
    ASSERT_EQ(notices().size(), 2u);
    EXPECT_EQ(notices()[1].summary, "Recovered: web");
    EXPECT_EQ(notices()[1].body, "web on 127.0.0.1 answers again");
    EXPECT_FALSE(notices()[1].failure);
    EXPECT_NE(ui.tray->tip.find("Failing: mail"), std::string::npos) << ui.tray->tip;
    tick({});
    EXPECT_EQ(notices().back().summary, "Recovered: mail");
    EXPECT_EQ(ui.tray->tip.find("Failing"), std::string::npos) << ui.tray->tip;
}

// An entry with a host of its own is named with that host everywhere the
// program names a failure: the notice, the tray tip, the alert ("%TARGET%"
// and VIGILON_TARGET) and the graph window; the others with the target.
TEST_F(Notifications, anEntrysOwnHostIsTheOneNamedInNoticesTipsAlertsAndGraphs)
{
    struct Alert {
        std::string command, host, variable;
    };
    std::vector<Alert> alerts;
    alertRunner = [&alerts](const std::string &command, const std::string &host, const platform::Environment &env) {
        const auto it = std::find_if(env.begin(), env.end(), [](const auto &v) { return v.first == "VIGILON_TARGET"; });
        alerts.push_back({command, host, it == env.end() ? "" : it->second});
        return 0;
    };
    start({{80, GenericTcp, 1, 0, "a %TARGET%", "web", "db.example"}, {25, GenericTcp, 1, 0, "b %TARGET%", "mail"}});
    tick({{80, false}, {25, false}});
    tick({{80, false}, {25, false}});
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_NE(notices()[0].body.find("web on db.example failed: "), std::string::npos) << notices()[0].body;
    EXPECT_NE(notices()[0].body.find("mail on 127.0.0.1 failed: "), std::string::npos) << notices()[0].body;
    EXPECT_NE(ui.tray->tip.find("Failing: web on db.example, mail"), std::string::npos) << ui.tray->tip;
    ASSERT_EQ(alerts.size(), 2u);
    for (const Alert &alert : alerts) {
        const std::string wanted = alert.command[0] == 'a' ? "db.example" : "127.0.0.1";
        EXPECT_EQ(std::tie(alert.host, alert.variable), std::tie(wanted, wanted)) << alert.command;
    }
    for (const auto &[row, host] : {std::pair(0, "db.example"), std::pair(1, "127.0.0.1")}) {
        frame->openResponseMonitor(static_cast<std::size_t>(row));
        EXPECT_EQ(ui.lastParams.targetHost, host);
    }
}

TEST_F(Notifications, theBoxTurnsThemOffAndTheStoreKeepsItOnWhenUnset)
{
    makeFrame({{80, GenericTcp, 1}});
    EXPECT_TRUE(frame->notificationsEnabled()) << "a store without the value has them on";
    FakeDialogControls controls;
    MainDialogController rules(*frame, prompter, MainDialogInit{});
    rules.bind(controls);
    rules.init();
    EXPECT_TRUE(controls.notifyTicked);
    rules.onNotifyToggled(false);
    EXPECT_EQ(storedDword(registry, kMonitorKey, "Notify"), 0u);
    ASSERT_TRUE(frame->toggleMonitoring(true));
    tick({{80, false}});
    tick({{80, false}});
    EXPECT_TRUE(notices().empty());
    EXPECT_NE(ui.tray->tip.find("Failing: port 80"), std::string::npos) << "the tip names it all the same";

    frame.reset();
    makeFrame();
    EXPECT_FALSE(frame->notificationsEnabled()) << "the setting is kept";
}

TEST(NoticeText, changesUndoneWithinARoundCancelAndLongListsAreCounted)
{
    ScopedLanguage japanese(Language::Japanese);
    std::vector<StatusChange> changes;
    addStatusChange(changes, {1, "a", true, FailureReason::of(FailureKind::Refused), ""});
    addStatusChange(changes, {1, "a", false, {}, ""});
    EXPECT_TRUE(changes.empty()) << "failed and back within the round: nothing to say";
    for (std::uint32_t id = 1; id <= 10; ++id)
        addStatusChange(changes, {id, "e" + std::to_string(id), id != 3, FailureReason::of(FailureKind::Refused), ""});
    const DesktopNotice notice = desktopNotice(changes, "srv", 4);
    EXPECT_EQ(notice.summary, "10 件のポートの状態が変わりました");
    EXPECT_EQ(notice.body, "e1 (srv) 応答なし: 接続を拒否されました\r\ne2 (srv) 応答なし: 接続を拒否されました\r\n"
                           "e4 (srv) 応答なし: 接続を拒否されました\r\n\xE2\x80\xA6ほか 7 件")
        << "failures first, the rest counted";
}

// A balloon that holds 255 UTF-16 units (Windows): whole lines only, as
// many as fit with the line that counts the rest, never a line cut in the
// middle of a word; a single line too long for it alone is cut and ends
// with "…".
TEST(NoticeText, aBodyWithALimitHoldsWholeLinesAndCountsTheRest)
{
    ScopedLanguage english{Language::English};
    const TextLimit balloon{255, TextUnit::Utf16Units};
    std::vector<StatusChange> changes;
    for (std::uint32_t id = 1; id <= 12; ++id)
        addStatusChange(changes, {id, "Generic TCP (70" + std::to_string(id + 10) + ")", true,
                                  FailureReason::of(FailureKind::TimedOut), ""});
    const DesktopNotice notice = desktopNotice(changes, "build-server.example", 8, {balloon, balloon});
    const std::string line = "Generic TCP (7011) on build-server.example failed: no answer (timed out)";
    EXPECT_EQ(notice.body.substr(0, line.size() + 2), line + "\r\n");
    const std::string tail = "\r\n\xE2\x80\xA6" "and 9 more";
    ASSERT_GE(notice.body.size(), tail.size());
    EXPECT_EQ(notice.body.substr(notice.body.size() - tail.size()), tail) << notice.body;
    EXPECT_LE(textLength(notice.body, TextUnit::Utf16Units), 255u);
    // Three lines of 73 and the count: a fourth line would not have fitted.
    EXPECT_EQ(std::count(notice.body.begin(), notice.body.end(), '\n'), 3);

    // Without a limit, the 8 lines of a desktop notification.
    EXPECT_NE(desktopNotice(changes, "build-server.example").body.find("\xE2\x80\xA6" "and 5 more"), std::string::npos);

    // One entry whose line alone is too long: cut, with "…" at its end.
    const std::vector<StatusChange> one = {
        {1, std::string(300, 'n'), true, FailureReason::of(FailureKind::Refused), ""}};
    const DesktopNotice cut = desktopNotice(one, "h", 8, {balloon, balloon});
    EXPECT_EQ(textLength(cut.body, TextUnit::Utf16Units), 255u);
    EXPECT_EQ(cut.body, std::string(254, 'n') + "\xE2\x80\xA6");
    EXPECT_EQ(textLength(cut.summary, TextUnit::Utf16Units), 255u) << "the summary cut to its own limit";
}

TEST(TrayTip, namesAsManyFailingEntriesAsFitAndNeverSplitsACharacter)
{
    ScopedLanguage english{Language::English};
    const auto bytes = [](std::size_t n) { return TextLimit{n, TextUnit::Utf8Bytes}; };
    const std::string base = "Device h\r\nMonitoring is running";
    EXPECT_EQ(trayTip(base, {"alpha", "beta"}, bytes(127)), base + "\r\nFailing: alpha, beta");
    const std::string cut = trayTip(base, {"alpha", "beta", "gamma"}, bytes(base.size() + 26));
    EXPECT_EQ(cut, base + "\r\nFailing: alpha, \xE2\x80\xA6");
    EXPECT_LE(trayTip(base, {std::string(200, 'x')}, bytes(127)).size(), 127u);
    const std::string japanese = trayTip(base, {"\xE3\x81\x82\xE3\x81\x82\xE3\x81\x82"}, bytes(base.size() + 15));
    EXPECT_EQ(japanese, base + "\r\nFailing: \xE3\x81\x82") << "cut before a character that does not fit whole";
    EXPECT_EQ(trayTip(base, {}, bytes(10)), base.substr(0, 10));
    // Counted as the system counts: three Japanese characters are three
    // UTF-16 units or characters, a character beyond U+FFFF two units.
    const std::string more = "\xE3\x81\x82\xE3\x81\x82\xE3\x81\x82\xF0\x9F\x98\x80";
    EXPECT_EQ(textLength(more, TextUnit::Utf8Bytes), 13u);
    EXPECT_EQ(textLength(more, TextUnit::Utf16Units), 5u);
    EXPECT_EQ(textLength(more, TextUnit::Characters), 4u);
    const std::size_t lineUnits = base.size() + 11;
    EXPECT_EQ(trayTip(base, {more}, TextLimit{lineUnits + 5, TextUnit::Utf16Units}), base + "\r\nFailing: " + more);
    EXPECT_EQ(trayTip(base, {more}, TextLimit{lineUnits + 4, TextUnit::Utf16Units}),
              base + "\r\nFailing: \xE3\x81\x82\xE3\x81\x82\xE3\x81\x82")
        << "no half of a surrogate pair";
    EXPECT_EQ(trayTip(base, {more}, TextLimit{lineUnits + 4, TextUnit::Characters}), base + "\r\nFailing: " + more);
}

// The service host as a test plays it: it "installs" when told to, or fails
// with what it prints, and reports the state it was left in.
class FakeServiceHost final : public ServiceHostSetup {
public:
    explicit FakeServiceHost(EventLoop &loop) : loop_(loop) {}
    std::string programName() const override { return "vigilsvc"; }
    bool installed() override { return state; }
    bool run(bool install, std::function<void(const Run &)> done) override
    {
        ++runs;
        Run run;
        run.ran = startable;
        run.error = "No such file or directory";
        run.output = printed;
        if (startable && works)
            state = install;
        loop_.post([done, run] { done(run); });
        return true;
    }
    bool leavesThisProgramRunning() const override { return leaves; }
    bool state = false, works = true, startable = true, leaves = false;
    std::string printed;
    int runs = 0;

private:
    EventLoop &loop_;
};

TEST_F(Notifications, theAutostartBoxShowsTheRealStateAndSaysWhyAChangeFailed)
{
    FakeServiceHost host(loop);
    serviceHost = &host;
    host.state = true;
    makeFrame({{80, GenericTcp, 1}});
    FakeDialogControls controls;
    MainDialogController rules(*frame, prompter, MainDialogInit{});
    rules.bind(controls);
    rules.init();
    EXPECT_TRUE(controls.autostartTicked) << "installed before the dialog opened";
    EXPECT_TRUE(controls.autostartEnabled);

    rules.onAutostartToggled(false);
    EXPECT_FALSE(controls.autostartEnabled) << "the box waits for the outcome";
    rules.onAutostartToggled(false);
    EXPECT_EQ(host.runs, 1) << "one change at a time";
    loop.runPosted();
    EXPECT_FALSE(controls.autostartTicked);
    EXPECT_TRUE(controls.autostartEnabled);
    EXPECT_TRUE(prompter.messages.empty());

    host.works = false;
    host.printed = "Unable to install Vigilsvc - Permission denied (0xd)\n";
    rules.onAutostartToggled(true);
    loop.runPosted();
    EXPECT_FALSE(controls.autostartTicked) << "the state the system reports, not the click";
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text,
              "Autostart could not be turned on.\r\nUnable to install Vigilsvc - Permission denied (0xd)");

    host.startable = false;
    host.state = true;
    rules.onAutostartToggled(false);
    loop.runPosted();
    EXPECT_TRUE(controls.autostartTicked);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text,
              "Autostart could not be turned off.\r\nvigilsvc could not be run: No such file or directory");

    host.startable = true;
    host.printed.clear();
    rules.onAutostartToggled(false);
    loop.runPosted();
    EXPECT_EQ(prompter.messages.back().text, "Autostart could not be turned off.\r\nvigilsvc ended, but nothing changed.");

    // Turned off in the Vigilon the service host started, which goes on:
    // said once it is done, and only then.
    host.leaves = true;
    rules.onAutostartToggled(false);
    loop.runPosted();
    EXPECT_EQ(prompter.messages.back().text, "Autostart could not be turned off.\r\nvigilsvc ended, but nothing changed.");
    host.works = true;
    rules.onAutostartToggled(false);
    loop.runPosted();
    EXPECT_FALSE(controls.autostartTicked);
    EXPECT_EQ(prompter.messages.back().text, "Vigilsvc was removed: Vigilon will no longer be started at logon. This "
                                             "Vigilon keeps monitoring until you exit it.");
}

TEST_F(Notifications, withoutAServiceHostTheAutostartBoxIsOffAndDisabled)
{
    makeFrame({{80, GenericTcp, 1}});
    FakeDialogControls controls;
    MainDialogController rules(*frame, prompter, MainDialogInit{});
    controls.autostartEnabled = true;
    rules.bind(controls);
    rules.init();
    EXPECT_FALSE(controls.autostartTicked);
    EXPECT_FALSE(controls.autostartEnabled);
    rules.onAutostartToggled(true);
    EXPECT_FALSE(controls.autostartTicked);
}

} // namespace
} // namespace vigilon::test
