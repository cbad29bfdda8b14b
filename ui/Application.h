// The application object: the hidden top-level window that carries the taskbar button and owns the main
// window, the shortcut keys of the main window's menus, the message loop and the default error report.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

class TApplication {
public:
    // Registers and creates the hidden window, loads the common controls and the rich edit library.
    explicit TApplication(const std::string& title);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    HWND Handle() const { return Handle_; }
    const std::string& Title() const { return Title_; }

    // The window whose menu commands the accelerator table produces (the main window).
    void SetMainWindow(HWND main) { MainWindow_ = main; }
    HWND MainWindow() const { return MainWindow_; }

    // Runs the message loop until WM_QUIT; returns its exit code.
    int Run();
    // Handles every message waiting now; false once WM_QUIT has been seen (it is posted again for Run).
    bool ProcessMessages();
    // The default error report: a message box with the error's text.
    void ShowException(const std::exception& error) const;

private:
    bool Dispatch(MSG& msg);

    std::string Title_;
    HWND Handle_ = nullptr;
    HWND MainWindow_ = nullptr;
    HACCEL Accelerators_ = nullptr;
};
