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
constexpr uint32_t kHalfWindowBytes = 0x1400000; // the scan's argument: windows of 40 MiB

// Every sector's first byte is looked at, as the scan's first test of a sample does.
void PlainSequentialRead(benchmark::State& state) {
    uint64_t bytes = 0;
    for (auto _ : state) {
        // One block per pass, as the window is one buffer per scan.
        std::unique_ptr<uint8_t[]> block(new uint8_t[2 * kHalfWindowBytes]);
        const int fd = open(ImagePath.c_str(), O_RDONLY);
        uint8_t seen = 0;
        uint64_t offset = 0;
        for (ssize_t got; (got = pread(fd, block.get(), 2 * kHalfWindowBytes, static_cast<off_t>(offset))) > 0;) {
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
        TDiskBuffer window(ImagePath, kHalfWindowBytes);
        const uint32_t sectorSize = window.SectorSize();
        const uint64_t sectorCount = window.SectorCount();
        uint8_t seen = 0;
        for (uint64_t sector = 1; sector < sectorCount; ++sector) {
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

// Medians of several repetitions: the ratios should not move with what else the machine is doing.
#define OSTREVAN_PASSES Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(5)->ReportAggregatesOnly(true)
BENCHMARK(PlainSequentialRead)->OSTREVAN_PASSES;
BENCHMARK_TEMPLATE(TwoSectorSamples, false)->Name("ViewBytesSamples")->OSTREVAN_PASSES;
BENCHMARK_TEMPLATE(TwoSectorSamples, true)->Name("ReadBytesSamples")->OSTREVAN_PASSES;

// Keeps each benchmark's median wall and processor time per pass, to print the ratios after the table.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    struct TTimes {
        double real = 0;
        double cpu = 0;
    };
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                times[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, TTimes> times;
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
        std::vector<uint8_t> block(2 * kHalfWindowBytes);
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
    const auto baseline = reporter.times.find("PlainSequentialRead");
    if (baseline == reporter.times.end())
        return 0;
    std::printf("time as a ratio of the plain sequential read (medians)   wall   processor\n");
    for (const auto& [name, time] : reporter.times)
        std::printf("  %-55s %5.3f   %5.3f\n", name.c_str(), time.real / baseline->second.real,
                    time.cpu / baseline->second.cpu);
    return 0;
}
