// SPDX-License-Identifier: MIT
// Alerts across machines, all real: two vigilon processes, each serving its
// metrics on a loopback address of its own as two machines would, a
// Prometheus that scrapes both and evaluates the shipped alerting rules, and
// an Alertmanager that routes the alerts to a webhook receiver of the test.
#include "store/posix/SqliteRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"
#include "tests/support/WebhookReceiver.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>

#include <csignal>

namespace vigilon::test {
namespace {

namespace fs = std::filesystem;

constexpr const char *kPrometheus = "/usr/bin/prometheus";
constexpr const char *kAlertmanager = "/usr/bin/prometheus-alertmanager";

// One monitoring machine: a vigilon with a store and a runtime folder of
// its own, watching one entry named "web" on its own address.
struct Machine {
    explicit Machine(std::string on) : address(std::move(on)) {}

    std::string address;
    std::uint16_t metricsPort = 0;
    std::unique_ptr<TcpServer> watched; // the port the entry checks; null while closed
    std::unique_ptr<ChildProcess> vigilon;

    std::string instance() const { return address + ':' + std::to_string(metricsPort); }
};

// A PortDown notification of the receiver: its status and the alert's labels.
struct Notice {
    std::string status;
    nlohmann::json labels;
};

std::vector<Notice> portDownNotices(WebhookReceiver &receiver)
{
    std::vector<Notice> notices;
    for (const auto &request : receiver.requests()) {
        const auto document = nlohmann::json::parse(request.body, nullptr, false);
        if (!document.is_object() || !document.contains("alerts"))
            continue;
        for (const auto &alert : document["alerts"]) {
            if (alert.value("labels", nlohmann::json::object()).value("alertname", "") == "PortDown")
                notices.push_back({alert.value("status", ""), alert["labels"]});
        }
    }
    return notices;
}

// The labels of the first notice with status from instance; null when none
// has come.
nlohmann::json noticeLabels(WebhookReceiver &receiver, const std::string &status, const std::string &instance)
{
    for (const Notice &n : portDownNotices(receiver)) {
        if (n.status == status && n.labels.value("instance", "") == instance)
            return n.labels;
    }
    return nullptr;
}

TEST(PrometheusAlerts, aPortFailingOnOneMachineReachesTheReceiverFromThatMachineOnlyAndResolves)
{
    const char *bin = std::getenv("VIGILON_BIN");
    const char *rules = std::getenv("VIGILON_RULES");
    ASSERT_TRUE(bin && fs::exists(bin)) << "VIGILON_BIN does not name the vigilon program";
    ASSERT_TRUE(rules && fs::exists(rules)) << "VIGILON_RULES does not name the alerting rules";
    if (!fs::exists(kPrometheus) || !fs::exists(kAlertmanager))
        GTEST_SKIP() << "needs " << kPrometheus << " and " << kAlertmanager
                     << " (Debian packages prometheus and prometheus-alertmanager)";
    TempDir dir;

    // The same port number on both machines' addresses, so that the two
    // entries differ only by where they are seen from.
    Machine machines[2] = {Machine("127.0.0.2"), Machine("127.0.0.3")};
    const std::uint16_t port = closedTcpPort(machines[0].address);
    for (Machine &m : machines) {
        m.watched = std::make_unique<TcpServer>(TcpServer::Answer, 0, "", m.address, port);
        ASSERT_EQ(m.watched->port(), port) << m.address;
        m.metricsPort = closedTcpPort(m.address);
        const std::string home = dir / m.address;
        fs::create_directories(home + "/runtime");
        fs::permissions(home + "/runtime", fs::perms::owner_all);
        {
            auto registry = reg::SqliteRegistry::open(home + "/registry.sqlite");
            ASSERT_TRUE(registry);
            ASSERT_EQ(storePorts(*registry, {{port, GenericTcp, 1, 0, "", "web"}}, 1, 1, m.address), reg::Status::Ok);
        }
        m.vigilon = std::make_unique<ChildProcess>(
            std::vector<std::string>{bin, "-service", "--verbose", "--metrics=" + m.instance()},
            std::vector<std::string>{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "VIGILON_LANG=en",
                                     "VIGILON_REGISTRY=" + home + "/registry.sqlite",
                                     "XDG_RUNTIME_DIR=" + home + "/runtime"});
    }
    for (Machine &m : machines)
        ASSERT_TRUE(m.vigilon->waitForOutput("\tweb\tOk", 15000)) << m.vigilon->output();

    // The shipped rules, with their minute of `for:` cut to two seconds so
    // that the alert comes within seconds; nothing else of them changes.
    const std::string shipped = readFile(rules);
    const std::regex forMinute("\\bfor: 1m\\b");
    ASSERT_EQ(std::distance(std::sregex_iterator(shipped.begin(), shipped.end(), forMinute), std::sregex_iterator()), 2)
        << "the rules' `for:` lines changed; this copy expects one minute on both\n" << shipped;
    ASSERT_TRUE(writeFile(dir / "rules.yml", std::regex_replace(shipped, forMinute, "for: 2s")));

    WebhookReceiver receiver;
    ASSERT_TRUE(receiver.ok());
    const std::uint16_t alertmanagerPort = closedTcpPort();
    // PortDown goes to the receiver, anything else to a receiver that sends
    // nothing; every change is sent within a second.
    ASSERT_TRUE(writeFile(dir / "alertmanager.yml",
                          "global:\n  resolve_timeout: 10s\n"
                          "route:\n  receiver: nobody\n  group_by: [alertname, instance, entry]\n"
                          "  group_wait: 1s\n  group_interval: 1s\n  repeat_interval: 1h\n"
                          "  routes:\n    - matchers: ['alertname=\"PortDown\"']\n      receiver: hook\n"
                          "receivers:\n  - name: nobody\n  - name: hook\n    webhook_configs:\n"
                          "      - url: http://127.0.0.1:" + std::to_string(receiver.port()) + "/alerts\n"
                          "        send_resolved: true\n"));
    ChildProcess alertmanager({kAlertmanager, "--config.file=" + dir / "alertmanager.yml",
                               "--storage.path=" + dir / "alertmanager", "--cluster.listen-address=",
                               "--web.listen-address=127.0.0.1:" + std::to_string(alertmanagerPort)});

    const std::uint16_t prometheusPort = closedTcpPort();
    ASSERT_TRUE(writeFile(dir / "prometheus.yml",
                          "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                          "rule_files: ['" + dir / "rules.yml" + "']\n"
                          "alerting:\n  alertmanagers:\n    - static_configs: [{targets: ['127.0.0.1:" +
                              std::to_string(alertmanagerPort) + "']}]\n"
                          "scrape_configs:\n  - job_name: vigilon\n    static_configs:\n"
                          "      - targets: ['" + machines[0].instance() + "', '" + machines[1].instance() + "']\n"));
    ChildProcess prometheus({kPrometheus, "--config.file=" + dir / "prometheus.yml",
                             "--storage.tsdb.path=" + dir / "tsdb",
                             "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort)});
    const auto logs = [&] {
        return "\n--- receiver got " + std::to_string(receiver.requests().size()) + " requests\n--- prometheus:\n" +
               prometheus.output() + "\n--- alertmanager:\n" + alertmanager.output() + "\n--- vigilon " +
               machines[0].address + ":\n" + machines[0].vigilon->output();
    };

    // Both machines scraped and answering before the fault.
    std::string answer;
    ASSERT_TRUE(waitUntil([&] {
        answer = httpBody(httpRequest(prometheusPort, "GET", "/api/v1/query?query=count(vigilon_entry_up%3D%3D1)"));
        return answer.find(R"("value":[)") != std::string::npos && answer.find(R"(,"2"]})") != std::string::npos;
    }, 60000)) << answer << logs();
    const auto alertmanagerReady = [&] {
        return httpRequest(alertmanagerPort, "GET", "/-/ready").rfind("HTTP/1.1 200", 0) == 0;
    };
    ASSERT_TRUE(waitUntil(alertmanagerReady, 60000)) << logs();

    // The port closes on the first machine only: its entry fails there and
    // the alert comes with that entry's labels.
    const std::string failedOn = machines[0].instance();
    machines[0].watched.reset();
    nlohmann::json firing;
    ASSERT_TRUE(waitUntil([&] { return !(firing = noticeLabels(receiver, "firing", failedOn)).is_null(); }, 60000))
        << logs();
    EXPECT_EQ(firing.value("job", ""), "vigilon");
    EXPECT_EQ(firing.value("entry", ""), "web");
    EXPECT_EQ(firing.value("host", ""), machines[0].address);
    EXPECT_EQ(firing.value("port", ""), std::to_string(port));
    EXPECT_EQ(firing.value("kind", ""), "tcp");

    // Open again: the alert is resolved.
    machines[0].watched = std::make_unique<TcpServer>(TcpServer::Answer, 0, "", machines[0].address, port);
    ASSERT_EQ(machines[0].watched->port(), port);
    ASSERT_TRUE(waitUntil([&] { return !noticeLabels(receiver, "resolved", failedOn).is_null(); }, 60000)) << logs();

    // Over the whole time, the second machine, whose port never closed, was
    // never reported.
    for (const Notice &n : portDownNotices(receiver))
        EXPECT_EQ(n.labels.value("instance", ""), failedOn) << n.labels.dump() << logs();

    prometheus.signal(SIGTERM);
    alertmanager.signal(SIGTERM);
    EXPECT_EQ(prometheus.waitForExit(20000), 0) << logs();
    EXPECT_EQ(alertmanager.waitForExit(20000), 0) << logs();
    for (Machine &m : machines) {
        EXPECT_EQ(m.vigilon->terminate(), 0) << m.vigilon->output();
    }
}

} // namespace
} // namespace vigilon::test
