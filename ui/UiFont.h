// The font of every window of the program ("MS Sans Serif" at 8 points: 11 pixels at 96 dots per inch, default
// character set) and the scaling of the layout's numbers, which are given at 96 dots per inch.
#pragma once

#include <windows.h>

constexpr UINT kLayoutDpi = 96;

// `pixels` at 96 dots per inch, at `dpi`.
int ScaleForDpi(int pixels, UINT dpi);
// The system's DPI (GetDpiForSystem where the system has it, else the screen's LOGPIXELSY).
UINT SystemDpi();
// The DPI of the monitor `window` is on for a per-monitor aware program (GetDpiForWindow where the system has it),
// else the system's.
UINT WindowDpi(HWND window);

// The caller owns the font (DeleteObject).
HFONT CreateUiFont(UINT dpi = kLayoutDpi);
// Gives `font` to every child window of `parent`.
void ApplyFontToChildren(HWND parent, HFONT font);
