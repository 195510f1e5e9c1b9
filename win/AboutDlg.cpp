// SPDX-License-Identifier: MIT
// The about box: modeless, made once and shown again and again; OK, Esc and
// the close box only hide it.
#include "win/Modeless.h"
#include "win/Localized.h"
#include "win/WinText.h"
#include "win/DialogIds.h"
#include "win/WinControls.h"
#include "win/WinDialogs.h"

#ifndef VIGILON_VERSION
#define VIGILON_VERSION "0"
#endif

namespace vigilon::win {

namespace {

INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextW(window, IDC_VERSION, widen("Vigilon Version " VIGILON_VERSION).c_str());
        addModeless(window);
        // Above every other window, at the top left corner of the screen.
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
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
    explicit AboutBox(HWND window) : window_(window) {}
    ~AboutBox() override
    {
        if (IsWindow(window_))
            DestroyWindow(window_);
    }
    void show() override { ShowWindow(window_, SW_SHOW); }
    void hide() override { ShowWindow(window_, SW_HIDE); }

private:
    HWND window_;
};

} // namespace

std::unique_ptr<AboutBoxView> makeAboutBox(Monitor &)
{
    HWND window = localizedDialog(resourceInstance(), IDD_ABOUT, nullptr, aboutProc, 0);
    if (!window)
        return nullptr;
    return std::make_unique<AboutBox>(window);
}

} // namespace vigilon::win
