// SPDX-License-Identifier: MIT
// ENTRIES entries (default 5,000) declared failed in one round, told to no
// channel, to one or to two webhooks on local receivers (Python's HTTP
// server, as the tests run it), with the outbox in a history file as the
// program keeps it: the messages each receiver takes, the time from the
// round to the last receiver having its message, the time the round's own
// call holds the loop, and the loop's longest stall over the whole time
// (a 1 ms ticker's lateness). The stall is measured twice, in runs of their
// own: as the program's loop meets it on this machine, and as the loop's own
// (run as root: the loop's thread real-time on one processor, so that other
// programs cannot take it away, and what the kernel took from that
// processor not counted). Medians of RUNS (default 5). Measured, never
// asserted.
//
//   bench_channels [ENTRIES [RUNS]]
#include "app/ChannelService.h"
#include "base/Clock.h"
#include "base/PollEventLoop.h"
#include "store/ChannelSettings.h"
#include "store/MemoryRegistry.h"
#include "tests/support/ChannelReceivers.h"
#include "tests/support/Network.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace vigilon;

namespace {

double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Run {
    // stallMs is -1 where the loop's own cannot be measured (not root).
    double callMs = 0, deliveredMs = 0, stallMs = 0;
    std::vector<std::size_t> messages;
};

Run oneRound(std::size_t entries, std::size_t channelCount, const test::TempDir &dir, int run, bool own)
{
    std::vector<std::unique_ptr<test::ChannelReceiver>> receivers;
    std::vector<ChannelSetting> settings;
    for (std::size_t c = 0; c < channelCount; ++c) {
        receivers.push_back(std::make_unique<test::ChannelReceiver>(
            std::string("http"), "ok", dir / ("r" + std::to_string(channelCount) + "-" + std::to_string(run) + "-" + std::to_string(c) + ".jsonl")));
        settings.push_back({"http://127.0.0.1:" + std::to_string(receivers.back()->port()) + "/hook",
                            "bench " + std::to_string(c), false, 0, {}});
    }
    reg::MemoryRegistry registry;
    saveChannels(registry, settings);
    PollEventLoop loop;
    const Clock &clock = SystemClock::instance();
    ChannelService::Options options;
    options.outboxPath = dir / ("history-" + std::to_string(run) + "-" + std::to_string(channelCount) + ".db");
    auto service = ChannelService::create(loop, clock, registry, options);

    PortList ports;
    std::vector<StatusChange> changes;
    const std::string host = "192.0.2.1";
    for (std::size_t i = 0; i < entries; ++i) {
        ports.push_back(std::make_unique<MonitorPort>());
        MonitorPort &entry = *ports.back();
        entry.id = static_cast<std::uint32_t>(i + 1);
        entry.name = "TCP " + std::to_string(20000 + i);
        entry.port = static_cast<std::uint32_t>(20000 + i);
        entry.errorCount = 1;
        entry.lastReason = FailureReason::of(FailureKind::Refused);
        changes.push_back({entry.id, entry.name, true, entry.lastReason, host});
    }
    for (const auto &entry : ports)
        service->outageBegan(*entry, host, clock.nowMillis(), entry->lastReason, true);

    Run result;
    // Made after the delivery's thread, which keeps the ordinary policy.
    std::optional<test::MachineStalls> machine;
    if (own) {
        machine.emplace();
        if (!machine->ok()) {
            result.stallMs = -1;
            return result;
        }
    }
    test::StallMeter meter(loop, machine ? &*machine : nullptr);
    // A few idle ticks first: the meter's first gap is its own start.
    loop.runUntil([] { return false; }, 50);
    const double start = wallMs();
    service->roundChanged(changes, ports);
    result.callMs = wallMs() - start;
    const auto delivered = [&] {
        const auto views = service->views();
        return std::all_of(views.begin(), views.end(), [](const ChannelStatus &v) { return v.lastSuccess != 0; });
    };
    // Without channels the same wait: the loop's own stalls over as long.
    loop.runUntil(delivered, 60000);
    result.deliveredMs = channelCount ? wallMs() - start : 0;
    loop.runUntil([] { return false; }, 200);
    result.stallMs = static_cast<double>(meter.longestMicros()) / 1000.0;
    machine.reset();
    for (const auto &receiver : receivers)
        result.messages.push_back(receiver->received().size());
    service->stop();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("VIGILON_SOURCE_DIR", VIGILON_SOURCE, 0);
    const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 5000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    test::TempDir dir;
    std::printf("%zu entries failing in one round, medians of %d runs\n", entries, runs);
    std::printf("%-9s %-12s %-14s %-16s %-22s %s\n", "channels", "messages", "round call", "to receivers",
                "loop's longest stall", "the loop's own");
    for (std::size_t channels : {std::size_t(0), std::size_t(1), std::size_t(2)}) {
        std::vector<double> call, delivered, stall, own;
        std::string messages;
        for (int run = 0; run < runs; ++run) {
            const Run r = oneRound(entries, channels, dir, run, false);
            own.push_back(oneRound(entries, channels, dir, runs + run, true).stallMs);
            call.push_back(r.callMs);
            delivered.push_back(r.deliveredMs);
            stall.push_back(r.stallMs);
            messages.clear();
            for (std::size_t m : r.messages)
                messages += (messages.empty() ? "" : "+") + std::to_string(m);
        }
        const double ownMs = median(own);
        std::printf("%-9zu %-12s %8.1f ms    %8.1f ms      %8.2f ms            ", channels,
                    messages.empty() ? "-" : messages.c_str(), median(call), median(delivered), median(stall));
        if (ownMs < 0)
            std::printf("-\n");
        else
            std::printf("%8.2f ms\n", ownMs);
    }
    return 0;
}
