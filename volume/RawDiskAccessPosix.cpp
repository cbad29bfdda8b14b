// RawDiskAccess on POSIX systems: volumes are image files and block devices named by path; they read like the
// NT way (by 64-bit byte offset), so the platform family reads as "NT".
#include "volume/RawDiskAccess.h"
#include "volume/PosixFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

std::string GetPlatformName() {
    return "NT";
}

TMediaIdentifier GetMediaIdentifier(char) {
    return {};
}

bool IsDriveRoot(const std::string&) {
    return false;
}

bool ReadSectors(uint8_t, uint64_t, uint32_t, void*) {
    return false;
}

TDriveGeometry GetDriveGeometry(const std::string& drive, uint32_t imageSectorSize) {
    if (drive.empty())
        return {};
    const int fd = open(drive.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    uint32_t sectorSize = 0;
    uint64_t lengthBytes = 0;
    const bool measured = MeasurePosixFile(fd, imageSectorSize, sectorSize, lengthBytes) == 0;
    close(fd);
    if (!measured || sectorSize == 0)
        return {};
    TFreeSpace space;
    space.BytesPerSector = sectorSize;
    space.SectorsPerCluster = 1;
    space.TotalClusters = static_cast<uint32_t>(std::min<uint64_t>(lengthBytes / sectorSize, 0xFFFFFFFFu));
    space.HasExtended = true;
    space.TotalBytes = lengthBytes;
    return GeometryFromFreeSpace(space);
}

int MeasurePosixFile(int fd, uint32_t imageSectorSize, uint32_t& sectorSize, uint64_t& lengthBytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (S_ISBLK(info.st_mode)) {
        int logicalSector = 0;
        uint64_t size = 0;
        if (ioctl(fd, BLKSSZGET, &logicalSector) != 0 || ioctl(fd, BLKGETSIZE64, &size) != 0)
            return errno;
        sectorSize = static_cast<uint32_t>(logicalSector);
        lengthBytes = size;
        return 0;
    }
    if (!S_ISREG(info.st_mode))
        return ENOTBLK; // a pipe, socket or character device: no sectors to read
    sectorSize = imageSectorSize;
    lengthBytes = static_cast<uint64_t>(info.st_size);
    return 0;
}

bool PreadFully(int fd, uint64_t offset, uint8_t* buffer, size_t length) {
    while (length > 0) {
        const ssize_t got = pread(fd, buffer, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            errno = 0; // the end of the file came before the last byte
        if (got <= 0)
            return false;
        buffer += got;
        offset += static_cast<uint64_t>(got);
        length -= static_cast<size_t>(got);
    }
    return true;
}
