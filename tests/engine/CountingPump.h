// A message pump for the parser tests. Stride 1: every pump point is a pass, so both counts (passes and the
// base's Points()) show where the splitter lets messages through.
#pragma once

#include "engine/MessagePump.h"

#include <cstdint>

class TCountingPump final : public IMessagePump {
public:
    TCountingPump() : IMessagePump(1) {}
    uint64_t passes = 0;

protected:
    void Pass() override { ++passes; }
};
