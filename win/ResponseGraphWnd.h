// SPDX-License-Identifier: MIT
#pragma once

#include "base/Clock.h"
#include "base/Prompter.h"
#include "base/ResponseGraph.h"
#include "graph/ResponseGraphParams.h"
#include "graph/ResponseGraphSession.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vigilon::win {

// The small translucent window that follows one entry's response times, on
// the Windows API: a layered popup tool window without caption, moved by
// dragging its client area and sized by its border, drawn with GDI from the
// session's paint plan. Its owner destroys it; the window only asks for
// that, through a message posted to the loop.
class CResponseGraphWnd final : public ResponseGraph {
public:
    using CloseRequest = std::function<void()>;

    CResponseGraphWnd(const Clock &clock, Prompter &prompter, const ResponseGraphParams &params,
                      CloseRequest closeRequest);
    ~CResponseGraphWnd() override;
    CResponseGraphWnd(const CResponseGraphWnd &) = delete;
    CResponseGraphWnd &operator=(const CResponseGraphWnd &) = delete;

    // Makes the window, hidden: font, menu, text block, size and place, the
    // recording file, the start timer and the opacity. False when there is no
    // window (and then nothing else was done).
    bool Create();

    void addSample(std::uint32_t valueMs) override;
    void setHistoryLines(const std::vector<std::string> &lines) override;
    void setOutagesAction(std::function<void()> open) override;
    void setFailureReason(const std::string &line) override;
    Place place() const override;
    void moveTo(const Place &place) override;
    Size outerSize() const override;
    void show() override;
    void resetHistory();
    // Asks the owner, from the event loop, to close this window.
    void closeMonitor();
    // Carries out a close request as it arrives from the loop.
    void CloseMonitorNow();

    HWND hwnd() const { return hwnd_; }
    HFONT font() const { return font_; }
    const ResponseGraphModel &model() const { return session_.model(); }
    bool recording() const { return session_.recording(); }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void onTimer(UINT_PTR id);
    void onContextMenu(LPARAM lParam);
    // The window moved to a screen of another resolution (WM_DPICHANGED).
    void onDpiChanged(int dpi, const RECT &suggested);
    GRect clientRect() const;
    void invalidate(const GRect &area);
    // Measures text as the window draws it, in dc with the window's font.
    TextMeasure measurerFor(HDC dc) const;
    // The same on a device context of the window.
    GRect tickText();
    // Widens the window by width, when the text asks for it.
    // Measures the text block in the window's font and widens the window
    // when the text asks for it; then repaints.
    void fitText();
    void growBy(std::optional<int> width);

    Prompter &prompter_;
    ResponseGraphSession session_;
    CloseRequest closeRequest_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    HMENU menu_ = nullptr;
    std::function<void()> openOutages_;
    GraphDrag drag_;
    // The user is sizing the window: only then does the text block bound
    // its size.
    bool userSizing_ = false;
    // Cleared when the object goes, for handlers that run a modal loop.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Names this window to the posted close request.
    std::uintptr_t token_ = 0;
};

} // namespace vigilon::win
