// SPDX-License-Identifier: MIT
#include "tests/qt/UiFakes.h"

#include "qt/GraphWindows.h"

#include <QCoreApplication>


namespace vigilon::test {

MainDialogWindow *RealDialogsUi::createMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller)
{
    CMonitorDlg *made = makeMonitorDialog(frame, std::move(controller), prompter_);
    dialog = made;
    return made;
}

std::unique_ptr<AboutBoxView> RealDialogsUi::createAboutBox(Monitor &frame)
{
    auto made = std::make_unique<CAboutDlg>(frame, [this] { return placeAreaOf(dialog.data()); });
    about = made.get();
    return made;
}

bool RealDialogsUi::runResponseMonitorDialog(ResponseGraphParams &params)
{
    responseMonitorRequests.push_back(params.seriesNames);
    return realGraphParts && vigilon::runResponseMonitorDialog(prompter_, params);
}

void RealDialogsUi::showOutages(DialogFace &, std::uint32_t entryId, const std::string &entryName)
{
    outagesShown.emplace_back(entryId, entryName);
}

std::unique_ptr<ResponseGraph> RealDialogsUi::createResponseGraph(const ResponseGraphParams &params,
                                                                std::function<void()> closeRequest)
{
    ++graphsAsked;
    return realGraphParts && !failGraph ? makeResponseGraphWindow(clock_, prompter_, params, std::move(closeRequest))
                                        : nullptr;
}

UiHarness::UiHarness() : FrameParts(loop, clock)
{
    frameUi = &ui;
    // Every check answers from inside its start; failingPorts fail.
    probes.outcomeAtStart = 1;
    probes.responseAtStart = 3;
}

UiHarness::UiHarness(const std::vector<StoredPort> &ports, std::uint32_t interval, std::uint32_t retry)
    : UiHarness()
{
    store(ports, interval, retry);
    create();
}

UiHarness::~UiHarness()
{
    FrameParts::frame.reset();
    // The frame let go of its dialog; it goes once the loop runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace vigilon::test
