// The walk split over threads against the single walk: the same messages at the same places in the same order,
// and the same count of unreadable sectors, whatever the number of threads, the size of the ranges and of the
// window, and wherever runs and unreadable sectors fall against the ranges' edges.
#include "engine/ParallelScan.h"
#include "tests/scan/ScanFixtures.h"

#include "volume/VolumeError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <stdexcept>

using namespace scantest;

namespace {

// A message as the comparison sees it: where it is, its fields, and its texts by size and digest, so that long
// runs cost little memory to compare.
struct TSeen {
    uint64_t Offset;
    uint64_t RunOffset;
    std::string From, To, Subject, Date;
    size_t FullTextSize;
    size_t FullTextHash;
    size_t BodyHash;

    TSeen(const TEmail& email, const TFoundLocation& at)
        : Offset(at.Offset), RunOffset(at.RunOffset), From(email.From), To(email.To), Subject(email.Subject),
          Date(email.Date), FullTextSize(email.FullText.size()), FullTextHash(std::hash<std::string>()(email.FullText)),
          BodyHash(std::hash<std::string>()(email.Body)) {}
    bool operator==(const TSeen&) const = default;
};

struct TWalkResult {
    std::vector<TSeen> messages;
    uint64_t unreadable = 0;
};

// Keeps a range's messages, and on delivery appends the kept ones to the scan's result (on the calling thread).
class TCollectingOutput final : public IRangeOutput {
public:
    explicit TCollectingOutput(std::vector<TSeen>& result) : result_(result) {}
    void Add(const TEmailView& email, const TFoundLocation& at) override { added_.emplace_back(TEmail(email), at); }
    void Deliver(uint64_t firstRunOffset) override {
        for (const TSeen& seen : added_)
            if (seen.RunOffset >= firstRunOffset)
                result_.push_back(seen);
    }

private:
    std::vector<TSeen>& result_;
    std::vector<TSeen> added_;
};

// A volume read through a map, as image files are on Linux: the map shows unreadable sectors as zeros, and once
// the window reads there it tells every unreadable sector from there to the end (as a map that reads ahead may),
// so that every thread's source tells most of them. Whole windows come from the map, the last one from reads.
class TMappedTestVolume final : public TMemoryVolumeSource {
public:
    TMappedTestVolume(std::shared_ptr<const Bytes> image, std::shared_ptr<const Bytes> mapped, uint32_t sectorSize,
                      std::set<uint64_t> unreadable)
        : TMemoryVolumeSource(std::move(image), sectorSize, "mapped volume", unreadable, TFaultModel::Garbage),
          mapped_(std::move(mapped)), unreadable_(std::move(unreadable)) {}

    const uint8_t* MappedBytes() override { return mapped_->data(); }
    void ReadingAt(uint64_t offset, uint64_t) override {
        for (auto it = unreadable_.lower_bound(offset / SectorSize()); it != unreadable_.end();
             it = unreadable_.erase(it))
            pending_.push_back(*it);
    }
    void TakeUnreadableSectors(std::vector<uint64_t>& sectors) override {
        sectors.insert(sectors.end(), pending_.begin(), pending_.end());
        pending_.clear();
    }

private:
    std::shared_ptr<const Bytes> mapped_;
    std::set<uint64_t> unreadable_;
    std::vector<uint64_t> pending_;
};

std::function<std::unique_ptr<IVolumeSource>()> Opener(const std::shared_ptr<const Bytes>& image, uint32_t sectorSize,
                                                       const std::set<uint64_t>& unreadable, bool mapped = false) {
    if (!mapped)
        return [=] { return std::make_unique<TTestVolume>(image, sectorSize, unreadable); };
    auto zeroed = std::make_shared<Bytes>(*image);
    for (uint64_t sector : unreadable)
        if ((sector + 1) * sectorSize <= zeroed->size())
            std::fill_n(zeroed->begin() + sector * sectorSize, sectorSize, 0);
    std::shared_ptr<const Bytes> map = zeroed;
    return [=] { return std::make_unique<TMappedTestVolume>(image, map, sectorSize, unreadable); };
}

// A volume to walk and how: its bytes, sector size, unreadable sectors, whether it is read through a map, the
// window's half and the scan mode.
struct TVolume {
    explicit TVolume(std::shared_ptr<const Bytes> bytes, uint32_t bytesPerSector = 512)
        : image(std::move(bytes)), sectorSize(bytesPerSector) {}

    std::shared_ptr<const Bytes> image;
    uint32_t sectorSize;
    std::set<uint64_t> unreadable;
    bool mapped = false;
    uint32_t halfWindowBytes = 1 << 20;
    TScanMode mode = TScanMode::Standard;

    std::function<std::unique_ptr<IVolumeSource>()> Open() const {
        return Opener(image, sectorSize, unreadable, mapped);
    }
};

TWalkResult SingleWalk(const TVolume& volume) {
    TNullMessagePump pump;
    TNoProgress none;
    TScanHardDisk scanner(volume.Open()(), pump, none, volume.halfWindowBytes, volume.mode);
    TWalkResult result;
    scanner.SetMessageConsumer(
        [&](TEmail&& email, const TFoundLocation& at) { result.messages.emplace_back(email, at); });
    scanner.Scan();
    result.unreadable = scanner.UnreadableSectors();
    return result;
}

TWalkResult ThreadedWalk(const TVolume& volume, unsigned threads, uint64_t rangeSectors,
                         TRecordingProgress* progress = nullptr,
                         uint64_t maxKeptPerRange = TParallelScan::kMaxMessagesKeptPerRange) {
    TParallelScan scan(volume.Open(), {threads, rangeSectors, volume.halfWindowBytes, volume.mode, maxKeptPerRange});
    TWalkResult result;
    TNoProgress none;
    scan.Scan([&] { return std::make_unique<TCollectingOutput>(result.messages); },
              progress ? static_cast<IProgressFactory&>(*progress) : none);
    result.unreadable = scan.UnreadableSectors();
    return result;
}

void ExpectSameWalk(const TWalkResult& threaded, const TWalkResult& single) {
    ASSERT_EQ(threaded.messages.size(), single.messages.size());
    for (size_t k = 0; k < single.messages.size(); ++k)
        ASSERT_TRUE(threaded.messages[k] == single.messages[k])
            << "message " << k << " at " << single.messages[k].Offset << ", threaded one at "
            << threaded.messages[k].Offset;
    EXPECT_EQ(threaded.unreadable, single.unreadable);
}

// A random volume of mail as it lies on disks: messages at sector starts, alone or back to back in one run, some
// followed by text so that the next message of the same run begins exactly at a sector start (a range that starts
// there sees a message the single walk passes over); runs that stop at each kind of stop byte; text, noise,
// zeros; quoted replies; LF line ends and mbox envelope lines, which the deep scan reads.
Bytes RandomMailVolume(std::mt19937& random, uint64_t sectors, uint32_t sectorSize) {
    Bytes image(sectors * sectorSize);
    for (auto& b : image)
        b = static_cast<uint8_t>(random() % 4 == 0 ? random() : 0);
    const std::string reply = "From: r@example.org\r\nTo: s@example.org\r\nSubject: Re: plan\r\n\r\nYes.\r\n"
                              "----- Original Message -----\r\nFrom: s@example.org\r\nTo: r@example.org\r\n"
                              "Subject: plan\r\n\r\nShall we?\r\n";
    const uint64_t pieces = sectors / 4;
    for (uint64_t k = 0; k < pieces; ++k) {
        const uint64_t sector = 1 + random() % (sectors - 1);
        std::string run;
        const int messages = 1 + static_cast<int>(random() % 4);
        for (int m = 0; m < messages; ++m) {
            if (m > 0 && random() % 2 == 0) // pad with text so that this message begins a sector of the run
                run += std::string((sectorSize - run.size() % sectorSize) % sectorSize, ' ');
            run += random() % 5 == 0
                       ? reply
                       : MakeMessage(std::to_string(k) + "." + std::to_string(m) + "@example.org", "t@example.org",
                                     "S" + std::to_string(k), std::string(random() % (3 * sectorSize), 'b'));
        }
        if (random() % 3 == 0)
            run += std::string(random() % (4 * sectorSize), 'T') + "\r\n";
        if (random() % 4 == 0) // stored with LF line ends, as mail stores often keep it
            std::erase(run, '\r');
        if (random() % 6 == 0)
            run = "From sender@example.org Tue Dec  1 10:00:00 2026\n" + run;
        run.push_back(static_cast<char>("\x00\x0C\x7F\x80\x01"[random() % 5]));
        const uint64_t offset = sector * sectorSize + (random() % 6 == 0 ? random() % sectorSize : 0);
        if (offset + run.size() <= image.size())
            Put(image, offset, run);
    }
    return image;
}

} // namespace

// Every combination of threads, range size and window size over random volumes, with unreadable sectors both at
// random places and exactly at the ranges' first and last sectors.
TEST(ParallelScan, GivesWhatTheSingleWalkGivesOnRandomVolumes) {
    struct Case {
        uint32_t seed;
        uint32_t sectorSize;
        uint64_t sectors;
        TScanMode mode;
    };
    const Case volumes[] = {{11, 512, 700, TScanMode::Standard},  {12, 512, 1500, TScanMode::Standard},
                            {13, 1024, 400, TScanMode::Standard}, {14, 4096, 160, TScanMode::Standard},
                            {15, 512, 90, TScanMode::Standard},   {16, 512, 900, TScanMode::Deep},
                            {17, 2048, 300, TScanMode::Deep}};
    const unsigned threadCounts[] = {1, 2, 3, 5};
    const uint64_t rangeSizes[] = {1, 2, 3, 7, 16, 61, 256, 100000};
    for (const Case& v : volumes) {
        std::mt19937 random(v.seed);
        TVolume volume{std::make_shared<const Bytes>(RandomMailVolume(random, v.sectors, v.sectorSize)), v.sectorSize};
        volume.mode = v.mode;
        for (uint32_t halfWindowBytes : {v.sectorSize, 4 * v.sectorSize, 1u << 20}) {
            volume.halfWindowBytes = halfWindowBytes;
            for (uint64_t rangeSectors : rangeSizes) {
                volume.unreadable.clear();
                for (int k = 0; k < 6; ++k)
                    volume.unreadable.insert(1 + random() % (v.sectors - 1));
                for (uint64_t edge = 1 + rangeSectors; edge < v.sectors; edge += 3 * rangeSectors) {
                    volume.unreadable.insert(edge);     // a range's first sector
                    volume.unreadable.insert(edge - 1); // the last one of the range before
                }
                const TWalkResult single = SingleWalk(volume);
                for (unsigned threads : threadCounts) {
                    SCOPED_TRACE(testing::Message() << "seed " << v.seed << ", window " << halfWindowBytes << ", range "
                                                    << rangeSectors << " sectors, " << threads << " threads");
                    ExpectSameWalk(ThreadedWalk(volume, threads, rangeSectors), single);
                }
            }
        }
    }
}

// Sectors that a map could not read are told by each thread's source, some of them by two threads (a window that
// reaches into the next range); each counts once, as in the single walk.
TEST(ParallelScan, SectorsAMapCouldNotReadAreCountedOnce) {
    constexpr uint32_t kSector = 512;
    std::mt19937 random(21);
    TVolume volume{std::make_shared<const Bytes>(RandomMailVolume(random, 3000, kSector)), kSector};
    volume.mapped = true;
    for (int k = 0; k < 40; ++k)
        volume.unreadable.insert(1 + random() % 2999);
    for (uint64_t rangeSectors : {5u, 64u, 333u}) {
        for (uint64_t edge = 1 + rangeSectors; edge < 3000; edge += 2 * rangeSectors)
            volume.unreadable.insert({edge - 1, edge});
        for (uint32_t halfWindowBytes : {4 * kSector, 16 * kSector}) {
            volume.halfWindowBytes = halfWindowBytes;
            const TWalkResult single = SingleWalk(volume);
            ASSERT_GE(single.unreadable, 40u);
            for (unsigned threads : {2u, 3u}) {
                SCOPED_TRACE(testing::Message() << "range " << rangeSectors << ", window " << halfWindowBytes << ", "
                                                << threads << " threads");
                ExpectSameWalk(ThreadedWalk(volume, threads, rangeSectors), single);
            }
        }
    }
}

// Runs that cross many ranges, and messages that begin at sector starts inside them, on every side of each edge.
TEST(ParallelScan, RunsAcrossRangeEdgesBelongToTheRangeWhereTheyBegin) {
    constexpr uint32_t kSector = 512;
    Bytes image(200 * kSector);
    // One run from sector 3 to sector 120 holding a message at every 9th sector start (each also a start that a
    // range's walk may land on), stopped by a zero byte; then a run that ends exactly at a sector's end.
    std::string run;
    for (int m = 0; run.size() < 117 * kSector; ++m) {
        run += std::string((kSector - run.size() % kSector) % kSector + (m % 2) * 8 * kSector, ' ');
        run += MakeMessage("m" + std::to_string(m) + "@example.org", "t@example.org", "S", "x");
    }
    Put(image, 3 * kSector, run);
    const std::string exact = MakeMessage("exact@example.org", "t@example.org", "S", std::string(800, 'e'));
    Put(image, 150 * kSector, exact + std::string(2 * kSector - exact.size(), 'e'));
    const TVolume volume{std::make_shared<const Bytes>(image), kSector};
    const TWalkResult single = SingleWalk(volume);
    ASSERT_GT(single.messages.size(), 10u);
    for (uint64_t rangeSectors = 1; rangeSectors <= 40; ++rangeSectors) {
        SCOPED_TRACE(rangeSectors);
        ExpectSameWalk(ThreadedWalk(volume, 2, rangeSectors), single);
    }
}

// A run longer than the cap stops at the cap, and the walk goes on inside the printable stretch; a range that
// begins in such a stretch finds runs that reach beyond the single walk's, so the calling thread walks on from the
// single walk's entry until both walks meet.
TEST(ParallelScan, RunsCutAtTheCapAreStitchedWhereTheRangesWalksDisagree) {
    constexpr uint32_t kSector = 512;
    const uint64_t sectors = 2 * TScanHardDisk::kRunCap / kSector + 9000;
    Bytes image(sectors * kSector, ' ');
    std::mt19937 random(3);
    for (uint64_t sector = 1; sector + 2 < sectors; sector += 5 + random() % 300) {
        const std::string message = MakeMessage("cap" + std::to_string(sector) + "@example.org", "t@example.org",
                                                "Capped", std::string(random() % 700, 'c'));
        Put(image, sector * kSector, message);
    }
    image[image.size() - 5 * kSector] = 0;
    const TVolume volume{std::make_shared<const Bytes>(image), kSector};
    const TWalkResult single = SingleWalk(volume);
    ASSERT_GT(single.messages.size(), 100u);
    for (uint64_t rangeBytes : {uint64_t{1} << 20, uint64_t{3} << 20, uint64_t{7} << 20}) {
        SCOPED_TRACE(rangeBytes);
        ExpectSameWalk(ThreadedWalk(volume, 2, rangeBytes / kSector), single);
    }
}

// A range that finds more messages than it may keep lets them go and is walked again by the delivering thread,
// streaming: the result is still the single walk's, wherever the walk enters that range.
TEST(ParallelScan, RangesThatFindMoreThanTheyMayKeepAreWalkedAgain) {
    constexpr uint32_t kSector = 512;
    for (TScanMode mode : {TScanMode::Standard, TScanMode::Deep}) {
        std::mt19937 random(31);
        TVolume volume{std::make_shared<const Bytes>(RandomMailVolume(random, 1200, kSector)), kSector};
        volume.mode = mode;
        for (int k = 0; k < 6; ++k)
            volume.unreadable.insert(1 + random() % 1199);
        const TWalkResult single = SingleWalk(volume);
        ASSERT_GT(single.messages.size(), 20u);
        for (uint64_t maxKept : {0u, 1u, 2u, 5u})
            for (uint64_t rangeSectors : {3u, 16u, 100u}) {
                SCOPED_TRACE(testing::Message()
                             << "mode " << int(mode) << ", keep " << maxKept << ", range " << rangeSectors);
                ExpectSameWalk(ThreadedWalk(volume, 2, rangeSectors, nullptr, maxKept), single);
            }
    }
}

TEST(ParallelScan, ProgressReachesTheEndAndTinyVolumesFindNothing) {
    for (uint64_t sectors : {1u, 2u, 3u}) {
        SCOPED_TRACE(sectors);
        const TVolume volume{std::make_shared<const Bytes>(sectors * 512, 0)};
        TRecordingProgress progress;
        const TWalkResult result = ThreadedWalk(volume, 2, 1, &progress);
        EXPECT_TRUE(result.messages.empty());
        EXPECT_EQ(progress.created, 1);
        EXPECT_EQ(progress.destroyed, 1);
        EXPECT_EQ(progress.maximum, sectors);
        if (sectors > 1) {
            ASSERT_FALSE(progress.positions.empty());
            EXPECT_EQ(progress.positions.back(), sectors);
        }
    }
}

// A source that cannot be opened is refused as the single walk refuses it; an error on a walking thread stops the
// scan and reaches the caller.
TEST(ParallelScan, ErrorsOnAnyThreadReachTheCaller) {
    auto missing = [] { return OpenVolumeSource("no-such-image-file.img"); };
    EXPECT_THROW(TParallelScan(missing, {2, 4, 4096}), TVolumeError);

    const auto image = std::make_shared<const Bytes>(400 * 512, 0);
    std::atomic<int> opened = 0;
    auto failsLater = [&]() -> std::unique_ptr<IVolumeSource> {
        if (++opened > 2) // the size probe and the first thread open it; the second thread fails
            throw TVolumeError("cannot open again");
        return std::make_unique<TTestVolume>(image, 512);
    };
    TParallelScan scan(failsLater, {2, 4, 4096});
    std::vector<TSeen> seen;
    TNoProgress none;
    EXPECT_THROW(scan.Scan([&] { return std::make_unique<TCollectingOutput>(seen); }, none), TVolumeError);
}
