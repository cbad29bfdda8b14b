// Image files and device nodes (\\.\PhysicalDrive1) on Windows: CreateFileA once, then SetFilePointerEx and
// ReadFile at 64-bit offsets.
#include "volume/PathVolumeSource.h"
#include "volume/SystemError.h"
#include "volume/VolumeError.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <limits>

struct TPathVolumeSource::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
};

namespace {

// The length as the device tells it, else the size of the open file.
bool MeasureLength(HANDLE file, uint64_t& lengthBytes) {
    GET_LENGTH_INFORMATION lengthInfo{};
    DWORD returned = 0;
    if (DeviceIoControl(file, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo, sizeof(lengthInfo), &returned,
                        nullptr)) {
        lengthBytes = static_cast<uint64_t>(lengthInfo.Length.QuadPart);
        return true;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size)) {
        lengthBytes = static_cast<uint64_t>(size.QuadPart);
        return true;
    }
    LARGE_INTEGER zero{}, end{};
    if (SetFilePointerEx(file, zero, &end, FILE_END)) {
        lengthBytes = static_cast<uint64_t>(end.QuadPart);
        return true;
    }
    return false;
}

// A device reports its own sector size; an image file has none, so the caller's applies.
uint32_t MeasureSectorSize(HANDLE file, uint32_t imageSectorSize) {
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    if (DeviceIoControl(file, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &returned,
                        nullptr) &&
        geometry.BytesPerSector > 0)
        return geometry.BytesPerSector;
    return imageSectorSize;
}

} // namespace

TPathVolumeSource::TPathVolumeSource(const std::string& path, uint32_t imageSectorSize)
    : path_(path), handle_(std::make_unique<Handle>()) {
    const auto fail = [&](const std::string& cause) { throw TVolumeError("Cannot read \"" + path + "\": " + cause); };
    if (path.empty())
        throw TVolumeError("No drive, image file or device was given");
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        fail("it is a folder, not an image file or a device");
    handle_->file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_->file == INVALID_HANDLE_VALUE)
        fail(SystemErrorText(GetLastError()));
    sectorSize_ = MeasureSectorSize(handle_->file, imageSectorSize);
    if (!MeasureLength(handle_->file, lengthBytes_))
        fail("its size cannot be told: " + SystemErrorText(GetLastError()));
    RefuseUnusableShape();
}

TPathVolumeSource::~TPathVolumeSource() = default;

bool TPathVolumeSource::ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) {
    if (firstSector > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / sectorSize_)
        return false;
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(firstSector * sectorSize_);
    if (!SetFilePointerEx(handle_->file, offset, nullptr, FILE_BEGIN))
        return false;
    uint64_t remaining = static_cast<uint64_t>(count) * sectorSize_;
    while (remaining > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(remaining, 0x40000000));
        DWORD got = 0;
        if (!ReadFile(handle_->file, buffer, chunk, &got, nullptr) || got == 0)
            return false; // an error, or the end of the file before the last byte
        buffer += got;
        remaining -= got;
    }
    return true;
}

// Windows reads into the window; it maps nothing.
const uint8_t* TPathVolumeSource::MappedBytes() {
    return nullptr;
}

uint64_t TPathVolumeSource::TakeUnreadableSectors(std::vector<uint64_t>&) {
    return 0;
}

void TPathVolumeSource::ReadingAt(uint64_t, uint64_t) {}
