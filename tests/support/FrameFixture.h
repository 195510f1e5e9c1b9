// SPDX-License-Identifier: MIT
#pragma once

#include "tests/support/FakeEventLoop.h"
#include "tests/support/FrameParts.h"

#include <gtest/gtest.h>

namespace vigilon::test {

// A main frame on fakes in virtual time.
class FrameFixture : public ::testing::Test, public VirtualTime, public FrameParts {
protected:
    FrameFixture() : FrameParts(loop, clock)
    {
        probes.afterReports = [this] { loop.runPosted(); };
    }

    void storeConfiguration(const std::vector<StoredPort> &entries, std::uint32_t interval = 5, std::uint32_t retry = 1,
                            const std::string &target = "")
    {
        FrameParts::storeConfiguration(entries, interval, retry, target);
        ASSERT_TRUE(storeSaved);
    }
    void makeProgramKey() { ASSERT_TRUE(registry.createKey(kProgramKey)); }
    CMainFrame &makeFrame(bool serviceMode = false, const std::string &target = "", bool create = true)
    {
        FrameParts::makeFrame(serviceMode, target, create);
        EXPECT_EQ(created, create);
        return *frame;
    }
    // The configuration stored, then an interactive frame on it.
    CMainFrame &makeFrame(const std::vector<StoredPort> &entries, std::uint32_t interval = 5, std::uint32_t retry = 1)
    {
        storeConfiguration(entries, interval, retry);
        return makeFrame();
    }

    FakeFrameUi &ui = fakeUi;
};

} // namespace vigilon::test
