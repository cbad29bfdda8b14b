#include "ui/WindowsMessagePump.h"

#include "ui/Application.h"

#include <windows.h>

namespace {
// The scan passes a pump point after every 2000 sectors examined, for every run it measures (all its bytes
// at once), for every line it cuts and for every message it keeps. The inline countdown lets 15 points of 16
// by for free; the 16th costs a GetTickCount, and only one such pass in 10 ms does the real work
// (PeekMessage and friends cost microseconds each). On a volume without text, 16 points are 32000 sectors,
// 16 MiB: the windows are still painted several times a second, and the pump costs nothing measurable.
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
