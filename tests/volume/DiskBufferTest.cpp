// The sector window over an in-memory volume that logs its reads: where the window moves, what each request
// costs in reads, and that every byte served is the volume's own (or zero past the end and where reading failed).
#include "volume/DiskBuffer.h"
#include "volume/MemoryVolumeSource.h"
#include "volume/VolumeError.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every byte differs from the byte at the same place of its neighbouring sectors, so a byte served from the
// wrong sector or left over from an earlier window shows.
uint8_t PatternByte(uint64_t offset) {
    return static_cast<uint8_t>((offset * 7) ^ (offset >> 9) ^ (offset >> 11) ^ (offset >> 12) ^ 0x5A);
}

std::vector<uint8_t> Pattern(uint64_t length) {
    std::vector<uint8_t> bytes(length);
    for (uint64_t i = 0; i < length; ++i)
        bytes[i] = PatternByte(i);
    return bytes;
}

// The bytes a request must yield: the volume's, then zeros past its end.
std::vector<uint8_t> Expected(uint64_t volumeLength, uint64_t offset, uint32_t count) {
    std::vector<uint8_t> bytes(count, 0);
    for (uint32_t i = 0; i < count; ++i)
        if (offset + i < volumeLength)
            bytes[i] = PatternByte(offset + i);
    return bytes;
}

// Every pair of a case and a fault model.
template <typename TCase, size_t N>
std::vector<std::pair<TCase, TMemoryVolumeSource::TFaultModel>>
Combine(const TCase (&cases)[N], std::initializer_list<TMemoryVolumeSource::TFaultModel> models) {
    std::vector<std::pair<TCase, TMemoryVolumeSource::TFaultModel>> pairs;
    for (const TCase& c : cases)
        for (auto model : models)
            pairs.emplace_back(c, model);
    return pairs;
}

struct TVolume {
    TMemoryVolumeSource* source; // owned by the window
    std::unique_ptr<TDiskBuffer> window;
};

using TFaultModel = TMemoryVolumeSource::TFaultModel;

TVolume MakeVolume(uint64_t sectors, uint32_t sectorSize, uint32_t halfWindowBytes,
                   const std::vector<uint64_t>& failing = {}, TFaultModel faultModel = TFaultModel::KeepBuffer) {
    auto source = std::make_unique<TMemoryVolumeSource>(Pattern(sectors * sectorSize), sectorSize, "test volume",
                                                        std::set<uint64_t>(failing.begin(), failing.end()), faultModel);
    TMemoryVolumeSource* raw = source.get();
    auto window = std::make_unique<TDiskBuffer>(std::move(source), halfWindowBytes);
    return {raw, std::move(window)};
}

TEST(DiskBufferFirstWindow, HoldsTwiceTheWindowBytesFromSectorOne) {
    struct TCase {
        uint32_t sectorSize;
        uint64_t sectors;
        uint32_t windowSectors;
        uint64_t windowCount;
    };
    const TCase cases[] = {
        {512, 81925, 81920, 81920}, // a full window: 40 MiB
        {512, 81921, 81920, 81920}, // exactly sectors 1 to 81920
        {512, 1000, 81920, 999},    // the volume is smaller than a window
        {2048, 300, 20480, 299},    {4096, 300, 10240, 299},
        {512, 1, 81920, 0}, // sector 0 only: the window begins past the volume's end
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE("sector size " + std::to_string(c.sectorSize) + ", sectors " + std::to_string(c.sectors));
        TVolume v = MakeVolume(c.sectors, c.sectorSize, 0x1400000);
        EXPECT_EQ(v.window->WindowSectors(), c.windowSectors);
        EXPECT_EQ(v.window->WindowFirst(), 1u);
        EXPECT_EQ(v.window->WindowCount(), c.windowCount);
        EXPECT_EQ(v.window->SectorCount(), c.sectors);
        EXPECT_EQ(v.window->SectorSize(), c.sectorSize);
        ASSERT_EQ(v.source->Reads().size(), c.windowCount > 0 ? 1u : 0u) << "one read for the whole window";
        if (c.windowCount > 0) {
            EXPECT_EQ(v.source->Reads()[0].FirstSector, 1u) << "sector 0 is not read until asked for";
            EXPECT_EQ(v.source->Reads()[0].Count, c.windowCount);
        }
    }
}

// Window of 8 sectors (half window of 4 sectors) on a volume of 40 sectors; the first window holds 1 to 8.
struct TRequestCase {
    const char* what;
    uint64_t offsetSectors;
    int64_t offsetExtra; // bytes added to offsetSectors × sector size (may be negative)
    uint32_t countSectors;
    uint32_t countExtra;
    bool reloads;
    uint64_t windowFirst;
    uint64_t windowCount;
};

const TRequestCase kRequests[] = {
    {"inside the window", 2, 5, 0, 100, false, 1, 8},
    {"sample whose next sector is the window's last", 6, 0, 2, 0, false, 1, 8},
    {"sample at the window's last-but-one sector", 7, 0, 2, 0, true, 7, 8},
    {"range ending exactly at the window's end", 5, 0, 4, 0, true, 5, 8},
    {"starts in the sector just before the window", 0, 10, 0, 4, true, 0, 8},
    {"last byte of the window's last sector", 9, -1, 0, 1, true, 8, 8},
    {"the byte before it", 9, -2, 0, 1, false, 1, 8},
    {"count 0 inside the window", 4, 0, 0, 0, false, 1, 8},
    {"window shrinks at the volume's end", 36, 0, 2, 0, true, 36, 4},
    {"sample of the last sector reaches past the end", 39, 0, 2, 0, true, 39, 1},
    {"range ending on the volume's last byte", 37, -100, 3, 100, true, 36, 4},
    {"request wholly past the end", 45, 3, 0, 10, true, 45, 0},
};

class DiskBufferRequest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(DiskBufferRequest, MovesTheWindowByTheRuleAndServesTheVolumesBytes) {
    const uint32_t sectorSize = GetParam();
    const uint64_t sectors = 40;
    for (bool viaView : {false, true}) {
        for (const TRequestCase& c : kRequests) {
            SCOPED_TRACE(std::string(c.what) + (viaView ? " (ViewBytes)" : " (ReadBytes)"));
            TVolume v = MakeVolume(sectors, sectorSize, 4 * sectorSize);
            v.source->ClearReads();
            const uint64_t offset = c.offsetSectors * sectorSize + c.offsetExtra;
            const uint32_t count = c.countSectors * sectorSize + c.countExtra;
            std::vector<uint8_t> got;
            if (viaView) {
                const auto view = v.window->ViewBytes(offset, count);
                got.assign(view.begin(), view.end());
            } else {
                got = v.window->ReadBytes(offset, count);
            }
            EXPECT_EQ(got, Expected(sectors * sectorSize, offset, count));
            EXPECT_EQ(v.window->Loads(), c.reloads ? 2u : 1u);
            EXPECT_EQ(v.window->WindowFirst(), c.windowFirst);
            EXPECT_EQ(v.window->WindowCount(), c.windowCount);
            if (!c.reloads || c.windowCount == 0) {
                EXPECT_TRUE(v.source->Reads().empty());
            } else {
                ASSERT_EQ(v.source->Reads().size(), 1u);
                EXPECT_EQ(v.source->Reads()[0].FirstSector, c.windowFirst);
                EXPECT_EQ(v.source->Reads()[0].Count, c.windowCount) << "never a sector past the volume's end";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, DiskBufferRequest, ::testing::Values(512u, 2048u, 4096u));

TEST(DiskBufferReadBytes, ArraysKeepTheirBytesAfterReloads) {
    TVolume v = MakeVolume(40, 512, 4 * 512);
    const TBuffData early = v.window->ReadBytes(2 * 512, 1024);
    const TBuffData later = v.window->ReadBytes(20 * 512, 1024);
    const TBuffData latest = v.window->ReadBytes(0, 1024);
    EXPECT_EQ(v.window->Loads(), 3u);
    EXPECT_EQ(early, Expected(40 * 512, 2 * 512, 1024));
    EXPECT_EQ(later, Expected(40 * 512, 20 * 512, 1024));
    EXPECT_EQ(latest, Expected(40 * 512, 0, 1024));
}

TEST(DiskBufferReadBytes, RequestLongerThanAWindowIsServedWhole) {
    TVolume v = MakeVolume(40, 512, 2 * 512); // windows of 4 sectors
    EXPECT_EQ(v.window->ReadBytes(3 * 512 + 7, 30 * 512), Expected(40 * 512, 3 * 512 + 7, 30 * 512));
    EXPECT_EQ(v.window->ReadBytes(35 * 512, 10 * 512), Expected(40 * 512, 35 * 512, 10 * 512));
    EXPECT_THROW(v.window->ViewBytes(0, 3 * 512), std::length_error) << "a view is one window's bytes at most";
}

// The scan's access pattern (a two-sector sample at every sector, then byte reads along a run) gives the same
// bytes whatever the window size, down to a window argument of one sector and below, across every window edge
// and at the volume's end.
TEST(DiskBufferWalk, SamplesAndBytesAgreeWithTheVolumeForEveryWindowSize) {
    const uint64_t sectors = 97;
    for (uint32_t sectorSize : {512u, 2048u}) {
        const uint64_t length = sectors * sectorSize;
        for (uint32_t halfWindowBytes : {0u, 1u, sectorSize - 1, sectorSize, sectorSize + 1, 2 * sectorSize - 1,
                                         3 * sectorSize, 5 * sectorSize + 100, 64 * sectorSize}) {
            SCOPED_TRACE("sector size " + std::to_string(sectorSize) + ", half window " +
                         std::to_string(halfWindowBytes));
            TVolume v = MakeVolume(sectors, sectorSize, halfWindowBytes);
            for (uint64_t sector = 1; sector < sectors; ++sector) {
                const auto sample = v.window->ViewBytes(sector * sectorSize, 2 * sectorSize);
                ASSERT_EQ(std::vector<uint8_t>(sample.begin(), sample.end()),
                          Expected(length, sector * sectorSize, 2 * sectorSize))
                    << "sample at sector " << sector;
            }
            for (uint64_t offset = length - 3 * sectorSize - 5; offset < length + 3; ++offset)
                ASSERT_EQ(v.window->ReadBytes(offset, 1), Expected(length, offset, 1)) << "byte " << offset;
            EXPECT_EQ(v.window->UnreadableSectors(), 0u);
        }
    }
}

// Requests that start inside a sector span one sector more than their length: every size the window accepts
// serves them whole, through a view of up to ViewLimit() bytes and through ReadBytes of any length.
TEST(DiskBufferWalk, UnalignedRequestsGetTheVolumesBytesForEveryWindowSize) {
    const uint32_t sectorSize = 512;
    const uint64_t sectors = 8;
    const uint64_t length = sectors * sectorSize;
    for (uint32_t halfWindowBytes : {0u, 1u, 511u, 512u, 513u, 1023u, 1024u, 1536u}) {
        SCOPED_TRACE("half window " + std::to_string(halfWindowBytes));
        TVolume v = MakeVolume(sectors, sectorSize, halfWindowBytes);
        EXPECT_GE(v.window->ViewLimit(), 2 * sectorSize);
        for (uint64_t offset : std::vector<uint64_t>{0, 1, 513, 1000, 2148, length - 1000, length - 1}) {
            for (uint32_t count : {1u, 511u, 513u, 1000u, 1024u, v.window->ViewLimit(), 3000u}) {
                ASSERT_EQ(v.window->ReadBytes(offset, count), Expected(length, offset, count))
                    << "ReadBytes(" << offset << ", " << count << ")";
                if (count > v.window->ViewLimit())
                    continue;
                const auto view = v.window->ViewBytes(offset, count);
                ASSERT_EQ(std::vector<uint8_t>(view.begin(), view.end()), Expected(length, offset, count))
                    << "ViewBytes(" << offset << ", " << count << ")";
            }
        }
    }
}

// Sectors that fail to read: the window reads the rest around them, serves zeros for them (never what an
// earlier window held at that place, nor what the failed read left there) and counts each bad sector once,
// however often it is asked for.
TEST(DiskBufferFaults, FailedSectorsReadAsZerosAndAreCountedOnce) {
    struct TCase {
        const char* what;
        std::vector<uint64_t> failing;
    };
    const TCase cases[] = {
        {"one sector inside the first window", {5}},
        {"a run of sectors across a window edge", {14, 15, 16, 17, 18}},
        {"the first sector of the first window", {1}},
        {"sector 0, read only when asked for", {0}},
        {"the volume's last sector", {63}},
        {"scattered sectors", {3, 9, 27, 40, 41, 58}},
        {"a whole window's worth", {20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35}},
    };
    const uint32_t sectorSize = 512;
    const uint64_t sectors = 64;
    const uint64_t length = sectors * sectorSize;
    for (const auto& [c, faultModel] : Combine(cases, {TFaultModel::KeepBuffer, TFaultModel::Garbage})) {
        SCOPED_TRACE(std::string(c.what) + (faultModel == TFaultModel::Garbage ? ", garbage left" : ""));
        TVolume v = MakeVolume(sectors, sectorSize, 8 * sectorSize, c.failing, faultModel); // windows of 16 sectors
        std::vector<uint8_t> expected = Pattern(length);
        for (uint64_t sector : c.failing)
            std::fill_n(expected.begin() + static_cast<ptrdiff_t>(sector * sectorSize), sectorSize, 0);
        // Walk twice, the second time starting from sector 0, so that every window is loaded over the bytes of
        // another one and overlapping windows ask for the same bad sectors again.
        for (int pass = 0; pass < 2; ++pass) {
            for (uint64_t sector = pass == 0 ? 1 : 0; sector < sectors; ++sector) {
                const TBuffData sample = v.window->ReadBytes(sector * sectorSize, 2 * sectorSize);
                std::vector<uint8_t> want(2 * sectorSize, 0);
                const uint64_t available = std::min<uint64_t>(2 * sectorSize, length - sector * sectorSize);
                std::copy_n(expected.begin() + static_cast<ptrdiff_t>(sector * sectorSize), available, want.begin());
                ASSERT_EQ(sample, want) << "pass " << pass << ", sample at sector " << sector;
            }
        }
        EXPECT_EQ(v.window->UnreadableSectors(), c.failing.size());
    }
}

TEST(DiskBufferFaults, OneBadSectorCostsAFewReadsNotOnePerSector) {
    TVolume v = MakeVolume(4096, 512, 1024 * 512, {700}); // one window of 2048 sectors
    // The whole window, then halves down to the bad sector: about two reads per halving.
    EXPECT_LE(v.source->Reads().size(), 2u * 12u + 1u);
    EXPECT_EQ(v.window->UnreadableSectors(), 1u);
    EXPECT_EQ(v.window->ReadBytes(699 * 512, 512), Expected(4096 * 512, 699 * 512, 512));
    EXPECT_EQ(v.window->ReadBytes(700 * 512, 512), TBuffData(512, 0));
    EXPECT_EQ(v.window->ReadBytes(701 * 512, 512), Expected(4096 * 512, 701 * 512, 512));
}

// A volume that only tells its size: enough to be refused at construction.
class TSizeOnlySource : public IVolumeSource {
public:
    TSizeOnlySource(uint64_t length, uint32_t sectorSize) : length_(length), sectorSize_(sectorSize) {}
    const std::string& Name() const override { return name_; }
    uint32_t SectorSize() const override { return sectorSize_; }
    uint64_t LengthBytes() const override { return length_; }
    bool ReadSectors(uint64_t, uint32_t, uint8_t*) override { return false; }

private:
    std::string name_ = "volume Q7";
    uint64_t length_;
    uint32_t sectorSize_;
};

TEST(DiskBufferErrors, UnusableVolumesAreRefusedWithTheirName) {
    struct TCase {
        const char* what;
        uint64_t length;
        uint32_t sectorSize;
        const char* cause;
    };
    const TCase cases[] = {
        {"sector size 0", 4096, 0, "sector size is 0"},
        {"empty volume", 0, 512, "no whole sector"},
        {"shorter than one sector", 100, 512, "no whole sector"},
        {"sector size beyond any device's", 1ull << 32, 0x80000000u, "sector size of 2147483648 bytes"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            TDiskBuffer window(std::make_unique<TSizeOnlySource>(c.length, c.sectorSize), 0x1400000);
            ADD_FAILURE() << "accepted";
        } catch (const TVolumeError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find("volume Q7"), std::string::npos) << text;
            EXPECT_NE(text.find(c.cause), std::string::npos) << text;
        }
    }
    EXPECT_THROW(TDiskBuffer(std::unique_ptr<IVolumeSource>(), 0x1400000), TVolumeError);
    EXPECT_THROW(TDiskBuffer("", 0x1400000), TVolumeError);
}

} // namespace
