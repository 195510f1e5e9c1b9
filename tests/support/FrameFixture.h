// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainFrame.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FakeFrameParts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vigilon::test {

// A main frame on fakes: virtual time, scripted prompts, recorded windows,
// an in-memory store and checks whose outcome the test decides.
class FrameFixture : public ::testing::Test {
protected:
    FrameFixture()
        : loop(clock)
        , sockets(ui.journal)
    {
    }

    // Stores a configuration the way the program would.
    struct StoredPort {
        std::uint32_t port;
        std::uint32_t protocol;
        std::int32_t active;
        std::uint32_t threshold = 0;
        std::string command = {};
        // Empty: "port <number>".
        std::string name = {};
    };
    void storeConfiguration(const std::vector<StoredPort> &entries, std::uint32_t interval = 5, std::uint32_t retry = 1,
                            const std::string &target = "")
    {
        PortList list;
        for (const auto &e : entries) {
            auto entry = std::make_unique<MonitorPort>();
            entry->port = e.port;
            entry->protocol = e.protocol;
            entry->active = e.active;
            entry->threshold = e.threshold;
            entry->command = e.command;
            entry->name = e.name.empty() ? "port " + std::to_string(e.port) : e.name;
            list.push_back(std::move(entry));
        }
        appendPlaceholder(list);
        ASSERT_EQ(saveSettings(registry, target, interval, retry, list), reg::Status::Ok);
    }

    void makeProgramKey() { ASSERT_TRUE(registry.createKey(kProgramKey)); }

    std::uint32_t logonValue()
    {
        auto key = registry.openKey(kProgramKey, reg::KeyQueryValue);
        if (!key)
            return 0xFFFFFFFFu;
        reg::Value v;
        if (key->queryValue(kLogonValue, v) != reg::Status::Ok)
            return 0xFFFFFFFFu;
        std::uint32_t out = 0;
        reg::dwordFromValue(v, out);
        return out;
    }

    CMainFrame &makeFrame(bool serviceMode = false, const std::string &target = "", bool created = true)
    {
        FrameContext context;
        context.serviceMode = serviceMode;
        context.verbose = verbose;
        context.targetGiven = !target.empty();
        if (!target.empty())
            context.targetHost = target;
        context.loop = &loop;
        context.clock = &clock;
        context.prompter = &prompter;
        context.registry = &registry;
        context.ui = &ui;
        context.sockets = &sockets;
        context.probes = &probes;
        context.runCommand = [this](const std::string &command) {
            commands.push_back(command);
            if (onCommand)
                onCommand();
            return 0;
        };
        frame = std::make_unique<CMainFrame>(context);
        if (created) {
            EXPECT_EQ(frame->create(), 0);
        }
        return *frame;
    }

    MonitorPort &entry(std::size_t i) { return *frame->portsForTest().at(i); }

    // Passed as --verbose to the next makeFrame().
    bool verbose = false;
    FakeClock clock;
    FakeEventLoop loop;
    FakePrompter prompter;
    reg::MemoryRegistry registry;
    FakeFrameUi ui;
    FakeSocketLibrary sockets;
    FakeProbeFactory probes;
    std::vector<std::string> commands;
    // Runs inside an alert command, as its failure message's nested loop would.
    std::function<void()> onCommand;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace vigilon::test
