// Image files and device nodes on POSIX systems: open once and map (the window serves views into the map), read
// by pread at 64-bit offsets where a window is cut short by the volume's end or the map cannot be made.
#include "volume/PathVolumeSource.h"
#include "volume/PosixFile.h"
#include "volume/SystemError.h"
#include "volume/VolumeError.h"
#include "volume/VolumeMap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

struct TPathVolumeSource::Handle {
    int fd = -1;
    std::unique_ptr<TVolumeMap> map; // unmapped before the file is closed
    ~Handle() {
        map.reset();
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
    handle_->map = std::make_unique<TVolumeMap>(handle_->fd, lengthBytes_, sectorSize_);
}

TPathVolumeSource::~TPathVolumeSource() = default;

bool TPathVolumeSource::ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) {
    if (firstSector > std::numeric_limits<uint64_t>::max() / sectorSize_)
        return false;
    return PreadFully(handle_->fd, firstSector * sectorSize_, buffer, static_cast<size_t>(count) * sectorSize_);
}

const uint8_t* TPathVolumeSource::MappedBytes() {
    return handle_->map ? handle_->map->Bytes() : nullptr;
}

void TPathVolumeSource::TakeUnreadableSectors(std::vector<uint64_t>& sectors) {
    if (handle_->map)
        handle_->map->TakeUnreadableSectors(sectors);
}

void TPathVolumeSource::ReadingAt(uint64_t offset, uint64_t length) {
    if (handle_->map)
        handle_->map->ReadingAt(offset, length);
}
