// SPDX-License-Identifier: MIT
// A dialog's controls against its template: rectangles as (x, y, width,
// height), the template's in dialog units converted with the dialog's own
// base units.
#pragma once

#include <windows.h>

#include <ostream>

// A child window's rectangle in its parent's client area.
inline RECT childRect(HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

// The control's place in the dialog's client area.
inline RECT placed(HWND dialog, int id)
{
    const RECT at = childRect(GetDlgItem(dialog, id));
    return RECT{at.left, at.top, at.right - at.left, at.bottom - at.top};
}

// A template rectangle in pixels.
inline RECT units(HWND dialog, RECT r)
{
    MapDialogRect(dialog, &r);
    return r;
}

inline bool operator==(const RECT &a, const RECT &b)
{
    return EqualRect(&a, &b) != 0;
}

inline std::ostream &operator<<(std::ostream &out, const RECT &r)
{
    return out << '(' << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ')';
}
