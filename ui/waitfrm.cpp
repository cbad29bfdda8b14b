#include "ui/waitfrm.h"

#include "ui/ResourceIds.h"
#include "ui/UiFont.h"

#include <commctrl.h>

namespace {

const char kWaitClass[] = "TfrmWait";

// The window offers no way to stop a scan: Alt+F4 and the like do not close it; the scan does.
LRESULT CALLBACK WaitWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE)
        return 0;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterWaitClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WaitWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)); // IDC_WAIT: a scan cannot be interrupted
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWaitClass;
    RegisterClassA(&wc);
}

unsigned ShiftToFit31Bits(uint64_t maximum) {
    unsigned shift = 0;
    while ((maximum >> shift) > 0x7FFFFFFFu)
        ++shift;
    return shift;
}

RECT CentredRect(HWND over, int width, int height) {
    RECT area;
    if (!over || !GetWindowRect(over, &area))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int left = area.left + (area.right - area.left - width) / 2;
    int top = area.top + (area.bottom - area.top - height) / 2;
    return {left, top, left + width, top + height};
}

} // namespace

TfrmWait::TfrmWait(uint64_t maximum, HWND centreOver) : Maximum_(maximum), Shift_(ShiftToFit31Bits(maximum)) {
    // The maximum is kept before the window is built: FormCreate, run while building, reads it.
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterWaitClass(instance);
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, WS_POPUP, FALSE, WS_EX_TOPMOST);
    RECT place = CentredRect(centreOver, frame.right - frame.left, frame.bottom - frame.top);
    Handle_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWaitClass, "Please Wait Scanning Drive", WS_POPUP,
                              place.left, place.top, place.right - place.left, place.bottom - place.top, centreOver,
                              nullptr, instance, nullptr);
    Font_ = CreateUiFont();
    CreateControls();
    FormCreate();
    ShowWindow(Handle_, SW_SHOWNOACTIVATE);
    UpdateWindow(Handle_);
}

TfrmWait::~TfrmWait() {
    if (Handle_)
        DestroyWindow(Handle_);
    if (Font_)
        DeleteObject(Font_);
}

void TfrmWait::CreateControls() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    Label1_ = CreateWindowExA(0, "STATIC", "Please Wait ......", WS_CHILD | WS_VISIBLE | SS_LEFT, 16, 24, 78, 13,
                              Handle_, reinterpret_cast<HMENU>(kIdWaitLabel), instance, nullptr);
    pbwait_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 16, 48, 465, 17, Handle_,
                              reinterpret_cast<HMENU>(kIdWaitBar), instance, nullptr);
    SendMessageA(Label1_, WM_SETFONT, reinterpret_cast<WPARAM>(Font_), FALSE);
}

void TfrmWait::FormCreate() {
    // Maximum, then minimum 0, then position 0. A maximum beyond 31 bits is scaled down by Shift_, and so is
    // every position, so the bar still runs from empty to full.
    int maximum = static_cast<int>(Maximum_ >> Shift_);
    SendMessageA(pbwait_, PBM_SETRANGE32, 0, maximum); // the control takes minimum and maximum together
    SendMessageA(pbwait_, PBM_SETPOS, 0, 0);
}

void TfrmWait::SetProgress(uint64_t position) {
    SendMessageA(pbwait_, PBM_SETPOS, static_cast<WPARAM>(position >> Shift_), 0);
}
