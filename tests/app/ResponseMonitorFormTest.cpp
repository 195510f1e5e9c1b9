// SPDX-License-Identifier: MIT
// The response monitor settings dialog's rules without a toolkit.
#include "base/StringTable.h"
#include "app/dialogs/ResponseMonitorForm.h"
#include "app/platform/FileSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DialogVerdict.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>
#include <utility>

namespace vigilon::test {
namespace {

using Texts = std::vector<std::string>;

// A documents folder as the system would give it.
const std::string kDocs = platform::kPathSeparator == '/' ? "/home/u/docs" : "C:\\Users\\u\\Documents";
std::string inDocs(const std::string &name)
{
    return kDocs + platform::kPathSeparator + name;
}

// A form and the controls of its dialog, opened.
struct Opened {
    explicit Opened(ResponseMonitorForm f = {}) : form(std::move(f)) { form.init(c); }
    ResponseMonitorForm form;
    FakeResponseMonitorControls c;
    FakePrompter prompter;
};

// The dialog opens on the graph's name, opacity and history and proposes
// the entry's own file in the folder given; OK hands back the trackbar's
// position and the length typed.
TEST(ResponseMonitorForm, opensOnTheGraphsValuesAndOkReadsTheControlsBack)
{
    ResponseGraphParams params;
    std::tie(params.seriesNames, params.targetHost, params.alpha, params.maxHistory, params.fileName) =
        std::tuple("HTTP (8080)", "192.0.2.1", 120u, 300u, "stale.csv");
    Opened d(ResponseMonitorForm::forGraph(params, kDocs));
    EXPECT_EQ(std::tie(d.c.portText, d.c.history.value, d.c.alpha, d.c.file.value, d.c.fileEnabled),
              std::tuple("HTTP (8080)", "300", 120, inDocs("192.0.2.1 HTTP (8080).csv"), false));
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
    const std::string range = "10 から 999 までの整数を入力してください。", integer = "整数を入力してください。";
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

    // Ticked: the proposed name kept (null), one without extension or
    // folder, which records in the folder, one with a folder, none.
    const std::string anchored = platform::kPathSeparator == '/' ? "/tmp/x.csv" : "C:\\x.csv";
    const std::pair<const char *, std::string> cases[] = {
        {nullptr, inDocs("h e.csv")}, {"data", inDocs("data")}, {anchored.c_str(), anchored}, {"", ""}};
    for (const auto &[typed, recorded] : cases) {
        ResponseGraphParams named;
        std::tie(named.targetHost, named.seriesNames) = std::tuple("h", "e");
        Opened o(ResponseMonitorForm::forGraph(named, kDocs));
        o.c.record = true;
        if (typed)
            o.c.file.value = typed;
        EXPECT_TRUE(o.form.onOk(o.c, o.prompter));
        ResponseGraphParams params;
        o.form.applyTo(params);
        EXPECT_EQ(std::tie(params.recordToFile, params.fileName), std::tuple(recorded.empty() ? 0u : 1u, recorded));
        EXPECT_TRUE(o.prompter.messages.empty());
    }
}

// Browse asks for a file to save, which may be new, csv by default and
// proposed as the entry's own; the choice replaces the name, a cancel keeps
// it, and a file dialog that cannot be shown says so with the error icon
// and keeps it too.
TEST(ResponseMonitorForm, browseTakesTheFileDialogsChoice)
{
    ResponseGraphParams params;
    params.seriesNames = "PING";
    Opened d(ResponseMonitorForm::forGraph(params, kDocs));
    d.prompter.fileAnswer = "/home/u/data.csv";
    d.form.onBrowse(d.c, d.prompter);
    ASSERT_EQ(d.prompter.fileRequests.size(), 1u);
    const Prompter::FileDialogRequest &r = d.prompter.fileRequests[0];
    EXPECT_EQ(std::tie(r.open, r.title, r.filter, r.defaultExtension, r.initialName),
              std::tuple(false, "データファイルの保存", loadString(sid::RecordFileFilter), "csv", inDocs("PING")));
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

// Every entry its own file: target and name, with what a file name cannot
// hold replaced.
TEST(ResponseMonitorForm, eachEntryProposesAFileOfItsOwn)
{
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"192.0.2.1", "HTTP (80)", "192.0.2.1 HTTP (80)"}, {"192.0.2.1", "HTTP (8080)", "192.0.2.1 HTTP (8080)"},
        {"::1", "Generic TCP (22)", "__1 Generic TCP (22)"}, {"", "a/b\\c*?\"<>|\t.", "a_b_c_______"},
        {"", " . ", "sample"}};
    for (const auto &[target, name, base] : cases)
        EXPECT_EQ(ResponseMonitorForm::fileBaseFor(target, name), base) << name;
}

#ifndef _WIN32
// The documents folder: XDG_DOCUMENTS_DIR as set, or as user-dirs.dirs
// names it, else ~/Documents, else home.
TEST(ResponseMonitorForm, proposesInTheDocumentsFolder)
{
    TempDir dir;
    const std::string home = dir / "home";
    std::filesystem::create_directories(home + "/.config");
    const ScopedEnv env{{"HOME", home}, {"XDG_CONFIG_HOME", std::nullopt}, {"XDG_DOCUMENTS_DIR", std::nullopt}};
    EXPECT_EQ(platform::documentsFolder(), home);
    std::filesystem::create_directories(home + "/Documents");
    EXPECT_EQ(platform::documentsFolder(), home + "/Documents");
    std::filesystem::create_directories(home + "/Dokumente");
    writeFile(home + "/.config/user-dirs.dirs", "# xdg-user-dirs\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(platform::documentsFolder(), home + "/Dokumente");
    const ScopedEnv documents{{"XDG_DOCUMENTS_DIR", dir.path()}};
    ResponseGraphParams params;
    params.seriesNames = "PING";
    EXPECT_EQ(ResponseMonitorForm::forGraph(params).defaultFileBase, dir / "PING");
}
#endif

} // namespace
} // namespace vigilon::test
