// SPDX-License-Identifier: MIT
#include "win/ResponseGraphWnd.h"
#include "win/Localized.h"

#include "win/WinDpi.h"
#include "win/WinText.h"
#include "win/GraphResources.h"

#include <windowsx.h>

#include <map>
#include <optional>

namespace vigilon::win {

namespace {

const wchar_t kWindowClass[] = L"VigilonResponseGraph";
const wchar_t kRequestClass[] = L"VigilonResponseGraphRequests";
constexpr UINT kCloseRequest = WM_APP + 1;
#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

HINSTANCE module()
{
    return GetModuleHandleW(nullptr);
}

COLORREF toColorRef(GColour c)
{
    return RGB(c.red, c.green, c.blue);
}

RECT toRect(const GRect &r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

// The windows that may still ask to be closed, by token: a request posted
// by a window that is gone by the time it arrives is dropped.
std::map<std::uintptr_t, CResponseGraphWnd *> &liveWindows()
{
    static std::map<std::uintptr_t, CResponseGraphWnd *> windows;
    return windows;
}

// Requests are carried out by a message-only window of their own, so that
// the owner destroys a graph window outside every handler of that window.
LRESULT CALLBACK requestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

HWND requestWindow()
{
    static HWND window = nullptr;
    if (window && IsWindow(window))
        return window;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = requestProc;
    wc.hInstance = module();
    wc.lpszClassName = kRequestClass;
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, kRequestClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module(), nullptr);
    return window;
}

bool registerWindowClass(WNDPROC proc)
{
    static bool registered = false;
    if (registered)
        return true;
    // No class style, cursor, background or icon: the window paints all of
    // its client area itself.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = module();
    wc.lpszClassName = kWindowClass;
    registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return registered;
}

// The window font: the system font of a screen device context, as high as
// it would be at dpi, 4 pixels (at 96 DPI) lower, not italic, in the given
// face.
HFONT makeWindowFont(const std::string &face, int dpi)
{
    HDC screen = GetDC(nullptr);
    HGDIOBJ system = GetCurrentObject(screen, OBJ_FONT);
    LOGFONTW lf{};
    GetObjectW(system, sizeof lf, &lf);
    TEXTMETRICW metrics{};
    const HGDIOBJ previous = SelectObject(screen, system);
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);

    lf.lfHeight = graphFontPixels(rescaled(metrics.tmHeight, systemDpi(), dpi), dpi);
    lf.lfWidth = 0;
    lf.lfItalic = FALSE;
    // The face decides, whatever the system font's character set; its
    // smoothing is the system's.
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    const std::wstring wide = widen(face);
    lstrcpynW(lf.lfFaceName, wide.c_str(), LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

// Text with "\r\n" line breaks, left and top aligned, as DrawTextW takes
// it; flags 0 draws, DT_CALCRECT measures.
void drawText(HDC dc, const std::string &text, RECT &r, UINT flags)
{
    const std::wstring wide = widen(text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, flags);
}

class Pen {
public:
    Pen(HDC dc, int style, int width, GColour colour)
        : dc_(dc)
        , pen_(CreatePen(style, width, toColorRef(colour)))
        , previous_(SelectObject(dc, pen_))
    {
    }
    ~Pen()
    {
        SelectObject(dc_, previous_);
        DeleteObject(pen_);
    }
    Pen(const Pen &) = delete;
    Pen &operator=(const Pen &) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ previous_;
};

void line(HDC dc, const GLine &l)
{
    MoveToEx(dc, l.from.x, l.from.y, nullptr);
    LineTo(dc, l.to.x, l.to.y);
}

void drawGraph(HDC dc, const GraphDrawing &g, int dpi)
{
    {
        Pen axis(dc, PS_SOLID, atDpi(2, dpi), graphcolour::Axes);
        line(dc, g.verticalAxis);
        line(dc, g.horizontalAxis);
    }
    {
        Pen tick(dc, PS_SOLID, 1, graphcolour::Axes);
        for (const GLine &t : g.ticks)
            line(dc, t);
    }
    if (g.thresholdLine) {
        Pen dotted(dc, PS_DOT, 1, graphcolour::Threshold);
        line(dc, *g.thresholdLine);
    }
    if (!g.curve.empty()) {
        Pen series(dc, PS_SOLID, 1, graphcolour::series(0));
        MoveToEx(dc, g.curve.front().x, g.curve.front().y, nullptr);
        for (std::size_t i = 1; i < g.curve.size(); ++i)
            LineTo(dc, g.curve[i].x, g.curve[i].y);
    }
    SetTextColor(dc, toColorRef(graphcolour::Labels));
    RECT maxRect = toRect(g.maxLabelRect);
    drawText(dc, g.maxLabel, maxRect, 0);
    if (g.timeLabel) {
        RECT timeRect = toRect(g.timeLabelRect);
        drawText(dc, *g.timeLabel, timeRect, 0);
    }
}

LRESULT CALLBACK requestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kCloseRequest)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const auto token = static_cast<std::uintptr_t>(lParam);
    const auto it = liveWindows().find(token);
    if (it != liveWindows().end()) {
        // The owner may destroy the window here: none of its handlers runs.
        CResponseGraphWnd *window = it->second;
        window->CloseMonitorNow();
    }
    return 0;
}

} // namespace

CResponseGraphWnd::CResponseGraphWnd(const Clock &clock, Prompter &prompter, const ResponseGraphParams &params,
                                     CloseRequest closeRequest)
    : prompter_(prompter)
    , session_(params, clock)
    , closeRequest_(std::move(closeRequest))
{
    static std::uintptr_t nextToken = 0;
    token_ = ++nextToken;
    liveWindows()[token_] = this;
}

CResponseGraphWnd::~CResponseGraphWnd()
{
    *alive_ = false;
    liveWindows().erase(token_);
    if (hwnd_)
        DestroyWindow(hwnd_);
    session_.stopRecording();
    if (menu_)
        DestroyMenu(menu_);
    if (font_)
        DeleteObject(font_);
}

bool CResponseGraphWnd::Create()
{
    if (hwnd_ || !registerWindowClass(&CResponseGraphWnd::windowProc))
        return false;
    // A popup with a sizing border and nothing else; a tool window, so that
    // it has no taskbar button of its own.
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"", WS_POPUP | WS_THICKFRAME, 0, 0, 100, 100, nullptr,
                            nullptr, module(), this);
    if (!hwnd_)
        return false;
    // Its margins, graph and font follow the resolution of its screen.
    session_.model().setDpi(windowDpi(hwnd_));
    font_ = makeWindowFont(session_.model().params().fontFace, session_.model().dpi());

    menu_ = localizedMenu(module(), IDR_RESPONSE_GRAPH_MENU);

    HDC dc = GetDC(hwnd_);
    const HGDIOBJ previous = SelectObject(dc, font_);
    const GRect frame = session_.initialFrame(clientRect(), measurerFor(dc));
    SelectObject(dc, previous);
    ReleaseDC(hwnd_, dc);
    MoveWindow(hwnd_, frame.left, frame.top, frame.width(), frame.height(), TRUE);
    // The border takes its part of the frame: the client area grows to what
    // the text needs.
    growBy(session_.growToFit(clientRect()));

    session_.startRecording(prompter_);
    SetTimer(hwnd_, ResponseGraphSession::StartTimerId, ResponseGraphSession::StartTimerMs, nullptr);

    SetWindowLongW(hwnd_, GWL_EXSTYLE, GetWindowLongW(hwnd_, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(hwnd_, 0, session_.opacity(), LWA_ALPHA);
    return true;
}

ResponseGraph::Place CResponseGraphWnd::place() const
{
    RECT r{};
    if (!hwnd_ || !GetWindowRect(hwnd_, &r))
        return {};
    return {r.left, r.top};
}

ResponseGraph::Size CResponseGraphWnd::outerSize() const
{
    RECT r{};
    if (!hwnd_ || !GetWindowRect(hwnd_, &r))
        return {};
    return {r.right - r.left, r.bottom - r.top};
}

void CResponseGraphWnd::moveTo(const Place &place)
{
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CResponseGraphWnd::show()
{
    if (hwnd_)
        ShowWindow(hwnd_, SW_SHOW);
}

void CResponseGraphWnd::addSample(std::uint32_t valueMs)
{
    invalidate(session_.addSample(valueMs, clientRect()));
}

void CResponseGraphWnd::setHistoryLines(const std::vector<std::string> &lines)
{
    if (!hwnd_)
        return;
    HDC dc = GetDC(hwnd_);
    const HGDIOBJ previous = SelectObject(dc, font_);
    const auto growth = session_.fitHistoryLines(lines, clientRect(), measurerFor(dc));
    SelectObject(dc, previous);
    ReleaseDC(hwnd_, dc);
    RECT window{};
    if (!growth || !GetWindowRect(hwnd_, &window))
        return;
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + growth->width.value_or(0),
                 window.bottom - window.top + growth->height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    invalidate(clientRect());
}

void CResponseGraphWnd::setOutagesAction(std::function<void()> open)
{
    openOutages_ = std::move(open);
    if (menu_)
        EnableMenuItem(menu_, IDM_GRAPH_OUTAGES, MF_BYCOMMAND | (openOutages_ ? MF_ENABLED : MF_GRAYED));
}

void CResponseGraphWnd::setFailureReason(const std::string &line)
{
    if (!session_.setFailureReason(line) || !hwnd_)
        return;
    fitText();
}

void CResponseGraphWnd::fitText()
{
    HDC dc = GetDC(hwnd_);
    const HGDIOBJ previous = SelectObject(dc, font_);
    const std::optional<int> grow = session_.fitReason(clientRect(), measurerFor(dc));
    SelectObject(dc, previous);
    ReleaseDC(hwnd_, dc);
    growBy(grow);
    invalidate(clientRect());
}

void CResponseGraphWnd::growBy(std::optional<int> width)
{
    RECT window{};
    if (!width || !hwnd_ || !GetWindowRect(hwnd_, &window))
        return;
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + *width, window.bottom - window.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CResponseGraphWnd::onDpiChanged(int dpi, const RECT &suggested)
{
    if (dpi > 0 && dpi != session_.model().dpi()) {
        session_.model().setDpi(dpi);
        if (HFONT font = makeWindowFont(session_.model().params().fontFace, dpi)) {
            if (font_)
                DeleteObject(font_);
            font_ = font;
        }
    }
    // The system's rectangle keeps the window's proportions; the text block
    // is measured again in the new font, and the window widened if the text
    // asks for it.
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    fitText();
}

void CResponseGraphWnd::resetHistory()
{
    // The text shows the new count at the next tick of the text timer; the old
    // curve stays until the graph area is next painted.
    session_.resetHistory();
}

void CResponseGraphWnd::closeMonitor()
{
    const HWND requests = requestWindow();
    if (requests)
        PostMessageW(requests, kCloseRequest, 1, static_cast<LPARAM>(token_));
}

void CResponseGraphWnd::CloseMonitorNow()
{
    // A copy: the request may destroy this object.
    const CloseRequest request = closeRequest_;
    if (request)
        request();
}

GRect CResponseGraphWnd::clientRect() const
{
    RECT r{};
    if (hwnd_)
        GetClientRect(hwnd_, &r);
    return GRect{r.left, r.top, r.right, r.bottom};
}

void CResponseGraphWnd::invalidate(const GRect &area)
{
    if (!hwnd_)
        return;
    const RECT r = toRect(area);
    InvalidateRect(hwnd_, &r, TRUE);
}

TextMeasure CResponseGraphWnd::measurerFor(HDC dc) const
{
    return [dc](const std::string &text) {
        RECT r{0, 0, 0, 0};
        // A closing line break keeps its empty line, where the graph's
        // maximum label goes; DrawTextW alone would not count it.
        const bool emptyLastLine = !text.empty() && text.back() == '\n';
        drawText(dc, emptyLastLine ? text + " " : text, r, DT_CALCRECT);
        return TextExtent{r.right - r.left, r.bottom - r.top};
    };
}

GRect CResponseGraphWnd::tickText()
{
    HDC dc = GetDC(hwnd_);
    const HGDIOBJ previous = SelectObject(dc, font_);
    const GRect block = session_.tick(clientRect(), measurerFor(dc));
    SelectObject(dc, previous);
    ReleaseDC(hwnd_, dc);
    growBy(session_.growToFit(clientRect()));
    return block;
}

LRESULT CALLBACK CResponseGraphWnd::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self = static_cast<CResponseGraphWnd *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    auto *self = reinterpret_cast<CResponseGraphWnd *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT CResponseGraphWnd::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        // Painting covers the whole client area.
        return 1;
    case WM_PAINT:
        paint();
        return 0;
    case WM_SIZE: {
        const LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
        invalidate(session_.resizedArea(clientRect()));
        return result;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SIZE) {
            // The user sizes the window by its border, in a loop of the
            // system's, which may end with this window destroyed by its
            // owner (the loop runs the other windows' messages too).
            const std::shared_ptr<bool> alive = alive_;
            userSizing_ = true;
            const LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
            if (*alive)
                userSizing_ = false;
            return result;
        }
        break;
    case WM_DPICHANGED:
        onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT *>(lParam));
        return 0;
    case WM_GETMINMAXINFO: {
        // The text block bounds what the user makes of the window; the
        // window never grows by itself when its text does.
        auto *info = reinterpret_cast<MINMAXINFO *>(lParam);
        if (userSizing_)
            info->ptMinTrackSize = POINT{model().minimumWidth(), model().minimumHeight()};
        else
            info->ptMinTrackSize = POINT{1, 1};
        return 0;
    }
    case WM_LBUTTONDOWN: {
        POINT cursor{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(hwnd_, &cursor);
        RECT window{};
        GetWindowRect(hwnd_, &window);
        drag_.press(GPoint{cursor.x, cursor.y}, GPoint{window.left, window.top});
        // Held, so that a quick move off the window keeps dragging it.
        SetCapture(hwnd_);
        return 0;
    }
    case WM_LBUTTONUP:
        drag_.release();
        if (GetCapture() == hwnd_)
            ReleaseCapture();
        break;
    case WM_CAPTURECHANGED:
        drag_.release();
        break;
    case WM_MOUSEMOVE: {
        POINT cursor{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(hwnd_, &cursor);
        RECT window{};
        GetWindowRect(hwnd_, &window);
        const std::optional<GPoint> to =
            drag_.move(GPoint{cursor.x, cursor.y}, (wParam & MK_LBUTTON) != 0, GPoint{window.left, window.top});
        if (to)
            MoveWindow(hwnd_, to->x, to->y, window.right - window.left, window.bottom - window.top, TRUE);
        break;
    }
    case WM_TIMER:
        onTimer(wParam);
        break;
    case WM_CONTEXTMENU:
        onContextMenu(lParam);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDM_GRAPH_RESET_HISTORY) {
            resetHistory();
            return 0;
        }
        if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDM_GRAPH_OUTAGES) {
            if (openOutages_)
                openOutages_();
            return 0;
        }
        if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDM_GRAPH_CLOSE_MONITOR) {
            closeMonitor();
            return 0;
        }
        break;
    case WM_DESTROY:
        KillTimer(hwnd_, ResponseGraphSession::StartTimerId);
        KillTimer(hwnd_, ResponseGraphSession::TextTimerId);
        session_.stopRecording();
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void CResponseGraphWnd::onTimer(UINT_PTR id)
{
    if (id == ResponseGraphSession::StartTimerId) {
        KillTimer(hwnd_, ResponseGraphSession::StartTimerId);
        session_.startClock();
        SetTimer(hwnd_, ResponseGraphSession::TextTimerId, ResponseGraphSession::TextTimerMs, nullptr);
    } else if (id == ResponseGraphSession::TextTimerId) {
        invalidate(tickText());
    }
}

void CResponseGraphWnd::onContextMenu(LPARAM lParam)
{
    if (!menu_)
        return;
    HMENU popup = GetSubMenu(menu_, 0);
    if (!popup)
        return;
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: at the window's corner.
        RECT window{};
        GetWindowRect(hwnd_, &window);
        at = POINT{window.left, window.top};
    }
    // The menu closes properly when clicked beside it only if its window
    // is in the foreground.
    SetForegroundWindow(hwnd_);
    const std::shared_ptr<bool> alive = alive_;
    const HWND hwnd = hwnd_;
    // The menu's loop runs the other windows' messages too: this window may
    // be gone when it returns.
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
    if (*alive)
        PostMessageW(hwnd, WM_NULL, 0, 0);
}

void CResponseGraphWnd::paint()
{
    PAINTSTRUCT ps{};
    HDC target = BeginPaint(hwnd_, &ps);
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) {
        EndPaint(hwnd_, &ps);
        return;
    }
    // Drawn off screen and copied in one go: no flicker at each tick.
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, width, height);
    const HGDIOBJ previousBitmap = SelectObject(dc, bitmap);

    HBRUSH background = CreateSolidBrush(toColorRef(graphcolour::Background));
    FillRect(dc, &client, background);
    DeleteObject(background);
    FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWTEXT));

    const HGDIOBJ previousFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    const PaintPlan plan = session_.planPaint(clientRect(), measurerFor(dc));
    for (const TextItem &item : plan.items) {
        // The grey shadow where the text was measured, the text itself one
        // pixel left and up.
        RECT r = toRect(item.shadowAt);
        SetTextColor(dc, toColorRef(graphcolour::Shadow));
        drawText(dc, item.text, r, 0);
        r.left -= 1;
        r.top -= 1;
        SetTextColor(dc, toColorRef(item.colour));
        drawText(dc, item.text, r, 0);
    }
    if (plan.graph)
        drawGraph(dc, *plan.graph, session_.model().dpi());
    SelectObject(dc, previousFont);

    BitBlt(target, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
           ps.rcPaint.bottom - ps.rcPaint.top, dc, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EndPaint(hwnd_, &ps);
}

} // namespace vigilon::win
