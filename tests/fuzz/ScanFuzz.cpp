// The drive scan over an in-memory volume with failing sectors: the same messages, locations, pump points and
// progress at every window size as the scan written out step by step (tests/scan/ScanFixtures.h); each message's
// full text lies on the volume at its offset and its body is a suffix of it; handing messages to a consumer gives
// the same sequence as keeping them; the walk split over threads gives the single walk's messages, in its order,
// and its count of unreadable sectors, whatever the size of the ranges; over a volume without failing sectors, the
// image-file source (which maps the file) gives what the in-memory one gives. The deep scan: each message's full
// text lies on the volume at its offset and its body is a suffix of it, the same messages at every window size and
// on threads.
// Input: sector size choice (1 byte), failing sectors 0 to 15 (2 bytes, one bit each), sectors per range of the
// threaded walk (1 byte), then the volume's bytes.
#include "engine/ParallelScan.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/MemoryFile.h"
#include "tests/scan/ScanFixtures.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

namespace {

using namespace scantest;

constexpr uint32_t kSectorSizes[] = {8, 16, 24, 32, 64, 100, 128, 512};

bool SameMessages(const TScanOutcome& a, const TScanOutcome& b) {
    if (a.found.size() != b.found.size() || !SameLocations(a.locations, b.locations))
        return false;
    for (size_t k = 0; k < a.found.size(); ++k)
        if (!SameEmail(a.found[k], b.found[k]))
            return false;
    return true;
}

bool SameOutcome(const TScanOutcome& a, const TScanOutcome& b) {
    return SameMessages(a, b) && a.pumpPoints == b.pumpPoints && a.progressPositions == b.progressPositions &&
           a.progressMaximum == b.progressMaximum;
}

// `served` is the volume as the window serves it: unreadable sectors and bytes past the last whole sector as zeros.
void CheckMessagesLieOnTheVolume(const Bytes& served, uint32_t sectorSize, const TScanOutcome& outcome,
                                 TScanMode mode = TScanMode::Standard) {
    const std::string_view volume(reinterpret_cast<const char*>(served.data()), served.size());
    for (size_t k = 0; k < outcome.found.size(); ++k) {
        const TEmail& e = outcome.found[k];
        const TFoundLocation& at = outcome.locations[k];
        if (mode == TScanMode::Standard)
            FUZZ_CHECK(at.RunOffset % sectorSize == 0 && at.RunOffset >= sectorSize);
        FUZZ_CHECK(at.RunOffset <= at.Offset);
        FUZZ_CHECK(at.Offset <= volume.size() && volume.substr(at.Offset, e.FullText.size()) == e.FullText);
        FUZZ_CHECK(e.Body.size() <= e.FullText.size() &&
                   e.FullText.compare(e.FullText.size() - e.Body.size(), e.Body.size(), e.Body) == 0);
        if (k > 0)
            FUZZ_CHECK(outcome.locations[k - 1].Offset < at.Offset);
    }
}

// The scan with its messages handed to a consumer: the same messages in the same order, nothing kept.
void CheckConsumerSeesTheSameMessages(const Bytes& image, uint32_t sectorSize, const std::set<uint64_t>& failing,
                                      const TScanOutcome& kept) {
    TCountingPump pump;
    TRecordingProgress progress;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, sectorSize, failing), pump, progress, 3 * sectorSize);
    TScanOutcome handed;
    scanner.SetMessageConsumer([&](TEmail&& email, const TFoundLocation& location) {
        handed.found.push_back(std::move(email));
        handed.locations.push_back(location);
    });
    FUZZ_CHECK(scanner.Scan().empty() && scanner.Locations().empty());
    handed.pumpPoints = pump.Points();
    handed.progressPositions = progress.positions;
    handed.progressMaximum = progress.maximum;
    FUZZ_CHECK(SameOutcome(handed, kept));
}

// Keeps a range's messages, and on delivery appends those of runs the single walk examines.
class TKeepingOutput final : public IRangeOutput {
public:
    explicit TKeepingOutput(TScanOutcome& result) : result_(result) {}
    void Add(const TEmailView& email, const TFoundLocation& location) override {
        added_.found.push_back(TEmail(email));
        added_.locations.push_back(location);
    }
    void Deliver(uint64_t firstRunOffset) override {
        for (size_t k = 0; k < added_.found.size(); ++k)
            if (added_.locations[k].RunOffset >= firstRunOffset) {
                result_.found.push_back(std::move(added_.found[k]));
                result_.locations.push_back(added_.locations[k]);
            }
    }

private:
    TScanOutcome& result_;
    TScanOutcome added_;
};

void CheckThreadedWalkMatches(const Bytes& image, uint32_t sectorSize, const std::set<uint64_t>& failing,
                              uint64_t rangeSectors, const TScanOutcome& single, uint64_t singleUnreadable,
                              TScanMode mode = TScanMode::Standard) {
    const auto shared = std::make_shared<const Bytes>(image);
    TParallelScan::TSettings settings;
    settings.Threads = 2;
    settings.RangeSectors = rangeSectors;
    settings.HalfWindowBytes = 3 * sectorSize;
    settings.Mode = mode;
    TParallelScan scan([&] { return std::make_unique<TTestVolume>(shared, sectorSize, failing); }, settings);
    TScanOutcome threaded;
    TNoProgress none;
    scan.Scan([&] { return std::make_unique<TKeepingOutput>(threaded); }, none);
    FUZZ_CHECK(SameMessages(threaded, single));
    FUZZ_CHECK(scan.UnreadableSectors() == singleUnreadable);
}

// The same volume as an image file: the same messages at the same places, at a small and at the command line's
// window size.
void CheckImageFileMatches(const Bytes& image, uint32_t sectorSize, const TScanOutcome& reference) {
    const TMemoryFile file(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    for (uint32_t halfWindowBytes : {3 * sectorSize, 1u << 20}) {
        TCountingPump pump;
        TRecordingProgress progress;
        TScanHardDisk scanner(file.Path(), pump, progress, sectorSize, halfWindowBytes);
        TScanOutcome outcome;
        outcome.found = scanner.Scan();
        outcome.locations = scanner.Locations();
        FUZZ_CHECK(SameMessages(outcome, reference));
        FUZZ_CHECK(scanner.UnreadableSectors() == 0);
    }
}

TScanOutcome DeepScan(const Bytes& image, uint32_t sectorSize, const std::set<uint64_t>& failing,
                      uint32_t halfWindowBytes, uint64_t* unreadable = nullptr) {
    TNullMessagePump pump;
    TNoProgress none;
    TScanHardDisk scanner(std::make_unique<TTestVolume>(image, sectorSize, failing), pump, none, halfWindowBytes,
                          TScanMode::Deep);
    TScanOutcome outcome;
    outcome.found = scanner.Scan();
    outcome.locations = scanner.Locations();
    if (unreadable)
        *unreadable = scanner.UnreadableSectors();
    return outcome;
}

void CheckDeepScan(const Bytes& image, const Bytes& served, uint32_t sectorSize, const std::set<uint64_t>& failing,
                   uint64_t rangeSectors) {
    uint64_t unreadable = 0;
    const TScanOutcome deep = DeepScan(image, sectorSize, failing, 3 * sectorSize, &unreadable);
    CheckMessagesLieOnTheVolume(served, sectorSize, deep, TScanMode::Deep);
    for (uint32_t halfWindowBytes : {0u, sectorSize, 2 * sectorSize, 7 * sectorSize, 1u << 16})
        FUZZ_CHECK(SameMessages(DeepScan(image, sectorSize, failing, halfWindowBytes), deep));
    CheckThreadedWalkMatches(image, sectorSize, failing, rangeSectors, deep, unreadable, TScanMode::Deep);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const uint32_t sectorSize = kSectorSizes[input.Byte() % std::size(kSectorSizes)];
    const uint16_t failingMask = input.Word();
    const uint64_t rangeSectors = 1 + input.Byte() % 16;
    const std::string_view rest = input.Rest();
    const Bytes image(rest.begin(), rest.end());
    if (image.size() < sectorSize)
        return 0; // refused by the window, which its own target covers
    std::set<uint64_t> failing;
    for (uint64_t sector = 0; sector < 16 && sector < image.size() / sectorSize; ++sector)
        if (failingMask >> sector & 1)
            failing.insert(sector);

    Bytes served(image.size() / sectorSize * sectorSize, 0);
    std::copy(image.begin(), image.begin() + served.size(), served.begin());
    for (uint64_t sector : failing)
        std::fill_n(served.begin() + sector * sectorSize, sectorSize, 0);

    const TScanOutcome reference = TReferenceScan(image, sectorSize, failing).Scan();
    CheckMessagesLieOnTheVolume(served, sectorSize, reference);
    const uint32_t windowSizes[] = {0,
                                    1,
                                    sectorSize - 1,
                                    sectorSize,
                                    2 * sectorSize - 1,
                                    2 * sectorSize,
                                    3 * sectorSize + 5,
                                    7 * sectorSize,
                                    static_cast<uint32_t>(image.size()),
                                    TScanHardDisk::kHalfWindowBytes / 64};
    for (uint32_t halfWindowBytes : windowSizes)
        FUZZ_CHECK(SameOutcome(RunScan(image, sectorSize, halfWindowBytes, failing), reference));
    CheckConsumerSeesTheSameMessages(image, sectorSize, failing, reference);
    TNullMessagePump pump;
    TNoProgress none;
    TScanHardDisk single(std::make_unique<TTestVolume>(image, sectorSize, failing), pump, none, 3 * sectorSize);
    single.Scan();
    CheckThreadedWalkMatches(image, sectorSize, failing, rangeSectors, reference, single.UnreadableSectors());
    if (failing.empty())
        CheckImageFileMatches(image, sectorSize, reference);
    CheckDeepScan(image, served, sectorSize, failing, rangeSectors);
    return 0;
}
