#include "ui/Application.h"

#include "ui/ResourceIds.h"

#include <commctrl.h>

namespace {

const char kApplicationClass[] = "TApplication";

// The hidden window stands for the program on the taskbar: focus given to it goes on to the main window,
// and closing it closes the main window (which, during a scan, cancels the scan first).
LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE)
        SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* application = reinterpret_cast<TApplication*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    HWND main = application ? application->MainWindow() : nullptr;
    bool mainUsable = main && IsWindow(main) && IsWindowEnabled(main);
    if (msg == WM_SETFOCUS && mainUsable) {
        SetFocus(main);
        return 0;
    }
    if (msg == WM_CLOSE) {
        if (main && IsWindow(main))
            PostMessageA(main, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterApplicationClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ApplicationWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kAppIconId));
    wc.lpszClassName = kApplicationClass;
    RegisterClassA(&wc); // a second application object in one process (tests) finds it registered
}

} // namespace

TApplication::TApplication(const std::string& title) : Title_(title) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    LoadLibraryA("riched20.dll"); // registers RICHEDIT20A; stays loaded for the process
    RegisterApplicationClass(instance);
    // As the form library does it: a zero-sized, visible top-level window that carries the title on the
    // taskbar; the main window is owned by it and so has no taskbar button of its own.
    Handle_ = CreateWindowExA(0, kApplicationClass, Title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                              nullptr, nullptr, instance, this);
    ACCEL keys[] = {{FVIRTKEY, VK_F1, kMenuHelp},
                    {FVIRTKEY, VK_F5, kIdScan},
                    {FVIRTKEY | FCONTROL, 'O', kMenuOpenImage},
                    {FVIRTKEY | FCONTROL, 'S', kIdSaveEmail},
                    {FVIRTKEY | FCONTROL, 'A', kIdSelectAll}};
    Accelerators_ = CreateAcceleratorTableA(keys, sizeof(keys) / sizeof(keys[0]));
}

TApplication::~TApplication() {
    if (Accelerators_)
        DestroyAcceleratorTable(Accelerators_);
    if (Handle_)
        DestroyWindow(Handle_);
}

bool TApplication::Dispatch(MSG& msg) {
    // No shortcut keys while a scan has the main window disabled: its commands wait for the scan's end.
    bool mainEnabled = MainWindow_ && IsWindowEnabled(MainWindow_);
    if (mainEnabled && Accelerators_ && TranslateAcceleratorA(MainWindow_, Accelerators_, &msg))
        return true;
    if (MainWindow_ && IsDialogMessageA(MainWindow_, &msg)) // Tab moves between the controls
        return true;
    // Another window of the program with controls (the progress window): Esc presses its Cancel, Tab moves.
    HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (top && top != MainWindow_ && (GetWindowLongA(top, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) &&
        IsDialogMessageA(top, &msg))
        return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

int TApplication::Run() {
    // Zero-sized but shown, so that the taskbar button (with the title) is there.
    ShowWindow(Handle_, SW_SHOWNA);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

bool TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // leave it for the loop that ends the program
            return false;
        }
        Dispatch(msg);
    }
    return true;
}

void TApplication::ShowException(const std::exception& error) const {
    HWND owner = MainWindow_ && IsWindowEnabled(MainWindow_) ? MainWindow_ : Handle_;
    MessageBoxA(owner, error.what(), Title_.c_str(), MB_OK | MB_ICONERROR);
}
