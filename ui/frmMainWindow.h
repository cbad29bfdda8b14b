// The program's window: pick a drive or disk image, scan it, list, sort, filter, preview and export the
// messages found.
#pragma once

#include "engine/Email.h"
#include "engine/ScanHardDisk.h"
#include "ui/ExportFolder.h"
#include "ui/ListView.h"
#include "ui/WindowsMessagePump.h"
#include "volume/GetDrives.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TApplication;

class TfrmMain {
public:
    // The client area at 96 DPI when first shown; also the smallest the window can be made.
    static constexpr int kClientWidth = 792;
    static constexpr int kClientHeight = 546;

    // Makes the scanner for one scan; tests put an in-memory volume behind it.
    using TScannerFactory =
        std::function<std::unique_ptr<TScanHardDisk>(const std::string& root, IMessagePump&, IProgressFactory&)>;
    // Asks for the export folder: (owner, title, initial folder, allow new folder) -> path, empty on cancel.
    using TFolderPicker = std::function<std::string(HWND, const std::string&, const std::string&, bool)>;

    // The sort state lives for the whole program, not per window: the column clicked last and the
    // direction of the next sort.
    static inline int LastSortColumn = 0;
    static inline bool SortAscending = false;

    // Creates the window (hidden) with its controls and runs FormCreate.
    explicit TfrmMain(TApplication& application);
    ~TfrmMain();
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    void Show();
    HWND Handle() const { return Handle_; }
    // Gives the window its font, pictures and layout for `dpi`, as a move to a monitor of that DPI does.
    void ApplyDpi(UINT dpi);
    UINT CurrentDpi() const { return Dpi; }
    // Posts WM_QUIT when the window is destroyed (the program's main window does; tests' windows do not).
    void SetQuitOnDestroy(bool quit) { QuitOnDestroy = quit; }

    // What File > Open Disk Image does with the chosen file: the path joins the drive box and is selected.
    void AddDiskImage(const std::string& path);

    void SetScannerFactory(TScannerFactory factory) { ScannerFactory = std::move(factory); }
    void SetFolderPicker(TFolderPicker picker) { FolderPicker = std::move(picker); }
    void SetHelpFile(const std::string& path) { HelpFile = path; }

    // Stops the running scan at its next check (Cancel in the progress window does the same); the messages found
    // up to there are listed. Nothing happens when no scan runs.
    void CancelScan();
    bool IsScanning() const { return ActiveScan != nullptr; }
    // How the last scan ended: cancelled or not, and how far it got.
    struct TScanEnd {
        bool Cancelled = false;
        uint64_t SectorReached = 0;
        uint64_t SectorCount = 0;
    };
    const TScanEnd& LastScanEnd() const { return LastScanEnd_; }

    const TEmailArray& FoundEmails() const { return Emails; }
    const TDriveArray& DriveRoots() const { return Drives; }
    bool IsFilterOn() const { return FilterOn; }

    HWND cbDrives() const { return cbDrives_; }
    HWND txtFilter() const { return txtFilter_; }
    HWND btnApplyFilter() const { return btnApplyFilter_; }
    HWND btnClearFilter() const { return btnClearFilter_; }
    HWND lvFoundEmails() const { return lvFoundEmails_.Handle(); }
    HWND txtmsgbody() const { return txtmsgbody_; }
    HWND ToolButton(int id) const;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id);
    void OnNotify(const NMHDR& header);
    LRESULT OnControlColour(HDC dc);
    void OnDestroy();

    void CreateControls();
    void CreateToolButtons();
    HWND CreateToolButton(int id, int left, const char* caption, int picture);
    void CreateDriveBox();
    void CreateFilterControls();
    void CreateFoundEmailsList();
    void CreatePreview();
    void CreateImageLists();
    static HIMAGELIST MakeImageList(const int* iconIds, int count, int size);
    void LayoutControls();
    void SizeColumns();
    void OnGetMinMaxInfo(MINMAXINFO& info) const;
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    HMENU CreateMainMenu() const;

    void FormCreate();
    void sbScanClick();
    void ScanDrive(const std::string& root);
    void AddEmailToList(const TEmail& email, int index);
    void lvFoundEmailsClick();
    void lvFoundEmailsColumnClick(int column);
    void sbSelectAllClick();
    void sbDeselectAllClick();
    void sbSaveEmailClick();
    void btnApplyFilterClick();
    void btnClearFilterClick();
    void mnuHelpClick();
    void mnuOpenImageClick();
    void Exit1Click();

    void AddDriveItem(const std::string& caption, int picture);
    void RefillList();
    void SetFilterState(bool on);
    std::string RescanRoot() const;
    int MessageIndexOfRow(int row) const;
    void ReportUnreadableSectors(const std::string& root, uint64_t count) const;
    void ShowBox(const std::string& text, const char* caption, UINT icon) const;
    std::vector<TExportItem> TickedRows() const;
    void ReportExport(const std::string& folder, const TExportOutcome& outcome) const;

    TApplication& Application;
    TWindowsMessagePump Pump;
    TScannerFactory ScannerFactory;
    TFolderPicker FolderPicker;
    std::string HelpFile;
    bool QuitOnDestroy = false;

    TEmailArray Emails;
    TDriveArray Drives;
    bool FilterOn = false;
    std::string LastScannedRoot;
    std::string LastExportFolder;                   // the folder dialog opens there (for this run of the program only)
    class TWaitWindowFactory* ActiveScan = nullptr; // while a scan runs
    bool CloseAfterScan = false;
    TScanEnd LastScanEnd_;

    HWND Handle_ = nullptr;
    HFONT Font = nullptr;
    UINT Dpi = 96;
    HIMAGELIST ilIcons = nullptr;
    HIMAGELIST ilToolPictures = nullptr;
    std::vector<HWND> ToolButtons;
    HWND cbDrives_ = nullptr;
    HWND txtFilter_ = nullptr;
    HWND btnApplyFilter_ = nullptr;
    HWND btnClearFilter_ = nullptr;
    TListView lvFoundEmails_;
    HWND txtmsgbody_ = nullptr;
};
