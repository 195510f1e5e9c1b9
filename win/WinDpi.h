// SPDX-License-Identifier: MIT
#pragma once

#include "base/Dpi.h"

#include <windows.h>

namespace vigilon::win {

// The resolution a window is shown at: GetDpiForWindow where the system has
// it, else the screen's (the system's) resolution.
int windowDpi(HWND window);
// The resolution of the primary screen, which the taskbar uses.
int systemDpi();
// A system metric (SM_CXICON, SM_CXSMICON, ...) at dpi: GetSystemMetricsForDpi
// where there is one, else the system's figure scaled from its resolution.
int systemMetric(int index, int dpi);
// What a window's frame adds around its client area at dpi.
SIZE frameSize(DWORD style, DWORD exStyle, int dpi);
// A dialog that scales itself when its resolution changes: the system
// leaves its size, fonts and controls alone (Windows 10 1703 and later
// would otherwise scale what is laid out by code a second time).
void keepDialogScaling(HWND dialog);

// A copy of font whose height is scaled from one resolution to another;
// the caller deletes it. Null for none.
HFONT rescaledFont(HFONT font, int fromDpi, int toDpi);
// A bitmap of width by height pixels with the picture stretched pixel for
// pixel (no blending, so that mask colours stay exact); the caller deletes
// it.
HBITMAP stretchedBitmap(HBITMAP bitmap, int width, int height);
// A bitmap resource stretched by dpi / 96 in both directions.
HBITMAP loadBitmapAtDpi(HINSTANCE instance, int id, int dpi);

} // namespace vigilon::win
