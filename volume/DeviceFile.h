// A device or file opened for raw reads on Windows (a volume "\\.\C:", a disk "\\.\PhysicalDrive1", an image
// file), behind an interface so that tests can put a device in its place that refuses what real devices refuse:
// unaligned or oversized requests, and reads past a file system's end before FSCTL_ALLOW_EXTENDED_DASD_IO.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class IDeviceFile {
public:
    virtual ~IDeviceFile() = default;
    // Reads exactly `length` bytes at `offset` into `buffer`; false, with the system's error code in `error`
    // (0 when the end came first), when they did not all arrive.
    virtual bool ReadAt(uint64_t offset, uint32_t length, uint8_t* buffer, uint32_t& error) = 0;
    // The length in bytes as the device tells it (IOCTL_DISK_GET_LENGTH_INFO), else the size of the file or
    // the position of its end; false when none of them tells.
    virtual bool Length(uint64_t& lengthBytes) = 0;
    // The device's own logical sector size (IOCTL_DISK_GET_DRIVE_GEOMETRY); 0 for a file, which has none.
    virtual uint32_t SectorSize() = 0;
    // FSCTL_ALLOW_EXTENDED_DASD_IO: lets a volume handle read the sectors past its file system's end (NTFS keeps
    // its backup boot sector there). Harmless where not needed; false where the device does not take it.
    virtual bool AllowExtendedIo() = 0;
};

// The most bytes asked of a device in one read. Some drivers refuse large single requests
// (ERROR_INVALID_PARAMETER, ERROR_NO_SYSTEM_RESOURCES); 4 MiB is what disk tools commonly ask for at once and
// already long enough that the per-request cost vanishes.
constexpr uint32_t kMaxDeviceRequestBytes = 4 << 20;

// Reads `count` whole sectors from `firstSector` into `buffer` in requests of at most kMaxDeviceRequestBytes
// (whole sectors each). True when all arrived.
bool ReadDeviceSectors(IDeviceFile& file, uint32_t sectorSize, uint64_t firstSector, uint32_t count, uint8_t* buffer);

// Opens `path` for reading, shared for reading and writing; null with the system's error code in `error`.
std::unique_ptr<IDeviceFile> OpenDeviceFile(const std::string& path, uint32_t& error);
// Puts `opener` behind OpenDeviceFile (an empty one: the system again); returns the one that was there.
using TDeviceFileOpener = std::function<std::unique_ptr<IDeviceFile>(const std::string& path, uint32_t& error)>;
TDeviceFileOpener SetDeviceFileOpener(TDeviceFileOpener opener);
