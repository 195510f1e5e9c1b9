// SPDX-License-Identifier: MIT
// The about box: modeless, made once and shown again and again; OK, Esc and
// the close box only hide it.
#include "win/Modeless.h"
#include "win/Localized.h"
#include "win/WinText.h"
#include "win/DialogIds.h"
#include "win/WinControls.h"
#include "win/WinDialogs.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/dialogs/WindowPlace.h"

#ifndef VIGILON_VERSION
#define VIGILON_VERSION "0"
#endif

namespace vigilon::win {

namespace {

INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextW(window, IDC_VERSION, widen(formatText(loadString(sid::AboutVersion), {VIGILON_VERSION})).c_str());
        addModeless(window);
        // Above every other window; placed as it is first shown.
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ShowWindow(window, SW_HIDE);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        removeModeless(window);
        return FALSE;
    default:
        return FALSE;
    }
}

class AboutBox final : public AboutBoxView {
public:
    AboutBox(HWND window, std::function<PlaceArea()> placeArea) : window_(window), placeArea_(std::move(placeArea)) {}
    ~AboutBox() override
    {
        if (IsWindow(window_))
            DestroyWindow(window_);
    }
    // The first time beside the main dialog, left of it first; after that
    // where it was last.
    void show() override
    {
        if (!placed_) {
            placed_ = true;
            RECT frame{};
            GetWindowRect(window_, &frame);
            const PlaceArea area = placeArea_ ? placeArea_() : placeAreaOf(nullptr);
            const ResponseGraph::Place at =
                placeBeside(area, frame.right - frame.left, frame.bottom - frame.top, PlaceSide::Left);
            SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ShowWindow(window_, SW_SHOW);
    }
    void hide() override { ShowWindow(window_, SW_HIDE); }

private:
    HWND window_;
    std::function<PlaceArea()> placeArea_;
    bool placed_ = false;
};

} // namespace

PlaceArea placeAreaOf(HWND owner)
{
    const bool hasOwner = owner && IsWindow(owner);
    PlaceArea area;
    const HMONITOR monitor = hasOwner ? MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY)
                                      : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        area.workArea = {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
    RECT frame{};
    if (hasOwner && IsWindowVisible(owner) && GetWindowRect(owner, &frame))
        area.owner = ScreenRect{frame.left, frame.top, frame.right, frame.bottom};
    return area;
}

std::unique_ptr<AboutBoxView> makeAboutBox(Monitor &, std::function<PlaceArea()> placeArea)
{
    HWND window = localizedDialog(resourceInstance(), IDD_ABOUT, nullptr, aboutProc, 0);
    if (!window)
        return nullptr;
    return std::make_unique<AboutBox>(window, std::move(placeArea));
}

} // namespace vigilon::win
