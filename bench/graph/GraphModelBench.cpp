// SPDX-License-Identifier: MIT
// Prints the cost of addSample and of laying out a full graph in the model.
#include "graph/ResponseGraphModel.h"

#include <chrono>
#include <cstdio>

using namespace vigilon;
using Clock = std::chrono::steady_clock;

int main()
{
    ResponseGraphParams p;
    p.maxHistory = 999;
    p.warningThreshold = 150;
    p.seriesNames = "TCP:80";
    ResponseGraphModel model(p, 1'700'000'000u);

    constexpr int kSamples = 10'000;
    const auto t0 = Clock::now();
    for (int i = 0; i < kSamples; ++i)
        model.addSample(static_cast<std::uint32_t>(i % 300), 1'700'000'000u + static_cast<std::uint32_t>(i));
    const auto t1 = Clock::now();
    const double perSample = std::chrono::duration<double, std::nano>(t1 - t0).count() / kSamples;

    constexpr int kLayouts = 2'000;
    std::size_t points = 0;
    const auto t2 = Clock::now();
    for (int i = 0; i < kLayouts; ++i)
        points += model.drawGraph(GRect{16, 60, 600, 300}).curve.size();
    const auto t3 = Clock::now();
    const double perLayout = std::chrono::duration<double, std::micro>(t3 - t2).count() / kLayouts;

    std::printf("model addSample: %d calls, %.1f ns per sample (stored %zu)\n", kSamples, perSample,
                model.samples().size());
    std::printf("model drawGraph: %d layouts of %zu points, %.2f us per layout\n", kLayouts, points / kLayouts,
                perLayout);
    return 0;
}
