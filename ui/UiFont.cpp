#include "ui/UiFont.h"

namespace {
BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

// Functions of Windows 10 (1607 and later), looked up at run time so that the program still starts on older
// systems.
template <typename TFunction> TFunction User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}
} // namespace

int ScaleForDpi(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kLayoutDpi));
}

UINT SystemDpi() {
    using TGetDpiForSystem = UINT(WINAPI*)();
    static const auto getDpiForSystem = User32Function<TGetDpiForSystem>("GetDpiForSystem");
    if (getDpiForSystem)
        return getDpiForSystem();
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

UINT WindowDpi(HWND window) {
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
    UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi > 0 ? dpi : SystemDpi();
}

HFONT CreateUiFont(UINT dpi) {
    return CreateFontA(-ScaleForDpi(11, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       "MS Sans Serif");
}

void ApplyFontToChildren(HWND parent, HFONT font) {
    EnumChildWindows(parent, SetChildFont, reinterpret_cast<LPARAM>(font));
}
