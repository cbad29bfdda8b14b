// The POSIX back end on real files: image files made here, a sparse file of 3 TiB, and the ways a path can be
// unusable (missing, empty, a directory, unreadable), each refused with the path and the system's reason.
#include "volume/DiskBuffer.h"
#include "volume/GetDrives.h"
#include "volume/PathVolumeSource.h"
#include "volume/RawDiskAccess.h"
#include "volume/VolumeError.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "ostrevan-volume-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        chmod(path_.c_str(), 0755); // an unprivileged user must reach the files inside
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string Marker(uint64_t sector) {
    return "sector " + std::to_string(sector) + " starts here";
}

void WriteAt(const std::string& path, uint64_t offset, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// Makes a sparse file of `length` bytes; false when the file system here cannot hold one that long.
bool MakeSparseFile(const std::string& path, uint64_t length) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ftruncate(fd, static_cast<off_t>(length)) == 0;
    close(fd);
    return ok;
}

std::string AsText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(PosixImageFile, KnownBytesAtKnownSectorsForEachSectorSize) {
    TempFolder folder;
    const std::string image = folder.File("disk.img");
    const uint64_t length = 4 << 20;
    ASSERT_TRUE(MakeSparseFile(image, length));
    for (uint32_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE("sector size " + std::to_string(sectorSize));
        const std::vector<uint64_t> sectors = {0, 1, 2, 777, length / sectorSize - 1};
        for (uint64_t sector : sectors)
            WriteAt(image, sector * sectorSize, Marker(sector));

        const TDriveGeometry geometry = GetDriveGeometry(image, sectorSize);
        EXPECT_EQ(geometry.BytesPerSector, static_cast<int32_t>(sectorSize));
        EXPECT_EQ(geometry.TotalBytes, static_cast<int64_t>(length));

        TDiskBuffer window(image, 16 * sectorSize, sectorSize);
        EXPECT_EQ(window.SectorCount(), length / sectorSize);
        EXPECT_EQ(window.SourceName(), image);
        for (uint64_t sector : sectors) {
            const std::string want = Marker(sector);
            EXPECT_EQ(AsText(window.ReadBytes(sector * sectorSize, static_cast<uint32_t>(want.size()))), want);
        }
        // The last sample reaches one sector past the end: the image's last sector, then zeros.
        const auto last = window.ViewBytes(length - sectorSize, 2 * sectorSize);
        const std::string lastMarker = Marker(length / sectorSize - 1);
        EXPECT_EQ(std::string(last.begin(), last.begin() + lastMarker.size()), lastMarker);
        EXPECT_TRUE(std::all_of(last.begin() + sectorSize, last.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(window.UnreadableSectors(), 0u);
    }
}

TEST(PosixImageFile, ReadPastTheEndFailsAndAReadAtTheEndSucceeds) {
    TempFolder folder;
    const std::string image = folder.File("small.img");
    ASSERT_TRUE(MakeSparseFile(image, 8 * 512));
    WriteAt(image, 7 * 512, Marker(7));
    TPathVolumeSource source(image, 512);
    std::vector<uint8_t> buffer(2 * 512, 0xEE);
    EXPECT_TRUE(source.ReadSectors(7, 1, buffer.data()));
    EXPECT_EQ(AsText(buffer).substr(0, Marker(7).size()), Marker(7));
    EXPECT_FALSE(source.ReadSectors(7, 2, buffer.data())) << "a short read is a failure";
    EXPECT_FALSE(source.ReadSectors(8, 1, buffer.data()));
    EXPECT_FALSE(source.ReadSectors(~0ull / 256, 1, buffer.data())) << "an offset beyond 2^64 is refused";
}

// Sector numbers past 2^32 (byte offsets past 2 TiB) land on the right byte.
TEST(PosixImageFile, SparseThreeTebibyteImageReadsPastTwoTebibytes) {
    TempFolder folder;
    const std::string image = folder.File("huge.img");
    const uint64_t TiB = 1ull << 40;
    if (!MakeSparseFile(image, 3 * TiB))
        GTEST_SKIP() << "the temporary folder's file system cannot hold a 3 TiB sparse file";
    const uint64_t sector = (5 * TiB / 2) / 512 + 12345; // above 2^32
    ASSERT_GT(sector, 0xFFFFFFFFull);
    WriteAt(image, sector * 512, Marker(sector));
    WriteAt(image, 3 * TiB - 512, Marker(3 * TiB / 512 - 1));

    const TDriveGeometry geometry = GetDriveGeometry(image);
    EXPECT_EQ(geometry.TotalBytes, static_cast<int64_t>(3 * TiB));

    TDiskBuffer window(image, 64 * 1024);
    EXPECT_EQ(window.SectorCount(), 3 * TiB / 512);
    for (uint64_t at : {sector, 3 * TiB / 512 - 1}) {
        const auto sample = window.ViewBytes(at * 512, 1024);
        EXPECT_EQ(std::string(sample.begin(), sample.begin() + Marker(at).size()), Marker(at));
        EXPECT_EQ(window.WindowFirst(), at);
    }
    // The sector 2^32 sectors below holds nothing: a truncated sector number would have read the marker there.
    EXPECT_EQ(window.ReadBytes((sector - (1ull << 32)) * 512, 8), TBuffData(8, 0));
}

// The cause a path is refused for, from the system's own text, with the path named.
void ExpectRefused(const std::string& path, const std::string& cause) {
    for (int way = 0; way < 2; ++way) {
        try {
            if (way == 0)
                OpenVolumeSource(path);
            else
                TDiskBuffer(path, 0x1400000);
            ADD_FAILURE() << path << " was accepted";
        } catch (const TVolumeError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find(path), std::string::npos) << text;
            EXPECT_NE(text.find(cause), std::string::npos) << text;
        }
    }
}

TEST(PosixImageFile, UnusablePathsAreRefusedWithThePathAndTheCause) {
    TempFolder folder;
    const std::string empty = folder.File("empty.img");
    ASSERT_TRUE(MakeSparseFile(empty, 0));
    const std::string tiny = folder.File("tiny.img");
    ASSERT_TRUE(MakeSparseFile(tiny, 100));
    const std::string directory = folder.File("folder");
    fs::create_directory(directory);
    const std::string pipe = folder.File("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    struct TCase {
        std::string path;
        std::string cause;
    };
    const TCase cases[] = {
        {folder.File("missing.img"), std::strerror(ENOENT)},
        {empty, "empty (0 bytes)"},
        {tiny, "smaller than one sector"},
        {directory, std::strerror(EISDIR)},
        {pipe, std::strerror(ENOTBLK)}, // and no wait for a writer
        {"/dev/null", std::strerror(ENOTBLK)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.path);
        ExpectRefused(c.path, c.cause);
    }
    EXPECT_THROW(OpenVolumeSource(""), TVolumeError);
    EXPECT_THROW(TPathVolumeSource(tiny, 0), TVolumeError) << "a sector size of 0";
}

// Root reads every file, so the refusal is checked in a child process that has dropped to an unprivileged user.
TEST(PosixImageFile, UnreadableFileIsRefusedWithPermissionDenied) {
    TempFolder folder;
    const std::string image = folder.File("locked.img");
    ASSERT_TRUE(MakeSparseFile(image, 4096));
    chmod(image.c_str(), 0);
    if (geteuid() != 0) {
        ExpectRefused(image, std::strerror(EACCES));
        return;
    }
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        std::string message = "setuid failed";
        if (setgid(65534) == 0 && setuid(65534) == 0) {
            try {
                OpenVolumeSource(image);
                message = "accepted";
            } catch (const TVolumeError& error) {
                message = error.what();
            }
        }
        [[maybe_unused]] const ssize_t written = write(pipeEnds[1], message.data(), message.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string message;
    char chunk[256];
    for (ssize_t got; (got = read(pipeEnds[0], chunk, sizeof(chunk))) > 0;)
        message.append(chunk, static_cast<size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_NE(message.find(image), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(EACCES)), std::string::npos) << message;
}

TEST(PosixQueries, FamilyIsNTAndThereAreNoDriveLetters) {
    EXPECT_EQ(GetPlatformName(), "NT");
    EXPECT_FALSE(IsDriveRoot("C:\\"));
    const TMediaIdentifier identity = GetMediaIdentifier('C');
    EXPECT_EQ(identity.SerialNumber, 0u);
    EXPECT_TRUE(identity.VolumeLabel.empty() && identity.FileSystem.empty());
    EXPECT_EQ(GetDriveGeometry(""), TDriveGeometry{});
    EXPECT_EQ(GetDriveGeometry("/nonexistent/ostrevan.img"), TDriveGeometry{});
    char buffer[512];
    EXPECT_FALSE(ReadSectors(3, 0, 1, buffer));
}

TEST(PosixDriveList, ListsOpenableDevicesThatHoldBytes) {
    TGetDrives drives;
    std::vector<std::string> reported;
    const TDriveArray listed = drives.ListDrives([&](const std::string& path) { reported.push_back(path); });
    EXPECT_EQ(listed, reported);
    for (const std::string& path : listed) {
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
        EXPECT_TRUE(drives.IsDriveReady(path)) << path;
    }
    TempFolder folder;
    const std::string empty = folder.File("empty.img");
    ASSERT_TRUE(MakeSparseFile(empty, 0));
    EXPECT_FALSE(drives.IsDriveReady(empty));
    EXPECT_FALSE(drives.IsDriveReady(folder.File("missing")));
}

// A block device reports its own sector size and length (BLKSSZGET, BLKGETSIZE64), whatever the caller's
// image sector size says.
TEST(PosixDriveList, BlockDeviceTellsItsOwnGeometry) {
    const TDriveArray listed = TGetDrives().ListDrives();
    if (listed.empty())
        GTEST_SKIP() << "no readable block device here";
    const auto source = OpenVolumeSource(listed.front(), 4000);
    EXPECT_NE(source->SectorSize(), 4000u);
    EXPECT_EQ(source->SectorSize() % 512, 0u);
    EXPECT_GT(source->LengthBytes(), 0u);
    const TDriveGeometry geometry = GetDriveGeometry(listed.front(), 4000);
    EXPECT_EQ(geometry.BytesPerSector, static_cast<int32_t>(source->SectorSize()));
    EXPECT_EQ(geometry.TotalBytes, static_cast<int64_t>(source->LengthBytes()));
    std::vector<uint8_t> buffer(source->SectorSize());
    EXPECT_TRUE(source->ReadSectors(0, 1, buffer.data()));
}

} // namespace
