// Start-up of the desktop program: the application object, COM for the folder dialog, the main window and
// the message loop until it closes. No command line, no configuration, no saved state.
#include "ui/Application.h"
#include "ui/frmMainWindow.h"

#include <windows.h>

#include <objbase.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The new-style folder dialog needs COM, apartment-threaded, on this (the only) thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 1;
    {
        TApplication application("Ostrevan 1.0");
        try {
            TfrmMain main(application);
            main.SetQuitOnDestroy(true);
            application.SetMainWindow(main.Handle());
            main.Show();
            exitCode = application.Run();
        } catch (const std::exception& error) {
            application.ShowException(error);
        }
    }
    CoUninitialize();
    return exitCode;
}
