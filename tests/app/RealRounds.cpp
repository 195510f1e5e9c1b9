// SPDX-License-Identifier: MIT
// The engine with the real probes, in a helper process whose descriptor
// limit or network namespace the test sets up.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vigilon::test {
namespace {

std::size_t count(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// Runs argv; its exit status (-1 when it could not be started or did not
// end in time) and its standard error.
int run(const std::vector<std::string> &argv, std::string &output)
{
    ChildProcess child(argv);
    if (!child.started())
        return -1;
    const int status = child.waitForExit(30000);
    output = child.output();
    return status;
}

std::string findTool(const std::vector<std::string> &candidates)
{
    for (const std::string &path : candidates) {
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

TEST(RealRounds, RunningOutOfDescriptorsIsNeverTheTargetsFault)
{
    const std::string prlimit = findTool({"/usr/bin/prlimit", "/bin/prlimit"});
    if (prlimit.empty())
        GTEST_SKIP() << "prlimit is missing";
    std::string output;
    // 100 entries, 64 descriptors: many checks cannot get a socket, round
    // after round and in the port test. None of them counts, nothing leaks,
    // nothing crashes.
    ASSERT_EQ(run({prlimit, "--nofile=64:64", REAL_ROUND_HELPER, "shortage", "100"}, output), 0) << output;
    EXPECT_EQ(count(output, "ok 100,"), 0u) << "the limit never bit: " << output;
    // One line says what ran out, not one per check.
    EXPECT_EQ(count(output, "out of the process's file descriptors"), 1u) << output;

    // With room enough every entry is checked.
    ASSERT_EQ(run({REAL_ROUND_HELPER, "shortage", "100"}, output), 0) << output;
    EXPECT_EQ(count(output, "ok 100, idle 0, failed 0; errors 0; alerts 0; port test 1"), 1u) << output;
    EXPECT_EQ(count(output, "out of"), 0u) << output;
}

// A network namespace of the test's own, with a resolver configuration
// that "ip netns exec" puts in place of the system's.
class Namespace {
public:
    explicit Namespace(const std::string &ip) : ip_(ip), name_("vigilon-dns-" + std::to_string(getpid()))
    {
        std::error_code error;
        createdEtcDir_ = !std::filesystem::exists("/etc/netns");
        config_ = "/etc/netns/" + name_;
        std::filesystem::create_directories(config_, error);
        if (error)
            return;
        std::ofstream(config_ + "/resolv.conf") << "nameserver 127.0.0.1\noptions timeout:5 attempts:2\n";
        std::ofstream(config_ + "/hosts") << "127.0.0.1 localhost\n";
        std::ofstream(config_ + "/nsswitch.conf") << "hosts: files dns\n";
        std::string out;
        made_ = run({ip_, "netns", "add", name_}, out) == 0;
        ready_ = made_ && run({ip_, "netns", "exec", name_, ip_, "link", "set", "lo", "up"}, out) == 0;
    }
    ~Namespace()
    {
        std::string out;
        if (made_)
            run({ip_, "netns", "delete", name_}, out);
        std::error_code error;
        std::filesystem::remove_all(config_, error);
        if (createdEtcDir_)
            std::filesystem::remove("/etc/netns", error);
    }
    bool ready() const { return ready_; }
    std::vector<std::string> exec(const std::vector<std::string> &argv) const
    {
        std::vector<std::string> all = {ip_, "netns", "exec", name_};
        all.insert(all.end(), argv.begin(), argv.end());
        return all;
    }

private:
    std::string ip_;
    std::string name_;
    std::string config_;
    bool createdEtcDir_ = false;
    bool made_ = false;
    bool ready_ = false;
};

// Runs the helper in a network namespace of the test's own; its status and
// standard error. Skips where no namespace can be made.
#define RUN_IN_NAMESPACE(mode, output)                                                                             \
    const std::string ip = findTool({"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"});                       \
    if (ip.empty() || geteuid() != 0)                                                                              \
        GTEST_SKIP() << "needs ip and root for a network namespace";                                               \
    Namespace ns(ip);                                                                                              \
    if (!ns.ready())                                                                                               \
        GTEST_SKIP() << "no network namespace could be made";                                                      \
    std::string output;                                                                                            \
    EXPECT_EQ(run(ns.exec({REAL_ROUND_HELPER, mode}), output), 0) << output

TEST(RealRounds, ADeadNameServerNeverStallsTheLoopAndEveryEntryFailsAtItsDeadline)
{
    RUN_IN_NAMESPACE("dead-dns", output);
    EXPECT_EQ(count(output, "5 entries failed at"), 1u) << output;
    std::fprintf(stderr, "%s", output.substr(output.find("longest")).c_str());
}

TEST(RealRounds, PingChecksToASilentHostNeitherStallTheLoopNorLengthenATcpCheck)
{
    RUN_IN_NAMESPACE("silent-ping", output);
    std::fprintf(stderr, "%s", output.c_str());
}

} // namespace
} // namespace vigilon::test
