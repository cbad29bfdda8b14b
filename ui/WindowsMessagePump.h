// The desktop program's message pump: lets the windows repaint while a scan runs on the UI thread.
#pragma once

#include "engine/MessagePump.h"

#include <cstdint>

class TApplication;

class TWindowsMessagePump final : public IMessagePump {
public:
    static constexpr uint32_t kStride = 16; // points per look at the clock

    explicit TWindowsMessagePump(TApplication& application);

    // Real passes made so far (for tests).
    uint64_t Passes() const { return Passes_; }

protected:
    void Pass() override;

private:
    TApplication& Application;
    uint32_t LastPassTicks;
    uint64_t Passes_ = 0;
};
