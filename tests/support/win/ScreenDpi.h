// SPDX-License-Identifier: MIT
// The screen's resolution a window test runs at (window-test.sh sets it in
// the Wine prefix from VIGILON_WINE_DPI), and the sizes of what windows
// show, read back from their handles.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <string>

namespace vigilon::test {

// The resolution the prefix was given; 96 when none was.
inline int preparedDpi()
{
    const char *dpi = std::getenv("VIGILON_WINE_DPI");
    return dpi && *dpi ? std::atoi(dpi) : 96;
}

// A font's height in pixels, cell or character height alike.
inline int fontPixels(HFONT font)
{
    LOGFONTW lf{};
    if (!font || GetObjectW(font, sizeof lf, &lf) == 0)
        return 0;
    return lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
}

// An icon's width and height.
inline SIZE iconSize(HICON icon)
{
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return SIZE{};
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    SIZE size{bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

// What a text takes in a window's font.
inline SIZE textExtent(HWND window, const std::wstring &text)
{
    HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size;
}

} // namespace vigilon::test
