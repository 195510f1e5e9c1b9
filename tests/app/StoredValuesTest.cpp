// SPDX-License-Identifier: MIT
// What the frame makes of the store at start: a store another process holds,
// and values nobody should have stored.
#include "tests/support/FrameTestPeer.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/support/FrameFixture.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <algorithm>

namespace vigilon::test {
namespace {

using ::testing::HasSubstr;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class StoredValues : public FrameFixture {
protected:
    void putValue(const std::string &name, std::uint32_t type, const std::vector<std::uint8_t> &data)
    {
        ASSERT_EQ(registry.openKey(kMonitorKey, reg::KeySetValue)->setValue(name, type, data), reg::Status::Ok);
    }
    LoadedSettings loaded()
    {
        std::string target;
        return loadSettings(registry, false, target);
    }
    // What the fake probes were started on, in order.
    std::vector<std::uint32_t> checkedPorts() const
    {
        std::vector<std::uint32_t> ports;
        for (const auto &started : probes.started)
            ports.push_back(started.port);
        return ports;
    }
};

TEST_F(StoredValues, aBusyStoreAtStartIsWaitedForFromTheLoopAndNeverReplacedByTheDefaults)
{
    TempDir dir;
    const std::string path = dir / "registry.sqlite";
    reg::SqliteRegistry::Options options;
    options.busyTimeoutMs = 50;
    auto store = reg::SqliteRegistry::open(path, options);
    ASSERT_TRUE(store);
    ASSERT_EQ(storePorts(*store, {{80, GenericTcp, 1}}, 7), reg::Status::Ok);

    // Another connection keeps even readers out.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    frameRegistry = store.get();
    CaptureStderr();
    makeFrame(true);
    loop.advance(4500);
    EXPECT_TRUE(FrameTestPeer::ports(*frame).empty());
    EXPECT_FALSE(frame->running()) << "monitoring started on the defaults";
    EXPECT_TRUE(probes.started.empty());

    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    loop.advance(1000);
    EXPECT_EQ(frame->intervalSeconds(), 7u);
    ASSERT_EQ(FrameTestPeer::ports(*frame).size(), 2u);
    EXPECT_EQ(entry(0).port, 80u);
    loop.advance(2000);
    EXPECT_TRUE(frame->running());
    ASSERT_EQ(probes.started.size(), 1u);
    const std::string said = GetCapturedStderr();
    EXPECT_THAT(said, HasSubstr("the configuration store is busy; waiting"));
    EXPECT_EQ(said.find("busy"), said.rfind("busy")) << said;

    frame.reset();
}

TEST_F(StoredValues, intervalsAndRetryLimitsOutsideTheRangeAndValuesThatDoNotFitAreSaidWhenLoaded)
{
    storeConfiguration({{80, GenericTcp, 1}, {81, GenericTcp, 1}}, 0);
    CaptureStderr();
    EXPECT_EQ(loaded().intervalSeconds, 1u);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("the stored interval of 0 seconds is outside 1..99999; using 1"));
    putValue("Interval", reg::RegDword, reg::dwordBytes(2147484));
    EXPECT_EQ(loaded().intervalSeconds, 99999u);
    putValue("Interval", reg::RegDword, reg::dwordBytes(99999));
    CaptureStderr();
    EXPECT_EQ(loaded().intervalSeconds, 99999u);
    EXPECT_EQ(GetCapturedStderr(), "");
    putValue("Interval", reg::RegBinary, std::vector<std::uint8_t>(8, 1));
    CaptureStderr();
    EXPECT_EQ(loaded().intervalSeconds, 5u);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("\"Interval\" is REG_BINARY of 8 bytes, where a REG_DWORD of 4 bytes "
                                               "or a number as text is read; using 5"));

    // The main dialog's range of retry limits, which it would ask for.
    for (const auto &[stored, used] : {std::pair{0u, 1u}, {6u, 5u}, {0xFFFFFFFFu, 5u}}) {
        putValue("Retry", reg::RegDword, reg::dwordBytes(stored));
        CaptureStderr();
        EXPECT_EQ(loaded().retryLimit, used);
        EXPECT_THAT(GetCapturedStderr(), HasSubstr("the stored retry limit of " + std::to_string(stored) +
                                                   " is outside 1..5; using " + std::to_string(used)));
    }

    // A number written as text is that number, then held to the range; text
    // that is no number is read by its bytes, as any value is.
    putValue("Interval", reg::RegDword, reg::dwordBytes(5));
    const struct {
        std::uint32_t type;
        std::string text;
        std::uint32_t used;
        std::string said;
    } texts[] = {
        {reg::RegSz, "9", 5, "the stored retry limit of 9 is outside 1..5; using 5"},
        {reg::RegExpandSz, std::string(" 3\0", 3), 3, ""},
        {reg::RegSz, "2x", 5, "the stored retry limit of 30770 is outside 1..5; using 5"},
        {reg::RegSz, "4294967296", 1, "REG_SZ of 10 bytes"},
    };
    for (const auto &t : texts) {
        putValue("Retry", t.type, reg::stringBytes(t.text));
        CaptureStderr();
        EXPECT_EQ(loaded().retryLimit, t.used) << t.text;
        const std::string said = GetCapturedStderr();
        if (t.said.empty())
            EXPECT_EQ(said, "") << t.text;
        else
            EXPECT_THAT(said, HasSubstr(t.said)) << t.text;
    }

    putValue("Port #0", reg::RegSz, reg::stringBytes("8080"));
    putValue("Port #1", reg::RegSz, reg::stringBytes("https"));
    CaptureStderr();
    makeFrame();
    ASSERT_EQ(FrameTestPeer::ports(*frame).size(), 2u) << "the entry is dropped, the other stays";
    EXPECT_EQ(entry(0).port, 8080u);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("entry #1 is skipped: its value \"Port #1\" is REG_SZ of 5 bytes, "
                                               "where a REG_DWORD of 4 bytes or a number as text is read"));
}

TEST_F(StoredValues, aPortOutsideTheRangeIsNeverCheckedAndSaidOnce)
{
    makeFrame({{80, GenericTcp, 1}, {70000, GenericTcp, 1, 0, "alert"}, {0, Http, 1}}, 5, 0);
    CaptureStderr();
    ASSERT_TRUE(frame->toggleMonitoring(true));
    for (int round = 0; round < 3; ++round) {
        probes.finishAll(false);
        loop.advance(5000);
    }
    const std::string said = GetCapturedStderr();
    EXPECT_GE(checkedPorts().size(), 3u);
    EXPECT_EQ(checkedPorts(), std::vector<std::uint32_t>(checkedPorts().size(), 80u));
    for (std::size_t i : {1u, 2u}) {
        EXPECT_EQ(entry(i).status, Idle);
        EXPECT_EQ(entry(i).errorCount, 0u);
        EXPECT_EQ(ui.dialog->images[static_cast<int>(i)], ImageIdle);
    }
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "alert"), 0);
    EXPECT_THAT(said, HasSubstr("port 70000 is not checked: its port 70000 is outside 1..65535"));
    EXPECT_EQ(said.find("70000 is outside"), said.rfind("70000 is outside")) << said;
    EXPECT_THAT(said, HasSubstr("its port 0 is outside"));
}

// "HttpStatus #i": absent and "any" are any reply; a text that is no rule
// leaves its HTTP entry idle, named in a notice, while the rest run; saves
// keep what they do not change and never let a rule outlive its entry.
TEST_F(StoredValues, httpStatusRulesAreLoadedRefusedAndSavedWithoutLeftovers)
{
    storeConfiguration({{80, Http, 1}, {81, Http, 1}, {82, Http, 1}, {83, Http, 1}, {84, GenericTcp, 1}});
    putValue("HttpStatus #1", reg::RegSz, reg::stringBytes("any"));
    putValue("HttpStatus #2", reg::RegSz, reg::stringBytes(" 200-399 "));
    putValue("HttpStatus #3", reg::RegSz, reg::stringBytes("2xx and 3xx"));
    putValue("HttpStatus #4", reg::RegSz, reg::stringBytes("junk")); // unused by a TCP entry
    CaptureStderr();
    makeFrame();
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("entry #3 (port 83) is not checked: its \"HttpStatus #3\" value "
                                               "\"2xx and 3xx\" is not \"any\""));
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"port 83: HTTPステータス コードの指定「2xx and 3xx」が正しく"
                                                         "ありません。設定で直すまで、このポートは監視されません。"});
    const char *const rules[] = {"any", "any", "2xx-3xx", "2xx and 3xx", "junk"};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(entry(i).httpStatus.text(), rules[i]);

    ASSERT_TRUE(frame->toggleMonitoring(true));
    probes.finishAll(true);
    EXPECT_EQ(checkedPorts(), (std::vector<std::uint32_t>{80, 81, 82, 84}));
    EXPECT_EQ(entry(3).status, Idle);
    EXPECT_EQ(ui.dialog->images[3], ImageIdle);
    frame->toggleMonitoring(true);

    // Corrected in its settings, it is saved in the one way and checked.
    EntrySettings settings{83, Http, "", 0, DefaultCertWarnDays, "HTTP (83)", "200, 204", "", UdpSendOnly, "", "", {}, {}, {}, {}, {}, {}, {}, "", "", {}};
    ASSERT_EQ(frame->editEntry(3, settings), DialogFace::Change::Done);
    const auto storedText = [this](const char *name) {
        reg::Value value;
        const reg::Status status = registry.openKey(kMonitorKey, reg::KeyQueryValue)->queryValue(name, value);
        return status == reg::Status::Ok ? reg::stringFromValue(value) : std::string("(absent)");
    };
    const char *const saved[] = {"(absent)", "any", " 200-399 ", "200,204", "junk"};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(storedText(("HttpStatus #" + std::to_string(i)).c_str()), saved[i]) << i;
    probes.started.clear();
    ASSERT_TRUE(frame->toggleMonitoring(true));
    EXPECT_EQ(probes.started.size(), 5u);
    frame->toggleMonitoring(true);

    // Deleted entries: each rule moves down with its entry, and an entry of
    // any reply never takes over the rule that its new index had.
    ASSERT_EQ(frame->deleteEntry(0), DialogFace::Change::Done);
    ASSERT_EQ(frame->deleteEntry(0), DialogFace::Change::Done);
    settings.httpStatus = "any";
    ASSERT_EQ(frame->editEntry(1, settings), DialogFace::Change::Done);
    ASSERT_EQ(frame->deleteEntry(0), DialogFace::Change::Done);
    const LoadedSettings after = loaded();
    ASSERT_EQ(after.ports.size(), 2u);
    EXPECT_EQ(std::pair(after.ports[0]->port, after.ports[0]->httpStatus.text()), std::pair(83u, std::string("any")));
    EXPECT_EQ(after.ports[1]->httpStatus.text(), "junk");
}

TEST_F(StoredValues, requestValuesAreAdditiveAndAStoredPatternThatDoesNotCompileKeepsItsEntryIdle)
{
    storeConfiguration({{80, Http, 1}, {81, Http, 1}, {82, Https, 1}});
    // The names of the stored values.
    const auto values = [this] {
        std::vector<std::string> names = registry.openKey(kMonitorKey, reg::KeyQueryValue)->valueNames();
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto before = values();
    // A store without the request's values: every entry sends the plain
    // request, and saving an unchanged entry writes none of them.
    makeFrame();
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(entry(i).request, HttpRequest{}) << i;
    EntrySettings settings{81, Http, "", 0, DefaultCertWarnDays, "HTTP (81)", "any", "", UdpSendOnly, "", "", {}, {}, {}, {}, {}, {}, {}, "", "", {}};
    ASSERT_EQ(frame->editEntry(1, settings), DialogFace::Change::Done);
    EXPECT_EQ(values(), before);

    // Every value, as the dialog gives them: stored, and loaded back alike.
    settings.request.method = MethodPost;
    settings.request.path = "/api/health?deep=1";
    settings.request.headers = "Content-Type: application/json\nX-Probe: 1";
    settings.request.body = "{\"check\": true}";
    settings.request.followRedirects = true;
    settings.request.contentRule = ContentRule::fromText("regex:\"status\":\\s*\"ok\"");
    ASSERT_EQ(frame->editEntry(1, settings), DialogFace::Change::Done);
    const LoadedSettings stored = loaded();
    ASSERT_EQ(stored.ports.size(), 3u);
    EXPECT_EQ(stored.ports[1]->request, settings.request);
    EXPECT_EQ(stored.ports[0]->request, HttpRequest{});

    // A pattern that does not compile, stored by hand: said at start with
    // PCRE2's words, and its entry is left idle while the others are checked.
    putValue("Method #2", reg::RegDword, reg::dwordBytes(1));
    putValue("Content Rule #2", reg::RegSz, reg::stringBytes("regex:ok("));
    CaptureStderr();
    makeFrame();
    const std::string said = GetCapturedStderr();
    EXPECT_THAT(said, HasSubstr("entry #2 (port 82): its \"Content Rule #2\" \"regex:ok(\" is not valid (missing "
                                "closing parenthesis at offset 3): the entry is not checked"));
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"port 82: 本文の条件「regex:ok(」が正しくありません (missing "
                                                         "closing parenthesis at offset 3)。設定で直すまで、このポートは"
                                                         "監視されません。"});
    ASSERT_TRUE(frame->toggleMonitoring(true));
    probes.finishAll(true);
    EXPECT_EQ(checkedPorts(), (std::vector<std::uint32_t>{80, 81}));
    EXPECT_EQ(entry(2).status, Idle);
    frame->toggleMonitoring(true);

    // Put back to the plain request, an entry leaves no request values
    // behind.
    settings.request = {};
    ASSERT_EQ(frame->editEntry(1, settings), DialogFace::Change::Done);
    EntrySettings https{82, Https, "", 0, DefaultCertWarnDays, "HTTPS (82)", "any", "", UdpSendOnly, "", "", {}, {}, {}, {}, {}, {}, {}, "", "", {}};
    ASSERT_EQ(frame->editEntry(2, https), DialogFace::Change::Done);
    EXPECT_EQ(values(), before);
}

} // namespace
} // namespace vigilon::test
