// SPDX-License-Identifier: MIT
#include "win/WinDpi.h"

namespace vigilon::win {

namespace {

// The functions that came with per-monitor resolutions, where the system
// has them (Windows 10 1607 and later, Wine 8).
struct DpiFunctions {
    UINT(WINAPI *forWindow)(HWND) = nullptr;
    UINT(WINAPI *forSystem)() = nullptr;
    int(WINAPI *metricsForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI *adjustForDpi)(RECT *, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI *dialogBehaviour)(HWND, int, int) = nullptr;
};

template <typename F>
void lookUp(HMODULE module, const char *name, F &function)
{
    function = reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

const DpiFunctions &functions()
{
    static const DpiFunctions found = [] {
        DpiFunctions f;
        if (HMODULE user = GetModuleHandleW(L"user32.dll")) {
            lookUp(user, "GetDpiForWindow", f.forWindow);
            lookUp(user, "GetDpiForSystem", f.forSystem);
            lookUp(user, "GetSystemMetricsForDpi", f.metricsForDpi);
            lookUp(user, "AdjustWindowRectExForDpi", f.adjustForDpi);
            lookUp(user, "SetDialogDpiChangeBehavior", f.dialogBehaviour);
        }
        return f;
    }();
    return found;
}

int screenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kBaseDpi;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

} // namespace

int windowDpi(HWND window)
{
    if (functions().forWindow && window) {
        if (const UINT dpi = functions().forWindow(window); dpi > 0)
            return static_cast<int>(dpi);
    }
    return systemDpi();
}

int systemDpi()
{
    if (functions().forSystem) {
        if (const UINT dpi = functions().forSystem(); dpi > 0)
            return static_cast<int>(dpi);
    }
    return screenDpi();
}

int systemMetric(int index, int dpi)
{
    if (functions().metricsForDpi && dpi > 0)
        return functions().metricsForDpi(index, static_cast<UINT>(dpi));
    return rescaled(GetSystemMetrics(index), systemDpi(), dpi);
}

SIZE frameSize(DWORD style, DWORD exStyle, int dpi)
{
    RECT frame{0, 0, 0, 0};
    if (!functions().adjustForDpi || !functions().adjustForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void keepDialogScaling(HWND dialog)
{
    // DDC_DISABLE_ALL for both the mask and the values.
    constexpr int DisableAll = 1;
    if (functions().dialogBehaviour)
        functions().dialogBehaviour(dialog, DisableAll, DisableAll);
}

HFONT rescaledFont(HFONT font, int fromDpi, int toDpi)
{
    LOGFONTW lf{};
    if (!font || GetObjectW(font, sizeof lf, &lf) == 0)
        return nullptr;
    lf.lfHeight = rescaled(lf.lfHeight, fromDpi, toDpi);
    lf.lfWidth = rescaled(lf.lfWidth, fromDpi, toDpi);
    return CreateFontIndirectW(&lf);
}

HBITMAP stretchedBitmap(HBITMAP bitmap, int width, int height)
{
    BITMAP info{};
    if (!bitmap || GetObjectW(bitmap, sizeof info, &info) == 0 || width <= 0 || height <= 0)
        return nullptr;
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP result = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ oldFrom = SelectObject(from, bitmap);
    const HGDIOBJ oldTo = SelectObject(to, result);
    SetStretchBltMode(to, COLORONCOLOR);
    StretchBlt(to, 0, 0, width, height, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    ReleaseDC(nullptr, screen);
    return result;
}

HBITMAP loadBitmapAtDpi(HINSTANCE instance, int id, int dpi)
{
    HBITMAP bitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(id));
    if (!bitmap || dpi == kBaseDpi)
        return bitmap;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    HBITMAP stretched = stretchedBitmap(bitmap, atDpi(info.bmWidth, dpi), atDpi(info.bmHeight, dpi));
    DeleteObject(bitmap);
    return stretched;
}

} // namespace vigilon::win
