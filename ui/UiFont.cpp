#include "ui/UiFont.h"

namespace {
BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}
} // namespace

HFONT CreateUiFont() {
    return CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

void ApplyFontToChildren(HWND parent, HFONT font) {
    EnumChildWindows(parent, SetChildFont, reinterpret_cast<LPARAM>(font));
}
