// SPDX-License-Identifier: MIT
// Sending from the Windows programs: the delivery with the libcurl that the
// Windows build compiles in, to the receivers delivery-test.sh runs on
// loopback. A message to a good receiver is delivered; one answered 500 and
// one refused each say why; a test message reports the server's answer.
// Mail goes to a real SMTP server in the clear, through STARTTLS and over
// implicit TLS, with the test's CA trusted in the prefix's own root store.
#include "channels/Delivery.h"

#include "tests/support/win/TrustedRoot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

namespace vigilon::channels {
namespace {

std::string receiver(const char *name)
{
    const char *port = std::getenv(name);
    return std::string("http://127.0.0.1:") + (port ? port : "9") + "/hook";
}

TEST(WindowsDelivery, messagesReachTheReceiverAndFailuresSayWhy)
{
    ASSERT_NE(std::getenv("VIGILON_RECEIVER_OK"), nullptr) << "run by delivery-test.sh";
    DeliveryOptions options;
    options.firstRetry = 3600;
    Delivery delivery(nullptr, options);
    std::vector<Delivery::Target> targets;
    const char *names[] = {"VIGILON_RECEIVER_OK", "VIGILON_RECEIVER_FAILING", "VIGILON_RECEIVER_CLOSED"};
    for (std::uint32_t c = 0; c < 3; ++c)
        targets.push_back({c, parseChannelAddress(receiver(names[c])), "key" + std::to_string(c)});
    delivery.setChannels(targets);
    for (std::uint32_t c = 0; c < 3; ++c)
        delivery.send(c, {{"Content-Type: text/plain"}, "down, from Wine"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::map<std::uint32_t, ChannelState> states;
    for (;;) {
        states = delivery.states();
        if ((states[0].lastSuccess && states[1].lastFailure && states[2].lastFailure) ||
            std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_GT(states[0].lastSuccess, 0);
    EXPECT_EQ(states[0].lastError.kind, DeliveryFailure::None);
    EXPECT_EQ(std::pair(states[1].lastError.kind, states[1].lastError.status), std::pair(DeliveryFailure::Status, 500L));
    EXPECT_EQ(states[2].lastError.kind, DeliveryFailure::Refused) << states[2].lastError.detail;

    std::promise<std::pair<DeliveryFailure::Kind, std::string>> answered;
    delivery.sendTestTo(parseChannelAddress(receiver("VIGILON_RECEIVER_OK")), {{}, "test from Wine"},
                        [&](const DeliveryFailure &failure, const std::string &answer) {
                            answered.set_value({failure.kind, answer});
                        });
    auto answer = answered.get_future();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(answer.get(), std::pair(DeliveryFailure::None, std::string("200 received")));
}

TEST(WindowsDelivery, mailGoesInTheClearAndOverTlsToATrustedServer)
{
    const char *ca = std::getenv("VIGILON_SMTP_CA");
    ASSERT_NE(ca, nullptr) << "run by delivery-test.sh";
    ASSERT_TRUE(test::trustRootCa(ca)) << ca;
    const auto smtp = [](const char *name, const char *tls) {
        const char *port = std::getenv(name);
        return std::string("smtp://127.0.0.1:") + (port ? port : "9") +
               "?from=vigilon@example.org&to=a@example.org,b@example.org&tls=" + tls;
    };
    const std::string urls[] = {smtp("VIGILON_SMTP_PLAIN", "none"), smtp("VIGILON_SMTP_STARTTLS", "starttls"),
                                smtp("VIGILON_SMTP_IMPLICIT", "implicit")};
    DeliveryOptions options;
    options.firstRetry = 3600;
    Delivery delivery(nullptr, options);
    std::vector<Delivery::Target> targets;
    for (std::uint32_t c = 0; c < 3; ++c)
        targets.push_back({c, parseChannelAddress(urls[c]), "mail" + std::to_string(c)});
    delivery.setChannels(targets);
    for (std::uint32_t c = 0; c < 3; ++c)
        delivery.send(c, composeTestMessage(parseChannelAddress(urls[c]), 1796792400, Language::English));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    std::map<std::uint32_t, ChannelState> states;
    for (;;) {
        states = delivery.states();
        bool all = true;
        for (std::uint32_t c = 0; c < 3; ++c)
            all = all && (states[c].lastSuccess || states[c].lastFailure);
        if (all || std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (std::uint32_t c = 0; c < 3; ++c)
        EXPECT_GT(states[c].lastSuccess, 0) << urls[c] << ": " << states[c].lastError.detail;
}

} // namespace
} // namespace vigilon::channels
