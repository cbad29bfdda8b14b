// Makes the scan's progress windows (TfrmWait), centred over the window that started the scan, and carries the
// cancel request that the window's Cancel button and the main window's close request share.
#pragma once

#include "engine/ProgressWindow.h"

#include <windows.h>

#include <cstdint>
#include <string>

class TWaitWindowFactory final : public IProgressFactory {
public:
    explicit TWaitWindowFactory(HWND centreOver, std::string source = {}, uint32_t sectorSize = 512)
        : CentreOver(centreOver), Source(std::move(source)), SectorSize(sectorSize) {}
    std::unique_ptr<IProgressWindow> Create(uint64_t maximum) override;

    // Known only once the scanner has opened the volume; set before the scan starts.
    void SetSectorSize(uint32_t sectorSize) { SectorSize = sectorSize; }
    // Stops the scan at its next check, as the window's Cancel button does (also before the window is made).
    void RequestCancel() { CancelFlag = true; }

private:
    HWND CentreOver;
    std::string Source;
    uint32_t SectorSize;
    bool CancelFlag = false;
};
