// SPDX-License-Identifier: MIT
// Prints the cost of painting a graph window holding 999 samples and of
// 10,000 addSample calls on a window. Runs on any Qt platform, offscreen
// included.
#include "base/Clock.h"
#include "base/Prompter.h"
#include "qt/ResponseGraphWnd.h"

#include <QApplication>
#include <QPixmap>

#include <chrono>
#include <cstdio>

using namespace vigilon;
using Steady = std::chrono::steady_clock;

namespace {
class SilentPrompter final : public Prompter {
public:
    void notice(const std::string &, const std::string &, unsigned) override {}
    int messageBox(const std::string &, const std::string &, unsigned) override { return mb::IdOk; }
    std::string fileDialog(const FileDialogRequest &) override { return {}; }
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    SilentPrompter prompter;
    ResponseGraphParams p;
    p.fontFace = "ＭＳ Ｐゴシック";
    p.maxHistory = 999;
    p.warningThreshold = 150;
    p.seriesNames = "TCP:80";
    p.targetHost = "192.0.2.1";
    CResponseGraphWnd window(nullptr, SystemClock::instance(), prompter, p);
    window.Create();
    window.resize(640, 360);

    constexpr int kSamples = 10'000;
    const auto t0 = Steady::now();
    for (int i = 0; i < kSamples; ++i)
        window.addSample(static_cast<std::uint32_t>((i * 37) % 400));
    const auto t1 = Steady::now();

    QPixmap target(window.size());
    constexpr int kPaints = 200;
    const auto t2 = Steady::now();
    for (int i = 0; i < kPaints; ++i)
        window.render(&target);
    const auto t3 = Steady::now();

    std::printf("window addSample: %d calls, %.2f us per sample\n", kSamples,
                std::chrono::duration<double, std::micro>(t1 - t0).count() / kSamples);
    std::printf("window paint: %zu samples, %d paints of %dx%d, %.3f ms per paint\n", window.model().samples().size(),
                kPaints, window.width(), window.height(),
                std::chrono::duration<double, std::milli>(t3 - t2).count() / kPaints);
    return 0;
}
