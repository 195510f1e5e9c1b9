// SPDX-License-Identifier: MIT
// Every reason a check can fail for, each from a real fault inside network
// and mount namespaces of the test's own, seen where a user sees it: the
// --verbose line of a real vigilon run headless, and the environment of its
// alert program.
#include "app/store/SqliteRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/mount.h>

namespace vigilon::test {
namespace {

namespace fs = std::filesystem;

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
    std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s|%s|%s\\n' \"$VIGILON_TARGET\" \"$VIGILON_ENTRY\" "
                             "\"$VIGILON_REASON\" \"$VIGILON_ERRORS\" >> \"$1\"\n";
    fs::permissions(script, fs::perms::owner_all);
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
        const bool failed = programs[i]->waitForOutput(line, 15000);
        // The alert runs on the failed check that prints the line.
        std::string alert;
        for (int wait = 0; wait < 50 && alert.empty(); ++wait) {
            std::ifstream file(dir / c.name + "/alert.txt");
            std::getline(file, alert);
            if (alert.empty())
                programs[i]->waitForOutput("\x01", 100);
        }
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

TEST(FailureReason, EachFaultIsNamedInTheVerboseLineAndTheAlertEnvironment)
{
    const char *bin = std::getenv("VIGILON_BIN");
    if (!bin || !fs::exists(bin))
        GTEST_SKIP() << "VIGILON_BIN does not name the vigilon program";
    const std::string binary = bin;
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

} // namespace
} // namespace vigilon::test
