// SPDX-License-Identifier: MIT
#include "win/BalloonWnd.h"

#include "base/Language.h"
#include "app/dialogs/DialogLayout.h"

#include <windowsx.h>

namespace vigilon::win {

namespace {
constexpr wchar_t kClassName[] = L"VigilonBalloonHint";
// Dark text on a fixed light ground, whatever the colour scheme.
constexpr COLORREF kFill = RGB(255, 255, 225);
constexpr COLORREF kBand = RGB(200, 200, 200);
constexpr COLORREF kEdge = RGB(0, 0, 0);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr UINT kTextFormat = DT_LEFT | DT_TOP | DT_NOPREFIX | DT_EXPANDTABS;

void registerClass(HINSTANCE instance)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    // Registered once; a second registration fails harmlessly.
    RegisterClassExW(&wc);
}
} // namespace

// The timers' ids are the hover's names for them.
static_assert(UINT_PTR(BalloonHover::Timer::Show) == CBalloonWnd::ShowTimer &&
              UINT_PTR(BalloonHover::Timer::Hide) == CBalloonWnd::HideTimer);

CBalloonWnd::CBalloonWnd()
{
    setFont(L"Verdana", 14, 0, false, false);
}

CBalloonWnd::~CBalloonWnd()
{
    if (window_ && IsWindow(window_)) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        KillTimer(window_, ShowTimer);
        KillTimer(window_, HideTimer);
        DestroyWindow(window_);
    }
    if (font_)
        DeleteObject(font_);
}

bool CBalloonWnd::createHint(HWND parent, HINSTANCE instance)
{
    instance_ = instance;
    parent_ = parent;
    registerClass(instance);
    window_ = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, parent, nullptr, instance, nullptr);
    if (!window_)
        return false;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CBalloonWnd::windowProc));
    return true;
}

void CBalloonWnd::setFont(const std::wstring &face, int height, int weight, bool italic, bool underline)
{
    if (font_)
        DeleteObject(font_);
    // The Japanese script only for the Japanese interface: asked of a
    // system without a Japanese font, it would give a font that draws
    // English text as boxes.
    const DWORD charset = currentLanguage() == Language::Japanese ? SHIFTJIS_CHARSET : DEFAULT_CHARSET;
    font_ = CreateFontW(height, 0, 0, 0, weight, italic, underline, FALSE, charset, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face.c_str());
}

void CBalloonWnd::addTool(HWND target, const std::wstring &text)
{
    tools_[target] = text;
}

void CBalloonWnd::relayEvent(const MSG &message)
{
    switch (message.message) {
    case WM_MOUSEMOVE: {
        POINT pointer{};
        GetCursorPos(&pointer);
        hover_.pointerMoved(HintPoint{pointer.x, pointer.y});
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        hover_.buttonPressed();
        return;
    default:
        return;
    }
}

BalloonHover::Under CBalloonWnd::lookAt(HintPoint at)
{
    // The balloon itself is no target: over it the hint goes.
    const auto it = tools_.find(WindowFromPoint(POINT{at.x, at.y}));
    if (it == tools_.end())
        return BalloonHover::Under::Nothing;
    text_ = it->second;
    return BalloonHover::Under::Target;
}

void CBalloonWnd::showHint(const std::wstring &text, POINT point)
{
    text_ = text;
    hover_.showAt(HintPoint{point.x, point.y});
}

void CBalloonWnd::hideHint()
{
    hover_.hide();
}

void CBalloonWnd::runTimer(BalloonHover::Timer timer, int ms)
{
    if (window_)
        SetTimer(window_, static_cast<UINT_PTR>(timer), static_cast<UINT>(ms), nullptr);
}

void CBalloonWnd::cancelTimer(BalloonHover::Timer timer)
{
    if (window_)
        KillTimer(window_, static_cast<UINT_PTR>(timer));
}

bool CBalloonWnd::tipVisible()
{
    return tip_ && IsWindow(tip_) && IsWindowVisible(tip_);
}

void CBalloonWnd::hideWindow()
{
    if (window_)
        ShowWindow(window_, SW_HIDE);
}

SIZE CBalloonWnd::measure(HDC dc) const
{
    HGDIOBJ old = SelectObject(dc, font_);
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &r, kTextFormat | DT_CALCRECT);
    SelectObject(dc, old);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

HRGN CBalloonWnd::makeRegion(const SIZE &text) const
{
    const BalloonShape shape = balloonShape(text.cx, text.cy, dpi_);
    HRGN region = CreateRoundRectRgn(0, 0, shape.bodyWidth, shape.bodyHeight, atDpi(12, dpi_), atDpi(10, dpi_));
    POINT tail[3];
    for (int i = 0; i < 3; ++i)
        tail[i] = POINT{shape.tail[i][0], shape.tail[i][1]};
    HRGN tailRegion = CreatePolygonRgn(tail, 3, ALTERNATE);
    CombineRgn(region, region, tailRegion, RGN_OR);
    DeleteObject(tailRegion);
    return region;
}

void CBalloonWnd::showWindow(HintPoint at)
{
    const POINT anchor{at.x, at.y};
    HDC dc = GetDC(window_);
    const SIZE text = measure(dc);
    ReleaseDC(window_, dc);
    const BalloonShape shape = balloonShape(text.cx, text.cy, dpi_);
    // The system owns the region from here on.
    SetWindowRgn(window_, makeRegion(text), TRUE);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    LayoutRect work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoW(MonitorFromPoint(anchor, MONITOR_DEFAULTTONEAREST), &monitor))
        work = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
    int x = 0, y = 0;
    placeBalloon(shape, anchor.x, anchor.y, work, x, y);
    SetWindowPos(window_, HWND_TOP, x, y, shape.window.width, shape.window.height,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(window_, nullptr, TRUE);
}

void CBalloonWnd::paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    const SIZE text = measure(dc);
    HRGN region = makeRegion(text);
    HBRUSH fill = CreateSolidBrush(kFill);
    HBRUSH band = CreateSolidBrush(kBand);
    HBRUSH edge = CreateSolidBrush(kEdge);
    FillRgn(dc, region, fill);
    const int bandWidth = atDpi(3, dpi_);
    const int edgeWidth = atDpi(1, dpi_);
    FrameRgn(dc, region, band, bandWidth, bandWidth);
    FrameRgn(dc, region, edge, edgeWidth, edgeWidth);
    SetTextColor(dc, kText);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, font_);
    RECT client{};
    GetClientRect(window_, &client);
    client.left += atDpi(12, dpi_);
    client.top += atDpi(10, dpi_);
    DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &client, kTextFormat);
    SelectObject(dc, old);
    DeleteObject(region);
    DeleteObject(fill);
    DeleteObject(band);
    DeleteObject(edge);
    EndPaint(window_, &ps);
}

LRESULT CBalloonWnd::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == ShowTimer || wParam == HideTimer) {
            hover_.timerFired(static_cast<BalloonHover::Timer>(wParam));
            return 0;
        }
        break;
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_DESTROY:
        KillTimer(window_, ShowTimer);
        KillTimer(window_, HideTimer);
        break;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK CBalloonWnd::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<CBalloonWnd *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

} // namespace vigilon::win
