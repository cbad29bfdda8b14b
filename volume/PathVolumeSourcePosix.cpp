// Image files and device nodes on POSIX systems: open once, read by pread at 64-bit offsets.
#include "volume/PathVolumeSource.h"
#include "volume/PosixFile.h"
#include "volume/SystemError.h"
#include "volume/VolumeError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

struct TPathVolumeSource::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0)
            close(fd);
    }
};

TPathVolumeSource::TPathVolumeSource(const std::string& path, uint32_t imageSectorSize)
    : path_(path), handle_(std::make_unique<Handle>()) {
    const auto fail = [&](const std::string& cause) { throw TVolumeError("Cannot read \"" + path + "\": " + cause); };
    if (path.empty())
        throw TVolumeError("No drive, image file or device was given");
    // O_NONBLOCK: opening a pipe must not wait for a writer (it is then refused as not a volume).
    handle_->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (handle_->fd < 0)
        fail(SystemErrorText(static_cast<uint32_t>(errno)));
    if (const int error = MeasurePosixFile(handle_->fd, imageSectorSize, sectorSize_, lengthBytes_))
        fail(SystemErrorText(static_cast<uint32_t>(error)));
    RefuseUnusableShape();
}

TPathVolumeSource::~TPathVolumeSource() = default;

bool TPathVolumeSource::ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) {
    if (firstSector > std::numeric_limits<uint64_t>::max() / sectorSize_)
        return false;
    return PreadFully(handle_->fd, firstSector * sectorSize_, buffer, static_cast<size_t>(count) * sectorSize_);
}
