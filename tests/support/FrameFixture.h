// SPDX-License-Identifier: MIT
#pragma once

#include "base/Language.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FrameParts.h"

#include <gtest/gtest.h>

#include <map>

namespace vigilon::test {

// The interface's language for a scope, the one before it afterwards.
class ScopedLanguage {
public:
    explicit ScopedLanguage(Language language) { setCurrentLanguage(language); }
    ~ScopedLanguage() { setCurrentLanguage(before_); }
    ScopedLanguage(const ScopedLanguage &) = delete;
    ScopedLanguage &operator=(const ScopedLanguage &) = delete;

private:
    Language before_ = currentLanguage();
};

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
    // One poll period of 5 s; each check of the round ends with the outcome
    // given for its port (missing: success), reported from the loop.
    void tick(const std::map<std::uint32_t, bool> &outcomes)
    {
        const auto pending = probes.pending;
        for (auto *check : pending) {
            const std::uint32_t port = check->entry() ? check->entry()->port : 0;
            const auto it = outcomes.find(port);
            check->finish(it == outcomes.end() || it->second, 10);
            loop.runPosted();
        }
        loop.advance(5000);
        loop.runPosted();
    }

    FakeFrameUi &ui = fakeUi;
};

} // namespace vigilon::test
