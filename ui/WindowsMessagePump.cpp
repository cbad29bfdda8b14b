#include "ui/WindowsMessagePump.h"

#include "ui/Application.h"

#include <windows.h>

namespace {
// The scan passes a pump point for every printable byte of a run: tens of millions per second. The inline
// countdown lets 4096 points by for free; of the passes left, only one in 10 ms does the real work
// (PeekMessage and friends cost microseconds each), which keeps the windows painted and responsive while
// the pump costs next to nothing of the scan's time.
constexpr uint32_t kStride = 4096;
constexpr uint32_t kMinimumTicksBetweenPasses = 10;
} // namespace

TWindowsMessagePump::TWindowsMessagePump(TApplication& application)
    : IMessagePump(kStride), Application(application), LastPassTicks(GetTickCount()) {}

void TWindowsMessagePump::Pass() {
    uint32_t now = GetTickCount();
    if (now - LastPassTicks < kMinimumTicksBetweenPasses) // unsigned: right across the 49-day wrap too
        return;
    LastPassTicks = now;
    ++Passes_;
    Application.ProcessMessages();
}
