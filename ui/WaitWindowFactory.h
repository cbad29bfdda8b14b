// Makes the scan's progress windows (TfrmWait), centred over the window that started the scan.
#pragma once

#include "engine/ProgressWindow.h"

#include <windows.h>

class TWaitWindowFactory final : public IProgressFactory {
public:
    explicit TWaitWindowFactory(HWND centreOver) : CentreOver(centreOver) {}
    std::unique_ptr<IProgressWindow> Create(uint64_t maximum) override;

private:
    HWND CentreOver;
};
