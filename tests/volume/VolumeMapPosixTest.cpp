// Image files read through a map: the window serves views into it, and a page that cannot be read (here: a file
// cut short while mapped, which faults as a media error does) is served as zeros and counted, never a crash.
#include "volume/DiskBuffer.h"
#include "volume/PathVolumeSource.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

uint8_t PatternByte(uint64_t offset) {
    return static_cast<uint8_t>((offset * 7) ^ (offset >> 9) ^ 0x5A);
}

class TImage {
public:
    explicit TImage(uint64_t length) {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrevan-map-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        path_ = pattern;
        std::vector<uint8_t> bytes(length);
        for (uint64_t i = 0; i < length; ++i)
            bytes[i] = PatternByte(i);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    ~TImage() { unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }
    void CutTo(uint64_t length) const { EXPECT_EQ(truncate(path_.c_str(), static_cast<off_t>(length)), 0); }

private:
    std::string path_;
};

// The bytes a request must yield when the volume's bytes from `lostFrom` on cannot be read: those before, then
// zeros (and zeros past the volume's end).
std::vector<uint8_t> Expected(uint64_t lostFrom, uint64_t offset, uint32_t count) {
    std::vector<uint8_t> bytes(count, 0);
    for (uint32_t i = 0; i < count; ++i)
        if (offset + i < lostFrom)
            bytes[i] = PatternByte(offset + i);
    return bytes;
}

TEST(VolumeMap, ImageFilesAreServedFromTheMap) {
    const uint32_t sectorSize = 512;
    TImage image(256 * sectorSize);
    auto source = std::make_unique<TPathVolumeSource>(image.Path(), sectorSize);
    const uint8_t* mapped = source->MappedBytes();
    ASSERT_NE(mapped, nullptr);
    TDiskBuffer window(std::move(source), 4 * sectorSize);
    const auto view = window.ViewBytes(3 * sectorSize + 5, 100);
    EXPECT_EQ(view.data(), mapped + 3 * sectorSize + 5) << "a view into the map, not a copy";
    EXPECT_EQ(std::vector<uint8_t>(view.begin(), view.end()), Expected(~0ull, 3 * sectorSize + 5, 100));
}

// The file is cut short after the window mapped it: pages past the new end raise SIGBUS when touched. Every byte
// the window serves is still the volume's or zero, every lost sector is counted once, and the process lives.
// Several windows over one image at once (as a multi-threaded walk opens them) each count what they lose.
TEST(VolumeMap, FileCutShortWhileMappedReadsAsZerosAndCountsTheLostSectors) {
    struct TCase {
        const char* what;
        uint32_t sectorSize;
        uint64_t sectors;
        uint64_t keptSectors; // a whole number of pages
        uint32_t halfWindowBytes;
    };
    const TCase cases[] = {
        {"512-byte sectors, small windows", 512, 256, 96, 4 * 512},
        {"512-byte sectors, a window of one sector", 512, 256, 8, 512},
        {"4096-byte sectors", 4096, 64, 10, 8 * 4096},
        {"everything after sector 0 lost", 512, 300, 8, 16 * 512},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const uint64_t length = c.sectors * c.sectorSize;
        TImage image(length);
        TDiskBuffer first(image.Path(), c.halfWindowBytes, c.sectorSize);
        TDiskBuffer second(image.Path(), c.halfWindowBytes, c.sectorSize);
        image.CutTo(c.keptSectors * c.sectorSize);
        const uint64_t lostFrom = c.keptSectors * c.sectorSize;
        for (TDiskBuffer* window : {&first, &second}) {
            for (uint64_t sector = 1; sector < c.sectors; ++sector) {
                const uint64_t offset = sector * c.sectorSize;
                const auto sample = window->ViewBytes(offset, 2 * c.sectorSize);
                ASSERT_EQ(std::vector<uint8_t>(sample.begin(), sample.end()),
                          Expected(lostFrom, offset, 2 * c.sectorSize))
                    << "sample at sector " << sector;
                ASSERT_EQ(window->ReadBytes(offset + 7, 9), Expected(lostFrom, offset + 7, 9));
            }
            // Back over the lost sectors: served as zeros again, not counted again.
            EXPECT_EQ(window->ReadBytes(lostFrom, 3 * c.sectorSize), Expected(lostFrom, lostFrom, 3 * c.sectorSize));
            EXPECT_EQ(window->UnreadableSectors(), c.sectors - c.keptSectors);
        }
    }
}

// This process's resident bytes of the mapping that holds `address` (from /proc/self/smaps).
uint64_t ResidentBytesOfMapping(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        uintptr_t begin = 0, end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &begin, &end) == 2 && line.find(':') > line.find(' '))
            inside = begin <= at && at < end;
        else if (inside && line.rfind("Rss:", 0) == 0)
            return std::stoull(line.substr(4)) * 1024;
    }
    return 0;
}

// Bytes read straight from the map past the window (a run longer than the window) are the file's, and their
// pages are given back once the window has passed them, also when they lie behind where the window was.
TEST(VolumeMap, BytesReadStraightFromTheMapAreGivenBackOnceTheWindowPassesThem) {
    const uint64_t MiB = 1 << 20;
    const uint64_t length = 40 * MiB;
    TImage image(length);
    auto source = std::make_unique<TPathVolumeSource>(image.Path(), 512);
    const uint8_t* mapped = source->MappedBytes();
    ASSERT_NE(mapped, nullptr);
    TDiskBuffer window(std::move(source), MiB);
    EXPECT_EQ(window.ViewBytes(20 * MiB, 512)[0], PatternByte(20 * MiB)); // the window at 20 MiB
    const auto run = window.MappedBytes(2 * MiB, 24 * MiB);               // from behind the window to far ahead
    ASSERT_EQ(run.size(), 24 * MiB);
    EXPECT_EQ(run.data(), mapped + 2 * MiB);
    uint64_t differing = 0;
    for (uint64_t k = 0; k < run.size(); ++k)
        differing += run[k] != PatternByte(2 * MiB + k);
    EXPECT_EQ(differing, 0u);
    EXPECT_GE(ResidentBytesOfMapping(mapped), 24 * MiB);
    window.ViewBytes(30 * MiB, 512); // the walk goes on past the run
    EXPECT_LE(ResidentBytesOfMapping(mapped), 8 * MiB) << "pages behind the window are given back";
    // Reaching past the volume's whole sectors: nothing, the caller reads through the window instead.
    EXPECT_TRUE(window.MappedBytes(length - 512, 513).empty());
    EXPECT_EQ(window.MappedBytes(length - 512, 512).size(), 512u);
}

// A walk far enough that the pages behind it are given back (every 4 MiB), then back to the start: the bytes
// come again from the file, lost sectors read as zeros again and are not counted twice.
TEST(VolumeMap, PagesGivenBackBehindTheWalkReadAgainWhenTheWindowReturns) {
    const uint64_t MiB = 1 << 20;
    const uint64_t length = 80 * MiB;
    for (uint64_t keptBytes : {length, 40 * MiB}) {
        SCOPED_TRACE("bytes kept " + std::to_string(keptBytes));
        TImage image(0);
        ASSERT_EQ(truncate(image.Path().c_str(), static_cast<off_t>(length)), 0);
        const auto marker = [](uint64_t at) { return "marker at " + std::to_string(at); };
        const int fd = open(image.Path().c_str(), O_WRONLY);
        for (uint64_t at = 0; at < length; at += MiB)
            ASSERT_GT(pwrite(fd, marker(at).data(), marker(at).size(), static_cast<off_t>(at)), 0);
        close(fd);
        TDiskBuffer window(image.Path(), MiB);
        image.CutTo(keptBytes);
        const auto markerAt = [&](uint64_t at) {
            const TBuffData bytes = window.ReadBytes(at, static_cast<uint32_t>(marker(at).size()));
            return std::string(bytes.begin(), bytes.end());
        };
        uint64_t seen = 0;
        for (uint64_t sector = 1; sector < length / 512; ++sector)
            seen += window.ViewBytes(sector * 512, 1024)[0];
        EXPECT_GT(seen, 0u);
        for (uint64_t at : {MiB, 33 * MiB, 39 * MiB, 41 * MiB, 70 * MiB})
            EXPECT_EQ(markerAt(at), at < keptBytes ? marker(at) : std::string(marker(at).size(), '\0')) << at;
        EXPECT_EQ(window.UnreadableSectors(), (length - keptBytes) / 512);
    }
}

} // namespace
