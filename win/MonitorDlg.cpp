// SPDX-License-Identifier: MIT
#include "win/MonitorDlg.h"
#include "win/WinPrompter.h"
#include "win/Localized.h"

#include "base/StringTable.h"
#include "win/Modeless.h"
#include "win/WinText.h"
#include "win/DialogIds.h"
#include "win/PortListCtrl.h"
#include "win/OutageListDlg.h"
#include "win/PortSettingsDlg.h"
#include "win/TargetHostDlg.h"
#include "win/ChannelsDlg.h"
#include "win/WinDialogs.h"
#include "win/WinDpi.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace vigilon::win {

namespace {

constexpr int CmdTrayExit = 20001;
// Ends a dialog that its frame let go of while it was busy.
constexpr UINT FinishMessage = WM_APP + 1;
// The list keeps room for its header and two rows at the smallest size.
constexpr int ListLeastHeight = 76;
constexpr int CaptionFontHeight = 18;
constexpr int HintFontHeight = 14;
#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

LayoutRect layoutRect(const RECT &r)
{
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace

class CMonitorDlg::Busy {
public:
    explicit Busy(CMonitorDlg &dialog) : dialog_(dialog) { ++dialog_.depth_; }
    ~Busy()
    {
        if (--dialog_.depth_ == 0 && dialog_.doomed_ && !dialog_.finishing_ && dialog_.window_)
            PostMessageW(dialog_.window_, FinishMessage, 0, 0);
    }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;

private:
    CMonitorDlg &dialog_;
};

CMonitorDlg::CMonitorDlg(DialogFace &frame, std::shared_ptr<MainDialogController> controller, Prompter &prompter)
    : frame_(frame)
    , prompter_(prompter)
    , controller_(std::move(controller))
{
    controller_->bind(*this);
}

CMonitorDlg::~CMonitorDlg()
{
    controller_->retire();
    if (logo_)
        DeleteObject(logo_);
    if (captionFont_)
        DeleteObject(captionFont_);
    if (dialogFont_)
        DeleteObject(dialogFont_);
    if (bigIcon_)
        DestroyIcon(bigIcon_);
    if (smallIcon_)
        DestroyIcon(smallIcon_);
}

bool CMonitorDlg::create()
{
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    window_ = localizedDialog(resourceInstance(), IDD_MAIN, nullptr, &CMonitorDlg::dialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (auto *notices = dynamic_cast<WinPrompter *>(&prompter_); notices && window_)
        notices->setNoticeOwner(window_);
    return window_ != nullptr;
}

void CMonitorDlg::release()
{
    saveLayout();
    controller_->retire();
    if (modal_ && IsWindow(modal_))
        EndDialog(modal_, IDCANCEL);
    if (depth_ > 0) {
        doomed_ = true;
        if (window_)
            ShowWindow(window_, SW_HIDE);
        return;
    }
    finish();
}

void CMonitorDlg::finish()
{
    finishing_ = true;
    if (auto *notices = dynamic_cast<WinPrompter *>(&prompter_); notices && notices->noticeOwner() == window_)
        notices->setNoticeOwner(nullptr);
    if (window_ && IsWindow(window_))
        DestroyWindow(window_);
    delete this;
}

void CMonitorDlg::trackModal(HWND modal, void *self)
{
    static_cast<CMonitorDlg *>(self)->modal_ = modal;
}

INT_PTR CALLBACK CMonitorDlg::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<CMonitorDlg *>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CMonitorDlg *>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
    }
    if (!self)
        return FALSE;
    if (message == FinishMessage) {
        // From the loop: none of our calls, nor a control's that told us
        // something, is on the stack any more.
        if (self->doomed_ && self->depth_ == 0 && !self->finishing_)
            self->finish();
        return TRUE;
    }
    ++self->depth_;
    const INT_PTR result = self->handle(message, wParam, lParam);
    if (--self->depth_ == 0 && self->doomed_ && !self->finishing_)
        PostMessageW(window, FinishMessage, 0, 0);
    return result;
}

INT_PTR CMonitorDlg::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        initDialog();
        addModeless(window_);
        return TRUE;
    case WM_PAINT:
        paint();
        return TRUE;
    case WM_QUERYDRAGICON:
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(bigIcon_));
        return TRUE;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED && item(IDOK))
            applyLayout();
        return FALSE;
    case WM_GETMINMAXINFO:
        minTrackSize(*reinterpret_cast<MINMAXINFO *>(lParam));
        return TRUE;
    case WM_DPICHANGED:
        onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT *>(lParam));
        return TRUE;
    case WM_SHOWWINDOW:
        if (wParam)
            shownOnce_ = true;
        if (wParam && ready_)
            controller_->updateStateControls();
        return FALSE;
    case WM_SYSCOMMAND:
        // The close box and Alt+F4: the user's exit request.
        if ((wParam & 0xFFF0) != SC_CLOSE)
            return FALSE;
        controller_->onExitRequest();
        return TRUE;
    case WM_CLOSE:
        // Sent by another program or the system (the service host, taskkill),
        // which ends the program: no question.
        controller_->onSystemClose();
        return TRUE;
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        const auto &header = *reinterpret_cast<const NMHDR *>(lParam);
        if (header.idFrom == IDC_PORT_LIST) {
            const LRESULT result = onListNotify(header);
            if (window_)
                SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        removeModeless(window_);
        if (list_) {
            RemoveWindowSubclass(list_, &CMonitorDlg::listProc, 1);
            if (HWND header = ListView_GetHeader(list_))
                RemoveWindowSubclass(header, &CMonitorDlg::listProc, 2);
        }
        hint_.reset();
        ready_ = false;
        return FALSE;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window_, DWLP_USER, 0);
        window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void CMonitorDlg::initDialog()
{
    intervalField_.attach(item(IDC_INTERVAL));
    retryField_.attach(item(IDC_RETRY));
    list_ = item(IDC_PORT_LIST);
    portList_.attach(list_);
    growStaticsToFit(window_);
    // The template's font is made at the dialog's resolution; a later one
    // is the dialog's own to follow.
    dpi_ = windowDpi(window_);
    keepDialogScaling(window_);

    loadIcons();

    SendDlgItemMessageW(window_, IDC_INTERVAL_SPIN, UDM_SETRANGE32, 1, 999);
    SendDlgItemMessageW(window_, IDC_RETRY_SPIN, UDM_SETRANGE32, 1, 5);

    setUpList();

    loadLogo();

    // Fields and up-down controls, the list, the hint, status and title.
    controller_->init();
    setSpinPos(IDC_RETRY_SPIN, static_cast<int>(SendDlgItemMessageW(window_, IDC_RETRY_SPIN, UDM_GETPOS32, 0, 0)));
    setSpinPos(IDC_INTERVAL_SPIN,
               static_cast<int>(SendDlgItemMessageW(window_, IDC_INTERVAL_SPIN, UDM_GETPOS32, 0, 0)));

    makeFonts();
    captionText_ = L"Ardentis Technology";
    rememberLayout();
    showAllColumns();
    restoreLayout();
    ready_ = true;
}

void CMonitorDlg::loadIcons()
{
    const HINSTANCE instance = resourceInstance();
    HICON big = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                              systemMetric(SM_CXICON, dpi_), systemMetric(SM_CYICON, dpi_), 0));
    HICON small = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                                systemMetric(SM_CXSMICON, dpi_), systemMetric(SM_CYSMICON, dpi_), 0));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    if (bigIcon_)
        DestroyIcon(bigIcon_);
    if (smallIcon_)
        DestroyIcon(smallIcon_);
    bigIcon_ = big;
    smallIcon_ = small;
}

void CMonitorDlg::loadLogo()
{
    // The static takes the picture's size.
    HBITMAP logo = loadBitmapAtDpi(resourceInstance(), IDB_LOGO, dpi_);
    SendDlgItemMessageW(window_, IDC_LOGO, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo));
    if (logo_)
        DeleteObject(logo_);
    logo_ = logo;
}

void CMonitorDlg::makeFonts()
{
    if (captionFont_)
        DeleteObject(captionFont_);
    captionFont_ = CreateFontW(atDpi(CaptionFontHeight, dpi_), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Verdana");
    if (hint_) {
        hint_->setDpi(dpi_);
        hint_->setFont(loadWString(sid::UiFontFace), atDpi(HintFontHeight, dpi_), 0, false, false);
    }
}

std::vector<int> CMonitorDlg::defaultWidths() const
{
    return defaultColumnWidths(portList_.textWidth(), atDpi(16, dpi_), atDpi(2 * CPortListCtrl::ImageSize + 6, dpi_), dpi_);
}

void CMonitorDlg::onDpiChanged(int dpi, const RECT &suggested)
{
    const int old = dpi_;
    if (dpi > 0 && dpi != old && list_) {
        const auto scale = [old, dpi](LONG v) { return rescaled(static_cast<int>(v), old, dpi); };
        std::vector<int> widths = portList_.columnWidths();
        const std::vector<int> defaultsBefore = defaultWidths();
        dpi_ = dpi;
        // The font first, then the places: a control may fit itself to its
        // font as it gets it.
        const HFONT current =
            dialogFont_ ? dialogFont_ : reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
        HFONT font = rescaledFont(current, old, dpi);
        for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const RECT r = childRect(child);
            if (font)
                SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            MoveWindow(child, scale(r.left), scale(r.top), scale(r.right) - scale(r.left),
                       scale(r.bottom) - scale(r.top), FALSE);
        }
        if (font) {
            SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            if (dialogFont_)
                DeleteObject(dialogFont_);
            dialogFont_ = font;
        }
        portList_.makeImageLists(dpi_);
        widths = rescaledColumnWidths(widths, old, dpi, defaultsBefore, defaultWidths());
        for (int c = 0; c < static_cast<int>(widths.size()); ++c)
            ListView_SetColumnWidth(list_, c, widths[static_cast<std::size_t>(c)]);
        loadIcons();
        loadLogo();
        makeFonts();
        rememberLayout();
    }
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    applyLayout();
}

void CMonitorDlg::showAllColumns()
{
    std::vector<int> widths = portList_.columnWidths();
    RECT listClient{};
    GetClientRect(list_, &listClient);
    // The client area without the vertical scroll bar, if one shows now.
    const int scrollBar = systemMetric(SM_CXVSCROLL, dpi_);
    const bool scrolling = (GetWindowLongPtrW(list_, GWL_STYLE) & WS_VSCROLL) != 0;
    const int wider = widthToShowColumns(widths, listClient.right + (scrolling ? scrollBar : 0), scrollBar);
    RECT window{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (wider <= 0 || !GetWindowRect(window_, &window) ||
        !GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    // No wider than the screen's work area.
    const int width = std::min<int>(window.right - window.left + wider, monitor.rcWork.right - monitor.rcWork.left);
    SetWindowPos(window_, nullptr, 0, 0, width, window.bottom - window.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMonitorDlg::restoreLayout()
{
    std::vector<LayoutRect> areas;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            auto &list = *reinterpret_cast<std::vector<LayoutRect> *>(data);
            MONITORINFO info{};
            info.cbSize = sizeof(info);
            if (!GetMonitorInfoW(monitor, &info))
                return TRUE;
            // The primary first: a window on no screen goes there.
            const LayoutRect work = layoutRect(info.rcWork);
            if (info.dwFlags & MONITORINFOF_PRIMARY)
                list.insert(list.begin(), work);
            else
                list.push_back(work);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&areas));
    MINMAXINFO least{};
    minTrackSize(least);
    LayoutRect placed;
    if (!controller_->restoredWindow({least.ptMinTrackSize.x, least.ptMinTrackSize.y}, areas, placed, {}, dpi_))
        return;
    SetWindowPos(window_, nullptr, placed.left, placed.top, placed.width(), placed.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMonitorDlg::saveLayout()
{
    if (!shownOnce_ || !window_ || !list_ || controller_->retired())
        return;
    // Minimized, the window is kept as it was before.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    RECT r{};
    if (IsIconic(window_) && GetWindowPlacement(window_, &placement))
        r = placement.rcNormalPosition;
    else
        GetWindowRect(window_, &r);
    std::vector<int> widths = portList_.columnWidths();
    controller_->saveLayout(layoutRect(r), widths, dpi_);
}

void CMonitorDlg::setUpList()
{
    const HINSTANCE instance = resourceInstance();
    portList_.makeImageLists(dpi_);

    portList_.setUpColumns(controller_->columnWidths(portList_.textWidth(), atDpi(16, dpi_),
                                                   atDpi(2 * CPortListCtrl::ImageSize + 6, dpi_), dpi_));

    hint_ = std::make_unique<CBalloonWnd>();
    hint_->createHint(window_, instance);
    hint_->setDpi(dpi_);
    hint_->setFont(loadWString(sid::UiFontFace), atDpi(HintFontHeight, dpi_), 0, false, false);
    hint_->watchTip(ListView_GetToolTips(list_));
    SetWindowSubclass(list_, &CMonitorDlg::listProc, 1, reinterpret_cast<DWORD_PTR>(this));
    if (HWND header = ListView_GetHeader(list_))
        SetWindowSubclass(header, &CMonitorDlg::listProc, 2, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK CMonitorDlg::listProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR data)
{
    auto *self = reinterpret_cast<CMonitorDlg *>(data);
    if (self->hint_ && message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) {
        MSG relayed{};
        relayed.hwnd = window;
        relayed.message = message;
        relayed.wParam = wParam;
        relayed.lParam = lParam;
        relayed.time = static_cast<DWORD>(GetMessageTime());
        GetCursorPos(&relayed.pt);
        self->hint_->relayEvent(relayed);
    }
    if (id == 1 && message == WM_GETDLGCODE && lParam) {
        // Enter is the list's own: the dialog's default button does not get it.
        const auto *msg = reinterpret_cast<const MSG *>(lParam);
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTMESSAGE;
    }
    if (id == 1 && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_KEYUP ||
                    message == WM_CONTEXTMENU)) {
        const Busy busy(*self);
        if (message == WM_CONTEXTMENU) {
            // The keyboard's (Shift+F10); the right button's comes as NM_RCLICK.
            if (lParam == -1) {
                self->listContextMenu(POINT{-1, -1});
                return 0;
            }
        } else if (message == WM_KEYUP) {
            // The menu key opened the menu as it went down.
            if (wParam == VK_APPS)
                return 0;
        } else if (self->onListKey(message, wParam)) {
            return 0;
        }
    }
    if (id == 1 && message == WM_MOUSEMOVE) {
        // Over no row the hint goes at once; the list itself does not track
        // the pointer.
        LVHITTESTINFO hit{};
        hit.pt = POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (ListView_HitTest(window, &hit) < 0 && self->hint_)
            self->hint_->hideHint();
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void CMonitorDlg::rememberLayout()
{
    followers_ = {{IDOK, Follow::RightEdge},
                  {IDC_TARGET, Follow::RightEdge},
                  {IDCANCEL, Follow::RightEdge},
                  {IDC_LOGO, Follow::BottomRight},
                  {IDC_HISTORY, Follow::BottomLeft},
                  {IDC_CHANNELS, Follow::BottomLeft},
                  {IDC_PORT_LIST, Follow::Stretch}};
    laid_.clear();
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LaidControl laid;
        laid.rect = layoutRect(childRect(child));
        const int id = GetDlgCtrlID(child);
        for (const auto &[followerId, how] : followers_) {
            if (id == followerId)
                laid.how = how;
        }
        if (id == IDC_PORT_LIST)
            laid.least = {1, atDpi(ListLeastHeight, dpi_)};
        laid_.push_back(laid);
    }
}

void CMonitorDlg::applyLayout()
{
    RECT client{};
    GetClientRect(window_, &client);
    const LayoutSize size{client.right - client.left, client.bottom - client.top};
    for (const auto &[id, how] : followers_) {
        HWND control = item(id);
        if (!control)
            continue;
        const LayoutRect r = followClient(how, layoutRect(childRect(control)), size, dpi_);
        MoveWindow(control, r.left, r.top, std::max(0, r.width()), std::max(0, r.height()), TRUE);
    }
    InvalidateRect(window_, nullptr, TRUE);
}

void CMonitorDlg::minTrackSize(MINMAXINFO &info) const
{
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE));
    const SIZE frame = frameSize(style, exStyle, dpi_);
    const int frameWidth = frame.cx;
    const int frameHeight = frame.cy;
    LayoutSize least{atDpi(MinTrackWidth, dpi_) - frameWidth, atDpi(MinTrackHeight, dpi_) - frameHeight};
    // The system's least is not enough where the dialog's font is large:
    // the controls would run into one another.
    if (!laid_.empty())
        least = smallestClient(laid_, least, dpi_);
    info.ptMinTrackSize.x = least.width + frameWidth;
    info.ptMinTrackSize.y = least.height + frameHeight;
}

void CMonitorDlg::paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    RECT client{};
    GetClientRect(window_, &client);
    if (IsIconic(window_)) {
        SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        const int x = (client.right - systemMetric(SM_CXICON, dpi_) + 1) / 2;
        const int y = (client.bottom - systemMetric(SM_CYICON, dpi_) + 1) / 2;
        DrawIcon(dc, x, y, bigIcon_);
        EndPaint(window_, &ps);
        return;
    }
    // The caption, engraved, in a band along the bottom of the window.
    RECT outer{};
    GetWindowRect(window_, &outer);
    POINT bottom{outer.left, outer.bottom};
    ScreenToClient(window_, &bottom);
    const auto px = [this](int pixels) { return atDpi(pixels, dpi_); };
    RECT band{px(10), bottom.y - px(40), px(1210), bottom.y - px(4)};
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, captionFont_);
    const COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    RECT lit = band;
    OffsetRect(&lit, 1, 1);
    DrawTextW(dc, captionText_.c_str(), -1, &lit, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    DrawTextW(dc, captionText_.c_str(), -1, &band, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetTextColor(dc, oldColour);
    SelectObject(dc, oldFont);
    SetBkMode(dc, oldMode);
    EndPaint(window_, &ps);
}

void CMonitorDlg::onCommand(int id, int code)
{
    switch (id) {
    case IDOK:
        controller_->onStartStop();
        return;
    case IDCANCEL:
    case CmdTrayExit:
        controller_->onExitRequest();
        return;
    case IDC_PORT_TEST:
        controller_->onPortTest();
        return;
    case IDC_TARGET:
        controller_->onTargetChange();
        return;
    case IDC_CHANNELS:
        controller_->onChannels();
        return;
    case IDC_RETRY:
        if (code == EN_CHANGE && ready_)
            controller_->onRetryChanged();
        return;
    case IDC_INTERVAL:
        if (code == EN_CHANGE && ready_)
            controller_->onIntervalChanged();
        return;
    case IDC_NOTIFY:
        if (code == BN_CLICKED)
            controller_->onNotifyToggled(IsDlgButtonChecked(window_, IDC_NOTIFY) == BST_CHECKED);
        return;
    case IDC_HISTORY:
        if (code == BN_CLICKED)
            controller_->onHistoryToggled(IsDlgButtonChecked(window_, IDC_HISTORY) == BST_CHECKED);
        return;
    case IDC_AUTOSTART:
        if (code == BN_CLICKED)
            controller_->onAutostartToggled(IsDlgButtonChecked(window_, IDC_AUTOSTART) == BST_CHECKED);
        return;
    default:
        return;
    }
}

LRESULT CMonitorDlg::onListNotify(const NMHDR &header)
{
    if (header.code == static_cast<UINT>(LVN_GETINFOTIPW)) {
        auto &tip = const_cast<NMLVGETINFOTIPW &>(reinterpret_cast<const NMLVGETINFOTIPW &>(header));
        // The tip shows what it is given (a cut item's text, a failed row's
        // reason): the balloon goes first, the two never show at once.
        const std::wstring *rowTip = portList_.rowTip(tip.iItem);
        const bool failedRow = rowTip != nullptr;
        if (hint_ && tip.pszText && (tip.pszText[0] || failedRow))
            hint_->tipShowing();
        if (!failedRow || !tip.pszText || tip.cchTextMax <= 0)
            return 0;
        // Behind the cut text of the item, if the list put it there.
        std::wstring text = tip.dwFlags == 0 && tip.pszText[0] ? std::wstring(tip.pszText) + L"\r\n" : L"";
        text += *rowTip;
        const std::size_t room = static_cast<std::size_t>(tip.cchTextMax) - 1;
        text.copy(tip.pszText, room);
        tip.pszText[std::min(room, text.size())] = L'\0';
        return 0;
    }
    if (header.code == static_cast<UINT>(NM_RCLICK)) {
        // The list has made the row under the pointer the current one.
        listContextMenu(reinterpret_cast<const NMITEMACTIVATE &>(header).ptAction);
        // No WM_CONTEXTMENU after it.
        return 1;
    }
    if (header.code != static_cast<UINT>(NM_CLICK) && header.code != static_cast<UINT>(NM_DBLCLK))
        return 0;
    // Where the button went down, in the list's client area.
    const auto &activate = reinterpret_cast<const NMITEMACTIVATE &>(header);
    LVHITTESTINFO hit{};
    hit.pt = activate.ptAction;
    const int row = ListView_HitTest(list_, &hit);
    const bool inFirstColumn = hit.pt.x < ListView_GetColumnWidth(list_, 0);
    if (header.code == static_cast<UINT>(NM_CLICK))
        controller_->onListClick(row, (hit.flags & LVHT_ONITEMSTATEICON) != 0 && inFirstColumn);
    else
        controller_->onListDoubleClick(row, inFirstColumn);
    return 0;
}

bool CMonitorDlg::onListKey(UINT message, WPARAM key)
{
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    if (message == WM_SYSKEYDOWN) {
        // Shift+F10, as the menu key.
        if (key != VK_F10 || !shift || control)
            return false;
        listContextMenu(POINT{-1, -1});
        return true;
    }
    if (alt)
        return false;
    if (key == VK_APPS) {
        listContextMenu(POINT{-1, -1});
        return true;
    }
    if (control && !shift && (key == 'C' || key == VK_INSERT)) {
        controller_->onListKey(ListKey::Copy, portList_.selection());
        return true;
    }
    // Ctrl+Home and Ctrl+End go to the first and last row as Home and End
    // do, highlighting it: the list's own would move the focus alone, and a
    // key after it would act on another row than the one shown.
    if (control && !shift && (key == VK_HOME || key == VK_END)) {
        const int count = ListView_GetItemCount(list_);
        if (count > 0)
            portList_.highlightOnly(key == VK_HOME ? 0 : count - 1);
        return true;
    }
    if (control || shift)
        return false;
    switch (key) {
    case VK_RETURN:
        controller_->onListKey(ListKey::Enter, portList_.selection());
        return true;
    case VK_F2:
        controller_->onListKey(ListKey::F2, portList_.selection());
        return true;
    case VK_DELETE:
        controller_->onListKey(ListKey::Delete, portList_.selection());
        return true;
    case VK_SPACE: {
        // Space acts on the focused row: where Ctrl and the arrows moved the
        // focus away from the highlighted rows, it becomes the one highlighted.
        const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
        if (focused >= 0 && !(ListView_GetItemState(list_, focused, LVIS_SELECTED) & LVIS_SELECTED))
            portList_.highlightOnly(focused);
        controller_->onListKey(ListKey::Space, portList_.selection());
        return true;
    }
    default:
        return false;
    }
}

void CMonitorDlg::listContextMenu(POINT at)
{
    const ListSelection selection = portList_.selection();
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: beside the current row, else the list's corner.
        RECT r{};
        r.left = LVIR_LABEL;
        if (selection.current >= 0 &&
            SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(selection.current), reinterpret_cast<LPARAM>(&r)))
            at = POINT{r.left, r.bottom};
        else
            at = POINT{0, 0};
    }
    ClientToScreen(list_, &at);
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    for (const ListMenuItem &item : controller_->listMenu(selection)) {
        if (item.separatorBefore)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        const std::wstring text = widen(item.text);
        AppendMenuW(menu, MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED),
                    static_cast<UINT_PTR>(item.command), text.c_str());
    }
    const int chosen = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, 0, window_, nullptr));
    DestroyMenu(menu);
    if (chosen > 0 && !controller_->retired())
        controller_->onListCommand(static_cast<ListCommand>(chosen), portList_.selection());
}

void CMonitorDlg::setClipboardText(const std::string &text)
{
    const std::wstring wide = widen(text);
    if (!OpenClipboard(window_))
        return;
    EmptyClipboard();
    const SIZE_T bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void *data = GlobalLock(memory)) {
            std::memcpy(data, wide.c_str(), bytes);
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void CMonitorDlg::setSpinPos(int spin, int pos)
{
    HWND control = item(spin);
    if (!control)
        return;
    // An up-down control keeps within its range and shows where it stands
    // in its field.
    int low = 0, high = 0;
    SendMessageW(control, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    pos = std::clamp(pos, low, high);
    SendMessageW(control, UDM_SETPOS32, 0, pos);
    HWND buddy = reinterpret_cast<HWND>(SendMessageW(control, UDM_GETBUDDY, 0, 0));
    const std::string text = std::to_string(pos);
    if (buddy && windowText(buddy) != text)
        setWindowText(buddy, text);
}

void CMonitorDlg::setIntervalSpinPos(int pos)
{
    setSpinPos(IDC_INTERVAL_SPIN, pos);
}

void CMonitorDlg::setRetrySpinPos(int pos)
{
    setSpinPos(IDC_RETRY_SPIN, pos);
}

void CMonitorDlg::setSettingsEnabled(bool enabled)
{
    for (int id : {IDC_PORT_TEST, IDC_INTERVAL, IDC_INTERVAL_SPIN, IDC_RETRY, IDC_RETRY_SPIN, IDC_TARGET})
        EnableWindow(item(id), enabled);
}

void CMonitorDlg::setNotifyTicked(bool ticked)
{
    CheckDlgButton(window_, IDC_NOTIFY, ticked ? BST_CHECKED : BST_UNCHECKED);
}

void CMonitorDlg::setAutostartTicked(bool ticked)
{
    CheckDlgButton(window_, IDC_AUTOSTART, ticked ? BST_CHECKED : BST_UNCHECKED);
}

void CMonitorDlg::setAutostartEnabled(bool enabled)
{
    EnableWindow(item(IDC_AUTOSTART), enabled);
}

void CMonitorDlg::setPortTestEnabled(bool enabled)
{
    EnableWindow(item(IDC_PORT_TEST), enabled);
}

void CMonitorDlg::setStartStopText(const std::string &text)
{
    setWindowText(item(IDOK), text);
}

void CMonitorDlg::setStatusText(const std::string &text)
{
    HWND status = item(IDC_STATUS);
    setWindowText(status, text);
    // Both lines whole, as far as the buttons on the right.
    if (HWND start = item(IDOK))
        growFieldToFit(status, childRect(start).left - atDpi(8, dpi_));
}

void CMonitorDlg::setHintText(const std::string &text)
{
    if (hint_)
        hint_->addTool(list_, widen(text));
}

void CMonitorDlg::setTitle(const std::string &text)
{
    setWindowText(window_, text);
}

int CMonitorDlg::rowCount() const
{
    return portList_.rowCount();
}

void CMonitorDlg::setRow(int row, const RowContent &content)
{
    portList_.setRow(row, content);
}

void CMonitorDlg::setRowImage(int row, int image)
{
    portList_.setRowImage(row, image);
}

void CMonitorDlg::setRowTicked(int row, bool ticked)
{
    portList_.setRowTicked(row, ticked);
}

bool CMonitorDlg::rowTicked(int row) const
{
    return portList_.rowTicked(row);
}

void CMonitorDlg::deleteRow(int row)
{
    portList_.deleteRow(row);
}

std::string CMonitorDlg::rowName(int row) const
{
    return portList_.rowName(row);
}

void CMonitorDlg::setHistoryTicked(bool ticked)
{
    CheckDlgButton(window_, IDC_HISTORY, ticked ? BST_CHECKED : BST_UNCHECKED);
}

void CMonitorDlg::showOutages(std::uint32_t entryId, const std::string &entryName)
{
    runOutageListDialog(window_, frame_, prompter_, entryId, entryName, &CMonitorDlg::trackModal, this);
}

bool CMonitorDlg::runPortSettings(PortSettingsForm &form)
{
    return runPortSettingsDialog(window_, form, prompter_, &CMonitorDlg::trackModal, this);
}

bool CMonitorDlg::runTargetHost(TargetHostForm &form)
{
    return runTargetHostDialog(window_, form, prompter_, &CMonitorDlg::trackModal, this);
}

bool CMonitorDlg::runChannels(ChannelsForm &form)
{
    return runChannelsDialog(window_, form, prompter_, &CMonitorDlg::trackModal, this);
}

MainDialogWindow *makeMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller,
                                 Prompter &prompter, HWND *made)
{
    auto *dialog = new CMonitorDlg(frame, std::move(controller), prompter);
    if (!dialog->create()) {
        dialog->release();
        return nullptr;
    }
    if (made)
        *made = dialog->handle();
    return dialog;
}

} // namespace vigilon::win
