// SPDX-License-Identifier: MIT
// The whole program as a user or a service manager runs it: a real vigilon
// process on the offscreen platform or headless, a real store file, real
// servers on loopback and real faults in namespaces of the test's own.
#include "store/posix/SqliteRegistry.h"
#include "history/HistoryFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"
#include "tests/support/TlsServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vigilon::test {
namespace {

namespace fs = std::filesystem;

// What /proc says of a process: open descriptors and resident memory (KiB).
std::size_t openDescriptors(pid_t pid)
{
    std::error_code error;
    const fs::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
    return error ? 0 : static_cast<std::size_t>(std::distance(fds, fs::directory_iterator()));
}

std::size_t residentKiB(pid_t pid)
{
    for (const std::string &line : readLines("/proc/" + std::to_string(pid) + "/status")) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtoul(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

std::size_t occurrences(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

class VigilonProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *bin = std::getenv("VIGILON_BIN");
        if (!bin || !fs::exists(bin))
            GTEST_SKIP() << "VIGILON_BIN does not name the vigilon program";
        binary_ = bin;
        fs::create_directories(dir_ / "runtime");
        fs::permissions(dir_ / "runtime", fs::perms::owner_all);
    }

    // The entries on 127.0.0.1, with Logon set as a start at logon finds it.
    void storeConfig(const std::vector<StoredPort> &entries, std::uint32_t interval = 1, std::uint32_t retry = 1)
    {
        auto registry = reg::SqliteRegistry::open(storePath_);
        ASSERT_TRUE(registry && registry->createKey(kProgramKey));
        ASSERT_EQ(setLogonFlag(*registry, 1), reg::Status::Ok);
        ASSERT_EQ(storePorts(*registry, entries, interval, retry, "127.0.0.1"), reg::Status::Ok);
    }

    std::string binary_;
    TempDir dir_;
    std::string storePath_ = dir_ / "registry.sqlite";
    // The environment of a run on the offscreen platform.
    const std::vector<std::string> offscreen_ = {"QT_QPA_PLATFORM=offscreen", "VIGILON_REGISTRY=" + storePath_,
                                                 "XDG_RUNTIME_DIR=" + dir_ / "runtime", "TZ=UTC"};
};

// Without a display: help, version and a wrong option answer at once; an
// interactive start says it needs a desktop; a service start monitors
// headless and ends in order on SIGTERM.
TEST_F(VigilonProcess, withoutADisplayAndEndedBySigterm)
{
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                                "VIGILON_REGISTRY=" + storePath_,
                                                "XDG_RUNTIME_DIR=" + dir_ / "runtime"};
    for (const char *option : {"--help", "--version"})
        EXPECT_EQ(ChildProcess({binary_, option}, noDisplay).waitForExit(10000), 0) << option;
    ChildProcess bogus({binary_, "--bogus", "--version"}, noDisplay);
    EXPECT_EQ(bogus.waitForExit(10000), 2);
    EXPECT_NE(bogus.output().find("unknown option --bogus"), std::string::npos) << bogus.output();
    EXPECT_NE(bogus.output().find("Usage: vigilon"), std::string::npos) << bogus.output();
    // A blank inside an argument starts no other switch.
    for (const char *interactive : {"-h", "-t127.0.0.2", "-tx --version"}) {
        ChildProcess start({binary_, interactive}, noDisplay);
        EXPECT_EQ(start.waitForExit(10000), 1) << interactive;
        EXPECT_NE(start.output().find("no graphical session"), std::string::npos) << start.output();
    }

    // On an empty store, and without a runtime folder, which Qt would
    // complain about: it says what to do to watch something.
    std::vector<std::string> bare = noDisplay;
    bare.back() = "XDG_RUNTIME_DIR=";
    ChildProcess empty({binary_, "-service"}, bare);
    EXPECT_TRUE(empty.waitForOutput("vigilon-reg(1)", 15000)) << empty.output();
    EXPECT_NE(empty.output().find("no entry is configured"), std::string::npos) << empty.output();
    EXPECT_EQ(empty.output().find("QStandardPaths"), std::string::npos) << empty.output();
    EXPECT_EQ(empty.terminate(), 0) << empty.output();

    // SIGTERM ends it in order: Logon is cleared, the configuration kept.
    TcpServer server(TcpServer::Answer);
    storeConfig({{server.port(), GenericTcp, 1, 0, "", "entry0"}}, 1, 2);
    ChildProcess service({binary_, "-service"}, noDisplay);
    EXPECT_TRUE(service.waitForOutput("entry0: Ok", 15000)) << service.output();
    EXPECT_EQ(service.terminate(), 0) << service.output();
    auto registry = reg::SqliteRegistry::open(storePath_);
    ASSERT_TRUE(registry);
    EXPECT_EQ(storedDword(*registry, kProgramKey, kLogonValue), 0u);
    EXPECT_EQ(storedDword(*registry, kMonitorKey, "Port Count"), 1u);
    EXPECT_EQ(storedDword(*registry, kMonitorKey, "Retry"), 2u);
    EXPECT_EQ(storedDword(*registry, kMonitorKey, "Port #0"), server.port());

    // The checks are in the history beside the store, written by the end.
    history::HistoryFile kept;
    std::string said;
    ASSERT_EQ(kept.open(dir_ / "history.db", said), history::HistoryFile::Opened::Ok) << said;
    const std::int64_t series = kept.findSeries({"entry0", "127.0.0.1", server.port(), GenericTcp});
    ASSERT_NE(series, 0);
    std::uint32_t checks = 0, answered = 0;
    kept.hourCounts(0, [&](std::int64_t of, std::int64_t, std::uint32_t count, std::uint32_t ok) {
        checks += of == series ? count : 0;
        answered += of == series ? ok : 0;
    });
    EXPECT_GE(checks, 1u);
    EXPECT_EQ(answered, checks);
}

// The display goes before the program was told that the session ends (the
// X server ends with it): Qt leaves at once with its own status, and the
// program still ends in order.
TEST_F(VigilonProcess, aLostDisplayStillEndsInOrder)
{
    if (!fs::exists("/usr/bin/Xvfb"))
        GTEST_SKIP() << "needs Xvfb";
    ChildProcess xvfb({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp"});
    ASSERT_TRUE(waitUntil([&] { return xvfb.standardOutput().find('\n') != std::string::npos; }, 10000))
        << xvfb.output();
    const std::string display = ":" + xvfb.standardOutput().substr(0, xvfb.standardOutput().find('\n'));
    storeConfig({{7, GenericTcp, 0, 0, "", "idle"}});
    ChildProcess vigilon({binary_, "-t127.0.0.9"},
                         {"DISPLAY=" + display, "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb",
                          "VIGILON_REGISTRY=" + storePath_, "XDG_RUNTIME_DIR=" + dir_ / "runtime"});
    // Up once it serves later starts.
    const auto serves = [&] {
        for (const auto &entry : fs::directory_iterator(dir_ / "runtime")) {
            if (entry.path().extension() == ".sock")
                return true;
        }
        return false;
    };
    ASSERT_TRUE(waitUntil(serves, 15000)) << vigilon.output();
    xvfb.signal(SIGTERM);
    EXPECT_EQ(vigilon.waitForExit(10000), 1) << vigilon.output();
    auto registry = reg::SqliteRegistry::open(storePath_);
    ASSERT_TRUE(registry);
    EXPECT_EQ(storedDword(*registry, kProgramKey, kLogonValue), 0u);
    auto key = registry->openKey(kMonitorKey, reg::KeyQueryValue);
    reg::Value target;
    ASSERT_TRUE(key && key->queryValue("Target", target) == reg::Status::Ok);
    EXPECT_EQ(reg::stringFromValue(target), "127.0.0.9") << "the settings are saved";
}

// A stored retry limit the main dialog would refuse with a box: the start
// never waits on it, checks run, and SIGTERM ends the program.
TEST_F(VigilonProcess, aStoredRetryLimitOutOfRangeNeverHoldsTheStartUp)
{
    TcpServer server(TcpServer::Answer);
    storeConfig({{server.port(), GenericTcp, 1, 0, "", "entry0"}}, 1, 0xFFFFFFFF);
    ChildProcess service({binary_, "-service"}, offscreen_);
    EXPECT_TRUE(service.waitForOutput("entry0: Ok", 15000)) << service.output();
    EXPECT_NE(service.output().find("retry limit of 4294967295 is outside 1..5; using 5"), std::string::npos);
    EXPECT_EQ(service.terminate(), 0) << service.output();
}

// A session bus that takes connections and never answers (a stopped bus
// daemon does the same), and one that takes none: monitoring starts all the
// same, the silent bus is named once, and SIGTERM ends the program in order.
TEST_F(VigilonProcess, aSessionBusThatNeverAnswersHoldsNothingUp)
{
    const std::string silentPath = dir_ / "silent-bus";
    const int silent = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(silentPath.size(), sizeof address.sun_path);
    silentPath.copy(address.sun_path, silentPath.size());
    ASSERT_EQ(bind(silent, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    // Connections complete in the kernel's queue; none is ever taken.
    ASSERT_EQ(listen(silent, 16), 0);
    // Qt itself asks the bus about a tray when it makes the icon on X11.
    std::string display;
    std::unique_ptr<ChildProcess> xvfb;
    if (fs::exists("/usr/bin/Xvfb")) {
        xvfb = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp"});
        if (waitUntil([&] { return xvfb->standardOutput().find('\n') != std::string::npos; }, 10000))
            display = ":" + xvfb->standardOutput().substr(0, xvfb->standardOutput().find('\n'));
    }
    TcpServer server(TcpServer::Answer);
    storeConfig({{server.port(), GenericTcp, 1, 0, "", "entry0"}});
    for (const std::string &bus : {"unix:path=" + silentPath, "unix:path=" + dir_ / "no-bus"}) {
        for (const bool onX11 : {false, true}) {
            if (onX11 && display.empty())
                continue;
            std::vector<std::string> env = offscreen_;
            env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
            if (onX11) {
                env.push_back("QT_QPA_PLATFORM=xcb");
                env.push_back("DISPLAY=" + display);
            }
            ChildProcess vigilon({binary_, "-service", "--verbose"}, env);
            EXPECT_TRUE(vigilon.waitForOutput("\tentry0\tOk\t", 20000)) << bus << onX11 << vigilon.output();
            EXPECT_EQ(occurrences(vigilon.output(), "does not answer"), bus.find("silent") != std::string::npos ? 1u : 0u)
                << vigilon.output();
            EXPECT_EQ(vigilon.terminate(), 0) << bus << onX11 << vigilon.output();
        }
    }
    close(silent);
}

// Another user made the guard's folder under the temporary directory
// first: the guard takes another private place and still holds, so a
// second service start on the store waits for the first (and SIGTERM ends
// that wait in order).
TEST_F(VigilonProcess, aLockFolderOfSomeoneElseNeverSwitchesTheGuardOff)
{
    const std::string tmp = dir_ / "tmp", taken = tmp + "/vigilon-" + std::to_string(geteuid());
    fs::create_directories(taken);
    fs::create_directories(dir_ / "home");
    fs::permissions(taken, fs::perms::all);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(taken.c_str(), 65534, 65534), 0);
    }
    TcpServer server(TcpServer::Answer);
    storeConfig({{server.port(), GenericTcp, 1, 0, "", "entry0"}});
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "VIGILON_REGISTRY=" + storePath_,
                                          "XDG_RUNTIME_DIR=", "XDG_CACHE_HOME=", "TMPDIR=" + tmp,
                                          "HOME=" + dir_ / "home"};
    ChildProcess first({binary_, "-service"}, env);
    ASSERT_TRUE(first.waitForOutput("entry0: Ok", 15000)) << first.output();
    ChildProcess second({binary_, "-service"}, env);
    EXPECT_TRUE(second.waitForOutput("waiting until it ends", 15000)) << second.output();
    EXPECT_TRUE(fs::exists(dir_ / "home/.cache/vigilon-" + std::to_string(geteuid())));
    // The one that waits ends in order as well, and never takes over.
    EXPECT_EQ(second.terminate(), 0) << second.output();
    EXPECT_EQ(second.output().find("entry0"), std::string::npos) << second.output();
    EXPECT_EQ(first.terminate(), 0) << first.output();
}

// Nobody is there to answer in service mode: alert programs that cannot be
// started are said on standard error and in one box that never waits, and
// the rounds go on, for a minute, with nothing growing.
TEST_F(VigilonProcess, aFlappingTargetWithAMissingAlertProgramRunsOnUnattended)
{
    TcpServer server(TcpServer::Flapping, 0, "HTTP/1.1 200 OK\r\n\r\n");
    const StoredPort entry{server.port(), Http, 1, 0, dir_ / "missing-alert.exe" + " %TARGET%"};
    storeConfig(std::vector<StoredPort>(10, entry), 1, 1);
    ChildProcess vigilon({binary_, "-service"}, offscreen_);
    ASSERT_TRUE(vigilon.started());
    const auto begin = std::chrono::steady_clock::now();
    const auto elapsed = [&] { return std::chrono::steady_clock::now() - begin; };
    // Standard error is read all along, so that the program never waits on
    // a full pipe.
    const auto readFor = [&](std::chrono::seconds until) {
        while (elapsed() < until)
            vigilon.waitForOutput("\x01", 500);
    };
    readFor(std::chrono::seconds(12));
    const std::size_t descriptorsEarly = openDescriptors(vigilon.pid());
    const std::size_t memoryEarly = residentKiB(vigilon.pid());
    readFor(std::chrono::seconds(62));
    const std::size_t descriptorsLate = openDescriptors(vigilon.pid());
    const std::size_t memoryLate = residentKiB(vigilon.pid());

    EXPECT_EQ(vigilon.terminate(), 0) << "the process ended on its own";
    const std::string &output = vigilon.output();
    const std::size_t failures = occurrences(output, "could not be started");
    EXPECT_GE(failures, 10u) << output.substr(0, 2000);
    // Each failure is named with the message it would have shown.
    EXPECT_EQ(occurrences(output, "外部コマンドの実行に失敗しました。"), failures);
    EXPECT_LE(descriptorsLate, descriptorsEarly + 4) << descriptorsEarly << " early, " << descriptorsLate << " late";
#ifdef __SANITIZE_ADDRESS__
    // The address sanitizer holds freed memory back on purpose.
    (void)memoryEarly;
    (void)memoryLate;
#else
    EXPECT_LE(memoryLate, memoryEarly + 8 * 1024) << memoryEarly << " KiB early, " << memoryLate << " KiB late";
#endif
}

// With few descriptors, checks go without; the program keeps enough to show
// its dialog when a second start asks for it.
TEST_F(VigilonProcess, aDescriptorLimitCostsChecksNotTheProgram)
{
    // Connections wait in the backlog, never accepted: each check holds its
    // socket until the next round.
    TcpServer server(TcpServer::Queue);
    storeConfig(std::vector<StoredPort>(100, StoredPort{server.port(), GenericTcp, 1}), 1, 1);
    ChildProcess first({"prlimit", "--nofile=64:64", binary_, "-service"}, offscreen_);
    ASSERT_TRUE(first.waitForOutput("out of the process's file descriptors", 20000)) << first.output();
    EXPECT_NE(first.output().find("the limit of 64 open files (ulimit -Hn) is below what the 100 active entries need"),
              std::string::npos)
        << first.output();
    ChildProcess second({binary_}, offscreen_);
    EXPECT_EQ(second.waitForExit(15000), 0) << second.output();
    // The dialog is up in the first; rounds go on for a while under it.
    first.waitForOutput("\x01", 3000);
    EXPECT_TRUE(first.running()) << first.output();
    EXPECT_EQ(first.terminate(), 0) << first.output();
}

// A low limit leaves the checks what the program does not hold; below
// that, the program says plainly that nothing can be checked.
TEST_F(VigilonProcess, aLowDescriptorLimitStillChecksOrSaysNothingCan)
{
    TcpServer server(TcpServer::Answer, 0, "");
    storeConfig(std::vector<StoredPort>(3, StoredPort{server.port(), GenericTcp, 1}), 1, 1);
    ChildProcess some({"prlimit", "--nofile=40:40", binary_, "-service", "--verbose"}, offscreen_);
    EXPECT_TRUE(some.waitForOutput("\tOk\t", 20000)) << some.output();
    EXPECT_EQ(some.terminate(), 0) << some.output();
    EXPECT_EQ(some.output().find("out of the process's file descriptors"), std::string::npos) << some.output();

    ChildProcess none({"prlimit", "--nofile=24:24", binary_, "-service", "--verbose"}, offscreen_);
    EXPECT_TRUE(none.waitForOutput("none of the 3 active entries could be checked", 20000)) << none.output();
    EXPECT_EQ(none.terminate(), 0) << none.output();
    EXPECT_NE(none.output().find("the limit of 24 open files (ulimit -Hn) leaves none for checks"), std::string::npos)
        << none.output();
    EXPECT_EQ(none.output().find("take turns"), std::string::npos) << none.output();
    EXPECT_EQ(none.output().find("\tOk\t"), std::string::npos) << none.output();
}

// Every reason a check can fail for, each from a real fault inside network
// and mount namespaces of the test's own, seen where a user sees it: the
// --verbose line of a real vigilon run headless, and the environment of its
// alert program.
struct Case {
    const char *name;
    std::uint32_t protocol; // 0 TCP, 2 PING, 3 HTTP
    std::string target;
    std::uint16_t port;
    const char *reason;
};

// One vigilon per case, all at once, each on a store and a folder of its
// own; every one must print its reason on a failed check's line and hand it
// to its alert program.
int runCases(const std::string &binary, const std::vector<Case> &cases)
{
    TempDir dir;
    const std::string script = dir / "alert.sh";
    writeFile(script, "#!/bin/sh\nprintf '%s|%s|%s|%s\\n' \"$VIGILON_TARGET\" \"$VIGILON_ENTRY\" "
                      "\"$VIGILON_REASON\" \"$VIGILON_ERRORS\" >> \"$1\"\n", true);
    std::vector<std::unique_ptr<ChildProcess>> programs;
    for (const Case &c : cases) {
        const std::string home = dir / c.name;
        fs::create_directories(home + "/runtime");
        fs::permissions(home + "/runtime", fs::perms::owner_all);
        auto registry = reg::SqliteRegistry::open(home + "/store.sqlite");
        CHILD_EXPECT(registry && storePorts(*registry, {{c.port, c.protocol, 1, 0, script + " " + home + "/alert.txt",
                                                         c.name}},
                                            1, 1, c.target) == reg::Status::Ok,
                     10);
        programs.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{binary, "-service", "--verbose"},
            std::vector<std::string>{"DISPLAY=", "WAYLAND_DISPLAY=", "VIGILON_REGISTRY=" + home + "/store.sqlite",
                                     "XDG_RUNTIME_DIR=" + home + "/runtime"}));
    }
    int status = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const std::string line = std::string("\t") + c.name + "\tFailed\t";
        // Bounds for several programs starting at once on a busy machine
        // (or under a sanitizer): a case that works ends the wait early.
        const bool failed = programs[i]->waitForOutput(line, 40000);
        // The alert runs on the failed check that prints the line.
        const std::string alertFile = dir / c.name + "/alert.txt";
        waitUntil([&] { return !readLines(alertFile).empty(); }, 15000);
        const std::string alert = readLines(alertFile).empty() ? "" : readLines(alertFile)[0];
        const std::string &out = programs[i]->output();
        const std::size_t at = out.find(line);
        const std::string field = at == std::string::npos ? "" : out.substr(at + line.size());
        // Time, name, outcome, time taken, reason.
        const bool reasonShown =
            failed && field.find('\t') != std::string::npos &&
            field.substr(field.find('\t') + 1, field.find('\n') - field.find('\t') - 1) == c.reason;
        const std::string wanted = c.target + "|" + c.name + "|" + c.reason + "|1";
        if (!reasonShown || alert != wanted) {
            std::fprintf(stderr, "%s: wanted \"%s\", alert saw \"%s\"; output:\n%s\n", c.name, c.reason,
                         alert.c_str(), out.c_str());
            status = 30;
        }
        programs[i]->signal(SIGTERM);
    }
    return status;
}

TEST_F(VigilonProcess, eachFailureReasonIsNamedInTheVerboseLineAndTheAlertEnvironment)
{
    const std::string binary = binary_;
    const int status = runInChild(
        [&binary] {
            // A router beside us answers for 10.98.0.0/24 with "host
            // unreachable"; nothing leads to 10.97.0.0/24.
            PeerNamespace router;
            CHILD_EXPECT(router.ok(), 20);
            CHILD_EXPECT(shell("ip link add vgra type veth peer name vgrb") &&
                             shell("ip link set vgrb netns " + std::to_string(router.pid())) &&
                             shell("ip addr add 10.99.0.1/24 dev vgra") && shell("ip link set vgra up") &&
                             shell("ip route add 10.98.0.0/24 via 10.99.0.2") &&
                             router.shell("ip addr add 10.99.0.2/24 dev vgrb") &&
                             router.shell("ip link set vgrb up") &&
                             router.shell("sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratelimit=0") &&
                             router.shell("ip route add unreachable 10.98.0.0/24"),
                         21);
            // Names: from the hosts file only, then from a name server that
            // never answers.
            CHILD_EXPECT(overlayResolver("127.0.0.1 localhost\n", "timeout:5 attempts:2") &&
                             umount("/etc/nsswitch.conf") == 0 && overlayFile("/etc/nsswitch.conf", "hosts: files\n"),
                         22);
            TcpServer silent(TcpServer::Silent), resets(TcpServer::ResetAtOnce), closes(TcpServer::CloseAfterRequest);
            const int first = runCases(
                binary,
                {
                    {"refused", 0, "127.0.0.1", closedTcpPort(), "refused"},
                    {"silent", 3, "127.0.0.1", silent.port(), "timed out"},
                    {"resets", 3, "127.0.0.1", resets.port(), "reset"},
                    {"closes", 3, "127.0.0.1", closes.port(), "closed before a reply"},
                    {"router", 2, "10.98.0.5", 0,
                     "unreachable: Host is unreachable. (ICMP destination unreachable, code 1)"},
                    {"tcprouter", 0, "10.98.0.5", 80,
                     "unreachable: Host is unreachable. (ICMP destination unreachable, code 1)"},
                    {"noroute", 0, "10.97.0.5", 80, "unreachable: Network is unreachable."},
                    {"unknown", 0, "vigilon-unknown.test", 80, "name not found"},
                });
            CHILD_EXPECT(umount("/etc/nsswitch.conf") == 0 &&
                             overlayFile("/etc/nsswitch.conf", "hosts: files dns\n"),
                         23);
            const int dead = silentNameServer();
            CHILD_EXPECT(dead >= 0, 24);
            const int second = runCases(binary, {{"nodns", 0, "vigilon-dead.test", 80, "name lookup timed out"}});
            return first != 0 ? first : second;
        },
        NetAndMountNamespace, 90000);
    if (status == -1)
        GTEST_SKIP() << "needs root for network and mount namespaces";
    EXPECT_EQ(status, 0);
}

// HTTPS and TLS entries of a real vigilon run headless, against the tests'
// TLS servers and a trust file of their own: a good certificate is Ok, one
// with 3 days left a Warning (the default 14 days of warning), an expired
// one fails for that, and the alert program is told the days left.
TEST_F(VigilonProcess, tlsEntriesWarnOfTheirCertificateAndTellTheAlertTheDaysLeft)
{
    const TestPki pki;
    ASSERT_TRUE(pki.writeCa(dir_ / "ca.pem"));
    const std::string ok = "HTTP/1.1 200 OK\r\n\r\n";
    TlsServer good(pki.named("good")), soon(pki.named("soon"), ok), expired(pki.named("expired"), ok);
    const std::string script = dir_ / "alert.sh", alerts = dir_ / "alerts.txt";
    ASSERT_TRUE(writeFile(script, "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$VIGILON_ENTRY\" \"$VIGILON_REASON\" "
                                  "\"$VIGILON_CERT_DAYS\" >> \"$1\"\n", true));
    storeConfig({{good.port(), Tls, 1, 0, "", "good"},
                 {soon.port(), Https, 1, 0, "", "soon"},
                 {expired.port(), Https, 1, 0, script + " " + alerts, "expired"}});
    ChildProcess vigilon({binary_, "-service", "--verbose"},
                         {"DISPLAY=", "WAYLAND_DISPLAY=", "VIGILON_REGISTRY=" + storePath_,
                          "XDG_RUNTIME_DIR=" + dir_ / "runtime", "SSL_CERT_FILE=" + dir_ / "ca.pem"});
    for (const char *line : {"\tgood\tOk\t", "\tsoon\tWarning\t", "\texpired\tFailed\t"})
        EXPECT_TRUE(vigilon.waitForOutput(line, 15000)) << line << vigilon.output();
    waitUntil([&] { return !readLines(alerts).empty(); }, 5000);
    ASSERT_FALSE(readLines(alerts).empty());
    EXPECT_EQ(readLines(alerts)[0], "expired|certificate expired|-3");
    EXPECT_EQ(vigilon.terminate(), 0) << vigilon.output();
}

// The trust file is a FIFO, and so is the first file under the
// authority's hash in the trust folder (the second holds the authority):
// nobody ever writes to them, and the TCP entry is checked all the same,
// the TLS entry is judged by what the regular files hold, both FIFOs are
// named once, and SIGTERM ends the program in order.
TEST_F(VigilonProcess, trustFilesThatNeverEndHoldNoCheckUp)
{
    const TestPki pki;
    const std::string folder = dir_ / "trust", authority = dir_ / "ca.pem";
    fs::create_directories(folder);
    ASSERT_TRUE(pki.writeCa(authority));
    FILE *file = std::fopen(authority.c_str(), "r");
    ASSERT_TRUE(file);
    X509 *ca = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    ASSERT_TRUE(ca);
    char hashed[16];
    std::snprintf(hashed, sizeof hashed, "%08lx", X509_NAME_hash_ex(X509_get_subject_name(ca), nullptr, nullptr, nullptr));
    X509_free(ca);
    ASSERT_EQ(mkfifo((folder + "/" + hashed + ".0").c_str(), 0600), 0);
    fs::copy_file(authority, folder + "/" + hashed + ".1");
    ASSERT_EQ(mkfifo((dir_ / "trust.fifo").c_str(), 0600), 0);

    TlsServer good(pki.named("good"));
    TcpServer server(TcpServer::Answer);
    storeConfig({{good.port(), Tls, 1, 0, "", "good"}, {server.port(), GenericTcp, 1, 0, "", "plain"}});
    std::vector<std::string> env = offscreen_;
    env.push_back("SSL_CERT_FILE=" + dir_ / "trust.fifo");
    env.push_back("SSL_CERT_DIR=" + folder);
    ChildProcess vigilon({binary_, "-service", "--verbose"}, env);
    for (const char *line : {"\tplain\tOk\t", "\tgood\tOk\t"})
        EXPECT_TRUE(vigilon.waitForOutput(line, 15000)) << line << vigilon.output();
    EXPECT_EQ(occurrences(vigilon.output(), "is not a regular file"), 2u) << vigilon.output();
    EXPECT_EQ(vigilon.terminate(), 0) << vigilon.output();
}

// A real Prometheus scrapes the metrics of a real Vigilon that watches one
// answering and one refusing port, and answers queries of them; a port
// already taken, or an address in none of the documented forms, leaves the
// program monitoring without metrics.
TEST_F(VigilonProcess, prometheusScrapesTheMetrics)
{
    if (!fs::exists("/usr/bin/prometheus"))
        GTEST_SKIP() << "needs /usr/bin/prometheus (Debian package prometheus)";
    TcpServer server(TcpServer::Answer);
    const RefusedPort down;
    storeConfig({{server.port(), GenericTcp, 1, 0, "", "up one"}, {down.port(), GenericTcp, 1, 0, "", "down one"}});
    const std::vector<std::string> headless = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "VIGILON_LANG=en",
                                               "VIGILON_REGISTRY=" + storePath_, "XDG_RUNTIME_DIR=" + dir_ / "runtime"};
    {
        std::uint16_t taken = 0;
        const int holder = boundSocket(SOCK_STREAM, 1, taken);
        ChildProcess refused({binary_, "-service", "--metrics=127.0.0.1:" + std::to_string(taken)}, headless);
        EXPECT_TRUE(refused.waitForOutput("another program uses the port", 15000)) << refused.output();
        EXPECT_TRUE(refused.waitForOutput("up one: Ok", 15000)) << refused.output();
        EXPECT_EQ(refused.terminate(), 0) << refused.output();
        close(holder);
    }
    {
        // "0" would be every network; only the documented forms are taken.
        const std::uint16_t port = closedTcpPort();
        ChildProcess refused({binary_, "-service", "--metrics=0:" + std::to_string(port)}, headless);
        EXPECT_TRUE(refused.waitForOutput("is not valid", 15000)) << refused.output();
        EXPECT_TRUE(refused.waitForOutput("up one: Ok", 15000)) << refused.output();
        EXPECT_FALSE(TcpClient(port).connected());
        EXPECT_EQ(refused.terminate(), 0) << refused.output();
    }

    const std::uint16_t metricsPort = closedTcpPort();
    ChildProcess vigilon({binary_, "-service", "--metrics=127.0.0.1:" + std::to_string(metricsPort)}, headless);
    ASSERT_TRUE(vigilon.waitForOutput("up one: Ok", 15000)) << vigilon.output();
    const std::uint16_t webPort = closedTcpPort();
    ASSERT_TRUE(writeFile(dir_ / "prometheus.yml", "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                                   "scrape_configs:\n  - job_name: vigilon\n    static_configs:\n"
                                                   "      - targets: ['127.0.0.1:" +
                                                       std::to_string(metricsPort) + "']\n"));
    ChildProcess prometheus({"/usr/bin/prometheus", "--config.file=" + dir_ / "prometheus.yml",
                             "--storage.tsdb.path=" + dir_ / "tsdb",
                             "--web.listen-address=127.0.0.1:" + std::to_string(webPort)});
    // Each query until its answer holds the value, a bounded number of
    // times.
    const auto answers = [&](const std::string &query, const std::string &value) {
        std::string last;
        const bool found = waitUntil([&] {
            last = httpBody(httpRequest(webPort, "GET", "/api/v1/query?query=" + query));
            return last.find("\"status\":\"success\"") != std::string::npos &&
                   last.find(value) != std::string::npos;
        }, 60000);
        return found ? std::string("found")
                     : query + " answered " + last + "\nPrometheus said:\n" + prometheus.output() +
                           "\nVigilon said:\n" + vigilon.output();
    };
    EXPECT_EQ(answers("up", R"("job":"vigilon"},"value":[)"), "found");
    EXPECT_EQ(answers("up%3D%3D1", R"("job":"vigilon"})"), "found");
    EXPECT_EQ(answers("vigilon_entry_up%7Bentry%3D%22up%20one%22%7D%3D%3D1", R"("entry":"up one")"), "found");
    EXPECT_EQ(answers("vigilon_entry_up%7Bentry%3D%22down%20one%22%7D%3D%3D0", R"("entry":"down one")"), "found");
    EXPECT_EQ(answers("vigilon_entry_failures_total%7Breason%3D%22refused%22%7D", R"("entry":"down one")"), "found");
    EXPECT_EQ(answers("vigilon_build_info", R"("version":")"), "found");
    EXPECT_EQ(prometheus.terminate(20000), 0);
    EXPECT_EQ(vigilon.terminate(), 0) << vigilon.output();
}

} // namespace
} // namespace vigilon::test
