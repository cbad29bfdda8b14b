// A drive root on Windows. On the NT family the volume device is opened once, told to allow reads past the file
// system's end, and kept open for the scan; the length comes from it where it can tell it, so that the scan
// reaches the volume's last sector. The free-space totals (which under Wine describe the host's disk) serve only
// when the device tells nothing.
#include "volume/DriveVolumeSource.h"
#include "volume/RawDiskAccess.h"
#include "volume/SystemError.h"
#include "volume/VolumeError.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace {

// Reads the volume's first sector once. A device that cannot read at all (no medium, no rights, or a drive that
// only maps a folder, as under Wine) is refused now with the system's reason, instead of a scan that serves
// nothing but zeros; a media error is left to the window, which reads around bad sectors.
DWORD ProbeFirstSector(IDeviceFile& device, uint32_t sectorSize) {
    // Aligned as a volume handle wants it.
    const size_t alignment = std::max<size_t>(4096, sectorSize);
    std::vector<uint8_t> room(sectorSize + alignment);
    void* sector = room.data();
    size_t space = room.size();
    std::align(alignment, sectorSize, sector, space);
    uint32_t error = 0;
    if (device.ReadAt(0, sectorSize, static_cast<uint8_t*>(sector), error))
        return ERROR_SUCCESS;
    switch (error) {
    case ERROR_INVALID_FUNCTION:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_NOT_SUPPORTED:
        return error;
    default:
        return ERROR_SUCCESS;
    }
}

} // namespace

TDriveVolumeSource::TDriveVolumeSource(const std::string& root) : root_(root) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root.at(0))));
    driveNumber_ = static_cast<uint8_t>(letter - 64);
    const TDriveGeometry geometry = GetDriveGeometry(std::string(1, letter) + ":\\");
    const DWORD geometryError = GetLastError();
    if (geometry.BytesPerSector <= 0)
        throw TVolumeError("Cannot read drive " + root + ": its sector size cannot be told (" +
                           SystemErrorText(geometryError) + ")");
    sectorSize_ = static_cast<uint32_t>(geometry.BytesPerSector);
    lengthBytes_ = geometry.TotalBytes > 0 ? static_cast<uint64_t>(geometry.TotalBytes) : 0;
    if (GetPlatformName() != "NT")
        return; // the 9x way has no volume device to open or measure
    uint32_t openError = 0;
    device_ = OpenDeviceFile(std::string("\\\\.\\") + letter + ":", openError);
    if (!device_)
        throw TVolumeError("Cannot read drive " + root + ": " + SystemErrorText(openError));
    device_->AllowExtendedIo();
    uint64_t deviceLength = 0;
    if (device_->Length(deviceLength) && deviceLength > 0)
        lengthBytes_ = deviceLength;
    const DWORD probeError = ProbeFirstSector(*device_, sectorSize_);
    if (probeError != ERROR_SUCCESS)
        throw TVolumeError("Cannot read drive " + root + ": " + SystemErrorText(probeError));
    if (lengthBytes_ < sectorSize_)
        throw TVolumeError("Cannot read drive " + root + ": its size cannot be told");
}

bool TDriveVolumeSource::ReadSectors(uint64_t firstSector, uint32_t count, uint8_t* buffer) {
    if (device_)
        return ReadDeviceSectors(*device_, sectorSize_, firstSector, count, buffer);
    return ::ReadSectors(driveNumber_, firstSector, count, buffer);
}
