// The progress window shown while a drive scan walks a volume: what is scanned, a bar, how much is done and
// found, the time taken and left, and a Cancel button. No caption bar.
#pragma once

#include "engine/ProgressWindow.h"

#include <windows.h>

#include <cstdint>
#include <string>

// What the window tells besides the bar.
struct TWaitDetails {
    std::string Source;         // the drive or image scanned
    uint32_t SectorSize = 512;  // positions are sectors; the window shows bytes
    bool* CancelFlag = nullptr; // shared with whoever else may cancel the scan; the window's own when null
    UINT Dpi = 0;               // the layout's scale; 0: the DPI of the window it is centred over, or the system's
};

class TfrmWait final : public IProgressWindow {
public:
    static constexpr int kClientWidth = 504;
    static constexpr int kClientHeight = 146;
    static constexpr UINT kRefreshMilliseconds = 250; // the texts change a few times a second

    // What the walk has done, and the texts the window shows for it.
    struct TFacts {
        uint64_t Position = 0;
        uint64_t Maximum = 0;
        uint32_t SectorSize = 512;
        uint64_t Found = 0;
        uint32_t ElapsedMilliseconds = 0;
    };
    struct TTexts {
        std::string Amount; // "42 %: 1.2 GB of 2.9 GB scanned, 17 messages found"
        std::string Time;   // "Elapsed 0:01:23, about 0:02:10 left"
    };
    static TTexts Describe(const TFacts& facts);

    // Builds the window centred over `centreOver` (the desktop when null) and shows it, not modally.
    TfrmWait(uint64_t maximum, HWND centreOver = nullptr, TWaitDetails details = {});
    ~TfrmWait() override; // closes and frees the window
    TfrmWait(const TfrmWait&) = delete;
    TfrmWait& operator=(const TfrmWait&) = delete;

    // Notes the position; the bar shows it at the next refresh.
    void SetProgress(uint64_t position) override { Position_ = position; }
    void SetMessagesFound(uint64_t count) override { Found_ = count; }
    bool CancelRequested() const override { return *CancelFlag_; }
    // What Cancel, Esc and a close request (Alt+F4) do: the scan stops at its next check.
    void RequestCancel();
    // Shows the walk as it stands: the bar, the texts. The window's timer calls it every kRefreshMilliseconds, so
    // that SetProgress, called every 2000 sectors, costs nothing: a move of the bar repaints it at once, which
    // took 3 ms under Wine and made a scan of a volume in memory 2.5 times slower.
    void Refresh();

    HWND Handle() const { return Handle_; }
    HWND pbwait() const { return pbwait_; }
    HWND btnCancel() const { return btnCancel_; }
    uint64_t Maximum() const { return Maximum_; }
    // Bits dropped from the maximum and from every position so that the bar's range fits 31 bits.
    unsigned Shift() const { return Shift_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls(UINT dpi);
    void FormCreate();

    uint64_t Maximum_;
    unsigned Shift_ = 0;
    TWaitDetails Details_;
    bool OwnCancelFlag_ = false;
    bool* CancelFlag_;
    uint64_t Position_ = 0;
    uint64_t Found_ = 0;
    DWORD StartTicks_;
    HWND Handle_ = nullptr;
    HWND Label1_ = nullptr;
    HWND pbwait_ = nullptr;
    HWND lblAmount_ = nullptr;
    HWND lblTime_ = nullptr;
    HWND btnCancel_ = nullptr;
    HFONT Font_ = nullptr;
};
