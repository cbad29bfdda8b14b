#include "ui/waitfrm.h"

#include "ui/ResourceIds.h"
#include "ui/UiFont.h"

#include <commctrl.h>

#include <cstdio>

namespace {

const char kWaitClass[] = "TfrmWait";
constexpr UINT_PTR kRefreshTimer = 1;
// The estimate of the time left waits until the walk has run this long: earlier, it swings wildly.
constexpr uint32_t kEstimateAfterMilliseconds = 2000;

void RegisterWaitClass(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32650)); // IDC_APPSTARTING: busy, but Cancel can be clicked
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

// "1,234,567": digits in groups of three, as the counts of a large disk are easier read so.
std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

// Sizes as Explorer shows them: units of 1024, one decimal.
std::string ByteSize(long double bytes) {
    if (bytes < 1024)
        return std::to_string(static_cast<unsigned>(bytes)) + " bytes";
    const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    bytes /= 1024;
    while (bytes >= 1024 && unit < 5) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f %s", static_cast<double>(bytes), units[unit]);
    return text;
}

std::string Duration(long double milliseconds) {
    const uint64_t seconds = static_cast<uint64_t>(milliseconds / 1000);
    char text[48];
    std::snprintf(text, sizeof(text), "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    return text;
}

HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int id) {
    return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

void Place(HWND control, UINT dpi, int left, int top, int width, int height) {
    MoveWindow(control, ScaleForDpi(left, dpi), ScaleForDpi(top, dpi), ScaleForDpi(width, dpi),
               ScaleForDpi(height, dpi), FALSE);
}

} // namespace

TfrmWait::TTexts TfrmWait::Describe(const TFacts& facts) {
    const long double done = facts.Maximum == 0 ? 0 : static_cast<long double>(facts.Position) / facts.Maximum;
    const std::string found = facts.Found == 0   ? "no messages found yet"
                              : facts.Found == 1 ? "1 message found"
                                                 : Grouped(facts.Found) + " messages found";
    TTexts texts;
    texts.Amount = std::to_string(static_cast<int>(done * 100)) +
                   " %: " + ByteSize(static_cast<long double>(facts.Position) * facts.SectorSize) + " of " +
                   ByteSize(static_cast<long double>(facts.Maximum) * facts.SectorSize) + " scanned, " + found;
    texts.Time = "Elapsed " + Duration(facts.ElapsedMilliseconds) + ", ";
    if (facts.ElapsedMilliseconds >= kEstimateAfterMilliseconds && done > 0 && done < 1) {
        const long double left = facts.ElapsedMilliseconds * (1 - done) / done;
        texts.Time += "about " + Duration(left) + " left";
    } else {
        texts.Time += "estimating the time left";
    }
    return texts;
}

TfrmWait::TfrmWait(uint64_t maximum, HWND centreOver, TWaitDetails details)
    : Maximum_(maximum), Shift_(ShiftToFit31Bits(maximum)), Details_(std::move(details)),
      CancelFlag_(Details_.CancelFlag ? Details_.CancelFlag : &OwnCancelFlag_), StartTicks_(GetTickCount()) {
    // The maximum is kept before the window is built: FormCreate, run while building, reads it.
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterWaitClass(instance, WindowProc);
    const UINT dpi = Details_.Dpi ? Details_.Dpi : centreOver ? WindowDpi(centreOver) : SystemDpi();
    RECT frame = {0, 0, ScaleForDpi(kClientWidth, dpi), ScaleForDpi(kClientHeight, dpi)};
    AdjustWindowRectEx(&frame, WS_POPUP, FALSE, WS_EX_TOPMOST);
    RECT place = CentredRect(centreOver, frame.right - frame.left, frame.bottom - frame.top);
    // Dialog keyboard handling (Esc, Tab, Enter) comes from the application's loop, for WS_EX_CONTROLPARENT.
    CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, kWaitClass, "Please Wait Scanning Drive",
                    WS_POPUP, place.left, place.top, place.right - place.left, place.bottom - place.top, centreOver,
                    nullptr, instance, this);
    Font_ = CreateUiFont(dpi);
    CreateControls(dpi);
    FormCreate();
    Refresh();
    SetTimer(Handle_, kRefreshTimer, kRefreshMilliseconds, nullptr);
    // Shown active, with the focus on Cancel, so that Esc and Enter reach it.
    ShowWindow(Handle_, SW_SHOW);
    SetFocus(btnCancel_);
    UpdateWindow(Handle_);
}

TfrmWait::~TfrmWait() {
    if (Handle_) {
        KillTimer(Handle_, kRefreshTimer);
        SetWindowLongPtrA(Handle_, GWLP_USERDATA, 0);
        DestroyWindow(Handle_);
    }
    if (Font_)
        DeleteObject(Font_);
}

LRESULT CALLBACK TfrmWait::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TfrmWait*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->Handle_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TfrmWait*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self) {
        switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL)
                self->RequestCancel();
            return 0;
        case WM_CLOSE: // Alt+F4: the scan stops, and the scan closes the window
            self->RequestCancel();
            return 0;
        case WM_TIMER:
            self->Refresh();
            return 0;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void TfrmWait::CreateControls(UINT dpi) {
    const std::string title = Details_.Source.empty() ? "Please Wait ......" : "Scanning " + Details_.Source;
    Label1_ = CreateChild(Handle_, "STATIC", title.c_str(), SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, kIdWaitLabel);
    pbwait_ = CreateChild(Handle_, PROGRESS_CLASSA, "", 0, kIdWaitBar);
    lblAmount_ = CreateChild(Handle_, "STATIC", "", SS_LEFT | SS_NOPREFIX, kIdWaitAmount);
    lblTime_ = CreateChild(Handle_, "STATIC", "", SS_LEFT | SS_NOPREFIX, kIdWaitTime);
    btnCancel_ = CreateChild(Handle_, "BUTTON", "Cancel", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL);
    Place(Label1_, dpi, 16, 24, 465, 13);
    Place(pbwait_, dpi, 16, 48, 465, 17);
    Place(lblAmount_, dpi, 16, 76, 465, 13);
    Place(lblTime_, dpi, 16, 96, 370, 13);
    Place(btnCancel_, dpi, 406, 108, 75, 23);
    ApplyFontToChildren(Handle_, Font_);
}

void TfrmWait::FormCreate() {
    // Maximum, then minimum 0, then position 0. A maximum beyond 31 bits is scaled down by Shift_, and so is
    // every position, so the bar still runs from empty to full.
    int maximum = static_cast<int>(Maximum_ >> Shift_);
    SendMessageA(pbwait_, PBM_SETRANGE32, 0, maximum); // the control takes minimum and maximum together
    SendMessageA(pbwait_, PBM_SETPOS, 0, 0);
}

void TfrmWait::RequestCancel() {
    if (*CancelFlag_)
        return;
    *CancelFlag_ = true;
    SetWindowTextA(lblTime_, "Cancelling: the messages found so far will be listed...");
    EnableWindow(btnCancel_, FALSE);
}

void TfrmWait::Refresh() {
    SendMessageA(pbwait_, PBM_SETPOS, static_cast<WPARAM>(Position_ >> Shift_), 0);
    if (*CancelFlag_)
        return;
    TTexts texts = Describe({Position_, Maximum_, Details_.SectorSize, Found_, GetTickCount() - StartTicks_});
    SetWindowTextA(lblAmount_, texts.Amount.c_str());
    SetWindowTextA(lblTime_, texts.Time.c_str());
}
