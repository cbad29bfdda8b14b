// The progress window shown while a drive scan walks a volume: a label and a bar, no caption, no buttons.
#pragma once

#include "engine/ProgressWindow.h"

#include <windows.h>

#include <cstdint>

class TfrmWait final : public IProgressWindow {
public:
    static constexpr int kClientWidth = 504;
    static constexpr int kClientHeight = 122;

    // Builds the window centred over `centreOver` (the desktop when null) and shows it, not modally.
    TfrmWait(uint64_t maximum, HWND centreOver = nullptr);
    ~TfrmWait() override; // closes and frees the window
    TfrmWait(const TfrmWait&) = delete;
    TfrmWait& operator=(const TfrmWait&) = delete;

    void SetProgress(uint64_t position) override;

    HWND Handle() const { return Handle_; }
    HWND pbwait() const { return pbwait_; }
    uint64_t Maximum() const { return Maximum_; }
    // Bits dropped from the maximum and from every position so that the bar's range fits 31 bits.
    unsigned Shift() const { return Shift_; }

private:
    void CreateControls();
    void FormCreate();

    uint64_t Maximum_;
    unsigned Shift_ = 0;
    HWND Handle_ = nullptr;
    HWND Label1_ = nullptr;
    HWND pbwait_ = nullptr;
    HFONT Font_ = nullptr;
};
