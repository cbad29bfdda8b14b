// The program's window: pick a drive or disk image, scan it, list, sort, filter, preview and export the
// messages found.
#pragma once

#include "engine/ScanHardDisk.h"
#include "ui/ExportFolder.h"
#include "ui/FoundMessages.h"
#include "ui/ListOrder.h"
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
    // The client area at 96 DPI when first shown; also the smallest the window can be made (TMainLayout).
    static constexpr int kClientWidth = 792;
    static constexpr int kLayoutHeight = 546; // the controls' area; the status line stands under it
    static constexpr int kStatusHeight = 20;
    static constexpr int kClientHeight = kLayoutHeight + kStatusHeight;

    // Makes the scanner for one scan; tests put an in-memory volume behind it. The default one scans by the
    // rules Deep Scan chose when the scan started.
    using TScannerFactory =
        std::function<std::unique_ptr<TScanHardDisk>(const std::string& root, IMessagePump&, IProgressFactory&)>;
    // Asks for the export folder: (owner, title, initial folder, allow new folder) -> path, empty on cancel.
    using TFolderPicker = std::function<std::string(HWND, const std::string&, const std::string&, bool)>;

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
    // An image that cannot be opened is not added; a box names it and the cause. False then.
    bool AddDiskImage(const std::string& path);

    void SetScannerFactory(TScannerFactory factory) { ScannerFactory = std::move(factory); }
    void SetFolderPicker(TFolderPicker picker) { FolderPicker = std::move(picker); }
    void SetHelpFile(const std::string& path) { HelpFile = path; }
    // Where the next scans put their spool file (the user's temporary folder when empty), and how large it may
    // grow (tests make it tiny).
    void SetSpool(const std::string& folder, uint64_t sizeLimit = TMessageSpool::kNoLimit) {
        SpoolFolder = folder;
        SpoolLimit = sizeLimit;
    }

    // Stops the running scan at its next check (Cancel in the progress window does the same); the messages found
    // up to there are listed. Nothing happens when no scan runs.
    void CancelScan();
    // How the last scan ended: cancelled or not, and how far it got.
    struct TScanEnd {
        bool Cancelled = false;
        uint64_t SectorReached = 0;
        uint64_t SectorCount = 0;
    };
    TScanEnd LastScanEnd() const { return {LastScan.Cancelled, LastScan.Sectors, LastScan.SectorCount}; }

    // The messages of the last scan, their texts in the spool file.
    const TFoundMessages& FoundEmails() const { return Messages; }
    // The message each row of the list shows, top to bottom.
    const std::vector<uint32_t>& Rows() const { return Rows_; }
    const TDriveArray& DriveRoots() const { return Drives; }
    bool IsFilterOn() const { return FilterOn; }
    // Deep Scan in the Scan menu: the rules the next scans find mail by.
    bool IsDeepScan() const { return DeepScan; }
    // The rules the last scan found its messages by.
    TScanMode LastScanMode() const { return LastScan.Mode; }
    // The column the list is sorted by (-1 while in the order found) and its direction.
    int SortColumn() const { return SortColumn_; }
    bool SortAscending() const { return SortAscending_; }

    HWND cbDrives() const { return cbDrives_; }
    HWND txtFilter() const { return txtFilter_; }
    HWND btnApplyFilter() const { return btnApplyFilter_; }
    HWND btnClearFilter() const { return btnClearFilter_; }
    HWND lvFoundEmails() const { return lvFoundEmails_.Handle(); }
    HWND txtmsgbody() const { return txtmsgbody_; }
    HWND sbStatus() const { return sbStatus_; }
    HWND ToolButton(int id) const;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FoundEmailsProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PreviewProc(HWND preview, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id);
    void OnNotify(NMHDR& header);
    LRESULT OnControlColour(HDC dc);
    void OnDestroy();

    void CreateControls();
    void CreateToolButtons();
    HWND CreateToolButton(int id, int left, const char* caption, int picture);
    void CreateDriveBox();
    void CreateFilterControls();
    void CreateFoundEmailsList();
    void CreatePreview();
    void CreateStatusLine();
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
    void lvFoundEmailsGetDisplayInfo(NMLVDISPINFOA& info) const;
    void lvFoundEmailsSelectionChange(int row, bool selected);
    void lvFoundEmailsColumnClick(int column);
    void sbSelectAllClick();
    void sbDeselectAllClick();
    void sbSaveEmailClick();
    void btnApplyFilterClick();
    void btnClearFilterClick();
    void mnuHelpClick();
    void mnuOpenImageClick();
    void mnuDeepScanClick();
    void mnuAboutClick();
    void Exit1Click();
    void OnEnterKey();

    void AddDriveItem(const std::string& caption, int picture);
    void RemoveDiskImage(const std::string& path);
    // Shows `rows` in the list, in the order found, and clears the preview and the sort arrows.
    void ShowRows(std::vector<uint32_t> rows);
    std::vector<uint32_t> RowsThroughFilter() const;
    void SetFilterState(bool on);
    std::string Keyword() const;
    int MessageIndexOfRow(int row) const;
    void SetTicks(int row, bool ticked);
    void ToggleTick(int row);
    void ShowPreview(int message);
    void ShowSortArrows();
    void ShowStatus();
    void ReportUnreadableSectors(const std::string& root, uint64_t count) const;
    void ShowBox(const std::string& text, const char* caption, UINT icon) const;
    std::vector<TExportItem> TickedRows() const;
    void ReportExport(const std::string& folder, const TExportOutcome& outcome) const;

    // What the status line says about the last scan.
    struct TScanSummary {
        std::string Source;
        uint64_t Sectors = 0;
        uint64_t Unreadable = 0;
        double Seconds = 0;
        bool Stopped = false;     // ended early: the spool could not take more
        bool Cancelled = false;   // the user stopped it; Sectors is then how far it got
        uint64_t SectorCount = 0; // of the volume
        TScanMode Mode = TScanMode::Standard;
    };

    TApplication& Application;
    TWindowsMessagePump Pump;
    TScannerFactory ScannerFactory;
    TFolderPicker FolderPicker;
    std::string HelpFile;
    bool QuitOnDestroy = false;

    std::string SpoolFolder;
    uint64_t SpoolLimit = TMessageSpool::kNoLimit;
    TFoundMessages Messages;
    std::unique_ptr<TListOrder> Order;
    std::vector<uint32_t> Rows_; // row -> message index
    std::vector<uint8_t> Ticks;  // message index -> ticked
    int PreviewMessage = -1;     // the message whose body the preview shows
    int SelectedRow = -1;        // followed from the list's notifications
    int SortColumn_ = -1;
    bool SortAscending_ = true;
    TScanSummary LastScan;
    bool Scanned = false;
    TDriveArray Drives;
    size_t ListedDrives = 0; // Drives before this are the drive box's own; after them come opened images
    bool FilterOn = false;
    std::string LastExportFolder;                   // the folder dialog opens there (for this run of the program only)
    class TWaitWindowFactory* ActiveScan = nullptr; // while a scan runs
    bool CloseAfterScan = false;
    bool DeepScan = false;
    TScanMode StartingScanMode = TScanMode::Standard; // the default scanner factory's

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
    WNDPROC lvFoundEmailsBaseProc = nullptr;
    HWND txtmsgbody_ = nullptr;
    WNDPROC txtmsgbodyBaseProc = nullptr;
    HWND sbStatus_ = nullptr;
};
