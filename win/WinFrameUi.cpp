// SPDX-License-Identifier: MIT
#include "win/WinFrameUi.h"
#include "win/OutageListDlg.h"

#include "win/WinTrayIcon.h"
#include "win/GraphWindows.h"
#include "win/WinDialogs.h"

#include <cstdio>

namespace vigilon::win {

// The tray icon as the frame owns it: tells the user interface when it goes.
class WinFrameUi::TrayHandle final : public TrayIcon {
public:
    TrayHandle(std::unique_ptr<WinTrayIcon> icon, WinTrayIcon *&slot)
        : icon_(std::move(icon))
        , slot_(slot)
    {
        slot_ = icon_.get();
    }
    ~TrayHandle() override { slot_ = nullptr; }
    bool add(unsigned icon, const std::string &tip) override { return icon_->add(icon, tip); }
    void modify(unsigned icon, const std::string &tip) override { icon_->modify(icon, tip); }
    void remove() override { icon_->remove(); }
    void setItemChecked(unsigned command, bool checked) override { icon_->setItemChecked(command, checked); }
    void setItemEnabled(unsigned command, bool enabled) override { icon_->setItemEnabled(command, enabled); }
    void notify(const std::string &summary, const std::string &body, bool failure) override
    {
        icon_->notify(summary, body, failure);
    }
    TextLimit noticeSummaryLimit() const override { return icon_->noticeSummaryLimit(); }
    TextLimit noticeBodyLimit() const override { return icon_->noticeBodyLimit(); }

private:
    std::unique_ptr<WinTrayIcon> icon_;
    WinTrayIcon *&slot_;
};

WinFrameUi::WinFrameUi(Prompter &prompter, const Clock &clock, HWND frameWindow)
    : prompter_(prompter)
    , clock_(clock)
    , frameWindow_(frameWindow)
{
}

WinTrayIcon *WinFrameUi::trayIcon() const
{
    return trayIcon_;
}

std::unique_ptr<TrayIcon> WinFrameUi::createTrayIcon(Monitor &)
{
    auto icon = std::make_unique<WinTrayIcon>(frameWindow_);
    if (!icon->loaded()) {
        std::fputs("vigilon: the tray menu or its icons are missing from the resources\n", stderr);
        return nullptr;
    }
    return std::make_unique<TrayHandle>(std::move(icon), trayIcon_);
}

MainDialogWindow *WinFrameUi::createMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller)
{
    return makeMainDialog(frame, std::move(controller), prompter_, &mainDialog_);
}

void WinFrameUi::showOutages(DialogFace &frame, std::uint32_t entryId, const std::string &entryName)
{
    runOutageListDialog(nullptr, frame, prompter_, entryId, entryName);
}

std::unique_ptr<AboutBoxView> WinFrameUi::createAboutBox(Monitor &frame)
{
    return makeAboutBox(frame, [this] { return placeAreaOf(mainDialog_); });
}

std::optional<PlaceArea> WinFrameUi::placeArea() const
{
    return placeAreaOf(mainDialog_);
}

bool WinFrameUi::runResponseMonitorDialog(ResponseGraphParams &params)
{
    return win::runResponseMonitorDialog(prompter_, params);
}

std::unique_ptr<ResponseGraph> WinFrameUi::createResponseGraph(const ResponseGraphParams &params,
                                                               std::function<void()> closeRequest)
{
    return makeResponseGraphWindow(clock_, prompter_, params, std::move(closeRequest));
}

void WinFrameUi::quit()
{
    PostQuitMessage(0);
}

} // namespace vigilon::win
