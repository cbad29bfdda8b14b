// The message pump of the engine's tests. Stride 1: every pump point is a pass, so both counts (passes and the
// base's Points()) show where the parser and the scan let messages through. Told to, a pass throws, as a front
// end's may, to show that the scan lets the exception through and cleans up.
#pragma once

#include "engine/MessagePump.h"

#include <cstdint>
#include <stdexcept>

class TCountingPump final : public IMessagePump {
public:
    TCountingPump() : IMessagePump(1) {}
    uint64_t passes = 0;
    uint64_t throwAfterPasses = UINT64_MAX;

protected:
    void Pass() override {
        if (++passes > throwAfterPasses)
            throw std::runtime_error("pump failed");
    }
};
