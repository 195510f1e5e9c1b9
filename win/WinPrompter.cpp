// SPDX-License-Identifier: MIT
#include "win/WinPrompter.h"
#include "win/Localized.h"

#include "win/Modeless.h"
#include "win/WinText.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace vigilon::win {

namespace {
const wchar_t kNoticeClass[] = L"VigilonNotice";
// Sizes at 96 dots per inch; the box scales them to the screen's.
constexpr int kMargin = 12;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;
constexpr int kMaxTextWidth = 480;

int scaled(int size)
{
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen)
            ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return MulDiv(size, dpi, 96);
}

LPCWSTR systemIcon(unsigned style)
{
    switch (style & mb::IconMask) {
    case mb::IconStop:
        return IDI_HAND;
    case mb::IconQuestion:
        return IDI_QUESTION;
    case mb::IconExclamation:
        return IDI_EXCLAMATION;
    case mb::IconInformation:
        return IDI_ASTERISK;
    default:
        return nullptr;
    }
}

std::wstring captionOf(const std::string &caption)
{
    return widen(caption.empty() ? defaultCaption() : caption);
}
} // namespace

WinPrompter::~WinPrompter()
{
    if (notice_) {
        SetWindowLongPtrW(notice_, GWLP_USERDATA, 0);
        removeModeless(notice_);
        DestroyWindow(notice_);
    }
    if (font_)
        DeleteObject(font_);
}

int WinPrompter::messageBox(const std::string &text, const std::string &caption, unsigned style)
{
    // The buttons in the interface's language, where the system has it.
    const int answer = MessageBoxExW(GetActiveWindow(), widen(text).c_str(), captionOf(caption).c_str(),
                                     style | MB_SETFOREGROUND, resourceLanguage());
    if ((style & mb::ButtonMask) == mb::YesNo)
        return answer == IDNO ? mb::IdNo : mb::IdYes;
    return mb::IdOk;
}

void WinPrompter::notice(const std::string &text, const std::string &caption, unsigned style)
{
    if (notice_ && !IsWindow(notice_))
        noticeClosed();
    if (!board_.post(text, caption, style)) {
        if (noticeText_) {
            SetWindowTextW(noticeText_, widen(board_.text()).c_str());
            layoutNotice();
        }
        return;
    }
    makeNoticeWindow();
}

LRESULT CALLBACK WinPrompter::noticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<WinPrompter *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_DESTROY:
        removeModeless(window);
        if (self && self->notice_ == window)
            self->noticeClosed();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void WinPrompter::noticeClosed()
{
    board_.closed();
    notice_ = noticeText_ = noticeIcon_ = noticeButton_ = nullptr;
}

void WinPrompter::makeNoticeWindow()
{
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &WinPrompter::noticeProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
        wc.lpszClassName = kNoticeClass;
        return RegisterClassExW(&wc);
    }();
    if (!atom)
        return;
    if (!font_) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Owned by the main dialog while that is shown: an owned window stays
    // above its owner.
    HWND owner = owner_ && IsWindow(owner_) && IsWindowVisible(owner_) ? owner_ : nullptr;
    notice_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kNoticeClass, captionOf(board_.caption()).c_str(),
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner,
                              nullptr, instance, nullptr);
    if (!notice_) {
        board_.closed();
        return;
    }
    SetWindowLongPtrW(notice_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (LPCWSTR icon = systemIcon(board_.style())) {
        noticeIcon_ = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), notice_, nullptr,
                                      instance, nullptr);
        SendMessageW(noticeIcon_, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon)), 0);
    }
    noticeText_ = CreateWindowExW(0, L"STATIC", widen(board_.text()).c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX,
                                  0, 0, 10, 10, notice_, nullptr, instance, nullptr);
    noticeButton_ = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0,
                                    scaled(kButtonWidth), scaled(kButtonHeight), notice_, reinterpret_cast<HMENU>(IDOK), instance,
                                    nullptr);
    for (HWND child : {noticeText_, noticeButton_})
        if (child && font_)
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    layoutNotice();
    addModeless(notice_);
    // Shown without taking the focus from what the user is doing.
    ShowWindow(notice_, SW_SHOWNOACTIVATE);
}

void WinPrompter::layoutNotice()
{
    if (!notice_ || !noticeText_)
        return;
    const std::wstring text = widen(board_.text());
    const int margin = scaled(kMargin);
    const int iconSize = GetSystemMetrics(SM_CXICON);
    const int buttonWidth = scaled(kButtonWidth);
    const int buttonHeight = scaled(kButtonHeight);
    RECT textRect{0, 0, scaled(kMaxTextWidth), 0};
    HDC dc = GetDC(noticeText_);
    HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(noticeText_, dc);
    const int textWidth = std::max<int>(textRect.right, scaled(160));
    const int textHeight = std::max<int>(textRect.bottom, noticeIcon_ ? iconSize : 0);
    const int textLeft = margin + (noticeIcon_ ? iconSize + margin : 0);
    const int clientWidth = textLeft + textWidth + margin;
    const int clientHeight = margin + textHeight + margin + buttonHeight + margin;
    if (noticeIcon_)
        MoveWindow(noticeIcon_, margin, margin, iconSize, iconSize, TRUE);
    MoveWindow(noticeText_, textLeft, margin, textWidth, textHeight, TRUE);
    MoveWindow(noticeButton_, (clientWidth - buttonWidth) / 2, margin + textHeight + margin, buttonWidth, buttonHeight,
               TRUE);
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(notice_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(notice_, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(notice_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

DWORD fileDialogFlags(const Prompter::FileDialogRequest &request)
{
    return OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
           (request.open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
}

std::string WinPrompter::fileDialog(const FileDialogRequest &request)
{
    // "desc|pattern|desc|pattern||" with NULs for the bars.
    std::wstring filter = widen(request.filter);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring initial = widen(request.initialName);
    std::copy_n(initial.begin(), std::min(initial.size(), file.size() - 1), file.begin());
    const std::wstring title = widen(request.title);
    const std::wstring extension = widen(request.defaultExtension);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags = fileDialogFlags(request);
    const BOOL chosen = request.open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!chosen)
        return {};
    return narrow(file.data());
}

} // namespace vigilon::win
