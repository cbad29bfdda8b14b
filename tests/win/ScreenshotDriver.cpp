// Test-only driver of the real program for the screenshots: opens a disk image as File > Open Disk Image
// would, scans it, previews a row and stays up for a while. The program itself takes no command line.
//
//   ostrevan_screenshot_driver main IMAGE MARKER SECONDS   the main window after a scan, one row previewed
//   ostrevan_screenshot_driver progress IMAGE MARKER       a scan slowed down so that its progress window shows
//
// MARKER is a file the driver creates once the windows are ready to be photographed.
#include "ui/Application.h"
#include "ui/ListView.h"
#include "ui/ResourceIds.h"
#include "ui/frmMainWindow.h"
#include "volume/VolumeSource.h"

#include <windows.h>

#include <objbase.h>

#include <cstdlib>
#include <string>

namespace {

// Reads like the image it wraps, 30 ms slower per read: the sample image then takes about ten seconds.
class TSlowSource final : public IVolumeSource {
public:
    explicit TSlowSource(std::unique_ptr<IVolumeSource> inner) : Inner(std::move(inner)) {}
    const std::string& Name() const override { return Inner->Name(); }
    uint32_t SectorSize() const override { return Inner->SectorSize(); }
    uint64_t LengthBytes() const override { return Inner->LengthBytes(); }
    bool ReadSectors(uint64_t first, uint32_t count, uint8_t* buffer) override {
        Sleep(30);
        return Inner->ReadSectors(first, count, buffer);
    }

private:
    std::unique_ptr<IVolumeSource> Inner;
};

void CreateMarker(const std::string& path) {
    HANDLE marker = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
}

// Passes the scan's progress windows through, and leaves the marker once the bar has moved.
class TMarkingProgress final : public IProgressFactory {
public:
    IProgressFactory* Inner = nullptr;
    std::string Marker;

    std::unique_ptr<IProgressWindow> Create(uint64_t maximum) override {
        return std::make_unique<TWindow>(Inner->Create(maximum), Marker);
    }

private:
    struct TWindow final : IProgressWindow {
        TWindow(std::unique_ptr<IProgressWindow> inner, std::string marker)
            : Inner(std::move(inner)), Marker(std::move(marker)) {}
        void SetProgress(uint64_t position) override {
            Inner->SetProgress(position);
            if (++Updates == 20)
                CreateMarker(Marker);
        }
        void SetMessagesFound(uint64_t count) override { Inner->SetMessagesFound(count); }
        bool CancelRequested() const override { return Inner->CancelRequested(); }
        std::unique_ptr<IProgressWindow> Inner;
        std::string Marker;
        int Updates = 0;
    };
};
TMarkingProgress MarkingProgress; // outlives every scanner that holds it

void ClickRow(TfrmMain& main, int row) {
    TListView list(main.lvFoundEmails());
    if (row >= list.Count())
        return;
    list.Select(row);
    NMITEMACTIVATE click = {};
    click.hdr = {main.lvFoundEmails(), kIdFoundEmails, static_cast<UINT>(NM_CLICK)};
    click.iItem = row;
    SendMessageA(main.Handle(), WM_NOTIFY, kIdFoundEmails, reinterpret_cast<LPARAM>(&click));
}

void CALLBACK CloseWhenDue(HWND window, UINT, UINT_PTR, DWORD) {
    DestroyWindow(window);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 4)
        return 2;
    std::string mode = __argv[1];
    std::string image = __argv[2];
    std::string marker = __argv[3];
    int seconds = __argc > 4 ? std::atoi(__argv[4]) : 5;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TApplication application("Ostrevan 1.0");
    TfrmMain main(application);
    application.SetMainWindow(main.Handle());
    main.SetQuitOnDestroy(true);
    MarkingProgress.Marker = marker;
    if (mode == "progress")
        main.SetScannerFactory([](const std::string& root, IMessagePump& pump, IProgressFactory& progress) {
            MarkingProgress.Inner = &progress;
            auto slow = std::make_unique<TSlowSource>(OpenVolumeSource(root));
            return std::make_unique<TScanHardDisk>(std::move(slow), pump, MarkingProgress, 64 * 1024);
        });
    main.Show();
    main.AddDiskImage(image);
    application.ProcessMessages();
    SendMessageA(main.Handle(), WM_COMMAND, kIdScan, 0);
    if (mode == "progress")
        return 0;
    TListView list(main.lvFoundEmails());
    list.SetChecked(0, true);
    list.SetChecked(2, true);
    SendMessageA(list.Handle(), LVM_ENSUREVISIBLE, 0, FALSE);
    ClickRow(main, 1);
    CreateMarker(marker);
    SetTimer(main.Handle(), 1, seconds * 1000, CloseWhenDue);
    return application.Run();
}
