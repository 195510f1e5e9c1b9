// SPDX-License-Identifier: MIT
// The SQLite store as a file among other processes (permissions, damage,
// locks, crashes, full disks and failing syncs) and the configuration
// loaded from and saved into it.
#include "store/MemoryRegistry.h"
#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <optional>
#include <sys/stat.h>

namespace vigilon {
namespace {

using reg::SqliteRegistry;
using reg::Status;
using test::readFile;
using test::TempDir;
using test::writeFile;

mode_t modeOf(const std::string &path)
{
    return static_cast<mode_t>(std::filesystem::status(path).permissions()) & 07777;
}

class SqliteStoreTest : public ::testing::Test {
protected:
    std::string file() const { return dir_ / "registry.sqlite"; }

    std::unique_ptr<SqliteRegistry> open(int busyTimeoutMs = 3000, Status *status = nullptr)
    {
        return SqliteRegistry::open(file(), SqliteRegistry::Options{busyTimeoutMs}, status);
    }

    void saveMarked(int marker)
    {
        auto store = open();
        ASSERT_TRUE(store);
        ASSERT_EQ(saveSettings(*store, test::markedTarget(marker), static_cast<std::uint32_t>(marker), 1,
                               test::markedPorts(marker)),
                  Status::Ok);
    }

    // The marker of the configuration the store holds whole; -1 when it
    // holds a mixture, 0 when it holds none.
    int storedMarker()
    {
        auto store = open();
        if (!store)
            return -1;
        std::string target;
        Status status = Status::Ok;
        const LoadedSettings loaded = loadSettings(*store, true, target, &status);
        if (status == Status::NotFound)
            return 0;
        const int marker = static_cast<int>(loaded.intervalSeconds);
        if (status != Status::Ok || target != test::markedTarget(marker))
            return -1;
        return test::sameEntries(loaded.ports, test::markedPorts(marker)) ? marker : -1;
    }

    bool anythingMovedAside() const
    {
        const std::vector<std::string> names = dir_.entries();
        const auto aside = [](const std::string &name) { return name.find(".damaged-") != std::string::npos; };
        return std::any_of(names.begin(), names.end(), aside);
    }

    TempDir dir_;
};

TEST_F(SqliteStoreTest, FileIsOwnerOnlyInOwnerOnlyDirectories)
{
    const mode_t old = ::umask(022);
    const std::string path = dir_ / "a/b/registry.sqlite";
    auto store = SqliteRegistry::open(path);
    ::umask(old);
    ASSERT_TRUE(store);
    ASSERT_EQ(saveSettings(*store, "h", 5, 1, test::markedPorts(1)), Status::Ok);
    EXPECT_EQ(modeOf(dir_ / "a"), 0700u);
    EXPECT_EQ(modeOf(dir_ / "a/b"), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);

    // A file that others may read or write is tightened when opened.
    store.reset();
    ::chmod(path.c_str(), 0666);
    ASSERT_TRUE(SqliteRegistry::open(path));
    EXPECT_EQ(modeOf(path), 0600u);

    // So is the program's own folder of the default store, but not its parent.
    ASSERT_EQ(::mkdir((dir_ / "a/vigilon").c_str(), 0700), 0);
    ::chmod((dir_ / "a/vigilon").c_str(), 0777);
    ::chmod((dir_ / "a").c_str(), 0755);
    {
        test::ScopedEnv env{{"VIGILON_REGISTRY", std::nullopt}, {"XDG_CONFIG_HOME", dir_ / "a"}};
        ASSERT_TRUE(openDefaultRegistry());
    }
    EXPECT_EQ(modeOf(dir_ / "a/vigilon"), 0700u);
    EXPECT_EQ(modeOf(dir_ / "a/vigilon/registry.sqlite"), 0600u);
    EXPECT_EQ(modeOf(dir_ / "a"), 0755u);
}

struct DamageCase {
    const char *label;
    // Turns the sound store file into a damaged one.
    void (*damage)(const std::string &path);
    std::vector<const char *> companions;
};

void replaceWithGarbage(const std::string &path)
{
    writeFile(path, std::string(3000, '\x5a') + "not a database at all");
}

void corruptPages(const std::string &path)
{
    std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 8192u);
    for (std::size_t i = 4096; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(0xa5 ^ (i * 7));
    writeFile(path, bytes);
}

class DamagedStoreTest : public SqliteStoreTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedStoreTest, IsMovedAsideWithItsCompanionsAndDefaultsLoad)
{
    saveMarked(1);
    GetParam().damage(file());
    const std::string damagedBytes = readFile(file());
    for (const char *suffix : GetParam().companions)
        writeFile(file() + suffix, std::string("leftover ") + suffix + std::string(600, '\x11'));

    ::testing::internal::CaptureStderr();
    Status status = Status::Ok;
    auto store = open(3000, &status);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(store) << reg::statusText(status);
    EXPECT_NE(err.find("damaged"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    // Defaults load from the fresh store.
    std::string target = "127.0.0.1";
    const LoadedSettings loaded = loadSettings(*store, true, target, &status);
    EXPECT_EQ(status, Status::NotFound);
    EXPECT_TRUE(loaded.ports.empty());
    EXPECT_EQ(loaded.intervalSeconds, 5u);

    // The damaged file and each companion share one new name base.
    std::string aside;
    for (const std::string &name : dir_.entries()) {
        if (name.rfind("registry.sqlite.damaged-", 0) == 0 && name.size() == 39) // ...-YYYYMMDD-hhmmss
            aside = dir_ / name;
    }
    ASSERT_FALSE(aside.empty()) << ::testing::PrintToString(dir_.entries());
    EXPECT_EQ(readFile(aside), damagedBytes);
    EXPECT_NE(err.find(aside), std::string::npos) << err;
    for (const char *suffix : GetParam().companions) {
        EXPECT_FALSE(test::exists(file() + suffix)) << suffix;
        EXPECT_EQ(readFile(aside + suffix), std::string("leftover ") + suffix + std::string(600, '\x11')) << suffix;
    }

    // The fresh store works and keeps what is saved into it.
    store.reset();
    saveMarked(2);
    EXPECT_EQ(storedMarker(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedStoreTest,
    ::testing::Values(DamageCase{"GarbageWithJournal", replaceWithGarbage, {"-journal"}},
                      DamageCase{"GarbageWithWalAndShm", replaceWithGarbage, {"-wal", "-shm"}},
                      DamageCase{"CorruptPages", corruptPages, {}}),
    [](const ::testing::TestParamInfo<DamageCase> &info) { return std::string(info.param.label); });

// Damage that appears while the store is open (another writer, the disk) is
// met by the next operation: it fails, and the file goes aside as at open.
TEST_F(SqliteStoreTest, DamageFoundWhileOpenMovesTheFileAsideToo)
{
    saveMarked(1);
    auto store = open();
    ASSERT_TRUE(store);
    std::string target;
    ASSERT_EQ(loadSettings(*store, true, target).intervalSeconds, 1u);

    corruptPages(file());
    // Bump the header's change counter so that the open connection rereads.
    std::string bytes = readFile(file());
    bytes[27] = static_cast<char>(bytes[27] + 1);
    writeFile(file(), bytes);

    ::testing::internal::CaptureStderr();
    Status status = Status::Ok;
    const LoadedSettings loaded = loadSettings(*store, true, target, &status);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, Status::Damaged);
    EXPECT_TRUE(loaded.ports.empty());
    EXPECT_NE(err.find("damaged"), std::string::npos) << err;
    EXPECT_TRUE(anythingMovedAside());

    ASSERT_EQ(saveSettings(*store, test::markedTarget(4), 4, 1, test::markedPorts(4)), Status::Ok);
    store.reset();
    EXPECT_EQ(storedMarker(), 4);
}

struct LockCase {
    const char *label;
    int holdMs;
    int busyTimeoutMs;
    Status expected;
};

class LockedStoreTest : public SqliteStoreTest, public ::testing::WithParamInterface<LockCase> {};

// Another process holds the database exclusively for a while: a save waits
// for it, or reports Busy once its patience is spent; the file stays.
TEST_P(LockedStoreTest, SaveWaitsOrReportsBusyAndNeverMovesTheFile)
{
    saveMarked(1);
    const std::string path = file();
    const std::string held = dir_ / "held";
    const int holdMs = GetParam().holdMs;
    const int holder = test::forkChild([&]() {
        test::OtherConnection db(path);
        if (db.exec("BEGIN EXCLUSIVE") != SQLITE_OK || !test::writeFile(held, "held"))
            return 1;
        ::usleep(static_cast<useconds_t>(holdMs) * 1000);
        return 0; // closing rolls back
    });
    ASSERT_TRUE(test::waitUntil([&] { return test::exists(held); }, 5000));

    Status opened = Status::Ok;
    auto store = open(GetParam().busyTimeoutMs, &opened);
    Status saved = opened;
    if (store)
        saved = saveSettings(*store, test::markedTarget(2), 2, 1, test::markedPorts(2));
    EXPECT_EQ(saved, GetParam().expected) << reg::statusText(saved);
    EXPECT_EQ(test::waitChild(holder), 0);
    store.reset();

    EXPECT_FALSE(anythingMovedAside());
    EXPECT_EQ(storedMarker(), GetParam().expected == Status::Ok ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Locks, LockedStoreTest,
                         ::testing::Values(LockCase{"ShorterThanTimeout", 1000, 3000, Status::Ok},
                                           LockCase{"LongerThanTimeout", 1200, 200, Status::Busy}),
                         [](const ::testing::TestParamInfo<LockCase> &info) { return std::string(info.param.label); });

// Another connection's write transaction keeps no reader out. (One that
// keeps readers out too is StoredValues' busy store at start.)
TEST_F(SqliteStoreTest, LoadReadsBesideAnotherWritersTransaction)
{
    saveMarked(1);
    auto store = open(200);
    ASSERT_TRUE(store);
    test::OtherConnection other(file());
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    std::string target;
    Status status = Status::IoError;
    EXPECT_TRUE(test::sameEntries(loadSettings(*store, true, target, &status).ports, test::markedPorts(1)));
    EXPECT_EQ(status, Status::Ok);
    EXPECT_EQ(target, test::markedTarget(1));
}

struct FaultCase {
    const char *label;
    const char *inject;
    int status;           // of the helper: 2 for a failed save, 128 + SIGKILL for a crash
    const char *reported; // text of the failure on standard error
};

class InjectedFaultTest : public SqliteStoreTest, public ::testing::WithParamInterface<FaultCase> {};

// The save runs in a helper program under strace, which makes the system
// fail or kill it at the chosen call: while it writes its transaction, or
// in the syncs of the commit.
TEST_P(InjectedFaultTest, SaveFailsCleanlyAndTheOldConfigurationStays)
{
    const char *helper = std::getenv("VIGILON_SAVE_HELPER");
    if (!helper || !*helper)
        GTEST_SKIP() << "VIGILON_SAVE_HELPER is not set; run the tests through ctest";
    if (test::run({"strace", "-qq", "-o", "/dev/null", "true"}).status != 0)
        GTEST_SKIP() << "strace is missing or may not trace here";
    saveMarked(1);

    const test::RunResult run = test::run(
        {"strace", "-f", "-qq", "-o", "/dev/null", "-e", GetParam().inject, helper, file(), "2"},
        {"ASAN_OPTIONS=detect_leaks=0"}); // the leak checker cannot run under a tracer
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_NE(run.err.find(GetParam().reported), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("damaged"), std::string::npos) << run.err;
    EXPECT_TRUE(test::exists(file()));
    // A query after a crash reads the last whole state, rolling the
    // interrupted save back itself.
    if (const char *tool = std::getenv("VIGILON_REG_TOOL"); tool && run.status == 128 + SIGKILL) {
        const test::RunResult query = test::run({tool, "query", "HKLM\\Software\\Ardentis\\Vigilon\\Monitor", "/v",
                                                 "Interval"},
                                                {"VIGILON_REGISTRY=" + file()});
        EXPECT_EQ(query.status, 0) << query.err;
        EXPECT_NE(query.out.find("Interval    REG_DWORD    0x1\n"), std::string::npos) << query.out;
    }
    EXPECT_FALSE(anythingMovedAside());
    EXPECT_EQ(storedMarker(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, InjectedFaultTest,
    ::testing::Values(FaultCase{"DiskFull", "inject=pwrite64:error=ENOSPC", 2, "no space left"},
                      FaultCase{"SyncFails", "inject=fdatasync:error=EIO", 2, "input/output error"},
                      FaultCase{"LaterSyncFails", "inject=fdatasync:error=EIO:when=3", 2, "input/output error"},
                      FaultCase{"KilledAtFirstWrite", "inject=pwrite64:signal=SIGKILL:when=1", 128 + SIGKILL, ""},
                      FaultCase{"KilledAtJournalSync", "inject=fdatasync:signal=SIGKILL:when=1", 128 + SIGKILL, ""},
                      FaultCase{"KilledAtDatabaseSync", "inject=fdatasync:signal=SIGKILL:when=4", 128 + SIGKILL, ""}),
    [](const ::testing::TestParamInfo<FaultCase> &info) { return std::string(info.param.label); });

// One process sets "Logon" to 1 whenever it finds it 0, the other takes it
// over and over: every 1 written is seen exactly once.
TEST_F(SqliteStoreTest, ReadAndClearOfLogonLosesNoOne)
{
    saveMarked(1); // creates the program key
    constexpr int kWrites = 30;
    constexpr int kAttempts = 20000;
    const std::string path = file();
    const int writer = test::forkChild([&]() {
        auto store = SqliteRegistry::open(path);
        if (!store)
            return 255;
        int written = 0;
        for (int attempt = 0; attempt < kAttempts && written < kWrites; ++attempt) {
            if (test::storedDword(*store, kProgramKey, kLogonValue, 0) == 0 && setLogonFlag(*store, 1) == Status::Ok)
                ++written;
        }
        return written;
    });

    auto store = open();
    ASSERT_TRUE(store);
    int seen = 0;
    int status = 0;
    bool done = false;
    std::uint32_t taken = 0;
    for (int round = 0; round < 4 * kAttempts && !done; ++round) {
        done = ::waitpid(writer, &status, WNOHANG) == writer;
        seen += takeLogonFlag(*store, taken) == Status::Ok && taken == 1;
    }
    if (!done)
        ::waitpid(writer, &status, 0);
    seen += takeLogonFlag(*store, taken) == Status::Ok && taken == 1; // after its last write
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_GT(WEXITSTATUS(status), 0);
    EXPECT_EQ(seen, WEXITSTATUS(status));
}

TEST_F(SqliteStoreTest, FollowsAFileReplacedBehindItsBack)
{
    saveMarked(1);
    auto holder = open();
    ASSERT_TRUE(holder);
    ASSERT_EQ(::rename(file().c_str(), (dir_ / "elsewhere").c_str()), 0);
    saveMarked(2);

    std::string target;
    EXPECT_EQ(loadSettings(*holder, true, target).intervalSeconds, 2u);
    EXPECT_EQ(setLogonFlag(*holder, 1), Status::Ok);
    holder.reset();
    EXPECT_EQ(test::storedDword(*open(), kProgramKey, kLogonValue), 1u) << "written into the new file";
}

// VIGILON_REGISTRY and XDG_CONFIG_HOME are followed in
// UnopenableStoreStartsWithDefaultsAndRefusesToSave and
// FileIsOwnerOnlyInOwnerOnlyDirectories; empty or relative ones are not.
TEST_F(SqliteStoreTest, DefaultPathIgnoresEmptyAndRelativeVariables)
{
    test::ScopedEnv env{{"VIGILON_REGISTRY", ""}, {"XDG_CONFIG_HOME", "relative"}, {"HOME", "/home/u"}};
    EXPECT_EQ(defaultRegistryPath(), "/home/u/.config/vigilon/registry.sqlite");
}

TEST_F(SqliteStoreTest, UnopenableStoreStartsWithDefaultsAndRefusesToSave)
{
    // A directory where the file should be: it cannot be opened as a file.
    ASSERT_EQ(::mkdir(file().c_str(), 0700), 0);
    std::unique_ptr<reg::Registry> store;
    ::testing::internal::CaptureStderr();
    {
        test::ScopedEnv chosen{{"VIGILON_REGISTRY", file()}};
        store = openDefaultRegistry();
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(store);
    EXPECT_NE(err.find(file()), std::string::npos) << err;
    std::string target = "127.0.0.1";
    Status status = Status::Ok;
    const LoadedSettings loaded = loadSettings(*store, true, target, &status);
    EXPECT_NE(status, Status::Ok);
    EXPECT_EQ(loaded.intervalSeconds, 5u);
    EXPECT_NE(saveSettings(*store, "h", 5, 1, test::markedPorts(1)), Status::Ok);
    EXPECT_FALSE(anythingMovedAside());
}

// Raw access to the Monitor key, as another tool would have it.
void putString(reg::Registry &registry, const std::string &name, const std::string &bytes,
               std::uint32_t type = reg::RegExpandSz)
{
    ASSERT_EQ(registry.createKey(kMonitorKey)->setValue(name, type, {bytes.begin(), bytes.end()}), Status::Ok);
}

std::optional<reg::Value> valueOf(reg::Registry &registry, const std::string &name)
{
    reg::Value value;
    auto key = registry.openKey(kMonitorKey, reg::KeyQueryValue);
    if (key && key->queryValue(name, value) == Status::Ok)
        return value;
    return std::nullopt;
}

std::optional<std::string> stringOf(reg::Registry &registry, const std::string &name)
{
    const std::optional<reg::Value> value = valueOf(registry, name);
    return value ? std::optional(reg::stringFromValue(*value)) : std::nullopt;
}

// The configuration on the store; the store's own failures are
// SqliteStoreTest's.
class SettingsTest : public SqliteStoreTest {
protected:
    void SetUp() override
    {
        Status status = Status::Ok;
        store_ = open(3000, &status);
        ASSERT_EQ(status, Status::Ok);
    }

    reg::Registry &store() { return *store_; }

    // The store as the next start of the program sees it.
    reg::Registry &reopened()
    {
        second_ = open();
        EXPECT_TRUE(second_);
        return *second_;
    }

    LoadedSettings load(bool readTarget = false, std::string *target = nullptr, Status *status = nullptr)
    {
        std::string host = "127.0.0.1";
        return loadSettings(reopened(), readTarget, target ? *target : host, status);
    }

    void save(const PortList &ports, const std::string &target = "watched.example", std::uint32_t interval = 7,
              std::uint32_t retry = 3)
    {
        ASSERT_EQ(saveSettings(store(), target, interval, retry, ports), Status::Ok);
    }

    // The configuration as the program loads it to save it again: with the
    // placeholder, and what the store held in stored.
    PortList loadPorts(StoredValues *stored = nullptr)
    {
        std::string target = "127.0.0.1";
        Status status = Status::Ok;
        LoadedSettings loaded = loadSettings(store(), true, target, &status, stored);
        EXPECT_EQ(status, Status::Ok);
        appendPlaceholder(loaded.ports);
        return std::move(loaded.ports);
    }

    // A value of the configuration's key with its type; none when missing.
    std::pair<std::uint32_t, std::vector<std::uint8_t>> typed(const std::string &name)
    {
        const reg::Value value = valueOf(store(), name).value_or(reg::Value{});
        return {value.type, value.data};
    }
    // Every value of the configuration's key, with its type and bytes.
    std::map<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>> snapshot()
    {
        std::map<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>> out;
        for (const std::string &name : store().openKey(kMonitorKey, reg::KeyQueryValue)->valueNames())
            out[name] = typed(name);
        return out;
    }

    static std::vector<std::uint32_t> portsOf(const LoadedSettings &loaded)
    {
        std::vector<std::uint32_t> ports;
        for (const auto &entry : loaded.ports)
            ports.push_back(entry->port);
        return ports;
    }

    std::unique_ptr<reg::Registry> store_;
    std::unique_ptr<reg::Registry> second_;
};

TEST_F(SettingsTest, SaveWritesTheLayoutInItsOrderWithoutThePlaceholder)
{
    const PortList ports = test::markedPorts(3, 2);
    save(ports, "watched.example", 9, 2);

    auto key = store().openKey(kMonitorKey, reg::KeyQueryValue);
    ASSERT_TRUE(key);
    const std::vector<std::string> expected = {
        "Port Count", "Interval", "Retry", "Target",
        "Port #0", "Threshold #0", "Protocol #0", "PortName #0", "Service #0", "Action #0", "Active #0",
        "CertWarnDays #0",
        "Port #1", "Threshold #1", "Protocol #1", "PortName #1", "Service #1", "Action #1", "Active #1",
        "CertWarnDays #1"};
    EXPECT_EQ(key->valueNames(), expected); // nothing for the placeholder at index 2
    EXPECT_EQ(typed("Port Count"), std::pair(std::uint32_t(reg::RegDword), reg::dwordBytes(2)));
    EXPECT_EQ(typed("Service #1"), std::pair(std::uint32_t(reg::RegExpandSz), reg::stringBytes("alert 3 %TARGET%")))
        << "no NUL, not expanded";
    EXPECT_EQ(typed("Target").first, reg::RegExpandSz);

    std::string target = "given.example";
    load(false, &target);
    EXPECT_EQ(target, "given.example") << "the target is read only when asked";
    const LoadedSettings loaded = load(true, &target);
    EXPECT_EQ(target, "watched.example");
    EXPECT_EQ(loaded.intervalSeconds, 9u);
    EXPECT_EQ(loaded.retryLimit, 2u);
    EXPECT_TRUE(test::sameEntries(loaded.ports, ports));
    EXPECT_EQ(loaded.ports.at(1)->status, Idle);
}

TEST_F(SettingsTest, EntriesMadeFromThePlaceholderAreSavedWithActionOne)
{
    PortList ports;
    appendPlaceholder(ports);
    ports.back()->name = "first";
    ports.back()->port = 25;
    appendPlaceholder(ports);
    ports.back()->name = "second";
    appendPlaceholder(ports);
    save(ports);
    EXPECT_EQ(typed("Action #0").second, reg::dwordBytes(1));
    EXPECT_EQ(typed("Action #1").second, reg::dwordBytes(1));
    EXPECT_FALSE(valueOf(store(), "PortName #2").has_value());
    EXPECT_EQ(load().ports.size(), 2u);
}

TEST_F(SettingsTest, EntryWithAMissingValueIsSkippedAndTheListClosesUp)
{
    save(test::markedPorts(1, 3));
    ASSERT_EQ(store().openKey(kMonitorKey, reg::KeySetValue)->deleteValue("Action #1"), Status::Ok);
    LoadedSettings loaded = load();
    EXPECT_EQ(portsOf(loaded), (std::vector<std::uint32_t>{100, 102}));

    // The next save stores the former entry 2 as entry 1; the old index 2
    // stays behind, beyond the count.
    appendPlaceholder(loaded.ports);
    save(loaded.ports);
    EXPECT_EQ(typed("Port Count").second, reg::dwordBytes(2));
    EXPECT_EQ(typed("Port #1").second, reg::dwordBytes(102));
    EXPECT_EQ(typed("Port #2").second, reg::dwordBytes(102));
    EXPECT_EQ(portsOf(load()), (std::vector<std::uint32_t>{100, 102}));
}

// A save given what the store holds writes only the values that changed: a
// value changed behind its back meanwhile stays as it is. An entry the load
// skipped is written whole at its new index.
TEST_F(SettingsTest, ASaveWithTheStoredValuesWritesOnlyWhatChanged)
{
    save(test::markedPorts(1, 3));
    ASSERT_EQ(store().openKey(kMonitorKey, reg::KeySetValue)->deleteValue("Action #1"), Status::Ok);
    StoredValues stored;
    std::string target = "127.0.0.1";
    LoadedSettings loaded = loadSettings(store(), true, target, nullptr, &stored);
    ASSERT_EQ(portsOf(loaded), (std::vector<std::uint32_t>{100, 102}));
    appendPlaceholder(loaded.ports);
    // Behind the program's back: the first entry's threshold.
    auto other = reopened().openKey(kMonitorKey, reg::KeySetValue);
    ASSERT_EQ(other->setValue("Threshold #0", reg::RegDword, reg::dwordBytes(999)), Status::Ok);
    loaded.ports[0]->name = "renamed";
    ASSERT_EQ(saveSettings(store(), target, 7, 3, loaded.ports, &stored), Status::Ok);
    EXPECT_EQ(typed("PortName #0").second, reg::stringBytes("renamed"));
    EXPECT_EQ(typed("Threshold #0").second, reg::dwordBytes(999)) << "not written again";
    EXPECT_EQ(typed("Port Count").second, reg::dwordBytes(2));
    EXPECT_EQ(typed("Action #1").second, reg::dwordBytes(loaded.ports[1]->action)) << "the skipped index";
    loaded.ports.pop_back();
    const LoadedSettings again = load();
    ASSERT_EQ(portsOf(again), (std::vector<std::uint32_t>{100, 102}));
    EXPECT_EQ(again.ports[1]->name, loaded.ports[1]->name);
    EXPECT_EQ(again.ports[1]->command, loaded.ports[1]->command);

    // Unchanged, nothing is written; a change after a save is.
    other = reopened().openKey(kMonitorKey, reg::KeySetValue);
    ASSERT_EQ(other->setValue("Retry", reg::RegDword, reg::dwordBytes(4)), Status::Ok);
    appendPlaceholder(loaded.ports);
    ASSERT_EQ(saveSettings(store(), target, 7, 3, loaded.ports, &stored), Status::Ok);
    EXPECT_EQ(typed("Retry").second, reg::dwordBytes(4));
    loaded.ports[1]->active = 0;
    ASSERT_EQ(saveSettings(store(), target, 7, 2, loaded.ports, &stored), Status::Ok);
    EXPECT_EQ(typed("Active #1").second, reg::dwordBytes(0));
    EXPECT_EQ(typed("Retry").second, reg::dwordBytes(2));
}

// "CertWarnDays #i" is optional: absent (a store of an earlier version),
// or not fitting, it is 14; 0 and any other number load as stored, and the
// entry loads either way.
TEST_F(SettingsTest, CertificateDaysOfWarningAreOptionalAndDefaultTo14)
{
    struct Case {
        const char *label;
        std::optional<std::vector<std::uint8_t>> stored;
        std::uint32_t loaded;
    } const cases[] = {
        {"absent", std::nullopt, 14},
        {"zero", reg::dwordBytes(0), 0},
        {"thirty", reg::dwordBytes(30), 30},
        {"too long", std::vector<std::uint8_t>(8, 1), 14},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        PortList ports = test::markedPorts(1, 1);
        ports[0]->protocol = Https;
        save(ports);
        auto key = store().openKey(kMonitorKey, reg::KeySetValue);
        if (c.stored)
            ASSERT_EQ(key->setValue("CertWarnDays #0", reg::RegDword, *c.stored), Status::Ok);
        else
            ASSERT_EQ(key->deleteValue("CertWarnDays #0"), Status::Ok);
        const LoadedSettings loaded = load();
        ASSERT_EQ(loaded.ports.size(), 1u);
        EXPECT_EQ(std::pair(loaded.ports[0]->protocol, loaded.ports[0]->certWarnDays), std::pair(std::uint32_t(Https), c.loaded));
    }
    // A save given what the load found writes the value only where it
    // differs from what is stored.
    PortList ports = test::markedPorts(1, 1);
    ports[0]->certWarnDays = 7;
    save(ports);
    StoredValues stored;
    PortList loaded = loadPorts(&stored);
    ASSERT_EQ(reopened().openKey(kMonitorKey, reg::KeySetValue)->setValue("CertWarnDays #0", reg::RegDword,
                                                                          reg::dwordBytes(9)),
              Status::Ok);
    ASSERT_EQ(saveSettings(store(), "127.0.0.1", 7, 3, loaded, &stored), Status::Ok);
    EXPECT_EQ(typed("CertWarnDays #0").second, reg::dwordBytes(9));
    loaded[0]->certWarnDays = 0;
    ASSERT_EQ(saveSettings(store(), "127.0.0.1", 7, 3, loaded, &stored), Status::Ok);
    EXPECT_EQ(typed("CertWarnDays #0").second, reg::dwordBytes(0));
}

// The UDP values are optional and written only where they say more than
// the default: a store without them loads send-only entries, one with them
// loads what it holds, and a save takes back what returned to the default.
TEST_F(SettingsTest, UdpModeAndBytesAreOptionalAndRoundTrip)
{
    PortList ports = test::markedPorts(1, 1);
    ports[0]->protocol = GenericUdp;
    save(ports);
    for (const char *name : {"UDP Mode #0", "UDP Payload #0", "UDP Expect #0"})
        EXPECT_FALSE(valueOf(store(), name)) << name;
    PortList loaded = loadPorts();
    EXPECT_EQ(loaded.at(0)->udpMode, UdpSendOnly);

    ports[0]->udpMode = UdpExpectReply;
    ports[0]->udpPayload = "hex:1b 00";
    ports[0]->udpExpect = "pong";
    save(ports);
    EXPECT_EQ(valueOf(store(), "UDP Mode #0")->type, reg::RegDword);
    EXPECT_EQ(valueOf(store(), "UDP Payload #0")->type, reg::RegSz);
    EXPECT_EQ(typed("UDP Expect #0").second, reg::stringBytes("pong"));
    StoredValues stored;
    loaded = loadPorts(&stored);
    EXPECT_EQ(std::tuple(loaded.at(0)->udpMode, loaded[0]->udpPayload, loaded[0]->udpExpect),
              std::tuple(std::uint32_t(UdpExpectReply), std::string("hex:1b 00"), std::string("pong")));

    // Unchanged, nothing is written over what another hand stored since.
    ASSERT_EQ(reopened().openKey(kMonitorKey, reg::KeySetValue)
                  ->setValue("UDP Expect #0", reg::RegSz, reg::stringBytes("other")),
              Status::Ok);
    ASSERT_EQ(saveSettings(store(), "127.0.0.1", 7, 3, loaded, &stored), Status::Ok);
    EXPECT_EQ(typed("UDP Expect #0").second, reg::stringBytes("other"));

    // Back to the defaults: the values go.
    loaded[0]->udpMode = UdpSendOnly;
    loaded[0]->udpPayload.clear();
    loaded[0]->udpExpect.clear();
    ASSERT_EQ(saveSettings(store(), "127.0.0.1", 7, 3, loaded, &stored), Status::Ok);
    for (const char *name : {"UDP Mode #0", "UDP Payload #0", "UDP Expect #0"})
        EXPECT_FALSE(valueOf(store(), name)) << name;

    // A mode this program does not know checks as send only.
    ASSERT_EQ(store().openKey(kMonitorKey, reg::KeySetValue)->setValue("UDP Mode #0", reg::RegDword, reg::dwordBytes(9)),
              Status::Ok);
    EXPECT_EQ(loadPorts().at(0)->udpMode, UdpSendOnly);
}

struct StringCase {
    const char *label;
    std::string stored;
    bool loads;
    std::string loaded;
};

TEST_F(SettingsTest, StringsAreReadUpToTheirLengthOrFirstNulAndAtMost1023Bytes)
{
    const std::vector<StringCase> cases = {
        {"no NUL", "plain", true, "plain"},
        {"embedded NUL", std::string("abc\0def", 7), true, "abc"},
        {"trailing NUL", std::string("abc\0", 4), true, "abc"},
        {"empty", "", true, ""},
        {"1023 bytes", std::string(1023, 'x'), true, std::string(1023, 'x')},
        {"1024 bytes", std::string(1024, 'x'), false, ""},
        {"1023 bytes ending in NUL", std::string(1022, 'y') + '\0', true, std::string(1022, 'y')},
    };
    for (const char *valueName : {"PortName #0", "Service #0"}) {
        for (const StringCase &c : cases) {
            SCOPED_TRACE(std::string(valueName) + ", " + c.label);
            save(test::markedPorts(1, 1), "host.example");
            putString(store(), valueName, c.stored);
            const LoadedSettings loaded = load();
            ASSERT_EQ(loaded.ports.size(), c.loads ? 1u : 0u);
            if (c.loads) {
                const MonitorPort &entry = *loaded.ports[0];
                EXPECT_EQ(std::string(valueName) == "PortName #0" ? entry.name : entry.command, c.loaded);
            }
        }
    }
    for (const StringCase &c : cases) {
        SCOPED_TRACE(std::string("Target, ") + c.label);
        putString(store(), "Target", c.stored);
        std::string target = "before.example";
        load(true, &target);
        EXPECT_EQ(target, c.loads ? c.loaded : "before.example");
    }
}

TEST_F(SettingsTest, NamesAndKeyPathsCompareWithoutRegardToCase)
{
    auto key = store().createKey("SOFTWARE\\ardentis\\VIGILON\\monitor");
    ASSERT_TRUE(key);
    for (const auto &[name, v] : std::initializer_list<std::pair<const char *, std::uint32_t>>{
             {"PORT COUNT", 1}, {"interval", 11}, {"port #0", 443}, {"PROTOCOL #0", Http}, {"threshold #0", 5},
             {"ACTION #0", 1}, {"active #0", 1}, {"certwarndays #0", 3}})
        ASSERT_EQ(key->setValue(name, reg::RegDword, reg::dwordBytes(v)), Status::Ok);
    ASSERT_EQ(key->setValue("portname #0", reg::RegSz, reg::stringBytes("web")), Status::Ok);
    ASSERT_EQ(key->setValue("SERVICE #0", reg::RegSz, reg::stringBytes("")), Status::Ok);

    const LoadedSettings loaded = load();
    EXPECT_EQ(loaded.ports.at(0)->certWarnDays, 3u);
    EXPECT_EQ(loaded.intervalSeconds, 11u);
    ASSERT_EQ(portsOf(loaded), std::vector<std::uint32_t>{443});
    EXPECT_EQ(loaded.ports[0]->name, "web");

    // A save overwrites the values in place instead of adding twins, and
    // keeps the key's first spelling.
    const std::size_t before = key->valueNames().size();
    save(test::markedPorts(1, 1));
    EXPECT_EQ(store().openKey(kMonitorKey, reg::KeyQueryValue)->valueNames().size(), before + 2); // Retry, Target
    EXPECT_EQ(store().subkeys("Software\\Ardentis\\Vigilon"),
              std::vector<std::string>{"SOFTWARE\\ardentis\\VIGILON\\monitor"});
}

// What a load reads in one go is what it would read value by value: every
// name in its order and spelling, with type and bytes, in a transaction or
// not, and nothing for a key that is not there.
TEST_F(SettingsTest, AllValuesAtOnceAreTheValuesOneByOne)
{
    save(test::markedPorts(2, 3));
    auto key = store().openKey(kMonitorKey, reg::KeyQueryValue);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->setValue("odd Spelling", reg::RegBinary, {0, 1, 2}), Status::ReadOnly);
    ASSERT_EQ(store().createKey(kMonitorKey)->setValue("odd Spelling", reg::RegBinary, {0, 1, 2}), Status::Ok);
    std::vector<std::pair<std::string, reg::Value>> oneByOne;
    for (const std::string &name : key->valueNames()) {
        reg::Value value;
        ASSERT_EQ(key->queryValue(name, value), Status::Ok);
        oneByOne.emplace_back(name, value);
    }
    ASSERT_GT(oneByOne.size(), 20u);
    EXPECT_EQ(oneByOne.back().first, "odd Spelling");
    const auto same = [&](const std::vector<std::pair<std::string, reg::Value>> &atOnce) {
        ASSERT_EQ(atOnce.size(), oneByOne.size());
        for (std::size_t i = 0; i < atOnce.size(); ++i) {
            EXPECT_EQ(atOnce[i].first, oneByOne[i].first);
            EXPECT_EQ(atOnce[i].second.type, oneByOne[i].second.type) << atOnce[i].first;
            EXPECT_EQ(atOnce[i].second.data, oneByOne[i].second.data) << atOnce[i].first;
        }
    };
    std::vector<std::pair<std::string, reg::Value>> atOnce;
    ASSERT_EQ(key->allValues(atOnce), Status::Ok);
    same(atOnce);
    ASSERT_EQ(store().readTransact([&] { return key->allValues(atOnce); }), Status::Ok);
    same(atOnce);

    auto gone = store().createKey("Software\\Ardentis\\Gone");
    ASSERT_TRUE(gone);
    ASSERT_EQ(store().deleteKey("Software\\Ardentis\\Gone"), Status::Ok);
    atOnce.emplace_back("left over", reg::Value{});
    EXPECT_EQ(gone->allValues(atOnce), Status::Ok);
    EXPECT_TRUE(atOnce.empty());
}

TEST_F(SettingsTest, ValueTypesAreNotCheckedButSizesAre)
{
    save(test::markedPorts(1, 1));
    // A string-typed port of four bytes reads as the number.
    putString(store(), "Port #0", std::string("\x50\x00\x00\x00", 4), reg::RegSz);
    EXPECT_EQ(portsOf(load()), std::vector<std::uint32_t>{80});
    // Fewer bytes fill the low bytes of the new entry's value.
    putString(store(), "Port #0", std::string("\x90\x1f", 2), reg::RegBinary);
    EXPECT_EQ(portsOf(load()), std::vector<std::uint32_t>{8080});
    // More than four bytes do not fit: an entry is dropped
    // (StoredValues.intervalsOutsideTheRangeAndValuesThatDoNotFitAreSaidWhenLoaded),
    // a header value takes its default.
    putString(store(), "Interval", std::string(8, '\x01'), reg::RegDword);
    EXPECT_EQ(load().intervalSeconds, 5u);

    // A huge count loads what is there.
    save(test::markedPorts(1, 3));
    putString(store(), "Port Count", std::string(4, '\xff'), reg::RegDword);
    EXPECT_EQ(portsOf(load()), (std::vector<std::uint32_t>{100, 101, 102}));
}

TEST_F(SettingsTest, LogonFlagNeverCreatesItsKey)
{
    EXPECT_EQ(setLogonFlag(store(), 1), Status::NotFound);
    EXPECT_FALSE(store().openKey(kProgramKey, reg::KeyQueryValue));
    std::uint32_t taken = 7;
    EXPECT_EQ(takeLogonFlag(store(), taken), Status::NotFound);
    EXPECT_EQ(taken, 0u);
    EXPECT_FALSE(store().openKey(kProgramKey, reg::KeyQueryValue));

    save(test::markedPorts(1, 0)); // creates the program key as the Monitor key's parent
    auto key = store().openKey("software\\ardentis\\vigilon\\", reg::KeyQueryValue); // without values yet
    ASSERT_TRUE(key);
    EXPECT_EQ(key->setValue(kLogonValue, reg::RegDword, reg::dwordBytes(1)), Status::ReadOnly) << "opened to query";
    EXPECT_EQ(takeLogonFlag(store(), taken), Status::Ok); // missing value: 0, and now written as 0
    EXPECT_EQ(taken, 0u);
    EXPECT_EQ(setLogonFlag(store(), 1), Status::Ok);
    EXPECT_EQ(takeLogonFlag(reopened(), taken), Status::Ok);
    EXPECT_EQ(taken, 1u);
    EXPECT_EQ(takeLogonFlag(store(), taken), Status::Ok);
    EXPECT_EQ(taken, 0u);
    reg::Value value;
    ASSERT_EQ(store().openKey(kProgramKey, reg::KeyQueryValue)->queryValue("logon", value), Status::Ok);
    EXPECT_EQ(value.type, reg::RegDword);
    EXPECT_EQ(value.data, reg::dwordBytes(0));
}

TEST_F(SettingsTest, NestedTransactionsUndoOnlyTheFailedPart)
{
    auto key = store().createKey("Software\\Test");
    ASSERT_TRUE(key);
    const auto put = [&](const char *name) { return key->setValue(name, reg::RegDword, reg::dwordBytes(1)); };
    EXPECT_EQ(store().transact([&]() {
        EXPECT_EQ(put("outer before"), Status::Ok);
        EXPECT_EQ(store().transact([&]() {
            EXPECT_EQ(put("inner"), Status::Ok);
            return Status::Full;
        }),
                  Status::Full);
        return put("outer after");
    }),
              Status::Ok);
    EXPECT_EQ(key->valueNames(), (std::vector<std::string>{"outer before", "outer after"}));

    EXPECT_EQ(store().transact([&]() {
        put("dropped");
        return Status::IoError;
    }),
              Status::IoError);
    EXPECT_EQ(key->valueNames().size(), 2u);

    // A key made in a failed part, or deleted, takes no more values.
    EXPECT_EQ(store().transact([&]() {
        std::unique_ptr<reg::Key> made;
        store().transact([&]() {
            made = store().createKey("Software\\Made");
            EXPECT_EQ(made->setValue("x", reg::RegDword, reg::dwordBytes(1)), Status::Ok);
            return Status::Full;
        });
        EXPECT_EQ(made->setValue("y", reg::RegDword, reg::dwordBytes(1)), Status::NotFound);
        EXPECT_EQ(put("kept"), Status::Ok);
        EXPECT_EQ(store().deleteKey("Software\\Test"), Status::Ok);
        return put("after its deletion");
    }),
              Status::NotFound);
    EXPECT_EQ(key->valueNames().size(), 2u);
}

TEST_F(SettingsTest, KeysAreDeletedWithEverythingBelowThem)
{
    for (const char *path : {"Software\\A\\B\\C", "Software\\A\\D", "Software\\AB"})
        ASSERT_TRUE(store().createKey(path)) << path;
    ASSERT_EQ(store().createKey("software\\a\\b")->setValue("x", reg::RegSz, {}), Status::Ok);
    EXPECT_EQ(store().subkeys("SOFTWARE\\a"), (std::vector<std::string>{"Software\\A\\B", "Software\\A\\D"}));
    EXPECT_EQ(store().deleteKey("Software\\A"), Status::Ok);
    EXPECT_FALSE(store().openKey("Software\\A\\B\\C", reg::KeyQueryValue));
    EXPECT_FALSE(store().openKey("Software\\A\\B", reg::KeyQueryValue));
    EXPECT_TRUE(store().openKey("Software\\AB", reg::KeyQueryValue));
    EXPECT_EQ(store().subkeys(""), std::vector<std::string>{"Software"});
    // A fresh key of the same name starts without the old values.
    ASSERT_TRUE(store().createKey("Software\\A\\B"));
    EXPECT_TRUE(store().openKey("Software\\A\\B", reg::KeyQueryValue)->valueNames().empty());
}

// Entries that name a host of their own: what is written and read back, and
// that a store without such hosts stays exactly as it was.
TEST_F(SettingsTest, hostsGoInAndComeBackAndOnlyEntriesWithOneStoreIt)
{
    struct Case {
        std::string host;
        // What "Host #i" holds afterwards; none: no such value.
        std::optional<std::string> stored;
    };
    const Case cases[] = {
        {"", std::nullopt},
        {"127.0.0.2", "127.0.0.2"},
        {"::1", "::1"},
        {"web-1.example", "web-1.example"},
        {"ホスト.example", "ホスト.example"},
    };
    std::vector<test::StoredPort> list;
    for (const Case &c : cases)
        list.push_back({80, GenericTcp, 1, 0, "alert %TARGET%", "TCP", c.host});
    ASSERT_EQ(test::storePorts(store(), list), Status::Ok);

    const PortList loaded = loadPorts();
    ASSERT_EQ(realEntryCount(loaded), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].host);
        EXPECT_EQ(loaded[i]->host, cases[i].host);
        EXPECT_EQ(stringOf(store(), "Host #" + std::to_string(i)), cases[i].stored);
        EXPECT_EQ(checkedHost(*loaded[i], "10.0.0.7"), cases[i].host.empty() ? "10.0.0.7" : cases[i].host);
    }
    EXPECT_EQ(valueOf(store(), "Host #1").value_or(reg::Value{}).type, reg::RegExpandSz);
}

// A store written before entries had hosts of their own: it loads with every
// entry on the target host, and saving it back, with or without what the
// load found, leaves every value as it was.
TEST_F(SettingsTest, aStoreWithoutHostsLoadsAsBeforeAndIsSavedByteForByte)
{
    ASSERT_EQ(test::storePorts(store(), {{21, GenericTcp, 1}, {80, Http, 0, 300, "x %TARGET%"}, {7, Ping, 1}}, 5, 1,
                               "127.0.0.1"),
              Status::Ok);
    const auto before = snapshot();
    for (const bool knowing : {true, false}) {
        SCOPED_TRACE(knowing ? "with what the load found" : "writing every value");
        StoredValues stored;
        const PortList loaded = loadPorts(knowing ? &stored : nullptr);
        ASSERT_EQ(realEntryCount(loaded), 3u);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(loaded[i]->host, "");
        ASSERT_EQ(saveSettings(store(), "127.0.0.1", 5, 1, loaded, knowing ? &stored : nullptr), Status::Ok);
        EXPECT_EQ(snapshot(), before);
    }
}

// A host taken away again, and an index that a deleted entry with a host
// leaves behind (values at or above the count stay in the store): the entry
// that comes to that index later checks the target host, not the old one.
TEST_F(SettingsTest, noEntryInheritsAHostItDoesNotHave)
{
    for (const bool knowing : {true, false}) {
        SCOPED_TRACE(knowing ? "with what the load found" : "writing every value");
        StoredValues stored;
        ASSERT_EQ(test::storePorts(store(), {{21, GenericTcp, 1, 0, "", "a", "one.example"},
                                             {22, GenericTcp, 1, 0, "", "b", "two.example"}}),
                  Status::Ok);
        PortList ports = loadPorts(knowing ? &stored : nullptr);
        ASSERT_EQ(realEntryCount(ports), 2u);

        // The first loses its host, the second is deleted: "Host #1" stays.
        ports[0]->host.clear();
        ports.erase(ports.begin() + 1);
        ASSERT_EQ(saveSettings(store(), "127.0.0.1", 5, 1, ports, knowing ? &stored : nullptr), Status::Ok);
        EXPECT_EQ(stringOf(store(), "Host #0"), std::nullopt);
        EXPECT_EQ(stringOf(store(), "Host #1"), "two.example");

        // A new entry without a host takes index 1.
        auto added = std::make_unique<MonitorPort>();
        added->port = 23;
        added->name = "c";
        ports.insert(ports.end() - 1, std::move(added));
        ASSERT_EQ(saveSettings(store(), "127.0.0.1", 5, 1, ports, knowing ? &stored : nullptr), Status::Ok);
        const PortList again = loadPorts();
        ASSERT_EQ(realEntryCount(again), 2u);
        EXPECT_EQ(again[0]->host, "");
        EXPECT_EQ(again[1]->host, "");
        EXPECT_EQ(stringOf(store(), "Host #1"), std::nullopt);
    }
}

// The host column's width is stored as "Column Width #6" beside the six of
// before, whose meaning stays; a store with the six only loads them alone.
TEST_F(SettingsTest, theHostColumnsWidthIsASeventhValueBesideTheOldSix)
{
    struct Case {
        std::vector<int> saved;
        std::vector<int> loaded;
    };
    const Case cases[] = {
        {{101, 201, 41, 121, 61, 61}, {101, 201, 41, 121, 61, 61}},
        {{101, 201, 41, 121, 61, 61, 150}, {101, 201, 41, 121, 61, 61, 150}},
        {{101, 201, 41, 0, 61, 61, 150}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.saved.size());
        WindowLayout layout;
        layout.columnWidths = c.saved;
        ASSERT_EQ(saveWindowLayout(store(), layout), Status::Ok);
        if (c.saved.size() == 6) {
            auto key = store().openKey(kMonitorKey, reg::KeySetValue);
            key->deleteValue("Column Width #6");
        }
        const WindowLayout loaded = loadWindowLayout(store());
        EXPECT_EQ(loaded.columnWidths, c.loaded);
    }
}

// A write that fails undoes the whole save. The SQLite store's own
// failures are InjectedFaultTest's.
TEST(Settings, FailedSaveLeavesThePreviousConfigurationWhole)
{
    reg::MemoryRegistry store;
    ASSERT_EQ(saveSettings(store, test::markedTarget(1), 1, 1, test::markedPorts(1)), Status::Ok);
    for (int failAt : {1, 2, 5, 20, 4 + 7 * test::kMarkedEntries}) {
        SCOPED_TRACE("write " + std::to_string(failAt) + " fails");
        store.failWrites(Status::IoError, failAt - 1);
        EXPECT_EQ(saveSettings(store, test::markedTarget(2), 2, 1, test::markedPorts(2, 6)), Status::IoError);
        store.failWrites(Status::Ok);
        std::string target;
        const LoadedSettings loaded = loadSettings(store, true, target);
        EXPECT_EQ(target, test::markedTarget(1));
        EXPECT_EQ(loaded.intervalSeconds, 1u);
        EXPECT_EQ(loaded.ports.size(), std::size_t(test::kMarkedEntries));
        EXPECT_FALSE(valueOf(store, "Port #5").has_value());
    }
}

} // namespace
} // namespace vigilon
