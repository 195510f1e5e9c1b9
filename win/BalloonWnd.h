// SPDX-License-Identifier: MIT
#pragma once

#include "base/Dpi.h"
#include "app/dialogs/BalloonHover.h"

#include <windows.h>

#include <map>
#include <string>

namespace vigilon::win {

// A hint in a speech balloon: a rounded body with a tail whose tip touches
// the pointer, shown when the pointer has rested over a registered target
// for showDelay ms and hidden again after displayTime ms, on a mouse button,
// or when the pointer moves over no target. A region window that never takes
// the focus.
class CBalloonWnd final : private BalloonHover::Balloon {
public:
    static constexpr UINT_PTR ShowTimer = 100;
    static constexpr UINT_PTR HideTimer = 101;

    CBalloonWnd();
    ~CBalloonWnd();
    CBalloonWnd(const CBalloonWnd &) = delete;
    CBalloonWnd &operator=(const CBalloonWnd &) = delete;

    // Makes the popup owned by the parent's window.
    bool createHint(HWND parent, HINSTANCE instance);
    // The font in the script of the interface's language.
    void setFont(const std::wstring &face, int height, int weight, bool italic, bool underline);
    HFONT font() const { return font_; }
    // The resolution the balloon's margins and tail are scaled to.
    void setDpi(int dpi) { dpi_ = dpi; }
    // Registers a target; registering it again replaces its text.
    void addTool(HWND target, const std::wstring &text);

    // Every message about to reach a target (or a window inside it).
    void relayEvent(const MSG &message);
    void showHint(const std::wstring &text, POINT point);
    void hideHint();
    // A target's own tool tip window: while it shows the hint stays away.
    void watchTip(HWND tip) { tip_ = tip; }
    // A target's own tool tip is about to show: the hint goes.
    void tipShowing() { hover_.tipShowing(); }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    // The text's size in the font.
    SIZE measure(HDC dc) const;
    HRGN makeRegion(const SIZE &text) const;

    // BalloonHover::Balloon
    BalloonHover::Under lookAt(HintPoint at) override;
    void runTimer(BalloonHover::Timer timer, int ms) override;
    void cancelTimer(BalloonHover::Timer timer) override;
    void showWindow(HintPoint anchor) override;
    void hideWindow() override;
    bool tipVisible() override;

    BalloonHover hover_{*this};
    std::wstring text_;
    HFONT font_ = nullptr;
    int dpi_ = kBaseDpi;
    std::map<HWND, std::wstring> tools_;
    HINSTANCE instance_ = nullptr;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    HWND tip_ = nullptr;
};

} // namespace vigilon::win
