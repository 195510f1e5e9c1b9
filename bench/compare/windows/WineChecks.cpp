// SPDX-License-Identifier: MIT
// The Windows build's side of the side-by-side benchmark: rounds of several
// entries at once through the engine on the loop of window messages, as
// Vigilon.exe runs them. Run under Wine by compare_bench (--wine), which
// reads what it prints: one line per entry, "entry <index> <failures>
// <ms> <ms> ...", the rounds' times "rounds <ms> ...", then "done".
// Asserts nothing.
//
//   compare_wine_checks HOST ROUNDS KIND:PORT...   (KIND: tcp, http or udp)
#include "win/WinEventLoop.h"
#include "bench/compare/EngineRig.h"

#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace vigilon;

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: compare_wine_checks HOST ROUNDS KIND:PORT...\n");
        return 2;
    }
    std::vector<bench::EngineRig::Entry> entries;
    for (int i = 3; i < argc; ++i) {
        const char *colon = std::strchr(argv[i], ':');
        if (!colon)
            return 2;
        const std::string kind(argv[i], std::size_t(colon - argv[i]));
        const ProbeProtocol protocol = kind == "http" ? Http : kind == "udp" ? GenericUdp : GenericTcp;
        entries.push_back({std::uint32_t(std::atoi(colon + 1)), protocol});
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 1;
    int result = 1;
    {
        win::WinEventLoop loop;
        bench::EngineRig rig(entries, argv[1], loop, [&loop](const std::function<bool()> &done, unsigned ms) {
            loop.runUntil(done, ms);
        });
        if (loop.valid() && rig.created()) {
            const bench::RoundTimes got = bench::runRounds(rig, entries.size(), unsigned(std::atoi(argv[2])));
            for (std::size_t e = 0; e < entries.size(); ++e) {
                std::printf("entry %zu %zu", e, e == 0 ? got.failures : std::size_t(0));
                for (const double ms : got.times[e])
                    std::printf(" %.4f", ms);
                std::printf("\n");
            }
            std::printf("rounds");
            for (const double ms : got.roundsMs)
                std::printf(" %.4f", ms);
            std::printf("\ndone\n");
            result = 0;
        }
    }
    WSACleanup();
    return result;
}
