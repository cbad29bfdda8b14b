// Both scans over an image file, which is read through a map: runs longer than the window are read straight from
// the map, and the messages, their places and the unreadable sectors are those of the same bytes read through the
// window from memory, also when the file is cut short in the middle of a long run while it is mapped.
#include "tests/scan/ScanFixtures.h"
#include "volume/PathVolumeSource.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <random>

using namespace scantest;

namespace {

constexpr uint32_t kSector = 512;

class TImageFile {
public:
    explicit TImageFile(const Bytes& bytes) {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrevan-mapped-scan-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        path_ = pattern;
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    ~TImageFile() { unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }
    void CutTo(uint64_t length) const { EXPECT_EQ(truncate(path_.c_str(), static_cast<off_t>(length)), 0); }

private:
    std::string path_;
};

struct TOutcome {
    TEmailArray found;
    std::vector<TFoundLocation> locations;
    uint64_t unreadable = 0;
};

TOutcome Scan(
    std::unique_ptr<IVolumeSource> source, uint32_t halfWindowBytes, TScanMode mode,
    const std::function<void()>& beforeScan = [] {}) {
    TCountingPump pump;
    TNoProgress none;
    TScanHardDisk scanner(std::move(source), pump, none, halfWindowBytes, mode);
    beforeScan();
    TOutcome outcome;
    outcome.found = scanner.Scan();
    outcome.locations = scanner.Locations();
    outcome.unreadable = scanner.UnreadableSectors();
    return outcome;
}

// Long runs of messages (far longer than the small windows below) between stretches of noise and zeros.
Bytes LongRunsImage() {
    std::mt19937 random(41);
    Bytes image(3000 * kSector, 0);
    for (uint64_t at = kSector; at + 200 * kSector < image.size(); at += 300 * kSector) {
        std::string run;
        const std::string subject = "run " + std::to_string(at);
        for (int k = 0; run.size() < 150 * kSector; ++k) {
            const std::string number = std::to_string(k); // named: GCC 12 warns wrongly on "a" + to_string(k)
            run +=
                MakeMessage("a" + number + "@example.org", "b@example.net", subject, std::string(random() % 4000, 'x'));
        }
        Put(image, at, run);
        for (uint64_t k = at + run.size() + 1; k < at + 200 * kSector; ++k)
            image[k] = static_cast<uint8_t>(random());
    }
    return image;
}

TEST(MappedScan, LongRunsReadFromTheMapGiveWhatTheWindowGives) {
    const Bytes image = LongRunsImage();
    // Cut inside the second run, on a page boundary (a page cut in the middle reads as zeros past the end without
    // a fault): what follows is lost while the file is mapped.
    const uint64_t keptBytes = 304 * kSector + 48 * 4096;
    std::set<uint64_t> lost;
    for (uint64_t sector = keptBytes / kSector; sector < image.size() / kSector; ++sector)
        lost.insert(sector);
    for (TScanMode mode : {TScanMode::Standard, TScanMode::Deep}) {
        for (uint32_t halfWindowBytes : {kSector, 8 * kSector, 64u * 1024}) {
            for (bool cut : {false, true}) {
                SCOPED_TRACE(testing::Message() << (mode == TScanMode::Deep ? "deep" : "standard") << " scan, half "
                                                << "window " << halfWindowBytes << (cut ? ", file cut short" : ""));
                const TOutcome expected =
                    Scan(std::make_unique<TTestVolume>(image, kSector, cut ? lost : std::set<uint64_t>{}),
                         halfWindowBytes, mode);
                ASSERT_GT(expected.found.size(), cut ? 1u : 10u);
                TImageFile file(image);
                auto source = std::make_unique<TPathVolumeSource>(file.Path(), kSector);
                ASSERT_NE(source->MappedBytes(), nullptr);
                const TOutcome outcome = Scan(std::move(source), halfWindowBytes, mode, [&] {
                    if (cut)
                        file.CutTo(keptBytes);
                });
                ASSERT_EQ(outcome.found.size(), expected.found.size());
                for (size_t k = 0; k < outcome.found.size(); ++k)
                    EXPECT_TRUE(SameEmail(outcome.found[k], expected.found[k])) << k;
                EXPECT_TRUE(SameLocations(outcome.locations, expected.locations));
                EXPECT_EQ(outcome.unreadable, cut ? lost.size() : 0u);
            }
        }
    }
}

} // namespace
