// The platform-independent pieces of the volume queries and the drive list: geometry from the free-space
// figures, and the walk over a drive-strings buffer.
#include "volume/GetDrives.h"
#include "volume/RawDiskAccess.h"
#include "volume/SystemError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(GeometryFromFreeSpace, TotalsComeFromTheExtendedQueryOrWrapAt4GiB) {
    struct TCase {
        const char* what;
        TFreeSpace space;
        int64_t totalBytes;
        int64_t freeBytes;
    };
    const uint64_t GiB = 1ull << 30;
    const TCase cases[] = {
        {"extended query, 5 GiB volume", {8, 512, 262144, 1310720, true, 5 * GiB, GiB}, 5 * GiB, GiB},
        {"old query, 5 GiB volume wraps to 1 GiB", {8, 512, 262144, 1310720, false, 0, 0}, 1 * GiB, GiB},
        {"old query, exactly 4 GiB wraps to 0", {8, 512, 0, 1048576, false, 0, 0}, 0, 0},
        {"old query, small volume is exact", {4, 512, 100, 1000, false, 0, 0}, 2048000, 204800},
        {"queries failed: all zeros", {0, 0, 0, 0, true, 0, 0}, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TDriveGeometry geometry = GeometryFromFreeSpace(c.space);
        EXPECT_EQ(geometry.TotalBytes, c.totalBytes);
        EXPECT_EQ(geometry.FreeBytes, c.freeBytes);
        EXPECT_EQ(geometry.BytesPerSector, static_cast<int32_t>(c.space.BytesPerSector));
        EXPECT_EQ(geometry.SectorsPerCluster, static_cast<int32_t>(c.space.SectorsPerCluster));
        EXPECT_EQ(geometry.ClusterSize, static_cast<int32_t>(c.space.SectorsPerCluster * c.space.BytesPerSector));
        EXPECT_EQ(geometry.TotalClusters, static_cast<int64_t>(c.space.TotalClusters));
        EXPECT_EQ(geometry.FreeClusters, static_cast<int64_t>(c.space.FreeClusters));
    }
}

TEST(GeometryFromFreeSpace, ClusterCountsAboveTwoBillionStayPositive) {
    const TDriveGeometry geometry = GeometryFromFreeSpace({1, 512, 0xF0000000u, 0xFFFFFFFFu, true, 0, 0});
    EXPECT_EQ(geometry.TotalClusters, 0xFFFFFFFFll);
    EXPECT_EQ(geometry.FreeClusters, 0xF0000000ll);
}

// A drive-strings buffer as GetLogicalDriveStringsA fills it: "A:\" NUL "C:\" NUL ... NUL.
std::string DriveStrings(const std::vector<std::string>& roots) {
    std::string buffer;
    for (const std::string& root : roots)
        buffer += root + '\0';
    return buffer + '\0';
}

std::vector<std::string> AllLetters() {
    std::vector<std::string> roots;
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        roots.push_back(std::string(1, letter) + ":\\");
    return roots;
}

TEST(ListDriveStrings, KeepsTheReadyDrivesInOrderAndReportsEachOnce) {
    struct TCase {
        const char* what;
        std::vector<std::string> listed;
        std::vector<std::string> ready;
    };
    const TCase cases[] = {
        {"A without a medium, C and D ready", {"A:\\", "C:\\", "D:\\"}, {"C:\\", "D:\\"}},
        {"no drive ready", {"A:\\", "B:\\"}, {}},
        {"all 26 letters fit the 129-byte buffer", AllLetters(), AllLetters()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string buffer = DriveStrings(c.listed);
        std::vector<std::string> asked, reported;
        const TDriveArray drives = TGetDrives::ListDriveStrings(
            buffer.data(), static_cast<uint32_t>(buffer.size() - 1), 129,
            [&](const std::string& root) {
                asked.push_back(root);
                return std::find(c.ready.begin(), c.ready.end(), root) != c.ready.end();
            },
            [&](const std::string& root) { reported.push_back(root); });
        EXPECT_EQ(drives, c.ready);
        EXPECT_EQ(reported, c.ready);
        EXPECT_EQ(asked, c.listed);
    }
}

TEST(ListDriveStrings, NothingListedOrBufferTooSmall) {
    const std::string buffer = DriveStrings({"C:\\"});
    int calls = 0;
    const auto ready = [&](const std::string&) { return ++calls, true; };
    const auto report = [&](const std::string&) { ++calls; };
    EXPECT_TRUE(TGetDrives::ListDriveStrings(buffer.data(), 0, 129, ready, report).empty());
    try {
        TGetDrives::ListDriveStrings(buffer.data(), 200, 129, ready, report);
        ADD_FAILURE() << "a list longer than the buffer was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), SystemErrorText(14));
    }
    EXPECT_EQ(calls, 0) << "no drive is tried or reported when there is no list";
}

} // namespace
