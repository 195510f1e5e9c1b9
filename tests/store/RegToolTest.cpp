// SPDX-License-Identifier: MIT
// vigilon-reg, run as the real program on a store file: the program's own
// load reading what the tool wrote, its question while another connection
// writes, and its word about a running Vigilon.
#include "store/InstanceLock.h"
#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/store/RegToolFixture.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vigilon {
namespace {

using reg::Status;
using ProgramResult = test::RunResult;
const std::string &kNotFound = test::RegToolFixture::kNotFound;

class RegToolTest : public test::RegToolFixture {
protected:
    // Runs the tool with standard input on a pipe; answer is written once
    // the question has shown, after whileAsking ran.
    int regAsking(std::vector<std::string> args, const std::string &answer, const std::function<void()> &whileAsking)
    {
        args.insert(args.begin(), tool_);
        test::ChildProcess tool(args, {"VIGILON_REGISTRY=" + file()}, true);
        const auto asked = [&] { return tool.standardOutput().find("(Yes/No)?") != std::string::npos; };
        EXPECT_TRUE(test::waitUntil(asked, 5000)) << tool.standardOutput();
        whileAsking();
        EXPECT_TRUE(tool.finishInput(answer));
        return tool.waitForExit(10000);
    }
};

TEST_F(RegToolTest, SeedsAConfigurationThatTheProgramLoads)
{
    // Each value as added and as the query lists it, in the order added.
    const std::vector<std::tuple<std::string, std::string, std::string, std::string>> values = {
        {"Port Count", "REG_DWORD", "1", "0x1"}, {"Interval", "REG_DWORD", "0x1e", "0x1e"},
        {"Target", "REG_EXPAND_SZ", "db.example", "db.example"}, {"Port #0", "REG_DWORD", "5432", "0x1538"},
        {"Protocol #0", "REG_DWORD", "0", "0x0"}, {"Threshold #0", "REG_DWORD", "250", "0xfa"},
        {"PortName #0", "REG_EXPAND_SZ", "TCP(5432)", "TCP(5432)"},
        {"Service #0", "REG_SZ", "page-oncall %TARGET%", "page-oncall %TARGET%"},
        {"Action #0", "REG_DWORD", "1", "0x1"}, {"Active #0", "REG_DWORD", "1", "0x1"}};
    std::string listed = "\nHKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor\n";
    for (const auto &[name, type, given, listedAs] : values) {
        add(kMonitor, name, type, given);
        listed += "    " + name + "    " + type + "    " + listedAs + "\n";
    }
    ProgramResult run = reg({"query", "HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, listed + "\n");

    {
        auto store = reg::SqliteRegistry::open(file());
        ASSERT_TRUE(store);
        std::string target = "127.0.0.1";
        Status status = Status::Ok;
        LoadedSettings loaded = loadSettings(*store, true, target, &status);
        EXPECT_EQ(status, Status::Ok);
        EXPECT_EQ(target, "db.example");
        EXPECT_EQ(std::pair(loaded.intervalSeconds, loaded.retryLimit), std::pair(30u, 1u)); // retry: its default
        ASSERT_EQ(loaded.ports.size(), 1u);
        const MonitorPort &e = *loaded.ports[0];
        EXPECT_EQ(std::tie(e.port, e.threshold, e.name, e.command),
                  std::make_tuple(5432u, 250u, std::string("TCP(5432)"), std::string("page-oncall %TARGET%")));

        // What the program saves, the tool shows, under the value's stored spelling.
        ASSERT_EQ(test::storePorts(*store, {{6543, 0, 1, 250, "page-oncall %TARGET%", "TCP(5432)"}}, 30, 2, target),
                  Status::Ok);
    }
    run = reg({"query", "hklm\\software\\ardentis\\vigilon\\monitor", "/v", "PORT #0"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "\nHKEY_LOCAL_MACHINE\\software\\ardentis\\vigilon\\monitor\n    Port #0    REG_DWORD    0x198f\n\n");

    // A value deleted is gone; the load that then skips the entry is
    // SettingsTest.EntryWithAMissingValueIsSkippedAndTheListClosesUp's.
    run = reg({"delete", kMonitor, "/v", "Action #0", "/f"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kOk);
    EXPECT_EQ(queried("Action #0"), "(none)");

    // The key deleted is gone. That its values and subkeys go along is
    // SettingsTest.KeysAreDeletedWithEverythingBelowThem's, what a query of
    // it then says RegToolErrorTest.FailsWithOneLineAndStatusOne/MissingKey's.
    run = reg({"delete", kMonitor, "/f"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(reg({"query", kMonitor}).status, 1);
}

// The request values of an HTTP entry: set with the tool, read by the
// program's load, written back by its save as the tool shows them, and
// carried whole from store to store by export and import.
TEST_F(RegToolTest, RequestValuesGoBetweenTheToolTheProgramAndRegFiles)
{
    addEntry(0, "8080", "3", "HTTP (8080)");
    addAll({{"Port Count", "REG_DWORD", "1"}, {"Path #0", "REG_SZ", "/health?deep=1"}, {"Method #0", "REG_DWORD", "1"},
            {"Redirects #0", "REG_DWORD", "1"}, {"Content Rule #0", "REG_SZ", "regex:^ok$"}});
    HttpRequest changed;
    loadEditSave(1, [&](LoadedSettings &loaded) {
        const HttpRequest &request = loaded.ports[0]->request;
        EXPECT_EQ(std::tie(request.method, request.path, request.followRedirects),
                  std::make_tuple(std::uint32_t(MethodGet), std::string("/health?deep=1"), true));
        EXPECT_EQ(request.contentRule.kind(), ContentRule::Regex);
        changed = request;
        changed.method = MethodPost;
        changed.headers = "Content-Type: text/plain\nX-A: 1";
        changed.body = "ping";
        changed.followRedirects = false;
        loaded.ports[0]->request = changed;
    });
    EXPECT_EQ(queried("Method #0"), shown("Method #0", "REG_DWORD", "0x2"));
    EXPECT_EQ(queried("Body #0"), shown("Body #0", "REG_SZ", "ping"));
    EXPECT_EQ(queried("Redirects #0"), "(none)"); // back at its default: gone

    const LoadedSettings loaded = throughRegFile();
    ASSERT_EQ(loaded.ports.size(), 1u);
    EXPECT_EQ(loaded.ports[0]->request, changed);
}

// Basic authentication's values: the user and the password, a secret,
// added by the tool and read by the program; a save that leaves them alone
// writes neither, one that clears the password removes it, and the
// values go through export and import.
TEST_F(RegToolTest, CredentialsGoBetweenTheToolTheProgramAndRegFiles)
{
    addEntry(0, "443", "4", "HTTPS (443)");
    addAll({{"Port Count", "REG_DWORD", "1"}, {"User #0", "REG_SZ", "monitor"}, {"Password #0", "REG_SZ", "s3cr:t pass"}});
    loadEditSave(1, [&](LoadedSettings &loaded) {
        EXPECT_EQ(std::tie(loaded.ports[0]->request.user, loaded.ports[0]->request.password),
                  std::tuple("monitor", "s3cr:t pass"));
        EXPECT_EQ(checkRequest(loaded.ports[0]->request), RequestProblem::None);
        // Another path leaves the credentials as stored.
        loaded.ports[0]->request.path = "/login";
        ASSERT_EQ(reg({"delete", kMonitor, "/v", "User #0", "/f"}).status, 0);
    });
    EXPECT_EQ(queried("User #0"), "(none)");
    // Changed, the user is written; the password stays.
    loadEditSave(1, [](LoadedSettings &loaded) { loaded.ports[0]->request.user = "ops"; });
    EXPECT_EQ(queried("User #0"), shown("User #0", "REG_SZ", "ops"));
    EXPECT_NE(queried("Password #0").find("    Password #0    REG_SZ    "), std::string::npos);
    // The file holds the password as the store does: its user's alone,
    // even where a file readable by others was there before.
    const std::string exported = dir_ / "monitor.reg";
    std::ofstream(exported) << "old";
    namespace fs = std::filesystem;
    fs::permissions(exported, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::others_read);
    ASSERT_EQ(reg({"export", exported}).status, 0);
    EXPECT_EQ(fs::status(exported).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    const std::string other = dir_ / "other.sqlite";
    ASSERT_EQ(runTool(other, {"import", exported}).status, 0);
    // Both emptied, both are removed.
    loadEditSave(1, [](LoadedSettings &loaded) {
        EXPECT_EQ(std::tie(loaded.ports[0]->request.user, loaded.ports[0]->request.password),
                  std::tuple("ops", "s3cr:t pass"));
        loaded.ports[0]->request.user.clear();
        loaded.ports[0]->request.password.clear();
    }, other);
    EXPECT_EQ(queried("Password #0", other), "(none)");
    EXPECT_EQ(queried("User #0", other), "(none)");
}

// The DNS values: added by the tool, loaded by the program, saved back
// (an emptied one goes), and through a registry editor's file; the entry
// of a store without them loads with empty ones.
TEST_F(RegToolTest, DnsValuesGoBetweenTheToolTheProgramAndRegFiles)
{
    addEntry(0, "53", "7", "DNS (53) example.com MX");
    addEntry(1, "53", "1", "UDP (53)");
    addAll({{"Port Count", "REG_DWORD", "2"}, {"DNS Name #0", "REG_SZ", "example.com"}, {"DNS Type #0", "REG_SZ", "MX"},
            {"DNS Expect #0", "REG_SZ", "=10 mail.example.com"}});
    loadEditSave(2, [](LoadedSettings &loaded) {
        const MonitorPort &dns = *loaded.ports[0];
        EXPECT_EQ(std::tie(dns.protocol, dns.dnsName, dns.dnsType, dns.dnsExpect),
                  std::make_tuple(std::uint32_t(Dns), std::string("example.com"), std::string("MX"),
                                  std::string("=10 mail.example.com")));
        EXPECT_EQ(std::tie(loaded.ports[1]->dnsName, loaded.ports[1]->dnsType, loaded.ports[1]->dnsExpect),
                  std::make_tuple(std::string(), std::string(), std::string()));
        loaded.ports[0]->dnsType = "NS";
        loaded.ports[0]->dnsExpect.clear();
    });
    EXPECT_EQ(queried("DNS Type #0"), shown("DNS Type #0", "REG_SZ", "NS"));
    EXPECT_EQ(queried("DNS Expect #0"), "(none)"); // emptied: gone
    EXPECT_EQ(queried("DNS Name #1"), "(none)") << "the other entry got none of them";

    const LoadedSettings loaded = throughRegFile();
    ASSERT_EQ(loaded.ports.size(), 2u);
    EXPECT_EQ(std::tie(loaded.ports[0]->dnsName, loaded.ports[0]->dnsType, loaded.ports[0]->dnsExpect),
              std::make_tuple(std::string("example.com"), std::string("NS"), std::string()));
}

// A token written with the tool is used as it is; one the program makes for
// a Push entry without one is what the tool then shows; one that cannot
// stand in a URL is said, by name only.
TEST_F(RegToolTest, PushTokensGoBetweenTheToolAndTheProgram)
{
    addEntry(0, "0", "6", "backup");
    addEntry(1, "0", "6", "sync");
    addEntry(2, "0", "6", "bad");
    addAll({{"Port Count", "REG_DWORD", "3"}, {"Push Token #0", "REG_SZ", "written-with-the-tool-42"},
            {"Push Token #2", "REG_SZ", "has spaces in it, no"}});
    std::string made;
    ::testing::internal::CaptureStderr();
    loadEditSave(3, [&](LoadedSettings &loaded) {
        EXPECT_EQ(loaded.ports[0]->pushToken, "written-with-the-tool-42");
        EXPECT_EQ(loaded.ports[1]->pushToken.size(), 32u);
        EXPECT_TRUE(loaded.tokensMade);
        made = loaded.ports[1]->pushToken;
    });
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("\"Push Token #2\" is not"), std::string::npos) << said;
    EXPECT_EQ(said.find("has spaces"), std::string::npos) << said;
    EXPECT_EQ(queried("Push Token #0"), shown("Push Token #0", "REG_SZ", "written-with-the-tool-42"));
    EXPECT_EQ(queried("Push Token #1"), shown("Push Token #1", "REG_SZ", made));
}

TEST_F(RegToolTest, ListsSubkeysAndAsksBeforeOverwriting)
{
    ASSERT_EQ(reg({"add", "HKLM\\Software\\Ardentis\\Vigilon\\Monitor"}).status, 0);
    ASSERT_EQ(reg({"add", "HKLM\\Software\\Ardentis\\Vigilon\\Graphs", "/f"}).status, 0);
    add("HKLM\\Software\\Ardentis\\Vigilon", "Logon", "REG_DWORD", "4294967295");

    ProgramResult run = reg({"query", "HKLM\\Software\\Ardentis\\Vigilon"});
    EXPECT_EQ(run.out, "\n"
                       "HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\n"
                       "    Logon    REG_DWORD    0xffffffff\n"
                       "\n"
                       "HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Graphs\n"
                       "HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor\n");

    // Without /f and without a yes the value stays.
    run = reg({"add", "HKLM\\Software\\Ardentis\\Vigilon", "/v", "logon", "/t", "REG_DWORD", "/d", "0"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("cancelled"), std::string::npos) << run.out;
    run = reg({"query", "HKLM\\Software\\Ardentis\\Vigilon", "/v", "Logon"});
    EXPECT_NE(run.out.find("0xffffffff"), std::string::npos) << run.out;
    run = reg({"delete", "HKLM\\Software\\Ardentis\\Vigilon"});
    EXPECT_NE(run.out.find("cancelled"), std::string::npos) << run.out;
    EXPECT_EQ(reg({"query", "HKLM\\Software\\Ardentis\\Vigilon\\Graphs"}).status, 0);
}

// While the tool asks, it holds the store in no transaction: another
// connection writes meanwhile.
TEST_F(RegToolTest, AsksBeforeTakingTheStore)
{
    add(kMonitor, "Interval", "REG_DWORD", "7");
    test::OtherConnection other(file());
    const auto writeMeanwhile = [&] {
        EXPECT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        EXPECT_EQ(other.exec("COMMIT"), SQLITE_OK);
    };
    EXPECT_EQ(regAsking({"add", kMonitor, "/v", "Interval", "/t", "REG_DWORD", "/d", "9"}, "y\n", writeMeanwhile), 0);
    EXPECT_NE(reg({"query", kMonitor, "/v", "Interval"}).out.find("REG_DWORD    0x9\n"), std::string::npos);
    EXPECT_EQ(regAsking({"delete", kMonitor, "/v", "Interval"}, "y\n", writeMeanwhile), 0);
    EXPECT_EQ(queried("Interval"), "(none)");
}

// What a failed query says is RegToolErrorTest.MissingKey's.
TEST_F(RegToolTest, QueriesWithoutWritingAndSaysWhenVigilonHoldsTheStore)
{
    test::run({tool_, "query", kMonitor}, {"VIGILON_REGISTRY=" + dir_ / "none/registry.sqlite"});
    EXPECT_FALSE(test::exists(dir_ / "none")) << "the query made the store's folder";

    // The lock a running Vigilon holds on this store.
    add(kMonitor, "Retry", "REG_DWORD", "2");
    test::TempDir runtime;
    const std::vector<std::string> env{"VIGILON_REGISTRY=" + file(), "XDG_RUNTIME_DIR=" + runtime.path()};
    const std::string lock = runtime / (instanceKey(dir_.path() + "/./registry.sqlite") + ".lock");
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ProgramResult result = test::run({tool_, "add", kMonitor, "/v", "Retry", "/t", "REG_DWORD", "/d", "3", "/f"}, env);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("a running Vigilon uses " + file()), std::string::npos) << result.err;
    // A query changes nothing and says nothing of it.
    result = test::run({tool_, "query", kMonitor, "/v", "Retry"}, env);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("    Retry    REG_DWORD    0x3\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "");
    close(fd);
}

// A store path that names no regular file is refused, naming the path,
// before anything opens it: a FIFO would block for ever, a device would be
// chmodded and get a journal. A store made through a link that points
// nowhere is private like any other.
TEST_F(RegToolTest, RefusesStorePathsThatAreNotRegularFiles)
{
    const std::string fifo = dir_ / "fifo", device = dir_ / "null";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> paths{fifo, dir_.path()};
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) // as root only
        paths.push_back(device);
    for (const std::string &path : paths) {
        ASSERT_EQ(chmod(path.c_str(), 0755), 0);
        for (const std::vector<std::string> &args : {std::vector<std::string>{"query", kMonitor},
                                                     {"add", kMonitor, "/v", "Retry", "/t", "REG_DWORD", "/d", "2", "/f"}}) {
            std::vector<std::string> argv{tool_};
            argv.insert(argv.end(), args.begin(), args.end());
            const ProgramResult run = test::run(argv, {"VIGILON_REGISTRY=" + path}, 10000);
            EXPECT_EQ(run.status, 1) << path << " " << args[0];
            EXPECT_EQ(run.err, "ERROR: " + path + " is not a regular file; the store must be one, or a path where "
                                                   "nothing is yet.\n");
            EXPECT_FALSE(test::exists(path + "-journal")) << path;
        }
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u) << path << " was chmodded";
    }

    ASSERT_EQ(symlink((dir_ / "made.sqlite").c_str(), file().c_str()), 0);
    add(kMonitor, "Retry", "REG_DWORD", "2");
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "made.sqlite").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Every printed value is one line, and what was stored can be told from it.
TEST_F(RegToolTest, QueryEscapesControlCharactersAndBackslashes)
{
    add(kMonitor, "PortName #0", "REG_SZ", "a\nb");
    add(kMonitor, "PortName #1", "REG_SZ", "a\\nb\x1b");
    add(kMonitor, "name\tx\\", "REG_SZ", "C:\\x");
    const ProgramResult run = reg({"query", kMonitor});
    EXPECT_EQ(run.out, "\n" + std::string("HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor\n") +
                           "    PortName #0    REG_SZ    a\\nb\n"
                           "    PortName #1    REG_SZ    a\\\\nb\\x1b\n"
                           "    name\\tx\\\\    REG_SZ    C:\\\\x\n\n");
}

struct ErrorCase {
    const char *label;
    std::vector<std::string> args;
    std::string error;
};

class RegToolErrorTest : public RegToolTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(RegToolErrorTest, FailsWithOneLineAndStatusOne)
{
    add("HKLM\\Software\\Present", "Here", "REG_SZ", "yes");
    const ProgramResult run = reg(GetParam().args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind(GetParam().error, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    // Nothing was changed by the failed command.
    const ProgramResult after = reg({"query", "HKLM\\Software\\Present"});
    EXPECT_EQ(after.out, "\nHKEY_LOCAL_MACHINE\\Software\\Present\n    Here    REG_SZ    yes\n\n");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, RegToolErrorTest,
    ::testing::Values(
        ErrorCase{"OtherRoot", {"query", "HKCU\\Software\\Present"}, "ERROR: Invalid key name."},
        ErrorCase{"MissingKey", {"query", "HKLM\\Software\\Absent"}, kNotFound},
        ErrorCase{"MissingValue", {"query", "HKLM\\Software\\Present", "/v", "There"}, kNotFound},
        ErrorCase{"DeleteMissingKey", {"delete", "HKLM\\Software\\Absent", "/f"}, kNotFound},
        ErrorCase{"DeleteMissingValue", {"delete", "HKLM\\Software\\Present", "/v", "There", "/f"}, kNotFound},
        ErrorCase{"NotADword", {"add", "HKLM\\Software\\Present", "/v", "Here", "/t", "REG_DWORD", "/d", "12x", "/f"},
                  "ERROR: Invalid data"},
        ErrorCase{"DwordTooLarge",
                  {"add", "HKLM\\Software\\Present", "/v", "Here", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
                  "ERROR: Invalid data"},
        ErrorCase{"UnknownType", {"add", "HKLM\\Software\\Present", "/v", "Here", "/t", "REG_WHATEVER", "/f"},
                  "ERROR: Invalid data"},
        ErrorCase{"UnknownVerb", {"copy", "HKLM\\Software\\Present"}, "ERROR: Invalid syntax."},
        ErrorCase{"QueryWithForce", {"query", "HKLM\\Software\\Present", "/f"}, "ERROR: Invalid syntax."},
        ErrorCase{"NameWithoutValue", {"add", "HKLM\\Software\\Present", "/v"}, "ERROR: Invalid syntax."},
        ErrorCase{"NoKey", {"query"}, "ERROR: Invalid syntax."}),
    [](const ::testing::TestParamInfo<ErrorCase> &info) { return std::string(info.param.label); });

// Quiet periods written with the tool are what the program loads; what the
// program saves the tool reads back; a text that does not read stays as it
// was stored, and an entry without a quiet period has no such values.
TEST_F(RegToolTest, QuietPeriodsGoBetweenTheToolAndTheProgram)
{
    addEntry(0, "80", "0", "web");
    addEntry(1, "25", "0", "mail");
    addEntry(2, "22", "0", "ssh");
    addAll({{"Port Count", "REG_DWORD", "3"}, {"Quiet Until #0", "REG_DWORD", "4294967295"},
            {"Quiet Windows #0", "REG_SZ", "sun 02:00-04:00,Mon-Fri 23:00-01:00"},
            {"Quiet Windows #1", "REG_SZ", "Sunday 2 to 4"}});
    loadEditSave(3, [](LoadedSettings &loaded) {
        EXPECT_EQ(loaded.ports[0]->quietUntil, kQuietUntilResumed);
        EXPECT_EQ(quietWindowsText(loaded.ports[0]->quietWindows), "Sun 02:00-04:00,Mon-Fri 23:00-01:00");
        EXPECT_TRUE(loaded.ports[1]->quietWindows.empty()) << "not read: no window";
        EXPECT_EQ(loaded.ports[2]->quietUntil, 0);
        // The program sets an hour for ssh and resumes web.
        loaded.ports[0]->quietUntil = 0;
        loaded.ports[2]->quietUntil = 1767229200;
        loaded.ports[2]->quietWindows = {{0x41, 1380, 60}};
    });
    EXPECT_EQ(queried("Quiet Until #0"), "(none)") << "resumed: gone";
    EXPECT_EQ(queried("Quiet Windows #0"), shown("Quiet Windows #0", "REG_SZ", "sun 02:00-04:00,Mon-Fri 23:00-01:00"))
        << "unchanged windows stay as written";
    EXPECT_EQ(queried("Quiet Windows #1"), shown("Quiet Windows #1", "REG_SZ", "Sunday 2 to 4"));
    EXPECT_EQ(queried("Quiet Until #2"), shown("Quiet Until #2", "REG_DWORD", "0x6955c710"));
    EXPECT_EQ(queried("Quiet Windows #2"), shown("Quiet Windows #2", "REG_SZ", "Sat-Sun 23:00-01:00"));
}

} // namespace
} // namespace vigilon
