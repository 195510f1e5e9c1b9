// SPDX-License-Identifier: MIT
// Autostart as the main dialog turns it on and off under Wine: the real
// Vigilsvc.exe run with "-install" and "-remove", and the service manager
// asked whether the service is there.
#include "app/Autostart.h"
#include "base/PollEventLoop.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vigilon {
namespace {

TEST(Autostart, installsAndRemovesTheServiceThroughVigilsvc)
{
    _putenv_s("VIGILON_VIGILSVC", VIGILSVC_BINARY);
    _putenv_s("VIGILON_LANG", "en");
    PollEventLoop loop;
    std::unique_ptr<ServiceHostSetup> host = makeServiceHostSetup(loop);
    Autostart autostart(host.get());
    ASSERT_FALSE(autostart.installed());
    const auto change = [&](bool install) {
        bool ended = false;
        std::pair<bool, std::string> outcome;
        EXPECT_TRUE(autostart.change(install, [&](bool installed, const std::string &failure) {
            ended = true;
            outcome = {installed, failure};
        }));
        EXPECT_TRUE(loop.runUntil([&] { return ended; }, 60000));
        return outcome;
    };
    EXPECT_EQ(change(true), std::make_pair(true, std::string()));
    EXPECT_TRUE(autostart.installed());
    EXPECT_EQ(change(false), std::make_pair(false, std::string()));
    EXPECT_FALSE(autostart.installed());

    // A service host that cannot be run is named with the system's words.
    _putenv_s("VIGILON_VIGILSVC", "C:\\nowhere\\Vigilsvc.exe");
    std::unique_ptr<ServiceHostSetup> missing = makeServiceHostSetup(loop);
    Autostart none(missing.get());
    bool ended = false;
    std::string failure;
    ASSERT_TRUE(none.change(true, [&](bool, const std::string &why) {
        ended = true;
        failure = why;
    }));
    EXPECT_TRUE(loop.runUntil([&] { return ended; }, 60000));
    EXPECT_EQ(failure.rfind("Autostart could not be turned on.\r\nC:\\nowhere\\Vigilsvc.exe could not be run: ", 0), 0u)
        << failure;
}

} // namespace
} // namespace vigilon
