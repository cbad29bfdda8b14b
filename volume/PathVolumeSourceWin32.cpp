// Image files and device nodes (\\.\PhysicalDrive1) on Windows: opened once as a device file, read at 64-bit
// offsets in capped requests.
#include "volume/PathVolumeSource.h"
#include "volume/DeviceFile.h"
#include "volume/SystemError.h"
#include "volume/VolumeError.h"

#include <windows.h>

struct TPathVolumeSource::Handle {
    std::unique_ptr<IDeviceFile> file;
};

TPathVolumeSource::TPathVolumeSource(const std::string& path, uint32_t imageSectorSize)
    : path_(path), handle_(std::make_unique<Handle>()) {
    const auto fail = [&](const std::string& cause) { throw TVolumeError("Cannot read \"" + path + "\": " + cause); };
    if (path.empty())
        throw TVolumeError("No drive, image file or device was given");
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        fail("it is a folder, not an image file or a device");
    uint32_t error = 0;
    handle_->file = OpenDeviceFile(path, error);
    if (!handle_->file)
        fail(SystemErrorText(error));
    // A device reports its own sector size; an image file has none, so the caller's applies.
    const uint32_t deviceSectorSize = handle_->file->SectorSize();
    sectorSize_ = deviceSectorSize > 0 ? deviceSectorSize : imageSectorSize;
    if (!handle_->file->Length(lengthBytes_))
        fail("its size cannot be told: " + SystemErrorText(GetLastError()));
    RefuseUnusableShape();
}

TPathVolumeSource::~TPathVolumeSource() = default;

bool TPathVolumeSource::ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) {
    return ReadDeviceSectors(*handle_->file, sectorSize_, firstSector, count, buffer);
}

// Windows reads into the window; it maps nothing.
const uint8_t* TPathVolumeSource::MappedBytes() {
    return nullptr;
}

void TPathVolumeSource::TakeUnreadableSectors(std::vector<uint64_t>&) {}

void TPathVolumeSource::ReadingAt(uint64_t, uint64_t) {}
