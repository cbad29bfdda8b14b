// Reads a whole image through the sector window as the drive scan does (a two-sector sample at every sector,
// through ViewBytes and through ReadBytes) and, in the same run, as a plain sequential read of the same file
// in blocks of one window (40 MiB). Prints each way's time as a ratio of the plain read's.
// Usage: bench_diskbuffer IMAGE [benchmark flags]; bench/volume/run makes the image.
#include "volume/DiskBuffer.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string ImagePath;
constexpr uint32_t kWindowBytes = 0x1400000; // the scan's argument: windows of 40 MiB

// Every sector's first byte is looked at, as the scan's first test of a sample does.
void PlainSequentialRead(benchmark::State& state) {
    uint64_t bytes = 0;
    for (auto _ : state) {
        // One block per pass, as the window is one buffer per scan.
        std::unique_ptr<uint8_t[]> block(new uint8_t[2 * kWindowBytes]);
        const int fd = open(ImagePath.c_str(), O_RDONLY);
        uint8_t seen = 0;
        uint64_t offset = 0;
        for (ssize_t got; (got = pread(fd, block.get(), 2 * kWindowBytes, static_cast<off_t>(offset))) > 0;) {
            for (ssize_t i = 0; i < got; i += 512)
                seen ^= block[static_cast<size_t>(i)];
            offset += static_cast<uint64_t>(got);
        }
        close(fd);
        benchmark::DoNotOptimize(seen);
        bytes += offset;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

template <bool kCopy> void TwoSectorSamples(benchmark::State& state) {
    uint64_t bytes = 0;
    for (auto _ : state) {
        TDiskBuffer window(ImagePath, kWindowBytes);
        const uint32_t sectorSize = window.SectorSize();
        uint8_t seen = 0;
        for (uint64_t sector = 1; sector < window.SectorCount(); ++sector) {
            if constexpr (kCopy)
                seen ^= window.ReadBytes(sector * sectorSize, 2 * sectorSize)[0];
            else
                seen ^= window.ViewBytes(sector * sectorSize, 2 * sectorSize)[0];
        }
        benchmark::DoNotOptimize(seen);
        bytes += window.SectorCount() * sectorSize;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

BENCHMARK(PlainSequentialRead)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_TEMPLATE(TwoSectorSamples, false)->Name("ViewBytesSamples")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_TEMPLATE(TwoSectorSamples, true)->Name("ReadBytesSamples")->Unit(benchmark::kMillisecond)->Iterations(5);

// Keeps each benchmark's time per iteration, to print the ratios after the table.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: %s IMAGE [benchmark flags]\n", argv[0]);
        return 2;
    }
    ImagePath = argv[1];
    // Warm the cache: every way then reads the same cached bytes.
    {
        std::vector<uint8_t> block(2 * kWindowBytes);
        const int fd = open(ImagePath.c_str(), O_RDONLY);
        if (fd < 0) {
            std::perror(ImagePath.c_str());
            return 1;
        }
        uint64_t offset = 0;
        for (ssize_t got; (got = pread(fd, block.data(), block.size(), static_cast<off_t>(offset))) > 0;)
            offset += static_cast<uint64_t>(got);
        close(fd);
    }
    argv[1] = argv[0];
    --argc;
    ++argv;
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto baseline = reporter.times.find("PlainSequentialRead/iterations:5");
    if (baseline == reporter.times.end())
        return 0;
    for (const auto& [name, time] : reporter.times)
        std::printf("ratio %-40s %.3f\n", name.c_str(), time / baseline->second);
    return 0;
}
