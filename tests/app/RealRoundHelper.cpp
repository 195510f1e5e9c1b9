// SPDX-License-Identifier: MIT
// Runs the monitoring engine with the real probes on a list of TCP and UDP
// entries against a listener on 127.0.0.1, for a few rounds, then ends the
// frame. Started by the tests under prlimit. Exit status: 0 when nothing was
// counted against the target and every descriptor came back; otherwise the
// number of the check that failed. The figures go to standard error.
#include "app/MainFrame.h"
#include "app/SystemProbes.h"
#include "app/base/PollEventLoop.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "probes/SocketUtil.h"
#include "tests/support/FakeFrameParts.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vigilon;

namespace {
int openDescriptors()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (readdir(dir))
        ++count;
    closedir(dir);
    return count - 3;
}
} // namespace

int main(int argc, char **argv)
{
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100;
    const unsigned runMs = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 3500;
    // As the program does at start; harmless where soft and hard are one.
    net::raiseDescriptorLimit();
    const int before = openDescriptors();

    // Connections wait in the backlog, never accepted: they cost this
    // process no descriptor.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener, 4096) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("listener");
        return 10;
    }
    const std::uint32_t port = ntohs(address.sin_port);

    int result = 0;
    int testResult = -1;
    int ok = 0, idle = 0, failed = 0;
    unsigned errors = 0;
    std::size_t commands = 0;
    {
        PollEventLoop loop;
        test::FakePrompter prompter;
        reg::MemoryRegistry registry;
        test::FakeFrameUi ui;
        test::FakeSocketLibrary sockets(ui.journal);
        std::unique_ptr<ProbeFactory> probes = makeSystemProbeFactory(loop);

        PortList list;
        for (int i = 0; i < entries; ++i) {
            auto entry = std::make_unique<MonitorPort>();
            entry->port = port;
            entry->protocol = i % 2 ? GenericUdp : GenericTcp;
            entry->active = 1;
            entry->command = "alert %TARGET%";
            entry->name = "entry " + std::to_string(i);
            list.push_back(std::move(entry));
        }
        appendPlaceholder(list);
        // Interval 1 s; retry limit 0: any failed check would be declared.
        if (saveSettings(registry, "127.0.0.1", 1, 0, list) != reg::Status::Ok)
            return 11;

        FrameContext context;
        context.loop = &loop;
        context.clock = &SystemClock::instance();
        context.prompter = &prompter;
        context.registry = &registry;
        context.ui = &ui;
        context.sockets = &sockets;
        context.probes = probes.get();
        context.runCommand = [&commands](const std::string &) {
            ++commands;
            return 0;
        };
        CMainFrame frame(context);
        if (frame.create() != 0)
            return 12;
        if (frame.toggleMonitoring(true) != 1)
            return 13;
        loop.runFor(runMs);
        frame.toggleMonitoring(true);
        // A port test: synchronous checks, each holding its socket until
        // the next round.
        testResult = frame.runRound(Test);
        for (const auto &entry : frame.ports()) {
            if (entry->active == 0)
                continue;
            errors += entry->errorCount;
            ok += entry->status == Ok;
            idle += entry->status == Idle;
            failed += entry->status == Failed;
        }
        frame.exitNow();
    }
    close(listener);
    const int after = openDescriptors();
    std::fprintf(stderr,
                 "entries %d: ok %d, idle %d, failed %d; errors %u; alerts %zu; port test %d; descriptors %d "
                 "before, %d after\n",
                 entries, ok, idle, failed, errors, commands, testResult, before, after);
    if (errors != 0 || failed != 0 || commands != 0 || testResult != 1)
        result = 1;
    else if (after != before)
        result = 2;
    else if (ok == 0)
        result = 3;
    return result;
}
