// SPDX-License-Identifier: MIT
// Heartbeat (Push) entries through the program's own server on loopback:
// a call reaches its entry through the engine on the event loop, as a
// check's outcome would, and silence in virtual time fails the entry.
#include "app/MetricsSetup.h"
#include "base/SecureRandom.h"
#include "metrics/MetricsServer.h"
#include "tests/support/FrameFixture.h"
#include "tests/support/HttpClient.h"

#include <gtest/gtest.h>

namespace vigilon::test {
namespace {

constexpr const char *kToken = "nightly-backup-0123456789";

// A port of loopback that was free a moment ago.
std::uint16_t freePort()
{
    std::string error;
    const auto server = metrics::startServer(metrics::Endpoint{"127.0.0.1", 0},
                                             [] { return std::make_shared<const metrics::MetricsBody>(""); }, error);
    return server ? server->port() : 0;
}

// Records the outcomes the engine tells its observers.
struct Outcomes final : CheckObserver {
    std::vector<CheckOutcome::Result> results;
    std::vector<std::string> reasons;
    void checkDone(const CheckOutcome &outcome) override
    {
        results.push_back(outcome.result);
        reasons.push_back(reasonText(outcome.reason));
    }
    void outageBegan(const MonitorPort &, const std::string &, std::int64_t, const FailureReason &, bool) override {}
    void outageEnded(const MonitorPort &, const std::string &, std::int64_t) override {}
};

class PushEntries : public FrameFixture {
protected:
    // A heartbeat entry (its token stored unless token is empty) with an
    // alert command, and a TCP entry; interval 5 s, one retry.
    void start(const std::string &token = kToken)
    {
        storeConfiguration({{0, Push, 1, 0, "alert %TARGET%", "nightly backup"}, {80, GenericTcp, 1}});
        if (!token.empty())
            registry.openKey(kMonitorKey, reg::KeySetValue)
                ->setValue("Push Token #0", reg::RegSz, reg::stringBytes(token));
        port = freePort();
        const std::string address = "--metrics=127.0.0.1:" + std::to_string(port);
        const char *arguments[] = {"vigilon", address.c_str()};
        service = MetricsService::start(parseArguments(2, arguments), registry, prompter);
        ASSERT_TRUE(service);
        observers = {&outcomes, &service->observer()};
        entriesChanged = [this](const PortList &ports, const std::string &target) {
            service->entriesChanged(ports, target);
        };
        makeFrame();
        service->receivePushes(loop, [this](std::uint32_t id, bool up, const std::string &message) {
            frame->pushReceived(id, up, message);
        });
        ASSERT_TRUE(frame->toggleMonitoring(true));
    }
    // The frame goes first, as in the program: it tells the service as it
    // ends.
    void TearDown() override { frame.reset(); }
    // A request, then whatever it handed to the loop.
    std::string call(const std::string &target, const char *method = "GET")
    {
        const std::string response = httpRequest(port, method, target);
        loop.runPosted();
        return response;
    }
    MonitorPort &push() { return entry(0); }

    Outcomes outcomes;
    std::unique_ptr<MetricsService> service;
    std::uint16_t port = 0;
};

TEST_F(PushEntries, callsGoTheWayOfCheckOutcomes)
{
    ASSERT_NO_FATAL_FAILURE(start());
    // The heartbeat entry makes no check; the TCP entry does.
    ASSERT_EQ(probes.started.size(), 1u);
    EXPECT_EQ(probes.started[0].port, 80u);
    EXPECT_EQ(push().status, Idle);

    const std::string ok = call(std::string("/push/") + kToken);
    EXPECT_EQ(httpStatus(ok), 200) << ok;
    EXPECT_EQ(push().status, Ok);
    EXPECT_EQ(push().responseTime, 0u);
    const std::string listed = httpBody(call("/api/v1/entries"));
    EXPECT_NE(listed.find("\"kind\":\"push\""), std::string::npos) << listed;
    EXPECT_NE(listed.find("\"state\":\"ok\""), std::string::npos) << listed;
    EXPECT_EQ(listed.find(kToken), std::string::npos) << "the token is a secret";
    const std::string one = httpBody(call("/api/v1/entries/0"));
    EXPECT_NE(one.find("\"last_response_ms\":null"), std::string::npos) << one;

    // A failure the job reports is declared at once, with its words (bounded,
    // without control characters), and runs the alert command.
    call(std::string("/push/") + kToken + "?status=down&msg=disk%20full%0A%1B");
    EXPECT_EQ(push().status, Failed);
    EXPECT_EQ(reasonText(push().lastReason), "disk full");
    EXPECT_EQ(commands, (std::vector<std::string>{"alert %TARGET%"}));
    const std::string failed = httpBody(call("/api/v1/entries/0"));
    EXPECT_NE(failed.find("\"reason\":\"disk full\""), std::string::npos) << failed;
    EXPECT_NE(failed.find("\"reason_kind\":\"reported_down\""), std::string::npos) << failed;

    // POST is a call as well.
    EXPECT_EQ(httpStatus(call(std::string("/push/") + kToken, "POST")), 200);
    EXPECT_EQ(push().status, Ok);
    EXPECT_EQ(outcomes.results, (std::vector<CheckOutcome::Result>{CheckOutcome::Result::Ok,
                                                                    CheckOutcome::Result::Failed,
                                                                    CheckOutcome::Result::Ok}));
}

TEST_F(PushEntries, silenceBeyondIntervalTimesRetriesPlusOneFailsTheEntry)
{
    ASSERT_NO_FATAL_FAILURE(start());
    // 5 s x (1 + 1) from the start.
    loop.advance(9999);
    EXPECT_EQ(push().status, Idle);
    loop.advance(1);
    EXPECT_EQ(push().status, Failed);
    EXPECT_EQ(reasonText(push().lastReason), "no heartbeat");
    EXPECT_EQ(commands.size(), 1u);
    // Silence goes on failing once an interval, without a second alert.
    loop.advance(5000);
    EXPECT_EQ(std::count(outcomes.reasons.begin(), outcomes.reasons.end(), "no heartbeat"), 2);
    EXPECT_EQ(commands.size(), 1u);

    // A call restarts the whole window.
    call(std::string("/push/") + kToken);
    EXPECT_EQ(push().status, Ok);
    loop.advance(9999);
    EXPECT_EQ(push().status, Ok);
    loop.advance(1);
    EXPECT_EQ(push().status, Failed);

    // Stopped, nothing fails and a call changes nothing yet; it was answered
    // as received, so it counts as monitoring starts (as when a job calls
    // before the service's first round).
    frame->toggleMonitoring(true);
    ASSERT_FALSE(engine()->running());
    const std::size_t told = outcomes.results.size();
    loop.advance(60000);
    EXPECT_EQ(httpStatus(call(std::string("/push/") + kToken + "?status=down&msg=late")), 200);
    EXPECT_EQ(httpStatus(call(std::string("/push/") + kToken)), 200);
    EXPECT_EQ(outcomes.results.size(), told);
    ASSERT_TRUE(frame->toggleMonitoring(true));
    EXPECT_EQ(push().status, Ok);
    EXPECT_EQ(outcomes.results.size(), told + 1) << "only the last call counts";
    loop.advance(9999);
    EXPECT_EQ(push().status, Ok);
    loop.advance(1);
    EXPECT_EQ(push().status, Failed);
}

TEST_F(PushEntries, aWrongTokenIsAnsweredAsAnUnknownPathAndChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string unknown = call("/no/such/page");
    const std::string wrong = call("/push/nightly-backup-0123456788");
    EXPECT_EQ(httpStatus(wrong), 404);
    EXPECT_EQ(httpBody(wrong), httpBody(unknown));
    EXPECT_EQ(httpStatus(call("/push/")), 404);
    EXPECT_EQ(httpStatus(call(std::string("/push/") + kToken + "/x")), 404);
    EXPECT_EQ(push().status, Idle);
    EXPECT_TRUE(outcomes.results.empty());

    // A deleted entry's token is refused from then on.
    ASSERT_EQ(frame->deleteEntry(0), DialogFace::Change::Done);
    EXPECT_EQ(httpStatus(call(std::string("/push/") + kToken)), 404);
    EXPECT_TRUE(outcomes.results.empty());
}

TEST_F(PushEntries, anEntryStoredWithoutATokenGetsOneThatIsStoredAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(start(""));
    const std::string token = push().pushToken;
    EXPECT_TRUE(isPushToken(token)) << token;
    EXPECT_EQ(token.size(), 32u);
    reg::Value value;
    ASSERT_EQ(registry.openKey(kMonitorKey, reg::KeyQueryValue)->queryValue("Push Token #0", value), reg::Status::Ok);
    EXPECT_EQ(reg::stringFromValue(value), token);
    EXPECT_EQ(value.type, reg::RegSz);
    EXPECT_EQ(httpStatus(call("/push/" + token)), 200);
    EXPECT_EQ(push().status, Ok);
}

TEST_F(PushEntries, entriesNeverCheckedAreListedAndKnownByTheirStableIds)
{
    ASSERT_NO_FATAL_FAILURE(start());
    // Before any check: both listed, not checked; the metrics hold no
    // series for either yet.
    const std::string listed = httpBody(call("/api/v1/entries"));
    EXPECT_NE(listed.find("\"name\":\"nightly backup\""), std::string::npos) << listed;
    EXPECT_NE(listed.find("\"name\":\"port 80\""), std::string::npos) << listed;
    EXPECT_EQ(listed.find("\"state\":\"ok\""), std::string::npos) << listed;
    EXPECT_EQ(httpBody(call("/metrics")).find("vigilon_entry_up"), std::string::npos);

    // The heartbeat entry's id is stored and stays; the TCP entry's is the
    // one made of its kind, host and port, and the store holds none.
    const std::string id = push().stableId;
    ASSERT_TRUE(isStableId(id)) << id;
    EXPECT_EQ(id.rfind("push-", 0), 0u) << id;
    EXPECT_NE(listed.find("\"id\":\"" + id + "\""), std::string::npos) << listed;
    reg::Value value;
    const auto key = registry.openKey(kMonitorKey, reg::KeyQueryValue);
    ASSERT_EQ(key->queryValue("Id #0", value), reg::Status::Ok);
    EXPECT_EQ(reg::stringFromValue(value), id);
    EXPECT_EQ(key->queryValue("Id #1", value), reg::Status::NotFound);
    const std::string badge = call("/badge/" + id + "/status.svg");
    EXPECT_EQ(httpStatus(badge), 200);
    EXPECT_NE(httpBody(badge).find("not checked"), std::string::npos) << badge;
    EXPECT_EQ(httpStatus(call("/badge/1/status.svg")), 200);

    // Made to check another port, the TCP entry keeps its id, now stored.
    const std::string tcpId = FrameTestPeer::ports(*frame).at(1)->stableId.empty()
                                  ? frame->entryView(1).stableId
                                  : FrameTestPeer::ports(*frame).at(1)->stableId;
    EntrySettings settings{81, GenericTcp, "", 0, DefaultCertWarnDays, "port 81", "any", "", UdpSendOnly, "", "", {}, {}, {}, {}, {}, {}, {}, "", "", {}};
    ASSERT_EQ(frame->editEntry(1, settings), DialogFace::Change::Done);
    EXPECT_EQ(frame->entryView(1).stableId, tcpId);
    ASSERT_EQ(key->queryValue("Id #1", value), reg::Status::Ok);
    EXPECT_EQ(reg::stringFromValue(value), tcpId);
    EXPECT_NE(httpBody(call("/api/v1/entries")).find("\"id\":\"" + tcpId + "\""), std::string::npos);
}

} // namespace
} // namespace vigilon::test
