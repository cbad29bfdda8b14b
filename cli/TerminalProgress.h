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

private:
    std::FILE* out_;
    std::string label_;
};
