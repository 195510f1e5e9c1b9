// SPDX-License-Identifier: MIT
// The Linux platform of the watch loop with real processes: the stand-in
// vigilon is started, watched, ended and restarted.
#include "TestSupport.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "service/Supervisor.h"
#include "service/systemd/Process.h"
#include "service/systemd/SessionEnvironment.h"
#include "service/systemd/SystemdHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

using test::TempDir;

// Hands out views of one shared in-memory store and counts how often the
// store was opened.
class SharedStore {
public:
    SharedStore()
    {
        store_.createKey(kProgramKey);
    }
    RegistryFactory factory()
    {
        return [this]() -> std::unique_ptr<reg::Registry> {
            ++opens;
            return std::make_unique<View>(*this);
        };
    }
    void setLogon(std::uint32_t v)
    {
        std::lock_guard lock(mutex_);
        ASSERT_EQ(setLogonFlag(store_, v), reg::Status::Ok);
    }
    std::uint32_t logon()
    {
        std::lock_guard lock(mutex_);
        std::unique_ptr<reg::Key> key = store_.openKey(kProgramKey, reg::KeyQueryValue);
        reg::Value v;
        std::uint32_t out = 0;
        if (key && key->queryValue(kLogonValue, v) == reg::Status::Ok)
            reg::dwordFromValue(v, out);
        return out;
    }
    std::atomic<int> opens{0};

private:
    class View final : public reg::Registry {
    public:
        explicit View(SharedStore &s) : s_(s) {}
        std::unique_ptr<reg::Key> openKey(const std::string &p, std::uint32_t a, reg::Status *st) override
        {
            std::lock_guard lock(s_.mutex_);
            return s_.store_.openKey(p, a, st);
        }
        std::unique_ptr<reg::Key> createKey(const std::string &p, reg::Status *st) override
        {
            std::lock_guard lock(s_.mutex_);
            return s_.store_.createKey(p, st);
        }
        reg::Status deleteKey(const std::string &p) override { return s_.store_.deleteKey(p); }
        std::vector<std::string> subkeys(const std::string &p) override { return s_.store_.subkeys(p); }
        reg::Status transact(const std::function<reg::Status()> &body) override { return s_.store_.transact(body); }
        reg::Status readAndClearDword(const std::string &k, const std::string &n, std::uint32_t &prev) override
        {
            std::lock_guard lock(s_.mutex_);
            return s_.store_.readAndClearDword(k, n, prev);
        }

    private:
        SharedStore &s_;
    };
    std::mutex mutex_;
    reg::MemoryRegistry store_;
};

std::vector<std::string> standInEnv(const TempDir &dir, const std::string &mode)
{
    return {"STANDIN_DIR=" + dir.path(), "STANDIN_MODE=" + mode, "PATH=/usr/bin:/bin"};
}

TEST(MonitorProcess, StartsInItsOwnGroupAndEndsPolitely)
{
    TempDir dir;
    CMonitorProcess process;
    ASSERT_TRUE(process.start(STANDIN_BINARY, dir.path(), standInEnv(dir, "wait")));
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(dir / "starts"); }, 5s));
    const auto starts = test::readLines(dir / "starts");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(test::field(starts[0], "args"), "-service");
    EXPECT_EQ(test::field(starts[0], "cwd"), dir.path());
    EXPECT_EQ(test::field(starts[0], "ownGroup"), "1");
    EXPECT_TRUE(process.running());

    const pid_t pid = process.pid();
    process.end(2000);
    EXPECT_FALSE(process.running());
    EXPECT_EQ(test::readLines(dir / "terms").size(), 1u) << "SIGTERM first";
    EXPECT_FALSE(test::processExists(pid)) << "ended and reaped";
}

TEST(MonitorProcess, KillsWhatIgnoresTermAfterTheGrace)
{
    TempDir dir;
    CMonitorProcess process;
    ASSERT_TRUE(process.start(STANDIN_BINARY, dir.path(), standInEnv(dir, "ignore-term")));
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(dir / "starts"); }, 5s));
    const pid_t pid = process.pid();
    const auto before = std::chrono::steady_clock::now();
    process.end(300);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 300ms);
    EXPECT_FALSE(test::processExists(pid));
    EXPECT_FALSE(test::fileExists(dir / "terms"));
}

TEST(MonitorProcess, NoticesItsEndAndLeavesNoZombie)
{
    TempDir dir;
    CMonitorProcess process;
    ASSERT_TRUE(process.start(STANDIN_BINARY, dir.path(), standInEnv(dir, "exit")));
    const pid_t pid = process.pid();
    EXPECT_TRUE(test::waitUntil([&] { return !process.running(); }, 5s));
    EXPECT_FALSE(test::processExists(pid));
    process.end(2000); // nothing left to end: returns at once
    EXPECT_EQ(process.pid(), -1);

    CMonitorProcess missing;
    EXPECT_FALSE(missing.start(dir / "no-such-program", dir.path(), {}));
    EXPECT_FALSE(missing.running());
    EXPECT_FALSE(process.start(STANDIN_BINARY, dir / "no-such-dir", standInEnv(dir, "exit")));
}

TEST(SessionEnvironment, ParsesTheManagersQuoting)
{
    const auto vars = parseShowEnvironment("DISPLAY=:0\n"
                                           "XAUTHORITY=$'/run/user/1000/a b\\'c\\\\d\\x41'\n"
                                           "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus\n"
                                           "Q=\"x \\\"y\\\"\"\n"
                                           "garbage line\n"
                                           "=novalue\n"
                                           "EMPTY=");
    EXPECT_EQ(vars.at("DISPLAY"), ":0");
    EXPECT_EQ(vars.at("XAUTHORITY"), "/run/user/1000/a b'c\\dA");
    EXPECT_EQ(vars.at("DBUS_SESSION_BUS_ADDRESS"), "unix:path=/run/user/1000/bus");
    EXPECT_EQ(vars.at("Q"), "x \"y\"");
    EXPECT_EQ(vars.at("EMPTY"), "");
    EXPECT_EQ(vars.size(), 5u);
}

TEST(SessionEnvironment, VigilonGetsTheSessionButNotTheNotificationSocket)
{
    const std::vector<std::string> own{"HOME=/h",          "NOTIFY_SOCKET=/run/n", "WATCHDOG_USEC=1",
                                       "WATCHDOG_PID=3",   "DISPLAY=:9",           "WAYLAND_DISPLAY=w-old",
                                       "WATCHDOGS=kept"};
    const std::map<std::string, std::string> manager{{"DISPLAY", ":0"}, {"XAUTHORITY", "/x"}, {"PATH", "/m"}};

    auto env = monitorEnvironment(own, manager);
    std::sort(env.begin(), env.end());
    EXPECT_EQ(env, (std::vector<std::string>{"DISPLAY=:0", "HOME=/h", "WATCHDOGS=kept", "XAUTHORITY=/x"}))
        << "WATCHDOG_* dropped, the session's display taken, a stale Wayland socket dropped";

    env = monitorEnvironment(own, std::nullopt);
    std::sort(env.begin(), env.end());
    EXPECT_EQ(env, (std::vector<std::string>{"DISPLAY=:9", "HOME=/h", "WATCHDOGS=kept", "WAYLAND_DISPLAY=w-old"}))
        << "without an answer from the manager our own session variables stay";
}

HostOptions hostOptions(const TempDir &dir, SharedStore &store, bool debug = true)
{
    HostOptions o;
    o.debugMode = debug;
    o.monitorPath = STANDIN_BINARY;
    o.monitorDir = dir.path();
    o.openRegistry = store.factory();
    o.graceMs = 2000;
    return o;
}

// Sets environment variables of this process for one test.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<const char *, std::string>> vars)
    {
        for (const auto &[name, value] : vars) {
            const char *old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(name, value.c_str(), 1);
        }
    }
    ~ScopedEnv()
    {
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(SystemdHost, LogonIsTakenFromAFreshlyOpenedStore)
{
    TempDir dir;
    SharedStore store;
    CSystemdHost host(hostOptions(dir, store));
    store.setLogon(1);
    EXPECT_EQ(host.takeLogonFlag(), 1u);
    EXPECT_EQ(store.logon(), 0u);
    EXPECT_EQ(host.takeLogonFlag(), 0u);
    EXPECT_EQ(store.opens.load(), 2);

    HostOptions noStore = hostOptions(dir, store);
    noStore.openRegistry = [] { return std::unique_ptr<reg::Registry>(); };
    EXPECT_EQ(CSystemdHost(noStore).takeLogonFlag(), 0u);

    reg::MemoryRegistry empty; // no program key at all
    HostOptions missingKey = hostOptions(dir, store);
    missingKey.openRegistry = [&empty] {
        struct Borrowed final : reg::Registry {
            reg::Registry &r;
            explicit Borrowed(reg::Registry &x) : r(x) {}
            std::unique_ptr<reg::Key> openKey(const std::string &p, std::uint32_t a, reg::Status *s) override
            {
                return r.openKey(p, a, s);
            }
            std::unique_ptr<reg::Key> createKey(const std::string &p, reg::Status *s) override
            {
                return r.createKey(p, s);
            }
            reg::Status deleteKey(const std::string &p) override { return r.deleteKey(p); }
            std::vector<std::string> subkeys(const std::string &p) override { return r.subkeys(p); }
            reg::Status transact(const std::function<reg::Status()> &b) override { return r.transact(b); }
            reg::Status readAndClearDword(const std::string &k, const std::string &n, std::uint32_t &v) override
            {
                return r.readAndClearDword(k, n, v);
            }
        };
        return std::unique_ptr<reg::Registry>(std::make_unique<Borrowed>(empty));
    };
    EXPECT_EQ(CSystemdHost(missingKey).takeLogonFlag(), 0u);
    EXPECT_TRUE(empty.subkeys("Software").empty()) << "a missing key is not created";
}

TEST(SystemdHost, StartsVigilonWithTheSessionEnvironment)
{
    TempDir dir;
    SharedStore store;
    test::writeFakeSystemctl(dir.path());
    test::writeFile(dir / "environment", "DISPLAY=:77\nWAYLAND_DISPLAY=wl-7\n");
    ScopedEnv env{{"VIGILSVC_SYSTEMCTL", dir / "systemctl"},
                  {"STANDIN_DIR", dir.path()},
                  {"STANDIN_MODE", "wait"},
                  {"NOTIFY_SOCKET", dir / "no-socket"},
                  {"WATCHDOG_USEC", "5000000"}};
    CSystemdHost host(hostOptions(dir, store));
    ASSERT_TRUE(host.startMonitor());
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(dir / "starts"); }, 5s));
    const std::string line = test::readLines(dir / "starts").at(0);
    EXPECT_EQ(test::field(line, "DISPLAY"), ":77");
    EXPECT_EQ(test::field(line, "NOTIFY_SOCKET"), "-");
    EXPECT_EQ(test::field(line, "WATCHDOG_USEC"), "-");
    EXPECT_EQ(test::readLines(dir / "calls"), std::vector<std::string>{"--user show-environment"});
    host.endMonitor();
    EXPECT_FALSE(host.monitorRunning());
}

// Receives what the host sends to its "systemd" notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const std::string &path, bool abstract = false)
    {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path + (abstract ? 1 : 0), path.c_str(), path.size());
        const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 1 : 0));
        bound_ = bind(fd_, reinterpret_cast<sockaddr *>(&a), len) == 0;
        timeval tv{2, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~NotifySocket() { close(fd_); }
    bool bound() const { return bound_; }
    std::string receive()
    {
        char buffer[1024];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("<nothing>");
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

TEST(SystemdHost, StatesGoToTheNotificationSocket)
{
    TempDir dir;
    SharedStore store;
    NotifySocket socket(dir / "notify");
    ASSERT_TRUE(socket.bound());
    ScopedEnv env{{"NOTIFY_SOCKET", dir / "notify"}};
    {
        CSystemdHost host(hostOptions(dir, store, false));
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::StartPending, 0, 3000));
        EXPECT_EQ(socket.receive(), "STATUS=Starting Vigilon");
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::Running, 0, 0));
        EXPECT_EQ(socket.receive(), "READY=1\nSTATUS=Watching Vigilon");
        host.requestStop();
        EXPECT_TRUE(host.waitForStop(10000));
        EXPECT_EQ(socket.receive(), "STOPPING=1\nSTATUS=Stopping");
        EXPECT_TRUE(host.waitForStop(10000)) << "a stop request holds";
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::Stopped, 0, 0));
        EXPECT_EQ(socket.receive(), "STOPPING=1\nSTATUS=Stopped");
    }
    {
        // Stopping without ever having been ready must not count as failure.
        CSystemdHost host(hostOptions(dir, store, false));
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::Stopped, 0, 0));
        EXPECT_EQ(socket.receive(), "READY=1\nSTOPPING=1\nSTATUS=Stopped");
    }
    {
        CSystemdHost debugHost(hostOptions(dir, store, true));
        EXPECT_TRUE(debugHost.reportServiceStatus(ServiceState::Running, 0, 0));
        EXPECT_TRUE(debugHost.reportServiceStatus(ServiceState::Stopped, 0, 0));
        EXPECT_EQ(socket.receive(), "<nothing>") << "no status in debug mode";
    }
    {
        ScopedEnv gone{{"NOTIFY_SOCKET", dir / "gone"}};
        CSystemdHost host(hostOptions(dir, store, false));
        EXPECT_FALSE(host.reportServiceStatus(ServiceState::Running, 0, 0));
    }
}

TEST(SystemdHost, AbstractNotificationSocket)
{
    TempDir dir;
    SharedStore store;
    const std::string name = "vigilsvc-test-" + std::to_string(getpid());
    NotifySocket socket(name, true);
    ASSERT_TRUE(socket.bound());
    ScopedEnv env{{"NOTIFY_SOCKET", "@" + name}};
    CSystemdHost host(hostOptions(dir, store, false));
    EXPECT_TRUE(host.reportServiceStatus(ServiceState::Running, 0, 0));
    EXPECT_EQ(socket.receive(), "READY=1\nSTATUS=Watching Vigilon");
}

TEST(SystemdHost, WaitEndsOnTimeOrOnASignal)
{
    TempDir dir;
    SharedStore store;
    CSystemdHost host(hostOptions(dir, store));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(host.waitForStop(150));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 150ms);

    host.installSignalHandlers();
    std::thread signaller([] {
        std::this_thread::sleep_for(100ms);
        kill(getpid(), SIGTERM);
    });
    EXPECT_TRUE(host.waitForStop(20000));
    signaller.join();
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
}

// The watch loop with real processes and short rounds.
class SupervisedStandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::writeFakeSystemctl(dir.path());
        host = std::make_unique<CSystemdHost>(hostOptions(dir, store));
        supervisor = std::make_unique<CSupervisor>(*host, kRound);
        loop = std::thread([this] { supervisor->superviseMonitor(); });
    }
    void TearDown() override
    {
        host->requestStop();
        if (loop.joinable())
            loop.join();
    }
    std::vector<std::string> starts() { return test::readLines(dir / "starts"); }
    bool startsReach(std::size_t n) { return test::waitUntil([&] { return starts().size() >= n; }, 10s); }
    pid_t startPid(std::size_t i) { return static_cast<pid_t>(std::stoi(test::field(starts().at(i), "pid"))); }

    TempDir dir;
    SharedStore store;
    ScopedEnv env{{"VIGILSVC_SYSTEMCTL", dir / "systemctl"}, {"STANDIN_DIR", dir.path()}, {"STANDIN_MODE", "wait"}};
    std::unique_ptr<CSystemdHost> host;
    static constexpr std::uint32_t kRound = 200;
    std::unique_ptr<CSupervisor> supervisor;
    std::thread loop;
};

TEST_F(SupervisedStandIn, KilledVigilonIsStartedAgain)
{
    ASSERT_TRUE(startsReach(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(kRound * 2 + 100)); // past the first round
    const pid_t first = startPid(0);
    kill(first, SIGKILL);
    ASSERT_TRUE(startsReach(2));
    EXPECT_NE(startPid(1), first);
    EXPECT_FALSE(test::processExists(first)) << "the killed one was reaped";

    host->requestStop();
    loop.join();
    EXPECT_FALSE(test::processExists(startPid(1))) << "ended on stop";
    EXPECT_EQ(test::readLines(dir / "terms").size(), 1u);
    EXPECT_EQ(supervisor->state(), SupervisorState::Stopping);
}

TEST_F(SupervisedStandIn, LogonRestartsVigilonAndIsCleared)
{
    ASSERT_TRUE(startsReach(1));
    store.setLogon(1);
    ASSERT_TRUE(startsReach(2));
    EXPECT_EQ(test::readLines(dir / "terms").size(), 1u) << "the first one was asked to end";
    EXPECT_EQ(store.logon(), 0u);
    EXPECT_FALSE(test::processExists(startPid(0)));
    std::this_thread::sleep_for(std::chrono::milliseconds(kRound * 3));
    EXPECT_EQ(starts().size(), 2u) << "no further restarts";
}

} // namespace
} // namespace vigilon::svc
