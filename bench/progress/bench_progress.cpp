// What keeping the desktop program's windows alive and informed costs a scan: the same walk over the same
// in-memory volume with the program's message pump and progress window (which counts the finds and refreshes
// its texts on a timer), and with the do-nothing pump and no progress window. Rounds alternate; the fastest
// round of each (the one least disturbed by the rest of the machine) and their ratio are printed. Run under Wine by
// bench/progress/run.
#include "engine/MessagePump.h"
#include "engine/ProgressWindow.h"
#include "engine/ScanHardDisk.h"
#include "ui/Application.h"
#include "ui/WaitWindowFactory.h"
#include "ui/WindowsMessagePump.h"
#include "volume/VolumeSource.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kSector = 512;

// A volume in memory, read without bookkeeping, so that only the scan and its front end are measured.
class TBenchVolume final : public IVolumeSource {
public:
    explicit TBenchVolume(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    const std::string& Name() const override { return name_; }
    uint32_t SectorSize() const override { return kSector; }
    uint64_t LengthBytes() const override { return bytes_.size(); }
    bool ReadSectors(uint64_t first, uint32_t count, uint8_t* buffer) override {
        const uint64_t begin = first * kSector;
        const uint64_t wanted = static_cast<uint64_t>(count) * kSector;
        const uint64_t available = begin < bytes_.size() ? std::min(wanted, bytes_.size() - begin) : 0;
        std::memcpy(buffer, bytes_.data() + begin, available);
        std::memset(buffer + available, 0, wanted - available);
        return available == wanted;
    }

private:
    const std::vector<uint8_t>& bytes_;
    std::string name_ = "bench volume";
};

// Mostly empty sectors, as most of a disk is, with a message every 64 KiB and a 1 MiB stretch of text (a run the
// walk measures) every 32 MiB.
std::vector<uint8_t> MakeImage(uint64_t mib) {
    std::vector<uint8_t> image(mib << 20, 0);
    for (uint64_t offset = 4096, k = 0; offset + 4096 < image.size(); offset += 64 * 1024, ++k) {
        const std::string text = "From: a" + std::to_string(k) + "@example.org\r\nTo: b@example.org\r\nSubject: s" +
                                 std::to_string(k) + "\r\nDate: Tue, 1 Dec 2026 10:00:00 +0000\r\n\r\nBody.\r\n";
        std::memcpy(image.data() + offset, text.data(), text.size());
    }
    for (uint64_t offset = 16 << 20; offset + (1 << 20) < image.size(); offset += 32 << 20)
        std::memset(image.data() + offset + 8192, 'x', (1 << 20) - 8192);
    return image;
}

// Wall time, and the processor time of this thread (kernel and user), which other programs' load disturbs less.
struct TTimes {
    double Wall = 0;
    double Cpu = 0;
};

double ThreadCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}

double WallSeconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

TTimes TimeScan(const std::vector<uint8_t>& image, IMessagePump& pump, IProgressFactory& progress, size_t& found) {
    const double wall = WallSeconds(), cpu = ThreadCpuSeconds();
    TScanHardDisk scanner(std::make_unique<TBenchVolume>(image), pump, progress);
    found = scanner.Scan().size();
    return {WallSeconds() - wall, ThreadCpuSeconds() - cpu};
}

TTimes Fastest(const std::vector<TTimes>& runs) {
    TTimes best = runs.front();
    for (const TTimes& run : runs) {
        best.Wall = std::min(best.Wall, run.Wall);
        best.Cpu = std::min(best.Cpu, run.Cpu);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    const std::vector<uint8_t> image = MakeImage(mib);
    TApplication application("Ostrevan 1.0");
    std::vector<TTimes> bare, pumped, windowed;
    size_t foundBare = 0, foundPumped = 0, foundWindowed = 0;
    for (int round = 0; round < rounds; ++round) {
        TNullMessagePump nullPump;
        TNoProgress noProgress;
        bare.push_back(TimeScan(image, nullPump, noProgress, foundBare));
        TWindowsMessagePump pumpAlone(application);
        pumped.push_back(TimeScan(image, pumpAlone, noProgress, foundPumped));
        TWindowsMessagePump pump(application);
        TWaitWindowFactory windows(nullptr, "bench volume", kSector);
        windowed.push_back(TimeScan(image, pump, windows, foundWindowed));
    }
    if (foundBare != foundWindowed || foundBare != foundPumped) {
        std::fprintf(stderr, "bench_progress: the two scans found %zu and %zu messages\n", foundBare, foundWindowed);
        return 1;
    }
    const TTimes b = Fastest(bare), p = Fastest(pumped), w = Fastest(windowed);
    std::printf("desktop scan of %llu MiB in memory (%zu messages), fastest of %d rounds each, wall and thread time:\n",
                static_cast<unsigned long long>(mib), foundBare, rounds);
    std::printf("  do-nothing pump, no progress window : %.3f s, %.3f s\n", b.Wall, b.Cpu);
    std::printf("  program's pump, no progress window  : %.3f s, %.3f s\n", p.Wall, p.Cpu);
    std::printf("  program's pump and progress window  : %.3f s, %.3f s\n", w.Wall, w.Cpu);
    std::printf("  ratio (window / bare)               : %.3f wall, %.3f thread time\n", w.Wall / b.Wall,
                w.Cpu / b.Cpu);
    return 0;
}
