// A progress bar on a terminal, for the scan's progress contract.
#pragma once

#include "engine/ProgressWindow.h"

#include <cstdio>
#include <memory>
#include <string>

class TTerminalProgress final : public IProgressFactory {
public:
    // Draws on `out` (standard error), labelled with the source's name.
    TTerminalProgress(std::FILE* out, std::string label);
    std::unique_ptr<IProgressWindow> Create(uint64_t maximum) override;
    // Clears the bar's line before other output is written to the terminal; the bar comes back at its next
    // move. Does nothing while no bar is shown.
    void Interrupt();

private:
    std::FILE* out_;
    std::string label_;
    class TTerminalBar* current_ = nullptr;
    friend class TTerminalBar;
};
