// SPDX-License-Identifier: MIT
// The response monitor settings dialog's rules without a toolkit.
#include "app/base/StringTable.h"
#include "app/dialogs/ResponseMonitorForm.h"
#include "tests/support/FakeDialogControls.h"
#include "tests/support/FakePrompter.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

namespace vigilon::test {
namespace {

using Texts = std::vector<std::string>;

// A form and the controls of its dialog, opened.
struct Opened {
    explicit Opened(ResponseMonitorForm f = {}) : form(std::move(f)) { form.init(c); }
    ResponseMonitorForm form;
    FakeResponseMonitorControls c;
    FakePrompter prompter;
};

// The dialog opens on the graph's name, opacity and history and proposes
// sample.csv; OK hands back the trackbar's position and the length typed.
TEST(ResponseMonitorForm, opensOnTheGraphsValuesAndOkReadsTheControlsBack)
{
    ResponseGraphParams params;
    std::tie(params.seriesNames, params.alpha, params.maxHistory, params.fileName) =
        std::tuple("HTTP (8080)", 120u, 300u, "stale.csv");
    Opened d(ResponseMonitorForm::forGraph(params));
    EXPECT_EQ(std::tie(d.c.portText, d.c.history.value, d.c.alpha, d.c.file.value, d.c.fileEnabled),
              std::tuple("HTTP (8080)", "300", 120, "sample.csv", false));
    d.c.alpha = 17;
    d.c.history.value = "0050";
    EXPECT_TRUE(d.form.onOk(d.c, d.prompter));
    d.form.applyTo(params);
    EXPECT_EQ(std::tie(params.alpha, params.maxHistory, params.recordToFile, params.fileName),
              std::tuple(17u, 50u, 0u, ""));
    EXPECT_TRUE(d.prompter.messages.empty());

    // The controls keep stored values within their ranges, however large.
    for (const auto &[stored, history, alpha] : {std::tuple(5u, "10", 5), std::tuple(4000000000u, "999", 255)}) {
        ResponseMonitorForm f;
        f.maxHistory = f.alpha = stored;
        const Opened o(f);
        EXPECT_EQ(std::tie(o.c.history.value, o.c.alpha), std::tuple(history, alpha));
    }
}

// A history length that is no integer from 10 to 999 gets the framework's
// message once, keeps the dialog open with the field focused and its text
// selected, and changes no field.
TEST(ResponseMonitorForm, okRefusesAHistoryOutside10To999AndChangesNothing)
{
    const std::string range = "Please enter an integer between 10 and 999.", integer = "Please enter an integer.";
    // How a number is read is DataExchange's; these are the history's ends.
    const std::pair<const char *, std::string> cases[] = {
        {"9", range}, {"1000", range}, {"-10", range}, {"  ", integer}, {"10", ""}, {" 999 ", ""}};
    for (const auto &[typed, message] : cases) {
        SCOPED_TRACE(typed);
        Opened d;
        d.c.history.value = typed;
        d.c.record = true;
        d.c.alpha = 9;
        const bool ok = message.empty();
        EXPECT_EQ(d.form.onOk(d.c, d.prompter), ok);
        expectVerdict(d.prompter, d.c.history, message);
        const std::uint32_t read = ok ? std::uint32_t(std::stoul(typed)) : 200u;
        EXPECT_EQ(std::tie(d.form.maxHistory, d.form.recordToFile, d.form.alpha),
                  std::tuple(read, ok ? 1u : 0u, ok ? 9u : 200u));
    }
}

// The check box enables the file edit and the browse button and leaves the
// name alone; OK records when it is ticked and the name is not empty, to the
// name as typed.
TEST(ResponseMonitorForm, theCheckBoxEnablesTheFileControlsAndDecidesRecording)
{
    Opened d;
    d.c.record = true;
    d.form.onRecordToggled(d.c);
    EXPECT_TRUE(d.c.fileEnabled);
    d.c.file.value = "/tmp/x.txt";
    d.c.record = false;
    d.form.onRecordToggled(d.c);
    EXPECT_FALSE(d.c.fileEnabled);
    EXPECT_EQ(d.c.file.value, "/tmp/x.txt");
    // Cleared again after a name was chosen: the name is ignored.
    EXPECT_TRUE(d.form.onOk(d.c, d.prompter));
    EXPECT_EQ(std::tie(d.form.recordToFile, d.form.fileName), std::tuple(0u, ""));

    // Ticked: the proposed name kept (null), one without extension, none.
    const std::pair<const char *, const char *> cases[] = {{nullptr, "sample.csv"}, {"data", "data"}, {"", ""}};
    for (const auto &[typed, recorded] : cases) {
        Opened o;
        o.c.record = true;
        if (typed)
            o.c.file.value = typed;
        EXPECT_TRUE(o.form.onOk(o.c, o.prompter));
        ResponseGraphParams params;
        o.form.applyTo(params);
        EXPECT_EQ(std::tie(params.recordToFile, params.fileName), std::tuple(*recorded ? 1u : 0u, recorded));
        EXPECT_TRUE(o.prompter.messages.empty());
    }
}

// Browse asks for a file to open, csv by default and proposed as "sample";
// the choice replaces the name, a cancel keeps it, and a file dialog that
// cannot be shown says so with the error icon and keeps it too.
TEST(ResponseMonitorForm, browseTakesTheFileDialogsChoice)
{
    Opened d;
    d.prompter.fileAnswer = "/home/u/data.csv";
    d.form.onBrowse(d.c, d.prompter);
    ASSERT_EQ(d.prompter.fileRequests.size(), 1u);
    const Prompter::FileDialogRequest &r = d.prompter.fileRequests[0];
    EXPECT_EQ(std::tie(r.open, r.title, r.filter, r.defaultExtension, r.initialName),
              std::tuple(true, "データファイルの保存", loadString(sid::RecordFileFilter), "csv", "sample"));
    EXPECT_EQ(d.c.file.value, "/home/u/data.csv");

    d.prompter.fileAnswer.clear();
    d.form.onBrowse(d.c, d.prompter);
    EXPECT_EQ(d.c.file.value, "/home/u/data.csv");
    d.prompter.fileDialogFails = true;
    d.prompter.fileAnswer = "/elsewhere.csv";
    d.form.onBrowse(d.c, d.prompter);
    ASSERT_EQ(d.prompter.texts(), Texts{"ダイアログ ボックスを開けません。"});
    EXPECT_EQ(d.prompter.messages[0].style, mb::Ok | mb::IconStop);
    EXPECT_EQ(d.c.file.value, "/home/u/data.csv");
}

} // namespace
} // namespace vigilon::test
