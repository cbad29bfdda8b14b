// The font of every window of the program: "MS Sans Serif" at 8 points (11 pixels), default character set.
#pragma once

#include <windows.h>

// The caller owns the font (DeleteObject).
HFONT CreateUiFont();
// Gives `font` to every child window of `parent`.
void ApplyFontToChildren(HWND parent, HFONT font);
