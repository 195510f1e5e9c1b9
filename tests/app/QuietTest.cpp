// SPDX-License-Identifier: MIT
// Quiet periods on the frame's fakes in virtual time: set from the list's
// menu and the tray's, from the store's weekly windows; a quiet entry is
// checked and its outcomes told, but its failure runs no command and makes
// no notice, and one still failed when its quiet period ends is announced
// then, once.
#include "app/QuietCommands.h"
#include "app/dialogs/MainDialogController.h"
#include "base/Language.h"
#include "base/StringTable.h"
#include "tests/support/DialogVerdict.h"
#include "tests/support/FakeDialogControls.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/FrameFixture.h"

#include <map>

namespace vigilon::test {
namespace {

// What the history and the metrics are told.
struct Told final : CheckObserver {
    std::vector<std::string> lines;
    void checkDone(const CheckOutcome &outcome) override
    {
        static const char *const names[] = {"ok", "warning", "retry", "failed"};
        lines.push_back(std::string(names[int(outcome.result)]) + (outcome.entry->quiet ? " quiet" : ""));
    }
    void outageBegan(const MonitorPort &, const std::string &, std::int64_t, const FailureReason &,
                     bool alertRan) override
    {
        lines.push_back(alertRan ? "down alert" : "down");
    }
    void outageEnded(const MonitorPort &, const std::string &, std::int64_t) override { lines.push_back("up"); }
    void quietChanged(const MonitorPort &entry, const std::string &host, bool quiet, std::int64_t) override
    {
        lines.push_back((quiet ? "quiet " : "loud ") + entry.name + " " + host);
    }
};

class Quiet : public FrameFixture {
protected:
    Quiet()
    {
        ui.makeDialog = [this](DialogFace &, std::shared_ptr<MainDialogController> rules) {
            windows.push_back(std::make_unique<DialogOnRules>(std::move(rules), controls));
            return windows.back().get();
        };
        observers = {&told};
    }
    ~Quiet() override { frame.reset(); }
    MainDialogController &dialog() { return *controls.rules; }
    // The wall clock alone moves on (the timers do not fire).
    void later(std::uint32_t seconds)
    {
        clock.baseSeconds += seconds;
        clock.wallSeconds += seconds;
    }
    std::uint32_t stored(const std::string &name) { return storedDword(registry, kMonitorKey, name, 0); }
    std::vector<std::string> noticeSummaries()
    {
        std::vector<std::string> out;
        for (const auto &notice : ui.tray->notices)
            out.push_back(notice.summary);
        return out;
    }
    bool enabled(ListCommand command, ListSelection selection)
    {
        for (const ListMenuItem &item : dialog().listMenu(selection))
            if (item.command == command)
                return item.enabled;
        return false;
    }

    ScopedLanguage english{Language::English};
    ScopedTimeZone utc{"UTC0"};
    FakeDialogControls controls;
    std::vector<std::unique_ptr<DialogOnRules>> windows;
    Told told;
};

TEST_F(Quiet, aQuietEntryIsCheckedButAlertsNoOneAndIsAnnouncedOnceWhenResumedStillFailed)
{
    makeFrame({{80, GenericTcp, 1, 0, "alert web", "web"}, {25, GenericTcp, 1, 0, "alert mail", "mail"}});
    ASSERT_TRUE(frame->toggleMonitoring(true));
    EXPECT_TRUE(enabled(ListCommand::QuietHour, {0, {0}}));
    EXPECT_FALSE(enabled(ListCommand::Resume, {0, {0}})) << "nothing to resume yet";
    EXPECT_FALSE(enabled(ListCommand::QuietHour, {2, {2}})) << "the placeholder";

    dialog().onListCommand(ListCommand::QuietHour, {0, {0}});
    EXPECT_EQ(stored("Quiet Until #0"), clock.nowSeconds() + 3600) << "kept for the next start";
    EXPECT_EQ(stored("Quiet Until #1"), 0u);
    loop.runPosted();
    EXPECT_EQ(controls.rows[0].texts[0], "web [quiet]");
    EXPECT_EQ(controls.rows[1].texts[0], "mail");
    EXPECT_NE(ui.tray->tip.find("Quiet: web"), std::string::npos) << ui.tray->tip;
    EXPECT_TRUE(enabled(ListCommand::Resume, {0, {0}}));

    // Both fail: the quiet one is checked and recorded, and nothing more.
    for (int round = 0; round < 4; ++round)
        tick({{80, false}, {25, false}});
    EXPECT_EQ(commands, std::vector<std::string>{"alert mail"});
    EXPECT_EQ(noticeSummaries(), std::vector<std::string>{"Failed: mail"});
    EXPECT_EQ(entry(0).status, Failed);
    const auto count = [this](const std::string &line) { return std::count(told.lines.begin(), told.lines.end(), line); };
    EXPECT_EQ(count("failed quiet"), 3) << "every check of the quiet entry is told";
    EXPECT_EQ(count("retry quiet"), 1);
    EXPECT_EQ(count("down"), 1) << "its outage is recorded, without an alert";
    EXPECT_EQ(count("down alert"), 1);

    // Resumed while still failed: one announcement, as a declared failure.
    dialog().onListCommand(ListCommand::Resume, {0, {0}});
    loop.runPosted();
    EXPECT_EQ(stored("Quiet Until #0"), 0u);
    EXPECT_EQ(controls.rows[0].texts[0], "web");
    EXPECT_EQ(commands, (std::vector<std::string>{"alert mail", "alert web"}));
    // The notice goes with the changes of the round under way.
    tick({{80, false}, {25, false}});
    EXPECT_EQ(noticeSummaries(), (std::vector<std::string>{"Failed: mail", "Failed: web"}));
    for (int round = 0; round < 3; ++round)
        tick({{80, false}, {25, false}});
    EXPECT_EQ(commands.size(), 2u) << "said once";
    EXPECT_EQ(ui.tray->notices.size(), 2u);
    tick({});
    EXPECT_EQ(noticeSummaries().back(), "2 ports changed") << "both recoveries are said";
    EXPECT_EQ(count("loud web 127.0.0.1"), 1);
}

TEST_F(Quiet, aRecoveryWhileQuietIsNotSaidAndTheTraysCommandsQuietEveryEntry)
{
    makeFrame({{80, GenericTcp, 1, 0, "alert web", "web"}, {25, GenericTcp, 1, 0, "", "mail"}});
    ASSERT_TRUE(frame->toggleMonitoring(true));
    tick({{80, false}});
    tick({{80, false}});
    ASSERT_EQ(noticeSummaries(), std::vector<std::string>{"Failed: web"});
    frame->onCommand(res::CmdQuietAllUntilResumed);
    EXPECT_EQ(stored("Quiet Until #0"), 0xFFFFFFFFu);
    EXPECT_EQ(stored("Quiet Until #1"), 0xFFFFFFFFu);
    tick({});
    EXPECT_EQ(ui.tray->notices.size(), 1u) << "no recovery is said while quiet";
    frame->onCommand(res::CmdResumeAll);
    tick({});
    EXPECT_EQ(ui.tray->notices.size(), 1u) << "answering when resumed: nothing to announce";
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(stored("Quiet Until #1"), 0u);
}

TEST_F(Quiet, aQuietPeriodEndsByItselfAndOneSetByHandOutlivesARestart)
{
    storeConfiguration({{80, GenericTcp, 1, 0, "alert web", "web"}});
    ASSERT_EQ(registry.openKey(kMonitorKey, reg::KeySetValue)
                  ->setValue("Quiet Until #0", reg::RegDword, reg::dwordBytes(clock.nowSeconds() + 600)),
              reg::Status::Ok);
    makeFrame();
    EXPECT_EQ(controls.rows[0].texts[0], "web [quiet]") << "quiet before monitoring starts";
    ASSERT_TRUE(frame->toggleMonitoring(true));
    for (int round = 0; round < 3; ++round)
        tick({{80, false}});
    EXPECT_TRUE(commands.empty());
    later(600);
    tick({{80, false}});
    EXPECT_EQ(commands, std::vector<std::string>{"alert web"}) << "announced as the period ended";
    tick({{80, false}});
    EXPECT_EQ(noticeSummaries(), std::vector<std::string>{"Failed: web"});
    tick({{80, false}});
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(ui.tray->notices.size(), 1u);
}

TEST_F(Quiet, aWeeklyWindowFromTheStoreQuietsTheEntryWhileItLasts)
{
    storeConfiguration({{80, GenericTcp, 1, 0, "alert web", "web"}});
    // The clock stands at Thursday 1 January 2026, 00:00 UTC.
    ASSERT_EQ(registry.openKey(kMonitorKey, reg::KeySetValue)
                  ->setValue("Quiet Windows #0", reg::RegSz, reg::stringBytes("Wed-Thu 23:30-00:10")),
              reg::Status::Ok);
    makeFrame();
    EXPECT_EQ(frame->entryView(0).quietWindows, "Wed-Thu 23:30-00:10");
    ASSERT_TRUE(frame->toggleMonitoring(true));
    for (int round = 0; round < 3; ++round)
        tick({{80, false}});
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(ui.tray->notices.empty());
    later(10 * 60);
    tick({{80, false}});
    EXPECT_EQ(commands, std::vector<std::string>{"alert web"});
    // Saving leaves the stored text as it was read.
    frame->saveSettings();
    EXPECT_EQ(storedString(registry, kMonitorKey, "Quiet Windows #0"), "Wed-Thu 23:30-00:10");
}

// The port settings dialog's row: it opens on the entry's windows, OK
// keeps them in their one written form, and a text that does not read is
// refused with the item that does not, the field focused; what the dialog
// accepts is the entry's and the store's.
TEST_F(Quiet, theDialogsRowEditsTheWeeklyWindows)
{
    FakePrompter prompter;
    PortSettingsForm form;
    form.port = 80;
    form.quietWindows = "Sun 02:00-04:00";
    FakePortSettingsControls c;
    form.init(c);
    EXPECT_EQ(c.quietWindows.value, "Sun 02:00-04:00");
    c.quietWindows.value = " sun 02:00-04:00 , mon-fri 23:00-01:00";
    EXPECT_TRUE(form.onOk(c, prompter));
    EXPECT_EQ(form.quietWindows, "Sun 02:00-04:00,Mon-Fri 23:00-01:00");
    c.quietWindows.value = "Sun 02:00-04:00,weekends";
    EXPECT_FALSE(form.onOk(c, prompter));
    expectVerdict(prompter, c.quietWindows,
                  "The quiet times cannot be read: \"weekends\"\r\nWrite days and a time range, such as "
                  "Sun 02:00-04:00,Mon-Fri 12:00-13:00.");

    PortSettingsAnswer answer{&prompter};
    answer.quietWindows = "daily 12:00-13:00";
    controls.portSettings = std::ref(answer);
    makeFrame({{80, GenericTcp, 1, 0, "", "web"}});
    dialog().onListCommand(ListCommand::Edit, {0, {0}});
    EXPECT_EQ(answer.opened.quietWindows.value, "");
    EXPECT_EQ(storedString(registry, kMonitorKey, "Quiet Windows #0"), "Daily 12:00-13:00");
    answer.quietWindows = "";
    dialog().onListCommand(ListCommand::Edit, {0, {0}});
    EXPECT_EQ(answer.opened.quietWindows.value, "Daily 12:00-13:00");
    EXPECT_EQ(storedString(registry, kMonitorKey, "Quiet Windows #0"), "") << "none: no value";
}

} // namespace
} // namespace vigilon::test
